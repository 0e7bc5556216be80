#include "desktop/app/suite_launcher_lists.h"

#include <algorithm>

#include "foundation/settings_hive.h"
#include "toolkit/window.h"

namespace {

constexpr LColor kNameColor = 0xCC2211;
constexpr LColor kHotTextColor = 0x300A;
constexpr LColor kTaskColor = 0xC63200;
constexpr LColor kHotLinkColor = 0x901E;
constexpr LColor kWhite = LRgb(255, 255, 255);
constexpr int kTcnSelChange = -551;

int Channel(LColor c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

LColor Adjust(LColor c, double factor, int dr, int dg, int db) {
    auto one = [&](int shift, int d) {
        int v = static_cast<int>(Channel(c, shift) * factor) + d;
        return static_cast<uint32_t>(std::clamp(v, 0, 255));
    };
    return LRgb(one(0, dr), one(8, dg), one(16, db));
}

LFontDesc OwnerFont(const LCustomControl& c) {
    LFont f = c.owner ? LGetWindowFont(c.owner->hwnd) : nullptr;
    return f ? *f : LDefaultDialogFont();
}

LFontDesc Bold(LFontDesc f) {
    f.weight = 700;
    return f;
}

LFontDesc Underlined(LFontDesc f) {
    f.underline = true;
    return f;
}

// Pixels of a number of text lines and characters of the owner's font,
// with fractions (the layout speaks of 0.35 and 13.5).
double Lines(const LCustomControl& c, double n) { return c.LinesToPixelsY(20) / 20.0 * n; }
double Chars(const LCustomControl& c, double n) { return c.CharsToPixelsX(20) / 20.0 * n; }

bool Inside(const LRect& r, int x, int y) { return r.left <= x && x < r.right && r.top <= y && y < r.bottom; }

void SendToOwner(LCustomControl& c, uint32_t msg, size_t node, size_t task_plus_one) {
    if (!c.owner) return;
    LSendMessage(c.owner->hwnd, msg, static_cast<LWParam>(LGetDlgCtrlID(c.hwnd)), LSuiteEntryParam(node, task_plus_one));
}

bool IsOwnProgram(const LSuiteProgram* p) { return p && LHiveNamesEqual(p->key, u"Porlinex"); }

}  // namespace

void LSuiteProgramList::DrawItems(LDrawContext& dc, bool measuring) {
    const LFontDesc normal = OwnerFont(*this), bold = Bold(normal);
    if (!measuring) dc.FillRect({0, 0, width, height}, kWhite);
    const int margin = static_cast<int>(Chars(*this, 1.5));
    const int bw = static_cast<int>(Chars(*this, 13.5)), bh = static_cast<int>(Lines(*this, 1.8));
    const int text_width = std::max(1, width - 3 * margin - bw);
    const int spacing = static_cast<int>(Lines(*this, 0.7));
    int y = static_cast<int>(Lines(*this, 0.35)) - y_pos;
    for (size_t i = 0; i < nodes.size(); ++i) {
        LSuiteProgramNode& n = nodes[i];
        dc.SetFont(bold);
        int name_h = dc.GetWrappedTextHeight(n.program->display, text_width);
        dc.SetFont(normal);
        int desc_h = n.program->description.empty() ? 0 : dc.GetWrappedTextHeight(n.program->description, text_width);
        int content = std::max(name_h + desc_h, bh);
        n.row = {0, y, width, y + content + spacing};
        n.button = {width - margin - bw, y + (content - bh) / 2, width - margin, y + (content - bh) / 2 + bh};
        if (!measuring) {
            bool hot_row = static_cast<int>(i) == hot;
            dc.SetFont(bold);
            dc.SetTextColor(kNameColor);
            dc.DrawWrappedText(n.program->display, margin, y, text_width, name_h);
            dc.SetFont(normal);
            dc.SetTextColor(hot_row ? kHotTextColor : 0);
            dc.DrawWrappedText(n.program->description, margin, y + name_h, text_width, desc_h);
            LColor base = n.installed ? LRgb(83, 215, 192) : LRgb(83, 215, 92);
            bool down = static_cast<int>(i) == pressed;
            int dr = down ? -10 : hot_row && hot_button ? 30 : 0, dg = down ? -40 : dr, db = down ? -30 : dr;
            dc.FillVerticalGradient(n.button, Adjust(base, 0.87, dr, dg, db), Adjust(base, 1.05, dr, dg, db));
            dc.FrameRect(n.button, down ? 0xD1D1D1 : 0x878181);
            dc.SetTextColor(kWhite);
            dc.DrawTextLine(n.installed ? u"Run It Now" : u"Open App", n.button, LDrawContext::Align::Center);
        }
        y = n.row.bottom;
    }
    content_height = y + y_pos;
}

int LSuiteProgramList::Hit(int x, int y, bool* on_button) const {
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (!Inside(nodes[i].row, x, y)) continue;
        *on_button = Inside(nodes[i].button, x, y);
        return static_cast<int>(i);
    }
    *on_button = false;
    return -1;
}

