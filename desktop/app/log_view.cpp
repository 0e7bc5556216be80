#include "desktop/app/log_view.h"

void LLogView::AddLine(const std::string& time_text, const std::string& line_text, int level) {
    LHwnd window;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (newest_ < 0) {
            newest_ = 0;
        } else {
            newest_ = (newest_ + 1) % kCapacity;
            if (newest_ == oldest_) {
                // Full: the oldest line makes room, and the view's first
                // line moves with it when it was the oldest.
                if (first_shown_ == oldest_) first_shown_ = (first_shown_ + 1) % kCapacity;
                oldest_ = (oldest_ + 1) % kCapacity;
            }
        }
        Entry& e = ring_[newest_];
        e.time = time_text.substr(0, 16);
        e.text = line_text;
        e.level = static_cast<uint8_t>(level);
        window = window_;
    }
    // The window repaints on its own thread.
    if (window != LHwnd::Null) LPostMessage(window, LWM_LOGVIEWCHANGED, 0, 0);
}

std::vector<LLogView::Entry> LLogView::Lines() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Entry> out;
    if (newest_ < 0) return out;
    for (int i = oldest_;; i = (i + 1) % kCapacity) {
        out.push_back(ring_[i]);
        if (i == newest_) break;
    }
    return out;
}

int LLogView::Oldest() const {
    std::lock_guard<std::mutex> guard(lock_);
    return oldest_;
}

int LLogView::Newest() const {
    std::lock_guard<std::mutex> guard(lock_);
    return newest_;
}

void LLogView::SetWindow(LHwnd window) {
    std::lock_guard<std::mutex> guard(lock_);
    window_ = window;
}
