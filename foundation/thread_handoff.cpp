#include "foundation/thread_handoff.h"

#include <cstdlib>
#include <cstring>

struct LQueuedNotifyDataHandler::Block {
    Block* next;
    uint32_t code;
    bool copied;
    uint64_t value;  // byte count of a copy, or the handed-over value
    unsigned char bytes[1];
};

bool LQueuedNotifyDataHandler::Create(LQueuedNotifyCallback* owner) {
    std::lock_guard<std::mutex> g(lock_);
    if (!ready_.IsValid() && !ready_.Create(true, false)) return false;
    owner_ = owner;
    return true;
}

void LQueuedNotifyDataHandler::Enqueue(Block* b) {
    std::lock_guard<std::mutex> g(lock_);
    if (!ready_.IsValid()) {
        std::free(b);
        return;
    }
    b->next = nullptr;
    if (tail_) {
        tail_->next = b;
    } else {
        head_ = b;
    }
    tail_ = b;
    ready_.Set();
}

void LQueuedNotifyDataHandler::Post(uint32_t code, const void* data, uint64_t n) {
    if (!data || n > MaxBlock) return;
    Block* b = static_cast<Block*>(std::malloc(sizeof(Block) + n));
    if (!b) return;
    b->code = code;
    b->copied = true;
    b->value = n;
    std::memcpy(b->bytes, data, n);
    Enqueue(b);
}

void LQueuedNotifyDataHandler::PostValue(uint32_t code, uint64_t value) {
    Block* b = static_cast<Block*>(std::malloc(sizeof(Block)));
    if (!b) return;
    b->code = code;
    b->copied = false;
    b->value = value;
    Enqueue(b);
}

void LQueuedNotifyDataHandler::Dispatch() {
    Block* list;
    LQueuedNotifyCallback* owner;
    {
        std::lock_guard<std::mutex> g(lock_);
        list = head_;
        head_ = tail_ = nullptr;
        ready_.Reset();
        owner = owner_;
    }
    for (Block* b = list; b; b = b->next) {
        if (!owner) break;
        owner->OnData(b->code, b->copied ? b->bytes : nullptr, b->value);
    }
    FreeList(list);
}

void LQueuedNotifyDataHandler::FreeList(Block* b) {
    while (b) {
        Block* next = b->next;
        std::free(b);
        b = next;
    }
}

void LQueuedNotifyDataHandler::Destroy() {
    Block* list;
    {
        std::lock_guard<std::mutex> g(lock_);
        list = head_;
        head_ = tail_ = nullptr;
        owner_ = nullptr;
        ready_.Close();
    }
    FreeList(list);
}
