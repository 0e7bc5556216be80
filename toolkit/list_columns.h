#pragma once
// List-view column tables and the width fitter.
#include <cstdint>

struct LListColumnSpec {
    const char16_t* title;  // null ends the table
    int width_chars;        // 0: no fixed width
    int format;
    bool stretch;
};

// The program's one table: "Standard User", 50 characters, stretching.
extern const LListColumnSpec LProgramListColumns[];

// Widths for the visible columns (-1 for a column hidden by the bit mask):
// fixed widths of (characters + 2) x char_width, the spare room shared by
// the stretching columns in proportion to their weights.
void LFitListColumns(const LListColumnSpec* table, uint32_t hidden, int client_width, int char_width, int* widths);
