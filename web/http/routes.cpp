#include "web/http/routes.h"

#include <map>
#include <memory>
#include <string>

namespace {

// Nodes stay where they are for the life of the process (handlers keep
// pointers to them); the maps free them at exit.
using RouteMap = std::map<std::u16string, std::unique_ptr<LWebletRoute>, std::less<>>;

// Function-local maps: a route registered from another file's static
// initialiser must find them built, whatever the order of initialisation.
RouteMap& PageRoutes() {
    static RouteMap routes;
    return routes;
}
RouteMap& JsonRoutes() {
    static RouteMap routes;
    return routes;
}

LWebletRoute* NodeFor(RouteMap& map, const char16_t* name) {
    auto it = map.find(std::u16string_view(name));
    if (it != map.end()) return it->second.get();
    auto node = std::make_unique<LWebletRoute>();
    node->name = name;
    LWebletRoute* p = node.get();
    map.emplace(name, std::move(node));
    return p;
}

}  // namespace

LWebletRoute* LWebletRegisterRoute(const char16_t* name, LWebletPageHandler handler, uint32_t load_session) {
    LWebletRoute* node = NodeFor(PageRoutes(), name);
    node->page_handler = handler;
    node->load_session = load_session;
    return node;
}

LWebletRoute* LWebletRegisterJsonRoute(const char16_t* name, LWebletJsonHandler handler, uint32_t load_session) {
    LWebletRoute* node = NodeFor(JsonRoutes(), name);
    node->json_handler = handler;
    node->load_session = load_session;
    return node;
}

LWebletRoute* LWebletRegisterRawPostRoute(const char16_t* name, LWebletRawHandler handler, uint32_t load_session) {
    LWebletRoute* node = NodeFor(JsonRoutes(), name);
    node->raw_handler = handler;
    node->load_session = load_session;
    return node;
}

LWebletRoute* LWebletFindRoute(const char16_t* key, bool is_post) {
    std::u16string_view k(key);
    if (is_post) {
        auto it = JsonRoutes().find(k);
        if (it != JsonRoutes().end()) return it->second.get();
    }
    auto it = PageRoutes().find(k);
    return it == PageRoutes().end() ? nullptr : it->second.get();
}

LWebletRoute* LWebletFindRawPostRoute(const char16_t* key) {
    auto it = JsonRoutes().find(std::u16string_view(key));
    return it != JsonRoutes().end() && it->second->raw_handler ? it->second.get() : nullptr;
}

void LWebletForEachRoute(void (*visit)(LWebletRoute*, bool, void*), void* context) {
    for (auto& [name, node] : PageRoutes()) visit(node.get(), false, context);
    for (auto& [name, node] : JsonRoutes()) visit(node.get(), true, context);
}

void LWebletRoute::ResetStats() {
    call_count.store(0, std::memory_order_relaxed);
    total_ms.store(0, std::memory_order_relaxed);
    bytes_in.store(0, std::memory_order_relaxed);
    bytes_out.store(0, std::memory_order_relaxed);
}
