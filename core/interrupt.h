// Stopping a running statement from outside the interpreter: a signal
// handler, a watchdog timer or a front end whose client has gone asks for
// it, and the evaluator (at every application) and the function runtime (at
// every line) stop with INTERRUPT_ERROR. The request stays until the front
// end clears it before its next line, so a nested run that swallows one
// failure still stops at the next boundary.
#pragma once
#include <csignal>
#include "errors.h"

// Its report is the newline alone, then the usual location lines with the
// caret where the statement stopped: the user knows why it stopped.
enum { INTERRUPT_ERROR = VEK_REPORTED };

extern volatile std::sig_atomic_t interrupt_pending;
void request_interrupt();   // async-signal-safe
void clear_interrupt();

// A front end that has no signal to stop a statement with (the desktop
// window, whose own key presses must be read meanwhile) sets a poll; the
// boundaries call it once every POLL_SPACING checks, so a tight loop pays
// a counter, not a call. The poll may request the interrupt; it must not
// run interpreter code.
enum { POLL_SPACING = 256 };
extern void (*interrupt_poll)();
extern int poll_countdown;
void run_interrupt_poll();

// The check made at every boundary: true when the running statement must stop.
inline bool interrupt_requested()
{
    if (--poll_countdown < 0) run_interrupt_poll();
    return interrupt_pending;
}

// The check between the blocks of a long read or write of a file: a block
// takes long enough that the poll runs at each one.
inline bool interrupt_requested_between_blocks()
{
    run_interrupt_poll();
    return interrupt_pending;
}
