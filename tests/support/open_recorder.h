#pragma once
// A stand-in xdg-open first on PATH (for this process and its children)
// that records the address it was asked to open, so that tests see what
// the program would have shown in the browser. PATH is restored when the
// object goes.
#include <memory>
#include <string>

class LTestScopedEnv;

class LTestOpenRecorder {
public:
    explicit LTestOpenRecorder(const std::string& folder);
    ~LTestOpenRecorder();
    // The last address opened; empty when none.
    std::string Opened() const;

private:
    std::string folder_;
    std::unique_ptr<LTestScopedEnv> path_;
};
