#include "setup/installer_instance.h"

#include <unistd.h>

#include "platform/root.h"
#include "toolkit/window.h"

namespace {

constexpr uint32_t kKnock = LWM_APP + 0x210;

LResult InstanceProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (msg != kKnock) return LDefWindowProc(h, msg, w, l);
    auto* socket = reinterpret_cast<LInstanceSocket*>(LGetProp(h, "InstanceSocket"));
    if (socket && socket->Accept() == LWM_OPENREQUEST) {
        LHwnd target = LHwndFromParam(LGetWindowLongPtr(h, LGWLP_USERDATA));
        if (LIsWindow(target)) LForceForegroundWindow(target);
    }
    return 0;
}

}  // namespace

std::string LInstallerInstancePath() {
    return LPlatformKnownFolder(LKnownFolder::UserRunFolder) + "/porlinex-installer-" + std::to_string(getuid());
}

LInstallerInstance::LInstallerInstance() : lock_(u"Global\\PorlinexInstaller") {}

LInstallerInstance::~LInstallerInstance() {
    if (watching_) LUnwatchHandle(socket_.Fd());
    if (window_ != LHwnd::Null) LDestroyWindow(window_);
    socket_.Close();
}

bool LInstallerInstance::Claim() {
    if (lock_.Lock(0)) return true;
    // A quiet installer has no window to show: nobody answers then.
    LInstanceSocketSendTo(LInstallerInstancePath(), LWM_OPENREQUEST);
    return false;
}

void LInstallerInstance::Answer() {
    LRegisterClass(LInstallerInstanceClass, InstanceProc);
    window_ = LCreateWindowEx(0, LInstallerInstanceClass, u"Porlinex", LWS_POPUP, 0, 0, 0, 0, LHwnd::Null, 0);
    if (window_ == LHwnd::Null || !socket_.Listen(LInstallerInstancePath())) return;
    LSetProp(window_, "InstanceSocket", reinterpret_cast<intptr_t>(&socket_));
    watching_ = LWatchHandle(socket_.Fd(), window_, kKnock);
}

void LPrepareInstallerWizard(LHwnd sheet) {
    LHwnd instance = LFindWindowOfClass(LInstallerInstanceClass);
    if (instance != LHwnd::Null) LSetWindowLongPtr(instance, LGWLP_USERDATA, LHwndToParam(sheet));
    LRect desk = LGetDesktopRect(), box = LGetWindowRect(sheet);
    auto middle = [](int space, int size) { return size > space ? 10 : space / 2 - size / 2; };
    LSetWindowPos(sheet, desk.left + middle(desk.Width(), box.Width()), desk.top + middle(desk.Height(), box.Height()),
                  0, 0, LSWP_NOSIZE | LSWP_NOZORDER);
    // The way out is the pages' own, never the close box.
    LSetWindowLongPtr(sheet, LGWL_STYLE, LGetWindowLongPtr(sheet, LGWL_STYLE) & ~static_cast<intptr_t>(LWS_SYSMENU));
}
