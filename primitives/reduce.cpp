// Reduce and scan: a dyadic scalar function folded between the items of
// one operand along its last axis (f/ and f\) or its first axis (f/. and
// f\.).
//
// Ledger
// - Reduce of boolean, integer, float and complex operands of any rank by
//   the boolean functions, the comparisons and the arithmetic functions.
//   The fold runs from the right, x1 f (x2 f (... f xn)); a float null
//   among the earlier items is passed over (the last item never is); an
//   empty axis gives the function's identity; the result is demoted (whole
//   floats within 32 bits become integers).
//   Fast paths: integer plus, minus and times folded as 64-bit integers
//   when no partial result can leave 2^53 (where the float fold gives the
//   same numbers); integer and float max and min over wide registers; or
//   and and as any and all; along the first axis a row at a time.
//   Refuses: functions other than those (1); chars, symbols, lists, time
//   values (1); complex for max, min, the comparisons and binomial (1);
//   the boolean functions on items other than 0 and 1 (1); binomial of
//   non-integers (1) or beyond its size guard (1); an empty reduce of nor,
//   nand, log or circle (1); a complex step that fails (1).
// - Scan: each item is the reduce of the items up to it along its line.
//   Plus, times, max, min, and, or (and minus on integers) run once along
//   each line from the left (for floats the last bits may differ from the
//   fold from the right); the others recompute each prefix from its right
//   end. Chars scan as their codes; complex operands in complex
//   arithmetic; the boolean functions give integers 0 and 1. A prefix
//   costs its length, so such a scan costs the square of the line: it
//   looks at the interrupt before each prefix and stops with it.
//   Refuses as reduce, and symbols, time values and lists (1).
#include "primitives/reduce.h"
#include "primitives/fold_kernels.h"
#include "primitives/logical.h"
#include "primitives/scalar.h"
#include "core/arena.h"
#include "core/interrupt.h"
#include "core/value.h"
#include "core/valueops.h"
#include <cmath>
#include <cstring>

// ---- The functions --------------------------------------------------------------------

bool is_logical_function(i64 f) { return f >= P_OR && f <= P_NAND; }
bool is_comparison_function(i64 f) { return f >= P_LESS && f <= P_EQUAL; }
bool is_arithmetic_function(i64 f) { return f >= P_PLUS && f <= P_CIRCLE && (f & 1); }
bool is_operator_function(i64 f) {
    return is_logical_function(f) || is_comparison_function(f) || is_arithmetic_function(f);
}

int operator_identity(i64 f, double *value) {
    switch (f) {
    case P_OR: case P_LESS: case P_GREATER: case P_NOT_EQUAL:
    case P_PLUS: case P_MINUS: case P_RESIDUE:
        *value = 0;
        return 0;
    case P_AND: case P_LESS_EQ: case P_GREATER_EQ: case P_EQUAL:
    case P_TIMES: case P_DIVIDE: case P_POWER: case P_BINOMIAL:
        *value = 1;
        return 0;
    case P_MAX: *value = -float_infinity; return 0;
    case P_MIN: *value = float_infinity; return 0;
    }
    return 1;
}

static bool same(double x, double y, bool tolerant) { return tolerant ? floats_equal_tol(x, y) : x == y; }

double operator_item(i64 f, double x, double y, bool tolerant, int *failed) {
    switch (f) {
    case P_OR: return (x != 0) || (y != 0);
    case P_AND: return (x != 0) && (y != 0);
    case P_NOR: return (x == 0) && (y == 0);
    case P_NAND: return (x == 0) || (y == 0);
    case P_LESS: return x != x ? y == y : x < y;
    case P_GREATER: return x != x ? 0 : y != y ? 1 : x > y;
    case P_LESS_EQ: return x <= y;
    case P_GREATER_EQ: return x >= y;
    case P_EQUAL: return same(x, y, tolerant);
    case P_NOT_EQUAL: return !same(x, y, tolerant);
    case P_BINOMIAL: {
        int bad = 0;
        double b = binomial_extended(x, y, &bad);
        if (bad) *failed = VEK_DOMAIN;
        return b;
    }
    }
    return float_dyadic_kernel(f, x, y);
}

int operator_complex_item(i64 f, double *z, const double *x, const double *y) {
    if (f == P_POWER && x[1] == 0 && y[1] == 0 && (x[0] > 0 || (x[0] < 0 && y[0] == std::floor(y[0])))) {
        z[0] = std::pow(x[0], y[0]);
        z[1] = 0;
        return 0;
    }
    return complex_dyadic(f, z, x, y);
}

