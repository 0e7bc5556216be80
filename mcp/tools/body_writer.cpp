#include <cmath>

#include "foundation/format.h"
#include "foundation/html_text.h"
#include "mcp/tools/tool_framework.h"

bool LMcpGetBodyOptions(const LJsonValue& args, bool include_by_default, LMcpBodyOptions* out) {
    out->mode = include_by_default ? LMcpBodyBoth : LMcpBodyNone;
    out->max_body_chars = LMcpDefaultBodyChars;
    const LJsonValue& include = args.kind == LJsonObject ? args.Member("include_body") : LJsonValue::EmptyValue();
    if (include.kind == LJsonBool) out->mode = include.payload.b ? LMcpBodyBoth : LMcpBodyNone;
    const LJsonValue* format = args.kind == LJsonObject ? args.FindMember("body_format") : nullptr;
    if (format && format->IsString()) {
        std::string_view f = format->text.View();
        if (f == "text") {
            out->mode = LMcpBodyText;
        } else if (f == "html") {
            out->mode = LMcpBodyHtml;
        } else if (f == "both") {
            out->mode = LMcpBodyBoth;
        } else {
            return false;
        }
    } else if (format && format->kind != LJsonNull) {
        return false;
    }
    const LJsonValue* max = args.kind == LJsonObject ? args.FindMember("max_body_chars") : nullptr;
    if (!max || max->kind == LJsonNull) return true;
    if (!max->IsNumber()) return false;
    double d = max->subkind == LJsonInt64 ? static_cast<double>(max->payload.i) : std::trunc(max->payload.d);
    if (!(d >= 1 && d <= static_cast<double>(LMcpMaxBodyChars))) return false;
    out->max_body_chars = static_cast<int64_t>(d);
    return true;
}

bool LMcpWriteBodyField(LJsonWriter& answer, const char* name, const LString& text, const LMcpBodyOptions& options) {
    uint64_t units = 0, chars = 0;
    const uint64_t limit = static_cast<uint64_t>(options.max_body_chars);
    while (units < text.length && chars < limit) {
        char16_t c = text.buffer[units];
        units += (c >= 0xD800 && c <= 0xDFFF && units + 1 < text.length) ? 2 : 1;
        ++chars;
    }
    bool cut = units < text.length;
    LStringA utf8;
    utf8.SetUtf8FromWide(text.c_str(), static_cast<size_t>(units));
    if (answer.needComma) answer.out_raw->AppendBulk(",", 1);
    answer.out_raw->AppendFormat("\"%J\":\"%J\"", name, utf8);
    answer.needComma = 1;
    return cut;
}

void LMcpWriteBody(LJsonWriter& answer, const LString& text, const LString& html, const LMcpBodyOptions& options) {
    bool cut = false;
    if (options.mode == LMcpBodyText || options.mode == LMcpBodyBoth) {
        if (!text.IsEmpty()) {
            cut |= LMcpWriteBodyField(answer, "body_text", text, options);
        } else {
            LString generated;
            LHtmlToText(generated, html.c_str());
            cut |= LMcpWriteBodyField(answer, "body_text", generated, options);
            if (!html.IsEmpty()) answer.Bool("body_text_generated", true);
        }
    }
    if (options.mode == LMcpBodyHtml || options.mode == LMcpBodyBoth) {
        if (!html.IsEmpty()) {
            cut |= LMcpWriteBodyField(answer, "body_html", html, options);
        } else {
            LString generated;
            LAppendHtmlW(generated, text.c_str());
            cut |= LMcpWriteBodyField(answer, "body_html", generated, options);
            if (!text.IsEmpty()) answer.Bool("body_html_generated", true);
        }
    }
    if (cut) answer.Bool("body_truncated", true);
}

void LMcpWriteBodySchema(LJsonWriter& answer) {
    answer.BeginObjectNamed("body_format");
    answer.StringUTF8("type", "string");
    answer.BeginArrayNamed("enum");
    answer.StringUTF8(nullptr, "text");
    answer.StringUTF8(nullptr, "html");
    answer.StringUTF8(nullptr, "both");
    answer.EndArray();
    answer.StringUTF8("description",
                      "Optional body representation to return. Overrides include_body when supplied; a missing "
                      "selected representation is generated from the stored alternative.");
    answer.EndObject();
    answer.BeginObjectNamed("max_body_chars");
    answer.StringUTF8("type", "integer");
    answer.Int("minimum", 1);
    answer.Int("maximum", static_cast<int32_t>(LMcpMaxBodyChars));
    answer.Int("default", static_cast<int32_t>(LMcpDefaultBodyChars));
    answer.StringUTF8("description",
                      "Optional maximum characters returned for each selected body field. Defaults to 16384 "
                      "characters; specify a larger value when the complete body is required.");
    answer.EndObject();
}
