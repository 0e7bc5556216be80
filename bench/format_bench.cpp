// The formatter beside snprintf and sqlite3_mprintf doing the same jobs: an
// SQL statement with three quoted texts, and a JSON body with escaped texts.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "foundation/format.h"

namespace {

const char* kName = "O'Brien & Sons, \"Ltd\"";
const char* kSubject = "Re: the quarterly report (draft 3) - it's nearly done";
const char* kBody = "Line one\r\nLine two with a tab\tand a quote \" and a backslash \\\r\n";

void SqlFormatter(benchmark::State& state) {
    LStringA s;
    for (auto _ : state) {
        s.Format("INSERT INTO main.EMAIL_MESSAGES (ID, FROM_NAME, SUBJECT, BODY) VALUES ('%Q', '%Q', '%Q', '%Q');",
                 "abcdefghij", kName, kSubject, kBody);
        benchmark::DoNotOptimize(s.buffer);
    }
}

void SqlSqliteMprintf(benchmark::State& state) {
    for (auto _ : state) {
        char* p = sqlite3_mprintf(
            "INSERT INTO main.EMAIL_MESSAGES (ID, FROM_NAME, SUBJECT, BODY) VALUES ('%q', '%q', '%q', '%q');",
            "abcdefghij", kName, kSubject, kBody);
        benchmark::DoNotOptimize(p);
        sqlite3_free(p);
    }
}

void SqlSnprintfNoEscaping(benchmark::State& state) {
    char buf[1024];
    for (auto _ : state) {
        int n = std::snprintf(buf, sizeof buf,
                              "INSERT INTO main.EMAIL_MESSAGES (ID, FROM_NAME, SUBJECT, BODY) VALUES ('%s', '%s', '%s', '%s');",
                              "abcdefghij", kName, kSubject, kBody);
        benchmark::DoNotOptimize(n);
    }
}

void JsonFormatter(benchmark::State& state) {
    LStringA s;
    for (auto _ : state) {
        s.Format("{\"id\":\"%J\",\"from\":\"%J\",\"subject\":\"%J\",\"body\":\"%J\",\"size\":%d}", "abcdefghij", kName,
                 kSubject, kBody, 12345);
        benchmark::DoNotOptimize(s.buffer);
    }
}

void JsonSqliteMprintf(benchmark::State& state) {
    // sqlite3_mprintf has no JSON escape; %w (identifier quoting) is the
    // nearest escaping conversion it offers.
    for (auto _ : state) {
        char* p = sqlite3_mprintf("{\"id\":\"%w\",\"from\":\"%w\",\"subject\":\"%w\",\"body\":\"%w\",\"size\":%d}",
                                  "abcdefghij", kName, kSubject, kBody, 12345);
        benchmark::DoNotOptimize(p);
        sqlite3_free(p);
    }
}

BENCHMARK(SqlFormatter);
BENCHMARK(SqlSqliteMprintf);
BENCHMARK(SqlSnprintfNoEscaping);
BENCHMARK(JsonFormatter);
BENCHMARK(JsonSqliteMprintf);

}  // namespace

BENCHMARK_MAIN();
