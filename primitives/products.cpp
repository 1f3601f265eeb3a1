// Inner and outer product: a dyadic scalar function applied between the
// items of two operands.
//
// Ledger
// - Outer product (x .:f y): every item of x with every item of y, shaped
//   x's shape followed by y's. Numbers compute in float (complex for a
//   complex operand and for power, log and circle) and the result is
//   demoted; chars, and symbols, compare with = and ~= into booleans.
//   Fast paths: one row of the result per left item through the
//   whole-array kernels; integer plus, minus, times, max and min written
//   as integers when the operands' magnitudes keep every item within 32
//   bits (what the demoted float result would be).
//   Refuses: other functions on chars or symbols, chars or symbols against
//   another type (1); time values, lists, enumerations, keyed values (7);
//   a complex step that fails (1).
// - Inner product (x f:g y): the rows of x with the columns of y; g pairs
//   the items and f folds the pairs from the left, starting from f's
//   identity (0 for nor, nand, log and circle). Float or complex as the
//   outer product; the result demoted. The right operand may arrive
//   untransposed with the flag to read it transposed, and the result may
//   be asked for transposed (all axes reversed both times).
//   Fast paths: plus:times of numbers through a blocked matrix kernel that
//   keeps each item's order of sums; other pairs a row of the result at a
//   time through the whole-array kernels.
//   Chars: = and ~= on the codes, and plus:membership counting the items
//   of a row found in a column (row and column lengths may differ).
//   A row of the result costs as much as the whole right operand, so the
//   rows (the matrix kernel's blocks) look at the interrupt one by one and
//   stop with it.
//   Refuses: functions other than the scalar dyadic ones (1); chars with
//   other functions or another type, chars against complex (1); symbols,
//   lists, time values (1); unequal inner lengths (3); the membership
//   count of numbers (99); a complex step that fails (1).
#include "primitives/products.h"
#include "primitives/fold_kernels.h"
#include "primitives/reduce.h"
#include "primitives/scalar.h"
#include "core/arena.h"
#include "core/interrupt.h"
#include "core/valueops.h"
#include <cmath>
#include <cstring>

// ---- Rows of items ----------------------------------------------------------------

template <class Op>
static void rows_of(i64 n, double *z, const double *x, int xs, const double *y, int ys, Op op) {
    if (xs) {
        double a = x[0];
        for (i64 j = 0; j < n; j++) z[j] = op(a, y[ys ? 0 : j]);
    } else if (ys) {
        double b = y[0];
        for (i64 j = 0; j < n; j++) z[j] = op(x[j], b);
    } else {
        for (i64 j = 0; j < n; j++) z[j] = op(x[j], y[j]);
    }
}

// z[j] = x[j] f y[j] by the operators' rules (operator_item); a non-zero
// xs (ys) repeats x[0] (y[0]); z may be x or y. 1 for an item f cannot give.
static int item_rows(i64 f, i64 n, double *z, const double *x, int xs, const double *y, int ys, bool tolerant) {
    switch (f) {
    case P_OR: rows_of(n, z, x, xs, y, ys, [](double a, double b) { return (double)(a != 0 || b != 0); }); return 0;
    case P_AND: rows_of(n, z, x, xs, y, ys, [](double a, double b) { return (double)(a != 0 && b != 0); }); return 0;
    case P_NOR: rows_of(n, z, x, xs, y, ys, [](double a, double b) { return (double)(a == 0 && b == 0); }); return 0;
    case P_NAND: rows_of(n, z, x, xs, y, ys, [](double a, double b) { return (double)(a == 0 || b == 0); }); return 0;
    case P_LESS:
        rows_of(n, z, x, xs, y, ys, [](double a, double b) { return (double)(a != a ? b == b : a < b); });
        return 0;
    case P_GREATER:
        rows_of(n, z, x, xs, y, ys, [](double a, double b) { return a != a ? 0.0 : b != b ? 1.0 : (double)(a > b); });
        return 0;
    case P_LESS_EQ: rows_of(n, z, x, xs, y, ys, [](double a, double b) { return (double)(a <= b); }); return 0;
    case P_GREATER_EQ: rows_of(n, z, x, xs, y, ys, [](double a, double b) { return (double)(a >= b); }); return 0;
    case P_EQUAL:
    case P_NOT_EQUAL: {
        double want = f == P_EQUAL;
        if (tolerant)
            rows_of(n, z, x, xs, y, ys, [want](double a, double b) { return floats_equal_tol(a, b) ? want : 1 - want; });
        else
            rows_of(n, z, x, xs, y, ys, [want](double a, double b) { return a == b ? want : 1 - want; });
        return 0;
    }
    }
    return float_dyadic_array(f, n, z, x, xs, y, ys);
}

