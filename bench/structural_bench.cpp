// Times the structural primitives through their handlers on 10,000,000
// integers (reshape, catenate, take, drop, rotate, transpose, compress by a
// boolean mask) and runs the numpy script on the same cases when python3
// with numpy is there, printing both and the ratio.
//   structural_bench [items] [repeats]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>
#include "core/arena.h"
#include "core/dispatch.h"
#include "core/session.h"
#include "core/tables.h"
#include "system/startup.h"

static const i64 X = 100, Y = 101, MASK = 102, MATRIX = 103, SHAPE = 104, TAKE = 105, DROP = 106, TURN = 107;
static const i64 RESULT = FIRST_TEMP_SLOT;
static const i64 ROWS = 2000;

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static i64 *make_value(i64 slot, i64 type, i64 rank, i64 n, i64 d0, i64 d1) {
    value_slot_table[slot].type = type;
    if (alloc_slot_value(slot, type, rank, n)) exit(1);
    set_slot_shape(slot, rank, n, d0, d1);
    return (i64 *)value_data(&value_slot_table[slot]);
}

static void fill_operands(i64 n) {
    i64 *x = make_value(X, T_INT, 1, n, n, 0), *y = make_value(Y, T_INT, 1, n, n, 0);
    i64 *m = make_value(MASK, T_BOOL, 1, n, n, 0), *a = make_value(MATRIX, T_INT, 2, n, ROWS, n / ROWS);
    uint64_t s = 7;
    for (i64 i = 0; i < n; i++) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        x[i] = (i64)(s >> 40) % 2000000 - 1000000;
        y[i] = x[i] + 1;
        m[i] = (s >> 20) & 1;
        a[i] = x[i];
    }
    i64 *sh = make_value(SHAPE, T_INT, 1, 2, 2, 0);
    sh[0] = ROWS;
    sh[1] = n / ROWS;
    *make_value(TAKE, T_INT, 0, 1, 0, 0) = n - n / 10;
    *make_value(DROP, T_INT, 0, 1, 0, 0) = n / 10;
    *make_value(TURN, T_INT, 0, 1, 0, 0) = 3;
}

struct Case { const char *name; i64 code, left, right; };

static double best_of(const Case &c, int repeat) {
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        reset_stack();
        double t = now_ms();
        int e = dispatch_primitive(c.code, RESULT, -1, c.left, -1, c.right);
        double dt = now_ms() - t;
        if (e) { fprintf(stderr, "%s failed: %d\n", c.name, e); exit(1); }
        if (dt < best) best = dt;
    }
    return best;
}

static std::map<std::string, double> numpy_times(i64 n, int repeat) {
    std::map<std::string, double> times;
    char command[512];
    const char *python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    snprintf(command, sizeof command, "%s %s %lld %d %lld 2>/dev/null", python, NUMPY_SCRIPT, (long long)n, repeat,
             (long long)ROWS);
    FILE *p = popen(command, "r");
    if (!p) return times;
    char name[64];
    double ms;
    while (fscanf(p, "%63s %lf", name, &ms) == 2) times[name] = ms;
    pclose(p);
    return times;
}

static void discard(const char *) {}

int main(int argc, char **argv) {
    i64 n = argc > 1 ? atoll(argv[1]) : 10000000;
    int repeat = argc > 2 ? atoi(argv[2]) : 7;
    n -= n % ROWS;
    session_print = discard;
    start_interpreter();
    fill_operands(n);
    const Case cases[] = {
        {"reshape", P_RESHAPE, SHAPE, X},    {"catenate", P_CATENATE, X, Y},
        {"take", P_TAKE, TAKE, X},           {"drop", P_DROP, DROP, X},
        {"rotate", P_ROTATE, TURN, X},       {"transpose", P_TRANSPOSE, -1, MATRIX},
        {"compress", P_REPLICATE, MASK, X},
    };
    std::map<std::string, double> numpy = numpy_times(n, repeat);
    printf("%lld items, best of %d (ms)\n%-12s %10s %10s %8s\n", (long long)n, repeat, "case", "vek", "numpy", "ratio");
    for (const Case &c : cases) {
        double t = best_of(c, repeat);
        auto it = numpy.find(c.name);
        if (it == numpy.end()) { printf("%-12s %10.2f %10s %8s\n", c.name, t, "-", "-"); continue; }
        printf("%-12s %10.2f %10.2f %8.2f\n", c.name, t, it->second, t / it->second);
    }
    return 0;
}
