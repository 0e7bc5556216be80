#pragma once
// A small store for the tool tests: two accounts, their mailboxes, a few
// messages chosen to show the tools' rules, and cached attachment files;
// and a way to call a tool as the dispatcher does.
#include <nlohmann/json.hpp>

#include <string>

#include "foundation/database.h"
#include "tests/support/test_root.h"

struct LTestToolAnswer {
    nlohmann::json result;      // "result" (or "error" for an unknown tool)
    bool is_error = false;
    std::string text;           // the text item
    std::string summary;        // its first line
    nlohmann::json structured;  // the JSON after the first line (null if none)
};

class LTestToolStore {
public:
    // with_index: the full-text index exists (it does after every start).
    explicit LTestToolStore(bool with_index = true);
    // Calls the tool with the arguments (a JSON text) through the dispatcher,
    // on the store's handle or on another one (another thread's).
    LTestToolAnswer Call(const std::string& tool, const std::string& args = "{}", LAppDatabaseAccount* on = nullptr);
    // Adds a message row; returns its ID.
    std::string AddMessage(const std::string& account, const std::string& mailbox, const std::string& subject,
                           const std::string& body_text, const std::string& body_html, int64_t received,
                           int deleted = 0);
    // Adds an attachment row; content (when given) is cached as a file.
    std::string AddAttachment(const std::string& message, const std::string& name, const std::string* content,
                              const std::string& storage_path_override = "");
    std::string CacheFolder() const;

    LTestRoot root;
    LAppDatabaseAccount db{false};
    std::string account_a = "acctaaaaaa", account_b = "acctbbbbbb";
    std::string inbox_a = "mboxinboxa", archive_a = "mboxarchva", inbox_b = "mboxinboxb";

private:
    int next_uid_ = 1;
};
