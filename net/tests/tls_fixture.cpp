#include "net/tests/tls_fixture.h"

#include <arpa/inet.h>

#include <filesystem>

std::string TlsTest::Logs() {
    std::string all;
    std::error_code ec;
    for (const auto& f : std::filesystem::directory_iterator(root_.DataFolder() + "/Logs", ec))
        all += LTestReadFile(f.path().string());
    return all;
}

OneConnectionServer::OneConnectionServer(LCertificateContext cert, std::function<void(LCryptoSocket&)> body) {
    listener_.Reset(LPlatformSocketListen(htonl(INADDR_LOOPBACK), 0, 4));
    port_ = ntohs(LPlatformSocketLocalPort(listener_.Get()));
    thread_ = std::thread([this, cert, body] {
        if (LPlatformSocketWaitReadable(listener_.Get(), 20000) != 1) return;
        LCryptoSocket record;
        record.socket = LPlatformSocketAccept(listener_.Get(), nullptr, nullptr, 0, 0);
        record.certificate = cert;
        if (record.socket != LInvalidSocket) body(record);
    });
}
