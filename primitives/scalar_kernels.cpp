// Whole-array kernels of the scalar functions: one tight loop per function
// and operand class, chosen once per array, with a single item held in a
// register when it is repeated. The handlers and the operators call these.
#pragma GCC optimize("O3")
#include "primitives/scalar_kernels.h"
#include "core/valueops.h"
#include <cmath>

// ---- The loop shapes ---------------------------------------------------------------
// Four loops per function: both repeated, left repeated, right repeated,
// neither. z may be x or y; each item depends only on its own position.
template <class Z, class X, class Y, class Op>
static inline void apply_loops(i64 n, Z *z, const X *x, int xs, const Y *y, int ys, Op op) {
    if (xs && ys) {
        Z r = op(x[0], y[0]);
        for (i64 i = 0; i < n; i++) z[i] = r;
    } else if (xs) {
        X a = x[0];
        for (i64 i = 0; i < n; i++) z[i] = op(a, y[i]);
    } else if (ys) {
        Y b = y[0];
        for (i64 i = 0; i < n; i++) z[i] = op(x[i], b);
    } else {
        for (i64 i = 0; i < n; i++) z[i] = op(x[i], y[i]);
    }
}

// Integer sums, differences and products must match int_dyadic_kernel,
// which rounds results beyond 2^53 through a double. Such results are rare,
// so the loop only notes whether one occurred (bits above 2^54 after
// shifting the range up by 2^53) and a second pass rounds them.
static const uint64_t EXACT_SHIFT = (uint64_t)1 << 53;

template <class Op>
static inline uint64_t wrap_loops(i64 n, i64 *z, const i64 *x, int xs, const i64 *y, int ys, Op op) {
    uint64_t out = 0;
    if (xs && ys) {
        i64 r = op(x[0], y[0]);
        for (i64 i = 0; i < n; i++) z[i] = r;
        out = ((uint64_t)r + EXACT_SHIFT) >> 54;
    } else if (xs) {
        uint64_t a = (uint64_t)x[0];
        for (i64 i = 0; i < n; i++) {
            i64 r = op(a, y[i]);
            z[i] = r;
            out |= ((uint64_t)r + EXACT_SHIFT) >> 54;
        }
    } else if (ys) {
        uint64_t b = (uint64_t)y[0];
        for (i64 i = 0; i < n; i++) {
            i64 r = op(x[i], b);
            z[i] = r;
            out |= ((uint64_t)r + EXACT_SHIFT) >> 54;
        }
    } else {
        for (i64 i = 0; i < n; i++) {
            i64 r = op(x[i], y[i]);
            z[i] = r;
            out |= ((uint64_t)r + EXACT_SHIFT) >> 54;
        }
    }
    return out;
}

static void round_large_results(i64 n, i64 *z) {
    static const double TWO_63 = 9223372036854775808.0;
    for (i64 i = 0; i < n; i++) {
        double d = (double)z[i];
        if (d < TWO_63 && d >= -TWO_63) z[i] = (i64)d;
    }
}

// Items the loops above do not cover go one by one through the item kernel.
static int int_items(i64 code, i64 n, i64 *z, const i64 *x, int xs, const i64 *y, int ys) {
    i64 saved = error_number;
    error_number = 0;
    for (i64 i = 0; i < n; i++) {
        z[i] = int_dyadic_kernel(code, x[xs ? 0 : i], y[ys ? 0 : i]);
        if (error_number) { error_number = saved; return 1; }
    }
    error_number = saved;
    return 0;
}

