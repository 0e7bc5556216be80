#include "net/http/http_head.h"

#include <strings.h>

#include "foundation/time_source.h"
#include "net/http/http_client_text.h"

namespace {

// "Transfer-Encoding:" with any coding but identity.
bool FramedBody(const char* line) {
    static const char name[] = "Transfer-Encoding:";
    if (strncasecmp(line, name, sizeof name - 1) != 0) return false;
    const char* p = line + sizeof name - 1;
    while (*p == ' ' || *p == '\t') ++p;
    return strncasecmp(p, "identity", 8) != 0 || (p[8] && p[8] != ' ' && p[8] != '\t');
}

}  // namespace

LNetOpResult LHttpReadHead(LNetOpResult& result, LTaskProgress& progress, LNetReader& reader, LHttpHead& head,
                           uint32_t timeoutMs) {
    head = LHttpHead();
    reader.SetDeadline(LTickCount64() + timeoutMs);
    if (reader.ReadLine(result, progress, head.statusLine, LHttpMaxLine, timeoutMs) == LNetDone) {
        LStringA line;
        for (uint32_t lines = 0;; ++lines) {
            if (lines == LHttpMaxHeaderLines) {
                result = LNetFailed;
                break;
            }
            if (reader.ReadLine(result, progress, line, LHttpMaxLine, timeoutMs) != LNetDone || line.IsEmpty()) break;
            uint64_t n;
            if (!head.lengthKnown && LParseContentLength(line.c_str(), &n)) {
                head.lengthKnown = true;
                head.length = n;
            }
            if (FramedBody(line.c_str())) head.framed = true;
        }
    }
    reader.SetDeadline(0);
    return result;
}
