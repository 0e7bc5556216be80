// The recursive MIME parser: header block, body split at boundary lines,
// parts parsed as messages of their own and merged into their parent.
#include <cstring>

#include "net/mime/mime_lines.h"
#include "net/mime/mime_message.h"

namespace {

bool IsMultipartKind(int32_t kind) {
    return kind == EMLMimeKindMixed || kind == EMLMimeKindAlternative || kind == EMLMimeKindDigest ||
           kind == EMLMimeKindRelated || kind == EMLMimeKindMultipart;
}

// The whole field: parameters continued over several lines (RFC 2231) may
// run far past the 259 units that a single value is kept to. Trimmed: a
// field folded right after its colon starts with a blank.
std::u16string_view FieldView(const EMLMimeMessage& m, std::u16string_view name) {
    const LString* v = m.FindHeader(name);
    std::u16string_view s = v ? v->View() : std::u16string_view();
    while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
    while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
    return s;
}

// Structured fields keep their encoded words: a parameter is split out
// first and only then decoded, so a file name that decodes to quotes or ';'
// cannot end the parameter early.
bool IsStructuredField(std::u16string_view name) {
    return name == u"content-type" || name == u"content-disposition";
}

// Body text for output: one final line break goes (it belongs to what
// follows), and a body of blanks only is nothing.
std::string_view TrimBodyEnd(std::string_view body) {
    if (!LMimeHasNonBlank(body)) return {};
    if (body.size() > 2) {
        if (body.ends_with("\r\n")) body.remove_suffix(2);
        else if (body.back() == '\n' || body.back() == '\r') body.remove_suffix(1);
    }
    return body;
}

void AppendMove(LString& to, LString& from) {
    if (from.IsEmpty()) return;
    if (to.IsEmpty()) to.Adopt(from);
    else to.AppendString(from);
}

// The end of a list, where the next one is appended: the walk is paid once
// per list joined, never once per item already there.
template <class T>
struct ListTail {
    explicit ListTail(T*& head) : at(&head) { Skip(); }
    void Skip() {
        while (*at) at = &(*at)->next;
    }
    void Join(T*& more) {
        if (!more) return;
        *at = more;
        more = nullptr;
        Skip();
    }
    T** at;
};

// The delimiter line of a multipart ("--" and the boundary), empty without
// a boundary. On its own so that the recursion's frames stay small.
__attribute__((noinline)) std::string Delimiter(std::u16string_view contentType) {
    char16_t boundary[260];
    if (!EMLMimeHeaderParam(contentType, u"boundary", boundary) || !boundary[0]) return {};
    return "--" + LToUtf8(boundary);
}

}  // namespace

EMLMimeMessage::~EMLMimeMessage() {
    FreeParts(embedded);
    FreeAttachments(attachments);
}

void EMLMimeMessage::FreeParts(EMLMimeMessage*& head) {
    while (head) {
        EMLMimeMessage* n = head->next;
        delete head;
        head = n;
    }
}

void EMLMimeMessage::FreeAttachments(EMLMimeAttachment*& head) {
    while (head) {
        EMLMimeAttachment* n = head->next;
        delete head;
        head = n;
    }
}

const LString* EMLMimeMessage::FindHeader(std::u16string_view name) const {
    auto it = headers.find(name);
    return it == headers.end() ? nullptr : &it->second;
}

void EMLMimeMessage::GetHeader(const char16_t* name, LString& out) const {
    out.Clear();
    if (const LString* v = FindHeader(name ? std::u16string_view(name) : std::u16string_view())) out.AppendString(*v);
    out.Terminate();
}

void EMLMimeMessage::ParseHeaders(std::string_view& cursor) {
    LStringA value;
    std::string_view name;
    bool pending = false;
    auto store = [&] {
        if (!pending) return;
        pending = false;
        std::u16string key;
        LString wide;
        LStringAppendUtf8(wide, name.data(), name.size());
        key.reserve(wide.length);
        for (char16_t c : wide.View()) key.push_back(LMimeLowerAscii16(c));
        LString raw;
        LStringAppendUtf8(raw, value.c_str(), value.length);
        EMLMimeReplaceNul(raw, 0);
        raw.Terminate();
        if (IsStructuredField(key)) {
            headers.insert_or_assign(std::move(key), std::move(raw));
            return;
        }
        LString decoded;
        EMLMimeDecodeHeaderWords(raw.View(), decoded);
        decoded.Terminate();
        headers.insert_or_assign(std::move(key), std::move(decoded));
    };
    std::string_view line;
    while (LMimeNextLine(cursor, line)) {
        if (line.empty()) break;
        if (static_cast<unsigned char>(line[0]) > ' ') {
            store();
            size_t colon = line.find(':');
            if (colon == std::string_view::npos) continue;
            name = line.substr(0, colon);
            std::string_view rest = line.substr(colon + 1);
            if (!rest.empty() && rest[0] >= 1 && rest[0] <= 32) rest.remove_prefix(1);
            value.Clear();
            value.AppendView(rest);
            pending = true;
        } else if (pending) {
            value.AppendChar(' ');
            value.AppendView(line.substr(1));
        }
    }
    store();
}

