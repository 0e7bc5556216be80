#include "foundation/system_shell.h"

#include "foundation/utf8.h"
#include "platform/shell_open.h"

void LShellOpen(const char16_t* target) {
    LUTF8FromWide t(target ? target : u"");
    LPlatformShellOpen(t.text);
}
