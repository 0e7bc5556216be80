#pragma once
// One thread per accepted connection: it runs the TLS handshake on the
// secure port and then serves the connection's requests. It belongs to its
// listener's pool, which deletes it when its Run returns (or stops and
// deletes it when the listener goes); nobody else ever frees it.
#include <cstdint>
#include <string>

#include "foundation/thread.h"
#include "net/crypto_socket.h"
#include "web/http/connection_limit.h"
#include "web/http/weblet.h"

class LWebletConnectionThread : public LThread, public LWebletConnection {
public:
    // Plain: takes over the accepted socket.
    LWebletConnectionThread(LSocket socket, uint32_t peer_ip, const std::string& web_folder);
    // TLS: takes over the record (socket and certificate); the handshake runs
    // on the new thread.
    LWebletConnectionThread(LCryptoSocket& record, uint32_t peer_ip, const std::string& web_folder);
    ~LWebletConnectionThread() override;

    void Run() override;

    uint32_t ReceiveSome(void* buffer, size_t n, size_t* count, uint32_t timeout_ms) override;
    size_t HeldBytes() override;
    uint32_t Send(const void* data, size_t n, uint32_t timeout_ms) override;
    bool IsSecure() const override { return secure_; }
    LTaskProgress& Progress() override { return *this; }
    void SetLastError(const char16_t* text) override;
    // The progress interface's error slot keeps the text instead of showing it.
    void ShowError(const char16_t* text) override { SetLastError(text); }

    uint32_t peer_ip;
    char16_t last_error[260] = {0};
    // The connection's place among its listener's open connections, given
    // back when the thread goes.
    LWebConnectionSlot slot;

private:
    LCryptoSocket record_;
    bool secure_;
    std::string web_folder_;
};
