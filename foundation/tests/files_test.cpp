#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/files.h"
#include "foundation/files_path.h"
#include "foundation/utf8.h"
#include "platform/clock.h"
#include "tests/support/test_root.h"

namespace {

class FilesTest : public ::testing::Test {
protected:
    std::u16string Path(const char* name) {
        std::string p = root.Path() + "/" + name;
        return std::u16string(LFromUtf8(p).c_str());
    }
    static std::string Read(const std::u16string& p) { return LTestReadFile(LToUtf8(p.c_str())); }
    LTestRoot root;
};

TEST(RetryBudget, PausesDoubleUntilTheBudgetIsSpent) {
    LRetryBudget b(5000);
    std::vector<uint32_t> pauses;
    uint32_t p;
    while (b.Next(LErrorSharingViolation, &p)) pauses.push_back(p);
    EXPECT_EQ(pauses, (std::vector<uint32_t>{40, 80, 160, 320, 640, 1280}));

    LRetryBudget other(5000);
    EXPECT_FALSE(other.Next(LErrorAccessDenied, &p));  // only sharing violations wait
    LRetryBudget none(0);
    EXPECT_FALSE(none.Next(LErrorSharingViolation, &p));
    LRetryBudget move(5000, 40);  // the fixed pauses of moves
    pauses.clear();
    while (move.Next(LErrorSharingViolation, &p)) pauses.push_back(p);
    EXPECT_EQ(pauses.size(), 6u);
}

struct ShareCase {
    const char* name;
    uint32_t held_access, held_share;
    uint32_t access, share;
    bool opens;
};

TEST_F(FilesTest, ShareModesBetweenOpens) {
    const ShareCase cases[] = {
        {"two readers sharing reads", LFileAccessRead, LFileShareRead, LFileAccessRead, LFileShareRead, true},
        {"reader while a writer shares reads", LFileAccessReadWrite, LFileShareRead, LFileAccessRead, LFileShareRead,
         false},
        {"writer while a reader shares reads", LFileAccessRead, LFileShareRead, LFileAccessWrite, LFileShareRead,
         false},
        {"anything while held without sharing", LFileAccessRead, LFileShareNone, LFileAccessRead, LFileShareRead,
         false},
        {"full sharing on both sides", LFileAccessReadWrite, LFileShareRead | LFileShareWrite, LFileAccessReadWrite,
         LFileShareRead | LFileShareWrite, true},
    };
    std::u16string p = Path("shared.txt");
    ASSERT_TRUE(LWriteWholeFile(p.c_str(), "abc", 3));
    for (const auto& c : cases) {
        LFileHandle held = LCreateFileRetry(p.c_str(), c.held_access, c.held_share, LFileOpenExisting, 0);
        ASSERT_TRUE(held.IsValid()) << c.name;
        LFileHandle second = LCreateFileRetry(p.c_str(), c.access, c.share, LFileOpenExisting, 0);
        EXPECT_EQ(second.IsValid(), c.opens) << c.name;
        if (!c.opens) {
            EXPECT_EQ(LPlatformLastError(), LErrorSharingViolation) << c.name;
        }
    }
}

TEST_F(FilesTest, RetryWaitsForTheHolderToLetGo) {
    std::u16string p = Path("busy.log");
    auto held = std::make_unique<LFileHandle>(
        LCreateFileRetry(p.c_str(), LFileAccessReadWrite, LFileShareNone, LFileCreateAlways, 0));
    ASSERT_TRUE(held->IsValid());
    ASSERT_TRUE(held->Write("kept", 4));
    // A truncating open that meets the holder must neither succeed nor cut
    // the file.
    LFileHandle early = LCreateFileRetry(p.c_str(), LFileAccessWrite, LFileShareNone, LFileCreateAlways, 20);
    EXPECT_FALSE(early.IsValid());
    EXPECT_EQ(LPlatformLastError(), LErrorSharingViolation);
    EXPECT_EQ(Read(p), "kept");

    std::atomic<bool> opened{false};
    std::thread waiter([&] {
        LFileHandle f = LCreateFileRetry(p.c_str(), LFileAccessRead, LFileShareRead, LFileOpenExisting, 5000);
        opened = f.IsValid();
    });
    LPlatformSleepMs(60);
    held.reset();
    waiter.join();
    EXPECT_TRUE(opened.load());
}

TEST_F(FilesTest, OtherErrorsEndAtOnce) {
    LFileHandle f = LCreateFileRetry(Path("missing/x").c_str(), LFileAccessRead, LFileShareRead, LFileOpenExisting,
                                     60000);
    EXPECT_FALSE(f.IsValid());
    EXPECT_EQ(LPlatformLastError(), LErrorFileNotFound);
    LFileHandle folder = LCreateFileRetry(Path("").c_str(), LFileAccessRead, LFileShareRead, LFileOpenExisting, 0);
    EXPECT_FALSE(folder.IsValid());
    EXPECT_EQ(LPlatformLastError(), LErrorAccessDenied);
    ASSERT_TRUE(LWriteWholeFile(Path("x").c_str(), "", 0));
    LFileHandle exists = LCreateFileRetry(Path("x").c_str(), LFileAccessWrite, LFileShareNone, LFileCreateNew, 0);
    EXPECT_FALSE(exists.IsValid());
    EXPECT_EQ(LPlatformLastError(), LErrorAlreadyExists);
}

TEST_F(FilesTest, WholeFilesAndProbes) {
    std::u16string p = Path("whole.bin");
    ASSERT_TRUE(LWriteWholeFile(p.c_str(), "hello", 5));
    ASSERT_TRUE(LWriteWholeFile(p.c_str(), "hi", 2));  // truncates
    ASSERT_TRUE(LAppendToFile(p.c_str(), "!!", 2));
    EXPECT_EQ(Read(p), "hi!!");
    EXPECT_EQ(LGetFileSize(p.c_str()), 4u);
    EXPECT_GT(LGetFileWriteTime(p.c_str()), 0);
    EXPECT_EQ(LGetFileSize(Path("none").c_str()), 0u);
    EXPECT_EQ(LGetFileWriteTime(Path("none").c_str()), 0);
    struct stat st;
    ASSERT_EQ(stat(LToUtf8(p.c_str()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);

    std::u16string wide = Path("wide.txt");
    const char16_t units[] = u"A\u00e9\U0001F600";
    ASSERT_TRUE(LWriteWholeFile(wide.c_str(), units, 8 + 1));  // an odd last byte is not a unit
    LString s;
    ASSERT_TRUE(LReadFileUtf16(wide.c_str(), s));
    EXPECT_EQ(std::u16string(s.c_str()), u"A\u00e9\U0001F600");
    EXPECT_FALSE(LReadFileUtf16(Path("none").c_str(), s));
}

TEST_F(FilesTest, CopyMoveAndDelete) {
    std::u16string a = Path("a.txt"), b = Path("b.txt"), c = Path("c.txt");
    ASSERT_TRUE(LWriteWholeFile(a.c_str(), "one", 3));
    ASSERT_TRUE(LWriteWholeFile(b.c_str(), "something longer", 16));
    EXPECT_TRUE(LCopyFileRetry(a.c_str(), b.c_str(), 100));
    EXPECT_EQ(Read(b), "one");
    EXPECT_TRUE(LMoveFileRetry(b.c_str(), c.c_str()));
    EXPECT_EQ(Read(c), "one");
    EXPECT_FALSE(std::filesystem::exists(LToUtf8(b.c_str())));
    EXPECT_TRUE(LMoveFileRetry(a.c_str(), c.c_str()));  // replaces
    EXPECT_TRUE(LDeleteFileRetry(c.c_str(), 100));
    EXPECT_FALSE(LDeleteFileRetry(c.c_str(), 5000));
    EXPECT_EQ(LPlatformLastError(), LErrorFileNotFound);
    EXPECT_FALSE(LCopyFileRetry(a.c_str(), b.c_str(), 100));
}

TEST_F(FilesTest, FolderProbesAndTemporaryNames) {
    char16_t folder[260];
    LCopyField(folder, Path("").c_str());
    EXPECT_TRUE(LIsFolderWritable(folder));
    EXPECT_FALSE(LIsFolderWritable(Path("missing").c_str()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.Path()), {}), 0);  // probe deleted

    char16_t t1[260], t2[260];
    LMakeTempFileName(t1);
    LMakeTempFileName(t2);
    EXPECT_NE(std::u16string(t1), std::u16string(t2));
    EXPECT_EQ(LToUtf8(t1).rfind(root.Path() + "/tmp/", 0), 0u);
    EXPECT_TRUE(LToUtf8(t1).ends_with(".tmp"));

    char16_t d1[260], d2[260];
    ASSERT_TRUE(LCreateTempFolder(d1));
    ASSERT_TRUE(LCreateTempFolder(d2));
    EXPECT_NE(std::u16string(d1), std::u16string(d2));
    EXPECT_TRUE(std::filesystem::is_directory(LToUtf8(d2)));
    EXPECT_NE(LToUtf8(d1).find("/Porlinex-"), std::string::npos);
}

TEST_F(FilesTest, ReadLines) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"CR LF pairs", std::string("a\r\n\r\nb"), {"a", "", "b"}},
        {"LF CR is one end", std::string("a\n\rb\n"), {"a", "b"}},
        {"two CRs are two ends", std::string("a\r\rb"), {"a", "", "b"}},
        {"no end at the end", std::string("x"), {"x"}},
        {"empty file", std::string(""), {}},
    };
    std::u16string p = Path("lines.txt");
    for (const auto& c : cases) {
        ASSERT_TRUE(LWriteWholeFile(p.c_str(), c.bytes.data(), c.bytes.size()));
        LFileHandle f = LCreateFileRetry(p.c_str(), LFileAccessRead, LFileShareRead, LFileOpenExisting, 0);
        std::vector<std::string> got;
        LStringA line;
        while (LFileReadLineA(f, line)) got.push_back(line.Str());
        EXPECT_EQ(got, c.lines) << c.name;
    }
    ASSERT_TRUE(LWriteWholeFile(p.c_str(), "gr\xc3\xbc\xc3\x9f\r\n", 8));
    LFileHandle f = LCreateFileRetry(p.c_str(), LFileAccessRead, LFileShareRead, LFileOpenExisting, 0);
    LString w;
    EXPECT_TRUE(LFileReadLineW(f, w));
    EXPECT_EQ(std::u16string(w.c_str()), u"gr\u00fc\u00df");
    EXPECT_FALSE(LFileReadLineW(f, w));
    EXPECT_TRUE(w.IsEmpty());
}

TEST_F(FilesTest, WriteTextAndStrings) {
    std::u16string p = Path("text.txt");
    {
        LFileHandle f = LCreateFileRetry(p.c_str(), LFileAccessWrite, LFileShareNone, LFileCreateAlways, 0);
        EXPECT_TRUE(f.WriteTextUTF8(u"\u00e9t\u00e9 "));
        EXPECT_TRUE(LFileWriteStringA(f, LStringA(std::string_view("ok"))));
    }
    EXPECT_EQ(Read(p), "\xc3\xa9t\xc3\xa9 ok");
}

}  // namespace

namespace {

TEST(FilesQuery, SizeAndTimeNeedNoReadRight) {
    LTestRoot root;
    const std::string p = root.Path() + "/secret";
    std::ofstream(p) << "12345";
    chmod(p.c_str(), 0);
    EXPECT_EQ(LGetFileSize(LFromUtf8(p).c_str()), 5u);
    EXPECT_GT(LGetFileWriteTime(LFromUtf8(p).c_str()), 0);
}

}  // namespace
