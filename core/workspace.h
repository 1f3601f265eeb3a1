// The workspace: the one-time set-up of the interpreter's tables and the
// clear that returns them to their initial state (start-up, )CLEAR and
// )LOAD).
#pragma once

// One-time set-up, called by init_interpreter: the lexer's character
// classes, the value arena, the tables, the predefined names and built-in
// functions, then a clear.
void init_interpreter_tables();
// Resets value slots, system variables and built-in constants (called by
// the clear).
void init_builtin_constants();
// Empties every table and gives back every value; wipe non-zero also
// zeroes the whole value arena.
void clear_workspace(int wipe);
