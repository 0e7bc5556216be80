#include <gtest/gtest.h>

#include <string>

#include "foundation/files_path.h"
#include "foundation/utf8.h"

namespace {

std::string U8(const char16_t* s) { return LToUtf8(s); }

TEST(FilesPath, PathCombine) {
    struct Case {
        const char16_t *folder, *name, *suffix;
        const char* expected;
    } cases[] = {
        {u"/data/", u"x", u"", "/data/x"},
        {u"/data", u"x", u"", "/data/x"},
        {u"", u"x", u"", "x"},
        {u"C:\\data\\", u"x", nullptr, "C:\\data\\x"},
        {u"/var/lib", u"main", u".db", "/var/lib/main.db"},
    };
    for (const auto& c : cases) {
        char16_t out[260];
        EXPECT_EQ(U8(LPathCombine(out, c.folder, c.name, c.suffix)), c.expected);
    }
    std::u16string long_folder(300, u'a');
    char16_t out[260];
    LPathCombine(out, long_folder.c_str(), u"name", u".txt");
    EXPECT_EQ(std::u16string(out).size(), 259u);
    EXPECT_EQ(out[258], u'/');  // the folder keeps room for the separator
}

TEST(FilesPath, ExtensionsAndStripping) {
    struct Case {
        const char16_t* path;
        const char* ext;
        const char* stripped;
        size_t dot;
    } cases[] = {
        {u"/a/b/report.tar.gz", ".gz", "/a/b/report.tar", 15},
        {u"/a.dir/file", "", "/a", 2},
        {u"noext", "", "noext", 0},
        {u".profile", ".profile", ".profile", 0},
    };
    for (const auto& c : cases) {
        char16_t out[260];
        LGetFileExtension(out, c.path);
        EXPECT_EQ(U8(out), c.ext) << U8(c.path);
        EXPECT_EQ(LFileNameStripExtension(out, c.path), c.dot) << U8(c.path);
        EXPECT_EQ(U8(out), c.stripped) << U8(c.path);
    }
}

TEST(FilesPath, CheckFileName) {
    struct Case {
        const char16_t* name;
        int code;
    } cases[] = {
        {u"report.pdf", 0}, {u"com10", 0},       {u"con.txt", 7}, {u"LPT1", 7},    {u"nul", 7},
        {u"name.", 3},      {u"name ", 3},       {u"a:b", 6},     {u"a/b", 6},     {u"a\\b", 6},
        {u"tab\there", 5},  {u"a\x01:b.", 3},    {u"com0", 0},    {u"console", 0}, {u"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(LCheckFileName(c.name), c.code) << U8(c.name);
    std::u16string long_name(260, u'a');
    EXPECT_EQ(LCheckFileName(long_name.c_str()), 2);
}

TEST(FilesPath, MakeValidFileName) {
    struct Case {
        const char16_t* name;
        const char* expected;
        bool ok;
    } cases[] = {
        {u"  what: now?.. ", "  what now", true},
        {u"a<b>c|d\"e*f", "abcdef", true},
        {u"...", "", false},
        {u"con", "", false},
        {u"prn.txt", "", false},
        {u"line\r\nbreak", "linebreak", true},
    };
    for (const auto& c : cases) {
        char16_t out[260];
        EXPECT_EQ(LMakeValidFileName(c.name, out), c.ok) << U8(c.name);
        EXPECT_EQ(U8(out), c.expected) << U8(c.name);
    }
}

TEST(FilesPath, IsValidPath) {
    struct Case {
        const char16_t* path;
        bool valid;
    } cases[] = {
        {u"/", true},          {u"/var/lib/x.db", true}, {u"relative/x", false}, {u"", false},
        {u"/var//lib", false}, {u"/var/con", false},     {u"/var/a:b", false},   {u"/var/lib/", false},
    };
    for (const auto& c : cases) EXPECT_EQ(LIsValidPath(c.path), c.valid) << U8(c.path);
    std::u16string long_path = u"/" + std::u16string(259, u'a');
    EXPECT_FALSE(LIsValidPath(long_path.c_str()));
}

TEST(FilesPath, MakeRelativePath) {
    struct Case {
        const char16_t *folder, *file;
        const char* expected;
        bool ok;
    } cases[] = {
        {u"/data/web/", u"/data/web/index.html", "index.html", true},
        {u"/data/web", u"/data/web/css/site.css", "css/site.css", true},
        {u"/data/web/a", u"/data/logs/x.txt", "../../logs/x.txt", true},
        {u"/", u"/etc/hosts", "etc/hosts", true},
        {u"relative", u"/etc/hosts", "", false},
    };
    for (const auto& c : cases) {
        char16_t out[260];
        EXPECT_EQ(LMakeRelativePath(out, c.folder, c.file), c.ok) << U8(c.file);
        EXPECT_EQ(U8(out), c.expected) << U8(c.file);
    }
}

TEST(FilesPath, MimeTypes) {
    struct Case {
        const char16_t* ext;
        const char* type;
    } cases[] = {
        {u".PDF", "application/pdf"}, {u".jpg", "image/jpg"},    {u".JPEG", "image/jpeg"},
        {u".midi", "audio/mid"},      {u".wav", "audio/vnd.wav"}, {u".html", "application/octet-stream"},
        {u"", "application/octet-stream"},
    };
    for (const auto& c : cases) EXPECT_EQ(U8(LGetMimeTypeFromExtension(c.ext)), c.type) << U8(c.ext);
}

}  // namespace
