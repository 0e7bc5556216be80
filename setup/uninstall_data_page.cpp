#include "setup/uninstall_pages.h"
#include "toolkit/property_sheet.h"

void LUninstallDataPage::OnInitDialog() {
    CreateChild(kPrompt, u"Static", u"Also delete data files created with Porlinex?", LWS_VISIBLE, 0);
    MoveItemDlgUnits(kPrompt, {7, 9, 304, 8});
    CreateChild(kDeleteData, u"Button", u"Delete data files", LWS_VISIBLE | LWS_TABSTOP | LBS_AUTOCHECKBOX, 0);
    MoveItemDlgUnits(kDeleteData, {19, 30, 280, 12});
    // The choice to uninstall is made: there is no going back to it.
    wizard_buttons &= ~LPSWIZB_BACK;
}

void LUninstallDataPage::OnActivate() { LSendMessage(LGetParent(hwnd), LPSM_SHOWWIZBUTTONS, 0, LPSWIZB_BACK); }

bool LUninstallDataPage::OnOk() {
    state_.delete_data_files = LSendMessage(LGetDlgItem(hwnd, kDeleteData), LBM_GETCHECK, 0, 0) == LBST_CHECKED;
    return true;
}
