// Quoted-printable and base64 content decoding for the MIME parser.
#include "foundation/base64.h"
#include "net/mime/mime_message.h"

namespace {

int Hex(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

size_t EMLMimeDecodeQuotedPrintable(std::string_view in, LStringA& out, bool headerMode) {
    const uint64_t before = out.length;
    out.Reserve(out.length + in.size() + 1);
    const size_t n = in.size();
    size_t i = 0;
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        if (c == '=') {
            // Soft line break: "=" with optional trailing blanks, then CR LF or LF.
            size_t j = i + 1;
            while (j < n && (in[j] == ' ' || in[j] == '\t')) ++j;
            if (j < n && (in[j] == '\r' || in[j] == '\n')) {
                i = j + ((in[j] == '\r' && j + 1 < n && in[j + 1] == '\n') ? 2 : 1);
                continue;
            }
            if (j == n) break;
            int hi = i + 1 < n ? Hex(in[i + 1]) : -1;
            int lo = i + 2 < n ? Hex(in[i + 2]) : -1;
            if (hi >= 0 && lo >= 0) {
                out.PutUnit(char(hi * 16 + lo));
                i += 3;
                continue;
            }
            // Not an escape: keep the '=' as written rather than invent a byte.
            out.PutUnit('=');
            ++i;
            continue;
        }
        out.PutUnit(headerMode && c == '_' ? ' ' : char(c));
        ++i;
    }
    out.Terminate();
    return out.length - before;
}

void EMLMimeDecodeBase64(std::string_view in, LStringA& out) {
    LHeapBlock block;
    size_t n = LBase64Decode(in.data(), in.size(), block);
    if (n) out.AppendBytes(block.block, n);
    out.Terminate();
}
