// Signal handling through sigaction. The interrupt handler only reads the
// clock, calls the front end's flag setter and, for a second interrupt,
// re-raises the signal with its default action: all async-signal-safe.
#include "signals.h"
#include <csignal>
#include <cstdint>
#include <ctime>

static void (*first_interrupt)() = nullptr;

static void on_interrupt(int) {
    static int64_t last_ms = -1;   // touched by this handler only
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    int64_t now = (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
    if (last_ms >= 0 && now - last_ms < 1000) {
        // Blocked while this handler runs, so it is delivered on return.
        signal(SIGINT, SIG_DFL);
        raise(SIGINT);
        return;
    }
    last_ms = now;
    if (first_interrupt) first_interrupt();
}

void platform_catch_interrupts(void (*first)()) {
    first_interrupt = first;
    struct sigaction action = {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

void platform_ignore_broken_pipes() {
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}
