#include "toolkit/notification_banner.h"

#include <algorithm>

#include "toolkit/text_cut.h"
#include "toolkit/window.h"

namespace {

bool Contains(const LRect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

}  // namespace

int LPushNotificationPanel::X(int n) const { return owner ? owner->DialogUnitsToPixelsX(n) : n * 6 / 4; }
int LPushNotificationPanel::Y(int n) const { return owner ? owner->DialogUnitsToPixelsY(n) : n * 13 / 8; }

bool LPushNotificationPanel::Create(LWindow* main_window, LSizeHandler* size_handler) {
    size_handler_ = size_handler;
    if (!main_window) return false;
    main_window->CreateChild(LBannerItemId, u"LPC", u"", LWS_VISIBLE, 0);
    Attach(main_window, LBannerItemId);
    if (hwnd == LHwnd::Null) return false;
    LShowWindow(hwnd, LSW_HIDE);
    main_window->AddTooltip(&tooltip_, hwnd, u"");
    return true;
}

void LPushNotificationPanel::Relayout() {
    if (!owner || !size_handler_ || LIsIconic(owner->hwnd)) return;
    LRect r = LGetClientRect(owner->hwnd);
    size_handler_->OnSize(r.Width(), r.Height());
}

void LPushNotificationPanel::Show(const char16_t* t, const char16_t* caption1, int command1,
                                  const char16_t* caption2, int command2) {
    for (Area& a : buttons) a = Area{};
    close = Area{};
    hovered = pressed = -1;
    text = LCutText(t ? t : u"", 259);
    buttons[0].caption = LCutText(caption1 ? caption1 : u"", 259);
    buttons[0].command = command1;
    if (caption2) buttons[1].caption = LCutText(caption2, 259);
    buttons[1].command = command2;
    close.command = LBannerCloseCommand;
    if (owner) owner->UpdateTooltipText(&tooltip_, LBannerItemId, text.c_str());
    LInvalidate(hwnd);
    if (!shown) {
        shown = true;
        LEnableWindow(hwnd, true);
        LShowWindow(hwnd, LSW_SHOW);
    }
    Relayout();
}

void LPushNotificationPanel::Hide() {
    if (!shown) return;
    shown = false;
    LEnableWindow(hwnd, false);
    LShowWindow(hwnd, LSW_HIDE);
    Relayout();
}

int LPushNotificationPanel::HitTest(int x, int y) const {
    for (const Area& a : buttons)
        if (Contains(a.rect, x, y)) return a.command;
    if (Contains(close.rect, x, y)) return close.command;
    return -1;
}

void LPushNotificationPanel::OnMouseMove(int x, int y) {
    int h = HitTest(x, y);
    if (h == hovered) return;
    hovered = h;
    LInvalidate(hwnd);
}

void LPushNotificationPanel::OnMouseLeave() { hovered = pressed = -1; }

void LPushNotificationPanel::OnLButtonDown(int x, int y) {
    hovered = pressed = HitTest(x, y);
    LInvalidate(hwnd);
}

void LPushNotificationPanel::OnLButtonUp(int x, int y) {
    // The release counts only over the area that was pressed.
    const Area* hit = nullptr;
    for (const Area& a : buttons)
        if (!hit && a.command == pressed && Contains(a.rect, x, y)) hit = &a;
    if (!hit && close.command == pressed && Contains(close.rect, x, y)) hit = &close;
    if (pressed == -1 || !hit) {
        hovered = pressed = -1;
        LInvalidate(hwnd);
        return;
    }
    int command = hit->command;
    Hide();
    hovered = pressed = -1;
    if (command > 0 && owner) LSendMessage(owner->hwnd, LWM_COMMAND, LMakeWParam(static_cast<uint32_t>(command), 0), 0);
}

int LPushNotificationPanel::ButtonWidth(LDrawContext& dc, const std::u16string& caption) {
    if (caption.empty()) return 0;
    return std::max(CharsToPixelsX(15), dc.GetTextWidth(caption) + 2 * CharsToPixelsX(2));
}

void LPushNotificationPanel::DrawButton(LDrawContext& dc, const Area& a, int x, int row_height, LRect* out) {
    int w = ButtonWidth(dc, a.caption);
    int box = Y(14);
    int top = (row_height - box) / 2;
    int shift = pressed == a.command && hovered == a.command ? 1 : 0;
    LRect r{x + shift, top + shift, x + w + shift, top + box + shift};
    dc.FillRect(r, LBannerButtonFill);
    dc.FrameRect(r, hovered == a.command ? LBannerHotFrame : LBannerFrame);
    dc.SetTextColor(LBannerButtonText);
    dc.DrawTextLine(a.caption, r, LDrawContext::Align::Center);
    *out = {x, top, x + w, top + box};
}

void LPushNotificationPanel::DrawClose(LDrawContext& dc, int banner_width, int row_height) {
    int e = std::max(1, X(6) / 6);
    int size = 8 * e;
    int right = banner_width - X(7);
    int left = right - size;
    int top = (row_height - size) / 2;
    int shift = pressed == close.command ? 1 : 0;
    LColor c = hovered == close.command ? LBannerHotFrame : LBannerFrame;
    // A thick cross: each diagonal drawn three times, one pixel apart.
    for (int d = -1; d <= 1; ++d) {
        dc.Line(left + shift + d, top + shift, right + shift + d, top + size + shift, c);
        dc.Line(right + shift + d, top + shift, left + shift + d, top + size + shift, c);
    }
    close.rect = {left - X(7), 0, right + X(7), row_height};
}

void LPushNotificationPanel::DrawContent(LDrawContext& dc) {
    int w = width, h = height;
    dc.FillRect({0, 0, w, h}, LRgb(255, 245, 131));
    dc.Line(0, 0, w, 0, LBannerTopLine);
    int row = std::min(h, Y(19));
    DrawClose(dc, w, row);
    int widths[3];
    int total = 0, count = 0;
    for (int i = 0; i < 3; ++i) {
        widths[i] = ButtonWidth(dc, buttons[i].caption);
        total += widths[i];
        if (widths[i]) ++count;
    }
    if (count) total += X(7) + count * X(4);
    int available = std::max(1, close.rect.left - X(7) - total);
    int t = std::min(available, dc.GetWrappedTextWidth(text, available));
    int th = std::min(dc.GetWrappedTextHeight(text, available), h - 1);
    int left = (close.rect.left - t - total) / 2;
    int top = (h - 1 - th) / 2 + 1;
    dc.SetTextColor(LBannerButtonText);
    if (dc.GetTextWidth(text) > available) dc.DrawWrappedText(text, left, top, t, th);
    else dc.DrawTextLine(text, {left, top, left + t, top + th}, LDrawContext::Align::Left);
    int x = left + t + (count ? X(7) : 0);
    for (int i = 0; i < 3; ++i) {
        if (!widths[i]) {
            buttons[i].rect = {};
            continue;
        }
        x += X(4);
        DrawButton(dc, buttons[i], x, row, &buttons[i].rect);
        x += widths[i];
    }
}
