// The task dialog's own fallback: radio buttons for the choices, their
// notes, an etched line, OK with Cancel or Close, and the verification box,
// all entered into the dialog's layout so that resizing re-flows the texts.
#include <algorithm>
#include <new>

#include "toolkit/message_box.h"
#include "toolkit/text_cut.h"

namespace {

constexpr int kInstruction = 101;
constexpr int kContent = 102;
constexpr int kVerification = 104;
constexpr int kFirstChoice = 200;
constexpr int kFirstNote = 300;
constexpr int kLine = 583;

LLayoutSpec TextCell(int width, int height) {
    LLayoutSpec s;
    s.min_width = width;
    s.min_height = height;
    s.weight_h = 100;
    return s;
}

// A row of its own layout, so that its indent does not become a column of
// the rows above and below.
void AddIndentedRow(LLayout* into, int indent, int id, const LLayoutSpec& cell) {
    auto* row = new (std::nothrow) LLayout(into->Owner());
    if (!row) return;
    row->BeginRow();
    row->AddHorizontalSpace(indent);
    row->AddControl(id, cell);
    row->EndRow();
    into->BeginRow();
    into->Add(row);
    into->EndRow();
}

}  // namespace

LTaskDialog::LTaskDialog(LHwnd owner, const char16_t* caption, const char16_t* instruction, const char16_t* content,
                         const LTaskChoice* choices, int default_id)
    : owner_(owner),
      caption_(caption ? caption : u""),
      instruction_(instruction ? instruction : u""),
      content_(content ? content : u""),
      default_id_(default_id) {
    for (const LTaskChoice* c = choices; c && c->id > 0; ++c)
        choices_.push_back({c->id, LCutText(c->label ? c->label : u"", 519), c->note ? c->note : u""});
}

int LTaskDialog::Run() {
    if (!cancel_allowed) show_cancel = false;
    task_dialog_available = false;
    bool sized = width_chars != 0 && height_lines != 0;
    intptr_t r = RunModalResult(this, owner_, sized ? width_chars : 0, sized ? height_lines : 0);
    if (r == LIDOK) return chosen_id;
    if (r == LIDCLOSE) return LIDCLOSE;
    return -1;
}

