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
