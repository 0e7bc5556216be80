// Unpacking .zip components: archives made by Python's zipfile, unpacked
// into a fresh folder; hostile archives are refused and leave nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "setup/zip_extract.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

// Arguments: an archive path, then its entries, then "--" and the next
// archive. An entry is "name=content" for a file, "name/" for a folder,
// "name->target" for a symbolic link, "name~" for a character device.
const char* kMakeZips = R"(
import sys, zipfile
groups = [[]]
for arg in sys.argv[1:]:
    if arg == '--': groups.append([])
    else: groups[-1].append(arg)
for group in groups:
  with zipfile.ZipFile(group[0], 'w') as z:
    for spec in group[1:]:
        if '->' in spec:
            name, target = spec.split('->', 1)
            info = zipfile.ZipInfo(name); info.create_system = 3
            info.external_attr = 0o120777 << 16
            z.writestr(info, target)
        elif spec.endswith('~'):
            info = zipfile.ZipInfo(spec[:-1]); info.create_system = 3
            info.external_attr = 0o020644 << 16
            z.writestr(info, '')
        elif spec.endswith('/'):
            z.writestr(zipfile.ZipInfo(spec), '')
        else:
            name, content = spec.split('=', 1)
            z.writestr(name, content)
)";

struct ZipSpec {
    std::string path;
    std::vector<std::string> entries;
};

// One Python run for all archives: its start-up is the slow part.
void MakeZips(const std::vector<ZipSpec>& zips) {
    std::vector<std::string> argv{"python3", "-c", kMakeZips};
    for (const ZipSpec& zip : zips) {
        if (argv.size() > 3) argv.push_back("--");
        argv.push_back(zip.path);
        argv.insert(argv.end(), zip.entries.begin(), zip.entries.end());
    }
    LTestProcess python(argv);
    ASSERT_EQ(python.Wait(60000), 0);
}

std::string MakeZip(const std::string& path, const std::vector<std::string>& entries) {
    MakeZips({{path, entries}});
    return path;
}

bool Extract(const std::string& archive, const std::string& dest, const LZipLimits& limits = {}) {
    return LExtractZipArchive(LFromUtf8(archive).c_str(), LFromUtf8(dest).c_str(), limits);
}

// Every name below a folder, relative, sorted.
std::vector<std::string> Tree(const std::string& folder) {
    std::vector<std::string> names;
    for (auto& e : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(e.path(), folder).string() + (e.is_directory() ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

struct Fixture {
    LTestRoot root;
    std::string shared = root.Path() + "/Shared";
    Fixture() { fs::create_directories(shared); }
};

TEST(ZipExtract, ArchiveBecomesFolderWithWholeTree) {
    Fixture f;
    std::string zip = MakeZip(f.root.Path() + "/zlib1x64.zip",
                              {"bin/zlib1.so=library", ".hidden=h", "docs/", "docs/.cfg/x=y", "empty/"});
    ASSERT_TRUE(Extract(zip, f.shared));
    std::string out = f.shared + "/zlib1x64";
    EXPECT_EQ(Tree(out), (std::vector<std::string>{".hidden", "bin/", "bin/zlib1.so", "docs/", "docs/.cfg/",
                                                   "docs/.cfg/x", "empty/"}));
    EXPECT_EQ(LTestReadFile(out + "/bin/zlib1.so"), "library");
    EXPECT_EQ(LTestReadFile(out + "/docs/.cfg/x"), "y");
    EXPECT_EQ(Tree(f.shared), (std::vector<std::string>{"zlib1x64/", "zlib1x64/.hidden", "zlib1x64/bin/",
                                                        "zlib1x64/bin/zlib1.so", "zlib1x64/docs/",
                                                        "zlib1x64/docs/.cfg/", "zlib1x64/docs/.cfg/x",
                                                        "zlib1x64/empty/"}))
        << "nothing but the new folder is left in the destination";

    // Unpacking again replaces the folder: a stale file does not survive.
    std::ofstream(out + "/stale") << "old";
    ASSERT_TRUE(Extract(zip, f.shared));
    EXPECT_FALSE(fs::exists(out + "/stale"));
}

TEST(ZipExtract, EmptyArchiveAndBadArguments) {
    Fixture f;
    std::string zip = MakeZip(f.root.Path() + "/nothing.zip", {});
    ASSERT_TRUE(Extract(zip, f.shared));
    EXPECT_TRUE(fs::is_directory(f.shared + "/nothing"));
    EXPECT_TRUE(fs::is_empty(f.shared + "/nothing"));

    EXPECT_FALSE(Extract(zip, ""));
    EXPECT_FALSE(Extract(f.root.Path() + "/missing.zip", f.shared));
    std::ofstream(f.root.Path() + "/junk.zip") << "not an archive";
    EXPECT_FALSE(Extract(f.root.Path() + "/junk.zip", f.shared));
    EXPECT_FALSE(Extract(zip, f.root.Path() + "/no-such-folder"));
    EXPECT_EQ(Tree(f.shared), (std::vector<std::string>{"nothing/"}));
}

TEST(ZipExtract, HostileArchivesAreRefusedAndLeaveNothing) {
    struct Case {
        const char* what;
        std::vector<std::string> entries;
        LZipLimits limits;
    };
    LZipLimits fewEntries, fewBytes, shallow;
    fewEntries.maxEntries = 2;
    fewBytes.maxTotalBytes = 10;
    shallow.maxDepth = 3;
    const std::vector<Case> cases = {
        {"parent entry", {"ok=1", "../evil=x"}, {}},
        {"parent inside a path", {"a/b/../../../evil=x"}, {}},
        {"absolute path", {"/tmp/evil=x"}, {}},
        {"link out of the folder", {"ok=1", "link->/etc"}, {}},
        {"harmless-looking link", {"link->ok"}, {}},
        {"device file", {"dev~"}, {}},
        {"too many entries", {"a=1", "b=2", "c=3"}, fewEntries},
        {"too many bytes", {"a=123456", "b=123456"}, fewBytes},
        {"too deep", {"a/b/c/d/e=1"}, shallow},
    };
    LTestRoot root;
    std::vector<ZipSpec> zips;
    for (size_t i = 0; i < cases.size(); ++i)
        zips.push_back({root.Path() + "/" + std::to_string(i) + "/comp.zip", cases[i].entries});
    for (const ZipSpec& zip : zips) fs::create_directories(fs::path(zip.path).parent_path() / "deep/Shared/comp");
    MakeZips(zips);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        std::string base = root.Path() + "/" + std::to_string(i), shared = base + "/deep/Shared";
        // A working copy from before must survive a refused archive.
        std::ofstream(shared + "/comp/keep") << "keep";
        EXPECT_FALSE(Extract(zips[i].path, shared, cases[i].limits));
        EXPECT_EQ(Tree(base + "/deep"), (std::vector<std::string>{"Shared/", "Shared/comp/", "Shared/comp/keep"}));
        EXPECT_FALSE(fs::exists(base + "/evil"));
    }
}

}  // namespace
