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
// run far past the 259 units that a single value is kept to.
std::u16string_view FieldView(const EMLMimeMessage& m, std::u16string_view name) {
    const LString* v = m.FindHeader(name);
    return v ? v->View() : std::u16string_view();
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

template <class T>
void AppendList(T*& head, T*& more) {
    if (!more) return;
    T** tail = &head;
    while (*tail) tail = &(*tail)->next;
    *tail = more;
    more = nullptr;
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
    ParseBody(cursor, parentKind);
}

void EMLMimeMessage::ParseBody(std::string_view& cursor, int32_t parentKind) {
    text.Clear();
    html.Clear();
    FreeAttachments(attachments);

    std::u16string_view contentType = FieldView(*this, u"content-type");
    kind = EMLMimeContentKind(contentType);

    std::string delimiter;
    if (IsMultipartKind(kind) && !contentType.empty()) {
        char16_t boundary[260];
        if (EMLMimeHeaderParam(contentType, u"boundary", boundary) && boundary[0]) {
            delimiter = "--";
            delimiter += LToUtf8(boundary);
        }
    }

    std::string_view body = cursor;
    cursor = {};
    if (delimiter.empty()) {
        FinishLeaf(body, parentKind);
        return;
    }

    // Parts are views of the message bytes: a part runs from the line after
    // one delimiter line to the line break before the next, which RFC 2046
    // counts as part of the delimiter.
    EMLMimeMessage* children = nullptr;
    EMLMimeMessage** tail = &children;
    auto addChild = [&](std::string_view part) {
        if (!LMimeHasNonBlank(part)) return;
        EMLMimeMessage* child = new (std::nothrow) EMLMimeMessage;
        if (!child) return;
        std::string_view c = part;
        child->ParseHeaders(c);
        child->ParseBody(c, kind);
        *tail = child;
        tail = &child->next;
    };
    const char* partStart = nullptr;
    const char* prevLineEnd = body.data();
    bool closed = false;
    std::string_view rest = body, line;
    while (LMimeNextLine(rest, line)) {
        if (line.starts_with(delimiter)) {
            if (partStart) addChild(std::string_view(partStart, prevLineEnd > partStart ? prevLineEnd - partStart : 0));
            if (line.substr(delimiter.size()).starts_with("--")) {
                closed = true;
                break;
            }
            partStart = rest.data();
        }
        prevLineEnd = line.data() + line.size();
    }
    // A message cut short (no closing delimiter) still keeps its last part.
    if (!closed && partStart) addChild(std::string_view(partStart, body.data() + body.size() - partStart));

    if (kind == EMLMimeKindAlternative) MergeAlternative(children);
    else MergeMixed(children);
    FreeParts(children);
}

void EMLMimeMessage::FinishLeaf(std::string_view body, int32_t parentKind) {
    std::u16string_view contentType = FieldView(*this, u"content-type");
    std::u16string encoding(FieldView(*this, u"content-transfer-encoding"));
    for (auto& c : encoding) c = LMimeLowerAscii16(c);
    std::u16string_view enc = encoding;
    while (!enc.empty() && enc.front() <= u' ') enc.remove_prefix(1);
    while (!enc.empty() && enc.back() <= u' ') enc.remove_suffix(1);

    switch (kind) {
    case EMLMimeKindMessage:
        if (LMimeHasNonBlank(body)) {
            EMLMimeMessage* inner = new (std::nothrow) EMLMimeMessage;
            if (inner) {
                inner->Parse(body, EMLMimeKindOther);
                EMLMimeMessage* one = inner;
                AppendList(embedded, one);
            }
        }
        return;
    case EMLMimeKindText:
    case EMLMimeKindHtml: {
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
        if (kind == EMLMimeKindText) {
            char16_t format[260];
            bool flowed = !contentType.empty() && EMLMimeHeaderParam(contentType, u"format", format) &&
                          LMimeEqualsNoCase(format, "flowed");
            bool drop = parentKind == EMLMimeKindMixed || parentKind == EMLMimeKindAlternative;
            bool rewrap = enc.find(u"bit") != std::u16string_view::npos;
            LStringA lines;
            EMLMimeDecodeText(bytes, drop, rewrap, flowed, lines);
            EMLMimeConvertCharset(lines.View(), charset, text);
        } else {
            EMLMimeConvertCharset(bytes, charset, html);
            if (parentKind != EMLMimeKindAlternative) EMLMimeTextFromHtml(html, text);
        }
        return;
    }
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
            AppendList(attachments, a);
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
    LStringAppendUtf8(text, trimmed.data(), trimmed.size());
}

void EMLMimeMessage::MergeMixed(EMLMimeMessage* children) {
    for (EMLMimeMessage* c = children; c; c = c->next) {
        if (c->kind != EMLMimeKindMessage) {
            AppendMove(text, c->text);
            if (!c->html.IsEmpty()) {
                AppendMove(html, c->html);
                if (c->marker) marker = 1;
                if (text.IsEmpty()) EMLMimeTextFromHtml(html, text);
            }
            AppendList(attachments, c->attachments);
        }
        AppendList(embedded, c->embedded);
    }
}

void EMLMimeMessage::MergeAlternative(EMLMimeMessage* children) {
    for (EMLMimeMessage* c = children; c; c = c->next) {
        if (text.IsEmpty() || c->kind == EMLMimeKindText) text = std::move(c->text);
        if (html.IsEmpty() || c->kind == EMLMimeKindHtml) {
            html = std::move(c->html);
            marker = c->marker;
        }
        AppendList(attachments, c->attachments);
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
