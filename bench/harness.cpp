// The benchmarks' shared harness: see harness.h.
#include "harness.h"
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include "core/arena.h"
#include "core/dispatch.h"
#include "core/names.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "system/startup.h"
#include "core/output.h"
#include "core/storage.h"

long long argument(int argc, char **argv, int position, long long fallback)
{
    if (argc <= position) return fallback;
    char *end;
    errno = 0;
    long long value = strtoll(argv[position], &end, 10);
    if (end == argv[position] || *end || errno || value <= 0) {
        fprintf(stderr, "%s: \"%s\" is not a positive whole number\n", argv[0], argv[position]);
        exit(2);
    }
    return value;
}

double now_ms()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// ---- The interpreter ---------------------------------------------------------
static std::string kept;
static void keep(const char *text) { kept += text; }

void start_quiet()
{
    session_print = keep;
    quiet_start = 1;
    start_interpreter();
}

Sizes begin_bench(int argc, char **argv, i64 items, int repeat)
{
    Sizes sizes = {argument(argc, argv, 1, items), (int)argument(argc, argv, 2, repeat)};
    start_quiet();
    return sizes;
}

const std::string &run_line(const char *line)
{
    std::string text = line;   // the runner may write into its line
    kept.clear();
    execute_input_line(text.data());
    if (kept.find("Error") != std::string::npos || kept.find("error in") != std::string::npos) {
        fprintf(stderr, "%s failed:\n%s\n", line, kept.c_str());
        exit(1);
    }
    return kept;
}

double best_line_ms(const char *line, int repeat)
{
    return best_ms(repeat, [&] { run_line(line); });
}

void *make_value(i64 slot, i64 type, i64 rank, i64 d0, i64 d1)
{
    i64 n = rank == 0 ? 1 : rank == 1 ? d0 : d0 * d1;
    value_slot_table[slot].type = type;
    if (alloc_slot_value(slot, type, rank, n)) {
        fprintf(stderr, "no room for %lld items\n", (long long)n);
        exit(1);
    }
    set_slot_shape(slot, rank, n, d0, d1);
    return value_data(&value_slot_table[slot]);
}

void *make_vector(i64 slot, i64 type, i64 n) { return make_value(slot, type, n == 1 ? 0 : 1, n); }

void *make_global(const char *name, i64 type, i64 n)
{
    i64 g = lookup_name(name, 'G');
    if (g < 0) g = add_name_entry(name, 'G');
    if (g < 0) {
        fprintf(stderr, "no room for the name %s\n", name);
        exit(1);
    }
    return make_value(global_name_table[g].index, type, 1, n);
}

// ---- Primitive cases ---------------------------------------------------------
int apply_primitive(const Case &c) { return dispatch_primitive(c.code, CASE_RESULT, -1, c.left, -1, c.right); }

double best_case_ms(const Case &c, int repeat, Apply apply)
{
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        reset_stack();
        free_value(&value_slot_table[CASE_RESULT]);
        double t = now_ms();
        int e = apply(c);
        double dt = now_ms() - t;
        free_scratch();
        if (e) {
            fprintf(stderr, "%s failed: %d\n", c.name, e);
            exit(1);
        }
        if (dt < best) best = dt;
    }
    return best;
}

// ---- The peer ----------------------------------------------------------------
const char *peer_python() { return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3"; }

PeerTimes peer_times(const char *script, const char *format, ...)
{
    char arguments[768];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(arguments, sizeof arguments, format, args);
    va_end(args);
    PeerTimes times;
    if (length < 0 || length >= (int)sizeof arguments) return times;
    // -B: the shared helper module is imported from the source tree, which
    // gets no compiled copies.
    std::string command = std::string(peer_python()) + " -B '" + script + "' " + arguments + " 2>/dev/null";
    FILE *p = popen(command.c_str(), "r");
    if (!p) return times;
    char name[64];
    double ms;
    while (fscanf(p, "%63s %lf", name, &ms) == 2) times[name] = ms;
    pclose(p);
    return times;
}

// ---- Report ------------------------------------------------------------------
void print_head(const char *peer) { printf("%-20s %10s %10s %8s\n", "case", "vek", peer, "ratio"); }

void print_row(const char *name, double vek_ms, const PeerTimes &peer)
{
    auto at = peer.find(name);
    if (at == peer.end()) printf("%-20s %10.3f %10s %8s\n", name, vek_ms, "-", "-");
    else printf("%-20s %10.3f %10.3f %8.2f\n", name, vek_ms, at->second, vek_ms / at->second);
    fflush(stdout);
}

void run_cases(const std::vector<Case> &cases, int repeat, const char *peer_name, const PeerTimes &peer, Apply apply)
{
    print_head(peer_name);
    for (const Case &c : cases) print_row(c.name, best_case_ms(c, repeat, apply), peer);
}

// ---- Whole processes ---------------------------------------------------------
const char *console_program() { return CONSOLE_PROGRAM; }

Run run_child(char *const argv[], const char *input)
{
    int in[2];
    if (pipe(in) != 0) exit(1);
    double t0 = now_ms();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        close(in[0]);
        close(in[1]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execv(argv[0], argv);
        _exit(127);
    }
    close(in[0]);
    size_t length = strlen(input);
    if (length && write(in[1], input, length) < 0) {}   // a child that reads nothing may leave first
    close(in[1]);
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    double ms = now_ms() - t0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s did not end cleanly\n", argv[0]);
        exit(1);
    }
    return {ms, usage.ru_maxrss};
}
