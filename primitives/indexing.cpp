// Bracket indexing A[I;J;...] and indexed assignment A[I;J;...]<-B.
//
// Ledger
// - A[I;J;...]: one index list per axis of A, boolean or integer of any
//   rank, counted from []IO; an elided list takes the whole axis. The
//   result's shape is the lists' shapes in axis order (a scalar index drops
//   its axis, a one-item vector keeps it). A vector may also be indexed by a
//   general list of index lists: the result is the list of the selections.
//   Float and complex results are demoted to integers where whole.
//   Fast paths: a vector indexed by one list checks and gathers in one
//   pass; higher ranks walk per-axis offsets with the last axis inline;
//   one index item held inline picks its item straight into the result.
//   Refuses: a list count other than A's rank, or a scalar A (2); index
//   lists of other types, a general-list A of rank above 1 or indexed by a
//   list of rank above 1 (1); an index outside its axis (25); undefined
//   operands (4); a bad []IO (24). Dictionaries, tables, keyed tables and
//   enumerations go to the handlers the dictionary family registers (43
//   while there are none).
// - A[I;J;...]<-B: B's items replace the selected items of the variable A in
//   row-major order of the selection (the last of repeated positions wins),
//   or B's one item goes everywhere. A keeps its shape. A boolean A takes
//   integers, numbers take floats and complex: A is widened into its own
//   slot once every check has passed. A general-list A takes deep copies of
//   B's items (a simple B's items as scalars). An index variable holding
//   whole floats is read as integers.
//   Fast paths: in place, whatever A's size, when no one else holds A's
//   block (a shared block is copied first); a vector A is written straight
//   from the index list; one item held inline at one index item held
//   inline, into an unshared vector of its own type, is written at once.
//   Refuses: as indexing; B of another kind than A (char, symbol, a time
//   type, a general list into a simple A) (1); B's count neither 1 nor the
//   number of selected positions (3); into []IO, []RL or []PP a value they
//   cannot hold (24, 7, 4). On any error A is unchanged.
#include "indexing.h"
#include "prim.h"
#include "core/arena.h"
#include "core/evaluator.h"
#include "core/tables.h"
#include "core/text_lists.h"
#include "core/valueops.h"
#include "core/storage.h"
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

static IndexHandler keyed_index_hook;
static IndexedAssignHandler keyed_assign_hook;

void register_keyed_index(IndexHandler h) { keyed_index_hook = h; }
void register_keyed_assign(IndexedAssignHandler h) { keyed_assign_hook = h; }

static bool is_keyed_type(i64 t) { return t == T_ENUM || t == T_DICT || t == T_TABLE; }


// ---- Index lists ---------------------------------------------------------------------

// The index lists of one application, axis 0 first. An elided list has no
// view; ix and n are the integer items each list selects (a float list of
// whole numbers is read through a converted copy).
// Views are made only for the lists there are (most applications have one
// or two): a statement assigning one item must not pay for 64.
struct IndexLists {
    enum { INLINE_VIEWS = 4 };
    i64 n = 0;
    Operand *view = inline_views;
    Operand inline_views[INLINE_VIEWS];
    std::unique_ptr<Operand[]> more_views;
    bool elided[MAX_RANK];
    const i64 *ix[MAX_RANK];
    i64 count[MAX_RANK];
};

static bool is_elided(i64 c, i64 v) { return c < 0 && v == 0; }

// Axis 0's list is (ic, iv); the others arrive last axis first.
static int read_lists(IndexLists *L, i64 ic, i64 iv, const i64 *rest_c, const i64 *rest_v, i64 rest) {
    if (rest < 0 || rest >= MAX_RANK) return fail(VEK_RANK);
    L->n = rest + 1;
    if (L->n > IndexLists::INLINE_VIEWS) {
        L->more_views.reset(new Operand[L->n]);
        L->view = L->more_views.get();
    }
    for (i64 k = 0; k < L->n; k++) {
        i64 c = k ? rest_c[rest - k] : ic, v = k ? rest_v[rest - k] : iv;
        L->elided[k] = is_elided(c, v);
        if (!L->elided[k] && read_operand(&L->view[k], c, v)) return VEK_VALUE;
    }
    return 0;
}

