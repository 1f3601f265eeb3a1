// Decode and encode: numbers to and from digits in mixed radices.
//
// Ledger
// - decode (x >. y): the radices run along x's last axis, the digits along
//   y's first axis; an operand of one element extends to the other's
//   length. The result has x's shape without its last axis followed by y's
//   without its first. Both operands boolean or integer: integer result,
//   64-bit arithmetic that wraps; either float: float result.
// - encode (x <. y): the radices run along x's first axis; each value of y
//   gives one digit per radix, the last radix first, each the floor residue
//   (a radix of 0 takes the whole rest). The result has x's shape followed
//   by y's, of the larger operand type.
// Fast path: decode works a whole row of digit columns per radix, so the
// inner loop runs over contiguous digits.
// Refuses: operands other than boolean, integer or float (1); decode with
// a radix length that differs from the digit length when neither operand
// is a single element (3); a result above the largest rank (2).
#include "prim.h"
#include <cmath>

typedef uint64_t u64;

static i64 result_type_of(const Operand &x, const Operand &y) {
    return (x.type == T_FLOAT || y.type == T_FLOAT) ? T_FLOAT : T_INT;
}

// ---- Decode ---------------------------------------------------------------------

// Where radix k of row i and digit k of column j sit; a single-element
// operand stands for every position.
struct DecodeLayout {
    i64 n;          // digits per value after extension
    i64 rows;       // radix vectors
    i64 cols;       // digit vectors
    i64 r;          // length of x's last axis
    bool x_one, y_one;   // an operand of one element (of any rank) extends
};

// Each value is D[n-1] + D[n-2]*R[n-1] + D[n-3]*R[n-1]*R[n-2] + ...: the
// running product of the radices from the last backwards. R[0] takes no
// part. Integers wrap, computed without sign so overflow is defined.
static void decode_ints(const DecodeLayout &L, const Operand &x, const Operand &y, i64 *z) {
    const i64 *R = x.ints(), *D = y.ints();
    for (i64 i = 0; i < L.rows; i++) {
        u64 *out = (u64 *)z + i * L.cols;
        for (i64 j = 0; j < L.cols; j++) out[j] = L.n ? (u64)(L.y_one ? D[0] : D[(L.n - 1) * L.cols + j]) : 0;
        u64 p = 1;
        for (i64 k = L.n - 1; k >= 1; k--) {
            p *= (u64)(L.x_one ? R[0] : R[i * L.r + k]);
            const i64 *d = L.y_one ? nullptr : D + (k - 1) * L.cols;
            if (d) for (i64 j = 0; j < L.cols; j++) out[j] += (u64)d[j] * p;
            else for (i64 j = 0; j < L.cols; j++) out[j] += (u64)D[0] * p;
        }
    }
}

static void decode_floats(const DecodeLayout &L, const Operand &x, const Operand &y, double *z) {
    for (i64 i = 0; i < L.rows; i++) {
        double *out = z + i * L.cols;
        for (i64 j = 0; j < L.cols; j++) out[j] = L.n ? y.real(L.y_one ? 0 : (L.n - 1) * L.cols + j) : 0.0;
        double p = 1.0;
        for (i64 k = L.n - 1; k >= 1; k--) {
            p *= x.real(L.x_one ? 0 : i * L.r + k);
            for (i64 j = 0; j < L.cols; j++) out[j] += y.real(L.y_one ? 0 : (k - 1) * L.cols + j) * p;
        }
    }
}

