#pragma once
// Runs one search request (JSON text) against a store and parses the answer.
#include <string>

#include "foundation/database.h"
#include "foundation/json_value.h"

// The answer's JSON text; the parsed answer in `answer`.
std::string LTestEmailSearch(LAppDatabaseAccount& db, const std::string& request, LJsonValue& answer);
