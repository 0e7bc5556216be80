#pragma once
// The parsed form of a JSON text: a tree of values whose objects keep their
// members in source order. Two readers fill it: the plain reader (MCP
// layer, AI-client configuration files) and the reporting reader (request
// bodies, table endpoints), which reports "Error near(line:column): ..."
// through a progress context and honours its stop requests.
#include <cstddef>
#include <cstdint>

#include "foundation/lstring.h"
#include "foundation/task_progress.h"

class LJsonValue;
struct LJsonMember;

enum LJsonKind : uint32_t {
    LJsonMoved = 0,
    LJsonNull = 1,
    LJsonNumber = 2,
    LJsonString = 3,
    LJsonBool = 4,
    LJsonArray = 5,
    LJsonObject = 6,
};
enum LJsonNumberKind : uint32_t { LJsonNotNumber = 0, LJsonDouble = 1, LJsonInt64 = 2 };

class LJsonValue {
public:
    LJsonValue() = default;
    ~LJsonValue() { Destroy(); }
    LJsonValue(const LJsonValue&) = delete;
    LJsonValue& operator=(const LJsonValue&) = delete;
    LJsonValue(LJsonValue&& other) noexcept { TakeFrom(other); }

    uint32_t kind = LJsonObject;
    uint32_t subkind = LJsonNotNumber;
    union {
        double d;
        int64_t i;
        bool b;
    } payload = {0.0};
    LStringA text;
    LJsonMember* members = nullptr;
    LJsonValue* elements = nullptr;
    size_t count = 0;
    size_t capacity = 0;

    // 0 on success, 2 on error (the message stays inside the reader).
    uint32_t Parse(const char* utf8);
    uint32_t Parse(const char* utf8, size_t n);
    // 0, 1 (stop requested) or 2 (reported through the progress context).
    uint32_t ParseUtf8(LTaskProgress* progress, const char* utf8);
    uint32_t ParseUtf8(LTaskProgress* progress, const char* utf8, size_t n);
    uint32_t ParseText(LTaskProgress* progress, const char16_t* text);

    // Appends the compact JSON text; 2 when a value of no kind is met.
    uint32_t Serialize(LStringA& out) const;
    uint32_t SerializeW(LString& out) const;
    // One member: the quoted name and a colon (nothing for an empty name),
    // then the value.
    static uint32_t SerializeMember(const LJsonMember& member, LStringA& out);

    LJsonValue* AddMember(const char* name);
    LJsonValue* AppendElement();
    LJsonValue* DetachElement(size_t index);
    void MoveFrom(LJsonValue& other);
    void Destroy();
    void FreeMembers();
    static const LJsonValue& EmptyValue();

    // The first member of that name (names compare byte for byte), or null.
    LJsonValue* FindMember(const char* name);
    const LJsonValue* FindMember(const char* name) const;
    // FindMember, or the shared empty value when the member is missing.
    const LJsonValue& Member(const char* name) const;

    void GetMemberTextA(const char* name, const char* def, char out[260]) const;
    size_t GetMemberText(const char* name, char16_t out[260]) const;
    void GetMemberString(const char* name, LString& out) const;
    void SetMemberString(const char* name, const char* utf8);

    // Make this value a scalar of that kind (containers are released).
    void SetNull();
    void SetBool(bool v);
    void SetInt64(int64_t v);
    void SetDouble(double v);
    void SetString(const char* utf8, size_t n);

    bool IsString() const { return kind == LJsonString; }
    bool IsNumber() const { return kind == LJsonNumber; }
    // Numbers of either subkind as the asked type.
    int64_t AsInt64() const;
    double AsDouble() const;

private:
    void TakeFrom(LJsonValue& other);
    void ReleaseContainers();
    bool GrowElements();

    // The end of the member list, and a hash index once an object has many
    // members: a request body of 100,000 members must not cost 100,000
    // walks of the list, neither to append nor to find a repeated name.
    LJsonMember* lastMember_ = nullptr;
    struct LJsonMemberIndex* index_ = nullptr;
};

// A member node holds its name inline, allocated to the name's length (at
// most 259 bytes and the terminator): a parsed request body is mostly
// members, and a fixed 260-byte field per member made a tree twenty times
// the size of its text. Made and released only by LJsonValue.
struct LJsonMember {
    LJsonValue value;
    LJsonMember* next = nullptr;
    char name[];
};

