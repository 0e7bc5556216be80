#include "mcp/jsonrpc.h"

#include <string_view>

#include "web/http/activity_log.h"
#include "web/http/weblet.h"

namespace {

constexpr size_t kLoggedPayloadBytes = 4096;
constexpr size_t kLoggedMethodBytes = 259;

constexpr const char* kInstructions =
    "Workflow: use list_accounts and list_mailboxes to discover local IDs, call downloadmessages_wait when you need "
    "the freshest local mirror, then use search_mail, advanced_search_mail, search_mail_address, "
    "explain_search_schema, mail_stats, list_recent_mail, list_recent_threads, list_mailbox_mail, get_thread, "
    "get_thread_compact, get_mail, get_mail_batch, get_mail_headers, get_mail_attachments, and save_attachment for "
    "read-only inspection. For bulk body retrieval, prefer list_recent_mail or list_mailbox_mail with "
    "include_body=true, which returns up to 100 email bodies per call and supports next_cursor pagination; use "
    "get_mail_batch when you already know several non-contiguous email IDs. list_recent_mail, list_mailbox_mail, "
    "get_thread, get_mail, and get_mail_batch accept body_format=text|html|both and max_body_chars to avoid "
    "returning representations or body characters the client does not need. Each selected body field defaults to "
    "at most 16384 characters; specify a larger max_body_chars value when the complete body is required. When the "
    "selected representation is missing, it is generated from the stored alternative. Use get_mail only for an "
    "isolated email selected from search or list results. list_rules is read-only and lets clients inspect the "
    "stored automatic filters. add_rule and delete_rule change local rule state; add_rule also requires the matching "
    "MCP move and/or send permissions for the requested action. draft_mail changes local state and requires MCP "
    "draft actions to be enabled on the MCP page. move_mail_mailbox and move_mail_trash change local state and "
    "require MCP move actions to be enabled there. send_mail, reply_mail, forward_mail, and redirect_mail require "
    "MCP send actions to be enabled there and share the MCP daily send limit.";

}  // namespace

bool LMcpIsValidJsonRpcId(const LMcpRequestBody& body) {
    return body.has_id && (body.id_kind == LJsonString || body.id_kind == LJsonNumber);
}

void LMcpWriteJsonRpcId(LJsonWriter& answer, const LMcpRequestBody& body) {
    LStringA& out = *answer.out_raw;
    if (answer.needComma) out.AppendBulk(",", 1);
    out.AppendBulk("\"id\":", 5);
    if (LMcpIsValidJsonRpcId(body))
        out.AppendBulk(body.id_text.c_str(), body.id_text.length);
    else
        out.AppendBulk("null", 4);
    out.Terminate();
    answer.needComma = 1;
}

void LMcpBeginAnswer(LJsonWriter& answer, const LMcpRequestBody& body) {
    answer.BeginObject();
    answer.StringUTF8("jsonrpc", "2.0");
    LMcpWriteJsonRpcId(answer, body);
}

void LMcpWriteJsonRpcError(Weblet& request, const LMcpRequestBody& body, int code, const char* message,
                           const char* method) {
    LStringA text;
    text.Reserve(260);
    LJsonWriter answer(text);
    LMcpBeginAnswer(answer, body);
    answer.BeginObjectNamed("error");
    answer.Int("code", code);
    answer.StringUTF8("message", message);
    answer.EndObject();
    answer.EndObject();
    LMcpLogPayload("response", method, text.c_str(), text.length);
    request.SendJson(text.c_str(), text.length);
}

void LMcpLogPayload(const char* kind, const char* method, const char* payload, size_t n) {
    // The method comes from the request: no control character may start a
    // line of its own in the log, and its length is bounded.
    LStringA shown;
    std::string_view m = method && *method ? method : "<unknown>";
    for (size_t i = 0; i < m.size() && i < kLoggedMethodBytes; ++i) {
        char c = m[i];
        shown.AppendChar(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
    }
    LStringA line;
    line.Format("%s method=%s payload=", kind, shown);
    if (n > kLoggedPayloadBytes) {
        line.AppendBulk(payload, kLoggedPayloadBytes);
        line.AppendFormat("...[truncated, %u of %u bytes logged]", static_cast<unsigned>(kLoggedPayloadBytes),
                          static_cast<unsigned>(n));
    } else {
        line.AppendBulk(payload, n);
    }
    line.Terminate();
    LActivityLogWrite(" MCP", line.c_str());
}

void LMcpInitialize(LJsonWriter& answer, const LJsonValue& request) {
    const LJsonValue& version = request.Member("params").Member("protocolVersion");
    const char* chosen = "2025-06-18";
    if (version.IsString() && (version.text.View() == "2025-03-26" || version.text.View() == "2024-11-05"))
        chosen = version.text.c_str();
    answer.BeginObjectNamed("result");
    answer.StringUTF8("protocolVersion", chosen);
    answer.BeginObjectNamed("capabilities");
    answer.BeginObjectNamed("tools");
    answer.Bool("listChanged", false);
    answer.EndObject();
    answer.EndObject();
    answer.BeginObjectNamed("serverInfo");
    answer.StringUTF8("name", "Porlinex");
    answer.StringUTF8("title", "Porlinex Local MCP");
    answer.StringUTF8("version", LMcpServerVersion);
    answer.EndObject();
    answer.StringUTF8("instructions", kInstructions);
    answer.EndObject();
}
