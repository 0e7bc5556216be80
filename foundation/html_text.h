#pragma once
// The plain-text rendering of HTML mail bodies for the index, search
// snippets and replies: tags become line breaks or nothing, list items get
// bullets, runs of white space fold to one space, source line breaks vanish,
// and the HTML 4 Latin-1 entities and decimal character references decode.
#include "foundation/lstring.h"

// Appends the rendering of html to out and terminates it.
void LHtmlToText(LString& out, const char16_t* html);
