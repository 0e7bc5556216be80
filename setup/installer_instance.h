#pragma once
// One installer at a time. The lock decides; the installer that holds it
// also answers a doorbell (a socket beside the desktop's) through a hidden
// window of class "VekSoftware_InstanceInst" whose user data names the
// window to bring forward, so that a second start shows the first one's
// wizard instead of a second wizard.
#include <string>

#include "foundation/named_mutex.h"
#include "toolkit/instance_socket.h"
#include "toolkit/window_types.h"

constexpr char16_t LInstallerInstanceClass[] = u"VekSoftware_InstanceInst";

std::string LInstallerInstancePath();

class LInstallerInstance {
public:
    LInstallerInstance();
    ~LInstallerInstance();
    LInstallerInstance(const LInstallerInstance&) = delete;
    LInstallerInstance& operator=(const LInstallerInstance&) = delete;

    // Takes the lock; when another installer holds it, rings that one to
    // come forward and answers false.
    bool Claim();
    // With the window layer open: the hidden window and the doorbell.
    void Answer();

private:
    LNamedMutex lock_;
    LInstanceSocket socket_;
    LHwnd window_ = LHwnd::Null;
    bool watching_ = false;
};

// The first page's call: the wizard becomes the window a second installer
// brings forward; it is centred on the desktop and loses its close box.
void LPrepareInstallerWizard(LHwnd sheet);
