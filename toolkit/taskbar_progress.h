#pragma once
// Progress on the program's launcher entry (the taskbar button's progress):
// the LauncherEntry "Update" signal on the session bus, which docks and
// panels show. Without a session bus every call is skipped.
#include <cstdint>

enum class LTaskbarState { None, Indeterminate, Normal, Error };

class LTaskbarProgress {
public:
    LTaskbarProgress() = default;
    ~LTaskbarProgress() { Release(); }
    LTaskbarProgress(const LTaskbarProgress&) = delete;
    LTaskbarProgress& operator=(const LTaskbarProgress&) = delete;

    // False when no session bus is reachable (nothing is started for one).
    bool Create();
    void Release();
    void SetState(LTaskbarState state);
    void SetValue(uint64_t done, uint64_t total);

private:
    void Send(bool visible, double progress, bool urgent);
    void* bus_ = nullptr;  // GDBusConnection
    double progress_ = 0;
};
