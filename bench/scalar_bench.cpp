// Times the scalar functions through their handlers on two 10,000,000-item
// vectors (and a single item against one), and runs the numpy script on the
// same cases when python3 with numpy is there, printing both and the ratio.
// The "kernel" column is the array kernel alone writing into memory that is
// already mapped: the handler's figure minus it is the cost of allocating
// and first touching a fresh large block.
//   scalar_bench [items] [repeats]
#include <cstdio>
#include <cstdlib>
#include <vector>
#include "harness.h"
#include "core/tables.h"
#include "primitives/scalar.h"

static const i64 XI = 100, YI = 101, XF = 102, YF = 103, SI = 104, SF = 105;

static void fill_operands(i64 n) {
    i64 *xi = (i64 *)make_vector(XI, T_INT, n), *yi = (i64 *)make_vector(YI, T_INT, n);
    double *xf = (double *)make_vector(XF, T_FLOAT, n), *yf = (double *)make_vector(YF, T_FLOAT, n);
    uint64_t s = 7;
    for (i64 i = 0; i < n; i++) {
        xi[i] = (i64)(next_state(s) >> 40) % 2000000 - 1000000;
        yi[i] = (i64)(next_state(s) >> 40) % 2000000 - 1000000;
        xf[i] = xi[i] / 7.0;
        yf[i] = yi[i] / 3.0;
    }
    *(i64 *)make_vector(SI, T_INT, 1) = 5;
    *(double *)make_vector(SF, T_FLOAT, 1) = 2.5;
}

static int apply_scalar(const Case &c) {
    return c.code < P_PLUS ? prim_compare(c.code, CASE_RESULT, -1, c.left, -1, c.right)
                           : scalar_dyadic(c.code, CASE_RESULT, -1, c.left, -1, c.right);
}

static double kernel_best_of(const Case &c, int repeat, i64 *z) {
    ValueDescriptor *l = &value_slot_table[c.left], *r = &value_slot_table[c.right];
    i64 n = l->count > r->count ? l->count : r->count;
    int ls = l->count == 1, rs = r->count == 1;
    return best_ms(repeat, [&] {
        if (c.code < P_PLUS && l->type == T_INT)
            int_compare_array(c.code, n, z, (i64 *)value_data(l), ls, (i64 *)value_data(r), rs);
        else if (c.code < P_PLUS)
            float_compare_array(c.code, n, z, (double *)value_data(l), ls, (double *)value_data(r), rs, 0);
        else if (l->type == T_INT)
            int_dyadic_array(c.code, n, z, (i64 *)value_data(l), ls, (i64 *)value_data(r), rs);
        else
            float_dyadic_array(c.code, n, (double *)z, (double *)value_data(l), ls, (double *)value_data(r), rs);
    });
}

int main(int argc, char **argv) {
    auto [n, repeat] = begin_bench(argc, argv, 10000000, 7);
    fill_operands(n);
    const std::vector<Case> cases = {
        {"int_add", P_PLUS, XI, YI},          {"int_times", P_TIMES, XI, YI},
        {"int_less", P_LESS, XI, YI},         {"int_scalar_add", P_PLUS, SI, YI},
        {"float_add", P_PLUS, XF, YF},        {"float_times", P_TIMES, XF, YF},
        {"float_less", P_LESS, XF, YF},       {"float_scalar_times", P_TIMES, SF, YF},
    };
    PeerTimes numpy = peer_times(BENCH_DIR "/numpy_scalar.py", "%lld %d", (long long)n, repeat);
    std::vector<i64> mapped(n, 1);
    printf("%lld items, best of %d (ms); kernel: the array kernel alone, into mapped memory\n", (long long)n, repeat);
    print_head("numpy");
    for (const Case &c : cases) {
        print_row(c.name, best_case_ms(c, repeat, apply_scalar), numpy);
        double k = kernel_best_of(c, repeat, mapped.data());
        auto it = numpy.find(c.name);
        if (it == numpy.end()) printf("%-20s %10.3f\n", "  kernel", k);
        else printf("%-20s %10.3f %10s %8.2f\n", "  kernel", k, "", k / it->second);
    }
    return 0;
}
