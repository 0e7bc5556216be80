// The maker's notices: the notes file read from a fixture, the fields of
// a line, when a notice is due (versions, dates, the user's answers), the
// weekly download against a recording server, and what the banner's
// commands do with the current notice.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/date_time.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/system_shell.h"
#include "foundation/time_source.h"
#include "foundation/wait.h"
#include "setup/maker_programs.h"
#include "setup/push_notification_thread.h"
#include "setup/push_notifications.h"
#include "setup/tests/browser_stand_in.h"
#include "setup/tests/maker_peer.h"
#include "tests/support/http_peer.h"
#include "tests/support/test_root.h"
#include "toolkit/window.h"
#include "toolkit/window_layer.h"

namespace {

const std::string kFixture = std::string(PORLINEX_SOURCE_DIR) + "/setup/tests/testdata/push_notes.txt";
const char16_t kStateKey[] = u"Software\\Vek Software\\Porlinex\\PushNotifications\\";

time_t g_now = 0;
time_t FixedNow() { return g_now; }

class NowAt {
public:
    explicit NowAt(time_t t) {
        g_now = t;
        LSetNowFuncForTests(FixedNow);
    }
    ~NowAt() { LSetNowFuncForTests(nullptr); }
};

time_t Local(int y, int mo, int d, int h, int mi, int s) {
    time_t t = 0;
    LMakeLocalTime(&t, y, mo, d, h, mi, s);
    return t;
}

LPushNotificationData ParseOne(const std::string& line) {
    LPushNotificationData d;
    bool usable = false;
    EXPECT_TRUE(d.Parse(line, usable)) << line;
    return d;
}

std::string State(const std::u16string& id, const char16_t* name) {
    char16_t out[260];
    LRegReadString(LRegHive::CurrentUser, (kStateKey + id).c_str(), name, u"", out);
    return LToUtf8(out);
}

TEST(PushNotes, FixtureReadsUsableNoticesUpToTheEmptyLine) {
    LTestRoot root;
    std::vector<LPushNotificationData> notes = LReadPushNotifications(kFixture);
    std::vector<std::string> ids;
    for (const auto& n : notes) ids.push_back(LToUtf8(n.id.c_str()));
    // Dropped: a vital field this client does not know, an id that would
    // name another key, no id; the empty line ends the file.
    EXPECT_EQ(ids, (std::vector<std::string>{"first", "knows-body", "install", "numbers", "mac"}));
    ASSERT_EQ(notes.size(), 5u);

    const LPushNotificationData& first = notes[0];
    EXPECT_EQ(first.body, u"A new release is out");
    EXPECT_EQ(first.button1.action, LPushActionWebpage);
    EXPECT_EQ(first.button1.label, u"Read more");
    EXPECT_EQ(first.button1.data, u"http://example.test/news?a=1&b=2");
    EXPECT_EQ(first.button2.action, LPushActionNone);

    const LPushNotificationData& install = notes[2];
    EXPECT_EQ(install.button1.action, LPushActionInstall);
    EXPECT_EQ(install.button1.comp, u"toolsetup");
    EXPECT_EQ(install.button1.key, u"Tools");
    EXPECT_TRUE(install.button1.dalmor);
    EXPECT_TRUE(install.button1.data.empty());
    EXPECT_EQ(install.button2.action, LPushActionLater);

    // Words are exact, numbers are their leading digits, and a number past
    // the integer range stays at its top.
    const LPushNotificationData& numbers = notes[3];
    EXPECT_EQ(numbers.os, LPushOsUnknown);
    EXPECT_EQ(numbers.osmin, 601);
    EXPECT_EQ(numbers.osmax, INT_MAX);
    EXPECT_EQ(numbers.appmin, 0);
    EXPECT_EQ(numbers.svnmin, 0);
    EXPECT_EQ(numbers.button1.action, LPushActionUnknown);
    EXPECT_TRUE(numbers.button2.comp.empty());
    EXPECT_EQ(notes[4].os, LPushOsMac);
}

TEST(PushNotes, HostileLinesAreBounded) {
    LTestRoot root;
    // Texts are cut; an over-long line is skipped without ending the file.
    std::string longBody(400, 'b');
    LPushNotificationData d = ParseOne("id=x&body=" + longBody + "&btn1act=webpage&btn1data=http://" + std::string(5000, 'a'));
    EXPECT_EQ(d.body.size(), LPushFieldMax);
    EXPECT_EQ(d.button1.data.size(), LPushDataMax);

    std::string path = root.Path() + "/notes.txt";
    std::string many;
    many += "id=huge&body=" + std::string(LPushLineMax, 'x') + "\n";
    for (int i = 0; i < 1000; ++i) many += "id=n" + std::to_string(i) + "&body=b\n";
    std::ofstream(path) << many;
    std::vector<LPushNotificationData> notes = LReadPushNotifications(path);
    ASSERT_EQ(notes.size(), LPushNoticesMax);
    EXPECT_EQ(notes[0].id, u"n0");
}

TEST(PushNotes, WhenANoticeIsDue) {
    LTestRoot root;
    NowAt now(Local(2026, 12, 11, 10, 0, 0));
    struct Case {
        const char* line;
        bool due;
    } cases[] = {
        {"id=a&body=b", true},
        {"id=a&body=b&os=win", true},
        {"id=a&body=b&os=mac", false},
        {"id=a&body=b&os=beos", false},
        // This system answers as Windows 10.
        {"id=a&body=b&osmin=601", true},
        {"id=a&body=b&osmin=1001", false},
        {"id=a&body=b&osmax=601", false},
        {"id=a&body=b&osmax=1000", true},
        {"id=a&body=b&appmin=202", false},
        {"id=a&body=b&appmin=201&appmax=201", true},
        {"id=a&body=b&appmax=200", false},
        {"id=a&body=b&svnmin=878950", false},
        {"id=a&body=b&svnmin=878949&svnmax=878949", true},
        {"id=a&body=b&svnmax=878948", false},
        {"id=a&body=b&datemin=2026-12-11&datemax=2026-12-11", true},
        {"id=a&body=b&datemin=26-12-12", false},
        {"id=a&body=b&datemax=2026-12-10", false},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseOne(c.line).IsDue(LNow()), c.due) << c.line;

    // A last day lasts until its last second.
    LPushNotificationData today = ParseOne("id=a&body=b&datemax=2026-12-11");
    EXPECT_TRUE(today.IsDue(Local(2026, 12, 11, 23, 59, 59)));
    EXPECT_FALSE(today.IsDue(Local(2026, 12, 12, 0, 0, 0)));
}

TEST(PushNotes, LaterWaitsTwelveHoursAndCloseIsForever) {
    LTestRoot root;
    const time_t start = Local(2026, 12, 11, 10, 0, 0);
    LPushNotificationData d = ParseOne("id=news&body=b");
    {
        NowAt now(start);
        d.RemindLater();
    }
    EXPECT_EQ(State(u"news", u"RemindLater"), std::to_string(start));
    EXPECT_FALSE(d.IsDue(start + 43199));
    EXPECT_TRUE(d.IsDue(start + 43200));
    {
        NowAt now(start + 50000);
        d.MarkViewed();
    }
    EXPECT_EQ(State(u"news", u"Viewed"), std::to_string(start + 50000));
    EXPECT_EQ(State(u"news", u"RemindLater"), "");
    EXPECT_FALSE(d.IsDue(start + 10 * 86400));
    // Another notice keeps its own state.
    EXPECT_TRUE(ParseOne("id=other&body=b").IsDue(start));
}

TEST(PushNotes, OnlyWebAddressesAreOpened) {
    struct Case {
        const char16_t* address;
        bool web;
    } cases[] = {
        {u"http://example.test/a", true},
        {u"HTTPS://example.test/", true},
        {u"http://", false},
        {u"file:///etc/passwd", false},
        {u"/usr/share/applications/evil.desktop", false},
        {u"evil.desktop", false},
        {u"-x http://example.test", false},
        {u"javascript:alert(1)", false},
        {u"http://example.test/a b", false},
        {u"http://example.test/\n", false},
    };
    for (const Case& c : cases) EXPECT_EQ(LIsWebAddress(c.address), c.web) << LToUtf8(c.address);
}

TEST(PushNotes, BannerCommandsActOnTheCurrentNotice) {
    LTestRoot root;
    LTestBrowserStandIn browser(root.Path() + "/bin");
    LPushNotificationThread thread(LHwnd::Null, nullptr);

    // Not a web page: nothing is opened, but the notice counts as seen.
    thread.current = ParseOne("id=local&body=b&btn1act=webpage&btn1label=Open&btn1data=file:///etc/passwd");
    EXPECT_TRUE(thread.OnCommand(LCmdPushButton1));
    EXPECT_NE(State(u"local", u"Viewed"), "");
    EXPECT_TRUE(thread.current.id.empty());

    // A second button without a first: the notice is not valid, nothing happens.
    thread.current = ParseOne("id=odd&body=b&btn2act=webpage&btn2data=http://example.test/odd");
    EXPECT_TRUE(thread.OnCommand(LCmdPushButton2));
    EXPECT_TRUE(thread.OnCommand(LCmdPushButton1));
    EXPECT_EQ(State(u"odd", u"Viewed"), "");
    EXPECT_EQ(thread.current.id, u"odd");

    thread.current = ParseOne("id=web&body=b&btn1act=later&btn2act=webpage&btn2data=http://example.test/web");
    EXPECT_TRUE(thread.OnCommand(LCmdPushButton2));
    EXPECT_TRUE(LTestWaitFor(20000, [&] { return LTestReadFile(browser.Record()) == "http://example.test/web\n"; }))
        << LTestReadFile(browser.Record());
    EXPECT_NE(State(u"web", u"Viewed"), "");

    thread.current = ParseOne("id=later&body=b&btn1act=later&btn1label=Later");
    EXPECT_TRUE(thread.OnCommand(LCmdPushButton1));
    EXPECT_NE(State(u"later", u"RemindLater"), "");
    thread.current = ParseOne("id=closed&body=b");
    EXPECT_TRUE(thread.OnCommand(LCmdPushClose));
    EXPECT_NE(State(u"closed", u"Viewed"), "");
    EXPECT_FALSE(thread.OnCommand(809));
    EXPECT_FALSE(thread.OnCommand(814));
}

TEST(PushNotes, NotificationListReleasesEveryNode) {
    LPushNotificationData* head = nullptr;
    for (int i = 0; i < 3; ++i) {
        auto* n = new LPushNotificationData;
        n->body.assign(300, u'b');
        n->button1.data = u"payload";
        n->next = head;
        head = n;
    }
    LNotificationListFree(head);  // leak checks run under the sanitizer build
    LNotificationListFree(nullptr);
}

TEST(PushNotes, MakerProgramsAreFoundOnlyByPlainNames) {
    LTestRoot root;
    std::string user = root.Path() + "/home/.local/share";
    std::filesystem::create_directories(user + "/Vek Dalmor/Program Files/Tools");
    std::ofstream(user + "/Vek Dalmor/Program Files/Tools/Tools") << "x";
    std::string path;
    EXPECT_FALSE(LFindMakerProgram(true, "Tools", path));
    ASSERT_TRUE(LFindMakerProgram(false, "Tools", path));
    EXPECT_EQ(path, user + "/Vek Dalmor/Program Files/Tools/Tools");
    std::filesystem::create_directories(root.Path() + "/opt/porlinex/Vek Software/Tools");
    std::ofstream(root.Path() + "/opt/porlinex/Vek Software/Tools/Tools") << "x";
    ASSERT_TRUE(LFindMakerProgram(true, "Tools", path));
    EXPECT_EQ(path, root.Path() + "/opt/porlinex/Vek Software/Tools/Tools");
    for (const char* bad : {"", "..", "../Tools", "a/b", ".hidden"}) EXPECT_FALSE(LFindMakerProgram(false, bad, path)) << bad;
}

class PushDownload : public ::testing::Test {
protected:
    void SetUp() override {
        recorder_ = LTestHttpPeer::Recorder(root_.Path() + "/peer", LTestHttpAnswer("200 OK", "id=new&body=b\n"));
        ASSERT_TRUE(recorder_->Ready());
        LRegSettingsSet(u"Maker", u"DownloadHost", LFromUtf8(recorder_->Host()).c_str());
        folder_ = root_.Path() + "/home/.local/share/Vek Software/Porlinex";
        std::filesystem::create_directories(folder_);
        std::ofstream(folder_ + "/notifications-en.txt") << "id=old&body=b\n";
    }
    void Polled(time_t t) { LRegUserSettingsSet(u"PushNotifications", u"Polled", LFromUtf8(std::to_string(t)).c_str()); }
    std::string PolledText() {
        char16_t out[260];
        LRegUserSettingsGet(u"PushNotifications", u"Polled", u"", out);
        return LToUtf8(out);
    }
    // The notes folder holds nothing but the notes file.
    size_t Entries() {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder_)) ++n;
        return n;
    }

    LTestRoot root_;
    std::unique_ptr<LTestHttpPeer> recorder_;
    std::string folder_;
    LPlainWait wait_;
};