// An index list must be boolean or integer; the items are then read in place.
static int take_int_lists(IndexLists *L) {
    for (i64 k = 0; k < L->n; k++) {
        if (L->elided[k]) continue;
        if (!L->view[k].is_int_class()) return fail(VEK_DOMAIN);
        L->ix[k] = L->view[k].ints();
        L->count[k] = L->view[k].count;
    }
    return 0;
}

// A list that is also the result slot loses its items when the result is
// allocated: they are set aside first.
static int protect_lists(IndexLists *L, i64 slot) {
    for (i64 k = 0; k < L->n; k++)
        if (!L->elided[k] && operand_is_slot(&L->view[k], slot)) {
            if (set_operand_aside(&L->view[k])) return VEK_WS_FULL;
            L->ix[k] = L->view[k].ints();
        }
    return 0;
}

// ---- Positions ------------------------------------------------------------------------

// Axis k's selected positions as offsets (index - origin) * stride.
struct AxisPick {
    i64 n;
    const i64 *off;
};

static bool outside(i64 index, i64 origin, i64 length) {
    return (uint64_t)index - (uint64_t)origin >= (uint64_t)length;
}

// Checks every index against its axis and builds the offsets. *total is the
// number of positions selected (6 when it cannot be counted).
static int pick_axes(const IndexLists &L, const ValueDescriptor *a, i64 io, AxisPick *ax, i64 *total) {
    i64 strides[MAX_RANK + 1];
    if (compute_axis_strides(a, strides)) return VEK_WS_FULL;
    i64 product = 1;
    for (i64 k = 0; k < L.n; k++) {
        i64 length = value_dimension(a, k);
        i64 n = L.elided[k] ? length : L.count[k];
        i64 *off = (i64 *)scratch_alloc(T_INT, n);
        if (n > 0 && !off) return VEK_WS_FULL;
        for (i64 j = 0; j < n; j++) {
            i64 p = L.elided[k] ? j : L.ix[k][j];
            if (!L.elided[k]) {
                if (outside(p, io, length)) return fail(VEK_INDEX);
                p -= io;
            }
            off[j] = p * strides[k];
        }
        ax[k] = {n, off};
        if (checked_product(product, n, &product)) return VEK_WS_FULL;
    }
    *total = product;
    return 0;
}

// Visits the selected positions in row-major order of the selection (the
// first axis outermost), the last axis in an inner loop of its own.
template <class Visit>
static void each_position(const AxisPick *ax, i64 rank, Visit visit) {
    for (i64 k = 0; k < rank; k++)
        if (ax[k].n == 0) return;
    i64 at[MAX_RANK] = {}, base[MAX_RANK];
    base[0] = 0;
    for (i64 k = 0; k + 1 < rank; k++) base[k + 1] = base[k] + ax[k].off[0];
    const AxisPick &last = ax[rank - 1];
    for (;;) {
        i64 b = base[rank - 1];
        for (i64 j = 0; j < last.n; j++) visit(b + last.off[j]);
        i64 k = rank - 2;
        while (k >= 0 && ++at[k] == ax[k].n) at[k--] = 0;
        if (k < 0) return;
        for (i64 m = k; m + 1 < rank; m++) base[m + 1] = base[m] + ax[m].off[at[m]];
    }
}

// ---- Items by width ---------------------------------------------------------------------

struct Pair { double re, im; };

static int item_width(i64 type) { return type == T_CHAR ? 1 : type == T_COMPLEX ? 16 : 8; }

template <class T>
static void gather_positions(T *out, const T *src, const AxisPick *ax, i64 rank) {
    i64 k = 0;
    each_position(ax, rank, [&](i64 p) { out[k++] = src[p]; });
}

static void gather_by_width(void *out, const void *src, i64 type, const AxisPick *ax, i64 rank) {
    switch (item_width(type)) {
    case 1: gather_positions((char *)out, (const char *)src, ax, rank); break;
    case 16: gather_positions((Pair *)out, (const Pair *)src, ax, rank); break;
    default: gather_positions((i64 *)out, (const i64 *)src, ax, rank); break;
    }
}

// A vector indexed by one list: each index is checked as it is used.
template <class T>
static int gather_checked(T *out, const T *src, i64 length, const i64 *ix, i64 n, i64 io) {
    for (i64 k = 0; k < n; k++) {
        if (outside(ix[k], io, length)) return fail(VEK_INDEX);
        out[k] = src[ix[k] - io];
    }
    return 0;
}