void EMLMimeMessage::Parse(std::string_view message, int32_t parentKind) {
    std::string_view cursor = message;
    ParseHeaders(cursor);
    ParseBodyAt(cursor, parentKind, 0);
}

void EMLMimeMessage::ParseBody(std::string_view& cursor, int32_t parentKind) { ParseBodyAt(cursor, parentKind, 0); }

void EMLMimeMessage::ParseBodyAt(std::string_view& cursor, int32_t parentKind, int depth) {
    text.Clear();
    html.Clear();
    FreeAttachments(attachments);

    std::u16string_view contentType = FieldView(*this, u"content-type");
    kind = EMLMimeContentKind(contentType);

    // Beyond the depth limit a multipart is not split: its lines stay text.
    std::string delimiter;
    if (IsMultipartKind(kind) && !contentType.empty() && depth < EMLMimeMaxDepth) delimiter = Delimiter(contentType);

    std::string_view body = cursor;
    cursor = {};
    if (delimiter.empty()) {
        FinishLeaf(body, parentKind, depth);
        return;
    }

    // Parts are views of the message bytes: a part runs from the line after
    // one delimiter line to the line break before the next, which RFC 2046
    // counts as part of the delimiter.
    EMLMimeMessage* children = nullptr;
    EMLMimeMessage** tail = &children;
    auto addChild = [&](std::string_view part) {
        if (EMLMimeMessage* child = NewPart(part, kind, depth + 1)) {
            *tail = child;
            tail = &child->next;
        }
    };
    // Delimiter lines are found by searching for the delimiter itself, not
    // line by line: each level of nesting scans its body once, and that
    // scan must run at the speed of memory.
    const char* partStart = nullptr;
    bool closed = false;
    for (size_t at = body.find(delimiter); at != std::string_view::npos; at = body.find(delimiter, at + 1)) {
        if (at > 0 && body[at - 1] != '\r' && body[at - 1] != '\n') continue;  // not at a line's start
        if (partStart) {
            // The line break before the delimiter line belongs to it.
            size_t end = at;
            if (end > 0) --end;
            if (end > 0 && (body[end - 1] == '\r' || body[end - 1] == '\n') && body[end - 1] != body[end]) --end;
            const char* partEnd = body.data() + end;
            addChild(std::string_view(partStart, partEnd > partStart ? partEnd - partStart : 0));
        }
        std::string_view rest = body.substr(at), line;
        LMimeNextLine(rest, line);
        if (line.substr(delimiter.size()).starts_with("--")) {
            closed = true;
            break;
        }
        partStart = rest.data();
        at += line.size() > 0 ? line.size() - 1 : 0;
    }
    // A message cut short (no closing delimiter) still keeps its last part.
    if (!closed && partStart) addChild(std::string_view(partStart, body.data() + body.size() - partStart));

    if (kind == EMLMimeKindAlternative) MergeAlternative(children);
    else MergeMixed(children);
    FreeParts(children);
}

// An embedded message. Its transfer encoding is undone first: a base64
// message/rfc822 part is a message only once decoded.
void EMLMimeMessage::ParseEmbedded(std::string_view body, int depth) {
    std::u16string encoding(FieldView(*this, u"content-transfer-encoding"));
    LStringA decoded;
    if (LMimeStartsNoCase(encoding, "base64")) {
        EMLMimeDecodeBase64(body, decoded);
        body = decoded.View();
    } else if (LMimeStartsNoCase(encoding, "quoted")) {
        EMLMimeDecodeQuotedPrintable(body, decoded, false);
        body = decoded.View();
    }
    EMLMimeMessage* inner = NewPart(body, EMLMimeKindOther, depth + 1);
    if (inner) {
        for (EMLMimeMessage* m = inner->embedded; m; m = m->next) m->raw.Free();
        inner->raw.AppendView(body);
    }
    ListTail<EMLMimeMessage>(embedded).Join(inner);
}

EMLMimeMessage* EMLMimeMessage::NewPart(std::string_view bytes, int32_t parentKind, int depth) {
    if (!LMimeHasNonBlank(bytes)) return nullptr;
    EMLMimeMessage* part = new (std::nothrow) EMLMimeMessage;
    if (!part) return nullptr;
    part->ParseHeaders(bytes);
    part->ParseBodyAt(bytes, parentKind, depth);
    return part;
}

