#include "foundation/xml_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace {

std::u16string Text(const LXmlNode* n) {
    char16_t out[260];
    n->GetText(out);
    return out;
}

std::u16string Error(const char16_t* xml, LXmlNode* doc = nullptr) {
    LXmlNode local;
    char16_t error[260];
    (doc ? doc : &local)->LoadText(xml, error);
    return error;
}

TEST(XmlReader, ReadsTheWindowsMailAccountFile) {
    LXmlNode doc;
    char16_t error[260];
    std::u16string path =
        LFromUtf8(PORLINEX_SOURCE_DIR "/foundation/tests/testdata/windows-mail-account.oeaccount").View().data();
    doc.LoadFile(path.c_str(), error);
    EXPECT_EQ(std::u16string(error), u"");
    LXmlNode* decl = doc.FindChild(u"?xml");
    ASSERT_NE(decl, nullptr);
    ASSERT_NE(decl->attributes.Find(u"encoding"), nullptr);
    // The declaration's closing question mark is not part of the value.
    EXPECT_EQ(decl->attributes.Find(u"encoding")->View(), u"UTF-16");
    LXmlNode* account = doc.FindMessageAccount();
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(Text(account->FindChild(u"SMTP_Server")), u"smtp.example.com");
    EXPECT_EQ(Text(account->FindChild(u"SMTP_Display_Name")), u"Ann & Bob");
    EXPECT_EQ(account->FindChild(u"SMTP_Port")->attributes.Find(u"type")->View(), u"DWORD");
    EXPECT_EQ(account->FindChild(u"smtp_server"), nullptr);
    // The white space between two elements is a text node, kept exactly
    // (line ends read as LF).
    ASSERT_NE(account->firstChild, nullptr);
    EXPECT_EQ(std::u16string(account->firstChild->text), u"\n\t");
}

TEST(XmlReader, EntitiesAndSpecialNodes) {
    LXmlNode doc;
    EXPECT_EQ(Error(u"<r a=\"&#x41;&#65;&bogus;\">&lt;&gt;&quot;&apos;&amp;&#0;&#x4a;</r>", &doc), u"");
    LXmlNode* r = doc.FindChild(u"r");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->attributes.Find(u"a")->View(), u"AA&");
    EXPECT_EQ(Text(r), u"<>\"'&J");

    EXPECT_EQ(Error(u"<!-- a -- comment --><!DOCTYPE x [<!ENTITY e \"v\">]><![CDATA[<raw> & ]]><e/>", &doc), u"");
    LXmlNode* comment = doc.FindChild(u"!--");
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(Text(comment), u" a -- comment ");
    EXPECT_EQ(Text(doc.FindChild(u"!DOCTYPE")), u" x [<!ENTITY e \"v\">]");
    EXPECT_EQ(Text(doc.FindChild(u"![CDATA[")), u"<raw> & ");

    EXPECT_EQ(Error(u"<a x=\"1\" xml:space=\"preserve\" y='say \"hi\"' x=\"2\"/>", &doc), u"");
    LXmlNode* a = doc.FindChild(u"a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->firstChild, nullptr);
    EXPECT_EQ(a->attributes.Find(u"xml:space"), nullptr);
    EXPECT_EQ(a->attributes.Find(u"x")->View(), u"2");
    EXPECT_EQ(a->attributes.Find(u"y")->View(), u"say \"hi\"");
}

TEST(XmlReader, ErrorTexts) {
    struct {
        const char16_t* xml;
        const char16_t* want;
    } cases[] = {
        {u"<a>\r\n<b>\r\n</c>", u"Ln 3, Col 5: Element <b> should be terminated with </b>, was with c. Check you have "
                               u"terminated your element properly."},
        {u"<a>x & y</a>", u"Ln 1, Col 7: Strings starting with an ampersand (&) must end with a semicolon (;). "
                          u"Either replace the '&' with '&amp;' or add a ';' at the end of the control string."},
        {u"<a>\n<b>text", u"Ln 2, Col 8: (EOF) Element <b> should be terminated with </b>. Check you have "
                          u"terminated your element properly."},
        {u"<a>< b</a>", u"Ln 1, Col 6: Misplaced < without name. Use &lt; instead of < if appropriate."},
        {u"x</b>", u"Ln 1, Col 6: Misplaced </b> which does not match a <b>."},
        {u"<a x=\"1\"", u"Ln 1, Col 9: Tag <a> does not have a closing '>'"},
        {u"<!-- open", u"Ln 1, Col 10: (EOF) Element <!--> should be terminated with </!-->. Check you have "
                       u"terminated your element properly."},
        {u"<a>ok</a>\n<b/>", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(Error(c.xml), c.want) << LToUtf8(c.xml);

    // Only the first error is kept, and the tree built before it stays.
    LXmlNode doc;
    EXPECT_EQ(Error(u"<ok/><a></b></c>", &doc).substr(0, 12), u"Ln 1, Col 13");
    EXPECT_NE(doc.FindChild(u"ok"), nullptr);
}

TEST(XmlReader, FilesThatCannotBeRead) {
    LTestRoot root;
    LXmlNode doc;
    char16_t error[260];
    std::u16string missing = LFromUtf8(root.Path() + "/none.xml").View().data();
    doc.LoadFile(missing.c_str(), error);
    EXPECT_EQ(std::u16string(error), u"File does not exist: " + missing);
    EXPECT_EQ(doc.firstChild, nullptr);
}

}  // namespace

// 100,000 nested elements end with an error instead of a stack overflow;
// a deep but allowed tree and a long sibling list read whole.
TEST(XmlReader, DeepNestingEndsWithAnErrorAndLongListsReadWhole) {
    std::u16string deep;
    for (int i = 0; i < 100000; ++i) deep += u"<a>";
    std::u16string error = Error(deep.c_str());
    EXPECT_NE(error.find(u"Elements are nested too deeply."), std::u16string::npos) << LToUtf8(error.c_str());

    std::u16string allowed;
    for (int i = 0; i < LXmlMaxDepth; ++i) allowed += u"<a>";
    for (int i = 0; i < LXmlMaxDepth; ++i) allowed += u"</a>";
    LXmlNode doc;
    EXPECT_EQ(Error(allowed.c_str(), &doc), u"");
    int levels = 0;
    for (const LXmlNode* n = doc.FindChild(u"a"); n; n = n->FindChild(u"a")) ++levels;
    EXPECT_EQ(levels, LXmlMaxDepth);

    std::u16string many = u"<list>";
    for (int i = 0; i < 100000; ++i) many += u"<i/>\n";
    many += u"</list>";
    LXmlNode list;
    EXPECT_EQ(Error(many.c_str(), &list), u"");
    int children = 0;
    for (const LXmlNode* c = list.FindChild(u"list")->firstChild; c; c = c->next) ++children;
    EXPECT_EQ(children, 200000);  // each element and its line break
}
