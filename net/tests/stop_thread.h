#pragma once
// A worker thread that runs one network operation with itself as the
// progress context, so a test can ask it to stop while the operation waits.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "foundation/thread.h"
#include "net/net_socket.h"

class LTestOperationThread : public LThread {
public:
    explicit LTestOperationThread(std::function<LNetOpResult(LTaskProgress&)> body)
        : LThread("TEST"), body_(std::move(body)) {}
    ~LTestOperationThread() override { Stop(); }
    void Run() override { result = body_(*this); }

    // Starts the operation, asks it to stop after 300 ms and waits for it;
    // returns how long the operation ran.
    std::chrono::steady_clock::duration RunAndStop() {
        auto start = std::chrono::steady_clock::now();
        Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Stop();
        return std::chrono::steady_clock::now() - start;
    }
    std::atomic<LNetOpResult> result{99};

private:
    std::function<LNetOpResult(LTaskProgress&)> body_;
};
