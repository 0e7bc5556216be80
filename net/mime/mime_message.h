#pragma once
// The MIME parser: one whole message (the raw bytes as fetched) becomes an
// EMLMimeMessage with its decoded header fields, one plain-text body, one
// HTML body, its attachments and its embedded message/rfc822 messages.
// Multipart bodies are split at their boundary lines, each part is parsed as
// a small message of its own and merged upward into its parent.
//
// The parser works on the original bytes: a body is converted from its own
// charset only after its transfer encoding is undone, and attachment data is
// the decoded bytes exactly as sent.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <map>
#include <string_view>

#include "foundation/lstring.h"

enum EMLMimePartKind : int32_t {
    EMLMimeKindMixed = 0,
    EMLMimeKindAlternative = 1,
    EMLMimeKindDigest = 2,
    EMLMimeKindMessage = 3,
    EMLMimeKindRelated = 4,
    EMLMimeKindMultipart = 5,
    EMLMimeKindText = 6,
    EMLMimeKindHtml = 7,
    EMLMimeKindImage = 8,
    EMLMimeKindAudio = 9,
    EMLMimeKindVideo = 10,
    EMLMimeKindApplication = 11,
    EMLMimeKindNamed = 12,
    EMLMimeKindNamedText = 13,
    EMLMimeKindOther = 14,
};

struct EMLMimeAttachment {
    EMLMimeAttachment* next = nullptr;
    char16_t fileName[260] = {};
    char16_t contentId[260] = {};
    char16_t contentType[260] = {};  // the part's media type, without parameters
    int64_t size = 0;
    LHeapBlock data;  // the decoded bytes; null when size is 0
};

// Header fields by lower-case name; a repeated field keeps its last value.
using EMLMimeHeaderMap = std::map<std::u16string, LString, std::less<>>;

// Parts nested deeper than this (multiparts and message/rfc822 parts
// together) are not split or parsed: a multipart keeps its raw lines as
// text, an embedded message becomes an attachment.
constexpr int EMLMimeMaxDepth = 100;

class EMLMimeMessage {
public:
    EMLMimeMessage* next = nullptr;
    EMLMimeHeaderMap headers;
    LString text;
    LString html;
    int32_t kind = EMLMimeKindOther;
    uint8_t marker = 0;
    EMLMimeAttachment* attachments = nullptr;
    EMLMimeMessage* embedded = nullptr;
    // For an attached message of this message: its bytes with the transfer
    // encoding undone, as they would be saved to a .eml file. Messages
    // attached inside an attached message keep none (their bytes are part of
    // their parent's), so the copies never add up beyond the message's size.
    LStringA raw;

    EMLMimeMessage() = default;
    EMLMimeMessage(const EMLMimeMessage&) = delete;
    EMLMimeMessage& operator=(const EMLMimeMessage&) = delete;
    ~EMLMimeMessage();

    // The cursor is a view of the remaining bytes; both leave it after what
    // they consumed. The bytes must outlive the call only.
    void ParseHeaders(std::string_view& cursor);
    void ParseBody(std::string_view& cursor, int32_t parentKind);
    void Parse(std::string_view message, int32_t parentKind = EMLMimeKindOther);

    // Exact lookup by lower-case name; empty when missing.
    void GetHeader(const char16_t* name, LString& out) const;
    const LString* FindHeader(std::u16string_view name) const;

    static void FreeParts(EMLMimeMessage*& head);
    static void FreeAttachments(EMLMimeAttachment*& head);

private:
    void ParseBodyAt(std::string_view& cursor, int32_t parentKind, int depth);
    // A part or an embedded message parsed at that depth; null when blank.
    static EMLMimeMessage* NewPart(std::string_view bytes, int32_t parentKind, int depth);
    void MergeMixed(EMLMimeMessage* children);
    void MergeAlternative(EMLMimeMessage* children);
    void FinishLeaf(std::string_view body, int32_t parentKind, int depth);
    void FinishText(std::string_view body, int32_t parentKind);
    void ParseEmbedded(std::string_view body, int depth);
};

// RFC 2047 encoded words in a header value (already unfolded); appends.
void EMLMimeDecodeHeaderWords(std::u16string_view value, LString& out);
// Quoted-printable; header mode turns '_' into a blank. Appends the bytes
// and returns their count.
size_t EMLMimeDecodeQuotedPrintable(std::string_view encoded, LStringA& out, bool headerMode);
// Base64 with every byte at or below blank ignored; appends the bytes.
void EMLMimeDecodeBase64(std::string_view encoded, LStringA& out);
// The line treatment of a text/plain body (bytes in, bytes out, CR LF lines).
void EMLMimeDecodeText(std::string_view bytes, bool dropEmptyLines, bool rewrap, bool flowed, LStringA& out);

int EMLMimeCharsetId(std::u16string_view name);
// Converts bytes of the named charset (unknown names read as ISO-8859-1) and
// appends them.
void EMLMimeConvertCharset(std::string_view bytes, std::u16string_view charset, LString& out);
// U+0000 from `from` on becomes U+FFFD: decoded text never holds a NUL.
void EMLMimeReplaceNul(LString& text, size_t from);
void EMLMimeDecodeCodePage(std::string_view bytes, int charsetId, LString& out);
// A charset whose line breaks are not the bytes CR and LF (UTF-16, UTF-32).
bool EMLMimeCharsetIsWide(std::u16string_view name);

// A parameter of a structured field such as Content-Type; RFC 2231
// continuations and charset forms (name*=, name*0*=) are joined and decoded.
// With decodeWords, RFC 2047 words in a plain value are decoded too (file
// names; never a boundary).
bool EMLMimeHeaderParam(std::u16string_view value, std::u16string_view name, char16_t out[260],
                        bool decodeWords = false);
int32_t EMLMimeContentKind(std::u16string_view contentType);

// Null for a transfer encoding that is not understood.
EMLMimeAttachment* EMLMimeAddAttachment(std::string_view body, std::u16string_view contentType,
                                        std::u16string_view transferEncoding,
                                        std::u16string_view disposition, std::u16string_view contentId);

void EMLMimeTextFromHtml(const LString& html, LString& out);
void EMLMimeWrapTextAsXhtml(const LString& text, const char16_t* title, LString& out);

// RFC 2822 date to seconds since 1970 (UTC); 0 when empty or without year.
time_t LEmailParseDate(std::u16string_view value);
