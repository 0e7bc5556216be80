#include "host/tests/mcp_service_session.h"

#include <gtest/gtest.h>

#include "foundation/database.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "mcp/mcp_auth.h"

void LStartMcpServiceSession(LMcpServiceSession& out) {
    out.service = std::make_unique<LTestService>();
    ASSERT_TRUE(out.service->WaitWebListening());
    char16_t text[260];
    LRegSettingsGet(u"WebServer", u"Port", u"", text);
    out.port = LToUtf8(text);
    LAppDatabaseAccount db(false);
    ASSERT_TRUE(db.Exec(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', 'Enabled', '1', '');"));
    ASSERT_TRUE(LMcpEnsureStdioToken(db));
    char16_t id[19];
    LAppDatabaseAccount::CreateSessionID(db, id);
    ASSERT_TRUE(db.ExecF(u"INSERT INTO main.SESSION_DATA VALUES ('%s', 'local', 'main', '2099-01-01');", id));
    out.session = LToUtf8(id);
}
