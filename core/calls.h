// The defined-function runtime: compile on first call, binding of names on
// the localisation stack (dfxstack_table), local value slots counted down
// from LOCALS_TOP, the line loop with its branches, the state indicator's
// frames and the trace of the last executed lines.
#pragma once
#include "tables.h"

enum : i64 {
    TRACE_RING = 100,                 // lines remembered per running call
    SUSPENSION_WORDS = 3 + TRACE_RING - 1,
    LINE_NONE = -1,
};

// ---- Calls ----------------------------------------------------------------------
// Calls defined function `row` (a user function, index >= 100).
// Operands are references (c, v): constant c when c >= 0, else value slot v;
// a monadic call passes lc = lv = -1, a niladic one also rc = rv = -1.
// result_slot: a slot the caller owns (an evaluator temporary); it receives a
// copy of the function's result, and is left undefined (rank -1) for a
// function without result. temps: the caller's temporaries counter, so the
// body's statements take their temporaries above the caller's.
// Returns 0 or an error number (also in error_number); on failure the
// call and its callers stay on the state indicator (pending_si_entries).
int call_defined_function(i64 row, i64 lc, i64 lv, i64 rc, i64 rv, i64 result_slot, i64 temps);

// The number of defined-function calls now running (0 at the session).
extern i64 call_nesting;
// The state-indicator position of the running call at nesting k. Bare
// entries below it may be dropped while it runs, so it is worked out
// afresh at each use.
inline i64 call_level(i64 k) { return si_depth + k + 1; }

// Compiles function row (translation and every line). k: the call's nesting.
// Returns 0 or an error number; on failure the state-indicator entry of the
// call holds (row, the line being compiled) and error_position is set.
int compile_function(i64 row, i64 k, i64 io_slot);

// Forces every function to be compiled again on its next call (the compiled
// form is otherwise kept while its text, the set of global functions and the
// index origin are unchanged).
void invalidate_compiled_functions();
// Whether a compiled form still in use reaches above these table counters.
bool compiled_forms_above(i64 nodes, i64 entries, i64 branches, i64 constants);

// Per-line statement lists of a compiled function (lines from 1).
void free_function_lines(i64 row);
int append_function_line_node(i64 row, i64 line, i64 root, i64 start, i64 branch);

// ---- State indicator and frames --------------------------------------------------
// Every frame on dfxstack_table starts with a marker entry (name -1) whose
// slot word holds the state-indicator position of the call that pushed it,
// so a frame belongs to exactly one entry and is popped exactly once.

// Drops the state indicator to new_depth (-1 = empty): unbinds every frame
// pushed by an entry above it (newest first), releases their local slots,
// gives them back to lstvxend and restores the bindings of the frame below.
// "->" and )SIC use it.
void pop_frames_above(i64 new_depth);
// Drops the oldest bare immediate entry (a failed session line with no
// function entry above it), moving the entries above it down; false when
// there is none, or when positions may not move now (a nested run).
bool make_state_indicator_room();
// The newest state-indicator entry that is not a call of a query-layer
// function (-1 when there is none): where a failure inside the layer leaves
// the state indicator.
i64 innermost_user_frame();
// )SIC: empties the state indicator and unwinds every frame.
void clear_state_indicator();
// Workspace clear (before the tables are reset): as clear_state_indicator,
// also empties the suspension record and executed_value_state, forgets the
// compiled forms and frees every user function's compiled lines and text.
void reset_state_indicator();

// ---- Trace of executed lines ----------------------------------------------------
// suspension_record: function, its last line, the number of lines it
// executed, then up to 99 line numbers, oldest first. Filled at the first
// failure in a function within one immediate line.
extern i64 suspension_record[SUSPENSION_WORDS];
extern i64 suspension_count;          // words in use, 0 = nothing traced
// Called at the start of each immediate line: the next failure fills the record.
void mark_suspension_record_empty();
// Fills the record at the first failure in a function within the line
// (t: the failing call's trace, or null).
struct LineTrace;
void fill_suspension_record(i64 row, i64 line, const LineTrace *t);
