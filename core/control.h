// The control-structure translator: if/else, while, both forms of for, case,
// break and continue become plain statements with generated labels and
// branches, which the function compiler then compiles line by line.
#pragma once
#include <string>
#include <vector>
#include "tables.h"

struct TranslatedLine {
    std::string text;
    i64 source;        // index of the input line it was made from
};

// Translates a function's lines (line 0 the header, copied with the
// generated loop names appended as locals). Returns 0, or 26 "structure
// error" (also in error_number) with *failing_line the input line.
int translate_lines(const std::vector<std::string> &in, std::vector<TranslatedLine> &out,
                    i64 *failing_line);

// The same over a FunctionText: its fresh list in, its work list out.
int translate_control_structures(FunctionText *ft, i64 *failing_line);

// True when c may appear in the variable of a vector or numeric for.
bool is_loop_variable_char(char c);