static int demote_result(const Result &z) { return demote_descriptor(z.desc()) ? (int)error_number : 0; }

static bool uses_complex(i64 f) { return f == P_POWER || f == P_LOG || f == P_CIRCLE; }

// ---- Reversing all axes -----------------------------------------------------------

// dst receives src (shape s, items of `item` bytes) with all axes reversed.
static void reverse_axes(void *dst, const void *src, const Shape &s, size_t item) {
    i64 count = s.count();
    if (s.rank <= 1) {
        memcpy(dst, src, (size_t)count * item);
        return;
    }
    // in dst, axis k of src steps by the product of the dimensions before it
    i64 stride[MAX_RANK], at[MAX_RANK] = {};
    i64 p = 1;
    for (i64 k = 0; k < s.rank; k++) {
        stride[k] = p;
        p *= s.dims[k];
    }
    i64 off = 0;
    for (i64 c = 0; c < count; c++) {
        memcpy((char *)dst + off * item, (const char *)src + c * item, item);
        for (i64 k = s.rank - 1; k >= 0; k--) {
            off += stride[k];
            if (++at[k] < s.dims[k]) break;
            off -= stride[k] * s.dims[k];
            at[k] = 0;
        }
    }
}

static void reverse_shape(Shape *s) {
    for (i64 k = 0; k < s->rank / 2; k++) {
        i64 t = s->dims[k];
        s->dims[k] = s->dims[s->rank - 1 - k];
        s->dims[s->rank - 1 - k] = t;
    }
}

// ---- Outer product ------------------------------------------------------------------

static uint64_t magnitude(const Operand &o) {
    uint64_t m = 0;
    for (i64 i = 0; i < o.count; i++) {
        i64 v = o.ints()[i];
        uint64_t a = v < 0 ? 0 - (uint64_t)v : (uint64_t)v;
        if (a > m) m = a;
    }
    return m;
}

// True when every integer item of x f y lies within 32 bits.
static bool narrow_outer(i64 f, const Operand &l, const Operand &r) {
    const uint64_t LIMIT = 2147483647;
    uint64_t a = magnitude(l), b = magnitude(r);
    if (a > LIMIT || b > LIMIT) return false;
    switch (f) {
    case P_PLUS: case P_MINUS: return a + b <= LIMIT;
    case P_TIMES: return a * b <= LIMIT;
    case P_MAX: case P_MIN: return true;
    }
    return false;
}

static void outer_ints(i64 f, const i64 *a, i64 m, const i64 *b, i64 n, i64 *z) {
    for (i64 i = 0; i < m; i++) {
        i64 x = a[i], *row = z + i * n;
        switch (f) {
        case P_PLUS: for (i64 j = 0; j < n; j++) row[j] = x + b[j]; break;
        case P_MINUS: for (i64 j = 0; j < n; j++) row[j] = x - b[j]; break;
        case P_TIMES: for (i64 j = 0; j < n; j++) row[j] = x * b[j]; break;
        case P_MAX: for (i64 j = 0; j < n; j++) row[j] = x > b[j] ? x : b[j]; break;
        default: for (i64 j = 0; j < n; j++) row[j] = x < b[j] ? x : b[j]; break;
        }
    }
}

// Chars or symbols: exact equality into booleans.
static void outer_words(i64 f, const Operand &l, const Operand &r, i64 *z) {
    i64 want = f == P_EQUAL;
    for (i64 i = 0; i < l.count; i++)
        for (i64 j = 0; j < r.count; j++) {
            bool eq = l.type == T_CHAR ? l.chars()[i] == r.chars()[j] : l.ints()[i] == r.ints()[j];
            z[i * r.count + j] = eq == (want != 0);
        }
}

