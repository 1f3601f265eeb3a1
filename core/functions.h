// The function text store: each defined function's source as three TextLine
// lists (as typed, without blanks and comments, after translation), the
// listing shown by the brace command, script blocks, workspace records,
// error-report line lookup, the functions a header line makes, and direct
// definitions "{name: s1; s2}".
#pragma once
#include <cstdio>
#include "tables.h"

enum : i64 {
    FUNCTION_NAME_MAX = 119,     // longest name a FunctionText holds
    FUNCTION_LINE_MAX = 5119,    // longest line of a function
};

// ---- Records ----------------------------------------------------------------------
// A new text record (name copied, empty lists, counts 0); null with error 23
// when the name is longer than FUNCTION_NAME_MAX.
FunctionText *new_function_text(const char *name);
int init_function_text(FunctionText *ft, const char *name);
void free_function_text(FunctionText *ft);
// The text record of function row, or null.
FunctionText *function_text_of(i64 row);

// ---- Lines --------------------------------------------------------------------------

// Typed line 0; the typed count becomes at least 1. 23 for a line over
// FUNCTION_LINE_MAX characters.
int set_header_line(FunctionText *ft, const char *header);
// Sets typed line i (i >= 1) and makes the typed count i + 1.
int set_typed_line(FunctionText *ft, i64 i, const char *text);
int append_typed_line(FunctionText *ft, const char *text);
// Appends each of the first n source lines, trimmed of blanks and a //
// comment, that is not empty, with its index as line number. Returns the
// number appended, or -1 with error 23 for a line over FUNCTION_LINE_MAX.
i64 copy_nonblank_lines(TextLine *dst, const TextLine *src, i64 n);
// Rebuilds the fresh list from the typed lines (after any change of them).
int rebuild_fresh_lines(FunctionText *ft);

// Work line i; "" past the work count.
const char *work_line_text(const FunctionText *ft, i64 i);
// Typed line i without its leading blanks; the name for i out of range.
const char *old_line_text(const FunctionText *ft, i64 i);
// The typed line that work line i came from (without leading blanks), with
// *column (when given) moved from the work line's text to the typed text.
const char *source_line_for_work_line(const FunctionText *ft, i64 i, i64 *column);
// The typed line number work line i came from (0 for the header).
i64 typed_line_for_work_line(const FunctionText *ft, i64 i);

// ---- Listing ----------------------------------------------------------------------
// "{name}": the numbered listing (or the reserved-name notice).
void print_function_listing(const FunctionText *ft, const char *name);

// ---- Functions made from a header line ------------------------------------------
// Creates the function a header names (a new global name, or a name that
// holds no value), or redefines a user function's header; its index, or
// -1 (error_number set for a bad name or a full table).
i64 define_function_from_header(const char *header);

// ---- Direct definitions -------------------------------------------------------------
// line: the session line after its "{". Defines the function and copies its
// name into name_buffer (FUNCTION_NAME_MAX + 1 bytes). Returns 0, or 1
// "domain error" (also in error_number) for any failure.
int convert_direct_definition(const char *line, char *name_buffer);
// The identifier at the start of a line (leading blanks skipped, a trailing
// '_' dropped, blanks after it skipped) in a buffer that the next call
// overwrites (*name). Returns the position after it, 0 when the line does
// not start with a letter.
i64 scan_leading_name(const char *line, const char **name);
bool is_control_keyword(const char *name);
