// A real browser through the start route: headless Chromium opens
// /start?token=..., lands on index.html with the session cookie, and the
// page's own script calls loglist with X-AJAX and writes the answer into
// the page, which --dump-dom hands back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "web/http/tests/http_harness.h"

namespace {

const char* kPage = R"(<!DOCTYPE html><html><body><div id="out">pending</div><script>
fetch('loglist', {method: 'POST', headers: {'X-AJAX': '1', 'Content-Type': 'application/json'},
                  body: '{"category":"all"}'})
  .then(r => r.text())
  .then(t => { document.getElementById('out').textContent = 'RESULT:' + t + ':END'; })
  .catch(e => { document.getElementById('out').textContent = 'FAILED:' + e; });
</script></body></html>)";

std::string Browser() {
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (access(p, X_OK) == 0) return p;
    return "";
}

TEST(Browser, StartRouteThenLoglistFromThePage) {
    std::string chromium = Browser();
    if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/packages/web.txt)";
    LTestWebServer web;
    web.WriteWebFile("index.html", kPage);
    ASSERT_TRUE(web.Start());
    const char16_t* token = u"Br0wserTokenBr0wserTokenBr0wserTokenBr0w";
    LRegSettingsSet(u"MainWindowWebApp", u"LaunchToken", token);
    std::u16string now;
    for (char c : std::to_string(static_cast<int64_t>(LNow()))) now += static_cast<char16_t>(c);
    LRegSettingsSet(u"MainWindowWebApp", u"LaunchTokenTime", now.c_str());

    std::string profile = web.root.Path() + "/chromium-profile";
    LTestCurlResult r = LTestRunCaptured(
        {chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--no-first-run", "--user-data-dir=" + profile, "--virtual-time-budget=10000",
         "--dump-dom", web.Url("/start?token=Br0wserTokenBr0wserTokenBr0wserTokenBr0w")},
        60000);
    EXPECT_NE(r.output.find("RESULT:{\"errorcode\":200,\"errormsg\":\"OK\",\"files\":["), std::string::npos)
        << r.output;
    // The token is used up: a second launch with it gets no session.
    LTestCurlResult again = web.Curl({}, "/start?token=Br0wserTokenBr0wserTokenBr0wserTokenBr0w");
    EXPECT_EQ(again.output.substr(0, again.output.find("\r\n")), "HTTP/1.1 401 Not Authorized");
}

}  // namespace
