// What every benchmark shares: the clock, the interpreter started quietly
// with its output kept, operands built straight into slots, best-of-N
// timing of a primitive or a line, the peer script's timings, the table of
// ratios, and child processes timed whole with their peak size.
// Peer scripts live beside the benchmarks: BENCH_DIR "/name.py".
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include "core/codes.h"
#include "core/value.h"

// ---- Arguments -------------------------------------------------------------
// The whole number at argv[position], or `fallback` when it is not given;
// anything but a positive number ends the program.
long long argument(int argc, char **argv, int position, long long fallback);

// ---- Clock -----------------------------------------------------------------
double now_ms();   // monotonic

// Best of `repeat` calls of step(), in milliseconds.
template <class Step> double best_ms(int repeat, Step step)
{
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        double t = now_ms();
        step();
        double dt = now_ms() - t;
        if (dt < best) best = dt;
    }
    return best;
}

// One step of the benchmarks' generator; the data they build depends on
// each keeping its own state and shifts, so it returns the whole state.
inline uint64_t next_state(uint64_t &state)
{
    return state = state * 6364136223846793005ULL + 1442695040888963407ULL;
}

// ---- The interpreter ---------------------------------------------------------
// Starts it without its banner; its output is kept for run_line.
void start_quiet();
// The usual arguments, "[items] [repeats]", read, then start_quiet().
struct Sizes { i64 items; int repeat; };
Sizes begin_bench(int argc, char **argv, i64 items, int repeat);
// Runs one line and returns what it printed; output holding "Error" (or
// the query layer's "error in") ends the program, naming the line.
const std::string &run_line(const char *line);
double best_line_ms(const char *line, int repeat);

// A value of rank 0, 1 or 2 (d0 items, or d0 by d1) in `slot`, its items
// to be filled through the pointer returned.
void *make_value(i64 slot, i64 type, i64 rank, i64 d0, i64 d1 = 0);
// n items: a single one is a scalar.
void *make_vector(i64 slot, i64 type, i64 n);
// The global variable `name` as a vector of n items.
void *make_global(const char *name, i64 type, i64 n);

// ---- Primitive cases ---------------------------------------------------------
struct Case { const char *name; i64 code, left, right; };
// Above the temporaries a line may take, so lines can run between cases.
const i64 CASE_RESULT = FIRST_TEMP_SLOT + 100;
// A case's call, returning an error number (0 when it worked).
using Apply = int (*)(const Case &);
int apply_primitive(const Case &c);   // through the dispatcher
// Best of `repeat` runs, the stack reset and the last result given up
// before each and scratch given back after (all untimed); an error ends
// the program.
double best_case_ms(const Case &c, int repeat, Apply apply = apply_primitive);

// ---- The peer ----------------------------------------------------------------
using PeerTimes = std::map<std::string, double>;   // case -> best ms
// The system python3 (it carries the distribution's numpy and pandas even
// when another comes first on the path), or python3 from the path.
const char *peer_python();
// Runs `script` with the arguments formatted like printf, reading its
// "name ms" lines; empty when python3 or its modules are missing.
PeerTimes peer_times(const char *script, const char *format, ...) __attribute__((format(printf, 2, 3)));

// ---- Report ------------------------------------------------------------------
// The column heads and one line per case: Vek's ms, the peer's, and Vek's
// over the peer's (below 1 is faster); "-" where the peer has no time.
void print_head(const char *peer);
void print_row(const char *name, double vek_ms, const PeerTimes &peer);
// The column heads, then each case timed and its row printed.
void run_cases(const std::vector<Case> &cases, int repeat, const char *peer_name, const PeerTimes &peer,
               Apply apply = apply_primitive);

// ---- Whole processes ---------------------------------------------------------
struct Run { double ms; long peak_kb; };
const char *console_program();   // the console built beside the benchmarks
// Runs argv with `input` on its standard input and its output discarded;
// a child that does not end cleanly ends the program.
Run run_child(char *const argv[], const char *input);