// ---- Operands -------------------------------------------------------------------------

// Booleans, or integers that hold only 0 and 1. The operand is only read:
// it may be a constant or shared, so it never changes type.
static bool logical_items(const Operand &x) {
    return x.type == T_BOOL || (x.type == T_INT && is_all_zero_one(x.desc()));
}

static bool reduce_accepts(i64 f, const Operand &x) {
    if (is_logical_function(f)) return logical_items(x);
    if (f == P_BINOMIAL) return x.is_int_class();
    if (f == P_MAX || f == P_MIN || is_comparison_function(f)) return x.is_real();
    return x.is_numeric();
}

// Scan also reads chars by their codes.
static bool scan_accepts(i64 f, const Operand &x) {
    if (is_logical_function(f)) return logical_items(x);
    if (x.type == T_CHAR) return true;
    return reduce_accepts(f, x) || (f == P_BINOMIAL && x.type == T_FLOAT);
}

const double *operand_floats(const Operand &x) {
    if (x.type == T_FLOAT) return x.floats();
    double *d = (double *)scratch_alloc(T_FLOAT, x.count);
    if (!d) return nullptr;
    if (x.type == T_CHAR)
        for (i64 i = 0; i < x.count; i++) d[i] = (unsigned char)x.chars()[i];
    else
        for (i64 i = 0; i < x.count; i++) d[i] = (double)x.ints()[i];
    return d;
}

static const i64 *int_items(const Operand &x) {
    if (x.type != T_CHAR) return x.ints();
    i64 *d = (i64 *)scratch_alloc(T_INT, x.count);
    if (!d) return nullptr;
    for (i64 i = 0; i < x.count; i++) d[i] = (unsigned char)x.chars()[i];
    return d;
}

const double *operand_pairs(const Operand &x) {
    if (x.type == T_COMPLEX) return x.pairs();
    double *d = (double *)scratch_alloc(T_COMPLEX, x.count);
    const double *f = d ? operand_floats(x) : nullptr;
    if (!f) return nullptr;
    for (i64 i = 0; i < x.count; i++) {
        d[2 * i] = f[i];
        d[2 * i + 1] = 0;
    }
    return d;
}

// ---- Lines along an axis -----------------------------------------------------------------
// Item i of the line (o, j) is at (o*n + i)*inner + j, and the line's
// result at o*inner + j. Along the last axis inner is 1; along the first
// outer is 1.
struct Axis {
    i64 outer, n, inner;
};

static int lines_of(const Operand &x, bool first, Axis *a, Shape *rest) {
    Shape s;
    shape_of(&s, &x);
    a->outer = a->n = a->inner = 1;
    rest->rank = 0;
    if (s.rank == 0) return 0;
    i64 axis = first ? 0 : s.rank - 1;
    a->n = s.dims[axis];
    if (checked_count(s.dims, axis, &a->outer)) return VEK_WS_FULL;
    if (checked_count(s.dims + axis + 1, s.rank - axis - 1, &a->inner)) return VEK_WS_FULL;
    for (i64 k = 0; k < s.rank; k++)
        if (k != axis) rest->dims[rest->rank++] = s.dims[k];
    return 0;
}

// ---- Results ------------------------------------------------------------------------------

// Integers written into a float result's block: an integer result when all
// lie within 32 bits, as demoting the float result would give, else floats.
static void settle_int_result(const Result &z) {
    i64 *p = z.ints();
    bool narrow = true;
    for (i64 i = 0; i < z.count && narrow; i++) narrow = p[i] >= -2147483647 && p[i] <= 2147483647;
    if (narrow) {
        z.desc()->type = T_INT;
        return;
    }
    double *q = z.floats();
    for (i64 i = 0; i < z.count; i++) q[i] = (double)p[i];
}

static int demote_result(const Result &z) { return demote_descriptor(z.desc()) ? (int)error_number : 0; }

// ---- Integer folds ---------------------------------------------------------------------------
// Integers up to 2^53 are exact doubles; a fold whose items and partial
// results all stay within that gives the same numbers in integers as in
// floats. These folds report false when that is not certain, and the
// float fold runs instead.
static const i64 EXACT = (i64)1 << 53;

