#include "net/smtp/smtp_reply.h"

#include <cstring>

void LSmtpReplyReader::Reset() { *this = LSmtpReplyReader(); }

bool LSmtpReplyReader::Feed(const char* p, size_t n) {
    for (size_t i = 0; i < n && !complete_; ++i) {
        char c = p[i];
        if (colonSeen_) {
            if (c != '\r' && c != '\n' && textLength_ < sizeof text - 1) text[textLength_++] = c;
        } else if (c == ':') {
            colonSeen_ = true;
        }
        if (c == '\n') {
            EndLine();
            continue;
        }
        if (c != '\r' && fullLength_ < sizeof full - 1) {
            if (lineLength_ == 0 && fullLength_ > 0) full[fullLength_++] = ' ';
            if (fullLength_ < sizeof full - 1) full[fullLength_++] = c;
        }
        if (lineLength_ < sizeof line_ - 1) line_[lineLength_++] = c;
    }
    text[textLength_] = 0;
    full[fullLength_] = 0;
    return complete_;
}

void LSmtpReplyReader::EndLine() {
    line_[lineLength_] = 0;
    // The capability may be the last word of its line or be followed by
    // blanks or parameters; "STARTTLSX" is another extension.
    if (lineLength_ >= 12 && std::memcmp(line_, "250", 3) == 0 && (line_[3] == '-' || line_[3] == ' ') &&
        std::memcmp(line_ + 4, "STARTTLS", 8) == 0) {
        char after = line_[12];
        if (after == 0 || after == '\r' || after == ' ') startTls = true;
    }
    if (lineLength_ >= 12 && std::memcmp(line_, "250", 3) == 0 && (line_[3] == '-' || line_[3] == ' ') &&
        std::memcmp(line_ + 4, "8BITMIME", 8) == 0 && (line_[12] == 0 || line_[12] == '\r' || line_[12] == ' '))
        eightBitMime = true;
    if (lineLength_ < 4 || line_[3] != '-') {
        int value = 0;
        for (size_t i = 0; i < lineLength_ && line_[i] >= '0' && line_[i] <= '9' && value < 100000; ++i)
            value = value * 10 + (line_[i] - '0');
        code = value;
        complete_ = true;
    }
    lineLength_ = 0;
}
