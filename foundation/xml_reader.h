#pragma once
// A small, forgiving XML reader: a UTF-16 file becomes a tree of nodes, and
// the first syntax error is reported with its line and column. No
// namespaces, no validation, no DTD: a DOCTYPE, a comment and a CDATA
// section become elements named "!DOCTYPE", "!--" and "![CDATA[" whose one
// text child holds their raw text. Its use: reading other mail clients'
// account files while looking for the system's default mail account.
#include <cstdint>

#include "foundation/lstring.h"
#include "foundation/string_map.h"
#include "foundation/task_progress.h"

class LXmlReader;

// Elements nested deeper than this end the parse with an error.
constexpr int LXmlMaxDepth = 256;

class LXmlNode {
public:
    LXmlNode() = default;
    ~LXmlNode();
    LXmlNode(const LXmlNode&) = delete;
    LXmlNode& operator=(const LXmlNode&) = delete;

    // Fills this document node's children from the file; error (260 units)
    // holds the first error, or stays empty.
    void LoadFile(const char16_t* path, char16_t error[260]);
    // Parses text held in memory (what LoadFile does once the file is read);
    // a cancel context that asks to stop ends the parse quietly.
    void LoadText(const char16_t* text, char16_t error[260], LTaskProgress* cancel = nullptr);

    // The first child with exactly that name; null when none.
    LXmlNode* FindChild(const char16_t* child_name) const;
    LXmlNode* FindMessageAccount() const { return FindChild(u"MessageAccount"); }
    // The node's own text, else its first child's, else empty (259 units
    // at most).
    void GetText(char16_t out[260]) const;
    // Appends a text node at the end of the child list.
    LXmlNode* AppendChild(const char16_t* child_text);
    // Frees a child list with everything below it.
    static void FreeList(LXmlNode* list);

    LXmlNode* next = nullptr;
    // Attribute name to value, exact order; a repeated name keeps the last value.
    LStringMap attributes;
    LXmlNode* firstChild = nullptr;
    char16_t* name = nullptr;  // null for a text node
    char16_t* text = nullptr;  // the text of a text node

    bool ParseElement(LXmlReader& reader, char16_t ended_by);
    bool ParseContent(LXmlReader& reader);

private:
    void Append(LXmlNode* child);
};

// The reader's state over one text.
class LXmlReader {
public:
    LXmlReader(const char16_t* text, char16_t* error, LTaskProgress* cancel)
        : text_(text), error_(error), cancel_(cancel) {}

    // The next character: 0 at the end (without moving); CR, LF, CR LF and
    // LF CR each come back as one LF and start a new line.
    char16_t GetChar();
    char16_t PeekChar() const;
    // After '&': the character of the entity, or 0 for none.
    char16_t ReadEntity();
    // After '<', or at an attribute's name whose first character `first`
    // was already read: the name into `out`; returns the character that
    // ended it (0 at the end of the text).
    char16_t ReadTagName(LString& out, char16_t first = 0);
    // An attribute's value; returns the character that ended it.
    char16_t ReadValue(LString& out);
    // Records the first error as "Ln %d, Col %d: <message>".
    void Error(const char16_t* message);
    bool Failed() const { return failed_; }
    bool AskCancel();

    bool ended = false;  // a stop or an error ends the parse
    int depth = 0;       // elements open around the read position

private:
    const char16_t* text_;
    size_t pos_ = 0;
    int line_ = 1;
    int column_ = 1;
    char16_t* error_;
    LTaskProgress* cancel_;
    bool failed_ = false;
    uint32_t sinceCancelCheck_ = 0;
};
