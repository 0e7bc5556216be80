// One outgoing message as MIME text after SMTP DATA: the header block, a
// text/plain body and, with attachments, multipart/mixed with base64 parts.
#include <cstring>
#include <cctype>
#include <string>
#include <vector>

#include "net/mime/address.h"
#include "net/mime/compose.h"

namespace {

constexpr uint32_t kHeaderTimeout = 20000;
constexpr uint32_t kBodyTimeout = 30000;
constexpr size_t kMaxBodyLine = 700;
constexpr size_t kSendChunk = 65536;

uint32_t SendText(LTaskProgress& progress, LMimeWriter& conn, const std::string& s, uint32_t timeout) {
    return conn.Send(progress, s.data(), s.size(), timeout);
}

std::string Utf8Stripped(const char16_t* text) {
    std::string s = LToUtf8(text ? text : u"");
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != '\r' && c != '\n') out.push_back(c);
    return out;
}

bool IsAsciiPrintable(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c >= 0x7F) return false;
    return true;
}

// A display name as a header phrase: encoded words when it is not ASCII, a
// quoted string when it holds characters that would end the phrase.
std::string DisplayName(const std::string& name) {
    if (!IsAsciiPrintable(name)) {
        char buf[780];
        LMimeEncodeWords(buf, name.c_str(), sizeof(buf), " ");
        return buf;
    }
    if (name.find_first_of("()<>[]:;@\\,.\"") == std::string::npos) return name;
    std::string q = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') q.push_back('\\');
        q.push_back(c);
    }
    return q + "\"";
}

// The name and filename parameters of an attachment: plain when they can
// stand inside double quotes, else RFC 2047 words for name= and RFC 2231
// for filename*= (in pieces, so no header line grows long).
void AttachmentNameParams(const std::string& name, std::string& typeParam, std::string& dispositionParam) {
    bool plain = IsAsciiPrintable(name) && name.find_first_of("\"\\") == std::string::npos;
    if (plain) {
        typeParam = "name=\"" + name + "\"";
        dispositionParam = "filename=\"" + name + "\"";
        return;
    }
    char words[780];
    LMimeEncodeWords(words, name.c_str(), sizeof(words), " ");
    typeParam = std::string("name=\"") + words + "\"";
    static const char* hex = "0123456789ABCDEF";
    std::string encoded;
    std::vector<std::string> pieces;
    for (size_t i = 0; i < name.size();) {
        size_t seq = 1;
        unsigned char lead = static_cast<unsigned char>(name[i]);
        if ((lead & 0xE0) == 0xC0) seq = 2;
        else if ((lead & 0xF0) == 0xE0) seq = 3;
        else if ((lead & 0xF8) == 0xF0) seq = 4;
        std::string piece;
        for (size_t k = 0; k < seq && i + k < name.size(); ++k) {
            unsigned char c = static_cast<unsigned char>(name[i + k]);
            bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                      c == '-' || c == '_';
            if (ok) piece.push_back(char(c));
            else piece += {'%', hex[c >> 4], hex[c & 15]};
        }
        if (encoded.size() + piece.size() > 60) {
            pieces.push_back(encoded);
            encoded.clear();
        }
        encoded += piece;
        i += seq;
    }
    pieces.push_back(encoded);
    dispositionParam.clear();
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i) dispositionParam += ";\r\n ";
        dispositionParam += "filename*" + std::to_string(i) + "*=" + (i == 0 ? "utf-8''" : "") + pieces[i];
    }
}

const char* AttachmentType(const std::string& name) {
    size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".wav") return "audio/wav";
    if (ext == ".mp3") return "audio/mpeg";
    return "application/octet-stream";
}

// Body lines for SMTP DATA: every line break becomes CR LF, lines longer than
// 700 bytes are cut (after a blank when there is one, never inside a UTF-8
// character), and every line that begins with '.' is stuffed, the last one
// included, so the server never sees the end of data early.
class BodyLines {
public:
    BodyLines(LTaskProgress& progress, LMimeWriter& conn) : progress_(progress), conn_(conn) {}

    uint32_t Line(std::string_view line, bool lineBreak) {
        while (line.size() > kMaxBodyLine) {
            size_t cut = line.substr(0, kMaxBodyLine).rfind(' ');
            if (cut == std::string_view::npos || cut == 0) {
                cut = kMaxBodyLine;
                while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
            } else {
                ++cut;
            }
            if (uint32_t r = Piece(line.substr(0, cut), true)) return r;
            line.remove_prefix(cut);
        }
        return Piece(line, lineBreak);
    }

    uint32_t Flush() {
        if (pending_.empty()) return 0;
        uint32_t r = conn_.Send(progress_, pending_.data(), pending_.size(), kBodyTimeout);
        pending_.clear();
        return r;
    }

private:
    uint32_t Piece(std::string_view piece, bool lineBreak) {
        if (!piece.empty() && piece.front() == '.') pending_.push_back('.');
        pending_.append(piece);
        if (lineBreak) pending_.append("\r\n");
        return pending_.size() >= kSendChunk ? Flush() : 0;
    }

