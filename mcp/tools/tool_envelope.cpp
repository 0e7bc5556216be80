#include "foundation/utf8.h"
#include "mcp/tools/tool_framework.h"

namespace {

void WriteTextContent(LJsonWriter& answer, const LStringA& text) {
    answer.BeginArrayNamed("content");
    answer.BeginObject();
    answer.StringUTF8("type", "text");
    // Written with its length: the text is as long as the tool made it.
    answer.out_raw->AppendFormat(",\"text\":\"%J\"", text);
    answer.EndObject();
    answer.EndArray();
}

// A summary is one line ahead of the JSON: a decoded subject holding line
// breaks would otherwise let a sender write lines of their own above the
// real answer. Control characters and the Unicode line and paragraph
// separators become spaces.
void AppendOneLine(LStringA& text, const char16_t* s, size_t n) {
    LString line;
    line.Reserve(n);
    for (size_t i = 0; i < n; ++i) {
        char16_t c = s[i];
        bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
        line.AppendChar(control ? u' ' : c);
    }
    line.Terminate();
    LStringAAppendWide(text, line.c_str(), line.length);
}

}  // namespace

void LMcpWriteToolResult(LJsonWriter& answer, const LString& summary, const LStringA& structured) {
    LStringA text;
    text.Reserve(summary.length * 3 + structured.length + 2);
    AppendOneLine(text, summary.c_str(), summary.length);
    text.AppendChar('\n');
    text.AppendBulk(structured.c_str(), structured.length);
    text.Terminate();
    WriteTextContent(answer, text);
}

void LMcpWriteToolError(LJsonWriter& answer, const char16_t* message) {
    LStringA text;
    AppendOneLine(text, message, LTextLength(message));
    WriteTextContent(answer, text);
    answer.Bool("isError", true);
}
