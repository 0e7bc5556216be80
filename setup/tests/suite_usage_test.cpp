// The launcher's usage values in the user's hive: openings, seconds open,
// runs and installs, the Links subkeys, the query built from them; and
// which of the maker's programs count as installed.
#include <gtest/gtest.h>

#include <string>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/maker_installed.h"
#include "setup/suite_usage.h"
#include "setup/tests/maker_peer.h"

namespace {

std::string LinkValue(int n, const char16_t* name) {
    LString out;
    std::u16string key = std::u16string(LSuiteUsageKey) + u"\\Links\\" + LFromUtf8(std::to_string(n)).c_str();
    if (!LRegQueryString(LRegHive::CurrentUser, key.c_str(), name, out)) return "(none)";
    return LToUtf8(out);
}

TEST(SuiteUsage, CountersAndLinksGrow) {
    LTestRoot root;
    LCountSuiteOpening(true);
    LCountSuiteOpening(false);
    LCountSuiteOpening(false);
    LAddSuiteOpenSeconds(40);
    LAddSuiteOpenSeconds(2);
    LAddSuiteOpenSeconds(-5);  // a clock set back adds nothing
    EXPECT_EQ(LReadSuiteCounter(u"oi"), 1);
    EXPECT_EQ(LReadSuiteCounter(u"oe"), 2);
    EXPECT_EQ(LReadSuiteCounter(u"os"), 42);

    // The same task twice: one subkey, lc 2. The category and key compare
    // as the tables do, the task text exactly.
    LCountSuiteUse(u"PdfTool", u"Utilities", u"Merge PDF files", false);
    LCountSuiteUse(u"pdftool", u"utilities", u"Merge PDF files", true);
    LCountSuiteUse(u"PdfTool", u"Utilities", u"merge PDF files", true);
    LCountSuiteUse(u"PdfTool", u"Utilities", u"", true);
    EXPECT_EQ(LReadSuiteCounter(u"ai"), 1);
    EXPECT_EQ(LReadSuiteCounter(u"ar"), 3);
    struct {
        int n;
        const char *lk, *lt, *lf, *lc;
    } links[] = {{1, "PdfTool", "Utilities", "Merge PDF files", "2"},
                 {2, "PdfTool", "Utilities", "merge PDF files", "1"},
                 {3, "PdfTool", "Utilities", "", "1"},
                 {4, "(none)", "(none)", "(none)", "(none)"}};
    for (const auto& l : links) {
        SCOPED_TRACE(l.n);
        EXPECT_EQ(LinkValue(l.n, u"lk"), l.lk);
        EXPECT_EQ(LinkValue(l.n, u"lt"), l.lt);
        EXPECT_EQ(LinkValue(l.n, u"lf"), l.lf);
        EXPECT_EQ(LinkValue(l.n, u"lc"), l.lc);
    }
}

TEST(SuiteUsage, ANewLinkTakesTheFirstFreeNumber) {
    LTestRoot root;
    const std::u16string links = std::u16string(LSuiteUsageKey) + u"\\Links\\";
    LRegWriteString(LRegHive::CurrentUser, (links + u"2").c_str(), u"lk", u"Other");
    // A counter that is not a number counts as 0 and is rewritten.
    LRegWriteString(LRegHive::CurrentUser, LSuiteUsageKey, u"ar", u"many");
    LCountSuiteUse(u"A", u"Media", u"Play", true);
    LCountSuiteUse(u"B", u"Media", u"Play", true);
    EXPECT_EQ(LinkValue(1, u"lk"), "A");
    EXPECT_EQ(LinkValue(2, u"lk"), "Other");
    EXPECT_EQ(LinkValue(3, u"lk"), "B");
    EXPECT_EQ(LReadSuiteCounter(u"ar"), 2);
}

TEST(SuiteUsage, QueryString) {
    LTestRoot root;
    LString out;
    LSuiteUsageQueryWith(out, 0);
    EXPECT_EQ(LToUtf8(out), "dt=Ut&oi=0&oe=0&os=0&ai=0&ar=0");

    LCountSuiteOpening(false);
    LAddSuiteOpenSeconds(7);
    LCountSuiteUse(u"PdfTool", u"Utilities", u"Merge & split PDFs", true);
    LCountSuiteUse(u"PdfTool", u"Utilities", u"Merge & split PDFs", true);
    LCountSuiteUse(u"A&B", u"%Media", u"Play", false);
    struct {
        int random;
        const char* expected;
    } cases[] = {
        // Blanks dropped, cut to 12, then encoded: '&' cannot add a piece.
        {0, "lk=PdfTool&lt=Ut&lf=Merge%26splitP&lc=2&dt=Ut&oi=0&oe=1&os=7&ai=1&ar=2"},
        {3, "lk=A%26B&lt=%25M&lf=Play&lc=1&dt=Ut&oi=0&oe=1&os=7&ai=1&ar=2"},
    };
    for (const auto& c : cases) {
        LString q;
        LSuiteUsageQueryWith(q, c.random);
        EXPECT_EQ(LToUtf8(q), c.expected);
    }
}

TEST(MakerPrograms, InstalledByEitherHive) {
    LTestRoot root;
    // Installed: the Settings key in either hive; Vek Dalmor only counts
    // when not limited to the Vek folders.
    LRegWriteString(LRegHive::LocalMachine, u"Software\\Vek Software\\Machine\\Settings", u"x", u"1");
    LRegWriteString(LRegHive::CurrentUser, u"Software\\Vek Software\\Mine\\Settings", u"x", u"1");
    LRegWriteString(LRegHive::CurrentUser, u"Software\\Vek Dalmor\\Old\\Settings", u"x", u"1");
    LRegWriteString(LRegHive::CurrentUser, u"Software\\Vek Software\\NoSettings", u"x", u"1");
    struct {
        const char16_t* key;
        bool vek_only, installed;
    } installed[] = {{u"Machine", true, true}, {u"mine", true, true}, {u"Old", true, false},
                     {u"Old", false, true},    {u"NoSettings", false, false}, {u"Absent", false, false}};
    for (const auto& c : installed)
        EXPECT_EQ(LIsMakerProgramInstalled(c.key, c.vek_only), c.installed) << LToUtf8(c.key);
}

}  // namespace
