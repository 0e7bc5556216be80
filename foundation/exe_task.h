#pragma once
// Tasks run in a child copy of the program ("porlinex -exe <task>"), which
// talks to its parent over its standard input and output:
//  - parent to child: the request bytes once, later at most the byte 255
//    (stop);
//  - child to parent: messages of a type byte and its payload (little-endian):
//    0 failure + n reply bytes, 1 success + n reply bytes, 2 cancelled,
//    16 progress (8-byte double), 17/18 marquee start/stop, 19 keep-alive,
//    128 error text, 129-131 status text of line 0-2 (texts: 16-bit unit
//    count, then UTF-16 units). n is the request's length: the reply
//    overwrites the request buffer.
#include <cstddef>
#include <cstdint>

#include "foundation/task_progress.h"

class LExeTaskChannel;

// A task that the child side can run; instances register themselves in
// the process-wide task list from static initialisers.
class LExeTask {
public:
    explicit LExeTask(const char16_t* name);
    virtual ~LExeTask();
    LExeTask(const LExeTask&) = delete;
    LExeTask& operator=(const LExeTask&) = delete;
    // Reads the request with channel.Read, answers with channel.SendResult.
    virtual void Run(uint32_t* result, LExeTaskChannel& channel) = 0;

    LExeTask* next = nullptr;
    const char16_t* name;
};

// The child's end of the channel, and its progress context.
class LExeTaskChannel : public LTaskProgress {
public:
    LExeTaskChannel(int write_fd, int read_fd) : write_(write_fd), read_(read_fd) {}

    // A stop was asked when the parent wrote anything after the request (the
    // stop byte) or is gone. Also sends a keep-alive once a second.
    bool IsStopRequested() override;
    uint32_t WaitStop(uint32_t ms) override;
    uint32_t WaitHandle(LHandle h, uint32_t ms) override;
    uint32_t WaitHandles(LHandleList& list, uint32_t ms) override;
    void ShowError(const char16_t* text) override;
    void SetStatusText(const char16_t* text, int line) override;
    void SetProgress(double fraction) override;
    void StartMarquee() override;
    void StopMarquee() override;
    // Reads exactly n request bytes.
    bool Read(void* buffer, uint32_t n);
    // 0: success and the reply; 1: cancelled; 2: failure and the reply.
    void SendResult(uint32_t result, const void* reply, uint32_t n);

private:
    void WriteText(uint8_t type, const char16_t* text);
    void Send(const void* bytes, size_t n);
    // Waits for one of the handles or the parent's stop; -1 time-out.
    int WaitStep(const LHandle* handles, uint32_t count, uint32_t ms);

    int write_;
    int read_;
    uint32_t lastKeepAlive_ = 0;
    uint32_t nextProgress_ = 0;
};

// The parent's side: starts "<program> -exe <task>" (program null: this
// program's own file), sends the request and follows the messages until a
// result comes. result: 0 success (the reply is in request), 1 stopped, 2
// failed. A stopped child gets the stop byte and up to 5200 ms to end before
// it is killed. child_traces_parent: the child may ptrace this process
// while it runs (a dump of the live process), even where Yama allows
// tracing only by ancestors.
void LExeTaskRun(uint32_t* result, LTaskProgress* progress, void* request, uint32_t n, const char16_t* task,
                 const char* program, bool child_traces_parent = false);

// The child's side: runs the named task on the channel of this process's
// standard streams; result 2 when no task has the name. The host calls it for
// "porlinex -exe <task>" and exits with the result.
void LExeTaskDispatch(uint32_t* result, const char16_t* task);

// Ends the child at once with exit code 1 on a crash signal, so the parent
// sees the end of its output and reports failure.
void LExeTaskExceptionFilter(int signal_number);
