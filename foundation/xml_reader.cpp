#include "foundation/xml_reader.h"

#include <cstring>
#include <new>

#include "foundation/files.h"
#include "foundation/format.h"
#include "foundation/system_memory.h"
#include "foundation/utf8.h"
#include "platform/file.h"

namespace {

const char16_t kAmpersand[] =
    u"Strings starting with an ampersand (&) must end with a semicolon (;). Either replace the '&' with '&amp;' "
    u"or add a ';' at the end of the control string.";

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
bool EndsName(char16_t c) { return c == u'\t' || c == u'\n' || c == u' ' || c == u'/' || c == u'=' || c == u'>'; }

char16_t* Duplicate(const char16_t* s, size_t n) {
    auto* p = new (std::nothrow) char16_t[n + 1];
    if (!p) return nullptr;
    std::memcpy(p, s, n * sizeof(char16_t));
    p[n] = 0;
    return p;
}

bool StartsWith(const LString& s, const char16_t* prefix) {
    size_t n = LTextLength(prefix);
    return s.length >= n && std::memcmp(s.c_str(), prefix, n * sizeof(char16_t)) == 0;
}

bool EqualNoCase(const LString& s, const char16_t* t) {
    size_t n = LTextLength(t);
    if (s.length != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char16_t a = s.buffer[i], b = t[i];
        if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a + 32);
        if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b + 32);
        if (a != b) return false;
    }
    return true;
}

// The text ended inside an element.
bool EndOfTextInside(LXmlReader& r, const char16_t* name) {
    LString msg;
    msg.Format(u"(EOF) Element <%s> should be terminated with </%s>. Check you have terminated your element properly.",
               name, name);
    r.Error(msg.c_str());
    return false;
}

}  // namespace

// ---- reader ----

char16_t LXmlReader::PeekChar() const {
    char16_t c = text_[pos_];
    return c == u'\r' ? u'\n' : c;
}

char16_t LXmlReader::GetChar() {
    char16_t c = text_[pos_];
    if (c == 0) return 0;
    ++pos_;
    if (c == u'\r' || c == u'\n') {
        char16_t other = c == u'\r' ? u'\n' : u'\r';
        if (text_[pos_] == other) ++pos_;
        ++line_;
        column_ = 1;
        return u'\n';
    }
    ++column_;
    return c;
}

void LXmlReader::Error(const char16_t* message) {
    ended = true;
    if (failed_) return;
    failed_ = true;
    LString line;
    line.Format(u"Ln %d, Col %d: %s", line_, column_, message);
    LCopyField(error_, line.c_str());
}

bool LXmlReader::AskCancel() {
    if (++sinceCancelCheck_ < 512) return false;
    sinceCancelCheck_ = 0;
    if (cancel_ && cancel_->IsStopRequested()) ended = true;
    return ended;
}

char16_t LXmlReader::ReadEntity() {
    char16_t name[24];
    size_t n = 0;
    for (;;) {
        char16_t c = PeekChar();
        if (c == 0 || IsBlank(c) || n == 23) {
            Error(kAmpersand);
            return 0;
        }
        GetChar();
        if (c == u';') break;
        name[n++] = c;
    }
    name[n] = 0;
    std::u16string_view v(name, n);
    if (v == u"amp") return u'&';
    if (v == u"lt") return u'<';
    if (v == u"gt") return u'>';
    if (v == u"quot") return u'"';
    if (v == u"apos") return u'\'';
    if (n >= 1 && name[0] == u'#') {
        uint32_t code = 0;
        if (n >= 2 && name[1] == u'x') {
            for (size_t i = 2; i < n; ++i) {
                char16_t c = name[i];
                int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10
                        : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
                if (d >= 0) code = code * 16 + static_cast<uint32_t>(d);
            }
        } else {
            for (size_t i = 1; i < n; ++i)
                if (name[i] >= u'0' && name[i] <= u'9') code = code * 10 + static_cast<uint32_t>(name[i] - u'0');
        }
        return static_cast<char16_t>(code & 0xFFFF);
    }
    return u'&';
}