// ---- Indexing ---------------------------------------------------------------------------

// Whole floats become integers, complex with no imaginary parts floats.
static int demote_result(i64 slot) {
    ValueDescriptor *d = &value_slot_table[slot];
    if (d->type != T_FLOAT && d->type != T_COMPLEX) return 0;
    return demote_descriptor(d);
}

static int index_simple_vector(i64 result_slot, Operand &a, IndexLists &L, i64 io) {
    Operand &I = L.view[0];
    Shape s;
    shape_of(&s, &I);
    if (protect_lists(&L, result_slot)) return VEK_WS_FULL;
    Result z;
    if (begin_result(&z, result_slot, a.type, s, &a, &I, true)) return (int)error_number;
    const i64 *ix = I.ints();
    int e;
    switch (item_width(a.type)) {
    case 1: e = gather_checked(z.chars(), a.chars(), a.count, ix, z.count, io); break;
    case 16: e = gather_checked((Pair *)z.data, (const Pair *)a.data, a.count, ix, z.count, io); break;
    default: e = gather_checked(z.ints(), a.ints(), a.count, ix, z.count, io); break;
    }
    if (e) return e;
    return demote_result(result_slot);
}

// A copy of item p of a general list, its own storage taken for `slot`.
static int copy_list_item(ValueDescriptor *out, const Operand &a, i64 p, int heap) {
    ValueDescriptor item = a.items()[p];     // by value: the list may move
    fix_inline_pointer(&item);
    return copy_value_checked(out, &item, heap);
}

static int index_list_items(i64 result_slot, Operand &a, IndexLists &L, const AxisPick *ax, const Shape &s) {
    // a scalar index yields the item itself, copied into the result slot
    if (!L.elided[0] && L.view[0].rank == 0) {
        ValueDescriptor item = a.items()[ax[0].off[0]];
        fix_inline_pointer(&item);
        return assign_to_slot(result_slot, &item);
    }
    int heap = is_heap_slot(result_slot);
    if (s.rank == 1) {
        // texts bound for a large block: gathered into one
        bool done;
        if (gather_texts_to_slot(result_slot, a.desc(), ax[0].off, ax[0].n, &done)) return (int)error_number;
        if (done) return 0;
    }
    Result z;
    if (begin_result(&z, result_slot, T_LIST, s, &a, L.elided[0] ? nullptr : &L.view[0])) return (int)error_number;
    for (i64 k = 0; k < ax[0].n; k++) {
        ValueDescriptor item;
        if (copy_list_item(&item, a, ax[0].off[k], heap)) return (int)error_number;
        ValueDescriptor *items = (ValueDescriptor *)value_data(z.desc());   // re-read: the copy allocated
        items[k] = item;
        fix_inline_pointer(&items[k]);
    }
    return 0;
}

// A vector indexed by a general list: item k of the result is A indexed by
// item k of the list. Each selection is made through two temporaries, the
// index item in one and its selection in the other; the selections are
// kept aside until all are made, as the result slot may be A itself.
static int index_by_lists(i64 result_slot, i64 ac, i64 av, Operand &a, Operand &I, i64 io_slot) {
    i64 outer = eval_temp_counter, index_slot, pick_slot;
    if (take_temporary(&eval_temp_counter, &index_slot) || take_temporary(&eval_temp_counter, &pick_slot))
        return (int)error_number;
    std::vector<ValueDescriptor> picks;
    int e = 0;
    for (i64 k = 0; k < I.count && !e; k++) {
        ValueDescriptor item = I.items()[k];
        fix_inline_pointer(&item);
        e = assign_to_slot(index_slot, &item);
        if (!e) e = index_value(pick_slot, ac, av, -1, index_slot, nullptr, nullptr, 0, io_slot);
        if (e) break;
        picks.emplace_back();
        take_slot_descriptor(&picks.back(), pick_slot);
    }
    release_stack_value(&value_slot_table[index_slot]);
    release_stack_value(&value_slot_table[pick_slot]);
    eval_temp_counter = outer;
    Shape s;
    shape_of(&s, &I);
    Result z;
    if (!e && begin_result(&z, result_slot, T_LIST, s, &a, &I)) e = (int)error_number;
    for (size_t k = 0; k < picks.size(); k++) {
        if (e) {
            release_stack_value(&picks[k]);
            continue;
        }
        ValueDescriptor item = picks[k];
        if (is_heap_slot(result_slot)) {   // a variable's items never live on the stack end
            e = copy_value_checked(&item, &picks[k], 1);
            release_stack_value(&picks[k]);
            if (e) continue;
        }
        ValueDescriptor *at = &((ValueDescriptor *)value_data(z.desc()))[k];   // re-read: the copy allocated
        *at = item;
        fix_inline_pointer(at);
    }
    return e ? fail(e) : 0;
}

