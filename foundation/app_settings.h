#pragma once
// The APPSETTINGS store: items of the section "MCP" with a value and the
// UTC time of their last write. A row whose value is NULL counts as absent.
#include "foundation/database.h"

bool LDbAppSettingsGet(LAppDatabaseAccount& db, const char16_t* item, LAppDatabaseCursor& cursor);
void LDbAppSettingsGetString(LAppDatabaseAccount& db, const char16_t* item, char16_t out[260]);
bool LDbAppSettingsGetBool(LAppDatabaseAccount& db, const char16_t* item, bool def);
int LDbAppSettingsGetSendDailyLimit(LAppDatabaseAccount& db);
void LDbAppSettingsSetNoDefault(LAppDatabaseAccount& db, const char16_t* item, const char16_t* value);
void LDbAppSettingsDelete(LAppDatabaseAccount& db, const char16_t* item);

// Sections that the browser may not write: read-only and restricted ones
// (exact, case-sensitive names).
bool LDbAppSettingsIsReadOnlySection(const char16_t* section);
bool LDbAppSettingsIsRestrictedSection(const char16_t* section);

// The UTC time text "YYYY-MM-DD HH:MM:SS" of now.
void LDbAppSettingsNowText(char16_t out[260]);
