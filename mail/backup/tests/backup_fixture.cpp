#include "mail/backup/tests/backup_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/json_value.h"
#include "foundation/reg_settings.h"
#include "foundation/sha256.h"
#include "foundation/utf8.h"
#include "mail/backup/email_backup.h"
#include "mail/mail_services.h"
#include "mail/workers.h"
#include "tests/support/service_harness.h"
#include "web/http/tests/http_harness.h"

namespace fs = std::filesystem;

// Every .eml under the folder as Python's email package reads it.
std::vector<EmlView> ReadAll(const std::string& folder) {
    std::vector<std::string> argv = {"/usr/bin/python3", PORLINEX_SOURCE_DIR "/mail/backup/tests/testdata/read_eml.py"};
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().extension() == ".eml") argv.push_back(e.path().string());
    std::vector<EmlView> out;
    if (argv.size() == 2) return out;
    LTestCurlResult r = LTestRunCaptured(argv, 60000);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        LJsonValue v;
        if (v.Parse(line.c_str()) != 0) {
            ADD_FAILURE() << line;
            continue;
        }
        EmlView e;
        e.file = v.Member("file").text.Str();
        e.error = v.Member("error").text.Str();
        e.subject = v.Member("subject").text.Str();
        e.has_text = v.Member("text").IsString();
        e.has_html = v.Member("html").IsString();
        e.text = v.Member("text").text.Str();
        e.html = v.Member("html").text.Str();
        e.message_id = v.Member("message-id").text.Str();
        e.in_reply_to = v.Member("in-reply-to").text.Str();
        e.references = v.Member("references").text.Str();
        for (const char* h : {"from", "to", "cc", "bcc", "reply-to"}) {
            const LJsonValue& list = v.Member(h);
            for (size_t i = 0; i < list.count; ++i)
                e.addresses[h].emplace_back(list.elements[i].elements[0].text.Str(),
                                            list.elements[i].elements[1].text.Str());
        }
        const LJsonValue& a = v.Member("attachments");
        for (size_t i = 0; i < a.count; ++i) {
            std::map<std::string, std::string> m;
            for (const char* k : {"filename", "type", "sha256", "inner_subject", "inner_body"}) m[k] = a.elements[i].Member(k).text.Str();
            e.attachments.push_back(m);
        }
        out.push_back(e);
    }
    return out;
}

std::map<std::string, EmlView> ReadBack(const std::string& folder) {
    std::map<std::string, EmlView> out;
    for (EmlView& e : ReadAll(folder)) {
        std::string id = e.message_id.substr(1, e.message_id.find('@') - 1);
        if (out.count(id)) ADD_FAILURE() << "written twice: " << e.file << " and " << out[id].file;
        out[id] = e;
    }
    return out;
}

std::string Sha256Hex(const std::string& bytes) {
    LSha256 c;
    LSha256Init(c);
    c.Update(bytes.data(), static_cast<uint32_t>(bytes.size()));
    uint32_t words[8];
    c.Final(words, sizeof words);
    char hex[65];
    for (int i = 0; i < 8; ++i) snprintf(hex + 8 * i, 9, "%08x", words[i]);
    return hex;
}

void BackupTest::SetUp() {
    StoreTest::SetUp();
    folder_ = root_.Path() + "/backup";
    cache_ = root_.DataFolder() + "/CachedAttachments";
    fs::create_directories(folder_);
    fs::create_directories(cache_);
}

void BackupTest::TearDown() { LEmailBackupStop(); }

void BackupTest::Message(const std::string& id, int64_t sent, int64_t received, const std::string& subject,
                         const std::string& text, const std::string& html, const std::string& mailbox) {
    LStringA q;
    q.Format("INSERT INTO main.EMAIL_MESSAGES (ID, ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY, MESSAGE_ID, SUBJECT, "
             "FROM_TEXT, TO_TEXT, SENT_UTC, RECEIVED_UTC, BODY_TEXT, BODY_HTML) VALUES ('%Q', 'acc1', '%Q', %d, 7, "
             "'<%Q@example.org>', '%Q', 'Ann <ann@example.org>', 'bob@example.org', %I64d, %I64d, '%Q', '%Q');",
             id.c_str(), mailbox.c_str(), ++uid_, id.c_str(), subject.c_str(), sent, received, text.c_str(),
             html.c_str());
    Exec(Db(), q.Str());
}

void BackupTest::Attachment(const std::string& message, const std::string& name, const std::string& type,
                            const std::string* bytes, int64_t size) {
    std::string path;
    if (bytes && !bytes->empty()) {
        path = cache_ + "/" + message + "-" + std::to_string(++uid_);
        std::ofstream(path, std::ios::binary) << *bytes;
    }
    int n = ++uid_;
    LStringA q;
    q.Format("INSERT INTO main.EMAIL_MESSAGE_ATTACHMENTS (ID, MESSAGE_ID, PART_ID, FILENAME, CONTENT_TYPE, "
             "SIZE_BYTES, STORAGE_PATH) VALUES ('a%d', '%Q', '%03d', '%Q', '%Q', %I64d, '%Q');",
             n, message.c_str(), n, name.c_str(), type.c_str(), size, path.c_str());
    Exec(Db(), q.Str());
    Exec(Db(), "UPDATE main.EMAIL_MESSAGES SET HAS_ATTACHMENTS=1 WHERE ID='" + message + "';");
}

void BackupTest::Enable() {
    LRegSettingsSet(LEmailBackupSection, u"Enabled", u"1");
    LRegSettingsSet(LEmailBackupSection, u"Folder", LFromUtf8(folder_).c_str());
}

std::string BackupTest::Setting(const char16_t* name) {
    char16_t v[260];
    LRegSettingsGet(LEmailBackupSection, name, u"", v);
    return LToUtf8(v);
}
