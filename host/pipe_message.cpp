#include "host/pipe_message.h"

#include <cstring>

namespace {

void Put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void Put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Get32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Copies a text into a fixed field, cut so that its terminator fits.
void PutField(unsigned char* field, size_t size, const std::string& text) {
    size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

}  // namespace

void LPipeHeaderEncode(const LPipeHeader& h, unsigned char out[LPipeHeaderSize]) {
    Put16(out, h.magic);
    Put16(out + 2, h.type);
    Put32(out + 4, h.code);
    Put32(out + 8, h.length);
    Put32(out + 12, h.id);
}

LPipeHeader LPipeHeaderDecode(const unsigned char in[LPipeHeaderSize]) {
    LPipeHeader h;
    h.magic = Get16(in);
    h.type = Get16(in + 2);
    h.code = Get32(in + 4);
    h.length = Get32(in + 8);
    h.id = Get32(in + 12);
    return h;
}

LPipeLogLine LPipeLogLineBuild(const char* time_text, const char* line_text) {
    LPipeLogLine l;
    size_t tn = time_text ? std::strlen(time_text) : 0;
    if (tn > 259) tn = 259;
    l.payload.assign(time_text ? time_text : "", tn);
    l.payload.push_back('\0');
    l.time_size = static_cast<uint32_t>(l.payload.size());
    if (line_text) l.payload.append(line_text);
    l.payload.push_back('\0');
    return l;
}

bool LPipeLogLineSplit(unsigned char* payload, uint32_t length, uint32_t split, std::string& time_text,
                       std::string& line_text) {
    if (!payload || length < 2) return false;
    if (split == 0) split = 1;
    if (split >= length) split = length - 1;
    payload[split - 1] = 0;
    payload[length - 1] = 0;
    const char* t = reinterpret_cast<const char*>(payload);
    size_t tn = std::strlen(t);
    if (tn > 259) tn = 259;
    time_text.assign(t, tn);
    line_text.assign(reinterpret_cast<const char*>(payload + split));
    return true;
}

void LDesktopReplyEncode(const LDesktopReply& r, unsigned char out[LDesktopReplyBlockSize]) {
    Put32(out, r.id);
    Put32(out + 4, r.ok ? 1 : 0);
    PutField(out + 8, LDesktopReplyMessageSize, r.message);
    PutField(out + 8 + LDesktopReplyMessageSize, LDesktopReplyDetailSize, r.detail);
}