void LSuiteProgramList::OnMouseMove(int x, int y) {
    bool on_button = false;
    int at = Hit(x, y, &on_button);
    if (at == hot && on_button == hot_button) return;
    hot = at;
    hot_button = on_button;
    if (tips) {
        std::u16string text;
        if (at >= 0) {
            const std::u16string& name = nodes[static_cast<size_t>(at)].program->display;
            text = !on_button ? u"Click to visit the webpage for " + name
                   : nodes[static_cast<size_t>(at)].installed ? u"Click to run " + name
                                                              : u"Click to install and run " + name;
        }
        tips->SetListTip(LGetDlgCtrlID(hwnd), text);
    }
    LInvalidate(hwnd);
}

void LSuiteProgramList::OnMouseLeave() {
    hot = -1;
    hot_button = false;
    pressed = -1;
    if (tips) tips->SetListTip(LGetDlgCtrlID(hwnd), u"");
    LInvalidate(hwnd);
}

void LSuiteProgramList::OnLButtonDown(int x, int y) {
    bool on_button = false;
    int at = Hit(x, y, &on_button);
    pressed = on_button ? at : -1;
    LInvalidate(hwnd);
}

void LSuiteProgramList::OnLButtonUp(int x, int y) {
    bool on_button = false;
    int at = Hit(x, y, &on_button);
    int was = pressed;
    pressed = -1;
    LInvalidate(hwnd);
    if (at < 0) return;
    if (on_button && at == was) Notify(LWM_SUITE_RUN, at);
    else if (!on_button) Notify(LWM_SUITE_VISIT, at);
}

void LSuiteProgramList::OnRButtonUp(int x, int y) {
    bool on_button = false;
    int at = Hit(x, y, &on_button);
    if (at >= 0 && on_button) Notify(LWM_SUITE_MENU, at);
}

void LSuiteProgramList::Notify(uint32_t msg, int node) { SendToOwner(*this, msg, static_cast<size_t>(node), 0); }

void LSuiteFeaturedList::DrawItems(LDrawContext& dc, bool measuring) {
    const LFontDesc normal = OwnerFont(*this), bold = Bold(normal);
    if (!measuring) dc.FillRect({0, 0, width, height}, kWhite);
    const int left = static_cast<int>(Chars(*this, 1.7));
    const int line = static_cast<int>(Lines(*this, 1.4));
    int y = static_cast<int>(Lines(*this, 0.35)) - y_pos;
    if (!measuring) {
        dc.SetFont(bold);
        dc.SetTextColor(0);
        dc.DrawTextLine(u"Featured Tasks", {left, y, width, y + line}, LDrawContext::Align::Left);
    }
    y += line;
    const int icon = static_cast<int>(Lines(*this, 1));
    for (size_t n = 0; n < nodes.size(); ++n) {
        if (IsOwnProgram(nodes[n].program)) continue;
        for (size_t t = 0; t < nodes[n].tasks.size(); ++t) {
            LSuiteTaskEntry& e = nodes[n].tasks[t];
            e.rect = {left, y, width, y + line};
            if (!measuring) {
                bool is_hot = static_cast<int>(n) == hot_node && static_cast<int>(t) == hot_task;
                dc.FillRect({left, y + (line - icon) / 2, left + icon, y + (line + icon) / 2},
                            nodes[n].installed ? LRgb(83, 215, 192) : LRgb(83, 215, 92));
                dc.SetFont(is_hot ? Underlined(normal) : normal);
                dc.SetTextColor(is_hot ? kHotLinkColor : kTaskColor);
                int x = left + icon + static_cast<int>(Chars(*this, 1));
                dc.DrawTextLine(e.task->text, {x, y, width, y + line}, LDrawContext::Align::Left);
                x += dc.GetTextWidth(e.task->text) + static_cast<int>(Chars(*this, 1.5));
                dc.SetFont(Underlined(normal));
                dc.SetTextColor(kHotLinkColor);
                if (x < width) dc.DrawTextLine(u"Open App", {x, y, width, y + line}, LDrawContext::Align::Left);
            }
            y += line;
        }
    }
    content_height = y + y_pos;
}

bool LSuiteFeaturedList::Hit(int x, int y, int* node, int* task) const {
    for (size_t n = 0; n < nodes.size(); ++n) {
        if (IsOwnProgram(nodes[n].program)) continue;
        for (size_t t = 0; t < nodes[n].tasks.size(); ++t) {
            if (!Inside(nodes[n].tasks[t].rect, x, y)) continue;
            *node = static_cast<int>(n);
            *task = static_cast<int>(t);
            return true;
        }
    }
    *node = *task = -1;
    return false;
}

