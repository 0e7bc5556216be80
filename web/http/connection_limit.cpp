#include "web/http/connection_limit.h"

#include <cstdio>
#include <utility>

#include "foundation/log.h"

bool LWebConnectionLimit::Admit(uint32_t ip) {
    enum { Admitted, AddressFull, ListenerFull } verdict = Admitted;
    bool log = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (total_open_ >= total_) {
            verdict = ListenerFull;
            log = !total_logged_;
            total_logged_ = true;
        } else {
            Entry& e = open_[ip];
            if (e.open >= per_address_) {
                verdict = AddressFull;
                log = !e.logged;
                e.logged = true;
            } else {
                ++e.open;
                ++total_open_;
            }
        }
    }
    if (log) {
        char peer[32];
        std::snprintf(peer, sizeof peer, "%u.%u.%u.%u", ip & 0xFF, (ip >> 8) & 0xFF, (ip >> 16) & 0xFF, ip >> 24);
        if (verdict == AddressFull)
            LLogErrorF("Webserver: %s holds %u open connections, the most one address may; further ones are closed.",
                       peer, per_address_);
        else
            LLogErrorF("Webserver: %u connections are open, the most it serves; further ones are closed (%s).", total_,
                       peer);
    }
    return verdict == Admitted;
}

void LWebConnectionLimit::Release(uint32_t ip) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = open_.find(ip);
    if (it == open_.end() || it->second.open == 0) return;
    if (--it->second.open == 0) {
        open_.erase(it);
    } else if (it->second.open < per_address_) {
        it->second.logged = false;
    }
    --total_open_;
    if (total_open_ < total_) total_logged_ = false;
}

LWebConnectionSlot::LWebConnectionSlot(const std::shared_ptr<LWebConnectionLimit>& limit, uint32_t ip) : ip_(ip) {
    if (limit && limit->Admit(ip)) limit_ = limit;
}

LWebConnectionSlot::LWebConnectionSlot(LWebConnectionSlot&& other) noexcept
    : limit_(std::move(other.limit_)), ip_(other.ip_) {}

LWebConnectionSlot& LWebConnectionSlot::operator=(LWebConnectionSlot&& other) noexcept {
    if (this != &other) {
        Reset();
        limit_ = std::move(other.limit_);
        ip_ = other.ip_;
    }
    return *this;
}

void LWebConnectionSlot::Reset() {
    if (limit_) limit_->Release(ip_);
    limit_.reset();
}
