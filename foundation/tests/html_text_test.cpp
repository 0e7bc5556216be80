#include "foundation/html_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Render(const char16_t* html) {
    LString out;
    LHtmlToText(out, html);
    return std::u16string(out.View());
}

}  // namespace

TEST(HtmlToText, RendersTheListSample) {
    EXPECT_EQ(Render(u"<p>Hello&nbsp;<b>World</b></p><ul><li>One<li>Two</ul>"),
              u"Hello World\r\n\r\n    * One\r\n    * Two\r\n\r\n");
}

TEST(HtmlToText, TagsSpacesAndBreaks) {
    struct Case {
        const char16_t* html;
        const char16_t* want;
    } cases[] = {
        {u"a  b", u"a b"},
        {u"a\r\nb", u"ab"},
        {u"  lead", u"lead"},
        {u"a<br>b<BR/>c", u"a\r\nb\r\nc"},
        {u"<div>x</div><div>y</div>", u"x\r\ny\r\n"},
        {u"<H1 class=\"t\">Title</H1>Body", u"Title\r\nBody"},
        {u"<li>solo", u"* solo"},
        // Every ul tag flips the list flag, so a nested list reads as outside.
        {u"<ul><li>a<ul><li>b</ul></ul>", u"\r\n    * a\r\n\r\n* b\r\n\r\n\r\n"},
        {u"x<blockquote>y", u"xy"},
        {u"a > b", u"a b"},
        {u"<a href=\"x>y\">link</a>", u"y\"link"},  // a '>' in a quoted value ends the tag
        {u"<p\nclass=x>para</p>", u"para\r\n"},
        {u"<ul><li>one\r\ntwo</ul>", u"\r\n    * onetwo\r\n\r\n"},
        // A closing li ends the item's line; it makes no empty bullet.
        {u"<ul>\r\n<li>x</li>\r\n<li>y</li>\r\n</ul>", u"\r\n    * x\r\n    * y\r\n\r\n"},
        {u"<li>x</li>after", u"* x\r\nafter"},
        {u"<ul>loose text</ul>", u"\r\n      loose text\r\n\r\n"},
        {u"<unclosed", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(Render(c.html), std::u16string(c.want)) << LToUtf8(c.html);
}

TEST(HtmlToText, EntitiesAndCharacterReferences) {
    struct Case {
        const char16_t* html;
        const char16_t* want;
    } cases[] = {
        {u"&amp;lt;", u"&lt;"},
        {u"&ampx", u"&ampx"},
        {u"&#65;", u"A"},
        {u"&#65", u"A"},
        {u"&#x41;", u"&#x41;"},
        {u"&yuml;", u"\u00ff"},
        {u"&uml;", u"\u00a8"},
        {u"&Eacute;t&eacute;", u"\u00c9t\u00e9"},
        {u"&EACUTE;", u"&EACUTE;"},
        {u"&quot;&apos;&gt;", u"\"'>"},
        {u"&sup23", u"\u00b23"},
        {u"&notin;", u"&notin;"},
        {u"&#0;", u"&#0;"},
        {u"AT&T", u"AT&T"},
        {u"&", u"&"},
        // References above U+FFFF come out as a surrogate pair; beyond
        // Unicode or into the surrogate range, U+FFFD.
        {u"&#128512;", u"\U0001F600"},
        {u"&#1114111;", u"\U0010FFFF"},
        {u"&#1114112;", u"\ufffd"},
        {u"&#55357;", u"\ufffd"},
        {u"&#99999999999999999999;x", u"\ufffdx"},
    };
    for (const auto& c : cases) EXPECT_EQ(Render(c.html), std::u16string(c.want)) << LToUtf8(c.html);
}

TEST(HtmlToText, AppendsToWhatIsThere) {
    LString out(u"> ");
    LHtmlToText(out, u"<b>x</b>");
    EXPECT_EQ(std::u16string(out.View()), u"> x");
    LHtmlToText(out, nullptr);
    EXPECT_EQ(std::u16string(out.View()), u"> x");
}
