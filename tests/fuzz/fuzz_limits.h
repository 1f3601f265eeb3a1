// What one fuzz input may take.
//
// Time: loops in user functions may run for ever, as the language allows;
// once the input has used its share of processor time the running
// statement is interrupted at its next line or primitive, and so is every
// later statement of the input (the request stays until the next input
// arms the guard again). A timeout of the fuzzer then means a hang of the
// interpreter itself. Processor time (SIGPROF), not wall time: the
// fuzzer's own timeout uses SIGALRM, and a slow machine must not turn a
// fast input into a runaway.
//
// Memory: values may take a limit well inside the fuzzer's own limit on
// the process, and the count of what they take is checked between inputs.
#pragma once
#include "core/arena.h"
#include "core/interrupt.h"
#include "core/session.h"
#include "system/startup.h"
#include "core/tables.h"
#include "core/output.h"
#include <string>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/time.h>

// What one input may take: processor time, and memory for its values well
// inside the fuzzer's own limit on the process. A single primitive is not
// interrupted, so values are kept small enough (2 million words) that the
// slowest one over them ends well within the fuzzer's timeout under the
// sanitizers.
enum : long { RUNAWAY_MS = 250 };
enum : long long { FUZZ_MEMORY_LIMIT = 16LL << 20 };

inline void runaway_signal(int) { request_interrupt(); }

inline void set_runaway_timer(long ms) {
    struct itimerval t = {};
    t.it_value.tv_sec = ms / 1000;
    t.it_value.tv_usec = (ms % 1000) * 1000;
    setitimer(ITIMER_PROF, &t, nullptr);
}

// Clears an interrupt left by the last input and starts the limit.
inline void arm_runaway_guard(long ms) {
    static bool installed = false;
    if (!installed) {
        struct sigaction sa = {};
        sa.sa_handler = runaway_signal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGPROF, &sa, nullptr);
        installed = true;
    }
    clear_interrupt();
    set_runaway_timer(ms);
}

inline void disarm_runaway_guard() {
    set_runaway_timer(0);
    clear_interrupt();
}

// Memory: after the workspace is cleared the count of value memory must
// stand between nothing and the limit; a count that drifts (a block given
// back twice, or one never given back) would turn into false workspace
// full errors, or into no limit at all.
inline void check_value_memory_count() {
    i64 used = value_memory_used();
    if (used < 0 || used > value_memory_limit()) {
        fprintf(stderr, "value memory count %lld outside 0..%lld\n", (long long)used, (long long)value_memory_limit());
        abort();
    }
}

// Every target starts the interpreter once for the whole run, with its
// output going where the target wants and its values under the limit.
inline void start_fuzz_interpreter(void (*print)(const char *)) {
    session_print = print;
    start_interpreter();
    set_value_memory_limit(FUZZ_MEMORY_LIMIT);
}

// A directory of this process only (targets run side by side), made once,
// that the library path points at so scripts and files written by inputs
// stay out of the tree. Returns its path.
inline std::string use_scratch_library(const char *tag) {
    std::string dir = "/tmp/vek-fuzz-" + std::string(tag) + "-" + std::to_string((int)getpid());
    std::string cmd = "mkdir -p " + dir;
    if (system(cmd.c_str()) != 0) abort();
    snprintf(library_path, sizeof library_path, "%s", dir.c_str());
    return dir;
}
