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

}  // namespace

void LMcpWriteToolResult(LJsonWriter& answer, const LString& summary, const LStringA& structured) {
    LStringA text;
    text.Reserve(summary.length * 3 + structured.length + 2);
    LStringAAppendWide(text, summary.c_str(), summary.length);
    text.AppendChar('\n');
    text.AppendBulk(structured.c_str(), structured.length);
    text.Terminate();
    WriteTextContent(answer, text);
}

void LMcpWriteToolError(LJsonWriter& answer, const char16_t* message) {
    LStringA text;
    LStringAAppendWide(text, message);
    WriteTextContent(answer, text);
    answer.Bool("isError", true);
}
