#pragma once
// In the service the AI clients' files belong to the signed-in user, so
// their installs and status reads run in the user's desktop process: a
// request raised to the desktops, and their reply awaited. The host owns
// the pending requests and registers them here at start-up.
#include <cstdint>
#include <string>

#include "foundation/task_progress.h"

// The request codes the desktop answers.
enum LDesktopRequestCode : uint32_t {
    LDesktopClaudeInstall = 1,
    LDesktopAntigravityInstall = 2,
    LDesktopClaudeStatus = 3,
    LDesktopAntigravityStatus = 4,
    LDesktopCloudFolder = 5,
    LDesktopCodexInstall = 7,
    LDesktopCodexStatus = 8,
};

struct LMcpDesktopChannel {
    // A new request id; 0 when none could be made.
    uint32_t (*begin)();
    // The reply's ok flag; message always set, detail when given.
    bool (*wait)(uint32_t id, LTaskProgress* progress, std::string& message, std::string* detail);
    // Whether a desktop is connected to the service right now.
    bool (*connected)();
};

void LMcpSetDesktopChannel(const LMcpDesktopChannel* channel);

// What a request answers when no desktop took it.
inline constexpr const char* LMcpNoDesktopText =
    "No Porlinex window is currently open to complete this. Open Porlinex and try again.";

// False only when the channel knows that no desktop is connected, so a
// request could only wait out its time-out.
bool LMcpDesktopMayAnswer();

// Takes an id, raises `code` to the desktops with it and waits for the
// reply. False with the channel's text when no id could be taken or no
// desktop answered in time, and at once when no desktop is connected.
bool LMcpAskDesktop(uint32_t code, LTaskProgress* progress, std::string& message, std::string* detail);