int op_outer_product(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    i64 f = code - OUTER_BASE;
    if (!is_outer_code(code) || !is_operator_function(f)) return fail(VEK_DOMAIN);
    Operand l, r;
    if (read_operand(&l, lc, lv) || read_operand(&r, rc, rv)) return VEK_VALUE;
    i64 t = l.type > r.type ? l.type : r.type;
    bool words = t == T_CHAR || t == T_SYMBOL;
    if (words && (l.type != r.type || (f != P_EQUAL && f != P_NOT_EQUAL))) return fail(VEK_DOMAIN);
    if (!words && t > T_FLOAT && t != T_COMPLEX) return fail(VEK_TYPE);
    if (t == T_COMPLEX && !(l.is_numeric() && r.is_numeric())) return fail(VEK_DOMAIN);

    Shape s, sr;
    shape_of(&s, &l);
    shape_of(&sr, &r);
    if (s.rank + sr.rank > MAX_RANK) return fail(VEK_RANK);
    for (i64 k = 0; k < sr.rank; k++) s.dims[s.rank++] = sr.dims[k];
    bool complex = t == T_COMPLEX || uses_complex(f);
    bool ints = !words && !complex && l.is_int_class() && r.is_int_class() && narrow_outer(f, l, r);
    i64 type = words ? T_BOOL : ints ? T_INT : complex ? T_COMPLEX : T_FLOAT;
    Result z;
    if (begin_result(&z, result_slot, type, s, &l, &r, true)) return (int)error_number;
    if (z.count == 0) return demote_result(z);
    i64 m = l.count, n = r.count;
    if (words) {
        outer_words(f, l, r, z.ints());
        return 0;
    }
    if (ints) {
        outer_ints(f, l.ints(), m, r.ints(), n, z.ints());
        return 0;
    }
    if (complex) {
        const double *a = operand_pairs(l), *b = operand_pairs(r);
        if (!a || !b) return VEK_WS_FULL;
        for (i64 i = 0; i < m; i++)
            for (i64 j = 0; j < n; j++)
                if (operator_complex_item(f, z.floats() + 2 * (i * n + j), a + 2 * i, b + 2 * j)) return fail(VEK_DOMAIN);
        return demote_result(z);
    }
    const double *a = operand_floats(l), *b = operand_floats(r);
    if (!a || !b) return VEK_WS_FULL;
    bool tolerant = l.type == T_FLOAT || r.type == T_FLOAT;
    for (i64 i = 0; i < m; i++)
        if (item_rows(f, n, z.floats() + i * n, a + i, 1, b, 0, tolerant)) return fail(VEK_DOMAIN);
    return demote_result(z);
}

// ---- Inner product ------------------------------------------------------------------
// The left operand is read as an m x k matrix (the inner axis last), the
// right as k x n (the inner axis first); a single item is repeated along
// the inner axis.

struct InnerShape {
    i64 m, k, n;
    Shape result;
};

// Lengths of the left rows and right columns (-1 for a single item, which
// takes the other's) and the result shape.
static int inner_shape(const Operand &l, const Operand &r, const Shape &sl, const Shape &sr, bool agree,
                       InnerShape *g, i64 *kl, i64 *kr) {
    *kl = l.single ? -1 : sl.dims[sl.rank - 1];
    *kr = r.single ? -1 : sr.dims[0];
    if (agree && *kl >= 0 && *kr >= 0 && *kl != *kr) return fail(VEK_LENGTH);
    g->k = *kl >= 0 ? *kl : *kr >= 0 ? *kr : 1;
    if (*kl < 0) *kl = *kr >= 0 ? *kr : 1;
    if (*kr < 0) *kr = *kl;
    i64 lr = l.single ? 0 : sl.rank - 1, rr = r.single ? 0 : sr.rank - 1;
    if (lr + rr > MAX_RANK) return fail(VEK_RANK);
    g->result.rank = 0;
    for (i64 d = 0; d < lr; d++) g->result.dims[g->result.rank++] = sl.dims[d];
    for (i64 d = 0; d < rr; d++) g->result.dims[g->result.rank++] = sr.dims[d + 1];
    if (checked_count(g->result.dims, lr, &g->m)) return VEK_WS_FULL;
    if (checked_count(g->result.dims + lr, rr, &g->n)) return VEK_WS_FULL;
    return 0;
}

