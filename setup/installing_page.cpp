#include "setup/install_pages.h"
#include "setup/install_run_once.h"
#include "setup/install_worker.h"
#include "setup/setup_message.h"
#include "toolkit/property_sheet.h"

namespace {
constexpr uintptr_t kPollTimer = 1;
constexpr int kWait = 2001, kReady = 2002, kProgress = 2003;
}  // namespace

void LInstallingPage::OnInitDialog() {
    CreateChild(kWait, u"Static", u"Please wait...", LWS_VISIBLE, 0);
    CreateChild(kReady, u"Static", u"Porlinex is installing and will be ready to use soon.", LWS_VISIBLE, 0);
    CreateChild(kProgress, u"msctls_progress32", u"", LWS_VISIBLE | LPBS_MARQUEE, 0);
    LRect page = LGetClientRect(hwnd);
    int line = DialogUnitsToPixelsY(12);
    MoveItem(kWait, 0, 0, page.right, line);
    MoveItem(kReady, 0, line + DialogUnitsToPixelsY(4), page.right, line);
    MoveItem(kProgress, 0, 2 * line + DialogUnitsToPixelsY(12), page.right, DialogUnitsToPixelsY(10));
    LSendMessage(LGetDlgItem(hwnd, kProgress), LPBM_SETMARQUEE, 1, 100);
    LSetWindowText(LGetDlgItem(LGetParent(hwnd), LIDCANCEL), u"Cancel");
}

void LInstallingPage::OnActivate() {
    LHwnd sheet = LGetParent(hwnd);
    wizard_buttons = LPSWIZB_DISABLEDFINISH;
    LSendMessage(sheet, LPSM_SETWIZBUTTONS, 0, LPSWIZB_DISABLEDFINISH);
    LSendMessage(sheet, LPSM_SHOWWIZBUTTONS, 0, LPSWIZB_BACK | LPSWIZB_CANCEL);
    LSetTimer(hwnd, kPollTimer, 2000, nullptr);
    shutdown_block_ = std::make_unique<LShutdownBlock>(
        "Installation in progress. This should take less than a minute. Please wait...");
}

void LInstallingPage::OnDeactivate() {
    LKillTimer(hwnd, kPollTimer);
    shutdown_block_.reset();
}

LResult LInstallingPage::HandleMessage(uint32_t msg, LWParam w, LLParam l) {
    if (msg == LWM_TIMER && w == kPollTimer) {
        Poll();
        return 0;
    }
    return LPropertyPage::HandleMessage(msg, w, l);
}

void LInstallingPage::Poll() {
    if (state_.worker->IsRunning()) {
        LSetTimer(hwnd, kPollTimer, 200, nullptr);
        return;
    }
    LKillTimer(hwnd, kPollTimer);
    shutdown_block_.reset();
    LDeleteInstallRunOnce();
    state_.status = state_.worker->Wait();
    if (state_.status != 0) LShowInstallError(state_.status);
    LHwnd sheet = LGetParent(hwnd);
    LSendMessage(sheet, LPSM_SETWIZBUTTONS, 0, LPSWIZB_FINISH);
    LSendMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_FINISH, 0);
}
