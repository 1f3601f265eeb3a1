// The boolean functions.
//
// Ledger
// - or, and, nor, nand (& ^ and the two unnamed codes), not (~): operands of
//   any rank holding only 0 and 1 (booleans, or integers and floats that
//   are all 0 or 1); a single item extends over the other side; the result
//   is boolean.
//   Fast paths: booleans are read in place, two boolean vectors combined
//   in one loop; single items held inline give their result item straight
//   away.
//   Refuses: any other item or type (1); ranks that differ (2), dimensions
//   that differ (3).
#include "logical.h"
#include "scalar.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/valueops.h"
#include <cstring>

bool is_all_zero_one(const ValueDescriptor *d) {
    ValueDescriptor s = *d;
    const void *data = value_data(&s);
    if (d->type == T_INT) {
        const i64 *p = (const i64 *)data;
        for (i64 i = 0; i < d->count; i++)
            if (p[i] != 0 && p[i] != 1) return false;
        return true;
    }
    if (d->type == T_FLOAT) {
        const double *p = (const double *)data;
        for (i64 i = 0; i < d->count; i++)
            if (p[i] != 0.0 && p[i] != 1.0) return false;
        return true;
    }
    return false;
}

static bool logical_operand(const Operand &o) {
    return o.type == T_BOOL || is_all_zero_one(o.desc());
}

// Item k of a logical operand as 0 or 1; a single item repeats.
static inline int truth(const Operand &o, i64 k) {
    i64 at = o.single ? 0 : k;
    return o.type == T_FLOAT ? o.floats()[at] != 0.0 : o.ints()[at] != 0;
}

static i64 combine(i64 code, int a, int b) {
    switch (code) {
    case P_OR: return a || b;
    case P_AND: return a && b;
    case P_NOR: return !a && !b;
    default: return !a || !b;   // nand
    }
}

static int logical_not(i64 result_slot, Operand &y) {
    Shape s;
    shape_of(&s, &y);
    Result z;
    if (begin_result(&z, result_slot, T_BOOL, s, &y, nullptr, true)) return (int)error_number;
    for (i64 i = 0; i < z.count; i++) z.ints()[i] = !truth(y, i);
    return 0;
}

int prim_logical(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (!logical_operand(y)) return fail(VEK_DOMAIN);
    if (code == P_NOT) return logical_not(result_slot, y);
    Operand x;
    if (read_operand(&x, lc, lv)) return VEK_VALUE;
    if (!logical_operand(x)) return fail(VEK_DOMAIN);
    Result z;
    if (conform_scalar_dyadic(&z, result_slot, T_BOOL, &x, &y)) return (int)error_number;
    if (x.type == T_BOOL && y.type == T_BOOL && !x.single && !y.single) {
        // words of 0 and 1 combine bit by bit, in one loop per function
        const i64 *a = x.ints(), *b = y.ints();
        i64 *out = z.ints(), n = z.count;
        switch (code) {
        case P_OR: for (i64 i = 0; i < n; i++) out[i] = a[i] | b[i]; break;
        case P_AND: for (i64 i = 0; i < n; i++) out[i] = a[i] & b[i]; break;
        case P_NOR: for (i64 i = 0; i < n; i++) out[i] = 1 ^ (a[i] | b[i]); break;
        default: for (i64 i = 0; i < n; i++) out[i] = 1 ^ (a[i] & b[i]); break;
        }
        return 0;
    }
    for (i64 i = 0; i < z.count; i++) z.ints()[i] = combine(code, truth(x, i), truth(y, i));
    return 0;
}

// ---- Single items ----------------------------------------------------------------

// An inline item's truth, -1 when it is neither 0 nor 1.
static int single_truth(const ValueDescriptor *d) {
    if (d->type == T_FLOAT) {
        double x;
        memcpy(&x, &d->dim0, sizeof x);
        return x == 0.0 ? 0 : x == 1.0 ? 1 : -1;
    }
    if (d->type != T_BOOL && d->type != T_INT) return -1;
    return d->dim0 == 0 ? 0 : d->dim0 == 1 ? 1 : -1;
}

static bool single_logical(i64 code, const ValueDescriptor *l, const ValueDescriptor *r, ValueDescriptor *z) {
    int b = single_truth(r), a = l ? single_truth(l) : 0;
    if (a < 0 || b < 0) return false;
    i64 rank = l && l->rank > r->rank ? l->rank : r->rank;
    *z = {T_BOOL, rank, l ? combine(code, a, b) : !b, 0, 0, 1, 0, &z->dim0};
    return true;
}

void register_logical_primitives() {
    register_primitive_range(P_OR, P_NAND, 2, prim_logical);
    register_primitive(P_NOT, 1, prim_logical);
    for (i64 code = P_OR; code <= P_NAND; code++) register_single_item(code, 2, single_logical);
    register_single_item(P_NOT, 1, single_logical);
}