static bool exact(i64 v) { return v >= -EXACT && v <= EXACT; }

// Items within [-bias, bias) keep every sum of n of them within 2^53.
static uint64_t item_bias(i64 n) {
    int bits = 0;
    while (bits < 63 && ((i64)1 << bits) < n) bits++;
    return bits > 52 ? 0 : (uint64_t)1 << (53 - bits);
}

static bool int_foldable(i64 f) {
    return f == P_PLUS || f == P_MINUS || f == P_TIMES || f == P_MAX || f == P_MIN || f == P_OR || f == P_AND;
}

static bool sum_line(const i64 *x, i64 n, i64 *out) {
    uint64_t bias = item_bias(n), spread;
    i64 s = sum_ints(x, n, bias, &spread);
    if (spread < 2 * bias) {
        *out = s;
        return true;
    }
    // large items: follow the partial sums themselves
    i64 r = x[n - 1];
    if (!exact(r)) return false;
    for (i64 i = n - 2; i >= 0; i--)
        if (!exact(x[i]) || __builtin_add_overflow(x[i], r, &r) || !exact(r)) return false;
    *out = r;
    return true;
}

static bool fold_int_line(i64 f, const i64 *x, i64 n, i64 *out) {
    i64 r = x[n - 1];
    switch (f) {
    case P_PLUS: return sum_line(x, n, out);
    case P_MAX: *out = max_ints(x, n); return true;
    case P_MIN: *out = min_ints(x, n); return true;
    case P_OR:
        for (i64 i = 0; i < n; i++)
            if (x[i]) { *out = 1; return true; }
        *out = 0;
        return true;
    case P_AND:
        for (i64 i = 0; i < n; i++)
            if (!x[i]) { *out = 0; return true; }
        *out = 1;
        return true;
    case P_MINUS:
        if (!exact(r)) return false;
        for (i64 i = n - 2; i >= 0; i--)
            if (!exact(x[i]) || __builtin_sub_overflow(x[i], r, &r) || !exact(r)) return false;
        *out = r;
        return true;
    case P_TIMES:
        if (!exact(r)) return false;
        for (i64 i = n - 2; i >= 0; i--)
            if (!exact(x[i]) || __builtin_mul_overflow(x[i], r, &r) || !exact(r)) return false;
        *out = r;
        return true;
    }
    return false;
}

// Along the first axis: z is the row being folded, from the last row up.
static bool fold_int_rows(i64 f, const i64 *x, i64 n, i64 m, i64 *z) {
    memcpy(z, x + (n - 1) * m, sizeof(i64) * (size_t)m);
    if (f == P_PLUS || f == P_MINUS) {
        uint64_t bias = item_bias(n), spread;
        sum_ints(x, n * m, bias, &spread);
        if (spread >= 2 * bias) return false;
    }
    for (i64 i = n - 2; i >= 0; i--) {
        const i64 *row = x + i * m;
        switch (f) {
        case P_PLUS: add_rows_ints(z, row, m); break;
        case P_MAX: max_rows_ints(z, row, m); break;
        case P_MIN: min_rows_ints(z, row, m); break;
        case P_MINUS:
            for (i64 j = 0; j < m; j++) z[j] = row[j] - z[j];
            break;
        case P_OR:
            for (i64 j = 0; j < m; j++) z[j] = z[j] || row[j];
            break;
        case P_AND:
            for (i64 j = 0; j < m; j++) z[j] = z[j] && row[j];
            break;
        case P_TIMES:
            for (i64 j = 0; j < m; j++)
                if (!exact(row[j]) || !exact(z[j]) || __builtin_mul_overflow(row[j], z[j], &z[j]) || !exact(z[j]))
                    return false;
            break;
        default: return false;
        }
    }
    if (f == P_TIMES)
        for (i64 j = 0; j < m; j++)
            if (!exact(z[j])) return false;
    return true;
}

static bool reduce_ints(i64 f, const Axis &a, const i64 *x, i64 *z) {
    if (a.inner == 1) {
        for (i64 o = 0; o < a.outer; o++)
            if (!fold_int_line(f, x + o * a.n, a.n, &z[o])) return false;
        return true;
    }
    return fold_int_rows(f, x, a.n, a.inner, z);
}

// ---- Float folds -------------------------------------------------------------------------------