int int_dyadic_array(i64 code, i64 n, i64 *z, const i64 *x, int xs, const i64 *y, int ys) {
    uint64_t out = 0;
    switch (code) {
    case P_PLUS:
        out = wrap_loops(n, z, x, xs, y, ys, [](uint64_t a, uint64_t b) { return (i64)(a + b); });
        break;
    case P_MINUS:
        out = wrap_loops(n, z, x, xs, y, ys, [](uint64_t a, uint64_t b) { return (i64)(a - b); });
        break;
    case P_TIMES:
        out = wrap_loops(n, z, x, xs, y, ys, [](uint64_t a, uint64_t b) { return (i64)(a * b); });
        break;
    case P_MAX:
        apply_loops(n, z, x, xs, y, ys, [](i64 a, i64 b) { return a > b ? a : b; });
        return 0;
    case P_MIN:
        apply_loops(n, z, x, xs, y, ys, [](i64 a, i64 b) { return a < b ? a : b; });
        return 0;
    case P_RESIDUE:
    case P_BINOMIAL:
        return int_items(code, n, z, x, xs, y, ys);
    default:
        return 1;
    }
    if (out) round_large_results(n, z);
    return 0;
}

// ---- Float results: X and Y are each i64 (boolean, integer) or double -------------

template <class X, class Y>
int float_dyadic_mixed(i64 code, i64 n, double *z, const X *x, int xs, const Y *y, int ys) {
    switch (code) {
    case P_PLUS:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) { return (double)a + (double)b; });
        return 0;
    case P_MINUS:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) { return (double)a - (double)b; });
        return 0;
    case P_TIMES:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) { return (double)a * (double)b; });
        return 0;
    case P_DIVIDE:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) {
            double p = (double)a, q = (double)b;
            return p == q ? 1.0 : p / q;
        });
        return 0;
    case P_MAX:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) {
            double p = (double)a, q = (double)b;
            return p > q ? p : q;
        });
        return 0;
    case P_MIN:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) {
            double p = (double)a, q = (double)b;
            return p < q ? p : q;
        });
        return 0;
    case P_POWER:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) { return std::pow((double)a, (double)b); });
        return 0;
    case P_LOG:
    case P_RESIDUE:
    case P_CIRCLE:
        apply_loops(n, z, x, xs, y, ys,
                    [code](X a, Y b) { return float_dyadic_kernel(code, (double)a, (double)b); });
        return 0;
    case P_BINOMIAL: {
        for (i64 i = 0; i < n; i++) {
            int failed = 0;
            z[i] = binomial_extended((double)x[xs ? 0 : i], (double)y[ys ? 0 : i], &failed);
            if (failed) return 1;
        }
        return 0;
    }
    }
    return 1;
}

template int float_dyadic_mixed<i64, i64>(i64, i64, double *, const i64 *, int, const i64 *, int);
template int float_dyadic_mixed<i64, double>(i64, i64, double *, const i64 *, int, const double *, int);
template int float_dyadic_mixed<double, i64>(i64, i64, double *, const double *, int, const i64 *, int);

int float_dyadic_array(i64 code, i64 n, double *z, const double *x, int xs, const double *y, int ys) {
    return float_dyadic_mixed<double, double>(code, n, z, x, xs, y, ys);
}

// ---- Complex pairs -------------------------------------------------------------------

int complex_dyadic_array(i64 code, i64 n, double *z, const double *x, int xs, const double *y, int ys) {
    i64 sx = xs ? 0 : 2, sy = ys ? 0 : 2;
    if (code == P_PLUS || code == P_MINUS) {
        // Parts below 1e-13 become 0 as in complex_dyadic.
        double sign = code == P_PLUS ? 1.0 : -1.0;
        for (i64 i = 0; i < n; i++) {
            double re = x[i * sx] + sign * y[i * sy];
            double im = x[i * sx + 1] + sign * y[i * sy + 1];
            z[2 * i] = std::fabs(re) < 1e-13 ? 0.0 : re;
            z[2 * i + 1] = std::fabs(im) < 1e-13 ? 0.0 : im;
        }
        return 0;
    }
    for (i64 i = 0; i < n; i++) {
        double r[2];
        if (complex_dyadic(code, r, x + i * sx, y + i * sy)) return 1;
        z[2 * i] = r[0];
        z[2 * i + 1] = r[1];
    }
    return 0;
}

// ---- Comparisons -----------------------------------------------------------------------
// Less-or-equal is "not greater" and greater-or-equal "not less", so both
// are 1 when either item is NaN. For equality two NaNs are equal.

