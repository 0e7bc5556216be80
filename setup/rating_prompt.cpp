#include "setup/rating_prompt.h"

#include "foundation/installation_id.h"
#include "foundation/reg_settings.h"
#include "foundation/system_shell.h"
#include "foundation/system_version.h"
#include "net/smtp/mail_discovery.h"
#include "setup/closing_prompts.h"
#include "setup/maker_hosts.h"
#include "setup/split_test.h"
#include "setup/usage_query.h"
#include "toolkit/message_box.h"

namespace {

constexpr const char16_t* kChainClass = u"VekSoftware_InstanceChain";
constexpr int kFirstRating = 5000;
constexpr int kLastRating = 5003;

LResult ChainProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (msg == LWM_OPENREQUEST) {
        LHwnd target = LHwndFromParam(LGetWindowLongPtr(h, LGWLP_USERDATA));
        if (target != LHwnd::Null && LIsWindow(target)) LSetForegroundWindow(target);
        return 0;
    }
    return LDefWindowProc(h, msg, w, l);
}

class RatingDialog : public LTaskDialog {
public:
    RatingDialog(const LTaskChoice* choices, LInstanceChainWindow& chain)
        : LTaskDialog(LHwnd::Null, u"Rate Porlinex", u"Enjoying Porlinex?", nullptr, choices, kFirstRating),
          chain_(chain) {}
    void OnCreated(LHwnd h) override { chain_.Forward(h); }

private:
    LInstanceChainWindow& chain_;
};

}  // namespace

LInstanceChainWindow::LInstanceChainWindow(LHwnd owner) {
    LRegisterClass(kChainClass, ChainProc);
    hwnd_ = LCreateWindowEx(0, kChainClass, u"Porlinex", LWS_POPUP, 0, 0, 0, 0, owner, 0);
}

LInstanceChainWindow::~LInstanceChainWindow() {
    if (hwnd_ != LHwnd::Null && LIsWindow(hwnd_)) LDestroyWindow(hwnd_);
}

void LInstanceChainWindow::Forward(LHwnd target) {
    if (hwnd_ != LHwnd::Null) LSetWindowLongPtr(hwnd_, LGWLP_USERDATA, LHwndToParam(target));
}

LString LRatingPageUrl(int rating) {
    char16_t ref[260] = {0}, by[260] = {0}, iid[260] = {0}, server[260] = {0}, address[260] = {0};
    LRegSettingsGet(u"Software", u"Ref", u"", ref);
    LRegSettingsGet(u"Software", u"InstalledBy", u"", by);
    LGetInstallationId(iid);
    bool mail = LDefaultMailAccountFind(server, address) && address[0];
    LString svar = LIsRunningUnderWine() ? LString() : LFromUtf8(LReadSplitTestList());
    LString url;
    url.Format(u"https://%s/software/rateit.html?software=Porlinex&appname=%s&version=2.01&rating=%d&os=Win%s%s"
               u"&lang=en&appbits=64&base=email&domain=porlinex%s%U%s%U&instby=%U&iid=%U%s%U",
               LFromUtf8(LGetMakerWebHost()).c_str(), u"Porlinex", rating, LIsRunningUnderWine() ? u"&wine=1" : u"",
               LIsVirtualMachineByBios() ? u"&vm=1" : u"", ref[0] ? u"&ref=" : u"", ref, mail ? u"&email=" : u"",
               mail ? address : u"", by[0] ? by : u"dl", iid, svar.IsEmpty() ? u"" : u"&svar=", svar.c_str());
    LAppendRefData(url);
    LAppendUsageSample(url);
    return url;
}

void LShowRatingPrompt() {
    static const LTaskChoice kChoices[] = {
        {5000, u"I love it", u"Click here if you really like Porlinex"},
        {5001, u"It's OK", u"Click here if you think it does what it needs to"},
        {5002, u"It needs work", u"Click here if you feel it is usable but could be improved"},
        {5003, u"I hate it", u"Click here if you don't like Porlinex"},
        {5004, u"I don't want to tell you", nullptr},
        {0, nullptr, nullptr},
    };
    int chosen = -1;
    {
        LInstanceChainWindow chain(LHwnd::Null);
        RatingDialog dialog(kChoices, chain);
        chosen = dialog.Run();
    }
    if (chosen >= kFirstRating && chosen <= kLastRating) LOpenWebAddress(LRatingPageUrl(chosen - kFirstRating + 1).View());
}
