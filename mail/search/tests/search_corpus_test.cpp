// The generated benchmark corpus mirrored from Dovecot by the sync engine:
// the five benchmark queries through the search find exactly the messages
// the generator planted.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "foundation/json_value.h"
#include "mail/search/tests/search_support.h"
#include "mail/sync/tests/sync_fixture.h"
#include "web/http/tests/http_harness.h"

namespace {

std::string CorpusGenerator() {
    for (const std::string& p : {std::string(PORLINEX_SOURCE_DIR) + "/../shared/bench/gen_corpus.py",
                                 std::string("/work/shared/bench/gen_corpus.py")}) {
        struct stat st;
        if (stat(p.c_str(), &st) == 0) return p;
    }
    return "";
}

class SearchCorpusTest : public SyncTest {
protected:
    // Every row the request finds, page by page.
    int64_t CountAll(const std::string& members) {
        int64_t total = 0;
        for (int offset = 0; offset <= 10000; offset += 100) {
            std::string request = "{\"limit\":100,\"offset\":" + std::to_string(offset) + "," + members + "}";
            LJsonValue answer;
            LTestEmailSearch(Db(), request, answer);
            EXPECT_EQ(answer.Member("search_mode").text.Str() == "like_fallback", false) << request;
            int64_t n = answer.Member("count").AsInt64();
            total += n;
            if (n < 100) break;
        }
        return total;
    }
};

TEST_F(SearchCorpusTest, BenchmarkQueriesFindThePlantedMessages) {
    std::string generator = CorpusGenerator();
    ASSERT_FALSE(generator.empty()) << "shared/bench/gen_corpus.py not found beside the source tree";
    Prepare();
    // Written straight into the user's maildir (Maildir++: INBOX, .Archive,
    // .Sent), as a delivery agent would.
    std::string corpus = dovecot_.Folder() + "/home/alice/Maildir";
    LTestCurlResult gen = LTestRunCaptured({"/usr/bin/python3", generator, corpus, "600", "--seed", "3"}, 120000);
    ASSERT_EQ(gen.exit_code, 0) << gen.output;
    LJsonValue stats;
    ASSERT_EQ(stats.Parse(gen.output.substr(gen.output.find('{')).c_str()), 0u);
    if (geteuid() == 0) LTestRunCaptured({"chown", "-R", "65534:65534", dovecot_.Folder() + "/home/alice"});
    StartEngine();
    ASSERT_TRUE(LTestWaitFor(120000, [&] { return Pass() && Rows() == 600; })) << Rows();

    const LJsonValue& queries = stats.Member("queries");
    const LJsonValue& hits = stats.Member("expected_hits");
    auto quoted = [](const std::string& s) {
        std::string out = "\"";
        for (char c : s) out += c == '"' ? std::string("\\\"") : std::string(1, c);
        return out + "\"";
    };
    std::string from = queries.Member("from:address").text.Str().substr(5);
    struct Case {
        const char* key;
        std::string members;
    };
    const Case cases[] = {
        {"rare word", "\"query\":" + quoted(queries.Member("rare word").text.Str())},
        {"phrase", "\"query\":" + quoted(queries.Member("phrase").text.Str())},
        {"from:address", "\"from\":" + quoted(from)},
        // The generator's range is [2022-03-01, 2022-04-01) UTC.
        {"date range", "\"after_utc\":1646092800,\"before_utc\":\"1648771199\""},
        {"common word", "\"query\":" + quoted(queries.Member("common word").text.Str())},
    };
    for (const Case& c : cases) {
        EXPECT_GT(hits.Member(c.key).AsInt64(), 0) << c.key;
        EXPECT_EQ(CountAll(c.members), hits.Member(c.key).AsInt64()) << c.key << ": " << c.members;
    }
}

}  // namespace
