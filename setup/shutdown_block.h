#pragma once
// Holds off shutdown and sleep while the installation runs: a logind
// "block" inhibitor taken over the system bus, held as the descriptor
// logind hands back and released by closing it. Without logind on the
// bus (containers, build machines) nothing is held and a line is logged.
#include <string>

class LShutdownBlock {
public:
    explicit LShutdownBlock(const std::string& why);
    ~LShutdownBlock();
    LShutdownBlock(const LShutdownBlock&) = delete;
    LShutdownBlock& operator=(const LShutdownBlock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
