// Weak: the module of these tools defines each strongly and wins at link
// time; until it is linked a call answers that the tool is not available.
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"

#define L_STAND_IN __attribute__((weak))

namespace {

void NotAvailable(LMcpAnswer& answer, const char16_t* tool) {
    LMcpWriteToolErrorF(answer, u"%s is not available in this Porlinex build yet.", tool);
}

}  // namespace

L_STAND_IN void LMcpToolListRules(LMcpAnswer& a, LAppDatabaseAccount&, const LMcpArgs&) {
    NotAvailable(a, u"list_rules");
}
L_STAND_IN void LMcpToolAddRule(LMcpAnswer& a, LAppDatabaseAccount&, const LMcpArgs&) {
    NotAvailable(a, u"add_rule");
}
L_STAND_IN void LMcpToolDeleteRule(LMcpAnswer& a, LAppDatabaseAccount&, const LMcpArgs&) {
    NotAvailable(a, u"delete_rule");
}
L_STAND_IN void LMcpToolDraftMail(LMcpAnswer& a, LAppDatabaseAccount&, const LMcpArgs&) {
    NotAvailable(a, u"draft_mail");
}
L_STAND_IN void LMcpToolSendMail(LMcpAnswer& a, LAppDatabaseAccount&, const LMcpArgs&) {
    NotAvailable(a, u"send_mail");
}
L_STAND_IN void LMcpToolMailAction(LMcpAnswer& a, LAppDatabaseAccount&, const LMcpArgs&, const char16_t* tool,
                                   const char16_t*, bool) {
    NotAvailable(a, tool);
}
