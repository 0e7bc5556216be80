#pragma once
// The desktop's end of the service socket. It sends commands, yes/no
// queries and requests, and a reader thread receives replies, events and
// log lines. When the service goes away the reader reconnects every 100 ms
// until it is stopped. One proxy per desktop process.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "foundation/thread.h"
#include "host/pipe_message.h"
#include "platform/event.h"
#include "platform/unix_socket.h"

// Where the reader hands what the service sends. Called on the reader
// thread; the desktop's window moves events on to its own thread.
class LServiceEngineProxyOwner {
public:
    virtual ~LServiceEngineProxyOwner() = default;
    virtual void OnServiceLogLine(const std::string& time_text, const std::string& line_text, int level) = 0;
    virtual void OnServiceEvent(uint32_t code, const void* data, uint32_t value) = 0;
};

// What a query or request gives instead of the service's answer when there
// was none: the socket is refused or has ended (the service is not there),
// or the service took no turn at it in time (it is busy, e.g. starting its
// engine). The service's own answers are small numbers, never these.
constexpr uint32_t LProxyNotConnected = 0xFFFFFFFEu;
constexpr uint32_t LProxyNoAnswer = 0xFFFFFFFFu;

// The thread is the reader.
class LServiceEngineProxy : public LThread {
public:
    explicit LServiceEngineProxy(LServiceEngineProxyOwner* owner);
    // Clears the process-wide pointer first, then stops the reader.
    ~LServiceEngineProxy() override;

    // Opens the socket (waiting at most 3000 ms for it to appear) and
    // starts the reader. True when connected.
    bool Connect();
    // One command, no answer awaited. Without data and with a length, the
    // length travels as a plain number (type 0x8001).
    void Send(uint32_t code, const void* data, uint32_t length);
    // A yes/no query: 1 yes, 0 no; LProxyNoAnswer after 20000 ms without a
    // reply, LProxyNotConnected when the connection is refused or ends.
    uint32_t Query(uint32_t code);
    // A request with reply data: the answer (or one of the two above), and
    // the reply's payload.
    uint32_t Request(uint32_t code, std::string& reply);
    // The reader: replies, events and log lines; reconnects when the
    // service goes away.
    void Run() override;

    // The proxy of this process, or null (the web server tests it to know
    // whether it runs inside a desktop).
    static LServiceEngineProxy* Instance();

private:
    bool OpenSocket();
    bool WriteMessage(const LPipeHeader& h, const void* payload);
    uint32_t Ask(uint16_t type, uint32_t code, std::string* reply);
    void Handle(const LPipeHeader& h, unsigned char* payload);

    LServiceEngineProxyOwner* owner_;
    std::mutex write_lock_;
    LUnixSocket socket_;
    std::atomic<uint32_t> counter_{0};
    std::mutex reply_lock_;
    uint32_t answer_ = 0;
    std::string* reply_buffer_ = nullptr;
    LEvent reply_event_{true, false};
};

// Sends "a web listener is listening" to the desktops: through the proxy in
// a desktop process, through the socket server's broadcast in the service.
void LNotifyDesktopListening();
