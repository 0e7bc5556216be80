#pragma once
// The bytes that travel between a desktop and the service over the service
// socket: a 16-byte little-endian header, then an optional payload. Pure
// code, so both ends and the tests share one reading of every field.
#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint16_t LPipeMagic = 0x1234;
constexpr size_t LPipeHeaderSize = 16;
// Bit 15 of the type: no payload follows, the length field is a plain number.
constexpr uint16_t LPipeNoPayloadBit = 0x8000;

// Message types.
constexpr uint16_t LPipeTypeCommand = 1;
constexpr uint16_t LPipeTypeCommandNumber = 0x8001;
constexpr uint16_t LPipeTypeQuery = 2;
constexpr uint16_t LPipeTypeRequest = 3;
constexpr uint16_t LPipeTypeEvent = 0x11;
constexpr uint16_t LPipeTypeReply = 0x12;
constexpr uint16_t LPipeTypeLogLine = 0x13;

// Query codes.
constexpr uint32_t LPipeQueryServiceThere = 0x100000F;
constexpr uint32_t LPipeQueryBindFailed = 0x1000011;
constexpr uint32_t LPipeQueryWebUp = 0x1000014;
// Request codes.
constexpr uint32_t LPipeRequestVersion = 0x1000010;
// Command codes.
constexpr uint32_t LPipeCommandWebSettingsChanged = 1;
constexpr uint32_t LPipeCommandDesktopReply = 2;
constexpr uint32_t LPipeCommandRestartBoth = 0x1000004;
constexpr uint32_t LPipeCommandRestartPlain = 0x1000005;
constexpr uint32_t LPipeCommandRestartSecure = 0x1000006;
// Event codes.
constexpr uint32_t LPipeEventListening = 0x1000013;

// The version reply: the program version and the language, terminated.
constexpr char LPipeVersionText[] = "2.01EN";
constexpr uint32_t LPipeVersionLength = sizeof LPipeVersionText;  // 7

// Payloads up to this size are read into a fixed buffer.
constexpr uint32_t LPipeFixedPayload = 8192;
// Larger payloads than this are refused: no message of the channel comes
// near it, and the length field must not make a reader allocate 4 GiB.
constexpr uint32_t LPipeMaxPayload = 65536;

// Time limits in milliseconds.
constexpr uint32_t LPipePayloadReadMs = 10000;
constexpr uint32_t LPipeWriteMs = 15000;
constexpr uint32_t LPipeBroadcastWriteMs = 1000;

struct LPipeHeader {
    uint16_t magic = LPipeMagic;
    uint16_t type = 0;
    uint32_t code = 0;
    uint32_t length = 0;
    uint32_t id = 0;

    bool HasPayload() const { return (type & LPipeNoPayloadBit) == 0 && length != 0; }
};

void LPipeHeaderEncode(const LPipeHeader& h, unsigned char out[LPipeHeaderSize]);
LPipeHeader LPipeHeaderDecode(const unsigned char in[LPipeHeaderSize]);

// A log-line payload: the time text cut to 259 bytes and the line text, each
// with its terminator. The header's length is the payload size and its id
// the size of the time part with its terminator.
struct LPipeLogLine {
    std::string payload;
    uint32_t time_size = 0;
};
LPipeLogLine LPipeLogLineBuild(const char* time_text, const char* line_text);

// Splits a received log-line payload at the header's id (1 when 0, lowered
// to length - 1 when not smaller). Both texts are forced to end inside the
// payload, whatever the sender wrote. False when the payload is too short.
bool LPipeLogLineSplit(unsigned char* payload, uint32_t length, uint32_t split, std::string& time_text,
                       std::string& line_text);

// The reply block of a desktop request.
constexpr uint32_t LDesktopReplyBlockSize = 8456;
constexpr size_t LDesktopReplyMessageSize = 256;
constexpr size_t LDesktopReplyDetailSize = 8192;

struct LDesktopReply {
    uint32_t id = 0;
    bool ok = false;
    std::string message;
    std::string detail;
};
// Texts longer than their fields are cut so the terminator always fits.
void LDesktopReplyEncode(const LDesktopReply& r, unsigned char out[LDesktopReplyBlockSize]);