TEST_F(PushDownload, SixDaysOldKeepsTheFileEightDaysFetchesAgain) {
    const time_t now = Local(2026, 12, 11, 10, 0, 0);
    NowAt at(now);
    std::string path;
    Polled(now - 6 * 86400);
    ASSERT_TRUE(LDownloadPushNotifications(wait_, path));
    EXPECT_EQ(path, folder_ + "/notifications-en.txt");
    EXPECT_EQ(LTestReadFile(path), "id=old&body=b\n");
    EXPECT_EQ(recorder_->Log(), "");

    Polled(now - 8 * 86400);
    ASSERT_TRUE(LDownloadPushNotifications(wait_, path));
    EXPECT_EQ(LTestReadFile(path), "id=new&body=b\n");
    EXPECT_NE(recorder_->Log().find("GET /components/notifications/porlinex.txt HTTP/1.0"), std::string::npos)
        << recorder_->Log();
    EXPECT_EQ(PolledText(), std::to_string(now));
    EXPECT_EQ(Entries(), 1u);

    // An attempt dated after now does not hold off the next one.
    recorder_->SetReply(LTestHttpAnswer("200 OK", "id=newer&body=b\n"));
    Polled(now + 30 * 86400);
    ASSERT_TRUE(LDownloadPushNotifications(wait_, path));
    EXPECT_EQ(LTestReadFile(path), "id=newer&body=b\n");
}

