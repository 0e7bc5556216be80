#pragma once
// The MIME composer of outgoing mail: the header block and body of one
// message streamed after SMTP DATA, and the pieces that the outgoing queue's
// composer shares (Date, Message-ID, encoded words, boundaries).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "foundation/lstring.h"
#include "foundation/task_progress.h"
#include "net/smtp/smtp_message.h"

// Where composed text goes: the SMTP connection, or a buffer in tests.
// Send returns 0 done, 1 stop requested, 2 failed.
class LMimeWriter {
public:
    virtual ~LMimeWriter() = default;
    virtual uint32_t Send(LTaskProgress& progress, const char* data, size_t n, uint32_t timeoutMs) = 0;
};

uint32_t LSmtpSendMessageContent(LTaskProgress& progress, const LSmtpMessage& message, LMimeWriter& conn,
                                 const char16_t* fromAddress);
uint32_t LSmtpSendTextPart(LTaskProgress& progress, LMimeWriter& conn, const char16_t* body);
// The body as CR LF lines of at most 700 bytes, dot-stuffed for SMTP.
uint32_t LSmtpSendBodyText(LTaskProgress& progress, LMimeWriter& conn, const char16_t* body);
uint32_t LSmtpSendBase64Block(LTaskProgress& progress, LMimeWriter& conn, const uint8_t* bytes, size_t count);
// A file as base64 lines; a file that cannot be read fails (2).
uint32_t LSmtpSendFileBase64(LTaskProgress& progress, LMimeWriter& conn, const char16_t* path, double progressBase,
                             double progressSpan);

// Lengthens the boundary with random letters and digits until the body does
// not contain it (at most 70 characters).
void LMimeMakeBoundaryUnique(std::string_view body, LStringA& boundary);
// The header form of a UTF-8 text: unchanged when plain ASCII, otherwise
// RFC 2047 encoded words of at most 75 characters, folded with CR LF and a
// blank between them. Cut at size - 1 bytes, always terminated; returns the
// length written.
size_t LMimeEncodeHeaderWord(char* out, const char* text, size_t size);
// Always encoded words, joined by the separator; a word that does not fit
// the output is left out whole.
size_t LMimeEncodeWords(char* out, const char* text, size_t size, const char* separator);
// Appends the text as quoted-printable; each line end of the text (CR LF, a
// lone CR or LF) becomes CR LF, longer lines get soft breaks.
void LMimeEncodeQuotedPrintable(std::string_view text, LStringA& out);
void LStripCrLf(char* text);
void LEmailMakeMessageId(char out[260], const char16_t* senderAddress);
void LEmailFormatDate(char out[260]);
// Date text of a given moment with a given offset east of UTC, in minutes.
void LEmailFormatDateAt(char out[260], time_t localSeconds, int offsetMinutes);
