// The relay's main loop: make sure the service runs, then pass messages one
// at a time until the input ends.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "mcp/mcp_auth.h"
#include "mcp/stdio/stdio_relay.h"
#include "platform/spawn.h"

namespace {

constexpr int kStartPollMs = 15000;
constexpr int kProbeIntervalMs = 250;

constexpr const char* kNotAllowed =
    "{\"jsonrpc\":\"2.0\",\"id\":null,\"error\":{\"code\":-32001,\"message\":\"The current Windows user is not "
    "allowed to access Porlinex.\"}}\n";

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

// Answers go to a private copy of standard output; descriptor 1 itself is
// pointed at standard error (or nowhere), so that no log line, library
// warning or child process of any layer can write into the client's
// framing. -1 when there was no standard output.
int TakeStandardOutput() {
    if (!IsOpen(STDOUT_FILENO)) return -1;
    int out = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (IsOpen(STDERR_FILENO)) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
    } else {
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
    }
    return out;
}


bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t\r") == std::string::npos; }

void EnsureService(bool (*start_service)()) {
    if (LMcpStdioProbeService()) return;
    if (!start_service || !start_service()) return;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartPollMs);
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kProbeIntervalMs));
        if (LMcpStdioProbeService()) return;
    }
}

}  // namespace

int LMcpStdioRelay(bool (*start_service)()) {
    // A client that closed our output gets exit code 1, not a dead process.
    signal(SIGPIPE, SIG_IGN);
    const int out = TakeStandardOutput();
    EnsureService(start_service);
    char16_t token[260];
    std::string cause;
    if (!LMcpGetStdioToken(token, &cause)) {
        if (out >= 0) LPlatformWriteAll(out, kNotAllowed, std::char_traits<char>::length(kNotAllowed));
        // The answer's text is the protocol's; the client shows standard
        // error in its logs, where the user can read the real cause.
        if (IsOpen(STDERR_FILENO)) {
            std::string line = "porlinex -mcpstdio: " + cause + "\n";
            LPlatformWriteAll(STDERR_FILENO, line.data(), line.size());
        }
        return 0;
    }
    if (!IsOpen(STDIN_FILENO)) return 1;
    LMcpStdioInput input;
    input.fd = STDIN_FILENO;
    LMcpStdioLink link;
    std::string message, answer;
    for (;;) {
        bool end = false;
        if (!LMcpStdioReadLine(input, message, end)) return end ? 0 : 1;
        // A blank line is no message; posting it would earn an error line.
        if (IsBlank(message)) continue;
        bool notification = LMcpStdioIsNotification(message);
        bool answered = LMcpStdioPostMessage(link, message, answer);
        if (notification) continue;
        if (!answered) LMcpStdioWriteUnavailable(message, answer);
        answer += '\n';
        if (out < 0 || !LPlatformWriteAll(out, answer.data(), answer.size())) return 1;
    }
}
