#pragma once
// The modeless progress window that long operations on the window thread
// run under: status lines, a bar, Cancel, and the same progress on the
// launcher's entry. Its progress context pumps the window's messages in
// every wait, so the window repaints and Cancel turns into a stop request.
#include <memory>
#include <string>

#include "foundation/task_progress.h"
#include "toolkit/dialog_background.h"
#include "toolkit/taskbar_progress.h"
#include "toolkit/window.h"

class LProgressDialog : public LModelessDialog {
public:
    explicit LProgressDialog(const char16_t* title);
    ~LProgressDialog() override;

    bool Show(LHwnd parent);
    void Close(LHwnd parent);
    void Close() override { Close(parent_); }
    void RunWork(LHwnd parent);
    virtual void DoWork() {}

    void OnInitDialog() override;
    void OnDestroy() override;
    bool OnCancel() override;

    LTaskProgress* Progress() { return &progress_; }
    bool Cancelled() const { return cancelled_; }

private:
    class Context : public LTaskProgress {
    public:
        explicit Context(LProgressDialog* owner) : owner_(owner) {}
        bool IsStopRequested() override;
        uint32_t WaitStop(uint32_t ms) override;
        uint32_t WaitHandle(LHandle h, uint32_t ms) override;
        uint32_t WaitHandles(LHandleList& list, uint32_t ms) override;
        void ShowError(const char16_t* text) override;
        void SetStatusText(const char16_t* text, int line) override;
        void SetProgress(double fraction) override;
        void StartMarquee() override;
        void StopMarquee() override;

    private:
        uint32_t Wait(const LHandle* handles, uint32_t n, uint32_t ms, uint32_t timeout_result);
        LProgressDialog* owner_;
    };

    void LayOut();

    std::u16string title_;
    LIcon icon_;
    LFont normal_font_, bold_font_;
    LHwnd parent_ = LHwnd::Null;
    LHwnd top_level_ = LHwnd::Null;
    LTaskbarProgress taskbar_;
    LThemeApi theme_;
    LSolidDialogBackground background_{LGetSysColor(LCOLOR_BTNFACE)};
    bool cancelled_ = true;
    Context progress_{this};
};