static int prim_decode(i64, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    if (!x.is_real() || !y.is_real()) return fail(VEK_DOMAIN);
    Shape xs, ys, zs;
    shape_of(&xs, &x);
    shape_of(&ys, &y);
    DecodeLayout L;
    L.r = xs.rank ? xs.dims[xs.rank - 1] : 1;
    i64 d = ys.rank ? ys.dims[0] : 1;
    L.x_one = x.count == 1;
    L.y_one = y.count == 1;
    // An empty operand extends to nothing: only a single element extends.
    if (L.r != d && !L.x_one && !L.y_one) return fail(VEK_LENGTH);
    L.n = L.x_one ? d : L.r;
    if (xs.rank - 1 + ys.rank - 1 > MAX_RANK) return fail(VEK_RANK);
    zs.rank = 0;
    for (i64 k = 0; k + 1 < xs.rank; k++) zs.dims[zs.rank++] = xs.dims[k];
    for (i64 k = 1; k < ys.rank; k++) zs.dims[zs.rank++] = ys.dims[k];
    if (checked_count(xs.dims, xs.rank ? xs.rank - 1 : 0, &L.rows)) return VEK_WS_FULL;
    if (checked_count(ys.dims + 1, ys.rank ? ys.rank - 1 : 0, &L.cols)) return VEK_WS_FULL;
    i64 type = result_type_of(x, y);
    Result z;
    if (begin_result(&z, result_slot, type, zs, &x, &y, true)) return (int)error_number;
    if (type == T_FLOAT) decode_floats(L, x, y, z.floats());
    else decode_ints(L, x, y, z.ints());
    return 0;
}

// ---- Encode ---------------------------------------------------------------------

// One digit of *v in `radix`, *v becoming the rest: the floor residue and
// the floor quotient, so v = rest*radix + digit holds exactly and nothing
// overflows (a radix of -1 negates, wrapping at the smallest integer).
static inline i64 int_digit(i64 *v, i64 radix) {
    if (radix == 0) {
        i64 d = *v;
        *v = 0;
        return d;
    }
    if (radix == -1) {
        *v = (i64)(0 - (u64)*v);
        return 0;
    }
    i64 q = *v / radix, r = *v % radix;
    if (r != 0 && ((r < 0) != (radix < 0))) {
        r += radix;
        q -= 1;
    }
    *v = q;
    return r;
}

static inline double float_digit(double *v, double radix) {
    if (radix == 0.0) {
        double d = *v;
        *v = 0.0;
        return d;
    }
    double d = *v - radix * std::floor(*v / radix);
    *v = (*v - d) / radix;
    return d;
}

static int prim_encode(i64, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    if (!x.is_real() || !y.is_real()) return fail(VEK_DOMAIN);
    Shape xs, ys, zs;
    shape_of(&xs, &x);
    shape_of(&ys, &y);
    if (xs.rank + ys.rank > MAX_RANK) return fail(VEK_RANK);
    zs.rank = xs.rank + ys.rank;
    for (i64 k = 0; k < xs.rank; k++) zs.dims[k] = xs.dims[k];
    for (i64 k = 0; k < ys.rank; k++) zs.dims[xs.rank + k] = ys.dims[k];
    i64 n = xs.rank ? xs.dims[0] : 1;           // digits per value
    i64 vectors;                                 // radix vectors
    if (checked_count(xs.dims + 1, xs.rank ? xs.rank - 1 : 0, &vectors)) return VEK_WS_FULL;
    i64 m = y.count;
    i64 type = x.type > y.type ? x.type : y.type;
    Result z;
    if (begin_result(&z, result_slot, type, zs, &x, &y, true)) return (int)error_number;
    if (z.count == 0) return 0;
    i64 plane = vectors * m;                    // items between digit k and k+1
    for (i64 a = 0; a < vectors; a++) {
        for (i64 j = 0; j < m; j++) {
            i64 at = a * m + j;
            if (type == T_FLOAT) {
                double v = y.real(j);
                for (i64 k = n - 1; k >= 0; k--) z.floats()[k * plane + at] = float_digit(&v, x.real(k * vectors + a));
            } else {
                i64 v = y.int_at(j);
                for (i64 k = n - 1; k >= 0; k--) z.ints()[k * plane + at] = int_digit(&v, x.int_at(k * vectors + a));
            }
        }
    }
    return 0;
}

void register_encode_primitives() {
    register_primitive(P_DECODE, 2, prim_decode);
    register_primitive(P_ENCODE, 2, prim_encode);
}
