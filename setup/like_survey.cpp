#include "setup/like_survey.h"

#include <algorithm>

#include "foundation/named_mutex.h"
#include "foundation/reg_settings.h"
#include "foundation/system_shell.h"
#include "foundation/system_version.h"
#include "host/entry_points.h"
#include "net/smtp/mail_discovery.h"
#include "setup/closing_prompts.h"
#include "setup/comment_report.h"
#include "setup/maker_hosts.h"
#include "setup/split_test.h"
#include "setup/wizard_host.h"
#include "toolkit/property_sheet.h"

namespace {

constexpr uint32_t kMultiLine = 0x0004;
constexpr uint32_t kAutoVScroll = 0x0040;
constexpr uint32_t kWantReturn = 0x1000;
constexpr uint32_t kClientEdge = 0x0200;
constexpr uint32_t kVScroll = 0x00200000;
// A comment must say more than this to be worth sending.
constexpr uint64_t kShortestComment = 10;

// The sheet's buttons keep their order from the right (Cancel, then Finish
// or Next, then Back) but grow to fit longer texts than the standard ones.
void FitSheetButtons(LHwnd sheet) {
    const LRect unit = LMapDialogRect(sheet, {0, 0, 50, 14});
    const LRect gap = LMapDialogRect(sheet, {0, 0, 7, 7});
    LFont font = LGetWindowFont(sheet);
    auto width = [&](int id) {
        int text = font ? LMeasureText(*font, LGetWindowText(LGetDlgItem(sheet, id)), 0).cx : 0;
        return std::max(unit.right, text + 2 * gap.right);
    };
    LHwnd cancel = LGetDlgItem(sheet, LIDCANCEL);
    const int top = LGetWindowRect(cancel).top - LClientToScreen(sheet, {0, 0}).y;
    int right = LGetClientRect(sheet).right - gap.right - unit.right - gap.right / 2;
    auto place = [&](int id, int w) { LSetWindowPos(LGetDlgItem(sheet, id), right - w, top, w, unit.bottom, LSWP_NOZORDER); };
    if (LIsWindowVisible(cancel)) {
        int w = width(LIDCANCEL);
        place(LIDCANCEL, w);
        right -= w + gap.right / 2;
    }
    int w = width(LIDC_FINISH);
    place(LIDC_FINISH, w);
    place(LIDC_NEXT, unit.right);
    right -= w + gap.right / 2;
    place(LIDC_BACK, unit.right);
}

void SetSheetButtonText(LHwnd sheet, int id, const char16_t* text) { LSetWindowText(LGetDlgItem(sheet, id), text); }

}  // namespace

void LLikeSurveyChoicePage::OnInitDialog() {
    // A second start while the survey is up finds the wizard through this.
    LHwnd top = LGetAncestorRoot(hwnd);
    chain_ = std::make_unique<LInstanceChainWindow>(top);
    chain_->Forward(top);
    char16_t now[260] = {0};
    LRegSettingsGet(u"Software", u"ShowSurveyNow", u"", now);
    const bool scheduled_now = now[0] && !(now[0] == u'0' && now[1] == 0);
    LRegSettingsDelete(u"Software", u"ShowSurveyNow");
    wizard_buttons = LPSWIZB_FINISH;

    const char16_t* text = u"We'd love to hear about your experience. Help us to improve our products by selecting one of "
                           u"the answers below.";
    CreateChild(kText, u"Static", text, LWS_VISIBLE, 0);
    CreateCommandLink(kLiked, u"Yes, I liked Porlinex.", nullptr);
    CreateCommandLink(kDisliked, u"No, I did not like it or had problems.", nullptr);
    if (scheduled_now) CreateCommandLink(kAskNext, u"Ask me next time.", nullptr);
    else CreateCommandLink(kRunAgain, u"I don't remember (run it for me again now).", nullptr);

    const int x = DialogUnitsToPixelsX(4), width = DialogUnitsToPixelsX(260 - 2 * 4);
    const int gap = DialogUnitsToPixelsY(4), link = DialogUnitsToPixelsY(25);
    int y = gap;
    int h = GetItemWrappedTextHeight(kText, text, width);
    MoveItem(kText, x, y, width, h);
    y += h + gap;
    for (int id : {kLiked, kDisliked, scheduled_now ? kAskNext : kRunAgain}) {
        MoveItem(id, x, y, width, link);
        y += link + gap;
    }
}

void LLikeSurveyChoicePage::OnActivate() {
    LHwnd sheet = LGetParent(hwnd);
    LSendMessage(sheet, LPSM_SHOWWIZBUTTONS, 0, LPSWIZB_CANCEL);
    SetSheetButtonText(sheet, LIDC_FINISH, u"Ask Me Later");
    FitSheetButtons(sheet);
}

