#include "foundation/property_list.h"

#include <cstdio>
#include <new>
#include <string_view>

#include "foundation/system_text.h"
#include "foundation/utf8.h"

LPropertyNode* LPropertyList::Find(const char16_t* name) const {
    std::u16string_view wanted(name ? name : u"");
    for (LPropertyNode* n = first; n; n = n->next) {
        if (!n->section && wanted == n->name) return n;
    }
    return nullptr;
}

void LPropertyList::SetValue(const char16_t* name, const char16_t* value) {
    if (!name) return;
    std::u16string_view v(value ? value : u"");
    if (LPropertyNode* n = Find(name)) {
        if (!n->unset && n->value.View() == v) return;
        n->value.Clear();
        n->value.AppendView(v);
        n->changed = true;
        n->unset = false;
        dirty = true;
        return;
    }
    LPropertyNode* n = new (std::nothrow) LPropertyNode;
    if (!n) return;
    size_t i = 0;
    for (; name[i] && i < 63; ++i) n->name[i] = name[i];
    n->name[i] = 0;
    n->value.AppendView(v);
    LPropertyNode** tail = &first;
    while (*tail) tail = &(*tail)->next;
    *tail = n;
    dirty = true;
}

void LPropertyList::GetValue(const char16_t* name, char16_t out[260]) const {
    const LPropertyNode* n = Find(name);
    LCopyField(out, n && n->IsReadable() ? n->value.c_str() : u"");
}

void LPropertyList::SetLogonFailures(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", n);
    LWideFromUTF8 wide(text);
    SetValue(u"LogonFailures", wide.text);
}

int LPropertyList::GetLogonFailures() const {
    char16_t value[260];
    GetValue(u"LogonFailures", value);
    return static_cast<int>(LParseInt64W(value));
}

void LPropertyList::SetOwner(LPropertyListOwner* o) {
    if (owner != o) delete owner;
    owner = o;
}

void LPropertyList::Release() {
    if (owner) {
        if (dirty) owner->Save(*this);
        delete owner;
        owner = nullptr;
    }
    while (LPropertyNode* n = first) {
        first = n->next;
        delete n;
    }
    dirty = false;
}

void LPropertyList::Reset() {
    Release();
    name1[0] = name2[0] = 0;
}
