#pragma once
// The MCP settings: APPSETTINGS items of the section "MCP". Reads and writes
// here report failure, so that a secret that could not be read or stored
// refuses access instead of acting as "none stored".
#include "foundation/database.h"
#include "foundation/lstring.h"

// The value of an item; empty for an absent row or a NULL value (*present
// tells them from an empty value). False when the database could not answer.
bool LMcpSettingRead(LAppDatabaseAccount& db, const char16_t* item, LString& value, bool* present = nullptr);
// True only when the stored value reads as the integer 1; `def` for an
// absent row or NULL. A failed read gives `def` too, with *ok cleared.
bool LMcpSettingBool(LAppDatabaseAccount& db, const char16_t* item, bool def, bool* ok = nullptr);
// Stores a value, or NULL when value is null (the item counts as absent).
bool LMcpSettingWrite(LAppDatabaseAccount& db, const char16_t* item, const char16_t* value);

// The send limit in force: SendDailyLimit, or 10 when it is absent or below 1.
int LMcpSendDailyLimit(LAppDatabaseAccount& db);
