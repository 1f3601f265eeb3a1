// The monadic structural primitives: shape, interval, reverse (along the
// last, the first or a given axis), enclose, type code, count, first, raze
// and where.
//
// Ledger
// - shape (# y): the dimensions as an integer vector (empty for a scalar);
//   a table, dictionary, keyed table or enumeration gives its row, key or
//   item count as a one-item vector.
// - interval (! n): origin, origin+1, ... origin+n-1 as integers.
//   Fast path: written straight into a block that is not zeroed first.
//   Refuses: anything but one non-negative boolean or integer (1); a count
//   whose storage cannot be sized (6); a bad []IO (24).
// - reverse ($ y, $. y, $[k] y): the items along the last, the first or the
//   given axis in reverse order; a vector or a single item along any axis.
//   Fast path: runs of the axes after the reversed one move as one block;
//   single items by a typed loop.
//   Refuses: dictionaries, tables, keyed tables, enumerations (1); an axis
//   beyond the rank (30).
// - enclose (<. y): a one-item general list holding a copy of y.
// - type code (: y): the type number as stored.
// - count (^ y): the number of items (columns of a table, keys of a
//   dictionary, key and value columns of a keyed table).
//   Refuses: a type-91 value of another form (1).
// - first (^. y): the first item as a scalar (a list's first item as it
//   is); an empty integer vector when there is none.
//   Refuses: dictionaries, tables, keyed tables, enumerations (1).
// - raze (,. y): the leaves of a general list at any depth, in order, as
//   one vector; integer and boolean leaves become floats beside floats.
//   Other values come back as they are.
//   Refuses: leaves of unlike kinds, numbers beside anything else, leaves
//   that are dictionaries, tables, keyed tables or enumerations (1).
// - where (? y): origin + i for each i at which y holds 1, ascending.
//   Fast path: booleans are counted and written without a branch.
//   Refuses: rank above 1, types other than boolean, integer and float,
//   items other than 0 and 1 (1); a bad []IO (24).
#include "prim.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "core/keyed.h"
#include <cstring>
#include <vector>

// ---- Shape ---------------------------------------------------------------------------

// The one number the keyed values answer for their shape: rows of a table,
// keys of a dictionary, rows of a keyed table's key table, items of an
// enumeration.
static i64 keyed_extent(const Operand &y) {
    if (y.type == T_ENUM || !y.items()) return y.count;
    return keyed_row_count(y.desc());
}

static int prim_shape(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (y.type >= T_ENUM) {
        i64 n = keyed_extent(y);
        Result z;
        if (begin_vector(&z, result_slot, T_INT, 1, &y)) return (int)error_number;
        z.ints()[0] = n;
        return 0;
    }
    Shape s;
    shape_of(&s, &y);
    Result z;
    if (begin_vector(&z, result_slot, T_INT, s.rank, &y, nullptr, true)) return (int)error_number;
    for (i64 k = 0; k < s.rank; k++) z.ints()[k] = s.dims[k];
    return 0;
}

// ---- Interval --------------------------------------------------------------------------

static int prim_interval(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    i64 io;
    if (index_origin(&io)) return VEK_IO;
    if (!y.single || !y.is_int_class() || y.int_at(0) < 0) return fail(VEK_DOMAIN);
    i64 n = y.int_at(0);
    if (data_bytes(T_INT, n) < 0) return fail(VEK_WS_FULL);
    Result z;
    if (begin_vector(&z, result_slot, T_INT, n, &y, nullptr, true)) return (int)error_number;
    i64 *out = z.ints();
    for (i64 k = 0; k < n; k++) out[k] = io + k;
    return 0;
}

// ---- Reverse --------------------------------------------------------------------------

static bool is_keyed(i64 t) { return t == T_ENUM || t == T_DICT || t == T_TABLE; }

static i64 item_bytes(i64 type) { return type == T_CHAR ? 1 : type == T_COMPLEX ? 16 : 8; }

// A copy of item p of the general list o, read by value (the list may move
// while the copy allocates).
static int copy_item_of(ValueDescriptor *out, const Operand &o, i64 p, int heap) {
    ValueDescriptor item = o.items()[p];
    fix_inline_pointer(&item);
    return copy_value_checked(out, &item, heap);
}

// Stores a copy made for list result z as its item k.
static void store_item(const Result &z, i64 k, const ValueDescriptor &item) {
    ValueDescriptor *at = &((ValueDescriptor *)value_data(z.desc()))[k];
    *at = item;
    fix_inline_pointer(at);
    adopt_block(at);
}

// The axis a reverse code turns: the last, the first, or the one in brackets.
static i64 reversed_axis(i64 code, i64 rank) {
    if (code == P_REVERSE) return rank - 1;
    if (code == P_REVERSE_FIRST) return 0;
    return reverse_axis_of(code);
}

template <class T>
static void reverse_items(T *out, const T *in, i64 outer, i64 n) {
    for (i64 o = 0; o < outer; o++, out += n, in += n)
        for (i64 j = 0; j < n; j++) out[j] = in[n - 1 - j];
}

struct ComplexItem { double re, im; };

