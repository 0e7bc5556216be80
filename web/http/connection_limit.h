#pragma once
// The open connections of a listener, counted per address and in all. The
// per-IP limits count new connections; these count the ones still open, so
// that one address keeping its connections alive cannot hold every thread
// and descriptor of the server while other clients wait.
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

// More than the 75 new connections per 30 seconds the per-IP limit lets an
// address make, so that a burst is judged by that limit; far more than a
// browser and a few AI clients on one machine keep open.
constexpr uint32_t LWebMaxConnectionsPerAddress = 96;
// One thread and a few descriptors each.
constexpr uint32_t LWebMaxConnections = 512;

class LWebConnectionLimit {
public:
    LWebConnectionLimit(uint32_t per_address, uint32_t total) : per_address_(per_address), total_(total) {}
    LWebConnectionLimit(const LWebConnectionLimit&) = delete;
    LWebConnectionLimit& operator=(const LWebConnectionLimit&) = delete;

    // Counts one more open connection of the address; false, counting
    // nothing, when the address or the listener holds its most. The first
    // refusal of a spell is logged, the rest are not.
    bool Admit(uint32_t ip);
    void Release(uint32_t ip);

private:
    struct Entry {
        uint32_t open = 0;
        bool logged = false;
    };
    const uint32_t per_address_;
    const uint32_t total_;
    std::mutex lock_;
    std::unordered_map<uint32_t, Entry> open_;
    uint32_t total_open_ = 0;
    bool total_logged_ = false;
};

// One admitted connection, given back when the slot goes. The slot shares
// the limit: a connection thread that ends on its own may give its place
// back after its listener is gone.
class LWebConnectionSlot {
public:
    LWebConnectionSlot() = default;
    // Admits the connection; an empty slot when it is refused.
    LWebConnectionSlot(const std::shared_ptr<LWebConnectionLimit>& limit, uint32_t ip);
    LWebConnectionSlot(LWebConnectionSlot&& other) noexcept;
    LWebConnectionSlot& operator=(LWebConnectionSlot&& other) noexcept;
    ~LWebConnectionSlot() { Reset(); }
    explicit operator bool() const { return limit_ != nullptr; }

private:
    void Reset();
    std::shared_ptr<LWebConnectionLimit> limit_;
    uint32_t ip_ = 0;
};
