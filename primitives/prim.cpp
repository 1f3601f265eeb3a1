// Operand views, the result builder and the index origin shared by every
// primitive family.
#include "prim.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "core/storage.h"
#include <cstring>

// ---- Shapes -------------------------------------------------------------------------

i64 Shape::count() const {
    i64 n = 1;
    for (i64 k = 0; k < rank; k++) n *= dims[k];
    return n;
}

void shape_of(Shape *s, const Operand *o) {
    const ValueDescriptor *d = o->desc();
    s->rank = o->rank < 0 ? 0 : o->rank > MAX_RANK ? MAX_RANK : o->rank;
    for (i64 k = 0; k < s->rank; k++) s->dims[k] = value_dimension(d, k);
}

int checked_product(i64 a, i64 b, i64 *product) {
    if (a < 0 || b < 0) return fail(VEK_WS_FULL);
    if (a != 0 && b > INT64_MAX / a) return fail(VEK_WS_FULL);
    *product = a * b;
    return 0;
}

int checked_count(const i64 *dims, i64 n, i64 *count) {
    i64 c = 1;
    for (i64 k = 0; k < n; k++)
        if (checked_product(c, dims[k], &c)) return VEK_WS_FULL;
    *count = c;
    return 0;
}

// ---- Results ----------------------------------------------------------------------------

ValueDescriptor *Result::desc() const { return &value_slot_table[slot]; }

// An operand that is the result slot loses its items when the slot is
// allocated: they are set aside first.
static int set_aside(Operand *o, i64 slot) {
    return o && operand_is_slot(o, slot) ? set_operand_aside(o) : 0;
}

static void reread_after_allocation(Operand *o) {
    if (o) reread_operand(o);
}

int begin_result(Result *z, i64 slot, i64 type, const Shape &shape, Operand *a, Operand *b, bool fully_written) {
    i64 count;
    if (shape.rank < 0 || shape.rank > MAX_RANK) return fail(VEK_RANK);
    if (checked_count(shape.dims, shape.rank, &count)) return VEK_WS_FULL;
    i64 bytes = data_bytes(type, count);
    if (bytes < 0 || bytes > value_memory_limit()) return fail(VEK_WS_FULL);
    if (set_aside(a, slot) || set_aside(b, slot)) return VEK_WS_FULL;
    // Dimensions above the second go to the shape pool before the data, so
    // a full pool leaves the slot as it was.
    i64 pool = 0;
    if (shape.rank > 2 && shape_pool_append(shape.dims + 1, shape.rank - 1, &pool)) return VEK_GLIST_FULL;
    chunk_fully_written = fully_written;
    int e = alloc_slot_value(slot, type, shape.rank, count);
    chunk_fully_written = false;
    if (e) return fail(e);
    ValueDescriptor *d = &value_slot_table[slot];
    i64 d0 = shape.rank >= 1 ? shape.dims[0] : count, d1 = shape.rank == 2 ? shape.dims[1] : pool;
    set_slot_shape(slot, shape.rank, count, d0, d1);
    if (shape.rank == 1 && !is_inline_value(d)) d->dim0 = count;
    if (is_inline_value(d)) d->dim0 = d->dim1 = 0;   // a char or an item written in part leaves no stale bytes
    z->slot = slot;
    z->type = type;
    z->rank = shape.rank;
    z->count = count;
    z->data = value_data(d);
    reread_after_allocation(a);
    reread_after_allocation(b);
    return 0;
}

int begin_vector(Result *z, i64 slot, i64 type, i64 n, Operand *a, Operand *b, bool fully_written) {
    Shape s;
    s.rank = 1;
    s.dims[0] = n;
    return begin_result(z, slot, type, s, a, b, fully_written);
}

static int scalar_result(i64 slot, i64 type, const void *item) {
    Result z;
    Shape s;
    if (begin_result(&z, slot, type, s)) return (int)error_number;
    memcpy(z.data, item, 8);
    return 0;
}

int result_int(i64 slot, i64 type, i64 value) { return scalar_result(slot, type, &value); }

int result_copy(i64 slot, const Operand *o) {
    if (operand_is_slot(o, slot)) return 0;
    return copy_value_to_slot(slot, o->c, o->v);
}

struct ComplexItem { double re, im; };

template <class T>
static void gather_typed(T *out, const T *in, const i64 *at, i64 n) {
    for (i64 k = 0; k < n; k++) out[k] = in[at[k]];
}

void gather_items(void *out, const void *in, i64 width, const i64 *at, i64 n) {
    switch (width) {
    case 1: gather_typed((char *)out, (const char *)in, at, n); break;
    case 16: gather_typed((ComplexItem *)out, (const ComplexItem *)in, at, n); break;
    default: gather_typed((i64 *)out, (const i64 *)in, at, n); break;
    }
}

// ---- Index origin ------------------------------------------------------------------------

int index_origin(i64 *io) {
    const ValueDescriptor *d = &value_slot_table[current_io_slot >= 0 && current_io_slot < SLOT_COUNT ? current_io_slot : SLOT_IO];
    if ((d->type != T_BOOL && d->type != T_INT) || d->count != 1 || d->rank > 1) return fail(VEK_IO);
    i64 v = d->dim0;
    if (v != 0 && v != 1) return fail(VEK_IO);
    *io = v;
    return 0;
}

int index_origin_in(i64 io_slot, i64 *io) {
    i64 outer = current_io_slot;
    if (io_slot >= 0 && io_slot < SLOT_COUNT) current_io_slot = io_slot;
    int e = index_origin(io);
    current_io_slot = outer;
    return e;
}
