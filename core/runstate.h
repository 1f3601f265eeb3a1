// The state of the line now running, which the lower modules read and the
// session entry and the runtime set: how deep the immediate runs nest,
// whether executed text is running, how many state-indicator entries a
// failure leaves, and when the line started.
#pragma once
#include <cstdint>

// Nested runs of execute_immediate_line (0 at the session, 1 while the one
// outermost immediate line runs; the line runner and )LOAD's []LX nest).
extern int immediate_depth;
// True while the one outermost immediate line runs: the only time when
// state-indicator entries below it may move (see make_state_indicator_room).
bool state_indicator_may_shift();

// Set while executed text runs (prim_execute sets and clears it): names
// then resolve as at the session, not as a function's locals.
extern int execute_flag;

// The state-indicator entries a failure leaves above si_depth: the
// immediate line's own, and one for each call running when it failed.
extern int64_t pending_si_entries;

// When the running immediate line started (monotonic milliseconds).
extern int64_t line_start_clock;
