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
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>
#include "core/arena.h"
#include "core/dispatch.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "system/startup.h"

static const i64 ROLL_BOUNDS = 100, DEAL_K = 101, DEAL_N = 102, MATRIX = 103, FLOATS = 104, FLOATS_100K = 105;
static const i64 RESULT = FIRST_TEMP_SLOT;

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void *make_value(i64 slot, i64 type, i64 rank, i64 d0, i64 d1) {
    i64 n = rank == 0 ? 1 : rank == 1 ? d0 : d0 * d1;
    value_slot_table[slot].type = type;
    if (alloc_slot_value(slot, type, rank, n)) exit(1);
    set_slot_shape(slot, rank, n, d0, d1);
    return value_data(&value_slot_table[slot]);
}

static void fill_operands() {
    i64 *bounds = (i64 *)make_value(ROLL_BOUNDS, T_INT, 1, 10000000, 0);
    for (i64 i = 0; i < 10000000; i++) bounds[i] = 100;
    *(i64 *)make_value(DEAL_K, T_INT, 0, 1000000, 0) = 1000000;
    *(i64 *)make_value(DEAL_N, T_INT, 0, 10000000, 0) = 10000000;
    double *m = (double *)make_value(MATRIX, T_FLOAT, 2, 500, 500);
    uint64_t s = 7;
    for (i64 i = 0; i < 500 * 500; i++) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        m[i] = (double)(s >> 11) / 9007199254740992.0 + (i % 501 == 0 ? 10.0 : 0.0);
    }
    double *f = (double *)make_value(FLOATS, T_FLOAT, 1, 1000000, 0);
    for (i64 i = 0; i < 1000000; i++) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        f[i] = (double)(s >> 11) / 9007199254740992.0 * 1000 - 500;
    }
    double *g = (double *)make_value(FLOATS_100K, T_FLOAT, 1, 100000, 0);
    for (i64 i = 0; i < 100000; i++) g[i] = f[i];
}

struct Case { const char *name; i64 code; i64 left, right; };

static double best_of(const Case &c, int repeat) {
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        reset_stack();
        free_value(&value_slot_table[RESULT]);
        double t = now_ms();
        int e = dispatch_primitive(c.code, RESULT, -1, c.left, -1, c.right);
        free_scratch();
        double dt = now_ms() - t;
        if (e) { fprintf(stderr, "%s failed: %d\n", c.name, e); exit(1); }
        if (dt < best) best = dt;
    }
    return best;
}

static std::map<std::string, double> numpy_times(int repeat, bool full) {
    std::map<std::string, double> times;
    char command[512];
    const char *python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    snprintf(command, sizeof command, "%s %s %d %s 2>/dev/null", python, NUMPY_SCRIPT, repeat, full ? "full" : "");
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
    int repeat = argc > 1 ? atoi(argv[1]) : 5;
    session_print = discard;
    start_interpreter();
    fill_operands();
    const Case cases[] = {
        {"roll", P_ROLL, -1, ROLL_BOUNDS},
        {"deal", P_DEAL, DEAL_K, DEAL_N},
        {"inverse", P_INVERSE, -1, MATRIX},
        {"format", P_FORMAT, -1, FLOATS},
        {"format_100k", P_FORMAT, -1, FLOATS_100K},
    };
    setvbuf(stdout, nullptr, _IOLBF, 0);
    bool full = argc > 2 && std::string(argv[2]) == "full";
    std::map<std::string, double> numpy = numpy_times(repeat, full);
    printf("best of %d (ms)\n%-12s %10s %10s %8s\n", repeat, "case", "vek", "numpy", "ratio");
    for (const Case &c : cases) {
        double t = best_of(c, repeat);
        auto it = numpy.find(c.name);
        if (it == numpy.end()) printf("%-12s %10.2f %10s %8s\n", c.name, t, "-", "-");
        else printf("%-12s %10.2f %10.2f %8.2f\n", c.name, t, it->second, t / it->second);
    }
    return 0;
}
