// Each: a function applied item by item.
//
// Ledger
// - Monadic each (f"x) of a general list: the primitive or defined
//   function applied to every item, the results gathered in a general list
//   of the same length; count (^) and type code (:) give an integer vector
//   of the items' counts or types instead.
//   Primitives taken: the monadic scalar functions, reduce and scan,
//   reverse (also along an axis), grade, not, roll, shape, ravel,
//   interval, transpose, matrix inverse, distinct, first, raze, where.
// - Dyadic each (x"f y) of two operands of rank 0 or 1, lists or simple:
//   item i of one with item i of the other (a single item pairs with
//   every item). Primitives taken: the dyadic scalar functions but
//   binomial and circle, the comparisons and the boolean functions,
//   rotate, take, drop, replicate, expand, membership, deal, reshape,
//   catenate, index-of.
// - Defined functions of the matching valence, and the built-in
//   functions, under either form.
//   Each item is applied in its own evaluator temporaries, and the stack
//   space an item's work used is given back once its result is kept, so
//   a long list runs in the room of one item.
//   The lists are the rows marked PT_EACH in core/codes.def.
//   Refuses: a primitive outside those lists, execute, a monadic operand
//   that is not a list (1); a function of another valence (15); operands
//   of rank above 1 (2); counts that differ (3); an item of a type without
//   items of its own (keyed values, enumerations) (1); a function that
//   gives no value (4); the first error of the function applied, at that
//   item.
#include "primitives/products.h"
#include "core/arena.h"
#include "core/calls.h"
#include "core/evaluator.h"
#include "core/tables.h"
#include "core/valueops.h"
#include <cstring>

// ---- The operands' items -----------------------------------------------------------
// A list whose block lies in the heap end can move while a function runs
// (compaction), and a defined function can even assign a new value to the
// very variable being walked: such operands are walked in a private copy
// held in large blocks, which nothing moves or frees meanwhile.

struct Source {
    const ValueDescriptor *live;   // the operand, when walked where it is
    ValueDescriptor own;           // the private copy, when one is made
    bool copied;
    bool single;
    i64 count;
};

static int open_source(Source *s, i64 c, i64 v, bool defined_function) {
    memset(s, 0, sizeof *s);
    const ValueDescriptor *d = operand_ref(c, v);
    if (!d || d->rank < 0) return fail(VEK_VALUE);
    s->count = d->count;
    s->single = d->rank == 0 || (d->rank == 1 && d->count == 1);
    s->live = d;
    // simple items are read one at a time straight from the descriptor,
    // which compaction keeps current
    bool moves = !is_simple_type(d->type) && d->data && in_heap_end(d->data);
    if (!defined_function && !moves) return 0;
    if (copy_value_checked(&s->own, d, 1)) return (int)error_number;
    s->copied = true;
    return 0;
}

static void close_source(Source *s) {
    if (s->copied) free_value(&s->own);
}

static const ValueDescriptor *source_value(const Source *s) { return s->copied ? &s->own : s->live; }

// Item k as a value of its own: a list's item as it stands, a simple
// item as a one-item scalar of its type.
static int source_item(const Source *s, i64 k, ValueDescriptor *item) {
    const ValueDescriptor *d = source_value(s);
    i64 at = s->single ? 0 : k;
    if (d->type == T_LIST) {
        *item = ((const ValueDescriptor *)d->data)[at];
        fix_inline_pointer(item);
        return 0;
    }
    if (!is_simple_type(d->type)) return fail(VEK_DOMAIN);
    memset(item, 0, sizeof *item);
    item->type = d->type;
    item->rank = 0;
    item->count = 1;
    ValueDescriptor whole = *d;
    const char *p = (const char *)value_data(&whole);
    size_t size = d->type == T_CHAR ? 1 : d->type == T_COMPLEX ? 16 : 8;
    memcpy(&item->dim0, p + at * size, size);
    fix_inline_pointer(item);
    return 0;
}

// ---- One item at a time --------------------------------------------------------------

// Empties a temporary before it is used again; a large block it holds is
// given up, stack data is simply forgotten.
static void clear_temporary(i64 slot) {
    ValueDescriptor *d = &value_slot_table[slot];
    if (d->capacity > 0 && d->data && !in_arena(d->data)) free_value(d);
    memset(d, 0, sizeof *d);
    d->rank = -1;
}

static int apply_function(char kind, i64 code, i64 out, i64 left, i64 right) {
    i64 lc = -1, lv = left, rc = -1, rv = right;
    if (left < 0) lv = -1;
    if (kind == 'P') return dispatch_primitive(code, out, lc, lv, rc, rv);
    if (code >= 0 && code < BUILTIN_FUNCTIONS) {
        PrimHandler h = builtin_function_handler(code);
        return h ? h(code, out, lc, lv, rc, rv) : fail(VEK_NOT_IMPLEMENTED);
    }
    return call_defined_function(code, lc, lv, rc, rv, out, eval_temp_counter);
}