// The max (min) fold keeps the rightmost of equal items: only -0 and +0 are
// equal without being the same, so a zero result is the rightmost zero.
static double rightmost_zero(const double *x, i64 n) {
    for (i64 i = n - 1; i >= 0; i--)
        if (x[i] == 0) return x[i];
    return 0;
}

static double fold_float_line(i64 f, const double *x, i64 n, bool tolerant, int *failed) {
    double r = x[n - 1];
    switch (f) {
    case P_PLUS:
        // the order of the sum is the result: one add after another
        for (i64 i = n - 2; i >= 0; i--) {
            double s = x[i];
            if (s == s) r = s + r;
        }
        return r;
    case P_MAX:
    case P_MIN: {
        if (r != r) return r;
        double m = f == P_MAX ? max_floats(x, n) : min_floats(x, n);
        return m == 0 ? rightmost_zero(x, n) : m;
    }
    }
    for (i64 i = n - 2; i >= 0; i--) {
        double s = x[i];
        if (s == s) r = operator_item(f, s, r, tolerant, failed);
    }
    return r;
}

static void fold_float_rows(i64 f, const double *x, i64 n, i64 m, double *z, bool tolerant, int *failed) {
    memcpy(z, x + (n - 1) * m, sizeof(double) * (size_t)m);
    for (i64 i = n - 2; i >= 0; i--) {
        const double *row = x + i * m;
        switch (f) {
        case P_PLUS: add_rows_floats(z, row, m); break;
        case P_MAX: max_rows_floats(z, row, m); break;
        case P_MIN: min_rows_floats(z, row, m); break;
        default:
            for (i64 j = 0; j < m; j++)
                if (row[j] == row[j]) z[j] = operator_item(f, row[j], z[j], tolerant, failed);
        }
    }
}

static int reduce_floats(i64 f, const Axis &a, const double *x, double *z, bool tolerant) {
    int failed = 0;
    if (a.inner == 1)
        for (i64 o = 0; o < a.outer; o++) z[o] = fold_float_line(f, x + o * a.n, a.n, tolerant, &failed);
    else
        fold_float_rows(f, x, a.n, a.inner, z, tolerant, &failed);
    return failed ? fail(VEK_DOMAIN) : 0;
}

// Complex: no item is passed over.
static int reduce_complex(i64 f, const Axis &a, const double *x, double *z) {
    i64 step = 2 * a.inner;
    for (i64 o = 0; o < a.outer; o++)
        for (i64 j = 0; j < a.inner; j++) {
            const double *line = x + 2 * (o * a.n * a.inner + j);
            double r[2] = {line[(a.n - 1) * step], line[(a.n - 1) * step + 1]};
            for (i64 i = a.n - 2; i >= 0; i--)
                if (operator_complex_item(f, r, line + i * step, r)) return fail(VEK_DOMAIN);
            z[2 * (o * a.inner + j)] = r[0];
            z[2 * (o * a.inner + j) + 1] = r[1];
        }
    return 0;
}

static int reduce_empty(i64 f, i64 result_slot, const Shape &rest, Operand *x) {
    double id;
    if (operator_identity(f, &id)) return fail(VEK_DOMAIN);
    Result z;
    if (begin_result(&z, result_slot, T_FLOAT, rest, x, nullptr, true)) return (int)error_number;
    for (i64 i = 0; i < z.count; i++) z.floats()[i] = id;
    return demote_result(z);
}

int op_reduce(i64 code, i64 result_slot, i64 rc, i64 rv) {
    i64 f = operator_function(code);
    if (!is_reduce_code(code) || !is_operator_function(f)) return fail(VEK_DOMAIN);
    Operand x;
    if (read_operand(&x, rc, rv)) return VEK_VALUE;
    if (!reduce_accepts(f, x)) return fail(VEK_DOMAIN);
    Axis a;
    Shape rest;
    if (lines_of(x, is_first_axis_operator(code), &a, &rest)) return fail(VEK_WS_FULL);
    if (x.count == 0) return reduce_empty(f, result_slot, rest, &x);
    bool complex = (x.type == T_COMPLEX && is_arithmetic_function(f)) || f == P_POWER || f == P_LOG || f == P_CIRCLE;
    Result z;
    if (begin_result(&z, result_slot, complex ? T_COMPLEX : T_FLOAT, rest, &x, nullptr, true)) return (int)error_number;
    // x has items from here on: a missing copy is one that could not be had
    if (complex) {
        const double *pairs = operand_pairs(x);
        if (!pairs) return VEK_WS_FULL;
        if (reduce_complex(f, a, pairs, z.floats())) return (int)error_number;
        return demote_result(z);
    }
    if (x.is_int_class() && int_foldable(f) && reduce_ints(f, a, x.ints(), z.ints())) {
        settle_int_result(z);
        return 0;
    }
    const double *floats = operand_floats(x);
    if (!floats) return VEK_WS_FULL;
    if (reduce_floats(f, a, floats, z.floats(), x.type == T_FLOAT)) return (int)error_number;
    return demote_result(z);
}