int index_value(i64 result_slot, i64 ac, i64 av, i64 ic, i64 iv, const i64 *rest_c, const i64 *rest_v,
                i64 rest, i64 io_slot) {
    Operand a;
    if (read_operand(&a, ac, av)) return VEK_VALUE;
    IndexLists L;
    if (read_lists(&L, ic, iv, rest_c, rest_v, rest)) return (int)error_number;
    i64 io;
    if (index_origin_in(io_slot, &io)) return VEK_IO;
    if (is_keyed_type(a.type)) {
        if (!keyed_index_hook) return fail(VEK_NOT_IMPLEMENTED);
        return keyed_index_hook(result_slot, ac, av, ic, iv, rest_c, rest_v, rest, io_slot);
    }
    if (!is_simple_type(a.type) && a.type != T_LIST) return fail(VEK_DOMAIN);
    if (a.rank == 0 || L.n != a.rank) return fail(VEK_RANK);
    if (a.rank == 1 && !L.elided[0] && L.view[0].type == T_LIST)
        return index_by_lists(result_slot, ac, av, a, L.view[0], io_slot);
    if (take_int_lists(&L)) return VEK_DOMAIN;
    if (a.type == T_LIST && (a.rank > 1 || (!L.elided[0] && L.view[0].rank > 1))) return fail(VEK_DOMAIN);
    if (a.rank == 1 && !L.elided[0] && a.type != T_LIST) return index_simple_vector(result_slot, a, L, io);

    AxisPick ax[MAX_RANK];
    i64 total;
    if (pick_axes(L, a.desc(), io, ax, &total)) return (int)error_number;
    Shape s;
    for (i64 k = 0; k < L.n; k++) {
        Shape part;
        if (L.elided[k]) {
            part.rank = 1;
            part.dims[0] = ax[k].n;
        } else shape_of(&part, &L.view[k]);
        if (s.rank + part.rank > MAX_RANK) return fail(VEK_RANK);
        for (i64 j = 0; j < part.rank; j++) s.dims[s.rank++] = part.dims[j];
    }
    if (a.type == T_LIST) return index_list_items(result_slot, a, L, ax, s);
    if (protect_lists(&L, result_slot)) return VEK_WS_FULL;
    Result z;
    if (begin_result(&z, result_slot, a.type, s, &a, nullptr, true)) return (int)error_number;
    gather_by_width(z.data, a.data, a.type, ax, L.n);
    return demote_result(result_slot);
}

// ---- Indexed assignment ------------------------------------------------------------------

static bool is_number_type(i64 t) { return t == T_BOOL || t == T_INT || t == T_FLOAT || t == T_COMPLEX; }

// The type A has once B's items are in it, or -1 when they cannot go there.
static i64 assigned_type(i64 a, i64 b) {
    // a list's items come from B's items: a dictionary, table or
    // enumeration has none that could stand alone
    if (a == T_LIST) return b == T_LIST || is_simple_type(b) ? T_LIST : -1;
    if (a == b) return a;
    if (!is_number_type(a) || !is_number_type(b)) return -1;
    return a > b ? a : b;
}

// Index lists of an assignment: a variable holding whole floats (or
// complex numbers without imaginary parts) is read through integer copies,
// so the variable itself is left as it is. *out stays nullptr when the
// copy cannot be had.
static bool whole_floats_to_ints(Operand &o, i64 **out) {
    if (o.c >= 0 || (o.type != T_FLOAT && o.type != T_COMPLEX)) return false;
    i64 n = o.count, step = o.type == T_COMPLEX ? 2 : 1;
    const double *x = o.floats();
    for (i64 k = 0; k < n; k++) {
        double v = x[step * (o.single ? 0 : k)];
        if (step == 2 && x[2 * (o.single ? 0 : k) + 1] != 0.0) return false;
        if (!(std::fabs(v) <= 2147483647.0) || v != std::trunc(v)) return false;
    }
    i64 *ix = (i64 *)scratch_alloc(T_INT, n);
    *out = ix;
    if (!ix) return true;
    for (i64 k = 0; k < n; k++) ix[k] = (i64)x[step * (o.single ? 0 : k)];
    return true;
}

