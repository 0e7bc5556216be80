// Template bytes against fixtures that a Python struct script writes, and
// the dialog font size rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/test_root.h"
#include "toolkit/dialog_template.h"

namespace {

class TemplateFixtures : public ::testing::Test {
protected:
    void SetUp() override {
        std::string script = std::string(PORLINEX_SOURCE_DIR) + "/toolkit/tests/testdata/make_templates.py";
        dir_ = root_.Path() + "/fixtures";
        std::filesystem::create_directories(dir_);
        ASSERT_EQ(std::system(("/usr/bin/python3 '" + script + "' '" + dir_ + "'").c_str()), 0);
    }
    std::vector<unsigned char> Read(const char* name) {
        std::ifstream f(dir_ + "/" + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
    LTestRoot root_;
    std::string dir_;
};

TEST_F(TemplateFixtures, BuiltTemplateMatches) {
    LDialogTemplate t;
    ASSERT_TRUE(LBuildDialogTemplatePoints(t, 100, 50, u"Test title", 0x92C82084, 0x401, 9));
    EXPECT_EQ(t, Read("built.bin"));
    LDialogCreate c;
    ASSERT_TRUE(LReadDialogTemplate(t.data(), t.size(), &c));
    EXPECT_EQ(c.title, u"Test title");
    EXPECT_EQ(c.cx, 100);
    EXPECT_EQ(c.points, 9);
}

TEST_F(TemplateFixtures, FontReplacementMovesItemsToTheirBoundaries) {
    for (const char* base : {"plain", "ext"}) {
        SCOPED_TRACE(base);
        std::vector<unsigned char> in = Read((std::string(base) + "_in.bin").c_str());
        std::vector<unsigned char> out = Read((std::string(base) + "_out.bin").c_str());
        LDialogTemplate block(in);
        block.resize(in.size() + 64, 0);
        size_t used = 0;
        ASSERT_TRUE(LMeasureDialogTemplate(block.data(), in.size(), &used));
        EXPECT_EQ(used, in.size());
        ASSERT_TRUE(LSetDialogTemplateFont(block, &used, 9));
        EXPECT_EQ(used, out.size());
        EXPECT_EQ(std::vector<unsigned char>(block.begin(), block.begin() + static_cast<ptrdiff_t>(used)), out);
        for (size_t i = used; i < block.size(); ++i) EXPECT_EQ(block[i], 0) << i;
    }
    size_t n;
    const unsigned char* r1 = LDialogResource1(&n);
    EXPECT_EQ(std::vector<unsigned char>(r1, r1 + n), Read("resource1.bin"));
}

TEST_F(TemplateFixtures, MeasuringNeverReadsPastTheBlock) {
    for (const char* name : {"plain_in.bin", "ext_in.bin", "resource1.bin"}) {
        std::vector<unsigned char> t = Read(name);
        size_t used;
        ASSERT_TRUE(LMeasureDialogTemplate(t.data(), t.size(), &used));
        // Every shorter cut ends inside a string, an item or the header.
        for (size_t cut = 0; cut < t.size(); ++cut) {
            std::vector<unsigned char> part(t.begin(), t.begin() + static_cast<ptrdiff_t>(cut));
            EXPECT_FALSE(LMeasureDialogTemplate(part.data(), part.size(), &used)) << name << " cut at " << cut;
        }
    }
    // A block too small for the longer font block is refused, not overrun.
    std::vector<unsigned char> in = Read("plain_in.bin");
    LDialogTemplate block(in);
    size_t used = in.size();
    EXPECT_FALSE(LSetDialogTemplateFont(block, &used, 9));
}

TEST(DialogFont, SizeFollowsScaleWithinTheWorkArea) {
    struct Case {
        double scale;
        int work_height;
        int points;
    };
    const Case cases[] = {
        {1.25, 1040, 10},   // tall work area
        {1.0625, 1040, 9},  // 8.5 rounds up
        {1.25, 500, 8},     // fewer than 43 lines of the font
        {1.0, 1040, 8},
        {3.0, 1040, 14},    // 1040 / (13 x 43) x 8, floored
    };
    for (const Case& c : cases) EXPECT_EQ(LComputeDialogFontSize(8, c.scale, c.work_height, 13), c.points) << c.scale;
}

}  // namespace
