// Times roll, deal, the matrix inverse and format through their handlers
// and runs the numpy script on the same cases when python3 with numpy is
// there, printing both and the ratio:
//   roll     ?. of 10,000,000 items (each 100)  vs  Generator.integers
//   deal     1,000,000 ?. 10,000,000            vs  Generator.choice without replacement
//   inverse  #. of a 500-by-500 float matrix    vs  numpy.linalg.inv
//   format   +. of 1,000,000 floats             vs  numpy.array2string of all items
//   format_100k  the same of their first 100,000
// numpy's array2string takes time growing with the square of the items, so
// its 1,000,000-item case runs only with "full" (over ten minutes).
//   misc_bench [repeats] [full]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "harness.h"
#include "core/arena.h"

static const i64 ROLL_BOUNDS = 100, DEAL_K = 101, DEAL_N = 102, MATRIX = 103, FLOATS = 104, FLOATS_100K = 105;

static void fill_operands() {
    i64 *bounds = (i64 *)make_value(ROLL_BOUNDS, T_INT, 1, 10000000);
    for (i64 i = 0; i < 10000000; i++) bounds[i] = 100;
    *(i64 *)make_value(DEAL_K, T_INT, 0, 1000000) = 1000000;
    *(i64 *)make_value(DEAL_N, T_INT, 0, 10000000) = 10000000;
    double *m = (double *)make_value(MATRIX, T_FLOAT, 2, 500, 500);
    uint64_t s = 7;
    for (i64 i = 0; i < 500 * 500; i++)
        m[i] = (double)(next_state(s) >> 11) / 9007199254740992.0 + (i % 501 == 0 ? 10.0 : 0.0);
    double *f = (double *)make_value(FLOATS, T_FLOAT, 1, 1000000);
    for (i64 i = 0; i < 1000000; i++) f[i] = (double)(next_state(s) >> 11) / 9007199254740992.0 * 1000 - 500;
    double *g = (double *)make_value(FLOATS_100K, T_FLOAT, 1, 100000);
    for (i64 i = 0; i < 100000; i++) g[i] = f[i];
}

// Giving back the scratch of deal and format is part of their cost.
static int apply_and_give_back(const Case &c) {
    int e = apply_primitive(c);
    free_scratch();
    return e;
}

int main(int argc, char **argv) {
    int repeat = (int)argument(argc, argv, 1, 5);
    bool full = argc > 2 && strcmp(argv[2], "full") == 0;
    start_quiet();
    fill_operands();
    const std::vector<Case> cases = {
        {"roll", P_ROLL, -1, ROLL_BOUNDS},
        {"deal", P_DEAL, DEAL_K, DEAL_N},
        {"inverse", P_INVERSE, -1, MATRIX},
        {"format", P_FORMAT, -1, FLOATS},
        {"format_100k", P_FORMAT, -1, FLOATS_100K},
    };
    PeerTimes numpy = peer_times(BENCH_DIR "/numpy_misc.py", "%d %s", repeat, full ? "full" : "");
    printf("best of %d (ms)\n", repeat);
    run_cases(cases, repeat, "numpy", numpy, apply_and_give_back);
    return 0;
}