static int take_assign_lists(IndexLists *L) {
    for (i64 k = 0; k < L->n; k++) {
        if (L->elided[k]) continue;
        Operand &o = L->view[k];
        i64 *converted = nullptr;
        if (o.is_int_class()) L->ix[k] = o.ints();
        else if (whole_floats_to_ints(o, &converted)) {
            if (!converted && o.count > 0) return VEK_WS_FULL;
            L->ix[k] = converted;
        } else return fail(VEK_DOMAIN);
        L->count[k] = o.count;
    }
    return 0;
}

// []IO, []RL and []PP keep the values their assignment allows.
static int check_system_target(i64 slot, const Operand &b) {
    if (slot != SLOT_IO && slot != SLOT_RL && slot != SLOT_PP) return 0;
    if (!b.is_int_class()) return fail(slot == SLOT_IO ? VEK_IO : VEK_TYPE);
    for (i64 k = 0; k < b.count; k++) {
        i64 v = b.int_at(k);
        if (slot == SLOT_IO && v != 0 && v != 1) return fail(VEK_IO);
        if (slot != SLOT_IO && v < 1) return fail(VEK_VALUE);
    }
    return 0;
}

// B's item `at`, converted to A's type, written at position p of A's items.
static void put_item(void *dst, i64 type, i64 p, const Operand &b, i64 at) {
    switch (type) {
    case T_CHAR: ((char *)dst)[p] = b.chars()[b.single ? 0 : at]; return;
    case T_COMPLEX: {
        double *q = (double *)dst + 2 * p;
        if (b.type == T_COMPLEX) {
            const double *x = b.pairs() + 2 * (b.single ? 0 : at);
            q[0] = x[0];
            q[1] = x[1];
        } else {
            q[0] = b.real(at);
            q[1] = 0;
        }
        return;
    }
    case T_FLOAT: ((double *)dst)[p] = b.real(at); return;
    default: ((i64 *)dst)[p] = b.int_at(at); return;
    }
}

// A (in its slot) becomes complex: new storage for the slot, the old items
// converted into it.
static int widen_to_complex(i64 slot) {
    ValueDescriptor old;
    take_slot_descriptor(&old, slot);
    ValueDescriptor *d = &value_slot_table[slot];
    d->type = T_COMPLEX;
    d->spare = 0;
    if (alloc_slot_value(slot, T_COMPLEX, old.rank, old.count)) {
        value_slot_table[slot] = old;
        fix_inline_pointer(&value_slot_table[slot]);
        adopt_block(&value_slot_table[slot]);
        return fail(VEK_WS_FULL);
    }
    set_slot_shape(slot, old.rank, old.count, old.dim0, old.dim1);
    double *out = (double *)value_data(d);
    const void *in = value_data(&old);
    for (i64 k = 0; k < old.count; k++) {
        out[2 * k] = old.type == T_FLOAT ? ((const double *)in)[k] : (double)((const i64 *)in)[k];
        out[2 * k + 1] = 0;
    }
    release_descriptor(&old);
    return 0;
}

// A takes type t: booleans are integers as they stand, integers become
// floats in their own block, anything becomes complex in a new one.
static int widen(i64 slot, i64 t) {
    ValueDescriptor *d = &value_slot_table[slot];
    if (t == d->type) return 0;
    if (t == T_COMPLEX) return widen_to_complex(slot);
    if (t == T_FLOAT) return convert_descriptor_type(d, T_FLOAT);
    d->type = t;
    return 0;
}

