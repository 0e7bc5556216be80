#pragma once
// The delivery of a message this program queued, as the tools report it:
// a client that sent mail learns later whether it went out, and why not.
#include "foundation/database.h"
#include "foundation/json_writer.h"
#include "foundation/lstring.h"

// Writes the object "delivery" (state, tries, next try, last error) when
// the message has a queue line; false when it has none. failure receives
// the reason when the message was refused for good or its account is
// paused, else stays as it was.
bool LMcpWriteDelivery(LJsonWriter& json, LAppDatabaseAccount& db, const char16_t* email_id, LString& failure);
