#pragma once
// One stored message as the members of a JSON object (route emailget):
// "errorcode" 0 and the object "email", or the error members.
#include "foundation/database.h"
#include "foundation/json_writer.h"

// db may be null (the database did not open): the message is not found.
void LEmailGetJson(LAppDatabaseAccount* db, const char16_t* email_id, LJsonWriter& json);
