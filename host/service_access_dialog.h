#pragma once
// The "Service Permissions" dialog: an administrator picks who may use the
// background service, and the choice is stored and applied at once.
#include <string>
#include <vector>

#include "host/service_access.h"
#include "toolkit/window.h"

class LServiceAccessDialog : public LDialog {
public:
    void OnInitDialog() override;
    void OnCommand(int id, int code) override;
    bool OnOk() override;

    static constexpr int kAdminsOnly = 104, kAllUsers = 105, kChosenUsers = 106;
    // The user list: one check box per user who is not an administrator.
    static constexpr int kFirstUser = 2000;

private:
    void EnableList();
    int access_ = 1;
    std::vector<LLocalUser> users_;
};

// Runs the dialog modally; true when it ended with OK.
bool LServiceAccessDialogShow(LHwnd parent);
// Applies the stored choice with root's rights: here when running as root,
// else through pkexec (waiting at most 20 s). False when neither can, with
// command_out set to what an administrator can run instead.
bool LServiceApplyAccessElevated(std::string& command_out);
