// mirror_sync SERVER USER PASSWORD: one synchronisation run of the mail
// library into the store of $PORLINEX_ROOT (made on the first run, with one
// account for the server): starts the engine, asks for a pass over every
// mailbox and waits until it is done, stops the engine. Prints the seconds
// from the start to the completed pass and "done" (or "timeout").
// mirror_sync --count: the stored rows and the full-text index coverage, a
// check kept out of the timed run as the reference's own checks are.
// bench/mirror_compare.sh runs it beside mbsync.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "mail/store/accounts.h"
#include "mail/store/fts_index.h"
#include "mail/sync/sync_engine.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--count") == 0) {
        LAppDatabaseAccount db(true);
        int32_t rows = 0, indexed = 0, total = 0;
        bool complete = false;
        if (!db.handle || !db.QueryInt(u"SELECT COUNT(*) FROM EMAIL_MESSAGES;", &rows) ||
            !LEmailFtsGetCoverage(db, indexed, total, complete))
            return 1;
        std::printf("%d %d %d\n", rows, indexed, total);
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: mirror_sync SERVER USER PASSWORD | mirror_sync --count\n");
        return 2;
    }
    LString server = LFromUtf8(argv[1]), user = LFromUtf8(argv[2]), password = LFromUtf8(argv[3]);
    {
        LAppDatabaseAccount db(false);
        // The schema is made (and checked) by the first run only: the later
        // ones time a pass, as the running service makes it.
        if (!db.handle || (!db.TableExists(u"EMAIL_MESSAGES") &&
                           (!LEmailAccountsCreateSchema(db) || LEmailStoreCreateSchema(db) != 0 ||
                            LRulesCreateSchema(db) != 0 || LAutorespondersCreateSchema(db) != 0))) {
            std::fprintf(stderr, "mirror_sync: no store\n");
            return 1;
        }
        int32_t accounts = 0;
        db.QueryInt(u"SELECT COUNT(*) FROM EMAILACCOUNTS;", &accounts);
        if (accounts == 0 && (!db.ExecF(u"INSERT INTO EMAILACCOUNTS (ID, EMAIL, INCOMINGSERVER) VALUES ('bench', '%Q', "
                                        u"'%Q');",
                                        user.c_str(), server.c_str()) ||
                              !LEmailAccountPasswordSet(db, u"bench", password.c_str()))) {
            std::fprintf(stderr, "mirror_sync: no account\n");
            return 1;
        }
    }
    LPlainWait wait;
    auto t0 = std::chrono::steady_clock::now();
    LMailSyncStart();
    // A first mirror may outlast one wait (at most 120 s): wait again.
    bool done = false;
    for (int i = 0; i < 60 && !done; i++) {
        int32_t workers = 0, woken = 0;
        bool found = false, target = false;
        done = LMailSyncWakeAndWait(wait, u"bench", nullptr, 120000, workers, woken, found, target);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    LMailSyncShutdown();
    std::printf("%.3f %s\n", seconds, done ? "done" : "timeout");
    return done ? 0 : 1;
}
