// Why the user leaves: a reason from the list and, for most reasons, a
// comment; the answer is sent after the pages (uninstall_feedback.h).
#include <algorithm>
#include <string>

#include "setup/maker_hosts.h"
#include "setup/uninstall_feedback.h"
#include "setup/uninstall_pages.h"
#include "toolkit/combo_box.h"
#include "toolkit/edit_prompt.h"
#include "toolkit/property_sheet.h"

namespace {

struct Reason {
    const char* key;
    const char16_t* list_text;
    const char16_t* prompt;       // null: none
    const char16_t* cue;          // null: the general cue
    const char16_t* alternative;  // null: a comment is asked instead
};

// Every reason takes an empty comment.
constexpr Reason kReasonTable[] = {
    {"NotUsed", u"I don't use it very often", nullptr, nullptr,
     u"A full list of our products can be found at the below website. You may find another product that is more "
     u"suitable for your needs."},
    {"Problem", u"I have problems using it", u"Please tell us what problems you have had?",
     u"[Enter the problem you had here]", nullptr},
    {"Features", u"It doesn't have features that I want", u"Please let us know what features are missing?",
     u"[Enter which features were missing here]", nullptr},
    {"Prefer", u"I prefer another product", u"Please tell us why you prefer the other product? [Optional]",
     u"[Enter which product you preferred and why]", nullptr},
    {"Other", u"Other", nullptr, u"[Enter the reason for uninstall]", nullptr},
};
constexpr int kReasonCount = static_cast<int>(sizeof kReasonTable / sizeof kReasonTable[0]);
constexpr char16_t kGeneralCue[] = u"[Type any comments here]";

// The chosen reason; null for the first entry, "[Click to select reason]".
const Reason* Chosen(LHwnd list) {
    LResult i = LSendMessage(list, LCB_GETCURSEL, 0, 0);
    return i >= 1 && i <= kReasonCount ? &kReasonTable[i - 1] : nullptr;
}

bool Contains(const std::u16string& lower, std::u16string_view word) { return lower.find(word) != std::u16string::npos; }

}  // namespace

void LUninstallFeedbackPage::OnInitDialog() {
    CreateChild(kIntro, u"Static",
                u"Please let us know why you are uninstalling. This is sent to our server anonymously and is used to "
                u"help us make Porlinex better.",
                LWS_VISIBLE, 0);
    MoveItemDlgUnits(kIntro, {7, 4, 304, 18});
    CreateChild(kNo, u"Button", u"No, I don't want to tell you", LWS_VISIBLE | LWS_TABSTOP | LWS_GROUP |
                LBS_AUTORADIOBUTTON, 0);
    MoveItemDlgUnits(kNo, {7, 24, 300, 10});
    CreateChild(kYes, u"Button", u"Yes, send these comments to developers", LWS_VISIBLE | LBS_AUTORADIOBUTTON, 0);
    MoveItemDlgUnits(kYes, {7, 36, 300, 10});
    CreateChild(kReasons, u"ComboBox", u"", LWS_VISIBLE | LWS_TABSTOP | LWS_GROUP | LCBS_DROPDOWNLIST, 0);
    MoveItemDlgUnits(kReasons, {19, 50, 200, 14});
    CreateChild(kPrompt, u"Static", u"", 0, 0);
    MoveItemDlgUnits(kPrompt, {19, 68, 290, 9});
    CreateChild(kComment, u"Edit", u"", LWS_TABSTOP | LWS_BORDER, 0);
    MoveItemDlgUnits(kComment, {19, 79, 290, 14});
    CreateChild(kIcon, u"Static", u"", LSS_ICON, 0);
    MoveItemDlgUnits(kIcon, {19, 68, 20, 20});
    CreateChild(kAlternative, u"Static", u"", 0, 0);
    MoveItemDlgUnits(kAlternative, {45, 68, 264, 26});
    CreateChild(kLink, u"Static", LFromUtf8(LGetMakerWebHost()).c_str(), 0, 0);
    MoveItemDlgUnits(kLink, {45, 96, 264, 9});
    LSendMessage(LGetDlgItem(hwnd, kIcon), LSTM_SETICON, static_cast<LWParam>(LMakeIcon(32516, 32)), 0);
    LMakeHyperlink(this, kLink, LFromUtf8("https://" + LGetMakerWebHost() + "/index.html").c_str());

    LHwnd list = LGetDlgItem(hwnd, kReasons);
    LSendMessage(list, LCB_ADDSTRING, 0, reinterpret_cast<LLParam>(u"[Click to select reason]"));
    for (const Reason& r : kReasonTable) LSendMessage(list, LCB_ADDSTRING, 0, reinterpret_cast<LLParam>(r.list_text));
    LSendMessage(list, LCB_SETCURSEL, 0, 0);
    LHwnd comment = LGetDlgItem(hwnd, kComment);
    LSendMessage(comment, LEM_LIMITTEXT, kMaxComment, 0);
    LSetEditPrompt(comment, kGeneralCue, true);
    LSendMessage(LGetDlgItem(hwnd, state_.keep_installed ? kNo : kYes), LBM_SETCHECK, LBST_CHECKED, 0);
    ShowForReason();
}