char16_t LXmlReader::ReadTagName(LString& out, char16_t first) {
    out.Clear();
    bool quoted = false;
    for (;;) {
        char16_t c = first ? first : GetChar();
        first = 0;
        if (c == 0) return 0;
        if (!quoted && EndsName(c)) return c;
        if (c == u'"' || c == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (c == u'&') {
            c = ReadEntity();
            if (!c) continue;
        }
        if (out.length < 259) out.AppendChar(c);
        // Special nodes end their names at once: what follows is raw text.
        if ((out.length == 3 && StartsWith(out, u"!--")) ||
            (out.length == 8 && (StartsWith(out, u"!DOCTYPE") || StartsWith(out, u"![CDATA["))))
            return c;
    }
}

char16_t LXmlReader::ReadValue(LString& out) {
    out.Clear();
    char16_t quote = 0;
    for (;;) {
        char16_t c = GetChar();
        if (c == 0) return 0;
        if (!quote && EndsName(c)) return c;
        if (c == u'"' || c == u'\'') {
            // A quote of the other kind inside quotes is data.
            if (!quote) {
                quote = c;
                continue;
            }
            if (c == quote) {
                quote = 0;
                continue;
            }
        }
        if (c == u'&') {
            c = ReadEntity();
            if (!c) continue;
        }
        if (out.length >= 0x20000000) continue;
        out.AppendChar(c);
    }
}

// ---- nodes ----

LXmlNode::~LXmlNode() {
    FreeList(firstChild);
    delete[] name;
    delete[] text;
}

void LXmlNode::FreeList(LXmlNode* list) {
    while (list) {
        LXmlNode* next = list->next;
        list->next = nullptr;
        delete list;
        list = next;
    }
}

void LXmlNode::Append(LXmlNode* child) {
    LXmlNode** tail = &firstChild;
    while (*tail) tail = &(*tail)->next;
    *tail = child;
}

LXmlNode* LXmlNode::AppendChild(const char16_t* child_text) {
    auto* node = new (std::nothrow) LXmlNode;
    if (!node) return nullptr;
    node->text = Duplicate(child_text, LTextLength(child_text));
    Append(node);
    return node;
}

LXmlNode* LXmlNode::FindChild(const char16_t* child_name) const {
    for (LXmlNode* c = firstChild; c; c = c->next)
        if (c->name && std::u16string_view(c->name) == child_name) return c;
    return nullptr;
}

void LXmlNode::GetText(char16_t out[260]) const {
    const char16_t* t = text ? text : firstChild && firstChild->text ? firstChild->text : u"";
    LCopyField(out, t);
}

bool LXmlNode::ParseElement(LXmlReader& r, char16_t ended_by) {
    if (name && name[0] == u'!') {
        std::u16string_view n(name);
        // The raw text up to the end marker; the marker's first two
        // characters were already stored when its '>' comes.
        LString raw;
        int depth = 0;
        for (;;) {
            char16_t c = r.GetChar();
            if (c == 0) {
                return EndOfTextInside(r, name);
            }
            if (n == u"!DOCTYPE") {
                if (c == u'[') ++depth;
                if (c == u']' && depth > 0) --depth;
                if (c == u'>' && depth == 0) break;
            } else if (c == u'>') {
                const char16_t* tail = n == u"!--" ? u"--" : u"]]";
                if (raw.length >= 2 && raw.buffer[raw.length - 2] == tail[0] && raw.buffer[raw.length - 1] == tail[1]) {
                    raw.Truncate(raw.length - 2);
                    break;
                }
            }
            raw.AppendChar(c);
        }
        AppendChild(raw.c_str());
        return true;
    }
    bool empty = false;
    char16_t c = ended_by;
    LString attr, value;
    for (;;) {
        if (c == u'>') break;
        if (c == 0) {
            LString msg;
            msg.Format(u"Tag <%s> does not have a closing '>'", name);
            r.Error(msg.c_str());
            return false;
        }
        if (c == u'/') empty = true;
        if (c == u'/' || IsBlank(c) || c == u'=') {
            c = r.GetChar();
            continue;
        }
        // c is the first character of an attribute's name.
        c = r.ReadTagName(attr, c);
        if (IsBlank(c) && r.PeekChar() == u'=') c = r.GetChar();
        value.Clear();
        if (c == u'=') {
            if (IsBlank(r.PeekChar())) r.GetChar();
            c = r.ReadValue(value);
        }
        if (!EqualNoCase(attr, u"xml:space")) {
            // The closing question mark of an XML declaration.
            if (c == u'>' && value.length && value.buffer[value.length - 1] == u'?') value.Truncate(value.length - 1);
            attributes.Set(attr.c_str(), value.c_str());
        }
    }
    if (empty || name[0] == u'?' || name[0] == u'!') return true;
    return ParseContent(r);
}

bool LXmlNode::ParseContent(LXmlReader& r) {
    FreeList(firstChild);
    firstChild = nullptr;
    // Each level of elements is a level of recursion here: a file of nested
    // tags alone must not exhaust the stack.
    if (name && ++r.depth > LXmlMaxDepth) {
        r.Error(u"Elements are nested too deeply.");
        return false;
    }
    struct DepthGuard {
        LXmlReader& reader;
        bool counted;
        ~DepthGuard() {
            if (counted) --reader.depth;
        }
    } guard{r, name != nullptr};
    // Children are added at a tail of our own: a long sibling list must not
    // be walked once per child.
    LXmlNode** tail = &firstChild;
    auto add = [&](LXmlNode* node) {
        *tail = node;
        tail = &node->next;
    };
    LString pending;
    auto flush = [&] {
        if (pending.length) {
            if (auto* node = new (std::nothrow) LXmlNode) {
                node->text = Duplicate(pending.c_str(), pending.length);
                add(node);
            }
        }
        pending.Clear();
    };
    LString tag;
    for (;;) {
        if (r.AskCancel()) return false;
        char16_t c = r.GetChar();
        if (c == 0) {
            flush();
            if (name) return EndOfTextInside(r, name);
            return true;
        }
        if (c == u'&') {
            if (char16_t e = r.ReadEntity()) pending.AppendChar(e);
            continue;
        }
        if (c != u'<') {
            pending.AppendChar(c);
            continue;
        }
        char16_t ended_by = r.ReadTagName(tag);
        if (tag.length) {
            flush();
            auto* child = new (std::nothrow) LXmlNode;
            if (!child) return false;
            child->name = Duplicate(tag.c_str(), tag.length);
            add(child);
            if (!child->name || !child->ParseElement(r, ended_by) || r.ended) return false;
            continue;
        }
        auto skip_to_close = [&](char16_t from) {
            for (char16_t s = from; s && s != u'>';) s = r.GetChar();
        };
        if (ended_by != u'/') {
            r.Error(u"Misplaced < without name. Use &lt; instead of < if appropriate.");
            skip_to_close(ended_by);
            return false;
        }
        LString closing;
        char16_t end = r.ReadTagName(closing);
        if (name && closing.View() == std::u16string_view(name)) {
            flush();
            skip_to_close(end);
            return true;
        }
        LString msg;
        if (name)
            msg.Format(u"Element <%s> should be terminated with </%s>, was with %s. Check you have terminated your "
                       u"element properly.",
                       name, name, closing.c_str());
        else
            msg.Format(u"Misplaced </%s> which does not match a <%s>.", closing.c_str(), closing.c_str());
        r.Error(msg.c_str());
        skip_to_close(end);
        flush();
        return false;
    }
}

void LXmlNode::LoadText(const char16_t* source, char16_t error[260], LTaskProgress* cancel) {
    FreeList(firstChild);
    firstChild = nullptr;
    error[0] = 0;
    // A byte-order mark is not content.
    if (source && source[0] == 0xFEFF) ++source;
    LXmlReader reader(source ? source : u"", error, cancel);
    ParseContent(reader);
}

void LXmlNode::LoadFile(const char16_t* path, char16_t error[260]) {
    FreeList(firstChild);
    firstChild = nullptr;
    delete[] name;
    name = nullptr;
    error[0] = 0;
    LPlatformFileInfo info;
    if (!LPlatformGetFileInfo(LToUtf8(path).c_str(), &info, true) || !info.exists) {
        LFormatEscPathW(error, u"File does not exist: %s", path);
        return;
    }
    // The tree takes many times the file's size: refuse what memory cannot hold.
    if (info.size * 20 >= LGetAvailableMemory()) {
        LCopyField(error, u"Conversion failed. Low memory. The file is too large to convert.");
        return;
    }
    LString content;
    if (!LReadFileUtf16(path, content)) {
        LFormatEscPathW(error, u"Cannot open xml file: %s", path);
        return;
    }
    LoadText(content.c_str(), error, nullptr);
}
