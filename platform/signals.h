// Signals of the console and server front ends.
#pragma once

// Ctrl-C: the first interrupt calls `first` from the signal handler (so it
// must only set a flag); a second one within a second ends the process the
// way an uncaught interrupt does.
void platform_catch_interrupts(void (*first)());
// A write to a connection whose client has gone fails with an error
// instead of ending the process.
void platform_ignore_broken_pipes();
