#pragma once
// Per-IP rate limits of the web server: one table per purpose (connections,
// session loads, log-on attempts) counting events per IPv4 address in a short
// window of 30 seconds and a long one of 12 hours. Counts halve instead of
// resetting, so a burst fades over a few windows; addresses that recently
// loaded a session get five times the allowance; an address caught over a
// limit is pushed to eight times it. Fixed memory, no allocation, no lock:
// the fields are relaxed atomics, so concurrent updates may miscount but
// never tear, and every index comes from the key or a bounded loop.
#include <atomic>
#include <cstdint>

constexpr uint32_t LIPRateLimitBuckets = 64;
constexpr uint32_t LIPRateLimitEntries = 16;
constexpr uint32_t LIPRateLimitGoodEntries = 96;
constexpr uint32_t LIPRateLimitShortWindow = 30000;      // ms
constexpr uint32_t LIPRateLimitLongWindow = 43200000;    // 12 hours
constexpr uint32_t LIPRateLimitForget = 129600000;       // 36 hours
constexpr uint32_t LIPRateLimitGoodFactor = 5;
constexpr uint32_t LIPRateLimitPenaltyFactor = 8;

// Limits of the three tables: (short, long).
constexpr uint32_t LIPRateLimitConnectionsShort = 75, LIPRateLimitConnectionsLong = 3000;
constexpr uint32_t LIPRateLimitSessionsShort = 35, LIPRateLimitSessionsLong = 2000;
constexpr uint32_t LIPRateLimitLogonShort = 5, LIPRateLimitLogonLong = 25;

// A counter that threads share without a lock.
class LRelaxedU32 {
public:
    constexpr LRelaxedU32() = default;
    operator uint32_t() const { return v_.load(std::memory_order_relaxed); }
    LRelaxedU32& operator=(uint32_t x) {
        v_.store(x, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<uint32_t> v_{0};
};

struct LIPRateLimitEntry {
    LRelaxedU32 key;
    LRelaxedU32 short_count;
    LRelaxedU32 short_start;
    LRelaxedU32 long_count;
    LRelaxedU32 long_start;
};

struct LIPRateLimitGood {
    LRelaxedU32 key;
    LRelaxedU32 tick;
};

struct LIPRateLimitBucket {
    LIPRateLimitEntry entries[LIPRateLimitEntries];
    LIPRateLimitGood good[LIPRateLimitGoodEntries];
};

// The key of an address is its IPv4 address as a 32-bit integer whose lowest
// byte is the first octet (in_addr.s_addr on this platform): the bucket is
// the first octet modulo 64.
class LIPRateLimit {
public:
    constexpr LIPRateLimit() = default;
    LIPRateLimit(const LIPRateLimit&) = delete;
    LIPRateLimit& operator=(const LIPRateLimit&) = delete;

    static uint32_t BucketOf(uint32_t key) { return key & (LIPRateLimitBuckets - 1); }

    // The address's entry, recycling one (idle for 36 hours, else the one
    // whose short window started longest ago) when it has none.
    LIPRateLimitEntry& FindEntry(uint32_t bucket, uint32_t key);
    // Advances both windows and counts one event.
    LIPRateLimitEntry& CountHit(uint32_t bucket, uint32_t key);
    // True when the address is over a limit; counts nothing, but caps a
    // count caught over its limit or resets one whose window is long gone.
    static bool IsOverLimit(LIPRateLimit& table, uint32_t key, uint32_t short_limit, uint32_t long_limit);
    // Remembers the address as recently good.
    static void MarkGood(LIPRateLimit& table, uint32_t key);
    bool IsGood(uint32_t key) const;

    LIPRateLimitBucket buckets[LIPRateLimitBuckets];
};

// The three process-wide tables.
extern LIPRateLimit gIPRateLimitConnections;
extern LIPRateLimit gIPRateLimitSessions;
extern LIPRateLimit gIPRateLimitLogon;

// Counts one connection and tells whether the address is now over its limit
// (75 per 30 s and 3000 per 12 h; five times that for a recently good one).
bool LIPRateLimitConnection(uint32_t key);
bool LIPRateLimitConnection(LIPRateLimit& table, uint32_t key);
// The punishment of a bot probe: both counts raised to at least 4 and 16,
// then multiplied by 4.
void LIPRateLimitBotPenalty(LIPRateLimit& table, uint32_t key);