static void reverse_runs_of_one(void *out, const void *in, i64 width, i64 outer, i64 n) {
    if (width == 1) reverse_items((char *)out, (const char *)in, outer, n);
    else if (width == 16) reverse_items((ComplexItem *)out, (const ComplexItem *)in, outer, n);
    else reverse_items((i64 *)out, (const i64 *)in, outer, n);
}

static int prim_reverse(i64 code, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (is_keyed(y.type) || (!is_simple_type(y.type) && y.type != T_LIST)) return fail(VEK_DOMAIN);
    Shape s;
    shape_of(&s, &y);
    // blocks of `inner` items, `n` of them along the axis, `outer` times
    i64 outer = 1, n = y.count, inner = 1;
    if (y.rank >= 2) {
        i64 axis = reversed_axis(code, y.rank);
        if (axis < 0 || axis >= y.rank) return fail(VEK_AXIS);
        n = s.dims[axis];
        for (i64 k = 0; k < axis; k++) outer *= s.dims[k];
        for (i64 k = axis + 1; k < y.rank; k++) inner *= s.dims[k];
    }
    bool list = y.type == T_LIST;
    Result z;
    if (begin_result(&z, result_slot, y.type, s, &y, nullptr, !list)) return (int)error_number;
    if (n == 0 || inner == 0) return 0;
    i64 width = item_bytes(y.type);
    if (!list && inner == 1) {   // runs of one item: a typed loop, not a copy call per item
        reverse_runs_of_one(z.data, y.data, width, outer, n);
        return 0;
    }
    int heap = is_heap_slot(result_slot);
    for (i64 o = 0; o < outer; o++)
        for (i64 j = 0; j < n; j++) {
            i64 from = (o * n + n - 1 - j) * inner, to = (o * n + j) * inner;
            if (!list) {
                memcpy(z.chars() + to * width, (const char *)y.data + from * width, (size_t)(inner * width));
                continue;
            }
            for (i64 k = 0; k < inner; k++) {
                ValueDescriptor item;
                if (copy_item_of(&item, y, from + k, heap)) return (int)error_number;
                store_item(z, to + k, item);
            }
        }
    return 0;
}

// ---- Enclose, type code, count, first --------------------------------------------------------

static int prim_enclose(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    ValueDescriptor copy;
    if (copy_as_item(&copy, y.desc(), is_heap_slot(result_slot))) return (int)error_number;
    Result z;
    if (begin_vector(&z, result_slot, T_LIST, 1, &y)) {
        release_stack_value(&copy);
        return (int)error_number;
    }
    store_item(z, 0, copy);
    return 0;
}

static int prim_type_code(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    return result_int(result_slot, T_INT, y.type);
}

// Columns of a table held in a pair: the count of its column names.
static i64 column_count(const ValueDescriptor *table) {
    const ValueDescriptor *pair = (const ValueDescriptor *)table->data;
    return pair ? pair[0].count : 0;
}

static int prim_count(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    i64 n = y.count;
    const ValueDescriptor *pair = y.items();
    if (y.type == T_TABLE) n = column_count(y.desc());
    else if (y.type == T_DICT && y.desc()->spare == 1) n = pair ? pair[0].count : 0;
    else if (y.type == T_DICT && y.desc()->spare == 2) n = pair ? column_count(&pair[0]) + column_count(&pair[1]) : 0;
    else if (y.type == T_DICT) return fail(VEK_DOMAIN);
    if (n < 0) return fail(VEK_DOMAIN);
    return result_int(result_slot, T_INT, n);
}

static int prim_first(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (y.type > T_TIME) return fail(VEK_DOMAIN);
    Result z;
    if (y.count <= 0) return begin_vector(&z, result_slot, T_INT, 0);
    if (y.type == T_LIST) {
        ValueDescriptor item = y.items()[0];
        fix_inline_pointer(&item);
        return assign_to_slot(result_slot, &item);
    }
    Shape scalar;
    if (begin_result(&z, result_slot, y.type, scalar, &y)) return (int)error_number;
    memcpy(z.data, y.data, (size_t)item_bytes(y.type));
    return 0;
}

// ---- Raze ---------------------------------------------------------------------------------

// Walks the leaves of a general list depth first, without recursion (lists
// may nest deeper than the process stack). visit(leaf) returns non-zero to
// stop; an undefined item is a value error.
template <class Visit>
static int each_leaf(const ValueDescriptor *list, Visit visit) {
    struct Level { const ValueDescriptor *items; i64 n, next; };
    std::vector<Level> path{{(const ValueDescriptor *)list->data, list->count, 0}};
    while (!path.empty()) {
        Level &top = path.back();
        if (top.next >= top.n) {
            path.pop_back();
            continue;
        }
        const ValueDescriptor *item = &top.items[top.next++];
        if (item->rank < 0) return fail(VEK_VALUE);
        if (item->type == T_LIST) {
            if (item->count > 0) path.push_back({(const ValueDescriptor *)item->data, item->count, 0});
            continue;
        }
        if (int e = visit(item)) return e;
    }
    return 0;
}