void EMLMimeMessage::FinishLeaf(std::string_view body, int32_t parentKind, int depth) {
    std::u16string_view contentType = FieldView(*this, u"content-type");
    std::u16string encoding(FieldView(*this, u"content-transfer-encoding"));
    for (auto& c : encoding) c = LMimeLowerAscii16(c);
    std::u16string_view enc = encoding;

    switch (kind) {
    case EMLMimeKindMessage:
        if (depth < EMLMimeMaxDepth) {
            ParseEmbedded(body, depth);
            return;
        }
        break;  // too deep to parse: kept as an attachment below
    case EMLMimeKindText:
    case EMLMimeKindHtml:
        FinishText(body, parentKind);
        return;
    default:
        break;
    }
    switch (kind) {
    case EMLMimeKindMessage:
    case EMLMimeKindImage:
    case EMLMimeKindAudio:
    case EMLMimeKindVideo:
    case EMLMimeKindApplication:
    case EMLMimeKindNamed:
    case EMLMimeKindNamedText:
    case EMLMimeKindOther: {
        if (body.empty()) return;
        EMLMimeAttachment* a = EMLMimeAddAttachment(body, contentType, enc, FieldView(*this, u"content-disposition"),
                                                    FieldView(*this, u"content-id"));
        if (a) {
            ListTail<EMLMimeAttachment>(attachments).Join(a);
            return;
        }
        break;
    }
    default:
        break;
    }
    // Multipart without a boundary, or an attachment we cannot decode: the
    // raw lines stay readable as text.
    std::string_view trimmed = TrimBodyEnd(body);
    size_t from = text.length;
    LStringAppendUtf8(text, trimmed.data(), trimmed.size());
    EMLMimeReplaceNul(text, from);
}

__attribute__((noinline)) void EMLMimeMessage::FinishText(std::string_view body, int32_t parentKind) {
    std::u16string_view contentType = FieldView(*this, u"content-type");
    std::u16string encoding(FieldView(*this, u"content-transfer-encoding"));
    for (auto& c : encoding) c = LMimeLowerAscii16(c);
    std::u16string_view enc = encoding;
    std::string_view trimmed = TrimBodyEnd(body);
    if (trimmed.empty()) return;
    char16_t charset[260];
    if (contentType.empty() || !EMLMimeHeaderParam(contentType, u"charset", charset) || !charset[0])
        std::memcpy(charset, u"US-ASCII", sizeof(u"US-ASCII"));
    LStringA decoded;
    std::string_view bytes = trimmed;
    if (enc.starts_with(u"quoted")) {
        EMLMimeDecodeQuotedPrintable(trimmed, decoded, false);
        bytes = decoded.View();
    } else if (enc.starts_with(u"base64")) {
        EMLMimeDecodeBase64(trimmed, decoded);
        bytes = decoded.View();
    }
    if (kind == EMLMimeKindHtml) {
        EMLMimeConvertCharset(bytes, charset, html);
        if (parentKind != EMLMimeKindAlternative) EMLMimeTextFromHtml(html, text);
        return;
    }
    // The line rules work on bytes whose line breaks are CR and LF: text in
    // UTF-16 or UTF-32 is made UTF-8 before them.
    LStringA utf8;
    if (EMLMimeCharsetIsWide(charset)) {
        LString wide;
        EMLMimeConvertCharset(bytes, charset, wide);
        LStringAAppendWide(utf8, wide.c_str(), wide.length);
        bytes = utf8.View();
        std::memcpy(charset, u"UTF-8", sizeof(u"UTF-8"));
    }
    char16_t format[260];
    bool flowed = !contentType.empty() && EMLMimeHeaderParam(contentType, u"format", format) &&
                  LMimeEqualsNoCase(format, "flowed");
    bool drop = parentKind == EMLMimeKindMixed || parentKind == EMLMimeKindAlternative;
    bool rewrap = enc.find(u"bit") != std::u16string_view::npos;
    LStringA lines;
    EMLMimeDecodeText(bytes, drop, rewrap, flowed, lines);
    EMLMimeConvertCharset(lines.View(), charset, text);
}

void EMLMimeMessage::MergeMixed(EMLMimeMessage* children) {
    ListTail<EMLMimeAttachment> attachmentsEnd(attachments);
    ListTail<EMLMimeMessage> embeddedEnd(embedded);
    for (EMLMimeMessage* c = children; c; c = c->next) {
        if (c->kind != EMLMimeKindMessage) {
            AppendMove(text, c->text);
            if (!c->html.IsEmpty()) {
                AppendMove(html, c->html);
                if (c->marker) marker = 1;
                if (text.IsEmpty()) EMLMimeTextFromHtml(html, text);
            }
            attachmentsEnd.Join(c->attachments);
        }
        embeddedEnd.Join(c->embedded);
    }
}

void EMLMimeMessage::MergeAlternative(EMLMimeMessage* children) {
    ListTail<EMLMimeAttachment> attachmentsEnd(attachments);
    for (EMLMimeMessage* c = children; c; c = c->next) {
        if (text.IsEmpty() || c->kind == EMLMimeKindText) text = std::move(c->text);
        if (html.IsEmpty() || c->kind == EMLMimeKindHtml) {
            html = std::move(c->html);
            marker = c->marker;
        }
        attachmentsEnd.Join(c->attachments);
    }
    if (!text.IsEmpty() && html.IsEmpty()) {
        LString subject;
        GetHeader(u"subject", subject);
        EMLMimeWrapTextAsXhtml(text, subject.c_str(), html);
    } else if (text.IsEmpty() && !html.IsEmpty()) {
        EMLMimeTextFromHtml(html, text);
    } else if (!text.IsEmpty()) {
        const LString* mailer = FindHeader(u"x-mailer");
        if (mailer && mailer->View().find(u"YMail") != std::u16string_view::npos) EMLMimeTextFromHtml(html, text);
    }
}
