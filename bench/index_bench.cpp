// Times bracket indexing, interval and where through their handlers on
// 10,000,000-item values against numpy (fancy indexing, arange,
// flatnonzero) in the same run, and a defined function that assigns
// 100,000 items of a 1,000,000-item vector one at a time.
//   index_bench [items] [picks] [repeats]
#include <cstdio>
#include <cstdlib>
#include <string>
#include "harness.h"

static const i64 X = 100, POSITIONS = 101, MASK = 102, COUNT = 103;

static void fill_operands(i64 n, i64 picks) {
    i64 *x = (i64 *)make_vector(X, T_INT, n), *p = (i64 *)make_vector(POSITIONS, T_INT, picks);
    i64 *m = (i64 *)make_vector(MASK, T_BOOL, n);
    uint64_t s = 7;
    for (i64 i = 0; i < n; i++) x[i] = (i64)(next_state(s) >> 40) % 2000000 - 1000000;
    for (i64 i = 0; i < picks; i++) p[i] = 1 + (i64)((next_state(s) >> 16) % (uint64_t)n);   // origin 1
    for (i64 i = 0; i < n; i++) m[i] = (i64)(next_state(s) >> 63);
    *(i64 *)make_vector(COUNT, T_INT, 1) = n;
}

// A function loop of single-item assignments: the vector is copied once
// (the argument is shared with the caller), then written in place.
static double assignment_loop(i64 items, i64 assignments) {
    run_line("{fill: i<-0; while (i<y) { x[i+1]<-i; i<-i+1 }; x}");
    std::string make = "v<-!" + std::to_string(items), fill = "r<-" + std::to_string(assignments) + " fill v";
    run_line(make.c_str());
    double t = now_ms();
    run_line(fill.c_str());
    double dt = now_ms() - t;
    const std::string &got = run_line("r[1 2 100000 100001]");
    if (got.find("0 1 99999 100001") == std::string::npos) {
        fprintf(stderr, "assignment loop gave %s\n", got.c_str());
        exit(1);
    }
    return dt;
}

int main(int argc, char **argv) {
    i64 n = argument(argc, argv, 1, 10000000);
    i64 picks = argument(argc, argv, 2, 1000000);
    int repeat = (int)argument(argc, argv, 3, 7);
    start_quiet();
    fill_operands(n, picks);
    const std::vector<Case> cases = {
        {"gather", P_INDEX, X, POSITIONS},
        {"interval", P_INTERVAL, -1, COUNT},
        {"where", P_WHERE, -1, MASK},
    };
    PeerTimes numpy = peer_times(BENCH_DIR "/numpy_index.py", "%lld %lld %d", (long long)n, (long long)picks, repeat);
    printf("%lld items, %lld picks, best of %d (ms)\n", (long long)n, (long long)picks, repeat);
    run_cases(cases, repeat, "numpy", numpy);
    double loop = 1e300;
    for (int r = 0; r < 3; r++) {
        double t = assignment_loop(1000000, 100000);
        if (t < loop) loop = t;
    }
    printf("assignment loop: 100000 single-item assignments into 1000000 items in %.3f s\n", loop / 1000);
    return 0;
}
