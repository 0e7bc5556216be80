// The data file: checked whole before anything is written, rows unpacked
// byte for byte into their folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "setup/install_data.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

const LPackagedFile kTable[] = {
    {LPackagedTarget::InstallFolder, nullptr, "empty.dll"},
    {LPackagedTarget::InstallFolder, nullptr, "tool.bin"},
    {LPackagedTarget::DataSubfolder, "Web", "big.js"},
    {LPackagedTarget::DataSubfolder, "Web", "img/deep/pic.gif"},
    {LPackagedTarget::DataFolder, nullptr, "top.txt"},
};
constexpr int kRows = 5;

std::string Contents(int row) {
    switch (row) {
        case 1: return "tool bytes \xff\x80";
        case 2: {
            // Larger than one 16 KiB chunk and not a multiple of it.
            std::string s;
            for (int i = 0; i < 40000; ++i) s += static_cast<char>(i * 7 + 3);
            return s;
        }
        case 3: return "GIF89a";
        case 4: return "top";
        default: return "";
    }
}

std::string Le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

std::string BuildData() {
    std::string body, trailer;
    uint32_t sum = 0;
    for (int i = 0; i < kRows; ++i) {
        std::string c = Contents(i);
        for (unsigned char b : c) sum += b;
        body += c;
        trailer += Le32(static_cast<uint32_t>(c.size()));
    }
    return body + trailer + Le32(sum);
}

class InstallDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        targets_.install_folder = root_.Path() + "/opt/porlinex";
        targets_.data_folder = root_.Path() + "/data";
        fs::create_directories(targets_.install_folder);
        fs::create_directories(targets_.data_folder + "/Web");
    }
    int Unpack(const std::string& data) {
        std::string path = root_.Path() + "/setup.dat";
        std::ofstream(path, std::ios::binary) << data;
        return LUnpackInstallData(path, targets_, nullptr, kTable, kRows);
    }
    std::string Target(int row) const {
        const LPackagedFile& f = kTable[row];
        std::string folder = f.target == LPackagedTarget::InstallFolder ? targets_.install_folder
                             : f.target == LPackagedTarget::DataFolder   ? targets_.data_folder
                                                                         : targets_.data_folder + "/" + f.subfolder;
        return folder + "/" + f.name;
    }
    // Every file under the two folders.
    int FileCount() const {
        int n = 0;
        for (const std::string& top : {targets_.install_folder, targets_.data_folder})
            for (const auto& e : fs::recursive_directory_iterator(top)) n += e.is_regular_file();
        return n;
    }

    LTestRoot root_;
    LInstallTargets targets_;
};

TEST_F(InstallDataTest, UnpacksEveryRowByteForByte) {
    ASSERT_EQ(Unpack(BuildData()), LInstallStatusDone);
    EXPECT_FALSE(fs::exists(Target(0))) << "a row of size 0 makes no file";
    for (int i = 1; i < kRows; ++i) EXPECT_EQ(LTestReadFile(Target(i)), Contents(i)) << kTable[i].name;
    EXPECT_EQ(FileCount(), kRows - 1) << "no temporary file is left";
    // A second run replaces the files in place.
    ASSERT_EQ(Unpack(BuildData()), LInstallStatusDone);
    EXPECT_EQ(FileCount(), kRows - 1);
}

TEST_F(InstallDataTest, DamagedFilesWriteNothing) {
    const std::string good = BuildData();
    std::string flipped = good;
    flipped[20000] ^= 0x01;
    std::string bad_sum = good;
    bad_sum.back() ^= 0x40;
    const struct {
        const char* what;
        std::string data;
    } cases[] = {
        {"one changed content byte", flipped},
        {"a changed checksum", bad_sum},
        {"shorter than its sizes", good.substr(0, 1000) + good.substr(good.size() - 4 * (kRows + 1))},
        {"longer than its sizes", "x" + good},
        {"shorter than the trailer", good.substr(good.size() - 8)},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Unpack(c.data), LInstallStatusCorrupt) << c.what;
        EXPECT_EQ(FileCount(), 0) << c.what;
    }
}

TEST_F(InstallDataTest, MissingDataFile) {
    EXPECT_EQ(LUnpackInstallData("", targets_, nullptr, kTable, kRows), LInstallStatusNoData);
    EXPECT_EQ(LUnpackInstallData(root_.Path() + "/none.dat", targets_, nullptr, kTable, kRows), LInstallStatusNoData);
}

TEST_F(InstallDataTest, AllRowsEmptyStillNeedsTrailer) {
    std::string zero(4 * (kRows + 1), '\0');
    EXPECT_EQ(Unpack(zero), LInstallStatusDone);
    EXPECT_EQ(FileCount(), 0);
}

TEST_F(InstallDataTest, NeverWritesThroughALink) {
    // A link planted where a subfolder belongs must not carry a write out
    // of the data folder.
    std::string outside = root_.Path() + "/outside";
    fs::create_directories(outside);
    fs::create_symlink(outside, targets_.data_folder + "/Web/img");
    EXPECT_EQ(Unpack(BuildData()), LInstallStatusWriteFailed);
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_FALSE(fs::exists(Target(1))) << "nothing is renamed into place after a failure";
}

// A stop requested from the start: the work ends between rows.
class StopAtOnce : public LTaskProgress {
public:
    bool IsStopRequested() override { return true; }
    uint32_t WaitStop(uint32_t) override { return 0; }
    uint32_t WaitHandle(LHandle, uint32_t) override { return 0; }
    uint32_t WaitHandles(LHandleList&, uint32_t) override { return 0; }
};

TEST_F(InstallDataTest, StopLeavesNothingHalfWritten) {
    std::string path = root_.Path() + "/setup.dat";
    std::ofstream(path, std::ios::binary) << BuildData();
    StopAtOnce stop;
    EXPECT_EQ(LUnpackInstallData(path, targets_, &stop, kTable, kRows), LInstallStatusRunning);
    EXPECT_EQ(FileCount(), 0);
}

}  // namespace
