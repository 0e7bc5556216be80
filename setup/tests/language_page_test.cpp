// The installer's language page: which language names offer which
// installer, the language read from the environment, and the page itself
// on the headless layer fetching a signed installer from a loopback host
// (its fallback address when the first one fails) and handing over to it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "setup/install_pages.h"
#include "setup/installer_language.h"
#include "setup/tests/maker_peer.h"
#include "setup/wizard_host.h"
#include "toolkit/property_sheet.h"
#include "toolkit/tests/modal_driver.h"

namespace {

TEST(InstallerLanguage, OnlyALanguageWithAnInstallerAndTextsGetsThePage) {
    std::vector<LOtherLanguageInstaller> rows{
        {"EN", "2.00", "a", ""}, {"de", "3.1", "b", ""}, {"JP", "2.5", "c", ""}, {"CN", "2.2", "d", ""},
        {"XX", "1.0", "e", ""}, {"RU", "2.0", "f", ""}};
    struct Case {
        const char* language;
        const char* row;  // null: no page
    };
    for (Case c : {Case{"en", nullptr}, Case{"ru", nullptr}, Case{"pt", nullptr}, Case{"zh", nullptr},
                   Case{"de", "de"}, Case{"DE", "de"}, Case{"ja", "JP"}, Case{"fr", nullptr}, Case{"xx", nullptr}}) {
        SCOPED_TRACE(c.language);
        LLanguageChoice choice = LFindOtherLanguageInstaller(c.language, rows);
        EXPECT_EQ(std::string(choice.row ? choice.row->code : "none"), c.row ? c.row : "none");
        if (c.row) {
            EXPECT_NE(choice.texts, nullptr);
        }
    }
    LLanguageChoice german = LFindOtherLanguageInstaller("de", rows);
    EXPECT_EQ(LLanguageDownloadText(german), u"Deutsche Version herunterladen und installieren (v 3.1)");
    // The maker offers only the English installer: no language gets a page.
    std::vector<LOtherLanguageInstaller> offered = LOtherLanguageInstallers();
    for (const char* l : {"en", "de", "ja", "zh", "fr", "it", "es", "ko", "nl", "ru", "cn", "jp"})
        EXPECT_EQ(LFindOtherLanguageInstaller(l, offered).row, nullptr) << l;
}

TEST(InstallerLanguage, ComesFromTheFirstSettingThatNamesOne) {
    struct Case {
        const char *language, *all, *messages, *lang, *want;
    };
    for (Case c : {Case{"de_DE:en", "fr_FR.UTF-8", nullptr, nullptr, "de"}, Case{nullptr, "C", "fr_FR.UTF-8", nullptr, "fr"},
                   Case{nullptr, nullptr, nullptr, "pt_BR.UTF-8", "pt"}, Case{"", nullptr, "POSIX", nullptr, "en"},
                   Case{nullptr, nullptr, nullptr, "sr@latin", "sr"}, Case{nullptr, nullptr, nullptr, nullptr, "en"}}) {
        SCOPED_TRACE(c.want);
        const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
        const char* values[] = {c.language, c.all, c.messages, c.lang};
        for (int i = 0; i < 4; ++i) {
            if (values[i]) setenv(names[i], values[i], 1);
            else unsetenv(names[i]);
        }
        EXPECT_EQ(LInstallerLanguage(), c.want);
    }
    unsetenv("LANGUAGE");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "C.UTF-8", 1);
}

class LanguagePage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        maker_.Trust();
        server_ = std::make_unique<LTestFileServer>(root_.Path() + "/served");
        ASSERT_TRUE(server_->Ready());
    }
    static LHwnd Sheet() { return LGetActiveWindow(); }
    static LHwnd Current() { return LHwndFromParam(LSendMessage(Sheet(), LPSM_GETCURRENTPAGEHWND, 0, 0)); }

    // The installer's pages with the language page first.
    struct Pages {
        explicit Pages(const LLanguageChoice& choice) : language(state, choice), licence(state), installing(state) {
            state.language_page = true;
            LAddWizardPage(list, &language, u"Language Selection", nullptr, 325, 166);
            LAddWizardPage(list, &licence, u"Porlinex by Vek Software", u"", 325, 166);
            LAddWizardPage(list, &installing, u"Installing Porlinex", nullptr, 325, 166);
        }
        LInstallerWizardState state;
        LLanguagePage language;
        LLicencePage licence;
        LInstallingPage installing;
        LWizardPageList list;
    };

    LTestRoot root_;
    LTestSigner maker_;
    std::unique_ptr<LTestFileServer> server_;
};

TEST_F(LanguagePage, DownloadStartsTheOtherInstallerAndEndsThisOne) {
    std::string marker = root_.Path() + "/other-installer-ran";
    std::string script = "#!/bin/sh\necho ran > '" + marker + "'\n";
    LTestWriteFile(root_.Path() + "/served/components/pxsetup.exe", script);
    LTestWriteFile(root_.Path() + "/served/components/pxsetup.exe.sig", maker_.Sign(script));
    std::vector<LOtherLanguageInstaller> rows{{"DE", "2.00", "http://" + server_->Host() + "/email/pxsetup.exe",
                                               "http://" + server_->Host() + "/components/pxsetup.exe"}};
    LLanguageChoice choice = LFindOtherLanguageInstaller("de", rows);
    ASSERT_NE(choice.row, nullptr);
    Pages pages(choice);
    LTestWhenModalLoopRuns([&] {
        EXPECT_EQ(LGetWindowText(LGetDlgItem(Current(), LLanguagePage::kDownload)),
                  u"Deutsche Version herunterladen und installieren (v 2.00)");
        // The page's own choices replace the wizard's buttons.
        for (int id : {LIDC_BACK, LIDC_NEXT, LIDCANCEL}) EXPECT_FALSE(LIsWindowVisible(LGetDlgItem(Sheet(), id))) << id;
        LSendMessage(Current(), LWM_COMMAND, LLanguagePage::kDownload, 0);
    });
    // Finished, but nothing installed: the other installer does that.
    EXPECT_TRUE(LRunWizard(pages.list, nullptr));
    EXPECT_FALSE(pages.state.started);
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return std::filesystem::exists(marker); }));
}

TEST_F(LanguagePage, ContinuingGoesOnInEnglish) {
    std::vector<LOtherLanguageInstaller> rows{{"DE", "2.00", "http://" + server_->Host() + "/missing", ""}};
    LLanguageChoice choice = LFindOtherLanguageInstaller("de", rows);
    Pages pages(choice);
    std::u16string header;
    bool next_shown = false;
    LTestWhenModalLoopRuns([&] {
        LSendMessage(Current(), LWM_COMMAND, LLanguagePage::kContinue, 0);
        LTestWhenModalLoopRuns([&] {
            header = LGetWindowText(LGetDlgItem(Sheet(), LIDC_HEADER_TITLE));
            next_shown = LIsWindowVisible(LGetDlgItem(Sheet(), LIDC_NEXT));
            // The licence page lets no cancel through; the test ends the sheet.
            LEndDialog(Sheet(), 0);
        });
    });
    EXPECT_FALSE(LRunWizard(pages.list, nullptr));
    EXPECT_EQ(header, u"Porlinex by Vek Software");
    EXPECT_TRUE(next_shown);
}

}  // namespace
