// A desktop crash reported by the real program on a test display: the
// question is answered with a click; "Report Bug" opens the problem-report
// page (a recording xdg-open stands in for the browser) and uploads the
// text report to the maker's host (a recording HTTP server); "No" does
// neither. The crashing process is this test program (crash_fixture.h).
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <utility>
#include <vector>

#include "foundation/data_folder.h"
#include "foundation/installation_id.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/url_decode.h"
#include "host/call_stack.h"
#include "host/crash_report.h"
#include "host/tests/crash_fixture.h"
#include "tests/support/http_peer.h"
#include "tests/support/open_recorder.h"
#include "tests/support/test_accessible.h"
#include "tests/support/test_display.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

// The fields of a query in their order, values decoded.
Fields ParseQuery(const std::string& query) {
    Fields out;
    size_t at = 0;
    while (at <= query.size()) {
        size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        std::string field = query.substr(at, end - at);
        size_t eq = field.find('=');
        LStringA value;
        if (eq != std::string::npos) LUrlDecodeQueryValue(field.c_str() + eq + 1, value);
        out.emplace_back(field.substr(0, eq), value.c_str());
        at = end + 1;
    }
    return out;
}

std::vector<std::string> Keys(const Fields& fields) {
    std::vector<std::string> keys;
    for (const auto& f : fields) keys.push_back(f.first);
    return keys;
}

std::string Value(const Fields& fields, const std::string& key) {
    for (const auto& f : fields)
        if (f.first == key) return f.second;
    return "\x01missing";
}

class CrashReportDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
        folder_ = root_.Path() + "/report";
        opener_ = std::make_unique<LTestOpenRecorder>(folder_ + "/open");
        peer_ = LTestHttpPeer::Recorder(folder_ + "/peer", "HTTP/1.0 200 OK\r\n\r\n");
        ASSERT_TRUE(peer_->Ready());
        host_ = "127.0.0.1:" + std::to_string(peer_->Port());
        LRegSettingsSet(u"Maker", u"WebHost", LFromUtf8(host_).c_str());
    }

    LTestRoot root_;
    std::string folder_, host_;
    std::unique_ptr<LTestOpenRecorder> opener_;
    std::unique_ptr<LTestHttpPeer> peer_;
};

TEST_F(CrashReportDesktop, ReportBugOpensThePageAndUploadsTheTextReportNoDoesNeither) {
    // A diagnostic record of this user: the report carries it as "rdf".
    LDebugSaveCallStack("before the crash");
    const std::string rdf = LDebugGetCallStackQuery();
    ASSERT_FALSE(rdf.empty());
    for (bool report : {false, true}) {
        SCOPED_TRACE(report ? "Report Bug" : "No");
        auto fixture = LStartCrashFixture("null", false);
        std::string tree;
        ASSERT_TRUE(LTestClickAccessible("porlinex", report ? "Report Bug" : "No", 60000, &tree)) << tree;
        EXPECT_EQ(fixture->Wait(60000), 1);
        EXPECT_TRUE(LTestWaitFor(20000, [] { return !LTestWindowShown("Abnormal Execution Problem"); }));
        std::string text = LTestReadFile(LCrashReportPath(false));
        EXPECT_NE(text.find("Reason: AccessViolation\n"), std::string::npos) << text;
        char16_t check[260];
        LRegUserSettingsGet(u"Settings", u"VersionCheckAfterCrash", u"", check);
        EXPECT_EQ(std::u16string(check), u"1");
        if (!report) {
            EXPECT_EQ(opener_->Opened(), "");
            EXPECT_TRUE(peer_->Requests().empty());
            continue;
        }

        ASSERT_TRUE(LTestWaitFor(20000, [&] { return !opener_->Opened().empty(); }));
        std::string opened = opener_->Opened();
        std::string page = "https://" + host_ + "/software/bug.html?";
        ASSERT_EQ(opened.rfind(page, 0), 0u) << opened;
        Fields query = ParseQuery(opened.substr(page.size()));
        EXPECT_EQ(Keys(query), (std::vector<std::string>{"software", "version", "xi", "iid", "data", "appbits", "rdf"}))
            << opened;
        EXPECT_EQ(Value(query, "software"), "Porlinex");
        EXPECT_EQ(Value(query, "version"), "2.01");
        EXPECT_EQ(Value(query, "xi").rfind("GUI-AccessViolation-Win100-test_host-", 0), 0u) << opened;
        char16_t iid[260];
        LGetInstallationId(iid);
        EXPECT_EQ(Value(query, "iid"), LToUtf8(iid));
        EXPECT_EQ(Value(query, "appbits"), "64");
        EXPECT_EQ(Value(query, "rdf"), rdf);
        Fields data = ParseQuery(Value(query, "data"));
        EXPECT_EQ(Keys(data), (std::vector<std::string>{"dump", "memfrhp", "memfrlg", "osver", "osbits", "appbits",
                                                        "memphys", "cpu", "user", "rdf", "svnr", "decoder", "encoder",
                                                        "svar", "vm", "pgsize", "pgused"}))
            << Value(query, "data");
        std::string name = Value(data, "dump");
        EXPECT_TRUE(std::regex_match(name, std::regex("\\d{4}(-\\d\\d){5}-\\d{4}\\.dmp"))) << name;
        EXPECT_EQ(Value(data, "svnr"), "878949");
        EXPECT_EQ(Value(data, "rdf"), rdf);

        // Exactly the text report under the name the page was given: no
        // process memory leaves the machine.
        ASSERT_TRUE(LTestWaitFor(20000, [&] { return !peer_->Requests().empty(); }));
        std::vector<std::string> requests = peer_->Requests();
        ASSERT_EQ(requests.size(), 1u);
        std::string body = "--Tq7Rm3Yb4Al9Wp8Hg2Co1Bj5Nv6\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
                           name + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + text +
                           "\r\n--Tq7Rm3Yb4Al9Wp8Hg2Co1Bj5Nv6--\r\n";
        EXPECT_EQ(requests[0], "POST /minidumpupload HTTP/1.0\r\nHost: " + host_ +
                                   "\r\nContent-Type: multipart/form-data; boundary=Tq7Rm3Yb4Al9Wp8Hg2Co1Bj5Nv6\r\n"
                                   "Content-Length: " +
                                   std::to_string(body.size()) + "\r\n\r\n" + body);
    }
}

}  // namespace
