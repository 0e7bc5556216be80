#include "foundation/json_value.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/json_writer.h"
#include "foundation/utf8.h"

// Open addressing over the members of one large object. The hash is seeded
// with the index's own address, so a sender cannot choose names that all
// collide and bring back the quadratic cost.
struct LJsonMemberIndex {
    size_t used;
    size_t mask;
    LJsonMember* slots[1];
};

namespace {

// An object gets its index when it reaches this many members; below it a
// walk of the list is cheaper than hashing.
constexpr size_t kIndexFrom = 16;

uint64_t HashName(const char* name, uint64_t seed) {
    uint64_t h = seed ^ 0xcbf29ce484222325ull;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) h = (h ^ *p) * 0x100000001b3ull;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

uint64_t IndexSeed(const LJsonMemberIndex* index) { return reinterpret_cast<uintptr_t>(index) * 0x9e3779b97f4a7c15ull; }

LJsonMemberIndex* NewIndex(size_t slots) {
    auto* index = static_cast<LJsonMemberIndex*>(
        std::calloc(1, sizeof(LJsonMemberIndex) + (slots - 1) * sizeof(LJsonMember*)));
    if (index) index->mask = slots - 1;
    return index;
}

// The slot of the name, or the empty slot where it would go.
LJsonMember** IndexSlot(LJsonMemberIndex* index, const char* name) {
    size_t i = HashName(name, IndexSeed(index)) & index->mask;
    while (index->slots[i] && std::strcmp(index->slots[i]->name, name) != 0) i = (i + 1) & index->mask;
    return &index->slots[i];
}

// Adds a member unless its name is there: the first of a repeated name wins.
void IndexAdd(LJsonMemberIndex* index, LJsonMember* m) {
    LJsonMember** slot = IndexSlot(index, m->name);
    if (*slot) return;
    *slot = m;
    ++index->used;
}

// A table of twice the members' count or more, filled from the list in order.
LJsonMemberIndex* BuildIndex(LJsonMember* list, size_t members) {
    size_t slots = 32;
    while (slots < members * 2) slots *= 2;
    LJsonMemberIndex* index = NewIndex(slots);
    if (!index) return nullptr;
    for (LJsonMember* m = list; m; m = m->next) IndexAdd(index, m);
    return index;
}

}  // namespace

void LJsonValue::TakeFrom(LJsonValue& other) {
    kind = other.kind;
    subkind = other.subkind;
    payload = other.payload;
    text = std::move(other.text);
    members = other.members;
    elements = other.elements;
    count = other.count;
    capacity = other.capacity;
    lastMember_ = other.lastMember_;
    index_ = other.index_;
    other.kind = LJsonMoved;
    other.subkind = LJsonNotNumber;
    other.members = nullptr;
    other.elements = nullptr;
    other.count = other.capacity = 0;
    other.lastMember_ = nullptr;
    other.index_ = nullptr;
}

void LJsonValue::FreeMembers() {
    while (members) {
        LJsonMember* next = members->next;
        members->~LJsonMember();
        std::free(members);
        members = next;
    }
    lastMember_ = nullptr;
    std::free(index_);
    index_ = nullptr;
}

void LJsonValue::ReleaseContainers() {
    FreeMembers();
    for (size_t k = 0; k < count; ++k) elements[k].~LJsonValue();
    std::free(elements);
    elements = nullptr;
    count = capacity = 0;
}

void LJsonValue::Destroy() {
    ReleaseContainers();
    text.Free();
}

void LJsonValue::MoveFrom(LJsonValue& other) {
    if (&other == this) return;
    ReleaseContainers();
    TakeFrom(other);
}

const LJsonValue& LJsonValue::EmptyValue() {
    static const LJsonValue empty;
    return empty;
}

LJsonValue* LJsonValue::AddMember(const char* name) {
    // Names longer than 259 bytes are cut at a whole character.
    size_t n = name ? std::strlen(name) : 0;
    if (n > 259) {
        n = 259;
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    }
    void* mem = std::malloc(sizeof(LJsonMember) + n + 1);
    if (!mem) return nullptr;
    auto* m = new (mem) LJsonMember;
    if (n) std::memcpy(m->name, name, n);
    m->name[n] = 0;
    // The end is known, unless a caller linked members by hand.
    if (!lastMember_ && members)
        for (lastMember_ = members; lastMember_->next;) lastMember_ = lastMember_->next;
    (lastMember_ ? lastMember_->next : members) = m;
    lastMember_ = m;
    if (index_) {
        if ((index_->used + 1) * 2 > index_->mask + 1) {
            size_t have = index_->used + 1;
            std::free(index_);
            index_ = BuildIndex(members, have);
        } else {
            IndexAdd(index_, m);
        }
    } else {
        size_t have = 0;
        for (LJsonMember* p = members; p && have < kIndexFrom; p = p->next) ++have;
        if (have >= kIndexFrom) index_ = BuildIndex(members, have);
    }
    return &m->value;
}

// Geometric growth: the appends of a large array stay linear in time.
bool LJsonValue::GrowElements() {
    size_t want = capacity ? capacity * 2 : 4;
    auto* fresh = static_cast<LJsonValue*>(std::malloc(want * sizeof(LJsonValue)));
    if (!fresh) return false;
    for (size_t k = 0; k < count; ++k) {
        new (&fresh[k]) LJsonValue(std::move(elements[k]));
        elements[k].~LJsonValue();
    }
    std::free(elements);
    elements = fresh;
    capacity = want;
    return true;
}

LJsonValue* LJsonValue::AppendElement() {
    if (count == capacity && !GrowElements()) return nullptr;
    return new (&elements[count++]) LJsonValue;
}

