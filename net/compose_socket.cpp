// The composer on an SMTP connection.
#include "net/compose.h"
#include "net/crypto_socket.h"

namespace {

class LCryptoSocketWriter : public LMimeWriter {
public:
    explicit LCryptoSocketWriter(LCryptoSocket& socket) : socket_(socket) {}
    uint32_t Send(LTaskProgress& progress, const char* data, size_t n, uint32_t timeoutMs) override {
        LNetOpResult result;
        return socket_.Send(result, progress, data, n, timeoutMs);
    }

private:
    LCryptoSocket& socket_;
};

}  // namespace

uint32_t LSmtpSendMessageContent(LTaskProgress& progress, const LSmtpMessage& message, LCryptoSocket& conn,
                                 const char16_t* fromAddress) {
    LCryptoSocketWriter writer(conn);
    return LSmtpSendMessageContent(progress, message, static_cast<LMimeWriter&>(writer), fromAddress);
}
