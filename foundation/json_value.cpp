#include "foundation/json_value.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/json_writer.h"
#include "foundation/utf8.h"

void LJsonValue::TakeFrom(LJsonValue& other) {
    kind = other.kind;
    subkind = other.subkind;
    payload = other.payload;
    text = std::move(other.text);
    members = other.members;
    elements = other.elements;
    count = other.count;
    capacity = other.capacity;
    other.kind = LJsonMoved;
    other.subkind = LJsonNotNumber;
    other.members = nullptr;
    other.elements = nullptr;
    other.count = other.capacity = 0;
}

void LJsonValue::FreeMembers() {
    while (members) {
        LJsonMember* next = members->next;
        members->~LJsonMember();
        std::free(members);
        members = next;
    }
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
    LJsonMember** tail = &members;
    while (*tail) tail = &(*tail)->next;
    *tail = m;
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
    return subkind == LJsonDouble ? static_cast<int64_t>(payload.d) : payload.i;
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
