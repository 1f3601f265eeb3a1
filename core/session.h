// Session line entry: the front door every front end calls. The hooks
// through which the interpreter reaches the front end are in output.h.
#pragma once
#include <cstdint>
#include <cstddef>

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

// Directory where workspaces and scripts are looked up (at most 119 bytes).
extern char library_path[120];
