// Session line entry: the front door every front end calls, and the hooks
// through which the interpreter reaches whatever front end is running it.
#pragma once
#include <cstdint>
#include <cstddef>

// ---- Hooks set by the front end (console, desktop, tests) ----------------
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

// ")" lines: the system-command dispatcher, set at start-up (the commands
// live above the core). It reports its own errors.
extern int (*system_command_hook)(char *text);

// ---- Entry points ---------------------------------------------------------
void init_interpreter();
void print_session_start();
void execute_input_line(char *text);                  // always ends with the prompt
int execute_immediate_line(const char *text, int64_t length);  // 0 or -1
int pop_state_indicator(const char *rest);
void brace_command(const char *text, int echo);
void report_error(int64_t number);
// True while the one outermost immediate line runs: the only time when
// state-indicator entries below it may move (see make_state_indicator_room).
bool state_indicator_may_shift();

// Formats like printf into a growable string and sends it whole to
// session_print: pieces longer than print_buffer are never cut.
void vek_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void vek_puts(const char *text);

extern int64_t error_number;
extern int64_t error_position;
extern int64_t line_start_clock;      // monotonic milliseconds
extern int64_t pending_si_entries;
extern unsigned char prompt_suppress;
extern unsigned char quiet_start;
extern unsigned char pending_newline;  // one flag with the display's open line
extern double float_nan, float_infinity;

// Growable line buffer of the line runner and the function compiler
// (5120 bytes at start-up).
extern char *line_text_buffer;
extern int64_t line_text_capacity;

// Directory where workspaces and scripts are looked up (at most 119 bytes).
extern char library_path[120];
