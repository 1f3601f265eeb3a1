// Distinct (=), group (>.), partition lengths (|| monadic) and cut (||).
//
// Ledger
// - distinct: the items of a vector of a simple type in order of first
//   appearance. Equal: the same word (booleans, integers, symbols, the
//   integer time types), == on doubles (floats, datetimes: -0.0 and 0.0 are
//   one item, every NaN is kept), both parts == (complex), the same code
//   (chars). Refuses: general lists, enumerations, keyed values (1); rank 2
//   or more (2).
// - group: for a vector of booleans, integers, floats, chars or symbols, a
//   general list with one integer vector per distinct item (equal as for
//   distinct), in order of first appearance, holding its positions from
//   []IO in ascending order. Refuses: []IO (24); complex and every type
//   above symbol (1); rank 2 or more (2).
// - partition lengths: the lengths of the partitions that start at each 1
//   of a boolean vector and run to the next 1 or the end (where finds the
//   1s and refuses what it refuses). Refuses: []IO (24).
// - cut: the major cells of the right operand in pieces of the given
//   lengths (one length repeats to the end). Refuses: lengths that are not
//   booleans or integers, or negative (1); lengths of rank 2 or more (2);
//   a right operand of a type above time (1).
// - Fast paths: distinct and group find each item's first occurrence
//   through a direct table over a small span of integer keys, a 256-entry
//   table for chars, or a hash table; group then places every position
//   straight into its group's vector. Cut copies each piece as one block of
//   items.
#include "primitives/prim.h"
#include "primitives/hashing.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/valueops.h"
#include <algorithm>

static bool is_int_class(i64 t) { return t == T_BOOL || t == T_INT; }
static bool is_float_class(i64 t) { return t == T_FLOAT || t == T_DATETIME; }

// ---- First occurrences ----------------------------------------------------------------------

// Numbers the classes of equal items in order of first appearance:
// firsts[c] is the first item of class c and, when wanted, cls[i] the
// class of item i.
struct Classes {
    Work<i64> cls, firsts;
    bool each = false;              // keep cls
    i64 count = 0;
    i64 assign(i64 i, i64 c) {      // c: the class found, or -1 for a new one
        if (c < 0) {
            c = count++;
            firsts[c] = i;
        }
        if (each) cls[i] = c;
        return c;
    }
};

static int classify_words(const i64 *p, i64 n, Classes *k) {
    KeySpan s = key_span(p, n);
    if (s.fits(direct_span_limit(n, 4))) {
        Work<i64> at;
        if (at.take((i64)s.span)) return VEK_WS_FULL;
        std::fill(at.p, at.p + s.span, -1);
        for (i64 i = 0; i < n; i++) {
            i64 &c = at[s.at(p[i])];
            c = k->assign(i, c);
        }
        return 0;
    }
    WordTable t;
    if (t.init(n)) return VEK_WS_FULL;
    for (i64 i = 0; i < n; i++) {
        WordTable::Slot *slot = t.probe((u64)p[i]);
        i64 c = k->assign(i, slot->value);
        slot->key = (u64)p[i];
        slot->value = c;
    }
    return 0;
}

static int classify_floats(const double *p, i64 n, Classes *k) {
    WordTable t;
    if (t.init(n)) return VEK_WS_FULL;
    for (i64 i = 0; i < n; i++) {
        if (std::isnan(p[i])) {       // equal to nothing, itself included
            k->assign(i, -1);
            continue;
        }
        WordTable::Slot *slot = t.probe(float_word(p[i]));
        i64 c = k->assign(i, slot->value);
        slot->key = float_word(p[i]);
        slot->value = c;
    }
    return 0;
}

// The class whose first item is `first` (firsts ascends with the class).
static i64 class_of_first(const Classes *k, i64 first) {
    return std::lower_bound(k->firsts.p, k->firsts.p + k->count, first) - k->firsts.p;
}

static int classify_pairs(const double *p, i64 n, Classes *k) {
    PositionTable t;
    if (t.init(n)) return VEK_WS_FULL;
    for (i64 i = 0; i < n; i++) {
        const double *a = p + 2 * i;
        if (std::isnan(a[0]) || std::isnan(a[1])) {
            k->assign(i, -1);
            continue;
        }
        // the table holds the first item of each class and, beside it, the class
        i64 first = t.insert(pair_word(a), i, [&](i64 j) { return p[2 * j] == a[0] && p[2 * j + 1] == a[1]; });
        if (first == i) k->assign(i, -1);
        else k->assign(i, class_of_first(k, first));
    }
    return 0;
}

