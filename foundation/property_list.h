#pragma once
// A named list of properties kept in a per-user .dat file: name and value
// texts with a changed flag, saved through the list's owner when the list is
// released with changes.
#include <cstdint>

#include "foundation/lstring.h"

struct LPropertyNode {
    LPropertyNode* next = nullptr;
    char16_t name[64] = {0};  // at most 63 used
    bool section = false;
    LString value;
    uint8_t reserved[16] = {0};
    bool changed = true;
    bool unset = false;
    // A section node or an unset node has no readable value.
    bool IsReadable() const { return !section && !unset; }
};

class LPropertyList;

// Saves a list to where it came from; deleted when the list is released.
class LPropertyListOwner {
public:
    virtual ~LPropertyListOwner() = default;
    virtual void Save(LPropertyList& list) = 0;
};

class LPropertyList {
public:
    LPropertyList() = default;
    ~LPropertyList() { Release(); }
    LPropertyList(const LPropertyList&) = delete;
    LPropertyList& operator=(const LPropertyList&) = delete;

    // Replaces the value of the node of that name (exact comparison) unless
    // it is set to the same value already; a new name is appended (cut to
    // 63 characters). Either change marks the list dirty.
    void SetValue(const char16_t* name, const char16_t* value);
    // The value (cut to 259 characters) of a readable node of that name,
    // else empty.
    void GetValue(const char16_t* name, char16_t out[260]) const;
    void SetLogonFailures(int n);
    int GetLogonFailures() const;

    // Hands the list to an owner that saves it; the list deletes it.
    void SetOwner(LPropertyListOwner* owner);
    // Saves through the owner when dirty and drops the owner, then frees
    // every node; Reset also clears both names.
    void Reset();
    void Release();

    LPropertyListOwner* owner = nullptr;
    char16_t name1[260] = {0};
    char16_t name2[260] = {0};
    LPropertyNode* first = nullptr;
    bool dirty = false;

private:
    LPropertyNode* Find(const char16_t* name) const;
};