void LLikeSurveyChoicePage::EndWithCancel() {
    LHwnd sheet = LGetParent(hwnd);
    LSendMessage(sheet, LPSM_SHOWWIZBUTTONS, LPSWIZB_CANCEL, LPSWIZB_CANCEL);
    LPostMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_CANCEL, 0);
}

void LLikeSurveyChoicePage::OnCommand(int id, int) {
    switch (id) {
    case kLiked:
        state_.ask_again = false;
        LOpenLikeItPage();
        EndWithCancel();
        break;
    case kDisliked:
        state_.ask_again = false;
        LSendMessage(LGetParent(hwnd), LPSM_SHOWWIZBUTTONS, LPSWIZB_NEXT, LPSWIZB_NEXT);
        LPostMessage(LGetParent(hwnd), LPSM_PRESSBUTTON, LPSBTN_NEXT, 0);
        break;
    case kRunAgain:
        state_.run_now = true;
        EndWithCancel();
        break;
    case kAskNext: EndWithCancel(); break;
    default: break;
    }
}

void LLikeSurveyCommentPage::OnInitDialog() {
    const char16_t* note =
        u"This is entirely optional but we appreciate all information that helps us to improve our products.";
    CreateChild(kComment, u"Edit", u"", LWS_VISIBLE | LWS_TABSTOP | kVScroll | kMultiLine | kAutoVScroll | kWantReturn,
                kClientEdge);
    CreateChild(kNote, u"Static", note, LWS_VISIBLE, 0);
    const int x = DialogUnitsToPixelsX(4), width = DialogUnitsToPixelsX(260 - 2 * 4), gap = DialogUnitsToPixelsY(4);
    const int edit = DialogUnitsToPixelsY(80);
    MoveItem(kComment, x, gap, width, edit);
    MoveItem(kNote, x, gap + edit + gap, width, GetItemWrappedTextHeight(kNote, note, width));
}

void LLikeSurveyCommentPage::OnActivate() {
    LHwnd sheet = LGetParent(hwnd);
    SetSheetButtonText(sheet, LIDC_FINISH, u"Submit");
    // Without Cancel the only way to decline would be the window's close
    // box; it comes back here under its own name.
    SetSheetButtonText(sheet, LIDCANCEL, u"I don't want to tell you");
    LSendMessage(sheet, LPSM_SHOWWIZBUTTONS, LPSWIZB_CANCEL, LPSWIZB_CANCEL);
    FitSheetButtons(sheet);
    LSetFocus(LGetDlgItem(hwnd, kComment));
}

bool LLikeSurveyCommentPage::OnOk() {
    std::u16string text = LGetWindowText(LGetDlgItem(hwnd, kComment));
    state_.comment.Clear();
    state_.comment.AppendView(text);
    return true;
}

bool LIsUninstallerRunning() {
    char path[4096];
    if (!LNamedMutex::LockFilePath(u"VekSoftware_InstanceUninst", path)) return false;
    LLockFile file;
    return file.Open(path) && file.TryLock() == 1;
}

bool LShowLikeSurvey() {
    LDeleteScheduledTask("LikeSurvey");
    if (LIsUninstallerRunning()) return false;
    if (!LWindowLayerIsOpen() && !LDesktopOpenDisplay()) return false;
    LLikeSurveyState state;
    LLikeSurveyChoicePage choice(state);
    LLikeSurveyCommentPage comment(state);
    LWizardPageList pages;
    LAddWizardPage(pages, &choice, u"You recently downloaded the program Porlinex", nullptr, 280, 112);
    LAddWizardPage(pages, &comment, u"Please let us know what problems you found or why you didn't like it:", nullptr,
                   280, 112);
    if (LRunWizard(pages, u"Rate Porlinex")) {
        if (state.ask_again) LRegSettingsSet(u"Software", u"ShowSurvey", u"1");
        if (state.comment.length > kShortestComment) LSendComment(state.comment);
    }
    return state.run_now;
}

LString LLikeItPageUrl() {
    char16_t ref[260] = {0}, server[260] = {0}, address[260] = {0};
    LRegSettingsGet(u"Software", u"Ref", u"", ref);
    bool mail = LDefaultMailAccountFind(server, address) && address[0];
    LString svar = LIsRunningUnderWine() ? LString() : LFromUtf8(LReadSplitTestList());
    LString url;
    url.Format(u"https://%s/software/likeit.html?software=Porlinex&version=2.01%s%s&appname=%s&domain=&base=email"
               u"&email=%U%s%U%s%U",
               LFromUtf8(LGetMakerWebHost()).c_str(), LIsRunningUnderWine() ? u"&wine=1" : u"",
               LIsVirtualMachineByBios() || LIsVirtualMachineByCpuid() ? u"&vm=1" : u"", u"Porlinex",
               mail ? address : u"", ref[0] ? u"&ref=" : u"", ref, svar.IsEmpty() ? u"" : u"&svar=", svar.c_str());
    return url;
}

void LOpenLikeItPage() { LOpenWebAddress(LLikeItPageUrl().View()); }
