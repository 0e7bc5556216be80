#include "host/service_access_dialog.h"

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "host/setup_link.h"

namespace {

// Dialog units: the three choices, then one row per user, then the buttons.
constexpr int kRow = 12, kUsersTop = 52, kWidth = 250;

int StoredAccess() {
    char16_t v[260] = {};
    LRegSettingsGet(u"Service", u"Access", u"", v);
    if (v[0] == u'0' && !v[1]) return 0;
    if (v[0] == u'2' && !v[1]) return 2;
    return 1;
}

bool NamedIn(const std::string& granted, const std::string& name) {
    size_t start = 0;
    while (start < granted.size()) {
        size_t end = granted.find(';', start);
        if (end == std::string::npos) end = granted.size();
        if (granted.compare(start, end - start, name) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

void LServiceAccessDialog::OnInitDialog() {
    LSetWindowText(hwnd, u"Service Permissions");
    access_ = StoredAccess();
    std::string granted_names = LServiceGrantedText();
    for (LLocalUser& u : LListLocalUsers()) {
        if (u.admin) continue;
        u.granted = NamedIn(granted_names, u.name);
        users_.push_back(u);
    }
    const struct {
        int id;
        const char16_t* text;
    } choices[] = {{kAdminsOnly, u"Administrators only"},
                   {kAllUsers, u"All users"},
                   {kChosenUsers, u"Administrators and the users ticked below"}};
    int top = 7;
    for (const auto& c : choices) {
        uint32_t style = LWS_VISIBLE | LBS_AUTORADIOBUTTON | (c.id == kAdminsOnly ? LWS_TABSTOP | LWS_GROUP : 0);
        CreateChild(c.id, u"Button", c.text, style, 0);
        MoveItemDlgUnits(c.id, {7, top, kWidth, kRow});
        top += 14;
    }
    int chosen = access_ == 0 ? kAdminsOnly : access_ == 2 ? kChosenUsers : kAllUsers;
    LSendMessage(LGetDlgItem(hwnd, chosen), LBM_SETCHECK, LBST_CHECKED, 0);
    for (size_t i = 0; i < users_.size(); ++i) {
        int id = kFirstUser + static_cast<int>(i);
        LString name = LFromUtf8(users_[i].name);
        CreateChild(id, u"Button", name.c_str(), LWS_VISIBLE | LWS_TABSTOP | LBS_AUTOCHECKBOX | (i ? 0 : LWS_GROUP), 0);
        MoveItemDlgUnits(id, {19, kUsersTop + kRow * static_cast<int>(i), kWidth - 12, kRow});
        if (users_[i].granted) LSendMessage(LGetDlgItem(hwnd, id), LBM_SETCHECK, LBST_CHECKED, 0);
    }
    int buttons = kUsersTop + kRow * static_cast<int>(users_.size()) + 7;
    CreateChild(LIDOK, u"Button", u"OK", LWS_VISIBLE | LWS_TABSTOP | LWS_GROUP | LBS_DEFPUSHBUTTON, 0);
    MoveItemDlgUnits(LIDOK, {kWidth - 100, buttons, 50, 14});
    CreateChild(LIDCANCEL, u"Button", u"Cancel", LWS_VISIBLE | LWS_TABSTOP, 0);
    MoveItemDlgUnits(LIDCANCEL, {kWidth - 45, buttons, 50, 14});
    EnableList();
    // The dialog is as tall as its list of users.
    LRect size = LMapDialogRect(hwnd, {0, 0, kWidth + 14, buttons + 21});
    LRect now = LGetWindowRect(hwnd);
    LMoveWindow(hwnd, now.left, now.top, size.right, size.bottom, true);
}

// The ticks only mean something for the third choice.
void LServiceAccessDialog::EnableList() {
    bool chosen = LSendMessage(LGetDlgItem(hwnd, kChosenUsers), LBM_GETCHECK, 0, 0) == LBST_CHECKED;
    for (size_t i = 0; i < users_.size(); ++i) LEnableWindow(LGetDlgItem(hwnd, kFirstUser + static_cast<int>(i)), chosen);
}

void LServiceAccessDialog::OnCommand(int id, int) {
    if (id >= kAdminsOnly && id <= kChosenUsers) EnableList();
}

bool LServiceAccessDialog::OnOk() {
    auto checked = [this](int id) { return LSendMessage(LGetDlgItem(hwnd, id), LBM_GETCHECK, 0, 0) == LBST_CHECKED; };
    int access = checked(kAllUsers) ? 1 : checked(kChosenUsers) ? 2 : 0;
    const char16_t* value = access == 0 ? u"0" : access == 1 ? u"1" : u"2";
    if (!LRegSettingsSet(u"Service", u"Access", value)) {
        LSetupLinkMessage(u"The service permissions could not be saved. Please run Porlinex as an administrator and "
                          u"try again.", u"Service Permissions", u"Close", true);
        return false;
    }
    if (access == access_ && access != 2) return true;
    if (access == 2) {
        std::string granted;
        for (size_t i = 0; i < users_.size(); ++i)
            if (checked(kFirstUser + static_cast<int>(i))) granted += users_[i].name + ";";
        LRegSettingsSet(u"Service", u"Granted", LFromUtf8(granted).c_str());
    }
    std::string command;
    if (!LServiceApplyAccessElevated(command)) {
        std::u16string text = u"The choice is saved. To apply it, an administrator can run: ";
        text += LFromUtf8(command).c_str();
        LSetupLinkMessage(text.c_str(), u"Service Permissions", u"Close", false);
    }
    return true;
}

bool LServiceAccessDialogShow(LHwnd parent) {
    LServiceAccessDialog dialog;
    return LDialog::RunModal(&dialog, parent);
}
