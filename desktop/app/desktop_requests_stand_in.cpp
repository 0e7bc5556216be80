#include "desktop/app/desktop_requests.h"

// Weak: the module that answers desktop requests defines this strongly.
__attribute__((weak)) bool LDesktopRequestHandle(uint32_t, uint32_t) { return false; }
