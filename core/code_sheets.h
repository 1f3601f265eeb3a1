// The documents made from the code table (codes.def): the script editor's
// symbol sheet, vek-table.txt (a line per two cells "[title]0[glyph]", the
// digit zero separating them), and the symbol tables of the help's
// docs/help/symbols.md. The build writes both from here
// (core/tools/code_sheets_main.cpp); nothing in the interpreter reads them.
#pragma once
#include "codes.h"
#include <string>

// Each returns false with a message in *error when the rows do not make a
// document: two rows in one cell, a cell without a title or a glyph, a line
// of a help table that no row fills or whose rows differ in glyph.

// The whole of vek-table.txt. A cell no row takes is "[ ]0[ ]".
bool symbol_sheet_text(std::string *out, std::string *error);

// The table of one section (header, rule and a line per glyph).
bool help_symbol_table(HelpSection section, std::string *out, std::string *error);

// The help document with the table under each section's heading ("## " and
// the heading) put in place of the one it holds.
bool rewrite_help_tables(const std::string &document, std::string *out, std::string *error);
