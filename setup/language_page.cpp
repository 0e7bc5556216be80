#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/lstring.h"
#include "setup/install_pages.h"
#include "setup/installer_instance.h"
#include "setup/remove_tree.h"
#include "setup/start_setup_program.h"
#include "setup/verified_download.h"
#include "toolkit/message_box.h"
#include "toolkit/progress_dialog.h"
#include "toolkit/property_sheet.h"

namespace {

constexpr uint32_t kOwnButtons = LPSWIZB_BACK | LPSWIZB_NEXT | LPSWIZB_CANCEL;

}  // namespace

void LLanguagePage::OnInitDialog() {
    CreateChild(kQuestion, u"Static", choice_.texts->question, LWS_VISIBLE, 0);
    MoveItemDlgUnits(kQuestion, {7, 9, 304, 20});
    CreateCommandLink(kDownload, LLanguageDownloadText(choice_).c_str(), nullptr);
    MoveItemDlgUnits(kDownload, {7, 40, 304, 24});
    CreateCommandLink(kContinue, u"Continue installing English (v 2.01)", nullptr);
    MoveItemDlgUnits(kContinue, {7, 70, 304, 24});
    LPrepareInstallerWizard(LGetParent(hwnd));
}

void LLanguagePage::OnActivate() {
    // The page's own two choices are the way on (posted: after the buttons
    // the sheet sets for the page).
    LPostMessage(LGetParent(hwnd), LPSM_SHOWWIZBUTTONS, 0, kOwnButtons);
}

void LLanguagePage::OnDeactivate() {
    LSendMessage(LGetParent(hwnd), LPSM_SHOWWIZBUTTONS, LPSWIZB_NEXT | LPSWIZB_CANCEL, LPSWIZB_NEXT | LPSWIZB_CANCEL);
}

void LLanguagePage::OnCommand(int id, int) {
    LHwnd sheet = LGetParent(hwnd);
    if (id == kContinue) {
        LPostMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_NEXT, 0);
    } else if (id == kDownload && DownloadAndStart()) {
        // The other installer takes over; this one ends without installing.
        leaving_ = true;
        LSendMessage(sheet, LPSM_SETWIZBUTTONS, 0, LPSWIZB_FINISH);
        LPostMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_FINISH, 0);
    }
}

bool LLanguagePage::DownloadAndStart() {
    LProgressDialog progress(choice_.texts->progress_title);
    LHwnd sheet = LGetParent(hwnd);
    if (!progress.Show(sheet)) return false;
    LTaskProgress& p = *progress.Progress();
    p.SetStatusText(choice_.texts->progress_status, 0);
    p.StartMarquee();
    char16_t folder[260] = {};
    std::vector<std::string> urls{choice_.row->primary_url};
    if (!choice_.row->fallback_url.empty()) urls.push_back(choice_.row->fallback_url);
    // Only a file the maker signed is ever run.
    int result = LCreateTempFolder(folder) ? LDownloadVerifiedFromAny(p, urls, LToUtf8(folder) + "/Installer.exe") : 2;
    bool started = false;
    if (result == 2) p.ShowError(u"The installer could not be downloaded.");
    if (result == 0) {
        started = LStartSetupProgram(LToUtf8(folder) + "/Installer.exe");
        if (!started) p.ShowError(u"The installer could not be run.");
    }
    // A started archive still reads itself: its folder stays for it.
    if (!started && folder[0]) LRemoveTreeNoFollow(LToUtf8(folder));
    progress.Close(sheet);
    return started;
}

bool LLanguagePage::OnCancel() {
    if (leaving_) return true;
    return LAskExitSetup(LGetParent(hwnd), u"This will cancel your Porlinex installation.", u"Continue Install");
}
