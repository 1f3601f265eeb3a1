// The interrupt request: one flag, set from anywhere, read at boundaries.
#include "interrupt.h"

volatile std::sig_atomic_t interrupt_pending = 0;

void request_interrupt() { interrupt_pending = 1; }
void clear_interrupt() { interrupt_pending = 0; }
