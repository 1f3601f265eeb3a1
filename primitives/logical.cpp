// The boolean functions. Operands must hold only zeros and ones; their
// truth values are read into scratch bytes before the result is allocated,
// so a result slot that is also an operand, or a compaction during the
// allocation, cannot disturb what is read.
#include "logical.h"
#include "primitives.h"
#include "scalar.h"
#include "core/arena.h"
#include "core/operands.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/valueops.h"

static int fail(i64 n) { return (int)(error_number = n); }

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

static bool logical_operand(const ValueDescriptor *d) {
    return d->rank >= 0 && (d->type == T_BOOL || is_all_zero_one(d));
}

// The truth of every item as one byte each (a scratch block).
static unsigned char *truth_bytes(const ValueDescriptor *d) {
    i64 n = d->count > 0 ? d->count : 0;
    unsigned char *t = (unsigned char *)scratch_alloc(T_CHAR, n + 1);
    ValueDescriptor s = *d;
    const void *data = value_data(&s);
    for (i64 i = 0; i < n; i++)
        t[i] = d->type == T_FLOAT ? ((const double *)data)[i] != 0.0 : ((const i64 *)data)[i] != 0;
    return t;
}

static i64 *result_words(i64 slot) {
    return (i64 *)value_data(&value_slot_table[slot]);
}

static int logical_not(i64 result_slot, i64 rc, i64 rv) {
    ValueDescriptor *r = operand_descriptor(rc, rv);
    const unsigned char *a = truth_bytes(r);
    ValueDescriptor shape = *r;        // the operand may be the result slot
    ValueDescriptor *z = &value_slot_table[result_slot];
    z->type = T_BOOL;
    if (alloc_slot_value(result_slot, T_BOOL, shape.rank, shape.count)) return (int)error_number;
    if (shape.rank >= 2) {
        z->dim0 = shape.dim0;
        if (shape.rank == 2) z->dim1 = shape.dim1;
        else if (copy_shape_to_slot(result_slot, &shape)) return (int)error_number;
    }
    i64 *out = result_words(result_slot);
    for (i64 i = 0; i < shape.count; i++) out[i] = !a[i];
    return 0;
}

static i64 combine(i64 code, int a, int b) {
    switch (code) {
    case LG_OR: return a || b;
    case LG_AND: return a && b;
    case LG_NOR: return !a && !b;
    default: return !a || !b;   // nand
    }
}

int prim_logical(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    ValueDescriptor *r = operand_descriptor(rc, rv);
    if (r->rank < 0) return fail(4);
    if (!logical_operand(r)) return fail(1);
    if (code == LG_NOT) return logical_not(result_slot, rc, rv);
    ValueDescriptor *l = operand_descriptor(lc, lv);
    if (l->rank < 0) return fail(4);
    if (!logical_operand(l)) return fail(1);
    const unsigned char *a = truth_bytes(l), *b = truth_bytes(r);
    bind_operands(0, 3, result_slot, lc, lv, rc, rv);
    int as = (int)OPL.is_scalar, bs = (int)OPR.is_scalar;
    OPZ.type = T_BOOL;
    value_slot_table[result_slot].type = T_BOOL;
    if (conform_scalar_dyadic(result_slot, lc, lv, rc, rv)) return (int)error_number;
    ValueDescriptor *z = &value_slot_table[result_slot];
    if (z->count <= 0) return 0;
    i64 *out = result_words(result_slot);
    for (i64 i = 0; i < z->count; i++) out[i] = combine(code, a[as ? 0 : i], b[bs ? 0 : i]);
    return 0;
}

void register_logical_primitives() {
    register_primitive_range(LG_OR, LG_NAND, 2, prim_logical);
    register_primitive(LG_NOT, 1, prim_logical);
}
