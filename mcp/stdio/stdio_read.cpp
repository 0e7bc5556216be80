// Reading newline-framed messages from standard input.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mcp/stdio/stdio_relay.h"

namespace {

// Where the message before pending[lf] ends: a "\r" before the line end is
// not part of it.
size_t MessageEnd(const std::string& pending, size_t lf) { return lf > 0 && pending[lf - 1] == '\r' ? lf - 1 : lf; }

void Drop(LMcpStdioInput& in, size_t n) {
    in.pending.erase(0, n);
    in.scanned = 0;
}

}  // namespace

bool LMcpStdioReadLine(LMcpStdioInput& in, std::string& message, bool& end_of_input) {
    end_of_input = false;
    for (;;) {
        // Only bytes not yet searched are looked at, so a long line costs
        // one pass however it arrives.
        size_t lf = in.pending.find('\n', in.scanned);
        if (lf != std::string::npos) {
            size_t end = MessageEnd(in.pending, lf);
            // The limit is on the message, not on what one read brought
            // along with its line end.
            if (end > LMcpStdioMaxLine) {
                Drop(in, in.pending.size());
                return false;
            }
            message.assign(in.pending, 0, end);
            Drop(in, lf + 1);
            return true;
        }
        // One byte more may still be the "\r" of a line end.
        if (in.pending.size() > LMcpStdioMaxLine + 1) {
            Drop(in, in.pending.size());
            return false;
        }
        in.scanned = in.pending.size();
        char chunk[1024];
        ssize_t n = read(in.fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            // A pipe whose writer is gone ends the input like end of file.
            end_of_input = errno == EPIPE;
            return false;
        }
        if (n == 0) {
            if (in.pending.size() > LMcpStdioMaxLine) {
                Drop(in, in.pending.size());
                return false;
            }
            end_of_input = true;
            if (in.pending.empty()) return false;
            message.swap(in.pending);
            Drop(in, in.pending.size());
            return true;
        }
        in.pending.append(chunk, static_cast<size_t>(n));
    }
}
