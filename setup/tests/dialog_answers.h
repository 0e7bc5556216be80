#pragma once
// Answers the message boxes and task dialogs that come up while a test
// runs a command, in order, and keeps what each one showed as
// "caption|text" (the main instruction of a task dialog). A timer looks
// at the active window from inside whatever loop is running.
#include <set>
#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "toolkit/window.h"
#include "toolkit/window_layer.h"

class LTestDialogAnswers {
public:
    // A box's answer is the id of its button; a task dialog's is
    // kChoice + the index of its choice.
    static constexpr int kChoice = 10000;

    explicit LTestDialogAnswers(std::vector<int> answers) : answers_(std::move(answers)) {
        Current() = this;
        timer_ = LSetTimer(LHwnd::Null, 0, 20, [](LHwnd, uint32_t, uintptr_t, uint32_t) { Current()->Look(); });
    }
    ~LTestDialogAnswers() {
        LKillTimer(LHwnd::Null, timer_);
        Current() = nullptr;
    }
    LTestDialogAnswers(const LTestDialogAnswers&) = delete;
    LTestDialogAnswers& operator=(const LTestDialogAnswers&) = delete;

    std::vector<std::string> shown;

private:
    static LTestDialogAnswers*& Current() {
        static LTestDialogAnswers* current = nullptr;
        return current;
    }
    static std::string Text(LHwnd h) { return LToUtf8(LGetWindowText(h).c_str()); }

    void Look() {
        LHwnd h = LGetActiveWindow();
        if (h == LHwnd::Null || handled_.count(h)) return;
        LHwnd boxText = LGetDlgItem(h, 65535), instruction = LGetDlgItem(h, 101), firstChoice = LGetDlgItem(h, 200);
        bool taskDialog = firstChoice != LHwnd::Null && instruction != LHwnd::Null;
        if (boxText == LHwnd::Null && !taskDialog) return;  // a progress window
        handled_.insert(h);
        shown.push_back(Text(h) + "|" + Text(taskDialog ? instruction : boxText));
        int answer = next_ < answers_.size() ? answers_[next_++] : LIDCANCEL;
        if (taskDialog && answer >= kChoice) {
            LSendMessage(LGetDlgItem(h, 200 + answer - kChoice), LBM_CLICK, 0, 0);
            answer = LIDOK;
        }
        LPostMessage(h, LWM_COMMAND, static_cast<LWParam>(answer), 0);
    }

    std::vector<int> answers_;
    size_t next_ = 0;
    std::set<LHwnd> handled_;
    uintptr_t timer_ = 0;
};