static int classify_chars(const char *p, i64 n, Classes *k) {
    i64 at[256];
    std::fill(at, at + 256, -1);
    for (i64 i = 0; i < n; i++) {
        i64 &c = at[(unsigned char)p[i]];
        c = k->assign(i, c);
    }
    return 0;
}

static int classify(const Operand &y, Classes *k, bool each) {
    i64 n = y.count;
    k->each = each;
    if ((each && k->cls.take(n)) || k->firsts.take(n)) return VEK_WS_FULL;
    if (y.type == T_CHAR) return classify_chars(y.chars(), n, k);
    if (y.type == T_COMPLEX) return classify_pairs(y.pairs(), n, k);
    if (is_float_class(y.type)) return classify_floats(y.floats(), n, k);
    return classify_words(y.ints(), n, k);
}

// ---- Lists of results -----------------------------------------------------------------------

// Item k of a list result, given `type`, rank 1 and n items; the data it
// returns stays put while the other items are allocated (a heap result's
// items are large blocks, a stack result's lie above it).
static void *new_vector_item(const Result &z, i64 k, i64 type, i64 n) {
    ValueDescriptor *item = &((ValueDescriptor *)value_data(z.desc()))[k];
    memset(item, 0, sizeof *item);
    item->type = type;
    item->rank = 1;
    item->count = item->dim0 = n;
    if (alloc_descriptor_data(item, is_heap_slot(z.slot))) return nullptr;
    return value_data(item);
}

// ---- Distinct ---------------------------------------------------------------------------------

static int prim_distinct(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (y.type > T_TIME || y.type == T_LIST) return fail(VEK_DOMAIN);
    if (y.rank > 1) return fail(VEK_RANK);
    Classes k;
    if (classify(y, &k, false)) return fail(VEK_WS_FULL);
    Result z;
    if (begin_vector(&z, result_slot, y.type, k.count, &y, nullptr, true)) return (int)error_number;
    for (i64 c = 0; c < k.count; c++) {
        i64 i = k.firsts[c];
        if (y.type == T_CHAR) z.chars()[c] = y.chars()[i];
        else if (y.type == T_COMPLEX) memcpy(z.floats() + 2 * c, y.pairs() + 2 * i, 16);
        else z.ints()[c] = y.ints()[i];
    }
    return 0;
}

// ---- Group ------------------------------------------------------------------------------------

static int group_single(i64 result_slot, i64 n, i64 origin) {
    Result z;
    if (begin_vector(&z, result_slot, T_LIST, 1)) return (int)error_number;
    ValueDescriptor *item = z.items();
    memset(item, 0, sizeof *item);
    item->type = T_INT;
    if (n == 0) item->rank = 1;         // an empty integer vector
    else {
        item->rank = 0;                 // the origin as a scalar
        item->count = 1;
        item->dim0 = origin;
    }
    fix_inline_pointer(item);
    return 0;
}

static int prim_group(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    i64 origin;
    if (index_origin(&origin)) return VEK_IO;
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (y.type > T_SYMBOL || y.type == T_COMPLEX) return fail(VEK_DOMAIN);
    if (y.rank > 1) return fail(VEK_RANK);
    i64 n = y.count;
    if (n <= 1) return group_single(result_slot, n, origin);
    Classes k;
    if (classify(y, &k, true)) return fail(VEK_WS_FULL);
    Work<i64> sizes;
    Work<i64 *> next;
    if (sizes.take(k.count) || next.take(k.count)) return fail(VEK_WS_FULL);
    std::fill(sizes.p, sizes.p + k.count, 0);
    for (i64 i = 0; i < n; i++) sizes[k.cls[i]]++;
    Result z;
    if (begin_vector(&z, result_slot, T_LIST, k.count, &y)) return (int)error_number;
    for (i64 c = 0; c < k.count; c++)
        if (!(next[c] = (i64 *)new_vector_item(z, c, T_INT, sizes[c]))) return (int)error_number;
    for (i64 i = 0; i < n; i++) *next[k.cls[i]]++ = origin + i;
    return 0;
}

// ---- Partition lengths -----------------------------------------------------------------------

static int prim_partition(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    i64 origin, n;
    if (index_origin(&origin)) return VEK_IO;
    {
        Operand y;
        if (read_operand(&y, rc, rv)) return VEK_VALUE;
        n = y.count;
    }
    if (int e = dispatch_primitive(P_WHERE, result_slot, -1, -1, rc, rv)) return fail(e);
    ValueDescriptor *d = &value_slot_table[result_slot];
    if (make_data_private(d)) return (int)error_number;
    i64 *p = (i64 *)value_data(d), k = d->count;
    for (i64 i = 0; i + 1 < k; i++) p[i] = p[i + 1] - p[i];
    if (k > 0) p[k - 1] = origin + n - p[k - 1];
    return 0;
}

