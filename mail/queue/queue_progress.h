#pragma once
// The worker's context for one SMTP or IMAP exchange: waits and stops go to
// the worker, the last error shown is kept for the row's log line.
#include "foundation/lstring.h"
#include "foundation/wait.h"

class LQueueProgress : public LProgressAdaptor {
public:
    explicit LQueueProgress(LTaskProgress& inner) : LProgressAdaptor(&inner) {}
    void ShowError(const char16_t* text) override { error.Assign(text); }
    void SetStatusText(const char16_t*, int) override {}
    void SetProgress(double) override {}
    LString error;
};
