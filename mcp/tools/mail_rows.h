#pragma once
// Reading stored messages: the shared row writer of the reading, thread and
// listing tools, and the attachment store.
#include <string>

#include "foundation/database.h"
#include "foundation/json_writer.h"
#include "mcp/tools/tool_framework.h"
#include "platform/nofollow_path.h"

// The columns of a message row, in this order.
constexpr const char16_t* LMcpMailRowColumns =
    u"ID, ACCOUNT_ID, MAILBOX_ID, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, REPLY_TO_TEXT, SENT_UTC, RECEIVED_UTC, FLAGS, "
    u"BODY_TEXT, BODY_HTML";

// The members of one message row (the caller opens and closes its object).
void LMcpWriteMailRow(LJsonWriter& answer, LAppDatabaseCursor& cursor, const LMcpBodyOptions& options);

// The folder of the cached attachment files.
std::string LMcpAttachmentStoreFolder();
// Opens a stored attachment's file for reading: only a regular file inside
// the attachment store, reached without following a link, counts.
bool LMcpOpenStoredAttachment(const std::string& storage_path, LPlatformFd* file);
