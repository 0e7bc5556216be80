#include "host/autostart.h"
#include "host/service_control.h"
#include "setup/setup_message.h"
#include "setup/start_setup_program.h"
#include "setup/uninstall_pages.h"
#include "toolkit/property_sheet.h"

void LUninstallConfirmPage::OnInitDialog() {
    CreateChild(kPrompt, u"Static", u"Please confirm what you want to do:", LWS_VISIBLE, 0);
    MoveItemDlgUnits(kPrompt, {7, 9, 304, 8});
    CreateChild(kUninstall, u"Button", u"Uninstall Porlinex", LWS_VISIBLE | LWS_TABSTOP | LWS_GROUP |
                LBS_AUTORADIOBUTTON, 0);
    MoveItemDlgUnits(kUninstall, {19, 30, 280, 12});
    int top = 44;
    if (!state_.repair_path.empty()) {
        CreateChild(kRepair, u"Button", u"Repair (reinstall Porlinex)", LWS_VISIBLE | LBS_AUTORADIOBUTTON, 0);
        MoveItemDlgUnits(kRepair, {19, top, 280, 12});
        top += 14;
    }
    CreateChild(kStopAutoRun, u"Button", u"Stop it running automatically (but keep it installed)",
                LWS_VISIBLE | LBS_AUTORADIOBUTTON, 0);
    MoveItemDlgUnits(kStopAutoRun, {19, top, 280, 12});
    CreateChild(kNothing, u"Button", u"Nothing (I do not want to uninstall)", LWS_VISIBLE | LBS_AUTORADIOBUTTON, 0);
    MoveItemDlgUnits(kNothing, {19, top + 14, 280, 12});
    // None is chosen yet: no way on (the sheet applies this on activation).
    wizard_buttons = 0;
}

int LUninstallConfirmPage::Chosen() {
    for (int id : {kUninstall, kRepair, kStopAutoRun, kNothing}) {
        LHwnd item = LGetDlgItem(hwnd, id);
        if (item != LHwnd::Null && LSendMessage(item, LBM_GETCHECK, 0, 0) == LBST_CHECKED) return id;
    }
    return 0;
}

// Uninstalling goes on to the data files; every other choice ends here;
// with no choice yet there is no way forward.
void LUninstallConfirmPage::ShowButtons() {
    int chosen = Chosen();
    wizard_buttons = chosen == kUninstall ? LPSWIZB_NEXT : chosen ? LPSWIZB_FINISH : 0;
    LSendMessage(LGetParent(hwnd), LPSM_SETWIZBUTTONS, 0, wizard_buttons);
}

void LUninstallConfirmPage::OnActivate() { ShowButtons(); }

void LUninstallConfirmPage::OnCommand(int id, int) {
    if (id >= kUninstall && id <= kNothing) ShowButtons();
}

bool LUninstallConfirmPage::OnOk() {
    switch (Chosen()) {
    case kUninstall: state_.keep_installed = false; return true;
    case kRepair:
        // The kept setup program reinstalls over this installation once
        // the uninstaller has ended.
        LStartSetupProgram(state_.repair_path);
        return true;
    case kStopAutoRun:
        LRunOnStartupRemove();
        LServiceSetStartType(false);
        LSetupMessage(u"The run on startup option of Porlinex has been turned off. To make it run automatically on "
                      u"startup again, please click on the Options button of Porlinex.",
                      u"Run On Startup", u"Continue", false);
        return true;
    case kNothing: return true;
    default: return false;
    }
}
