#pragma once
// The reading side of the SMTP dialogue as pure code over received bytes:
// a reply is one or more lines, "250-..." lines continue it and the first
// line without '-' in its fourth byte ends it. The connection code feeds the
// pieces it receives; tests feed bytes directly.
#include <cstddef>
#include <cstdint>

class LSmtpReplyReader {
public:
    // Appends one received piece; true once the reply is complete. Bytes
    // after the last line of the reply are dropped: the dialogue sends one
    // command at a time, so nothing may follow.
    bool Feed(const char* p, size_t n);
    bool Complete() const { return complete_; }
    void Reset();

    int code = 0;
    // Every byte after the first ':' of the reply, across its lines, without
    // CR and LF, cut at 259 bytes.
    char text[260] = {0};
    // The whole reply as the server wrote it (every line, codes included,
    // without CR LF, lines joined by a blank), cut at 511 bytes: what a
    // user is shown when the server refuses.
    char full[512] = {0};
    // A "250-STARTTLS" or "250 STARTTLS" line was seen.
    bool startTls = false;
    // The server offers 8BITMIME: a message with 8-bit text may say so.
    bool eightBitMime = false;

private:
    void EndLine();

    char line_[259] = {0};  // 258 bytes of a line are kept
    size_t lineLength_ = 0;
    size_t textLength_ = 0;
    size_t fullLength_ = 0;
    bool colonSeen_ = false;
    bool complete_ = false;
};