// The first entry shows nothing below the list; a reason with an
// alternative shows it with the link and icon; the others ask a comment.
void LUninstallFeedbackPage::ShowForReason() {
    const Reason* r = Chosen(LGetDlgItem(hwnd, kReasons));
    bool alternative = r && r->alternative;
    bool comment = r && !r->alternative;
    LShowWindow(LGetDlgItem(hwnd, kAlternative), alternative ? LSW_SHOW : LSW_HIDE);
    LShowWindow(LGetDlgItem(hwnd, kLink), alternative ? LSW_SHOW : LSW_HIDE);
    LShowWindow(LGetDlgItem(hwnd, kIcon), alternative ? LSW_SHOW : LSW_HIDE);
    LShowWindow(LGetDlgItem(hwnd, kPrompt), comment ? LSW_SHOW : LSW_HIDE);
    LShowWindow(LGetDlgItem(hwnd, kComment), comment ? LSW_SHOW : LSW_HIDE);
    if (alternative) SetItemText(kAlternative, r->alternative);
    if (comment) {
        SetItemText(kPrompt, r->prompt ? r->prompt : u"");
        LSetEditPrompt(LGetDlgItem(hwnd, kComment), r->cue ? r->cue : kGeneralCue, true);
    }
}

void LUninstallFeedbackPage::EnableForChoice() {
    bool yes = LSendMessage(LGetDlgItem(hwnd, kYes), LBM_GETCHECK, 0, 0) == LBST_CHECKED;
    for (int id : {kReasons, kPrompt, kComment, kAlternative, kLink, kIcon}) EnableItem(id, yes);
}

void LUninstallFeedbackPage::OnActivate() {
    LHwnd sheet = LGetParent(hwnd);
    if (state_.keep_installed) {
        // Nothing is being uninstalled: there is nothing to ask.
        LPostMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_FINISH, 0);
        return;
    }
    EnableForChoice();
    wizard_buttons &= ~LPSWIZB_BACK;
    LSendMessage(sheet, LPSM_SETWIZBUTTONS, 0, wizard_buttons);
    LSendMessage(sheet, LPSM_SHOWWIZBUTTONS, 0, LPSWIZB_BACK);
}

void LUninstallFeedbackPage::OnCommand(int id, int code) {
    if (id == kReasons && code == static_cast<int>(LCBN_SELCHANGE)) ShowForReason();
    if (id == kNo || id == kYes) EnableForChoice();
}

bool LUninstallFeedbackPage::OnOk() {
    if (LSendMessage(LGetDlgItem(hwnd, kYes), LBM_GETCHECK, 0, 0) != LBST_CHECKED) return true;
    const Reason* r = Chosen(LGetDlgItem(hwnd, kReasons));
    if (!r) {
        LShowPageWarningBalloon(this, kReasons, u"Please select your uninstall reason from the drop down list.");
        return false;
    }
    std::u16string comment;
    if (!r->alternative) {
        // One unit beyond the limit is enough to tell a comment too long;
        // the prompt shown in an empty edit reads as empty.
        char16_t text[kMaxComment + 2];
        GetItemTextN(kComment, text, kMaxComment + 2);
        comment = text;
        if (comment.size() > kMaxComment) {
            LShowPageWarningBalloon(this, kComment, u"Your comment cannot exceed 300 characters.");
            return false;
        }
        // "Other" without a word says nothing worth sending.
        if (comment.empty() && std::string_view(r->key) == "Other") return true;
        std::string_view key = r->key;
        if (key == "Problem" || key == "Other") {
            std::u16string lower = comment;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; });
            std::u16string antivirus = LGetAntivirusProducts();
            if ((Contains(lower, u"virus") || Contains(lower, u"malware") || Contains(lower, u"trojan")) &&
                !antivirus.empty())
                comment += u"  [" + antivirus + u"]";
        }
    }
    state_.feedback_given = true;
    state_.feedback_key = r->key;
    state_.feedback_comment = comment;
    return true;
}
