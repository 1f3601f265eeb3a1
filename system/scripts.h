// Script files (".vkp"): reading them into line lists, the line runner that
// runs statements, commands, function blocks and variable blocks, the )OUT
// writer, and the text-line trimming helpers.
#pragma once
#include "core/tables.h"
#include <cstdio>

enum : i64 {
    SCRIPT_NESTING_MAX = 16,   // scripts that load scripts
    // The longest line (and joined statement) a script may hold: far above
    // any line )OUT writes, so that no line of a file is read whole first.
    SCRIPT_LINE_MAX = 1 << 20,
    // What a variable block may hold; )OUT refuses to write more.
    SCRIPT_DEPTH_MAX = 64, SCRIPT_RANK_MAX = 64, SCRIPT_COUNT_MAX = (i64)1 << 31,
};

extern unsigned char report_once;    // errors 82 and 83 are reported once per run
extern unsigned char script_quiet;   // no echo, no reports; the first error ends the run

// )FLOAD (copy 0: clears the workspace first) and )FCOPY (copy 1). Only a
// regular file is read, and a file with a line the reader refuses is
// refused before it runs or anything is cleared. Returns the error number
// (1 after a reported open failure).
int load_script_file(const char *argument, int copy);
// Runs every line of a list (head node first). path (or null) is shown in
// the location lines of a failure and the closing "saved" line.
int run_lines(TextLine *head, const char *path, i64 longest);
void echo_error_line(const char *line, i64 prefix_length);
// Runs a piece of script text (lines separated by line feeds, each trimmed
// of blanks) as the line runner runs a file's lines.
int run_script_text(const char *text, i64 length);
// Runs the query layer's embedded script quietly (the line that copies
// "standard" takes the copy beside the program when the library directory
// has none): 0, or the first error. Reached from `do` through
// load_query_script_hook.
int load_query_script();

// )OUT file [names...]
int cmd_out(char *argument);
// Writers of the script blocks. Return 0, or 76 when a write fails.
int write_variable_text(i64 slot, const char *name, FILE *file);
int write_function_block(const FunctionText *text, FILE *file);

void print_file_not_found();
void trim_right(char *text);
