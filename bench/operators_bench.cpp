// Times reduce, scan, the inner and outer products and each through their
// handlers, and runs the numpy script on the same cases when python3 with
// numpy is there, printing both and the ratio (vek / numpy).
//   operators_bench [items] [repeats]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>
#include "core/arena.h"
#include "core/names.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "primitives/products.h"
#include "primitives/reduce.h"
#include "system/startup.h"

// Global slots well above those the start-up uses.
static const i64 XI = 20000, XF = 20001, MA = 20002, MB = 20003, OA = 20004, OB = 20005, OAF = 20006,
                 OBF = 20007;
static const i64 RESULT = FIRST_TEMP_SLOT + 100;

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static uint64_t seed = 7;
static i64 next_int(i64 range) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return (i64)(seed >> 33) % (2 * range) - range;
}

static void *make_value(i64 slot, i64 type, i64 rows, i64 cols) {
    i64 n = rows * cols;
    i64 rank = rows > 1 ? 2 : 1;
    value_slot_table[slot].type = type;
    if (alloc_slot_value(slot, type, rank, n)) exit(1);
    set_slot_shape(slot, rank, n, rows, cols);
    return value_data(&value_slot_table[slot]);
}

static void fill_operands(i64 n) {
    i64 *xi = (i64 *)make_value(XI, T_INT, 1, n);
    double *xf = (double *)make_value(XF, T_FLOAT, 1, n);
    for (i64 i = 0; i < n; i++) {
        xi[i] = next_int(1000000);
        xf[i] = xi[i] / 7.0;
    }
    double *ma = (double *)make_value(MA, T_FLOAT, 500, 500), *mb = (double *)make_value(MB, T_FLOAT, 500, 500);
    for (i64 i = 0; i < 500 * 500; i++) {
        ma[i] = next_int(1000000) / 7.0;
        mb[i] = next_int(1000000) / 3.0;
    }
    i64 *oa = (i64 *)make_value(OA, T_INT, 1, 1000), *ob = (i64 *)make_value(OB, T_INT, 1, 10000);
    double *oaf = (double *)make_value(OAF, T_FLOAT, 1, 1000), *obf = (double *)make_value(OBF, T_FLOAT, 1, 10000);
    for (i64 i = 0; i < 1000; i++) oaf[i] = (oa[i] = next_int(1000)) / 7.0;
    for (i64 i = 0; i < 10000; i++) obf[i] = (ob[i] = next_int(1000)) / 3.0;
}

struct Case { const char *name; i64 code; i64 left, right; };

static int run_case(const Case &c) {
    if (is_reduce_code(c.code)) return op_reduce(c.code, RESULT, -1, c.right);
    if (is_scan_code(c.code)) return op_scan(c.code, RESULT, -1, c.right);
    if (is_inner_code(c.code)) return op_inner_product(c.code, RESULT, -1, c.left, -1, c.right, 0);
    return op_outer_product(c.code, RESULT, -1, c.left, -1, c.right);
}

static double best_of(const Case &c, int repeat) {
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        reset_stack();
        double t = now_ms();
        int e = run_case(c);
        double dt = now_ms() - t;
        free_scratch();
        if (e) { fprintf(stderr, "%s failed: %d\n", c.name, e); exit(1); }
        if (dt < best) best = dt;
    }
    return best;
}

static std::map<std::string, double> numpy_times(i64 n, int repeat) {
    std::map<std::string, double> times;
    char command[512];
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

static std::string printed;
static void capture(const char *text) { printed += text; }

static void run_line(const char *line) {
    std::string text = line;
    printed.clear();
    execute_input_line(text.data());
}

// Each of a defined function (and of a primitive) over a list of n scalars.
static void each_rate(i64 n) {
    run_line("{inc: x+1}");
    run_line("x<-0");
    i64 g = lookup_name("x", 'G');
    if (g < 0) { printf("each: no variable\n"); return; }
    ValueDescriptor list;
    memset(&list, 0, sizeof list);
    list.type = T_LIST;
    list.rank = 1;
    list.count = list.dim0 = n;
    if (alloc_descriptor_data(&list, 1)) exit(1);
    ValueDescriptor *items = (ValueDescriptor *)list.data;
    for (i64 i = 0; i < n; i++) {
        items[i].type = T_INT;
        items[i].rank = 0;
        items[i].count = 1;
        items[i].dim0 = i;
        fix_inline_pointer(&items[i]);
    }
    if (assign_to_slot(global_name_table[g].index, &list)) exit(1);
    free_value(&list);
    const char *lines[] = {"y<-\"inc x", "y<-\"-x"};
    const char *names[] = {"each_defined", "each_primitive"};
    for (int k = 0; k < 2; k++) {
        double best = 1e300;
        for (int r = 0; r < 3; r++) {
            double t = now_ms();
            run_line(lines[k]);
            double dt = now_ms() - t;
            if (printed.find_first_not_of(" \n") != std::string::npos) { printf("%s: %s\n", names[k], printed.c_str()); return; }
            if (dt < best) best = dt;
        }
        printf("%-20s %10.2f ms for %lld items: %.0f items per second\n", names[k], best, (long long)n,
               n / (best / 1e3));
    }
}

int main(int argc, char **argv) {
    i64 n = argc > 1 ? atoll(argv[1]) : 10000000;
    int repeat = argc > 2 ? atoi(argv[2]) : 7;
    session_print = capture;
    quiet_start = 1;
    start_interpreter();
    fill_operands(n);
    const Case cases[] = {
        {"int_sum", reduce_code(P_PLUS, false), -1, XI},
        {"float_sum", reduce_code(P_PLUS, false), -1, XF},
        {"int_max", reduce_code(P_MAX, false), -1, XI},
        {"int_min", reduce_code(P_MIN, false), -1, XI},
        {"float_max", reduce_code(P_MAX, false), -1, XF},
        {"float_min", reduce_code(P_MIN, false), -1, XF},
        {"int_cumsum", scan_code(P_PLUS, false), -1, XI},
        {"float_cumsum", scan_code(P_PLUS, false), -1, XF},
        {"matmul_500", inner_code(P_PLUS, P_TIMES), MA, MB},
        {"outer_times_int", outer_code(P_TIMES), OA, OB},
        {"outer_times_float", outer_code(P_TIMES), OAF, OBF},
    };
    std::map<std::string, double> numpy = numpy_times(n, repeat);
    printf("%lld items, best of %d (ms)\n%-20s %10s %10s %8s\n", (long long)n, repeat, "case", "vek", "numpy",
           "ratio");
    for (const Case &c : cases) {
        double t = best_of(c, repeat);
        auto it = numpy.find(c.name);
        if (it == numpy.end()) printf("%-20s %10.3f %10s %8s\n", c.name, t, "-", "-");
        else printf("%-20s %10.3f %10.3f %8.2f\n", c.name, t, it->second, t / it->second);
    }
    reset_stack();
    each_rate(100000);
    return 0;
}