// An operand's items as the matrix the product reads: a single item
// repeated `length` times; the right operand transposed when asked.
// nullptr when a copy cannot be had.
static const void *inner_items(const Operand &o, const void *items, size_t item, i64 length, bool transpose) {
    if (!items) return nullptr;
    if (o.single) {
        char *d = (char *)scratch_alloc(T_CHAR, length * (i64)item);
        if (!d) return nullptr;
        for (i64 i = 0; i < length; i++) memcpy(d + i * item, items, item);
        return d;
    }
    if (!transpose || o.rank <= 1) return items;
    Shape s;
    shape_of(&s, &o);
    void *d = scratch_alloc(T_CHAR, o.count * (i64)item);
    if (!d) return nullptr;
    reverse_axes(d, items, s, item);
    return d;
}

static int inner_floats(i64 f, i64 g, const double *a, const double *b, const InnerShape &sh, double *z,
                        bool tolerant) {
    i64 m = sh.m, k = sh.k, n = sh.n;
    if (f == P_PLUS && g == P_TIMES) return matrix_product(z, a, b, m, k, n);
    double id = 0;
    operator_identity(f, &id);
    double *t = (double *)scratch_alloc(T_FLOAT, n);
    if (!t) return VEK_WS_FULL;
    for (i64 i = 0; i < m; i++) {
        if (interrupt_requested()) return INTERRUPT_ERROR;
        double *row = z + i * n;
        for (i64 j = 0; j < n; j++) row[j] = id;
        for (i64 p = 0; p < k; p++) {
            if (item_rows(g, n, t, a + i * k + p, 1, b + p * n, 0, tolerant)) return VEK_DOMAIN;
            if (item_rows(f, n, row, row, 0, t, 0, tolerant)) return VEK_DOMAIN;
        }
    }
    return 0;
}

static int inner_complex(i64 f, i64 g, const double *a, const double *b, const InnerShape &sh, double *z) {
    double id = 0;
    operator_identity(f, &id);
    for (i64 i = 0; i < sh.m; i++) {
        if (interrupt_requested()) return INTERRUPT_ERROR;
        for (i64 j = 0; j < sh.n; j++) {
            double acc[2] = {id, 0}, t[2];
            for (i64 p = 0; p < sh.k; p++) {
                if (operator_complex_item(g, t, a + 2 * (i * sh.k + p), b + 2 * (p * sh.n + j))) return VEK_DOMAIN;
                if (operator_complex_item(f, acc, acc, t)) return VEK_DOMAIN;
            }
            z[2 * (i * sh.n + j)] = acc[0];
            z[2 * (i * sh.n + j) + 1] = acc[1];
        }
    }
    return 0;
}

// plus:membership of chars: how many items of each left row occur in each
// right column.
static int inner_member_count(const char *a, i64 row, const char *b, i64 column, const InnerShape &sh, double *z) {
    unsigned char *sets = (unsigned char *)scratch_alloc(T_CHAR, sh.n * 256);
    if (!sets) return VEK_WS_FULL;
    memset(sets, 0, (size_t)(sh.n * 256));
    for (i64 j = 0; j < sh.n; j++)
        for (i64 p = 0; p < column; p++) sets[j * 256 + (unsigned char)b[p * sh.n + j]] = 1;
    for (i64 i = 0; i < sh.m; i++) {
        if (interrupt_requested()) return INTERRUPT_ERROR;
        for (i64 j = 0; j < sh.n; j++) {
            i64 count = 0;
            for (i64 p = 0; p < row; p++) count += sets[j * 256 + (unsigned char)a[i * row + p]];
            z[i * sh.n + j] = (double)count;
        }
    }
    return 0;
}