// The common type of the leaves (-1 when there are none) and their count.
static int raze_common_type(const ValueDescriptor *list, i64 *type, i64 *total) {
    *type = -1;
    *total = 0;
    return each_leaf(list, [&](const ValueDescriptor *leaf) {
        i64 t = leaf->type, c = *type;
        if (!is_simple_type(t)) return fail(VEK_DOMAIN);
        if (c >= 0 && ((t > T_FLOAT && t != c) || (t <= T_FLOAT && c > T_FLOAT))) return fail(VEK_DOMAIN);
        if (t > c) *type = t;
        *total += leaf->count;
        return 0;
    });
}

static void raze_copy_items(const ValueDescriptor *list, const Result &z) {
    i64 at = 0, width = item_bytes(z.type);
    each_leaf(list, [&](const ValueDescriptor *leaf) {
        ValueDescriptor l = *leaf;
        const void *src = value_data(&l);
        if (z.type == T_FLOAT && leaf->type != T_FLOAT)
            for (i64 k = 0; k < l.count; k++) z.floats()[at + k] = (double)((const i64 *)src)[k];
        else if (l.count > 0)
            memcpy(z.chars() + at * width, src, (size_t)(l.count * width));
        at += l.count;
        return 0;
    });
}

static int prim_raze(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (y.type != T_LIST) return result_copy(result_slot, &y);
    i64 type, total;
    if (raze_common_type(y.desc(), &type, &total)) return (int)error_number;
    Result z;
    if (total == 0) return begin_vector(&z, result_slot, T_INT, 0);
    if (begin_vector(&z, result_slot, type, total, &y, nullptr, true)) return (int)error_number;
    raze_copy_items(y.desc(), z);
    return 0;
}

// ---- Where ---------------------------------------------------------------------------------

// The number of 1s, or -1 when an item is neither 0 nor 1 (floats by value).
static i64 count_ones(const Operand &y) {
    i64 n = y.count, ones = 0;
    if (y.type == T_FLOAT) {
        for (i64 i = 0; i < n; i++) {
            double x = y.floats()[i];
            if (x != 0.0 && x != 1.0) return -1;
            ones += x == 1.0;
        }
        return ones;
    }
    const i64 *w = y.ints();
    uint64_t stray = 0;
    for (i64 i = 0; i < n; i++) {
        stray |= (uint64_t)w[i] >> 1;
        ones += w[i] & 1;
    }
    return stray ? -1 : ones;
}

// A large boolean or integer operand is read once: the positions go into a
// block with room for all of them (the pages past the last one written are
// never touched) and the result is then cut to the number found.
enum : i64 { WHERE_ONE_PASS = 1 << 16 };

static int where_one_pass(i64 result_slot, Operand &y, i64 io) {
    Result z;
    if (begin_vector(&z, result_slot, T_INT, y.count, &y, nullptr, true)) return (int)error_number;
    const i64 *w = y.ints();
    i64 *out = z.ints(), j = 0;
    uint64_t stray = 0;
    for (i64 i = 0; i < y.count; i++) {
        out[j] = io + i;
        stray |= (uint64_t)w[i] >> 1;
        j += w[i] & 1;
    }
    if (stray) return fail(VEK_DOMAIN);
    if (j <= 1) {
        i64 only = out[0];
        if (begin_vector(&z, result_slot, T_INT, j, &y)) return (int)error_number;
        if (j) z.ints()[0] = only;
        return 0;
    }
    ValueDescriptor *d = z.desc();
    d->count = d->dim0 = j;
    return 0;
}

static int prim_where(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    i64 io;
    if (index_origin(&io)) return VEK_IO;
    if (y.rank > 1 || !y.is_real()) return fail(VEK_DOMAIN);
    if (y.type != T_FLOAT && y.count >= WHERE_ONE_PASS) return where_one_pass(result_slot, y, io);
    i64 ones = count_ones(y);
    if (ones < 0) return fail(VEK_DOMAIN);
    Result z;
    if (begin_vector(&z, result_slot, T_INT, ones, &y, nullptr, true)) return (int)error_number;
    i64 *out = z.ints(), j = 0;
    for (i64 i = 0; j < ones; i++) {
        out[j] = io + i;
        j += y.type == T_FLOAT ? y.floats()[i] == 1.0 : y.ints()[i];
    }
    return 0;
}

void register_shape_primitives() {
    register_primitive(P_SHAPE, 1, prim_shape);
    register_primitive(P_INTERVAL, 1, prim_interval);
    register_primitive(P_REVERSE, 1, prim_reverse);
    register_primitive(P_REVERSE_FIRST, 1, prim_reverse);
    register_primitive_range(P_REVERSE_AXIS, P_REVERSE_AXIS_LAST, 1, prim_reverse);
    register_primitive(P_ENCLOSE, 1, prim_enclose);
    register_primitive(P_TYPE, 1, prim_type_code);
    register_primitive(P_COUNT, 1, prim_count);
    register_primitive(P_FIRST, 1, prim_first);
    register_primitive(P_RAZE, 1, prim_raze);
    register_primitive(P_WHERE, 1, prim_where);
}
