// Times reduce, scan, the inner and outer products and each through their
// handlers, and runs the numpy script on the same cases when python3 with
// numpy is there, printing both and the ratio (vek / numpy).
//   operators_bench [items] [repeats]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "harness.h"
#include "core/arena.h"
#include "core/names.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "primitives/products.h"
#include "primitives/reduce.h"

// Global slots well above those the start-up uses.
static const i64 XI = 20000, XF = 20001, MA = 20002, MB = 20003, OA = 20004, OB = 20005, OAF = 20006,
                 OBF = 20007;

static uint64_t seed = 7;
static i64 next_int(i64 range) { return (i64)(next_state(seed) >> 33) % (2 * range) - range; }

static void fill_operands(i64 n) {
    i64 *xi = (i64 *)make_value(XI, T_INT, 1, n);
    double *xf = (double *)make_value(XF, T_FLOAT, 1, n);
    for (i64 i = 0; i < n; i++) {
        xi[i] = next_int(1000000);
        xf[i] = xi[i] / 7.0;
    }
    double *ma = (double *)make_value(MA, T_FLOAT, 2, 500, 500), *mb = (double *)make_value(MB, T_FLOAT, 2, 500, 500);
    for (i64 i = 0; i < 500 * 500; i++) {
        ma[i] = next_int(1000000) / 7.0;
        mb[i] = next_int(1000000) / 3.0;
    }
    i64 *oa = (i64 *)make_value(OA, T_INT, 1, 1000), *ob = (i64 *)make_value(OB, T_INT, 1, 10000);
    double *oaf = (double *)make_value(OAF, T_FLOAT, 1, 1000), *obf = (double *)make_value(OBF, T_FLOAT, 1, 10000);
    for (i64 i = 0; i < 1000; i++) oaf[i] = (oa[i] = next_int(1000)) / 7.0;
    for (i64 i = 0; i < 10000; i++) obf[i] = (ob[i] = next_int(1000)) / 3.0;
}

static int apply_operator(const Case &c) {
    if (is_reduce_code(c.code)) return op_reduce(c.code, CASE_RESULT, -1, c.right);
    if (is_scan_code(c.code)) return op_scan(c.code, CASE_RESULT, -1, c.right);
    if (is_inner_code(c.code)) return op_inner_product(c.code, CASE_RESULT, -1, c.left, -1, c.right, 0);
    return op_outer_product(c.code, CASE_RESULT, -1, c.left, -1, c.right);
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
        double best = best_ms(3, [&] {
            const std::string &printed = run_line(lines[k]);
            if (printed.find_first_not_of(" \n") != std::string::npos) {
                fprintf(stderr, "%s: %s\n", names[k], printed.c_str());
                exit(1);
            }
        });
        printf("%-20s %10.2f ms for %lld items: %.0f items per second\n", names[k], best, (long long)n,
               n / (best / 1e3));
    }
}

int main(int argc, char **argv) {
    auto [n, repeat] = begin_bench(argc, argv, 10000000, 7);
    fill_operands(n);
    const std::vector<Case> cases = {
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
    PeerTimes numpy = peer_times(BENCH_DIR "/numpy_operators.py", "%lld %d", (long long)n, repeat);
    printf("%lld items, best of %d (ms)\n", (long long)n, repeat);
    run_cases(cases, repeat, "numpy", numpy, apply_operator);
    reset_stack();
    each_rate(100000);
    return 0;
}
