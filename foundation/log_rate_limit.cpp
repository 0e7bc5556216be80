#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <new>
#include <vector>

#include "foundation/log.h"
#include "foundation/lstring.h"
#include "foundation/time_source.h"

namespace {

struct RateNode {
    RateNode* next;
    LStringA text;
    uint32_t last_written;  // tick of the last line written for the text
    uint32_t interval_s;
    uint64_t suppressed;
};

struct RateList {
    std::mutex lock;
    RateNode* head = nullptr;
};

RateList& TheList() {
    static RateList* list = new RateList;  // never destroyed: see the log file
    return *list;
}

}  // namespace

void LLogRateLimited(uint32_t interval_s, const char* text) {
    if (!text) return;
    const std::string_view wanted(text);
    const uint32_t now = LTickCount();
    std::vector<LStringA> summaries;  // stale texts with repeats, in list order
    LStringA suffix;
    bool write = false;
    {
        RateList& list = TheList();
        std::lock_guard<std::mutex> g(list.lock);
        bool matched = false;
        for (RateNode** p = &list.head; *p;) {
            RateNode* n = *p;
            if (n->text.View() == wanted) {
                matched = true;
                // Unsigned differences keep working across the 32-bit wrap.
                if (now - n->last_written < uint64_t(interval_s) * 1000) {
                    n->suppressed++;
                } else {
                    write = true;
                    if (n->suppressed) suffix.Format(" [%llu]", static_cast<unsigned long long>(n->suppressed));
                    n->last_written = now;
                    n->suppressed = 0;
                }
                break;
            }
            if (now - n->last_written >= uint64_t(n->interval_s) * 2000) {
                if (n->suppressed) {
                    char line[512];
                    std::snprintf(line, sizeof line, "%s [~%llu]", n->text.c_str(),
                                  static_cast<unsigned long long>(n->suppressed));
                    summaries.emplace_back(std::string_view(line));
                }
                *p = n->next;
                delete n;
                continue;
            }
            p = &n->next;
        }
        if (!matched) {
            write = true;
            if (RateNode* n = new (std::nothrow) RateNode{list.head, LStringA(wanted), now, interval_s, 0}) {
                list.head = n;
            }
        }
    }
    if (!LLogIsEnabled()) return;
    for (const LStringA& s : summaries) LLog(s.c_str(), LLogError);
    if (!write) return;
    if (suffix.IsEmpty()) {
        LLog(text, LLogError);
    } else {
        LLogErrorWithDetail(text, suffix.c_str());
    }
}

void LLogRateLimitClear() {
    RateList& list = TheList();
    std::lock_guard<std::mutex> g(list.lock);
    while (RateNode* n = list.head) {
        list.head = n->next;
        delete n;
    }
}

void LLogRateLimitedF(uint32_t interval_s, const char* fmt, ...) {
    char text[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    LLogRateLimited(interval_s, text);
}
