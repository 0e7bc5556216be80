// The headless backend: windows exist only as the layer's records; text is
// measured with Pango on a cairo image surface at 96 dots per inch; waits
// are plain poll() calls. Tests run every dialog on it without a display.
#include <pango/pangocairo.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "toolkit/headless.h"
#include "toolkit/pango_measure.h"
#include "toolkit/window_record.h"

namespace {

struct Screen {
    LRect desktop{0, 0, 1920, 1080};
    LRect work{0, 0, 1920, 1040};
};

Screen& TheScreen() {
    static Screen s;
    return s;
}

class HeadlessBackend : public LWindowBackend {
public:
    HeadlessBackend() {
        PangoFontMap* map = pango_cairo_font_map_get_default();
        context_ = pango_font_map_create_context(map);
        pango_cairo_context_set_resolution(context_, 96);
    }
    ~HeadlessBackend() override {
        if (context_) g_object_unref(context_);
    }
    LBackendKind Kind() const override { return LBackendKind::Headless; }
    void Created(LWnd&) override {}
    void Destroyed(LWnd&) override {}
    void Changed(LWnd&, uint32_t) override {}
    LSize MeasureText(const LFontDesc& font, std::u16string_view text, int wrap_width) override {
        return LPangoMeasure(context_, font, text, wrap_width);
    }
    LFontDesc InterfaceFont() override { return LFontDesc{}; }
    LRect DesktopRect() override { return TheScreen().desktop; }
    LRect WorkAreaAt(LPoint) override { return TheScreen().work; }
    LRect FrameInsets(const LWnd& w) override {
        if (!(w.style & (LWS_CAPTION | LWS_BORDER | LWS_THICKFRAME))) return {};
        int border = (w.style & LWS_THICKFRAME) ? 4 : 1;
        int caption = (w.style & LWS_CAPTION) == LWS_CAPTION ? 24 : 0;
        return {border, border + caption, border, border};
    }
    int Wait(const int* fds, uint32_t n, uint32_t ms) override {
        if (n == 0) return LWaitTimeoutResult;
        std::unique_ptr<pollfd[]> p(new pollfd[n]);
        for (uint32_t i = 0; i < n; ++i) p[i] = {fds[i], POLLIN, 0};
        int t = ms == LInfinite ? -1 : static_cast<int>(std::min<uint32_t>(ms, 0x7FFFFFFF));
        int r = poll(p.get(), n, t);
        if (r < 0) return errno == EINTR ? LWaitTimeoutResult : LWaitFailedResult;
        if (r == 0) return LWaitTimeoutResult;
        for (uint32_t i = 0; i < n; ++i) {
            if (p[i].revents & POLLNVAL) return LWaitFailedResult;
            if (p[i].revents & (POLLIN | POLLHUP | POLLERR)) return static_cast<int>(i);
        }
        return LWaitTimeoutResult;
    }
    void Present(LWnd&) override {}
    int ScrollBarSize() override { return 17; }

private:
    PangoContext* context_ = nullptr;
};

}  // namespace

std::unique_ptr<LWindowBackend> LMakeHeadlessBackend() { return std::make_unique<HeadlessBackend>(); }

void LHeadlessSetScreen(const LRect& desktop, const LRect& work_area) {
    TheScreen().desktop = desktop;
    TheScreen().work = work_area;
}
