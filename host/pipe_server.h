#pragma once
// The service's end of the desktop channel. An accept thread takes desktop
// connections on the service socket; each connection has a thread that only
// reads message headers. The message itself is carried out on the service
// main thread (Dispatch), one at a time, so the engine is driven from one
// thread only. Broadcasts send engine events and log lines to every desktop.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/service_engine.h"
#include "foundation/thread.h"
#include "host/pipe_message.h"
#include "platform/event.h"
#include "platform/unix_socket.h"
#include "web/server/engine_notifier.h"

class LServicePipeServer;

// Lives in the server's thread pool, which deletes it when Run returns.
class LServicePipeConnection : public LThread {
public:
    LServicePipeConnection(LServicePipeServer& server, LUnixSocket socket);
    ~LServicePipeConnection() override;

    // The header reader.
    void Run() override;
    // Carries out the waiting message, if any; service main thread only.
    void Dispatch();
    // Writes within ms; on failure the client's socket is shut down, which
    // ends its reader. Callers hold the server's write lock.
    bool Write(const void* bytes, size_t n, uint32_t ms);

private:
    void WriteReply(uint32_t answer, const void* payload, uint32_t length, uint32_t id);

    LServicePipeServer& server_;
    LUnixSocket socket_;
    std::atomic<bool> broken_{false};
    std::atomic<bool> pending_{false};
    LPipeHeader header_;
    LEvent done_{true, false};
};

// The accept thread; the control handler ends it with SignalStop.
class LServicePipeServer : public LThread, public LEngineNotifier {
public:
    LServicePipeServer();
    ~LServicePipeServer() override;

    // Opens the service socket; false when it cannot be made or another
    // service already serves it.
    bool CreatePipeInstance();
    // The accept loop.
    void Run() override;
    // Joins the accept thread and closes the listening socket.
    void StopAccepting();
    // Stops and deletes every connection thread.
    void StopAndDeleteAll() { pool_.StopAndDeleteAll(); }

    // Set when the accept thread has ended.
    LHandle EndedHandle() const { return ended_.Handle(); }
    LHandle WakeHandle() const { return wake_.Handle(); }
    bool WakeIsSet();
    // One dispatch pass over the clients in list order.
    void DispatchAll();

    // Whether any desktop is linked now.
    bool HasClients();
    void BroadcastLog(const char* time_text, const char* line_text, int level);
    void BroadcastEvent(uint32_t code, const void* data, uint32_t value);
    void Notify(uint32_t code, const void* data, uint32_t value) override { BroadcastEvent(code, data, value); }

    LServiceEngine& Engine() { return engine_; }
    // Used by connections.
    void Link(LServicePipeConnection* c);
    void Unlink(LServicePipeConnection* c);
    void Wake();
    std::recursive_mutex& WriteLock() { return write_lock_; }

private:
    void OnClientConnected(LUnixSocket socket);

    LServiceEngine engine_;
    LUnixSocket listener_;
    std::string path_;
    gid_t allowed_group_ = static_cast<gid_t>(-1);
    LEvent ended_{true, false};
    LEvent wake_{true, false};
    // Lock order: list lock, then write lock.
    std::recursive_mutex list_lock_;
    std::recursive_mutex write_lock_;
    std::vector<LServicePipeConnection*> clients_;  // newest first
    LThreadPool pool_;
};

// The server of this process while it exists (the log writer, the
// listening hook and the control handler reach it here).
LServicePipeServer* LServicePipeServerCurrent();
void LServicePipeServerSetCurrent(LServicePipeServer* server);
// Broadcasts through the current server, if any.
void LServicePipeBroadcastLog(const char* time_text, const char* line_text, int level);
void LServicePipeBroadcastEvent(uint32_t code, const void* data, uint32_t value);
// Whether a desktop is linked to the current server; false without one.
bool LServicePipeHasClients();
