// On-demand components from the maker's two component hosts (python3 -m
// http.server on free loopback ports): a signed setup program that
// registers the component, under the component download window on the
// headless window layer.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/component_progress.h"
#include "setup/on_demand_component.h"
#include "setup/tests/maker_peer.h"
#include "toolkit/window_layer.h"

namespace {

namespace fs = std::filesystem;

// The component's setup program: records its arguments, then (unless told
// not to) registers the component as installed in the machine's store.
std::string ComponentScript(const std::string& marker, bool registers) {
    std::string s = "#!/bin/sh\necho \"$*\" > '" + marker + "'\n";
    if (registers)
        s += "mkdir -p \"$PORLINEX_ROOT/widget\"\n"
             "printf '\\n[Software\\\\WOW6432Node\\\\Vek Software\\\\Components\\\\Widget]\\nPath=%s\\n' "
             "\"$PORLINEX_ROOT/widget\" >> \"$PORLINEX_ROOT/etc/porlinex/machine.reg\"\n";
    return s;
}

// Runs the on-demand download and notes the window it ran under.
class WatchedDownload : public LOnDemandComponentDownload {
public:
    WatchedDownload(std::string& title) : LOnDemandComponentDownload(u"Widget", "co", u"", true), title_(title) {}
    int Run(LTaskProgress& progress) override {
        title_ = LToUtf8(LGetWindowText(LGetActiveWindow()).c_str());
        return LOnDemandComponentDownload::Run(progress);
    }

private:
    std::string& title_;
};

class OnDemandComponent : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        signer_.Trust();
        a_ = std::make_unique<LTestFileServer>(root_.Path() + "/a");
        b_ = std::make_unique<LTestFileServer>(root_.Path() + "/b");
        ASSERT_TRUE(a_->Ready() && b_->Ready());
        LRegSettingsSet(u"Maker", u"ComponentHost", LFromUtf8(a_->Host()).c_str());
        LRegSettingsSet(u"Maker", u"ComponentHostB", LFromUtf8(b_->Host()).c_str());
    }
    void Serve(const std::string& host, const std::string& bytes, const std::string& signature) {
        LTestWriteFile(root_.Path() + "/" + host + "/components/Widget.exe", bytes);
        LTestWriteFile(root_.Path() + "/" + host + "/components/Widget.exe.sig", signature);
    }
    bool Registered() {
        char16_t path[260];
        return LGetComponentPath(u"Widget", path) && LToUtf8(path) == root_.Path() + "/widget";
    }

    LTestSigner signer_;
    LTestRoot root_;
    std::unique_ptr<LTestFileServer> a_, b_;
    std::string marker_ = root_.Path() + "/marker";
    LPlainWait wait_;
};

TEST_F(OnDemandComponent, SignedSetupRunsUnderTheWindowAndRegisters) {
    std::string script = ComponentScript(marker_, true);
    // Host A's copy was tampered with: host B's is the one that runs.
    Serve("a", script + "echo tampered\n", signer_.Sign(script));
    Serve("b", script, signer_.Sign(script));
    std::string title;
    std::unique_ptr<LComponentDownload> download = std::make_unique<WatchedDownload>(title);
    LComponentDownloadProgress window(download);
    EXPECT_EQ(download, nullptr);
    EXPECT_EQ(window.Run(), 0);
    EXPECT_EQ(title, "Download install-on-demand");
    EXPECT_EQ(window.hwnd, LHwnd::Null);
    EXPECT_EQ(LTestReadFile(marker_), "-LQUIET -instby coPorlinex\n");
    EXPECT_TRUE(Registered());
    // Nothing of the download is left in the temporary folder.
    EXPECT_TRUE(!fs::exists(root_.Path() + "/tmp") || fs::is_empty(root_.Path() + "/tmp"));
}

TEST_F(OnDemandComponent, FailuresRunNothingOrCountAsFailed) {
    struct Case {
        const char* name;
        const char16_t* component;
        bool signedRight;
        bool registers;
        bool runs;
    } cases[] = {
        {"no host has a good signature", u"Widget", false, true, false},
        // Its setup said nothing of failure, but the component never came.
        {"never registers", u"Widget", true, false, true},
        {"a name that is no plain file name", u"../Widget", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(marker_);
        std::string script = ComponentScript(marker_, c.registers);
        Serve("a", script, signer_.Sign(c.signedRight ? script : script + " "));
        Serve("b", "", signer_.Sign(""));
        EXPECT_EQ(LRunOnDemandComponent(wait_, c.component, true, "co", nullptr, true), 2);
        EXPECT_EQ(fs::exists(marker_), c.runs);
        EXPECT_FALSE(Registered());
    }
}

}  // namespace
