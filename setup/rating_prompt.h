#pragma once
// The five-way rating prompt shown after the eighth closing, and the hidden
// chain window a prompt keeps while it is open.
#include "foundation/lstring.h"
#include "toolkit/window_types.h"

// A hidden window of class "VekSoftware_InstanceChain" titled "Porlinex"
// for the object's life; its USERDATA names the window that takes what is
// sent to it (an open request brings that window to the front).
class LInstanceChainWindow {
public:
    explicit LInstanceChainWindow(LHwnd owner);
    ~LInstanceChainWindow();
    LInstanceChainWindow(const LInstanceChainWindow&) = delete;
    LInstanceChainWindow& operator=(const LInstanceChainWindow&) = delete;
    void Forward(LHwnd target);
    LHwnd Handle() const { return hwnd_; }

private:
    LHwnd hwnd_ = LHwnd::Null;
};

// The task dialog; a rating of 1 to 4 opens the rating page.
void LShowRatingPrompt();
LString LRatingPageUrl(int rating);