// ---- Cut -----------------------------------------------------------------------------------------

static i64 item_bytes(i64 type) { return type == T_CHAR ? 1 : type == T_COMPLEX ? 16 : 8; }

// Piece k: `take` major cells from cell `start` of y, each of `cell` items;
// one_cell gives the cell without its first axis.
static int cut_piece(const Result &z, i64 k, const Operand &y, i64 start, i64 take, i64 cell, bool one_cell) {
    int heap = is_heap_slot(z.slot);
    ValueDescriptor *item = &((ValueDescriptor *)value_data(z.desc()))[k];
    memset(item, 0, sizeof *item);
    item->type = y.type;
    Shape s;
    shape_of(&s, &y);
    if (s.rank == 0) s.rank = 1;
    if (one_cell) {
        s.rank--;
        for (i64 a = 0; a < s.rank; a++) s.dims[a] = s.dims[a + 1];
    } else s.dims[0] = take;
    item->rank = s.rank;
    item->count = take * cell;
    item->dim0 = s.rank >= 1 ? s.dims[0] : 0;
    if (s.rank == 1) item->dim0 = item->count;
    if (s.rank == 2) item->dim1 = s.dims[1];
    if (s.rank > 2 && shape_pool_append(s.dims + 1, s.rank - 1, &item->dim1)) return VEK_GLIST_FULL;
    if (alloc_descriptor_data(item, heap)) return (int)error_number;
    item = &((ValueDescriptor *)value_data(z.desc()))[k];
    if (y.type != T_LIST) {
        if (item->count > 0)
            memcpy(value_data(item), y.chars() + start * cell * item_bytes(y.type), item->count * item_bytes(y.type));
        return 0;
    }
    for (i64 j = 0; j < item->count; j++) {
        ValueDescriptor *to = &((ValueDescriptor *)item->data)[j];
        if (copy_value_checked(to, &y.items()[start * cell + j], heap)) return (int)error_number;
        item = &((ValueDescriptor *)value_data(z.desc()))[k];
    }
    return 0;
}

static int empty_piece(const Result &z, i64 k) {
    ValueDescriptor *item = &((ValueDescriptor *)value_data(z.desc()))[k];
    memset(item, 0, sizeof *item);
    item->type = T_INT;
    item->rank = 1;
    return 0;
}

static int prim_cut(i64, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    if (!is_int_class(x.type) || y.type > T_TIME) return fail(VEK_DOMAIN);
    if (x.rank > 1) return fail(VEK_RANK);
    for (i64 i = 0; i < x.count; i++)
        if (x.ints()[i] < 0) return fail(VEK_DOMAIN);
    Shape s;
    shape_of(&s, &y);
    i64 cells = y.rank >= 2 ? s.dims[0] : y.count, cell = 1;
    if (y.rank >= 2 && checked_count(s.dims + 1, s.rank - 1, &cell)) return VEK_WS_FULL;
    // One length repeats to the end; pieces counts the pieces.
    i64 pieces = x.count, each = x.single ? x.ints()[0] : 0;
    if (x.single) {
        if (each == 0 || cells == 0) pieces = 0;
        else if (each >= cells) {
            Result z;
            if (begin_vector(&z, result_slot, T_LIST, 1, &x, &y)) return (int)error_number;
            return copy_value_checked(z.items(), y.desc(), is_heap_slot(result_slot)) ? (int)error_number : 0;
        } else pieces = (cells + each - 1) / each;
    }
    Result z;
    if (begin_vector(&z, result_slot, T_LIST, pieces, &x, &y)) return (int)error_number;
    for (i64 k = 0, start = 0; k < pieces; k++) {
        i64 length = x.single ? each : x.ints()[k];
        i64 take = std::min(length, std::max<i64>(cells - start, 0));
        int e = take == 0 ? empty_piece(z, k) : cut_piece(z, k, y, start, take, cell, length == 1 && y.rank >= 2);
        if (e) return e;
        start = length > cells - start ? cells : start + length;
    }
    return 0;
}

void register_group_primitives() {
    register_primitive(P_DISTINCT, 1, prim_distinct);
    register_primitive(P_GROUP, 1, prim_group);
    register_primitive(P_PARTITION, 1, prim_partition);
    register_primitive(P_CUT, 2, prim_cut);
}
