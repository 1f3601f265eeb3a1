// The lines of a defined function: the line loop that runs them under the
// control of their branch entries, keeps the trace of executed lines and
// leaves a failing call suspended; and the lean walk, which runs the
// simple statements of loops (names, constants, assignments, one-index
// indexing and functions with a single-item path) without the general
// walk's checks.
#pragma once
#include "calls.h"

// The last lines a running call executed (a ring) and how many it executed.
struct LineTrace {
    i64 ring[TRACE_RING];
    i64 executed;
};

// Runs the lines of function row from line 1 until a branch leaves or the
// last line is done. k: the call's nesting (its state-indicator position
// is call_level(k)); io_slot: the []IO in force; temps: the caller's
// temporaries counter. Returns 0 or an error number, with the call left
// suspended at the failing line.
int run_function_lines(i64 row, i64 k, i64 io_slot, i64 temps);

// The lean steps kept with a statement (set up on its first run).
struct LeanProgram;
// Frees them, with the statement's list.
void free_lean_program(StatementNode *s);
