// The road to the front end: the one output call every piece of
// interpreter output takes, the other hooks through which the interpreter
// reaches whatever front end runs it (console, desktop, server, tests),
// and the flags that decide how a line's output ends.
#pragma once
#include <cstdint>

// ---- Hooks set by the front end ------------------------------------------
// The one output road: every piece of interpreter output goes through it.
extern void (*session_print)(const char *text);
// Reads one line of keyboard input into buf (at most cap-1 bytes + NUL);
// returns the byte count, 0 on cancel.
extern int64_t (*ask_input_string)(const char *prompt, char *buf, int64_t cap);
// "@." lines: the desktop opens a script editor holding the line.
extern void (*open_script_editor_with_text)(const char *text);
// Function and Variable dock: list_names reports each name here when not
// printing ("%1: %2" with the kind letter and the name).
extern void (*add_symbol_item)(char kind, const char *name);

// Formats like printf into a growable string and sends it whole to
// session_print: pieces longer than print_buffer are never cut.
void vek_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void vek_puts(const char *text);

// ---- How a line's output ends ------------------------------------------
// An output line left open (by the second output slot): one flag with the
// display's open line, closed with a newline before anything else is said.
extern unsigned char pending_newline;
// Set, a line ends without the prompt.
extern unsigned char prompt_suppress;
// Set, the start-up text ends without the prompt.
extern unsigned char quiet_start;