// ---- Scan ------------------------------------------------------------------------------------------
// Lines are walked with a stride: 1 along the last axis, inner along the
// first.

static bool linear_scan(i64 f) {
    return f == P_PLUS || f == P_TIMES || f == P_MAX || f == P_MIN || f == P_OR || f == P_AND;
}

// Boolean functions on items 0 and 1, into integers.
static int scan_logical(i64 f, const i64 *x, i64 n, i64 stride, i64 *z) {
    if (f == P_OR || f == P_AND) {
        i64 acc = f == P_AND;
        for (i64 p = 0; p < n; p++) {
            i64 v = x[p * stride] != 0;
            acc = f == P_OR ? (acc | v) : (acc & v);
            z[p * stride] = acc;
        }
        return 0;
    }
    int failed = 0;
    for (i64 p = 0; p < n; p++) {
        if (interrupt_requested()) return INTERRUPT_ERROR;
        double r = (double)x[p * stride];
        for (i64 i = p - 1; i >= 0; i--) r = operator_item(f, (double)x[i * stride], r, false, &failed);
        z[p * stride] = (i64)r;
    }
    return 0;
}

// Integer lines from the left; minus as the alternating sum it is. False
// when a partial result leaves 2^53. Items outside 32 bits make the result
// float (what demoting the float scan gives) and set *wide: a single line
// turns into doubles from there on, with several lines the caller converts
// the whole result afterwards.
static bool scan_int_line(i64 f, const i64 *x, i64 n, i64 stride, i64 *z, bool single_line, bool *wide) {
    const uint64_t NARROW = 2147483647;
    i64 p = 0, acc = 0;
    if (f == P_PLUS && stride == 1) {
        // the common case as one tight loop: while the sums stay within 32
        // bits, no item or sum can have overflowed
        uint64_t s = 0;
        for (; p < n; p++) {
            s += (uint64_t)x[p];
            if (s + NARROW > 2 * NARROW) break;
            z[p] = (i64)s;
        }
        if (p == n) return true;
        acc = p > 0 ? z[p - 1] : 0;
        if (single_line) {
            // from here the result is float: the sums so far become
            // doubles, the rest are summed exactly and stored as doubles
            *wide = true;
            double *zf = (double *)z;
            for (i64 q = 0; q < p; q++) zf[q] = (double)z[q];
            for (; p < n; p++) {
                i64 v = x[p];
                if (!exact(v) || __builtin_add_overflow(acc, v, &acc) || !exact(acc)) return false;
                zf[p] = (double)acc;
            }
            return true;
        }
    }
    double *zf = (double *)z;
    bool doubles = false;
    for (; p < n; p++) {
        i64 v = x[p * stride];
        if (!exact(v)) return false;
        bool over = false;
        switch (f) {
        case P_PLUS: over = __builtin_add_overflow(acc, v, &acc); break;
        case P_MINUS: over = (p & 1) ? __builtin_sub_overflow(acc, v, &acc) : __builtin_add_overflow(acc, v, &acc); break;
        case P_TIMES: acc = p == 0 ? v : acc; over = p > 0 && __builtin_mul_overflow(acc, v, &acc); break;
        case P_MAX: acc = p == 0 || v > acc ? v : acc; break;
        case P_MIN: acc = p == 0 || v < acc ? v : acc; break;
        default: return false;
        }
        if (over || !exact(acc)) return false;
        if (!doubles && (uint64_t)acc + NARROW > 2 * NARROW) {
            *wide = true;
            if (single_line) {
                for (i64 q = 0; q < p; q++) zf[q * stride] = (double)z[q * stride];
                doubles = true;
            }
        }
        if (doubles) zf[p * stride] = (double)acc;
        else z[p * stride] = acc;
    }
    return true;
}

