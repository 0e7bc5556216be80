// Hot-spot links on the headless window layer: the commands a sequence of
// pointer moves and clicks posts to the owner, the pointer shape, and the
// pop-up that leaving or clicking closes.
#include <gtest/gtest.h>

#include <vector>

#include "setup/hot_spot_links.h"
#include "toolkit/window_layer.h"

namespace {

std::vector<int>& Received() {
    static std::vector<int> commands;
    return commands;
}

LResult RecordCommands(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (msg == LWM_COMMAND) Received().push_back(static_cast<int>(LLoWord(w)));
    return LDefWindowProc(h, msg, w, l);
}

// The commands posted since the last call.
std::vector<int> Drain() {
    LMsg m;
    while (LPeekMessage(&m, true)) LDispatchMessage(m);
    std::vector<int> out;
    out.swap(Received());
    return out;
}

class HotSpots : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        LRegisterClass(u"HotSpotOwner", RecordCommands);
        owner_ = LCreateWindowEx(0, u"HotSpotOwner", u"", LWS_POPUP, 0, 0, 100, 100, LHwnd::Null, 0);
        ASSERT_NE(owner_, LHwnd::Null);
        Drain();
        links_.owner = owner_;
        // Two areas side by side; the second has no hover command.
        links_.Add({1, 0, 0, 50, 20, 5020, 5021});
        links_.Add({2, 50, 0, 50, 20, 6020, 0});
        links_.Add({3, 0, 30, 50, 20, 7020, 7021});
    }
    void TearDown() override { LDestroyWindow(owner_); }

    LHwnd owner_ = LHwnd::Null;
    LHotSpotLinks links_;
};

TEST_F(HotSpots, EnteringAnAreaPostsItsHoverCommandOnce) {
    struct Step {
        int x, y;
        std::vector<int> posted;
        LHotSpotLinks::Cursor cursor;
    } steps[] = {
        {10, 10, {5021}, LHotSpotLinks::Cursor::Hand},
        {20, 15, {}, LHotSpotLinks::Cursor::Hand},      // within the same area
        {10, 40, {7021}, LHotSpotLinks::Cursor::Hand},  // straight to another
        {49, 49, {}, LHotSpotLinks::Cursor::Hand},
        {60, 10, {}, LHotSpotLinks::Cursor::Hand},      // an area without a hover command
        {10, 10, {5021}, LHotSpotLinks::Cursor::Hand},
        {50, 25, {}, LHotSpotLinks::Cursor::Arrow},     // between the areas
        {10, 10, {5021}, LHotSpotLinks::Cursor::Hand},  // back in: posted again
        {50, 0, {}, LHotSpotLinks::Cursor::Hand},       // the right edge belongs to the next area
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.x << "," << s.y);
        links_.OnMouseMove(s.x, s.y);
        EXPECT_EQ(Drain(), s.posted);
        EXPECT_EQ(links_.cursor, s.cursor);
        EXPECT_EQ(links_.over, s.cursor == LHotSpotLinks::Cursor::Hand);
    }
}

TEST_F(HotSpots, ClicksPostTheAreasCommandAndCloseThePopup) {
    links_.popup = LCreateWindowEx(0, u"HotSpotOwner", u"", LWS_POPUP, 0, 0, 10, 10, owner_, 0);
    LHwnd popup = links_.popup;
    links_.OnClick(100, 5);  // outside every area: nothing, the pop-up stays
    EXPECT_TRUE(Drain().empty());
    EXPECT_TRUE(LIsWindow(popup));
    links_.OnClick(99, 19);
    EXPECT_EQ(Drain(), std::vector<int>{6020});
    EXPECT_FALSE(LIsWindow(popup));

    // Leaving the areas closes the pop-up too.
    links_.popup = LCreateWindowEx(0, u"HotSpotOwner", u"", LWS_POPUP, 0, 0, 10, 10, owner_, 0);
    popup = links_.popup;
    links_.OnMouseMove(10, 10);
    EXPECT_TRUE(LIsWindow(popup));
    links_.OnMouseMove(200, 200);
    EXPECT_FALSE(LIsWindow(popup));
    Drain();

    // While the help pointer is up, moves do nothing.
    links_.cursor = LHotSpotLinks::Cursor::Help;
    links_.OnMouseMove(10, 40);
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(links_.cursor, LHotSpotLinks::Cursor::Help);

    // Without an owner a click posts nothing.
    LHotSpotLinks orphan;
    orphan.Add({1, 0, 0, 10, 10, 1, 2});
    orphan.OnClick(1, 1);
    orphan.OnMouseMove(1, 1);
    EXPECT_TRUE(Drain().empty());
}

}  // namespace
