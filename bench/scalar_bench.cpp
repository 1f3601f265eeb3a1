// Times the scalar functions through their handlers on two 10,000,000-item
// vectors (and a single item against one), and runs the numpy script on the
// same cases when python3 with numpy is there, printing both and the ratio.
// The "kernel" column is the array kernel alone writing into memory that is
// already mapped: the handler's figure minus it is the cost of allocating
// and first touching a fresh large block.
//   scalar_bench [items] [repeats]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>
#include "core/arena.h"
#include "core/session.h"
#include "core/tables.h"
#include "primitives/scalar.h"

static const i64 XI = 100, YI = 101, XF = 102, YF = 103, SI = 104, SF = 105;
static const i64 RESULT = FIRST_TEMP_SLOT;

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void *make_vector(i64 slot, i64 type, i64 n) {
    value_slot_table[slot].type = type;
    if (alloc_slot_value(slot, type, n == 1 ? 0 : 1, n)) exit(1);
    set_slot_shape(slot, n == 1 ? 0 : 1, n, n, 0);
    return value_data(&value_slot_table[slot]);
}

static void fill_operands(i64 n) {
    i64 *xi = (i64 *)make_vector(XI, T_INT, n), *yi = (i64 *)make_vector(YI, T_INT, n);
    double *xf = (double *)make_vector(XF, T_FLOAT, n), *yf = (double *)make_vector(YF, T_FLOAT, n);
    uint64_t s = 7;
    for (i64 i = 0; i < n; i++) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        xi[i] = (i64)(s >> 40) % 2000000 - 1000000;
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        yi[i] = (i64)(s >> 40) % 2000000 - 1000000;
        xf[i] = xi[i] / 7.0;
        yf[i] = yi[i] / 3.0;
    }
    *(i64 *)make_vector(SI, T_INT, 1) = 5;
    *(double *)make_vector(SF, T_FLOAT, 1) = 2.5;
}

struct Case { const char *name; i64 code; i64 left, right; };

static double best_of(const Case &c, int repeat) {
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        reset_stack();
        double t = now_ms();
        int e = c.code < P_PLUS ? prim_compare(c.code, RESULT, -1, c.left, -1, c.right)
                                 : scalar_dyadic(c.code, RESULT, -1, c.left, -1, c.right);
        double dt = now_ms() - t;
        if (e) { fprintf(stderr, "%s failed: %d\n", c.name, e); exit(1); }
        if (dt < best) best = dt;
    }
    return best;
}

static double kernel_best_of(const Case &c, int repeat, i64 *z) {
    ValueDescriptor *l = &value_slot_table[c.left], *r = &value_slot_table[c.right];
    i64 n = l->count > r->count ? l->count : r->count;
    int ls = l->count == 1, rs = r->count == 1;
    double best = 1e300;
    for (int k = 0; k < repeat; k++) {
        double t = now_ms();
        if (c.code < P_PLUS && l->type == T_INT)
            int_compare_array(c.code, n, z, (i64 *)value_data(l), ls, (i64 *)value_data(r), rs);
        else if (c.code < P_PLUS)
            float_compare_array(c.code, n, z, (double *)value_data(l), ls, (double *)value_data(r), rs, 0);
        else if (l->type == T_INT)
            int_dyadic_array(c.code, n, z, (i64 *)value_data(l), ls, (i64 *)value_data(r), rs);
        else
            float_dyadic_array(c.code, n, (double *)z, (double *)value_data(l), ls, (double *)value_data(r), rs);
        double dt = now_ms() - t;
        if (dt < best) best = dt;
    }
    return best;
}

static std::map<std::string, double> numpy_times(i64 n, int repeat) {
    std::map<std::string, double> times;
    char command[512];
    // The system interpreter carries the distribution's numpy even when
    // another python3 comes first on the path.
    const char *python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    snprintf(command, sizeof command, "%s %s %lld %d 2>/dev/null", python, NUMPY_SCRIPT, (long long)n, repeat);
    FILE *p = popen(command, "r");
    if (!p) return times;
    char name[64];
    double ms;
    while (fscanf(p, "%63s %lf", name, &ms) == 2) times[name] = ms;
    pclose(p);
    return times;
}

static void print_line(const char *text) { fputs(text, stdout); }

int main(int argc, char **argv) {
    i64 n = argc > 1 ? atoll(argv[1]) : 10000000;
    int repeat = argc > 2 ? atoi(argv[2]) : 7;
    session_print = print_line;
    init_interpreter_tables();
    fill_operands(n);
    const Case cases[] = {
        {"int_add", P_PLUS, XI, YI},          {"int_times", P_TIMES, XI, YI},
        {"int_less", P_LESS, XI, YI},         {"int_scalar_add", P_PLUS, SI, YI},
        {"float_add", P_PLUS, XF, YF},        {"float_times", P_TIMES, XF, YF},
        {"float_less", P_LESS, XF, YF},       {"float_scalar_times", P_TIMES, SF, YF},
    };
    std::map<std::string, double> numpy = numpy_times(n, repeat);
    std::vector<i64> mapped(n, 1);
    printf("%lld items, best of %d (ms)\n%-20s %10s %10s %10s %8s %8s\n", (long long)n, repeat, "case", "vek",
           "kernel", "numpy", "ratio", "kernel");
    for (const Case &c : cases) {
        double t = best_of(c, repeat), k = kernel_best_of(c, repeat, mapped.data());
        auto it = numpy.find(c.name);
        if (it == numpy.end()) printf("%-20s %10.2f %10.2f %10s %8s %8s\n", c.name, t, k, "-", "-", "-");
        else printf("%-20s %10.2f %10.2f %10.2f %8.2f %8.2f\n", c.name, t, k, it->second, t / it->second,
                    k / it->second);
    }
    return 0;
}
