// Item runs of the structural primitives: sizes, fill items, copies,
// repeats and the reshape cycle, shared by every family that moves items.
#include "primitives/structure.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/valueops.h"
#include <cstring>

i64 item_bytes(i64 type) {
    switch (type) {
    case T_CHAR: return 1;
    case T_COMPLEX: return 16;
    case T_LIST: return (i64)sizeof(ValueDescriptor);
    default: return 8;
    }
}

bool movable_type(i64 type) { return is_simple_type(type) || type == T_LIST; }

static void empty_integer_vector(ValueDescriptor *d) {
    memset(d, 0, sizeof *d);
    d->type = T_INT;
    d->rank = 1;
}

void write_fill(void *dst, i64 type, i64 n) {
    if (n <= 0) return;
    if (type == T_CHAR) { memset(dst, ' ', (size_t)n); return; }
    if (type != T_LIST) { memset(dst, 0, (size_t)(n * item_bytes(type))); return; }   // 0, 0.0, 0j0, symbol 0
    ValueDescriptor *d = (ValueDescriptor *)dst;
    for (i64 k = 0; k < n; k++) empty_integer_vector(&d[k]);
}

void repeat_bytes(void *dst, const void *item, i64 size, i64 n) {
    if (n <= 0) return;
    if (size == 1) { memset(dst, *(const unsigned char *)item, (size_t)n); return; }
    if (size == 8) {
        i64 w;
        memcpy(&w, item, 8);
        i64 *p = (i64 *)dst;
        for (i64 k = 0; k < n; k++) p[k] = w;
        return;
    }
    // doubling: each copy reads what is already written
    memcpy(dst, item, (size_t)size);
    i64 have = 1;
    while (have < n) {
        i64 more = have < n - have ? have : n - have;
        memcpy((char *)dst + have * size, dst, (size_t)(more * size));
        have += more;
    }
}

static int heap_of(const Result *z) { return is_heap_slot(z->slot) ? 1 : 0; }

// A list result's items: the deep copies below take storage but never move
// the result's own block (a stack block, or a large block for a variable).
static ValueDescriptor *list_items(const Result *z) { return (ValueDescriptor *)z->data; }

int copy_run(Result *z, i64 at, Operand *o, i64 from, i64 n) {
    if (n <= 0) return 0;
    if (z->type != T_LIST) {
        memcpy(result_at(z, at), item_at(o, from), (size_t)(n * item_bytes(z->type)));
        return 0;
    }
    for (i64 k = 0; k < n; k++) {
        // the source is read afresh: a copy may compact the heap end
        const ValueDescriptor *src = &o->items()[from + k];
        if (copy_as_item(&list_items(z)[at + k], src, heap_of(z))) return (int)error_number;
    }
    return 0;
}

int fill_run(Result *z, i64 at, i64 n) {
    write_fill(result_at(z, at), z->type, n);
    return 0;
}

int repeat_run(Result *z, i64 at, Operand *o, i64 k, i64 n) {
    if (n <= 0) return 0;
    if (z->type != T_LIST) {
        repeat_bytes(result_at(z, at), item_at(o, k), item_bytes(z->type), n);
        return 0;
    }
    for (i64 j = 0; j < n; j++)
        if (copy_run(z, at + j, o, o->single ? 0 : k, 1)) return (int)error_number;
    return 0;
}

int cycle_run(Result *z, i64 period, i64 total) {
    if (period <= 0 || total <= period) return 0;
    if (z->type != T_LIST) {
        i64 size = item_bytes(z->type), have = period;
        // the written prefix is whole periods, so each doubling continues the cycle
        while (have < total) {
            i64 more = have < total - have ? have : total - have;
            memcpy(result_at(z, have), z->data, (size_t)(more * size));
            have += more;
        }
        return 0;
    }
    for (i64 k = period; k < total; k++)
        if (copy_as_item(&list_items(z)[k], &list_items(z)[k % period], heap_of(z))) return (int)error_number;
    return 0;
}

int begin_items(Result *z, i64 slot, i64 type, const Shape &shape, Operand *a, Operand *b) {
    if (begin_result(z, slot, type, shape, a, b, true)) return (int)error_number;
    if (z->count == 1 && is_inline_value(z->desc())) memset(z->data, 0, 8);
    return 0;
}

int begin_items_vector(Result *z, i64 slot, i64 type, i64 n, Operand *a, Operand *b) {
    Shape s;
    s.rank = 1;
    s.dims[0] = n;
    return begin_items(z, slot, type, s, a, b);
}

const void *items_as(const Operand *o, i64 type) {
    i64 n = o->single ? 1 : o->count;
    if (n <= 0 || !o->data) return nullptr;
    bool words = o->type == T_BOOL || o->type == T_INT;
    if (o->type == type || (type == T_INT && words)) return o->data;
    if (type == T_FLOAT) {
        double *f = (double *)scratch_alloc(T_FLOAT, n);
        if (!f) return nullptr;
        for (i64 k = 0; k < n; k++) f[k] = o->real(k);
        return f;
    }
    // complex: real items get imaginary part 0
    double *p = (double *)scratch_alloc(T_COMPLEX, n);
    if (!p) return nullptr;
    for (i64 k = 0; k < n; k++) {
        if (o->type == T_COMPLEX) {
            p[2 * k] = o->pairs()[2 * k];
            p[2 * k + 1] = o->pairs()[2 * k + 1];
        } else {
            p[2 * k] = o->real(k);
            p[2 * k + 1] = 0;
        }
    }
    return p;
}

int whole_value_item(Result *z, i64 at, Operand *o) {
    ValueDescriptor *target = &list_items(z)[at];
    if (o->single && is_simple_type(o->type)) {
        // the view holds the item itself: the slot it came from may be the result
        memset(target, 0, sizeof *target);
        target->type = o->type;
        target->rank = o->rank;
        target->count = 1;
        memcpy(&target->dim0, &o->item, o->type == T_COMPLEX ? 16 : o->type == T_CHAR ? 1 : 8);
        fix_inline_pointer(target);
        return 0;
    }
    return copy_as_item(target, o->desc(), heap_of(z)) ? (int)error_number : 0;
}

static i64 saturating_product(const i64 *dims, i64 n) {
    i64 p = 1;
    for (i64 k = 0; k < n; k++)
        if (__builtin_mul_overflow(p, dims[k], &p)) return INT64_MAX;
    return p;
}

i64 dims_before(const Shape &s, i64 axis) { return saturating_product(s.dims, axis); }
i64 dims_after(const Shape &s, i64 axis) { return saturating_product(s.dims + axis + 1, s.rank - axis - 1); }

int sum_of_counts(const Operand *x, i64 n, i64 *sum) {
    if (x->type == T_BOOL && !x->single) {
        // items of 0 and 1: a plain sum, no sign or overflow to watch
        const i64 *p = x->ints();
        i64 s = 0;
        for (i64 k = 0; k < n; k++) s += p[k];
        *sum = s;
        return 0;
    }
    i64 s = 0;
    for (i64 k = 0; k < n; k++) {
        i64 v = x->int_at(k);
        if (v < 0) return fail(VEK_DOMAIN);
        if (__builtin_add_overflow(s, v, &s)) return fail(VEK_WS_FULL);
    }
    *sum = s;
    return 0;
}
