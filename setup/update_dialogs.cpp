#include "setup/update_dialogs.h"

#include <string>

#include "foundation/reg_settings.h"
#include "foundation/system_shell.h"
#include "setup/maker_hosts.h"
#include "setup/split_test.h"
#include "setup/usage_query.h"
#include "toolkit/message_box.h"
#include "toolkit/progress_dialog.h"

namespace {

enum { kNewsletter = 5000, kFacebook = 5001, kX = 5002 };

class VersionCheckProgress : public LProgressDialog {
public:
    explicit VersionCheckProgress(LVersionInfo& out) : LProgressDialog(u"Checking for Updates"), out_(out) {}
    void DoWork() override { result = LFetchVersionInfo(*Progress(), out_); }
    int result = 2;

private:
    LVersionInfo& out_;
};

bool SettingIsSet(const char16_t* name) {
    char16_t value[260] = {0};
    LRegSettingsGet(u"Settings", name, u"", value);
    return value[0] && std::u16string_view(value) != u"0";
}

void OpenChoice(int id) {
    if (id == kNewsletter) LOpenNewsletterPage();
    if (id == kFacebook) LOpenWebAddress(LGetMakerPage(u"FacebookPage", u"https://facebook.porlinex.invalid/"));
    if (id == kX) LOpenWebAddress(LGetMakerPage(u"XPage", u"https://x.porlinex.invalid/"));
}

void RunChoices(LHwnd parent, const char16_t* caption, const char16_t* instruction, const char16_t* content,
                const LTaskChoice* choices) {
    LTaskDialog dialog(parent, caption, instruction, content, choices, choices[0].id);
    OpenChoice(dialog.Run());
}

void ShowCurrent(LHwnd parent, bool oneDialog) {
    if (oneDialog) {
        static const LTaskChoice choices[] = {
            {kNewsletter, u"Sign up to our Vek version update newsletter", u"Select to be notified of future releases"},
            {kFacebook, u"Follow version updates on Facebook", u"Select if you have a Facebook account"},
            {kX, u"Follow version updates on X", u"Select if you have a X account"},
            {0, nullptr, nullptr}};
        RunChoices(parent, u"Version Current", u"Excellent, you are using the most up-to-date version.",
                   u"For automatic and instant notifications of new version, sign up or follow us using the options "
                   u"below.",
                   choices);
        return;
    }
    if (LAskOkCancelCustom(parent,
                           u"You are using the current version.\r\n\r\nSign up to the Vek Version Update Newsletter "
                           u"today to be notified of future releases.",
                           u"Version Current", u"Sign Up", u"Maybe Later"))
        LOpenNewsletterPage();
    static const LTaskChoice follow[] = {
        {kFacebook, u"Follow version updates on Facebook", u"Select if you have a Facebook account"},
        {kX, u"Follow version updates on Twitter", u"Select if you have a Twitter account"},
        {0, nullptr, nullptr}};
    RunChoices(parent, u"Follow Vek Software Releases",
               u"Sign up to follow Vek Software for automatic, instant program release notifications of new versions.",
               nullptr, follow);
}

void CheckInteractively(LHwnd parent, bool offerOneDialog) {
    LVersionInfo info;
    if (LRunVersionCheckWithProgress(parent, info) != 0) {
        LShowNoVersionInfoMessage(parent);
        return;
    }
    if (info.version > LProgramVersion) {
        if (!SettingIsSet(u"PromptUpdateDisabled") &&
            LAskYesNoCustom(parent,
                            u"An updated version of Porlinex is now available for download online. Do you want to "
                            u"see more information about the new version?",
                            u"Updated Version Available", u"View", u"Cancel"))
            LOpenWebAddress(info.info);
        return;
    }
    ShowCurrent(parent, offerOneDialog && LSplitTestIsOn("YZwa"));
}

}  // namespace

int LRunVersionCheckWithProgress(LHwnd parent, LVersionInfo& out) {
    VersionCheckProgress window(out);
    window.RunWork(parent);
    return window.result;
}

int LGetNewerVersionWithWindow(double& version) {
    return LGetNewerVersionWith([](LVersionInfo& info) { return LRunVersionCheckWithProgress(LHwnd::Null, info); },
                                version);
}

void LCheckForUpdates(LHwnd parent) { CheckInteractively(parent, true); }

void LCheckForUpdatedVersion(LHwnd parent) { CheckInteractively(parent, false); }

