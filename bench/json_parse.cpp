// Parsing JSON request bodies: the program's reporting reader and plain
// reader beside nlohmann::json on the same text: 1 MB of table rows, and
// one object of 100,000 members (1.2 MB), whose cost must stay linear.
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <string>

#include "foundation/json_value.h"
#include "platform/event.h"
#include "platform/wait.h"

namespace {

class LNoProgress : public LTaskProgress {
public:
    bool IsStopRequested() override { return false; }
    uint32_t WaitStop(uint32_t) override { return 0; }
    uint32_t WaitHandle(LHandle, uint32_t) override { return 2; }
    uint32_t WaitHandles(LHandleList&, uint32_t) override { return 2; }
};

// Asks its stop event as a worker thread does: one poll() per question.
class LEventProgress : public LNoProgress {
public:
    bool IsStopRequested() override {
        int fd = stop_.Handle();
        return LPlatformWaitAny(&fd, 1, 0) == 0;
    }

private:
    LEvent stop_{true, false};
};

// Rows as the table endpoints send them: objects of a dozen members of
// every kind, in one array under a few top-level members.
const std::string& Body() {
    static const std::string body = [] {
        std::string s = "{\"table\":\"messages\",\"page\":1,\"rows\":[";
        for (int i = 0; s.size() < 1024 * 1024; ++i) {
            if (i) s += ',';
            s += "{\"id\":\"" + std::to_string(1000000000000LL + i) + "\",\"uid\":" + std::to_string(i) +
                 ",\"subject\":\"Re: quarterly report \\u00e9 #" + std::to_string(i) +
                 "\",\"from\":\"Some Sender <sender" + std::to_string(i % 97) +
                 "@example.com>\",\"size\":" + std::to_string(1000 + i * 7) + ",\"score\":" +
                 std::to_string(i % 100) + ".25,\"seen\":" + (i % 2 ? "true" : "false") +
                 ",\"flagged\":false,\"labels\":[\"inbox\",\"work\"],\"thread\":null,"
                 "\"snippet\":\"Thanks for the numbers, see the attached \\\"summary\\\" below.\\nBest\"}";
        }
        s += "],\"total\":123456}";
        return s;
    }();
    return body;
}

// {"member0":"value 0", ...}: as large as a legal request body gets.
const std::string& WideObject() {
    static const std::string body = [] {
        std::string s = "{";
        for (int i = 0; i < 100000; ++i) {
            if (i) s += ',';
            s += "\"member" + std::to_string(i) + "\":\"value " + std::to_string(i) + "\"";
        }
        s += "}";
        return s;
    }();
    return body;
}

void BM_LJsonValueParseWideObject(benchmark::State& state) {
    const std::string& body = WideObject();
    LNoProgress progress;
    for (auto _ : state) {
        LJsonValue v;
        if (v.ParseUtf8(&progress, body.c_str(), body.size()) != 0 || !v.FindMember("member99999"))
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(v.members);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_LJsonValueParseWideObject)->Unit(benchmark::kMillisecond);

void BM_NlohmannParseWideObject(benchmark::State& state) {
    const std::string& body = WideObject();
    for (auto _ : state) {
        auto v = nlohmann::json::parse(body, nullptr, false);
        if (v.is_discarded() || v.size() != 100000) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(v.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_NlohmannParseWideObject)->Unit(benchmark::kMillisecond);

void BM_LJsonValueParseUtf8(benchmark::State& state) {
    const std::string& body = Body();
    LNoProgress progress;
    for (auto _ : state) {
        LJsonValue v;
        if (v.ParseUtf8(&progress, body.c_str(), body.size()) != 0) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(v.count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_LJsonValueParseUtf8)->Unit(benchmark::kMillisecond);

void BM_LJsonValueParseUtf8OnAThread(benchmark::State& state) {
    const std::string& body = Body();
    LEventProgress progress;
    for (auto _ : state) {
        LJsonValue v;
        if (v.ParseUtf8(&progress, body.c_str(), body.size()) != 0) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(v.count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_LJsonValueParseUtf8OnAThread)->Unit(benchmark::kMillisecond);

void BM_LJsonValueParse(benchmark::State& state) {
    const std::string& body = Body();
    for (auto _ : state) {
        LJsonValue v;
        if (v.Parse(body.c_str(), body.size()) != 0) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(v.count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_LJsonValueParse)->Unit(benchmark::kMillisecond);

void BM_NlohmannParse(benchmark::State& state) {
    const std::string& body = Body();
    for (auto _ : state) {
        auto v = nlohmann::json::parse(body, nullptr, false);
        if (v.is_discarded()) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(v.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_NlohmannParse)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
