#pragma once
// The install worker: checks and unpacks the data file named by -instdata,
// copies the running program into the install folder, records where it is
// installed and runs the configuration after the install. Its outcome is a
// status (setup/install_data.h) read once the thread has ended.
#include <atomic>
#include <string>

#include "foundation/thread.h"

class LInstallWorker : public LThread {
public:
    LInstallWorker() : LThread("Install") {}
    ~LInstallWorker() override { Stop(); }
    // The rights test; starts the thread at the lowest priority. False, and
    // nothing written, when the install folder cannot be made.
    bool Start();
    void Run() override;
    int Status() const { return status_.load(); }
    // Waits for the end of the thread and answers its status.
    int Wait();

    // Where the data file and the running program are; the command line's
    // -instdata value and the program's own file by default.
    std::string data_path;
    std::string program_path;

private:
    int Install();
    std::atomic<int> status_{0};
};
