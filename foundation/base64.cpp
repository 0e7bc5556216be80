#include "foundation/base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kGroupsPerLine = 19;  // 76 characters

template <class Put>
void Encode(const unsigned char* p, size_t count, uint32_t flags, Put&& put) {
    size_t full = count / 3;
    for (size_t g = 0; g < full; ++g, p += 3) {
        uint32_t v = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
        put(kAlphabet[v >> 18]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put(kAlphabet[v & 63]);
        if ((g + 1) % kGroupsPerLine == 0 && !(flags & LBase64NoLineBreaks)) {
            put('\r');
            put('\n');
        }
    }
    size_t r = count % 3;
    if (!r) return;
    uint32_t v = uint32_t(p[0]) << 16;
    if (r == 2) v |= uint32_t(p[1]) << 8;
    put(kAlphabet[v >> 18]);
    put(kAlphabet[(v >> 12) & 63]);
    if (r == 2) put(kAlphabet[(v >> 6) & 63]);
    if (!(flags & LBase64NoFill))
        for (size_t i = r; i < 3; ++i) put('=');
}

int Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

size_t LBase64EncodedLength(size_t count, uint32_t flags) {
    size_t full = count / 3, r = count % 3;
    size_t n = full * 4;
    if (r) n += (flags & LBase64NoFill) ? r + 1 : 4;
    if (!(flags & LBase64NoLineBreaks)) n += 2 * (full / kGroupsPerLine);
    return n;
}

void LBase64Encode(const void* bytes, size_t count, LString& out, uint32_t flags) {
    if (count == 0 && (flags & LBase64NoLineBreaks)) return;
    out.Clear();
    out.Reserve(LBase64EncodedLength(count, flags) + 1);
    LBase64EncodeCore(bytes, count, out, flags);
}

void LBase64EncodeCore(const void* bytes, size_t count, LString& out, uint32_t flags) {
    out.Reserve(out.length + LBase64EncodedLength(count, flags) + 1);
    Encode(static_cast<const unsigned char*>(bytes), count, flags, [&](char c) { out.PutUnit(c); });
    out.Terminate();
}

void LBase64EncodeA(const void* bytes, size_t count, LStringA& out) {
    out.Reserve(out.length + LBase64EncodedLength(count, 0) + 1);
    Encode(static_cast<const unsigned char*>(bytes), count, 0, [&](char c) { out.PutUnit(c); });
    out.Terminate();
}

void LBase64EncodeW260(const void* bytes, size_t count, char16_t* out260, uint32_t flags) {
    LFormatBuffer out(out260);
    LBase64EncodeWCore(bytes, count, out, flags);
}

void LBase64EncodeWCore(const void* bytes, size_t count, LFormatBuffer& out, uint32_t flags) {
    // Only what fits is encoded: a long input must not cost a full pass.
    size_t room = (out.capacity - out.count) / 4 * 3 + 3;
    if (count > room) count = room - room % 3;
    Encode(static_cast<const unsigned char*>(bytes), count, flags, [&](char c) { out.Put(c); });
    out.Terminate();
}

size_t LBase64Decode(const char* text, size_t n, LHeapBlock& out) {
    if (!text || n == 0 || !*text) return 0;
    auto* dst = static_cast<unsigned char*>(out.Reallocate((n + 3) / 4 * 3));
    if (!dst) return 0;
    size_t count = 0;
    uint32_t acc = 0;
    int have = 0;
    for (size_t i = 0; i < n && text[i]; ++i) {
        int v = Value(static_cast<unsigned char>(text[i]));
        if (v < 0) continue;
        acc = (acc << 6) | uint32_t(v);
        if (++have == 4) {
            dst[count++] = static_cast<unsigned char>(acc >> 16);
            dst[count++] = static_cast<unsigned char>(acc >> 8);
            dst[count++] = static_cast<unsigned char>(acc);
            acc = 0;
            have = 0;
        }
    }
    if (have >= 2) {
        acc <<= 6 * (4 - have);
        dst[count++] = static_cast<unsigned char>(acc >> 16);
        if (have == 3) dst[count++] = static_cast<unsigned char>(acc >> 8);
    }
    return count;
}
