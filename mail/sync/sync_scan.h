#pragma once
// What the walk of one mailbox carries from batch to batch, and one UID of a
// batch. Shared by the mailbox walk, its fetch step and its download thread.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/lstring.h"
#include "mail/sync/sync_worker.h"
#include "net/mime/mime_message.h"

struct EMLEmailAccGetter::Scan {
    const char* name = nullptr;
    const char16_t* mailboxId = nullptr;
    uint32_t validity = 0;
    uint32_t mark = 0;         // every UID up to here is stored
    uint32_t arrivalFrom = 0;  // new rows from this UID on are arrivals
    int32_t tokens = 0;
    int32_t done = 0, total = 0;
    bool incomplete = false;
    int32_t downloaded = 0;
};

// One UID of a batch: its message as fetched, or why there is none.
struct EMLEmailAccGetter::Fetched {
    enum Kind {
        Download,  // fetched: to be stored
        Earlier,   // stored by an earlier pass
        Passed,    // passed over for good (gone, over the size limit, given up)
        Refused,   // not fetched this time; tried again by the next pass
        NotFetched,  // the download failed: Refused or Passed once counted
    };
    uint32_t uid = 0;
    Kind kind = Download;
    int32_t scanned = 0;  // the walk's scanned count once this UID is done
    bool hasFlags = false;
    LString flags;
    LStringA bytes;  // as fetched; let go once parsed
    uint64_t size = 0;
    std::string head;  // the header section, for the tests' store fault
    std::unique_ptr<EMLMimeMessage> message;  // parsed from bytes (Download)
};
