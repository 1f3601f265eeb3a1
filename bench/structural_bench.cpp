// Times the structural primitives through their handlers on 10,000,000
// integers (reshape, catenate, take, drop, rotate, transpose, compress by a
// boolean mask) and runs the numpy script on the same cases when python3
// with numpy is there, printing both and the ratio.
//   structural_bench [items] [repeats]
#include <cstdio>
#include <cstdlib>
#include "harness.h"
#include "core/tables.h"

static const i64 X = 100, Y = 101, MASK = 102, MATRIX = 103, SHAPE = 104, TAKE = 105, DROP = 106, TURN = 107;
static const i64 ROWS = 2000;

static void fill_operands(i64 n) {
    i64 *x = (i64 *)make_value(X, T_INT, 1, n), *y = (i64 *)make_value(Y, T_INT, 1, n);
    i64 *m = (i64 *)make_value(MASK, T_BOOL, 1, n), *a = (i64 *)make_value(MATRIX, T_INT, 2, ROWS, n / ROWS);
    uint64_t s = 7;
    for (i64 i = 0; i < n; i++) {
        next_state(s);
        x[i] = (i64)(s >> 40) % 2000000 - 1000000;
        y[i] = x[i] + 1;
        m[i] = (s >> 20) & 1;
        a[i] = x[i];
    }
    i64 *sh = (i64 *)make_value(SHAPE, T_INT, 1, 2);
    sh[0] = ROWS;
    sh[1] = n / ROWS;
    *(i64 *)make_value(TAKE, T_INT, 0, 0) = n - n / 10;
    *(i64 *)make_value(DROP, T_INT, 0, 0) = n / 10;
    *(i64 *)make_value(TURN, T_INT, 0, 0) = 3;
}

int main(int argc, char **argv) {
    auto [n, repeat] = begin_bench(argc, argv, 10000000, 7);
    if (n < ROWS) {
        fprintf(stderr, "structural_bench: at least %lld items (a %lld-row matrix)\n", (long long)ROWS, (long long)ROWS);
        return 2;
    }
    n -= n % ROWS;
    fill_operands(n);
    const std::vector<Case> cases = {
        {"reshape", P_RESHAPE, SHAPE, X},    {"catenate", P_CATENATE, X, Y},
        {"take", P_TAKE, TAKE, X},           {"drop", P_DROP, DROP, X},
        {"rotate", P_ROTATE, TURN, X},       {"transpose", P_TRANSPOSE, -1, MATRIX},
        {"compress", P_REPLICATE, MASK, X},
    };
    PeerTimes numpy = peer_times(BENCH_DIR "/numpy_structural.py", "%lld %d %lld", (long long)n, repeat,
                                 (long long)ROWS);
    printf("%lld items, best of %d (ms)\n", (long long)n, repeat);
    run_cases(cases, repeat, "numpy", numpy);
    return 0;
}