LJsonValue* LJsonValue::DetachElement(size_t index) {
    if (index >= count) return nullptr;
    auto* out = new (std::nothrow) LJsonValue(std::move(elements[index]));
    if (!out) return nullptr;
    elements[index].~LJsonValue();
    for (size_t k = index + 1; k < count; ++k) {
        new (&elements[k - 1]) LJsonValue(std::move(elements[k]));
        elements[k].~LJsonValue();
    }
    --count;
    return out;
}

LJsonValue* LJsonValue::FindMember(const char* name) {
    if (index_) {
        LJsonMember* m = *IndexSlot(index_, name);
        return m ? &m->value : nullptr;
    }
    for (LJsonMember* m = members; m; m = m->next)
        if (std::strcmp(m->name, name) == 0) return &m->value;
    return nullptr;
}

const LJsonValue* LJsonValue::FindMember(const char* name) const {
    return const_cast<LJsonValue*>(this)->FindMember(name);
}

const LJsonValue& LJsonValue::Member(const char* name) const {
    const LJsonValue* v = FindMember(name);
    return v ? *v : EmptyValue();
}

void LJsonValue::GetMemberTextA(const char* name, const char* def, char out[260]) const {
    const LJsonValue* v = FindMember(name);
    LCopyFieldA(out, !v ? def : v->kind == LJsonString ? v->text.c_str() : "");
}

size_t LJsonValue::GetMemberText(const char* name, char16_t out[260]) const {
    const LJsonValue* v = FindMember(name);
    if (!v) {
        out[0] = 0;
        return 0;
    }
    return LUTF8ToWideBuf(out, v->kind == LJsonString ? v->text.c_str() : "") + 1;
}

void LJsonValue::GetMemberString(const char* name, LString& out) const {
    out.Clear();
    const LJsonValue* v = FindMember(name);
    if (v && v->kind == LJsonString) out.SetUtf8N(v->text.c_str(), v->text.length);
}

void LJsonValue::SetMemberString(const char* name, const char* utf8) {
    LJsonValue* v = FindMember(name);
    if (!v) v = AddMember(name);
    if (v) v->SetString(utf8, utf8 ? std::strlen(utf8) : 0);
}

void LJsonValue::SetNull() {
    ReleaseContainers();
    kind = LJsonNull;
    subkind = LJsonNotNumber;
}

void LJsonValue::SetBool(bool v) {
    ReleaseContainers();
    kind = LJsonBool;
    subkind = LJsonNotNumber;
    payload.i = 0;
    payload.b = v;
}

void LJsonValue::SetInt64(int64_t v) {
    ReleaseContainers();
    kind = LJsonNumber;
    subkind = LJsonInt64;
    payload.i = v;
}

void LJsonValue::SetDouble(double v) {
    ReleaseContainers();
    kind = LJsonNumber;
    subkind = LJsonDouble;
    payload.d = v;
}

void LJsonValue::SetString(const char* utf8, size_t n) {
    ReleaseContainers();
    kind = LJsonString;
    subkind = LJsonNotNumber;
    text.Clear();
    // Exactly the room the text needs: a parsed tree holds many small strings.
    text.Reserve(n + 1);
    text.AppendN(utf8, n);
}

int64_t LJsonValue::AsInt64() const {
    if (kind != LJsonNumber) return 0;
    if (subkind != LJsonDouble) return payload.i;
    // 1e999 reads as infinity: a conversion out of range would be undefined.
    const double d = payload.d;
    if (!(d == d)) return 0;
    if (d >= 9223372036854775807.0) return INT64_MAX;
    if (d <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(d);
}

double LJsonValue::AsDouble() const {
    if (kind != LJsonNumber) return 0;
    return subkind == LJsonDouble ? payload.d : static_cast<double>(payload.i);
}

namespace {

void Raw(LStringA& out, const char* s, size_t n) {
    out.AppendBulk(s, n);
    out.Terminate();
}

}  // namespace

uint32_t LJsonValue::SerializeMember(const LJsonMember& m, LStringA& out) {
    if (m.name[0]) out.AppendFormat("\"%J\":", m.name);
    return m.value.Serialize(out);
}

uint32_t LJsonValue::Serialize(LStringA& out) const {
    out.Terminate();
    switch (kind) {
    case LJsonNull: Raw(out, "null", 4); return 0;
    case LJsonBool: payload.b ? Raw(out, "true", 4) : Raw(out, "false", 5); return 0;
    case LJsonString: out.AppendFormat("\"%J\"", text.View()); return 0;
    case LJsonNumber:
        if (subkind == LJsonDouble)
            LJsonAppendDouble(out, payload.d);
        else
            out.AppendFormat("%I64d", payload.i);
        return 0;
    case LJsonArray:
    case LJsonObject: {
        Raw(out, kind == LJsonArray ? "[" : "{", 1);
        bool comma = false;
        for (size_t k = 0; k < count; ++k) {
            if (comma) Raw(out, ",", 1);
            comma = true;
            if (elements[k].Serialize(out) != 0) return 2;
        }
        for (const LJsonMember* m = members; m; m = m->next) {
            if (comma) Raw(out, ",", 1);
            comma = true;
            if (SerializeMember(*m, out) != 0) return 2;
        }
        Raw(out, kind == LJsonArray ? "]" : "}", 1);
        return 0;
    }
    default: return 2;
    }
}

uint32_t LJsonValue::SerializeW(LString& out) const {
    LStringA utf8;
    uint32_t status = Serialize(utf8);
    LStringAppendUtf8(out, utf8.c_str(), utf8.length);
    return status;
}