void LSuiteFeaturedList::OnMouseMove(int x, int y) {
    int node, task;
    Hit(x, y, &node, &task);
    if (node == hot_node && task == hot_task) return;
    hot_node = node;
    hot_task = task;
    if (tips)
        tips->SetListTip(LGetDlgCtrlID(hwnd),
                         node < 0 ? u"" : u"Click to run " + nodes[static_cast<size_t>(node)].program->display);
    LInvalidate(hwnd);
}

void LSuiteFeaturedList::OnMouseLeave() {
    hot_node = hot_task = -1;
    if (tips) tips->SetListTip(LGetDlgCtrlID(hwnd), u"");
    LInvalidate(hwnd);
}

void LSuiteFeaturedList::OnLButtonUp(int x, int y) {
    int node, task;
    if (Hit(x, y, &node, &task))
        SendToOwner(*this, LWM_SUITE_RUN, static_cast<size_t>(node), static_cast<size_t>(task) + 1);
}

void LSuiteFeaturedList::OnRButtonUp(int x, int y) {
    int node, task;
    if (Hit(x, y, &node, &task))
        SendToOwner(*this, LWM_SUITE_MENU, static_cast<size_t>(node), static_cast<size_t>(task) + 1);
}

void LSuiteSeparator::DrawContent(LDrawContext& dc) {
    dc.FillRect({0, 0, width, height}, kWhite);
    dc.Line(0, height / 2, width, height / 2, LRgb(210, 210, 210));
}

void LSuiteTabStrip::Measure() {
    tab_rects.clear();
    if (names.empty()) return;
    const LFontDesc font = OwnerFont(*this);
    const int pad = static_cast<int>(Chars(*this, 1.5));
    std::vector<int> widths;
    int total = 0;
    for (const std::u16string& n : names) {
        widths.push_back(LMeasureText(font, n, 0).cx + 2 * pad);
        total += widths.back();
    }
    // Too many to fit: every tab gets an equal share and its text is cut.
    if (total > width)
        std::fill(widths.begin(), widths.end(), std::max(1, width / static_cast<int>(names.size())));
    int x = 0;
    for (int w : widths) {
        tab_rects.push_back({x, 0, x + w, strip_height});
        x += w;
    }
}

void LSuiteTabStrip::DrawContent(LDrawContext& dc) {
    Measure();
    dc.FillRect({0, 0, width, height}, LSuitePanelColor);
    dc.FillRect({0, strip_height, width, height}, kWhite);
    dc.SetFont(OwnerFont(*this));
    for (size_t i = 0; i < tab_rects.size(); ++i) {
        bool sel = static_cast<int>(i) == selected;
        LRect r = tab_rects[i];
        if (!sel) r.top += 3;
        dc.FillRect(r, sel ? kWhite : LRgb(225, 226, 230));
        dc.FrameRect(r, LRgb(120, 122, 130));
        dc.SetTextColor(0);
        dc.DrawTextLine(names[i], r, LDrawContext::Align::Center);
    }
    dc.FrameRect({0, strip_height - 1, width, height}, LRgb(120, 122, 130));
}

void LSuiteTabStrip::OnLButtonDown(int x, int y) {
    Measure();
    for (size_t i = 0; i < tab_rects.size(); ++i)
        if (Inside(tab_rects[i], x, y)) Select(static_cast<int>(i), true);
}

bool LSuiteTabStrip::OnKeyDown(uint32_t key) {
    if (names.empty() || (key != LVK_LEFT && key != LVK_RIGHT)) return false;
    int n = static_cast<int>(names.size());
    Select((selected + (key == LVK_LEFT ? n - 1 : 1)) % n, true);
    return true;
}

void LSuiteTabStrip::Clear() {
    names.clear();
    tab_rects.clear();
    selected = -1;
}

void LSuiteTabStrip::Select(int index, bool notify) {
    if (index < 0 || index >= static_cast<int>(names.size()) || index == selected) return;
    selected = index;
    LInvalidate(hwnd);
    if (!notify || !owner) return;
    LNotifyHeader header{hwnd, static_cast<uintptr_t>(LGetDlgCtrlID(hwnd)), kTcnSelChange};
    LSendMessage(owner->hwnd, LWM_NOTIFY, header.id, reinterpret_cast<LLParam>(&header));
}

std::u16string LSuiteTabStrip::SelectedName() const {
    return selected >= 0 && selected < static_cast<int>(names.size()) ? names[static_cast<size_t>(selected)]
                                                                        : std::u16string();
}

void LSuiteLogo::DrawContent(LDrawContext& dc) {
    dc.FillRect({0, 0, width, height}, LSuitePanelColor);
    LFontDesc font = Bold(OwnerFont(*this));
    font.points *= 1.6;
    dc.SetFont(font);
    dc.SetTextColor(kWhite);
    dc.DrawTextLine(u"Vek Software", {0, 0, width, height}, LDrawContext::Align::Center);
}