// B's item `at` as a value of its own for a general-list A: a list item is
// copied deeply, a simple item becomes a scalar.
static int item_of_b(ValueDescriptor *out, const Operand &b, const ValueDescriptor *items, i64 at, int heap) {
    if (b.type == T_LIST) {
        ValueDescriptor item = items[at];
        fix_inline_pointer(&item);
        return copy_value_checked(out, &item, heap);
    }
    memset(out, 0, sizeof *out);
    out->type = b.type;
    out->count = 1;
    i64 width = item_width(b.type);
    memcpy(&out->dim0, (const char *)b.data + (b.single ? 0 : at * width), (size_t)width);
    fix_inline_pointer(out);
    return 0;
}

// Every item B gives A is a text: B is characters, or a list of texts.
static bool gives_texts(const Operand &b) {
    if (b.type == T_CHAR) return true;
    if (b.type != T_LIST) return false;
    for (i64 k = 0; k < b.count; k++)
        if (!is_text_item(&b.items()[k])) return false;
    return true;
}

// A general-list A: each selected item is given up and replaced by a copy.
// When B is A itself its items are copied first, as they are about to go.
// A's block is opened for writing first (its own copy when it is shared).
static int assign_list_items(i64 slot, const Operand &b, const i64 *positions, i64 n) {
    ValueDescriptor own = {};
    bool aliased = b.type == T_LIST && operand_is_slot(&b, slot);
    if (aliased && copy_value_checked(&own, b.desc(), 1)) return (int)error_number;
    if (open_list_for_writing(&value_slot_table[slot], gives_texts(b))) {
        if (aliased) release_descriptor(&own);
        return (int)error_number;
    }
    // a list that keeps its texts in its own block takes them in large blocks
    int heap = is_heap_slot(slot) || holds_own_texts(&value_slot_table[slot]);
    int e = 0;
    for (i64 k = 0; k < n && !e; k++) {
        ValueDescriptor item;
        const ValueDescriptor *items = aliased ? (const ValueDescriptor *)own.data : b.items();
        e = item_of_b(&item, b, items, b.count == 1 ? 0 : k, heap);
        if (e) break;
        ValueDescriptor *at = &((ValueDescriptor *)value_data(&value_slot_table[slot]))[positions[k]];
        ValueDescriptor old = *at;
        *at = item;
        fix_inline_pointer(at);
        adopt_block(at);
        release_descriptor(&old);
    }
    if (aliased) release_descriptor(&own);
    return e;
}

int assign_indexed(i64 slot, i64 ic, i64 iv, const i64 *rest_c, const i64 *rest_v, i64 rest, i64 bc, i64 bv,
                   i64 io_slot) {
    if (slot < 0 || slot >= SLOT_COUNT) return fail(VEK_DOMAIN);
    const ValueDescriptor *a = &value_slot_table[slot];
    if (a->rank < 0) return fail(VEK_VALUE);
    Operand b;
    if (read_operand(&b, bc, bv)) return VEK_VALUE;
    IndexLists L;
    if (read_lists(&L, ic, iv, rest_c, rest_v, rest)) return (int)error_number;
    i64 io;
    if (index_origin_in(io_slot, &io)) return VEK_IO;
    if (a->type > T_TIME) {
        // tables and keyed tables take rows and columns, t[i;c]<-v
        if (L.n > (a->type == T_TABLE || a->type == T_DICT ? 2 : 1)) return fail(VEK_RANK);
        if (!is_keyed_type(a->type)) return fail(VEK_DOMAIN);
        if (!keyed_assign_hook) return fail(VEK_NOT_IMPLEMENTED);
        return keyed_assign_hook(slot, ic, iv, rest_c, rest_v, rest, bc, bv, io_slot);
    }
    if (a->rank == 0 || L.n != a->rank) return fail(VEK_RANK);
    i64 type = assigned_type(a->type, b.type);
    if (type < 0) return fail(VEK_DOMAIN);
    if (take_assign_lists(&L)) return VEK_DOMAIN;

    // Every index is checked before anything is written.
    bool straight = a->rank == 1 && !L.elided[0] && type != T_LIST;
    AxisPick ax[MAX_RANK];
    i64 total = L.count[0];
    if (straight) {
        for (i64 k = 0; k < total; k++)
            if (outside(L.ix[0][k], io, a->count)) return fail(VEK_INDEX);
    } else if (pick_axes(L, a, io, ax, &total)) return (int)error_number;
    if (total == 0 ? b.count > 1 : (b.count != 1 && b.count != total)) return fail(VEK_LENGTH);
    if (check_system_target(slot, b)) return (int)error_number;

    // Operands that are A itself are read from copies while A is written.
    if (operand_is_slot(&b, slot) && type != T_LIST && set_operand_aside(&b)) return VEK_WS_FULL;
    for (i64 k = 0; k < L.n; k++)
        if (!L.elided[k] && operand_is_slot(&L.view[k], slot) && L.ix[k] == L.view[k].ints()) {
            if (set_operand_aside(&L.view[k])) return VEK_WS_FULL;
            L.ix[k] = L.view[k].ints();
        }
    if (type == T_LIST) {
        i64 *positions = (i64 *)scratch_alloc(T_INT, total), n = 0;
        if (total > 0 && !positions) return VEK_WS_FULL;
        each_position(ax, L.n, [&](i64 p) { positions[n++] = p; });
        return assign_list_items(slot, b, positions, total);
    }
    if (make_data_private(&value_slot_table[slot]) || widen(slot, type)) return (int)error_number;
    void *dst = value_data(&value_slot_table[slot]);
    bool one = b.count == 1;
    if (straight) {
        const i64 *ix = L.ix[0];
        for (i64 k = 0; k < total; k++) put_item(dst, type, ix[k] - io, b, one ? 0 : k);
    } else {
        i64 k = 0;
        each_position(ax, L.n, [&](i64 p) { put_item(dst, type, p, b, one ? 0 : k++); });
    }
    return 0;
}