template <class X, class Y>
int compare_mixed(i64 code, i64 n, i64 *z, const X *x, int xs, const Y *y, int ys) {
    switch (code) {
    case P_LESS:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) -> i64 { return a < b; });
        return 0;
    case P_GREATER:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) -> i64 { return a > b; });
        return 0;
    case P_LESS_EQ:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) -> i64 { return !(a > b); });
        return 0;
    case P_GREATER_EQ:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) -> i64 { return !(a < b); });
        return 0;
    case P_EQUAL:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) -> i64 { return a == b || (a != a && b != b); });
        return 0;
    case P_NOT_EQUAL:
        apply_loops(n, z, x, xs, y, ys, [](X a, Y b) -> i64 { return !(a == b || (a != a && b != b)); });
        return 0;
    }
    return 1;
}

// An integer meeting a float compares as a double.
template <class X>
static inline double as_double(X v) { return (double)v; }

int compare_int_float(i64 code, i64 n, i64 *z, const i64 *x, int xs, const double *y, int ys,
                      int int_on_left) {
    // With the integer on the right the operands swap places in the loop, so
    // the code swaps too.
    static const i64 swapped[6] = {P_GREATER, P_GREATER_EQ, P_LESS_EQ, P_LESS, P_NOT_EQUAL, P_EQUAL};
    i64 c = int_on_left ? code : swapped[code - P_LESS];
    switch (c) {
    case P_LESS:
        apply_loops(n, z, x, xs, y, ys, [](i64 a, double b) -> i64 { return as_double(a) < b; });
        return 0;
    case P_GREATER:
        apply_loops(n, z, x, xs, y, ys, [](i64 a, double b) -> i64 { return as_double(a) > b; });
        return 0;
    case P_LESS_EQ:
        apply_loops(n, z, x, xs, y, ys, [](i64 a, double b) -> i64 { return !(as_double(a) > b); });
        return 0;
    case P_GREATER_EQ:
        apply_loops(n, z, x, xs, y, ys, [](i64 a, double b) -> i64 { return !(as_double(a) < b); });
        return 0;
    case P_EQUAL:
        apply_loops(n, z, x, xs, y, ys, [](i64 a, double b) -> i64 { return as_double(a) == b; });
        return 0;
    case P_NOT_EQUAL:
        apply_loops(n, z, x, xs, y, ys, [](i64 a, double b) -> i64 { return as_double(a) != b; });
        return 0;
    }
    return 1;
}

template int compare_mixed<signed char, signed char>(i64, i64, i64 *, const signed char *, int,
                                                     const signed char *, int);

int int_compare_array(i64 code, i64 n, i64 *z, const i64 *x, int xs, const i64 *y, int ys) {
    return compare_mixed<i64, i64>(code, n, z, x, xs, y, ys);
}

int float_compare_array(i64 code, i64 n, i64 *z, const double *x, int xs, const double *y, int ys,
                        int tolerant) {
    if (tolerant && (code == P_EQUAL || code == P_NOT_EQUAL)) {
        i64 want = code == P_EQUAL;
        // The item test itself: an infinity equals only itself.
        apply_loops(n, z, x, xs, y, ys,
                    [want](double a, double b) -> i64 { return floats_equal_tol(a, b) == (want != 0); });
        return 0;
    }
    return compare_mixed<double, double>(code, n, z, x, xs, y, ys);
}

// Complex equality: both parts equal (two NaN parts count as equal, as for
// the float null); a real operand arrives with imaginary parts 0.
int complex_equal_array(i64 code, i64 n, i64 *z, const double *x, int xs, const double *y, int ys) {
    i64 sx = xs ? 0 : 2, sy = ys ? 0 : 2;
    i64 want = code == P_EQUAL;
    for (i64 i = 0; i < n; i++) {
        const double *a = x + i * sx, *b = y + i * sy;
        bool re = a[0] == b[0] || (a[0] != a[0] && b[0] != b[0]);
        bool im = a[1] == b[1] || (a[1] != a[1] && b[1] != b[1]);
        z[i] = (re && im) == (want != 0);
    }
    return 0;
}
