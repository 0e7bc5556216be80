#pragma once
// The route registry: page routes (GET, and POST when no JSON route has the
// name) and JSON routes (POST only, body parsed as JSON). Routes register
// from static initialisers in the source file of each feature, so the maps
// are complete before main runs and are read without a lock afterwards.
#include <atomic>
#include <cstddef>
#include <cstdint>

class Weblet;
class LJsonValue;
struct LWebletRoute;

using LWebletPageHandler = void (*)(Weblet& request, LWebletRoute* route, uint64_t start_tick);
using LWebletJsonHandler = void (*)(Weblet& request, LJsonValue& body);
// A raw POST route reads its body itself (a protocol with its own rules for
// bodies that do not parse); every other method on it is answered 405.
using LWebletRawHandler = void (*)(Weblet& request, const char* body, size_t n);

struct LWebletRoute {
    const char16_t* name;
    LWebletPageHandler page_handler = nullptr;
    LWebletJsonHandler json_handler = nullptr;
    LWebletRawHandler raw_handler = nullptr;
    uint32_t load_session = 0;
    // Statistics for the metrics pages, updated by every connection thread
    // at once: relaxed atomics (no figure depends on another's order) and
    // 64 bits wide, so that no counter wraps in a long-running service.
    std::atomic<uint64_t> call_count{0};
    std::atomic<uint64_t> total_ms{0};
    std::atomic<uint64_t> bytes_in{0};
    std::atomic<uint64_t> bytes_out{0};
    // Sets all four to 0 (the metrics reset).
    void ResetStats();
};

// Both return the route node (never freed); a second registration of a
// name replaces the handler of the first.
LWebletRoute* LWebletRegisterRoute(const char16_t* name, LWebletPageHandler handler, uint32_t load_session);
LWebletRoute* LWebletRegisterJsonRoute(const char16_t* name, LWebletJsonHandler handler, uint32_t load_session);
// Kept among the JSON routes: a POST finds it like one.
LWebletRoute* LWebletRegisterRawPostRoute(const char16_t* name, LWebletRawHandler handler, uint32_t load_session);

// Lookup by route key: POST looks among the JSON routes first, then the
// page routes; GET only among the page routes. Null when none.
LWebletRoute* LWebletFindRoute(const char16_t* key, bool is_post);
// The raw POST route of that key, for the methods it refuses; null when none.
LWebletRoute* LWebletFindRawPostRoute(const char16_t* key);

// Calls every route node of both maps (metrics pages).
void LWebletForEachRoute(void (*visit)(LWebletRoute* route, bool json, void* context), void* context);
