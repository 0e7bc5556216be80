#include "setup/setup_message.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/log.h"
#include "foundation/lstring.h"
#include "toolkit/message_box.h"

namespace {

bool DisplayAvailable() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

}  // namespace

void LSetupMessage(const char16_t* text, const char16_t* caption, const char16_t* button, bool error) {
    std::string line = LToUtf8(caption) + ": " + LToUtf8(text);
    LLogWarningF("%s", line.c_str());
    std::fprintf(stderr, "%s\n", line.c_str());
    if (!DisplayAvailable()) return;
    LShowMessageOneButton(LHwnd::Null, text, caption, button, error ? LTD_ERROR_ICON : LTD_INFORMATION_ICON,
                          error ? LMB_ICONERROR : LMB_ICONINFORMATION);
}

const char16_t* LInstallErrorText(int status) {
    switch (status) {
        case 0:
        case 2:
        case 4: return nullptr;
        case 5: return u"The installer is missing data files.\r\n\r\nPlease download and run the installer again.";
        case 6:
            return u"The application folder could not be created.\r\n\r\nPlease close all other applications and "
                   u"run the installer again.";
        case 7:
            return u"An application file could not be written.\r\n\r\nPlease close all other applications and run "
                   u"the installer again.";
        case 8:
            return u"Installation file corrupt.\n\nA checksum error was detected in your install file, please "
                   u"redownload file and install again.";
        default: return u"An unknown error occurred.\r\n\r\nPlease download and run the installer again.";
    }
}

void LShowInstallError(int status) {
    if (const char16_t* text = LInstallErrorText(status)) LSetupMessage(text, u"Install Error", u"Continue", true);
}

void LShowAdministratorMessage() {
    LSetupMessage(u"To install software you must be logged on as this computer's Administrator. If you are not able "
                  u"to do this, ask your computer Administrator to log in and run the setup file again.",
                  u"Install Error", u"Continue", true);
}
