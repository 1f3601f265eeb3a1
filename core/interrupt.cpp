// The interrupt request: one flag, set from anywhere, read at boundaries.
#include "interrupt.h"

volatile std::sig_atomic_t interrupt_pending = 0;
void (*interrupt_poll)() = nullptr;
int poll_countdown = POLL_SPACING;

void request_interrupt() { interrupt_pending = 1; }
void clear_interrupt() { interrupt_pending = 0; }

void run_interrupt_poll()
{
    poll_countdown = POLL_SPACING;
    if (interrupt_poll) interrupt_poll();
}