// Moves the value in slot `from` into the list item `to` and gives back the
// stack space above `mark` (everything the item's work allocated lies
// there). A simple value in a large block changes owner; a simple value on
// the stack slides down to `mark`; any other value is copied out to large
// blocks and back.
static int keep_result(i64 from, ValueDescriptor *to, i64 mark) {
    ValueDescriptor *d = &value_slot_table[from];
    if (d->rank < 0) return fail(VEK_VALUE);
    bool simple = is_simple_type(d->type);
    if (is_inline_value(d) || !d->data || (simple && !in_arena(d->data))) {
        *to = *d;
        fix_inline_pointer(to);
    } else if (simple && !in_heap_end(d->data) && (char *)d->data >= arena_base + mark) {
        i64 size = data_bytes(d->type, d->count);
        memmove(arena_base + mark, d->data, (size_t)size);
        *to = *d;
        to->data = arena_base + mark;
        to->capacity = size;
        memset(d, 0, sizeof *d);
        d->rank = -1;
        stacktop = mark + ((size + 7) & ~(i64)7);
        return 0;
    } else {
        ValueDescriptor hold;
        if (copy_value_checked(&hold, d, 1)) return (int)error_number;
        free_value(d);
        stacktop = mark;
        int e = copy_value_checked(to, &hold, 0);
        free_value(&hold);
        return e;
    }
    memset(d, 0, sizeof *d);
    d->rank = -1;
    stacktop = mark;
    return 0;
}

// Runs the function over n items, storing each result through keep.
template <class Keep>
static int each_items(char kind, i64 code, Source *left, Source *right, i64 n, Keep keep) {
    i64 a, b, out;
    if (take_temporary(&eval_temp_counter, &a) || take_temporary(&eval_temp_counter, &b) ||
        take_temporary(&eval_temp_counter, &out))
        return (int)error_number;
    i64 temps = eval_temp_counter;
    for (i64 k = 0; k < n; k++) {
        i64 mark = stacktop;
        ValueDescriptor item;
        if (source_item(right, k, &item)) return (int)error_number;
        clear_temporary(a);
        if (copy_value_checked(&value_slot_table[a], &item, 0)) return (int)error_number;
        if (left) {
            if (source_item(left, k, &item)) return (int)error_number;
            clear_temporary(b);
            if (copy_value_checked(&value_slot_table[b], &item, 0)) return (int)error_number;
        }
        clear_temporary(out);
        int e = apply_function(kind, code, out, left ? b : -1, a);
        eval_temp_counter = temps;
        if (e) return fail(e);
        free_scratch();
        if (keep(k, out, mark)) return (int)error_number;
    }
    clear_temporary(a);
    clear_temporary(b);
    clear_temporary(out);
    return 0;
}

// ---- The two forms ------------------------------------------------------------------------

static int valence_fits(char kind, i64 code, int valence) {
    if (kind == 'P') return 1;
    if (code < FIRST_USER_FUNCTION) return 1;
    if (code > lstfx || code >= FUNCTION_CAP) return 0;
    return function_table[code].valence == valence;
}

static int each_into_list(char kind, i64 code, i64 result_slot, Source *left, Source *right, i64 n) {
    Result z;
    if (begin_vector(&z, result_slot, T_LIST, n)) return (int)error_number;
    return each_items(kind, code, left, right, n, [&](i64 k, i64 out, i64 mark) {
        // the list may be a large block: its items are read afresh each time
        ValueDescriptor *items = (ValueDescriptor *)value_data(&value_slot_table[result_slot]);
        return keep_result(out, &items[k], mark);
    });
}

static int each_count_or_type(i64 code, i64 result_slot, Source *s) {
    Result z;
    if (begin_vector(&z, result_slot, T_INT, s->count, nullptr, nullptr, true)) return (int)error_number;
    const ValueDescriptor *items = (const ValueDescriptor *)source_value(s)->data;
    i64 *out = (i64 *)value_data(&value_slot_table[result_slot]);
    for (i64 k = 0; k < s->count; k++) out[k] = code == P_COUNT ? items[k].count : items[k].type;
    return 0;
}

static int each_monadic(char kind, i64 code, i64 result_slot, i64 rc, i64 rv) {
    const ValueDescriptor *d = operand_ref(rc, rv);
    if (!d || d->rank < 0) return fail(VEK_VALUE);
    if (d->type != T_LIST) return fail(VEK_DOMAIN);
    if (kind == 'P' && !code_allowed_under_each(code, 1)) return fail(VEK_DOMAIN);
    if (!valence_fits(kind, code, 1)) return fail(VEK_VALENCE);
    Source right;
    if (open_source(&right, rc, rv, kind == 'D')) return (int)error_number;
    int e = kind == 'P' && (code == P_COUNT || code == P_TYPE)
                ? each_count_or_type(code, result_slot, &right)
                : each_into_list(kind, code, result_slot, nullptr, &right, right.count);
    close_source(&right);
    return e;
}

static int each_dyadic(char kind, i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    if (kind == 'P' && !code_allowed_under_each(code, 2)) return fail(VEK_DOMAIN);
    if (!valence_fits(kind, code, 2)) return fail(VEK_VALENCE);
    const ValueDescriptor *l = operand_ref(lc, lv), *r = operand_ref(rc, rv);
    if (!l || l->rank < 0 || !r || r->rank < 0) return fail(VEK_VALUE);
    if (l->rank > 1 || r->rank > 1) return fail(VEK_RANK);
    bool ls = l->rank == 0 || l->count == 1, rs = r->rank == 0 || r->count == 1;
    if (!ls && !rs && l->count != r->count) return fail(VEK_LENGTH);
    // a single item pairs with every item of the other side, even none
    i64 n = ls && rs ? 1 : ls ? r->count : l->count;
    Source left, right;
    if (open_source(&left, lc, lv, kind == 'D')) return (int)error_number;
    if (open_source(&right, rc, rv, kind == 'D')) {
        close_source(&left);
        return (int)error_number;
    }
    int e = each_into_list(kind, code, result_slot, &left, &right, n);
    close_source(&left);
    close_source(&right);
    return e;
}

int op_each(char kind, i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    if (lc < 0 && lv < 0) return each_monadic(kind, code, result_slot, rc, rv);
    return each_dyadic(kind, code, result_slot, lc, lv, rc, rv);
}
