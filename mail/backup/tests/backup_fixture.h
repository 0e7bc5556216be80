#pragma once
// A store for backup tests, a backup folder and a cache folder beside it,
// and the backup's .eml files as Python's email package reads them.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "mail/store/tests/store_fixture.h"

using Addresses = std::vector<std::pair<std::string, std::string>>;  // display name, address

struct EmlView {
    std::string file, subject, text, html, error, message_id, in_reply_to, references;
    bool has_text = false, has_html = false;
    std::map<std::string, Addresses> addresses;  // "from", "to", "cc", "bcc", "reply-to"
    std::vector<std::map<std::string, std::string>> attachments;
};

// Every .eml under the folder.
std::vector<EmlView> ReadAll(const std::string& folder);
// The test messages' Message-IDs are "<ID@example.org>": the files by ID;
// a message written twice fails the test.
std::map<std::string, EmlView> ReadBack(const std::string& folder);
std::string Sha256Hex(const std::string& bytes);

class BackupTest : public StoreTest {
protected:
    void SetUp() override;
    // A worker a failed test left running must not outlive its store.
    void TearDown() override;

    void Message(const std::string& id, int64_t sent, int64_t received, const std::string& subject,
                 const std::string& text, const std::string& html = "", const std::string& mailbox = "mbx1");
    // An attachment row; bytes == nullptr: no cached file at all.
    void Attachment(const std::string& message, const std::string& name, const std::string& type,
                    const std::string* bytes, int64_t size);
    // Enables the backup into folder_ for the worker.
    void Enable();
    std::string Setting(const char16_t* name);

    std::string folder_, cache_;
    int uid_ = 0;
};
