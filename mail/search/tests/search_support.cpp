#include "mail/search/tests/search_support.h"

#include <gtest/gtest.h>

#include "foundation/json_writer.h"
#include "mail/search/email_search.h"

std::string LTestEmailSearch(LAppDatabaseAccount& db, const std::string& request, LJsonValue& answer) {
    LJsonValue body;
    EXPECT_EQ(body.Parse(request.c_str()), 0u) << request;
    LStringA out;
    LJsonWriter json(out);
    json.BeginObject();
    LEmailSearchHandle(&db, body, json);
    json.EndObject();
    EXPECT_EQ(answer.Parse(out.c_str()), 0u) << out.c_str();
    return out.Str();
}
