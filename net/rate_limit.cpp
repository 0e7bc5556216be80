#include "net/rate_limit.h"

#include <algorithm>

#include "foundation/time_source.h"

LIPRateLimit gIPRateLimitConnections;
LIPRateLimit gIPRateLimitSessions;
LIPRateLimit gIPRateLimitLogon;

namespace {

LIPRateLimitEntry* FindExisting(LIPRateLimitBucket& b, uint32_t key) {
    for (auto& e : b.entries)
        if (e.key == key) return &e;
    return nullptr;
}

void Reset(LRelaxedU32& count, LRelaxedU32& start, uint32_t now) {
    count = 0;
    start = now;
}

}  // namespace

bool LIPRateLimit::IsGood(uint32_t key) const {
    for (const auto& g : buckets[BucketOf(key)].good)
        if (g.key == key) return true;
    return false;
}

LIPRateLimitEntry& LIPRateLimit::FindEntry(uint32_t bucket, uint32_t key) {
    LIPRateLimitBucket& b = buckets[bucket & (LIPRateLimitBuckets - 1)];
    if (LIPRateLimitEntry* e = FindExisting(b, key)) return *e;
    uint32_t now = LTickCount();
    LIPRateLimitEntry* victim = &b.entries[0];
    uint32_t oldest = 0;
    for (auto& e : b.entries) {
        uint32_t age = now - e.short_start;
        if (age > LIPRateLimitForget) {
            victim = &e;
            break;
        }
        if (age > oldest) {
            oldest = age;
            victim = &e;
        }
    }
    victim->key = key;
    Reset(victim->short_count, victim->short_start, now);
    Reset(victim->long_count, victim->long_start, now);
    return *victim;
}

LIPRateLimitEntry& LIPRateLimit::CountHit(uint32_t bucket, uint32_t key) {
    LIPRateLimitEntry& e = FindEntry(bucket, key);
    uint32_t now = LTickCount();
    uint32_t age = now - e.short_start;
    if (age >= LIPRateLimitShortWindow) {
        if (age < 3 * LIPRateLimitShortWindow) {
            e.short_count = e.short_count / 2;
            e.short_start = e.short_start + LIPRateLimitShortWindow;
        } else {
            Reset(e.short_count, e.short_start, now);
        }
    }
    e.short_count = e.short_count + 1;
    age = now - e.long_start;
    if (age >= LIPRateLimitLongWindow) {
        if (age < LIPRateLimitForget) {
            e.long_count = e.long_count / 2;
            e.long_start = e.long_start + LIPRateLimitLongWindow;
        } else {
            Reset(e.long_count, e.long_start, now);
        }
    }
    e.long_count = e.long_count + 1;
    return e;
}

bool LIPRateLimit::IsOverLimit(LIPRateLimit& table, uint32_t key, uint32_t short_limit, uint32_t long_limit) {
    LIPRateLimitEntry* e = FindExisting(table.buckets[BucketOf(key)], key);
    if (!e) return false;
    uint32_t f = table.IsGood(key) ? LIPRateLimitGoodFactor : 1;
    uint32_t now = LTickCount();
    if (e->long_count > f * long_limit) {
        if (now - e->long_start < LIPRateLimitForget) {
            e->long_count = std::min<uint32_t>(e->long_count, LIPRateLimitPenaltyFactor * f * long_limit);
            return true;
        }
        Reset(e->long_count, e->long_start, now);
    }
    if (e->short_count <= f * short_limit) return false;
    if (now - e->short_start < 3 * LIPRateLimitShortWindow) {
        e->short_count = std::min<uint32_t>(e->short_count, LIPRateLimitPenaltyFactor * f * short_limit);
        return true;
    }
    Reset(e->short_count, e->short_start, now);
    return false;
}

void LIPRateLimit::MarkGood(LIPRateLimit& table, uint32_t key) {
    LIPRateLimitBucket& b = table.buckets[BucketOf(key)];
    uint32_t now = LTickCount();
    LIPRateLimitGood* victim = &b.good[0];
    uint32_t oldest = 0;
    for (auto& g : b.good) {
        if (g.key == key) {
            g.tick = now;
            return;
        }
        uint32_t age = now - g.tick;
        if (age > oldest) {
            oldest = age;
            victim = &g;
        }
    }
    victim->key = key;
    victim->tick = now;
}

bool LIPRateLimitConnection(LIPRateLimit& table, uint32_t key) {
    LIPRateLimitEntry& e = table.CountHit(LIPRateLimit::BucketOf(key), key);
    uint32_t f = table.IsGood(key) ? LIPRateLimitGoodFactor : 1;
    uint32_t short_limit = f * LIPRateLimitConnectionsShort;
    uint32_t long_limit = f * LIPRateLimitConnectionsLong;
    if (e.short_count > short_limit) {
        e.short_count = std::min<uint32_t>(e.short_count, LIPRateLimitPenaltyFactor * short_limit);
        return true;
    }
    if (e.long_count > long_limit) {
        e.long_count = std::min<uint32_t>(e.long_count, LIPRateLimitPenaltyFactor * long_limit);
        return true;
    }
    return false;
}

bool LIPRateLimitConnection(uint32_t key) { return LIPRateLimitConnection(gIPRateLimitConnections, key); }

void LIPRateLimitBotPenalty(LIPRateLimit& table, uint32_t key) {
    LIPRateLimitEntry& e = table.FindEntry(LIPRateLimit::BucketOf(key), key);
    e.short_count = std::max<uint32_t>(e.short_count, 4) * 4;
    e.long_count = std::max<uint32_t>(e.long_count, 16) * 4;
}
