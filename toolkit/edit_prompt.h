#pragma once
// Two subclasses that make standard controls richer without new classes:
// an edit that shows a grey prompt while it is empty, and a static item
// that acts as a hyperlink. Both keep their state in the control's window
// properties, so any control of any dialog can carry them.
#include <cstddef>

#include "toolkit/input_messages.h"

class LWindow;

// Gives the edit its prompt. On the GTK backend the entry's own
// placeholder shows it (GTK keeps the typed text, so the prompt must never
// become the entry's text there).
void LSetEditPrompt(LHwnd edit, const char16_t* prompt, bool show_while_focused);
LResult LEditPromptProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);

// Makes a static item of the window a link: it opens the target (only
// http, https and mailto addresses are opened) or, without a target,
// sends WM_COMMAND(item id) to the parent.
void LMakeHyperlink(LWindow* window, int item, const char16_t* target);
LResult LHyperlinkProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);
// The longest link target kept, in UTF-16 units.
constexpr size_t LHyperlinkMaxTarget = 8193;
// True for the addresses a link may hand to the desktop's opener.
bool LIsOpenableLink(const char16_t* target);
