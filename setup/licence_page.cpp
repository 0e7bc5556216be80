#include <string>

#include "foundation/system_shell.h"
#include "setup/install_data.h"
#include "setup/install_pages.h"
#include "setup/install_worker.h"
#include "setup/installer_instance.h"
#include "toolkit/message_box.h"
#include "toolkit/property_sheet.h"

namespace {

constexpr char16_t kIntroText[] =
    u"Thank you for installing Porlinex. To get started please accept the following License Agreement. You must "
    u"accept the terms of this agreement before continuing with the installation.";
constexpr char16_t kTermsText[] =
    u"Porlinex is provided by Vek Software as is, without warranty of any kind. You may install and use it on "
    u"computers you own or manage. You may not sell it or pass off modified copies as the original. Vek Software "
    u"is not liable for any loss of data or other damage arising from its use, to the extent the law allows.";
constexpr char16_t kLeaveText[] =
    u"This will cancel your Porlinex installation. Go back to accept the terms and try Porlinex.";
// The download address of the setup program, already URL-encoded.
constexpr char16_t kConfirmUrl[] =
    u"https://www.porlinex.invalid/general/eulaconfirm.html?software=Porlinex&appname=Porlinex&version=2.01"
    u"&bootstrap=false&installer=https%3A%2F%2Fdownload.porlinex.invalid%2Femail%2Fpxsetup.exe&appbits=64";

}  // namespace

void LLicencePage::OnInitDialog() {
    CreateChild(kIntro, u"Static", kIntroText, LWS_VISIBLE, 0);
    CreateChild(kTerms, u"Static", kTermsText, LWS_VISIBLE, 0);
    CreateChild(kAccept, u"Button", u"I &accept the license terms", LWS_VISIBLE | LWS_TABSTOP | LWS_GROUP |
                LBS_AUTORADIOBUTTON, 0);
    CreateChild(kDecline, u"Button", u"I do not accept the license terms", LWS_VISIBLE | LBS_AUTORADIOBUTTON, 0);
    // Dialog units: intro on top, decline at the bottom, accept 1 above it,
    // the terms between with 7 to either side.
    LRect page = LGetClientRect(hwnd);
    int width_px = page.right - DialogUnitsToPixelsX(13);
    int intro_px = GetItemWrappedTextHeight(kIntro, kIntroText, width_px);
    int bottom = page.bottom, line = DialogUnitsToPixelsY(12), gap = DialogUnitsToPixelsY(7);
    MoveItem(kIntro, 0, 0, width_px, intro_px);
    MoveItem(kDecline, 0, bottom - line, width_px, line);
    MoveItem(kAccept, 0, bottom - 2 * line - DialogUnitsToPixelsY(1), width_px, line);
    int terms_top = intro_px + gap;
    MoveItem(kTerms, 0, terms_top, width_px, bottom - 2 * line - DialogUnitsToPixelsY(1) - gap - terms_top);
    LSendMessage(LGetDlgItem(hwnd, kAccept), LBM_SETCHECK, LBST_CHECKED, 0);
    LSetFocus(LGetDlgItem(hwnd, kAccept));
    if (!state_.language_page) LPrepareInstallerWizard(LGetParent(hwnd));
}

bool LLicencePage::Accepted() {
    return LSendMessage(LGetDlgItem(hwnd, kAccept), LBM_GETCHECK, 0, 0) == LBST_CHECKED;
}

void LLicencePage::ShowButtons() {
    LHwnd sheet = LGetParent(hwnd);
    LSendMessage(sheet, LPSM_SETWIZBUTTONS, 0, Accepted() ? LPSWIZB_NEXT : LPSWIZB_FINISH);
    LSendMessage(sheet, LPSM_SHOWWIZBUTTONS, 0, LPSWIZB_BACK | LPSWIZB_CANCEL);
    LSetWindowText(LGetDlgItem(sheet, LIDC_NEXT), u"    Next >    ");
}

void LLicencePage::OnActivate() {
    LForceForegroundWindow(LGetParent(hwnd));
    // What the sheet sets on a later activation.
    wizard_buttons = Accepted() ? LPSWIZB_NEXT : LPSWIZB_FINISH;
    ShowButtons();
}

void LLicencePage::OnCommand(int id, int) {
    if (id == kAccept || id == kDecline) ShowButtons();
}

bool LLicencePage::OnOk() {
    if (Accepted()) {
        state_.started = state_.worker->Start();
        if (state_.started) return true;
        // The rights test has said why; there is nothing to wait for.
        state_.status = LInstallStatusNoFolder;
        leaving_ = true;
        End(0);
        return false;
    }
    if (!LAskExitSetup(LGetParent(hwnd), kLeaveText, u"Back")) return false;
    LShellOpen(kConfirmUrl);
    leaving_ = true;
    End(0);
    return false;
}

// The sheet's Cancel is hidden here and the close box removed, so a cancel
// only comes from the Escape key, which must not end the installation.
bool LLicencePage::OnCancel() { return leaving_; }
