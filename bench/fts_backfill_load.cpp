// Driver of bench/fts_backfill.sh: loads every message of a Maildir tree
// through the MIME parser into EMAIL_MESSAGES (one autocommit insert per
// message, as the sync worker writes), either with the index's triggers in
// place or without the index and then through the backfill to its end.
//   fts_backfill_load backfill|triggers MAILDIR     (under PORLINEX_ROOT)
// Prints key=value lines: messages, load_s, backfill_s, batches, rows_per_s,
// indexed, total, peak_rss_mb.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/database.h"
#include "mail/store/fts_index.h"
#include "mail/workers.h"
#include "net/mime/mime_message.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The preview rule of the store writer: whitespace runs become one space.
void Preview(const LString& text, LString& out) {
    out.Clear();
    bool space = false;
    for (uint64_t i = 0; i < text.length && out.length < 259; ++i) {
        char16_t c = text.buffer[i];
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
            space = out.length > 0;
            continue;
        }
        if (space) out.AppendChar(u' ');
        space = false;
        out.AppendChar(c);
    }
}

bool Store(LAppDatabaseAccount& db, const std::string& bytes, int64_t uid) {
    EMLMimeMessage m;
    m.Parse(bytes);
    LString subject, from, to, cc, message_id, preview;
    m.GetHeader(u"subject", subject);
    m.GetHeader(u"from", from);
    m.GetHeader(u"to", to);
    m.GetHeader(u"cc", cc);
    m.GetHeader(u"message-id", message_id);
    Preview(m.text, preview);
    char16_t id[32];
    LFormatEscPathW(id, u"b%I64d", uid);
    return db.ExecF(u"INSERT INTO main.EMAIL_MESSAGES (ID, ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY, MESSAGE_ID, SUBJECT, "
                    u"FROM_TEXT, TO_TEXT, CC_TEXT, SIZE_BYTES, BODY_TEXT, BODY_HTML, BODY_PREVIEW) VALUES ('%Q', "
                    u"'bench', 'inbox', %I64d, 1, '%Q', '%Q', '%Q', '%Q', '%Q', %I64d, '%Q', '%Q', '%Q');",
                    id, uid, message_id.c_str(), subject.c_str(), from.c_str(), to.c_str(), cc.c_str(),
                    static_cast<int64_t>(bytes.size()), m.text.c_str(), m.html.c_str(), preview.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "backfill") != 0 && std::strcmp(argv[1], "triggers") != 0)) {
        std::fprintf(stderr, "usage: fts_backfill_load backfill|triggers MAILDIR\n");
        return 2;
    }
    bool backfill = std::strcmp(argv[1], "backfill") == 0;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(argv[2]))
        if (e.is_regular_file() && e.path().parent_path().filename() == "cur") files.push_back(e.path());
    LAppDatabaseAccount db(false);
    if (!db.handle || !LEmailAccountsCreateSchema(db) || LEmailStoreCreateSchema(db) != 0) {
        std::fprintf(stderr, "fts_backfill_load: no store\n");
        return 1;
    }
    if (backfill)
        db.ExecA("DROP TRIGGER EMAIL_MESSAGES_FTS_AI; DROP TRIGGER EMAIL_MESSAGES_FTS_AD; DROP TRIGGER "
                 "EMAIL_MESSAGES_FTS_AU; DROP TABLE EMAIL_MESSAGES_FTS; DROP TABLE EMAIL_MESSAGES_FTS_STATE;");
    // Files are read inside the timed loop, as `notmuch new` reads them.
    auto start = std::chrono::steady_clock::now();
    int64_t uid = 0, failed = 0;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        if (!Store(db, s.str(), ++uid)) ++failed;
    }
    double load = Seconds(start);
    double fill = 0;
    int batches = 0;
    if (backfill) {
        start = std::chrono::steady_clock::now();
        bool complete = false;
        if (!LEmailFtsEnsure(db)) return 1;
        while (!complete && LEmailFtsBackfillStep(db, complete)) ++batches;
        fill = Seconds(start);
    }
    int32_t indexed = 0, total = 0;
    bool complete = false;
    LEmailFtsGetCoverage(db, indexed, total, complete);
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("messages=%zu\nfailed=%lld\nload_s=%.2f\nbackfill_s=%.2f\nbatches=%d\nrows_per_s=%.0f\nindexed=%d\n"
                "total=%d\ncomplete=%d\npeak_rss_mb=%.1f\n",
                files.size(), static_cast<long long>(failed), load, fill, batches,
                total / (backfill ? fill : load), indexed, total, complete ? 1 : 0, ru.ru_maxrss / 1024.0);
    return failed || !complete || indexed != total ? 1 : 0;
}