void LTaskDialog::OnInitDialog() {
    LSetWindowText(hwnd, caption_);
    const int mx = DialogUnitsToPixelsX(7), my = DialogUnitsToPixelsY(7), gap = DialogUnitsToPixelsY(4);
    LFont font = LGetWindowFont(hwnd);
    int content_width = DialogUnitsToPixelsX(278 - 2 * 7);
    for (const Choice& c : choices_)
        content_width = std::max(content_width, DialogUnitsToPixelsX(5) + LMeasureText(*font, c.label, 0).cx +
                                                    DialogUnitsToPixelsX(13));

    LLayout* inner = layout.SetMargins(this, mx, my, mx, my);
    if (!instruction_.empty()) {
        LCreateWindowFontVariant(instruction_font_, hwnd, 1, true, false);
        CreateChild(kInstruction, u"Static", instruction_.c_str(), LWS_VISIBLE | LSS_NOPREFIX, 0);
        LSetWindowFont(LGetDlgItem(hwnd, kInstruction), instruction_font_, true);
        inner->AddControlRow(kInstruction, TextCell(content_width, LMeasureText(*instruction_font_, instruction_,
                                                                                content_width).cy));
        inner->AddVerticalSpace(2 * gap);
    }
    if (!content_.empty()) {
        CreateChild(kContent, u"Static", content_.c_str(), LWS_VISIBLE | LSS_NOPREFIX, 0);
        content_cell_ = inner->AddControlRow(kContent, TextCell(content_width, GetTextHeight(content_.c_str(), content_width)));
        inner->AddVerticalSpace(gap);
    }
    int checked = kFirstChoice;
    for (size_t i = 0; i < choices_.size(); ++i)
        if (choices_[i].id == default_id_) checked = kFirstChoice + static_cast<int>(i);
    int indent = DialogUnitsToPixelsX(5), note_indent = indent + DialogUnitsToPixelsX(13);
    for (size_t i = 0; i < choices_.size(); ++i) {
        int id = kFirstChoice + static_cast<int>(i);
        uint32_t style = LWS_VISIBLE | LWS_TABSTOP | LBS_AUTORADIOBUTTON | (i == 0 ? LWS_GROUP : 0u);
        CreateChild(id, u"Button", choices_[i].label.c_str(), style, 0);
        if (id == checked) LSendMessage(LGetDlgItem(hwnd, id), LBM_SETCHECK, LBST_CHECKED, 0);
        AddIndentedRow(inner, indent, id, TextCell(content_width - indent, DialogUnitsToPixelsY(10)));
        if (!choices_[i].note.empty()) {
            int nid = kFirstNote + static_cast<int>(i);
            CreateChild(nid, u"Static", choices_[i].note.c_str(), LWS_VISIBLE | LSS_NOPREFIX, 0);
            int w = content_width - note_indent;
            AddIndentedRow(inner, note_indent, nid, TextCell(w, GetItemWrappedTextHeight(nid, choices_[i].note.c_str(), w)));
            inner->AddVerticalSpace(gap);
        }
    }
    inner->AddVerticalSpace(DialogUnitsToPixelsY(2));
    CreateChild(kLine, u"Static", u"", LWS_VISIBLE | LSS_ETCHEDHORZ, LWS_EX_TRANSPARENT);
    inner->AddControlRow(kLine, TextCell(content_width, DialogUnitsToPixelsY(1)));
    // The room below the line takes what a taller window adds, so the
    // buttons stay at the bottom.
    LLayoutSpec below;
    below.min_height = DialogUnitsToPixelsY(7 + 14);
    below.weight_h = 100;
    below.weight_v = 100;
    inner->BeginRow();
    inner->Add(new (std::nothrow) LLayoutSpace(below));
    inner->EndRow();
    layout.CloseRow();

    CreateChild(LIDOK, u"Button", u"OK", LWS_VISIBLE | LWS_TABSTOP | LBS_DEFPUSHBUTTON, 0);
    if (use_close_button) CreateChild(LIDCLOSE, u"Button", u"Close", LWS_VISIBLE | LWS_TABSTOP, 0);
    else if (show_cancel) CreateChild(LIDCANCEL, u"Button", u"Cancel", LWS_VISIBLE | LWS_TABSTOP, 0);
    CreateChild(kVerification, u"Button", verification_text.c_str(), LWS_TABSTOP | LBS_AUTOCHECKBOX, 0);
    LSendMessage(LGetDlgItem(hwnd, kVerification), LBM_SETCHECK, verification_checked ? LBST_CHECKED : LBST_UNCHECKED, 0);

    LSetWindowLongPtr(hwnd, LGWL_EXSTYLE, LGetWindowLongPtr(hwnd, LGWL_EXSTYLE) & ~static_cast<intptr_t>(LWS_EX_CONTEXTHELP));
    if (!show_cancel && !use_close_button)
        LSetWindowLongPtr(hwnd, LGWL_STYLE, LGetWindowLongPtr(hwnd, LGWL_STYLE) & ~static_cast<intptr_t>(LWS_SYSMENU));
    layout.ArrangeScaled(1.0);
    int width = std::max(layout.spec.min_width, content_width + 2 * mx);
    SetClientSize(width, layout.spec.min_height);
    CenterOnDesktop();
    OnCreated(hwnd);
    LRect c = LGetClientRect(hwnd);
    ApplyLayout(0, 0, c.right, c.bottom);
}

void LTaskDialog::ApplyLayout(int x, int y, int width, int height) {
    if (show_verification) LShowWindow(LGetDlgItem(hwnd, kVerification), LSW_SHOW);
    if (content_cell_)
        content_cell_->spec.min_height = GetTextHeight(content_.c_str(), width - 2 * DialogUnitsToPixelsX(7));
    LDialog::ApplyLayout(x, y, width, height);
    int gap = PlaceStandardButtons(width, height);
    // The verification box fills the bottom row left of the buttons.
    int buttons = DialogUnitsToPixelsX(50) + ((show_cancel || use_close_button) ? DialogUnitsToPixelsX(50) + gap : 0);
    int mx = DialogUnitsToPixelsX(7);
    MoveItem(kVerification, mx, height - DialogUnitsToPixelsY(21), width - 2 * mx - buttons - gap,
             DialogUnitsToPixelsY(14));
}

bool LTaskDialog::OnOk() {
    for (size_t i = 0; i < choices_.size(); ++i) {
        if (LButtonGetCheck(LGetDlgItem(hwnd, kFirstChoice + static_cast<int>(i))) == LBST_CHECKED) {
            chosen_id = choices_[i].id;
            break;
        }
    }
    verification_checked = LButtonGetCheck(LGetDlgItem(hwnd, kVerification)) == LBST_CHECKED;
    return true;
}

bool LTaskDialog::OnCancel() {
    if (!cancel_allowed) return false;
    verification_checked = LButtonGetCheck(LGetDlgItem(hwnd, kVerification)) == LBST_CHECKED;
    return true;
}

void LTaskDialog::OnCommand(int id, int) {
    if (id != LIDCLOSE || !use_close_button) return;
    verification_checked = LButtonGetCheck(LGetDlgItem(hwnd, kVerification)) == LBST_CHECKED;
    End(LIDCLOSE);
}