static int inner_types(i64 f, i64 g, const Operand &l, const Operand &r) {
    i64 t = l.type > r.type ? l.type : r.type;
    if (t > T_COMPLEX) return fail(VEK_DOMAIN);
    if (t == T_CHAR && (l.type != r.type || !(g == P_EQUAL || g == P_NOT_EQUAL || g == P_MEMBER)))
        return fail(VEK_DOMAIN);
    if (t == T_COMPLEX && (l.type == T_CHAR || r.type == T_CHAR)) return fail(VEK_DOMAIN);
    if (g == P_MEMBER && f != P_PLUS) return fail(VEK_DOMAIN);
    if (g == P_MEMBER && t != T_CHAR) return fail(VEK_UNDER_CONSTRUCTION);
    return 0;
}

int op_inner_product(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv, int flags) {
    i64 f = inner_left(code), g = inner_right(code);
    if (!is_inner_code(code) || !is_operator_function(f) || !(is_operator_function(g) || g == P_MEMBER))
        return fail(VEK_DOMAIN);
    Operand l, r;
    if (read_operand(&l, lc, lv) || read_operand(&r, rc, rv)) return VEK_VALUE;
    if (inner_types(f, g, l, r)) return (int)error_number;
    bool transpose_right = (flags & INNER_TRANSPOSED_RIGHT) != 0;
    Shape sl, sr;
    shape_of(&sl, &l);
    shape_of(&sr, &r);
    if (transpose_right) reverse_shape(&sr);
    InnerShape sh;
    i64 row, column;
    if (inner_shape(l, r, sl, sr, g != P_MEMBER, &sh, &row, &column)) return (int)error_number;
    bool complex = l.type == T_COMPLEX || r.type == T_COMPLEX || uses_complex(f) || uses_complex(g);
    bool transpose_result = (flags & INNER_TRANSPOSED_RESULT) != 0;
    Shape zs = sh.result;
    if (transpose_result) reverse_shape(&zs);
    Result z;
    if (begin_result(&z, result_slot, complex ? T_COMPLEX : T_FLOAT, zs, &l, &r, true)) return (int)error_number;
    if (z.count == 0) return demote_result(z);
    size_t item = complex ? 16 : 8;
    double *out = transpose_result ? (double *)scratch_alloc(T_CHAR, z.count * (i64)item) : z.floats();
    if (!out) return VEK_WS_FULL;
    // With items to combine (k above 0) every operand has items, so a
    // missing block is one that could not be had.
    int failed;
    if (g == P_MEMBER) {
        const char *a = (const char *)inner_items(l, l.chars(), 1, row, false);
        const char *b = (const char *)inner_items(r, r.chars(), 1, column, transpose_right);
        failed = (row > 0 && !a) || (column > 0 && !b) ? VEK_WS_FULL : inner_member_count(a, row, b, column, sh, out);
    } else if (complex) {
        const double *a = (const double *)inner_items(l, operand_pairs(l), 16, sh.k, false);
        const double *b = (const double *)inner_items(r, operand_pairs(r), 16, sh.k, transpose_right);
        failed = sh.k > 0 && (!a || !b) ? VEK_WS_FULL : inner_complex(f, g, a, b, sh, out);
    } else {
        const double *a = (const double *)inner_items(l, operand_floats(l), 8, sh.k, false);
        const double *b = (const double *)inner_items(r, operand_floats(r), 8, sh.k, transpose_right);
        failed = sh.k > 0 && (!a || !b) ? VEK_WS_FULL : inner_floats(f, g, a, b, sh, out, l.type == T_FLOAT || r.type == T_FLOAT);
    }
    if (failed) return fail(failed);
    if (transpose_result) reverse_axes(z.floats(), out, sh.result, item);
    return demote_result(z);
}

// ---- Registration ---------------------------------------------------------------------

static int inner_entry(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    return op_inner_product(code, result_slot, lc, lv, rc, rv, 0);
}

void register_products_primitives() {
    // a system function keeps its code with a left argument: not an outer product
    for (i64 c = P_OUTER; c <= P_OUTER_LAST; c++)
        if (!is_system_function_code(c)) register_primitive(c, 2, op_outer_product);
    register_primitive_range(P_OUTER_HIGH, P_OUTER_HIGH_LAST, 2, op_outer_product);
    register_primitive_range(P_INNER, P_INNER_LAST, 2, inner_entry);
    register_inner_product(op_inner_product);
    register_each(op_each);
}