// Float lines from the left. The accumulator starts at an identity that
// leaves the first item as it is (-0 for plus). A NaN item gives NaN at
// its own place and is passed over for the later ones; max and min keep
// the rightmost of equal items, as the fold from the right does.
static void scan_float_line(i64 f, const double *x, i64 n, i64 stride, double *z) {
    double acc = f == P_PLUS ? -0.0 : f == P_TIMES ? 1.0 : f == P_MAX ? -HUGE_VAL : HUGE_VAL;
    for (i64 p = 0; p < n; p++) {
        double v = x[p * stride], r;
        switch (f) {
        case P_PLUS: r = acc + v; if (v == v) acc = r; break;
        case P_TIMES: r = acc * v; if (v == v) acc = r; break;
        case P_MAX: r = v < acc ? acc : v; if (v >= acc) acc = v; break;
        default: r = v > acc ? acc : v; if (v <= acc) acc = v; break;
        }
        z[p * stride] = r;
    }
}

// Every prefix folded anew from its right end. *failed: the error.
static void scan_float_prefixes(i64 f, const double *x, i64 n, i64 stride, double *z, bool tolerant,
                                int *failed) {
    for (i64 p = 0; p < n; p++) {
        if (interrupt_requested()) { *failed = INTERRUPT_ERROR; return; }
        double r = x[p * stride];
        for (i64 i = p - 1; i >= 0; i--) {
            double s = x[i * stride];
            if (s == s) r = operator_item(f, s, r, tolerant, failed);
        }
        z[p * stride] = r;
    }
}

static int scan_complex_line(i64 f, const double *x, i64 n, i64 stride, double *z) {
    stride *= 2;
    if (f == P_PLUS || f == P_TIMES) {
        double acc[2] = {x[0], x[1]};
        z[0] = acc[0];
        z[1] = acc[1];
        for (i64 p = 1; p < n; p++) {
            if (operator_complex_item(f, acc, acc, x + p * stride)) return VEK_DOMAIN;
            z[p * stride] = acc[0];
            z[p * stride + 1] = acc[1];
        }
        return 0;
    }
    for (i64 p = 0; p < n; p++) {
        if (interrupt_requested()) return INTERRUPT_ERROR;
        double r[2] = {x[p * stride], x[p * stride + 1]};
        for (i64 i = p - 1; i >= 0; i--)
            if (operator_complex_item(f, r, x + i * stride, r)) return VEK_DOMAIN;
        z[p * stride] = r[0];
        z[p * stride + 1] = r[1];
    }
    return 0;
}

// Calls line(x_of_line, z_of_line, stride) for every line of the axis.
template <class Line>
static bool each_line(const Axis &a, Line line) {
    for (i64 o = 0; o < a.outer; o++)
        for (i64 j = 0; j < a.inner; j++)
            if (!line(o * a.n * a.inner + j, a.inner)) return false;
    return true;
}

// Along the first axis the float lines run a row at a time.
static int scan_float_rows(i64 f, const double *x, i64 n, i64 m, double *z) {
    double *acc = (double *)scratch_alloc(T_FLOAT, m);
    if (!acc) return VEK_WS_FULL;
    double start = f == P_PLUS ? -0.0 : f == P_TIMES ? 1.0 : f == P_MAX ? -HUGE_VAL : HUGE_VAL;
    for (i64 j = 0; j < m; j++) acc[j] = start;
    for (i64 p = 0; p < n; p++) {
        const double *v = x + p * m;
        double *r = z + p * m;
        switch (f) {
        case P_PLUS:
            for (i64 j = 0; j < m; j++) { r[j] = acc[j] + v[j]; acc[j] = v[j] == v[j] ? r[j] : acc[j]; }
            break;
        case P_TIMES:
            for (i64 j = 0; j < m; j++) { r[j] = acc[j] * v[j]; acc[j] = v[j] == v[j] ? r[j] : acc[j]; }
            break;
        case P_MAX:
            for (i64 j = 0; j < m; j++) { r[j] = v[j] < acc[j] ? acc[j] : v[j]; acc[j] = v[j] >= acc[j] ? v[j] : acc[j]; }
            break;
        default:
            for (i64 j = 0; j < m; j++) { r[j] = v[j] > acc[j] ? acc[j] : v[j]; acc[j] = v[j] <= acc[j] ? v[j] : acc[j]; }
        }
    }
    return 0;
}

