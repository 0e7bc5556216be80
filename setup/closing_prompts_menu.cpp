// The maker's commands of the main window's menu: the suggestion and
// bug-report pages and the dialog shown by a recent release.
#include <sys/stat.h>

#include "foundation/child_process.h"
#include "foundation/installation_id.h"
#include "foundation/reg_settings.h"
#include "foundation/system_shell.h"
#include "host/call_stack.h"
#include "host/crash_report.h"
#include "setup/closing_prompts.h"
#include "setup/maker_hosts.h"
#include "toolkit/message_box.h"

namespace {

// The bug page's address never grows past this.
constexpr uint64_t kBugPageUnits = 8193;

enum : int { kReportProblem = 5000, kCheckUpdate = 5001, kRevert = 5002 };

bool IsFile(const char16_t* path) {
    struct stat st;
    return path[0] && stat(LToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

// The version check of the update module takes this over; until then the
// command says it is not there.
__attribute__((weak)) void LCheckForUpdatedVersion(LHwnd owner) { LShowNoVersionInfoMessage(owner); }

void LOpenSuggestionPage() {
    LString url;
    url.Format(u"https://%s/suggestions/index.html?software=Porlinex&version=2.01",
               LFromUtf8(LGetMakerWebHost()).c_str());
    LOpenWebAddress(url.View());
}

void LOpenBugReportPage() {
    char16_t iid[260] = {0};
    LGetInstallationId(iid);
    // The two queries are passed on whole, each as one value: their own
    // '&' and blanks must not break the page's address apart.
    LString url;
    url.Format(u"https://%s/software/bug.html?software=Porlinex&version=2.01&iid=%U&data=%U&rdf=%U&appbits=64",
               LFromUtf8(LGetMakerWebHost()).c_str(), iid, LFromUtf8(LGetSystemInfoQueryA()).c_str(),
               LFromUtf8(LDebugGetCallStackQuery()).c_str());
    url.Truncate(kBugPageUnits);
    LOpenWebAddress(url.View());
}

void LShowBetaReleaseDialog(LHwnd owner) {
    char16_t previous[260] = {0};
    LRegSettingsGet(u"Software", u"PreviousInstaller", u"", previous);
    const bool can_revert = IsFile(previous);
    const LTaskChoice choices[] = {
        {kReportProblem, u"Report a Problem", u"Click here if you would like to report a problem with Porlinex."},
        {kCheckUpdate, u"Check for Updated Version", u"Click here to check for a more recent version of Porlinex."},
        {can_revert ? kRevert : 0, u"Revert to Previous Version",
         u"Click here if you would like to restore the previous installation of Porlinex."},
        {0, nullptr, nullptr},
    };
    LTaskDialog dialog(owner, u"Porlinex - v 2.01 Beta",
                       u"This is a recent release of Porlinex.\r\nIf you find any problems with this release please "
                       u"let us know by reporting them.",
                       nullptr, choices, kReportProblem);
    switch (dialog.Run()) {
    case kReportProblem: LOpenBugReportPage(); break;
    case kCheckUpdate: LCheckForUpdatedVersion(owner); break;
    case kRevert: LRunProgram({LToUtf8(previous)}, 1); break;
    default: break;
    }
}