TEST_F(PushDownload, AFailureKeepsTheOldFileAndWaitsAWeek) {
    const time_t now = Local(2026, 12, 11, 10, 0, 0);
    NowAt at(now);
    recorder_->SetReply(LTestHttpAnswer("404 Not Found", "gone"));
    std::string path;
    EXPECT_FALSE(LDownloadPushNotifications(wait_, path));
    EXPECT_EQ(LTestReadFile(folder_ + "/notifications-en.txt"), "id=old&body=b\n");
    EXPECT_EQ(PolledText(), std::to_string(now));
    EXPECT_EQ(Entries(), 1u);
    // Within the week the old file is used without asking again.
    size_t asked = recorder_->Log().size();
    EXPECT_TRUE(LDownloadPushNotifications(wait_, path));
    EXPECT_EQ(recorder_->Log().size(), asked);
}

// The install button: the signed setup program from the download host runs,
// writes the program's settings and installs it; the installed program is
// started and the notice counts as seen.
TEST(PushInstall, SignedSetupRunsAndTheInstalledProgramStarts) {
    LTestRoot root;
    ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
    LTestSigner signer;
    signer.Trust();
    LTestFileServer host(root.Path() + "/host");
    ASSERT_TRUE(host.Ready());
    LRegSettingsSet(u"Maker", u"DownloadHost", LFromUtf8(host.Host()).c_str());
    for (const char16_t* other : {u"DownloadHostB", u"ComponentHost", u"ComponentHostB"})
        LRegSettingsSet(u"Maker", other, u"127.0.0.1:1");
    LRegUserSettingsSet(u"Software", u"Probe", u"1");
    const std::string program = root.Path() + "/opt/porlinex/Vek Software/Tools/Tools";
    const std::string setup = "#!/bin/sh\n"
                              "mkdir -p \"$(dirname '" + program + "')\"\n"
                              "printf '#!/bin/sh\\necho started > \"%s/started\"\\n' \"$PORLINEX_ROOT\" > '" + program + "'\n"
                              "chmod 755 '" + program + "'\n"
                              "printf '\\n[Software\\\\Vek Software\\\\Tools\\\\Settings]\\nInstalled=1\\n' >> "
                              "\"$PORLINEX_ROOT/home/.config/porlinex/user.reg\"\n";
    LTestWriteFile(root.Path() + "/host/download/toolsetup.exe", setup);
    LTestWriteFile(root.Path() + "/host/download/toolsetup.exe.sig", signer.Sign(setup));

    LHwnd main = LCreateWindowEx(0, u"button", u"Porlinex", LWS_POPUP, 0, 0, 400, 200, LHwnd::Null, 0);
    LPushNotificationThread thread(main, nullptr);
    thread.current = ParseOne("id=tools&body=b&btn1act=install&btn1label=Install&btn1data=comp%3Dtoolsetup%26key%3DTools");
    EXPECT_TRUE(thread.OnCommand(LCmdPushButton1));
    EXPECT_TRUE(LTestWaitFor(20000, [&] { return LTestReadFile(root.Path() + "/started") == "started\n"; }));
    EXPECT_NE(State(u"tools", u"Viewed"), "");
    // Names that would leave the program folders never reach a download.
    EXPECT_FALSE(thread.DownloadAndInstall(u"../toolsetup", u"Tools", false));
    EXPECT_FALSE(thread.DownloadAndInstall(u"toolsetup", u"../../Tools", false));
    LDestroyWindow(main);
}

}  // namespace
