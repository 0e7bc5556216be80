#pragma once
// Keyboard shortcuts as text ("Ctrl+Shift+F5") from our own table of key
// names, menu commands that show their shortcut, and a key-message
// dispatcher that keeps the first press of a key apart from its repeats.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/input_messages.h"

// A control or menu text with "&" access keys in GTK's spelling: "&x"
// becomes "_x", "&&" a literal "&", and a literal "_" is doubled so GTK
// does not take it for an access key. A lone "&" at the end is dropped.
std::string LMnemonicText(const std::u16string& text);

// The name of a virtual key ("F5", "Page Up", "A"); empty when unknown.
std::u16string LKeyName(uint32_t virtual_key);
// A key code (virtual key plus modifier bits) as shortcut text; a modifier
// key itself gets no prefix for its own bit.
std::u16string LFormatShortcutText(uint32_t key_code);

struct LAccelerator {
    uint32_t key = 0;
    uint16_t command = 0;
};

// A menu as a list of entries; the backend shows it.
struct LMenuItem {
    uint16_t id = 0;  // 0 for a separator
    std::u16string text;
    bool is_default = false;
    bool enabled = true;
};

class LMenuBuilder {
public:
    // "text\tshortcut" when an accelerator has the command, else the text.
    void AppendCommand(uint16_t id, const std::u16string& text);
    void AppendSeparator() { items.push_back({}); }

    std::vector<LAccelerator> accelerators;
    std::vector<LMenuItem> items;
};

class LKeyHandler {
public:
    virtual ~LKeyHandler() = default;
    virtual bool OnChar(char16_t) { return false; }
    virtual bool OnKeyDown(uint32_t) { return false; }
    virtual bool OnKeyRepeat(uint32_t) { return false; }
    virtual bool OnKeyUp(uint32_t) { return false; }
    virtual bool HandleKeyMessage(uint32_t msg, LWParam w, LLParam l);

    uint32_t last_state = 0;
};
