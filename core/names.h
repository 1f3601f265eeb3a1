// Global, local and long names: storing, looking up and creating them,
// turning a name into an operand for the statement compiler, parsing a
// function header into its FunctionEntry, collecting labels, and listing
// the defined names.
#pragma once
#include "tables.h"
#include <climits>
// <limits.h> has a NAME_MAX of its own (file names); here it is the longest
// name of the language.
#undef NAME_MAX

enum : i64 {
    NAME_MAX = 127,          // longest name; buffers hold NAME_MAX + 1 bytes
    LABEL_LINE_MAX = 5127,   // longest function line scanned for a label
};

// What a name resolves to for the statement compiler.
enum : i64 { OPERAND_FUNCTION = 0, OPERAND_VARIABLE = 1, OPERAND_LABEL = 2, OPERAND_LOCAL = 3 };
struct OperandRef {
    i64 kind;    // OPERAND_*
    i64 index;   // function index, value slot, label line, or the local entry's index word
    i64 local;   // bound or local name entry it came from, else -1
};

// 'G' global names (newest first), 'L' local names from lstnx down, 'D' the
// bound names of active calls (dfxstack, top down). Returns the entry (for
// 'D' the dfxstack position), or -1 when absent or the letter is unknown.
i64 lookup_name(const char *name, char kind);
bool name_entry_equals(const NameEntry *e, const char *name);

// Searches among a function's own names. The header names are the local
// entries header_start+1 .. header_end; the labels are the local entries
// made by collect_function_labels, which the compiler calls right after
// recording body_start, so they run from body_start+1 on.
i64 find_local_name(const char *name, i64 function);
i64 find_local_name_backward(const char *name, i64 function);
i64 find_label_name(const char *name, i64 function);
i64 find_bound_name(const char *name);
// The descriptor of a bound name, else of a global; null with error 4.
ValueDescriptor *find_bound_value(const char *name);

// table 'G' global entry, 'N' local entry. Returns 0, or 6 "workspace full"
// (stored in error_number) when the long-name pool has no room.
int store_name_text(const char *name, i64 entry, char table);
// 'G' global variable with a new value slot, 'F' global function with a new
// FunctionEntry, 'V' local variable (index -1), 'L' local label.
// Returns the entry index; -1 with error_number set when a table is full
// (84) or the name is too long (1); -1 without error for an unknown kind.
i64 add_name_entry(const char *name, char kind);
// Gives up the global names made after entry `mark` that hold nothing: a
// variable without a value that no active or suspended call has bound.
// Called when an immediate line ends, so names that only failing statements
// used do not stay. Names on top of the table go with their value slots;
// one below a kept name becomes a free entry that a new variable reuses
// when the table or the value slots are full.
void release_unused_names(i64 mark);
// The last global entry made before the running line: a full table gives
// a new variable an entry at or below it that holds nothing, never one of
// this line's own names. Set at the start of each outermost line.
extern i64 line_names_start;
// The full text of a global ('G') or local ('N') entry, in a buffer that the
// next call overwrites.
const char *name_text_by_index(i64 index, char table);
// Copies the full text into buffer (NAME_MAX + 1 bytes); returns its length.
i64 name_entry_text(const NameEntry *e, char *buffer);

// Resolves the name at scan_pos (the compiler's scanner state) into out.
// function_row is -1 for immediate statements. Returns 0 or an error number.
int resolve_name_operand(const char *line, const char *classes, OperandRef *out,
                         i64 function_row, int label_flag, int branch_flag);
// Called with scan_pos after "[]". Returns 0, 1 when no such name exists
// (immediate statements; the compiler reports it), or an error number.
int resolve_system_name_operand(const char *line, OperandRef *out, i64 function_row);
i64 resolve_value_index(const char *name);
bool is_valid_identifier(const char *text);

// Header parsing. parse_header_name writes at most NAME_MAX + 1 bytes.
int parse_header_name(const char *header, char *name_out);
int parse_function_header(const char *name, i64 function, const char *header, i64 length);
// Makes the label entries of a function from its work list (first is the
// line after the head node, count the number of lines). Returns 0 or an error.
int collect_function_labels(TextLine *first, i64 count);

// ---- Listing ---------------------------------------------------------------
// Lists the defined names of kind 'F' or 'V' that start with prefix, in
// ASCII order (through the name trie): printed in columns when to_list is
// set, else reported to add_symbol_item. The variables of the innermost
// active function are among them. Returns 0, or -1 when no listed name
// starts with the prefix.
int list_names(const char *prefix, char kind, int to_list);
// Same selection, as a TextLine list (head node first); the caller frees it.
TextLine *collect_names(const char *prefix, char kind);

// True for the functions of the query layer, which are never listed and
// whose failures are reported in one line.
bool is_query_function_name(const char *name);
bool is_query_function(i64 function);
