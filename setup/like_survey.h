#pragma once
// The two-page like survey: did the user like the program (the like-it
// page), or what went wrong (a comment for the maker), or ask again later.
#include <memory>

#include "foundation/lstring.h"
#include "setup/rating_prompt.h"
#include "toolkit/window.h"

struct LLikeSurveyState {
    bool ask_again = true;
    bool run_now = false;
    LString comment;
};

class LLikeSurveyChoicePage : public LPropertyPage {
public:
    explicit LLikeSurveyChoicePage(LLikeSurveyState& state) : state_(state) {}
    void OnInitDialog() override;
    void OnActivate() override;
    void OnCommand(int id, int code) override;

    static constexpr int kText = 111, kLiked = 112, kDisliked = 113, kRunAgain = 114, kAskNext = 115;

private:
    void EndWithCancel();
    LLikeSurveyState& state_;
    std::unique_ptr<LInstanceChainWindow> chain_;
};

class LLikeSurveyCommentPage : public LPropertyPage {
public:
    explicit LLikeSurveyCommentPage(LLikeSurveyState& state) : state_(state) {}
    void OnInitDialog() override;
    void OnActivate() override;
    bool OnOk() override;

    static constexpr int kComment = 202, kNote = 203;

private:
    LLikeSurveyState& state_;
};

// True while the uninstaller holds its instance lock.
bool LIsUninstallerRunning();
// Runs the survey; true when the user asked to run the program now.
bool LShowLikeSurvey();
LString LLikeItPageUrl();
void LOpenLikeItPage();
