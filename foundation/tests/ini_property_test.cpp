#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/files.h"
#include "foundation/ini_file.h"
#include "foundation/property_list.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace {

LIniEntry Entry(const char16_t* n, const char16_t* v) {
    LIniEntry e;
    e.name.Append(n);
    e.value.Append(v);
    return e;
}

TEST(IniFile, SavesSectionsAsUtf8Lines) {
    LTestRoot root;
    const std::string path = root.Path() + "/settings.ini";
    LIniDocument doc;
    LCopyField(doc.path, LFromUtf8(path).c_str());
    LIniSection general;
    general.name.Append(u"General");
    general.entries.push_back(Entry(u"Name", u"K\u00f6ln"));
    general.entries.push_back(Entry(u"Empty", u""));
    doc.sections.push_back(std::move(general));
    LIniSection other;
    other.name.Append(u"Other");
    other.entries.push_back(Entry(u"Long", std::u16string(600, u'v').c_str()));
    doc.sections.push_back(std::move(other));
    doc.dirty = true;

    // A longer old file is ended where the new text stops.
    ASSERT_TRUE(LWriteWholeFile(doc.path, std::string(2000, '#').data(), 2000));
    ASSERT_TRUE(LIniFile::Save(doc));
    // Long entries are written whole.
    const std::string expected = "[General]\r\nName=K\xc3\xb6ln\r\nEmpty=\r\n\r\n[Other]\r\nLong=" +
                                 std::string(600, 'v') + "\r\n\r\n";
    EXPECT_EQ(LTestReadFile(path), expected);
    EXPECT_FALSE(doc.dirty);
    EXPECT_EQ(doc.size, expected.size());
    EXPECT_GT(doc.write_time, 0);
}

TEST(IniFile, UnopenableFileLeavesTheDocumentAsItWas) {
    LTestRoot root;
    LIniDocument doc;
    LCopyField(doc.path, LFromUtf8(root.Path() + "/missing/settings.ini").c_str());
    doc.dirty = true;
    EXPECT_FALSE(LIniFile::Save(doc));
    EXPECT_TRUE(doc.dirty);
    EXPECT_EQ(doc.size, 0u);
}

class RecordingOwner : public LPropertyListOwner {
public:
    explicit RecordingOwner(int* saves, int* deletes) : saves_(saves), deletes_(deletes) {}
    ~RecordingOwner() override { ++*deletes_; }
    void Save(LPropertyList&) override { ++*saves_; }

private:
    int* saves_;
    int* deletes_;
};

std::u16string Get(const LPropertyList& list, const char16_t* name) {
    char16_t out[260];
    list.GetValue(name, out);
    return out;
}

TEST(PropertyList, SetAndGetValues) {
    LPropertyList list;
    list.SetValue(u"Password", u"abc");
    EXPECT_TRUE(list.dirty);
    EXPECT_EQ(Get(list, u"Password"), u"abc");
    EXPECT_EQ(Get(list, u"password"), u"");  // names compare exactly
    list.dirty = false;
    list.first->changed = false;
    list.SetValue(u"Password", u"abc");  // same value: nothing changes
    EXPECT_FALSE(list.dirty);
    EXPECT_FALSE(list.first->changed);
    list.SetValue(u"Password", u"xyz");
    EXPECT_TRUE(list.dirty);
    EXPECT_TRUE(list.first->changed);

    // An unset node is not readable, and setting its old value sets it again.
    list.first->unset = true;
    list.dirty = false;
    EXPECT_EQ(Get(list, u"Password"), u"");
    list.SetValue(u"Password", u"xyz");
    EXPECT_TRUE(list.dirty);
    EXPECT_EQ(Get(list, u"Password"), u"xyz");

    std::u16string long_name(100, u'n');
    list.SetValue(long_name.c_str(), std::u16string(300, u'v').c_str());
    EXPECT_EQ(Get(list, long_name.substr(0, 63).c_str()).size(), 259u);
    EXPECT_EQ(list.first->next->next, nullptr);  // appended at the end
}

TEST(PropertyList, SectionNodesAreNotValues) {
    LPropertyList list;
    list.SetValue(u"Settings", u"x");
    list.first->section = true;
    EXPECT_EQ(Get(list, u"Settings"), u"");
    list.SetValue(u"Settings", u"y");  // a value of the same name is a new node
    EXPECT_EQ(Get(list, u"Settings"), u"y");
    EXPECT_TRUE(list.first->section);
}

TEST(PropertyList, LogonFailures) {
    LPropertyList list;
    EXPECT_EQ(list.GetLogonFailures(), 0);
    list.SetLogonFailures(3);
    EXPECT_EQ(Get(list, u"LogonFailures"), u"3");
    EXPECT_EQ(list.GetLogonFailures(), 3);
    list.SetValue(u"LogonFailures", u"");
    EXPECT_EQ(list.GetLogonFailures(), 0);
}

TEST(PropertyList, ReleaseSavesChangesThroughTheOwner) {
    int saves = 0, deletes = 0;
    {
        LPropertyList list;
        LCopyField(list.name1, u"alice");
        list.SetOwner(new RecordingOwner(&saves, &deletes));
        list.Release();  // clean: not saved
        EXPECT_EQ(saves, 0);
        EXPECT_EQ(deletes, 1);
        EXPECT_EQ(std::u16string(list.name1), u"alice");

        list.SetOwner(new RecordingOwner(&saves, &deletes));
        list.SetValue(u"Password", u"p");
        list.Reset();
        EXPECT_EQ(saves, 1);
        EXPECT_EQ(deletes, 2);
        EXPECT_EQ(list.first, nullptr);
        EXPECT_EQ(list.name1[0], 0);
        EXPECT_FALSE(list.dirty);

        list.SetOwner(new RecordingOwner(&saves, &deletes));
        list.SetValue(u"Password", u"q");
    }  // going away releases it, saving the change
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(deletes, 3);
}

}  // namespace
