#pragma once
// The last 128 log lines of the service and the desktop, for a view to
// show: a ring that any thread may add to (the proxy's reader, the logger)
// while the window thread reads it.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "toolkit/window_layer.h"

// Posted to the view's window after a line was added (the window repaints).
constexpr uint32_t LWM_LOGVIEWCHANGED = LWM_APP + 0x71;

class LLogView {
public:
    static constexpr int kCapacity = 128;
    struct Entry {
        std::string time;  // at most 16 characters
        std::string text;
        uint8_t level = 0;
    };

    void AddLine(const std::string& time_text, const std::string& line_text, int level);
    // The lines from the oldest to the newest.
    std::vector<Entry> Lines() const;
    int Oldest() const;
    int Newest() const;
    void SetWindow(LHwnd window);

private:
    mutable std::mutex lock_;
    LHwnd window_ = LHwnd::Null;
    Entry ring_[kCapacity];
    int oldest_ = 0;
    int newest_ = -1;
    int first_shown_ = 0;
};