    LTaskProgress& progress_;
    LMimeWriter& conn_;
    std::string pending_;
};

}  // namespace

uint32_t LSmtpSendBodyText(LTaskProgress& progress, LMimeWriter& conn, const char16_t* body) {
    std::string text = LToUtf8(body ? body : u"");
    BodyLines lines(progress, conn);
    std::string_view rest = text;
    while (!rest.empty()) {
        size_t end = rest.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            if (uint32_t r = lines.Line(rest, false)) return r;
            break;
        }
        if (uint32_t r = lines.Line(rest.substr(0, end), true)) return r;
        size_t skip = (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') ? 2 : 1;
        rest.remove_prefix(end + skip);
    }
    return lines.Flush();
}

uint32_t LSmtpSendTextPart(LTaskProgress& progress, LMimeWriter& conn, const char16_t* body) {
    static const char kHead[] = "Content-Type: text/plain; charset=\"utf-8\"\r\n\r\n";
    if (uint32_t r = conn.Send(progress, kHead, sizeof(kHead) - 1, kHeaderTimeout)) return r;
    return LSmtpSendBodyText(progress, conn, body);
}

uint32_t LSmtpSendMessageContent(LTaskProgress& progress, const LSmtpMessage& message, LMimeWriter& conn,
                                 const char16_t* fromAddress) {
    progress.SetProgress(0.2);
    progress.SetStatusText(u"Sending Message Text", 1);

    // Addresses are checked before they go into the header, so that nothing
    // a caller passed can add header lines or break the address syntax.
    const char16_t* from = fromAddress ? fromAddress : u"";
    if ((from[0] && !LEmailAddressIsValid(from)) || !LEmailAddressListIsValid(message.to)) {
        progress.ShowError(u"Invalid sender or recipient e-mail address.");
        return 2;
    }
    const char16_t* replyToW = message.replyTo && message.replyTo[0] ? message.replyTo : from;
    if (replyToW[0] && !LEmailAddressListIsValid(replyToW)) {
        progress.ShowError(u"Invalid Reply-To e-mail address.");
        return 2;
    }

    char date[260];
    LEmailFormatDate(date);
    std::string fromA = Utf8Stripped(from);
    std::string name = Utf8Stripped(message.senderName);
    std::string fromHeader = name.empty() ? fromA : DisplayName(name) + " <" + fromA + ">";
    std::string subject = Utf8Stripped(message.subject);
    char subjectEncoded[780];
    LMimeEncodeHeaderWord(subjectEncoded, subject.c_str(), sizeof(subjectEncoded));

    std::string head;
    head += "MIME-Version: 1.0\r\n";
    head += "From: " + fromHeader + "\r\n";
    head += "To: " + Utf8Stripped(message.to) + "\r\n";
    head += std::string("Subject: ") + subjectEncoded + "\r\n";
    head += std::string("Date: ") + date + "\r\n";
    head += "Reply-To: " + Utf8Stripped(replyToW) + "\r\n";
    head += "X-Mailer: Porlinex https://porlinex.org\r\n";
    if (uint32_t r = SendText(progress, conn, head, kHeaderTimeout)) return r;

    if (message.attachmentCount == 0 || !message.attachmentPaths) return LSmtpSendTextPart(progress, conn, message.body);

    LStringA boundary("gc0p4Jq0M2Yt08jU534c");
    std::string bodyUtf8 = LToUtf8(message.body ? message.body : u"");
    LMimeMakeBoundaryUnique(bodyUtf8, boundary);
    std::string b = boundary.Str();
    if (uint32_t r = SendText(progress, conn,
                              "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n--" + b + "\r\n",
                              kHeaderTimeout))
        return r;
    if (uint32_t r = LSmtpSendTextPart(progress, conn, message.body)) return r;

    progress.SetProgress(0.3);
    progress.SetStatusText(u"Sending Message Attachment(s)", 1);
    const uint64_t n = message.attachmentCount;
    for (uint64_t i = 0; i < n; ++i) {
        const char16_t* path = message.attachmentPaths[i] ? message.attachmentPaths[i] : u"";
        std::u16string_view p = path;
        size_t slash = p.find_last_of(u"/\\");
        std::u16string_view file = slash == p.npos ? p : p.substr(slash + 1);
        if (p.size() == 2 && p[1] == u':') file = {};
        std::string fileName = LToUtf8(std::u16string(file.substr(0, 259)).c_str());
        std::string typeParam, dispositionParam;
        AttachmentNameParams(fileName, typeParam, dispositionParam);
        std::string part = "\r\n--" + b + "\r\nContent-Type: " + AttachmentType(fileName) + "; " + typeParam +
                           "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; " +
                           dispositionParam + "\r\n\r\n";
        if (uint32_t r = SendText(progress, conn, part, kHeaderTimeout)) return r;
        double base = 0.3 + 0.6 * double(i) / double(n);
        if (uint32_t r = LSmtpSendFileBase64(progress, conn, path, base, 0.6 / double(n))) return r;
    }
    return SendText(progress, conn, "\r\n--" + b + "--\r\n", kHeaderTimeout);
}