static int scan_numbers(i64 f, const Axis &a, Operand &x, const Result &z) {
    bool integers = x.is_int_class() || x.type == T_CHAR;
    if (integers && (linear_scan(f) || f == P_MINUS)) {
        const i64 *xi = int_items(x);
        if (!xi) return VEK_WS_FULL;
        i64 *zi = z.ints();
        bool single = a.outer * a.inner == 1, wide = false;
        if (each_line(a, [&](i64 at, i64 stride) { return scan_int_line(f, xi + at, a.n, stride, zi + at, single, &wide); })) {
            if (!wide) z.desc()->type = T_INT;
            else if (!single) settle_int_result(z);
            return 0;
        }
    }
    const double *xf = operand_floats(x);
    if (!xf) return VEK_WS_FULL;
    double *zf = z.floats();
    if (linear_scan(f) || (integers && f == P_MINUS)) {
        if (a.inner > 1 && f != P_MINUS) {
            if (scan_float_rows(f, xf, a.n, a.inner, zf)) return VEK_WS_FULL;
        } else if (f == P_MINUS) {
            // integers beyond 2^53: the alternating sum in floats
            each_line(a, [&](i64 at, i64 stride) {
                double acc = 0;
                for (i64 p = 0; p < a.n; p++) {
                    double v = xf[at + p * stride];
                    acc = (p & 1) ? acc - v : acc + v;
                    zf[at + p * stride] = acc;
                }
                return true;
            });
        } else {
            each_line(a, [&](i64 at, i64 stride) { scan_float_line(f, xf + at, a.n, stride, zf + at); return true; });
        }
        return demote_result(z);
    }
    int failed = 0;
    bool tolerant = x.type == T_FLOAT;
    each_line(a, [&](i64 at, i64 stride) {
        scan_float_prefixes(f, xf + at, a.n, stride, zf + at, tolerant, &failed);
        return !failed;
    });
    if (failed) return fail(failed);
    return demote_result(z);
}

int op_scan(i64 code, i64 result_slot, i64 rc, i64 rv) {
    i64 f = operator_function(code);
    if (!is_scan_code(code) || !is_operator_function(f)) return fail(VEK_DOMAIN);
    Operand x;
    if (read_operand(&x, rc, rv)) return VEK_VALUE;
    if (!scan_accepts(f, x)) return fail(VEK_DOMAIN);
    if (x.single) return result_copy(result_slot, &x);
    Shape s;
    shape_of(&s, &x);
    Axis a;
    Shape rest;
    if (lines_of(x, is_first_axis_operator(code), &a, &rest)) return fail(VEK_WS_FULL);
    bool logical = is_logical_function(f);
    i64 type = x.count == 0 || logical ? T_INT : x.type == T_COMPLEX ? T_COMPLEX : T_FLOAT;
    Result z;
    if (begin_result(&z, result_slot, type, s, &x, nullptr, true)) return (int)error_number;
    if (x.count == 0) return 0;
    int e = 0;
    if (logical) {
        const i64 *xi = x.ints();
        each_line(a, [&](i64 at, i64 stride) { return (e = scan_logical(f, xi + at, a.n, stride, z.ints() + at)) == 0; });
        return e ? fail(e) : 0;
    }
    if (x.type == T_COMPLEX) {
        const double *xc = x.pairs();
        each_line(a, [&](i64 at, i64 stride) {
            return (e = scan_complex_line(f, xc + 2 * at, a.n, stride, z.floats() + 2 * at)) == 0;
        });
        if (e) return fail(e);
        return demote_result(z);
    }
    return scan_numbers(f, a, x, z);
}

// ---- Registration -------------------------------------------------------------------------------------

static int reduce_entry(i64 code, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    return op_reduce(code, result_slot, rc, rv);
}

static int scan_entry(i64 code, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    return op_scan(code, result_slot, rc, rv);
}

void register_reduce_primitives() {
    register_primitive_range(P_REDUCE_LAST, P_REDUCE_LAST_LAST, 1, reduce_entry);
    register_primitive_range(P_REDUCE_FIRST, P_REDUCE_FIRST_LAST, 1, reduce_entry);
    register_primitive_range(P_SCAN_LAST, P_SCAN_LAST_LAST, 1, scan_entry);
    register_primitive_range(P_SCAN_FIRST, P_SCAN_FIRST_LAST, 1, scan_entry);
}