// ---- Single items -----------------------------------------------------------------------
// One item of a simple vector picked or replaced by one index item held
// inline (the body of most loops over a vector): no views, lists or
// result allocation. Anything else, and every error, takes the handlers
// above.

static bool single_position(const ValueDescriptor *a, const ValueDescriptor *i, i64 io_slot, i64 *p) {
    if (a->rank != 1 || !is_simple_type(a->type) || a->type == T_COMPLEX) return false;
    if (!is_inline_value(i) || (i->type != T_BOOL && i->type != T_INT)) return false;
    i64 io;
    if (index_origin_in(io_slot, &io)) return false;
    if (outside(i->dim0, io, a->count)) return false;
    *p = i->dim0 - io;
    return true;
}

static bool single_index(const ValueDescriptor *a, const ValueDescriptor *i, i64 io_slot, ValueDescriptor *z) {
    i64 p;
    if (!single_position(a, i, io_slot, &p)) return false;
    const void *items = value_data(const_cast<ValueDescriptor *>(a));
    i64 item = 0;
    if (a->type == T_CHAR) item = ((const unsigned char *)items)[p];
    else memcpy(&item, (const i64 *)items + p, sizeof item);
    // the result has the index's shape
    *z = {a->type, i->rank, item, 0, 0, 1, 0, &z->dim0};
    return a->type != T_FLOAT || !demote_descriptor(z);
}

static bool single_indexed_assign(i64 slot, const ValueDescriptor *i, const ValueDescriptor *b, i64 io_slot) {
    if (slot < 0 || slot >= SLOT_COUNT || slot == SLOT_IO || slot == SLOT_RL || slot == SLOT_PP) return false;
    ValueDescriptor *a = &value_slot_table[slot];
    if (!is_inline_value(b) || assigned_type(a->type, b->type) != a->type) return false;
    i64 p;
    if (!single_position(a, i, io_slot, &p) || adjust_refcount(a, 0) > 1) return false;
    void *items = value_data(a);
    if (a->type == T_CHAR) ((char *)items)[p] = (char)b->dim0;
    else if (a->type == T_FLOAT) {
        double x;
        memcpy(&x, &b->dim0, sizeof x);
        ((double *)items)[p] = b->type == T_FLOAT ? x : (double)b->dim0;
    } else ((i64 *)items)[p] = b->dim0;
    return true;
}

// Dyadic code 1 through the dispatch table: A (left) indexed by one list.
static int prim_index(i64, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    return index_value(result_slot, lc, lv, rc, rv, nullptr, nullptr, 0, current_io_slot);
}

void register_index_primitives() {
    register_primitive(P_INDEX, 2, prim_index);
    register_bracket_index(index_value);
    register_indexed_assign(assign_indexed);
    register_single_index(single_index);
    register_single_indexed_assign(single_indexed_assign);
}
