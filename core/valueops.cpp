// Value operations: deep copy and assignment (arena blocks are copied, large
// simple blocks shared by reference count), shapes, element access,
// demotion, match, type letters and null tests.
#include "errors.h"
#include "valueops.h"
#include "arena.h"
#include "tables.h"
#include "keyed.h"
#include "text_lists.h"
#include "storage.h"
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <unordered_map>


ValueDescriptor *operand_ref(i64 c, i64 v) {
    if (c >= 0) return (c < CONSTANT_CAP) ? &constants_table[c] : nullptr;
    if (v < 0 || v >= SLOT_COUNT) return nullptr;
    return &value_slot_table[v];
}

static bool is_pair_type(i64 t) { return t == T_DICT || t == T_TABLE; }
static bool holds_descriptors(i64 t) { return t == T_LIST || is_pair_type(t); }

void fix_inline_pointer(ValueDescriptor *d) {
    if (is_inline_value(d)) d->data = &d->dim0;
    else if (d->count <= 0 && !is_pair_type(d->type)) d->data = nullptr;
}

// ---- Shape pool -----------------------------------------------------------------
// Dimension lists are interned: every copy of a value of rank 3 or more, and
// every result of one shape, shares one stored list, so a loop over such
// values does not fill the pool. The map only remembers where a list was
// stored; a hit is taken only while the words there, below nxtglx, still
// are that list.

static std::unordered_map<uint64_t, i64> interned_lists;

static uint64_t hash_words(const i64 *words, i64 n) {
    uint64_t h = 1469598103934665603ULL ^ (uint64_t)n;
    for (i64 k = 0; k < n; k++) {
        h ^= (uint64_t)words[k];
        h *= 1099511628211ULL;
        h ^= h >> 29;
    }
    return h;
}

static bool stored_list_is(i64 s, const i64 *words, i64 n) {
    if (s < 0 || s + n > nxtglx || shape_pool[s + n] != -1) return false;
    return n == 0 || memcmp(&shape_pool[s], words, (size_t)n * sizeof(i64)) == 0;
}

int shape_pool_append(const i64 *words, i64 n, i64 *start) {
    if (n < 0) return fail(VEK_GLIST_FULL);
    uint64_t h = hash_words(words, n);
    auto at = interned_lists.find(h);
    if (at != interned_lists.end() && stored_list_is(at->second, words, n)) {
        *start = at->second;
        return 0;
    }
    if (nxtglx + 1 + n + 1 > SHAPE_POOL_CAP) return fail(VEK_GLIST_FULL);
    i64 s = nxtglx + 1;
    for (i64 k = 0; k < n; k++) shape_pool[s + k] = words[k];
    shape_pool[s + n] = -1;
    nxtglx = s + n;
    *start = s;
    interned_lists[h] = s;
    return 0;
}

void shape_pool_truncate(i64 last) {
    nxtglx = last;
    for (auto at = interned_lists.begin(); at != interned_lists.end();)
        at = at->second > last ? interned_lists.erase(at) : std::next(at);
}

i64 value_dimension(const ValueDescriptor *d, i64 k) {
    if (d->rank <= 1) return d->count;
    if (k == 0) return d->dim0;
    if (d->rank == 2) return d->dim1;
    if (d->dim1 < 0 || d->dim1 + k - 1 >= SHAPE_POOL_CAP) return 0;
    return shape_pool[d->dim1 + k - 1];
}

int copy_shape(ValueDescriptor *target, const ValueDescriptor *source) {
    target->rank = source->rank;
    target->count = source->count;
    if (source->rank == 1) {
        // a dictionary keeps its form and a table's column list its row
        // count in word 2: those are copied as they stand
        target->dim0 = holds_descriptors(source->type) ? source->dim0 : source->count;
        target->dim1 = 0;
    }
    else if (source->rank == 2) { target->dim0 = source->dim0; target->dim1 = source->dim1; }
    else if (source->rank > 2) {
        i64 words[64];
        i64 n = source->rank - 1;
        if (n > 64) return fail(VEK_GLIST_FULL);
        for (i64 k = 0; k < n; k++) words[k] = value_dimension(source, k + 1);
        i64 start;
        if (shape_pool_append(words, n, &start)) return error_number;
        target->dim0 = source->dim0;
        target->dim1 = start;
    } else { target->dim0 = 0; target->dim1 = 0; }
    return 0;
}

// ---- Storage ----------------------------------------------------------------------

static i64 storage_bytes(const ValueDescriptor *d) {
    if (is_pair_type(d->type)) return 2 * (i64)sizeof(ValueDescriptor);
    return data_bytes(d->type, d->count);
}

// Item data of a heap value goes to a large block, never to the arena: an
// arena block's owner must not live inside another movable block.
int alloc_descriptor_data(ValueDescriptor *d, int heap) {
    d->capacity = 0;
    if (!is_pair_type(d->type) && (d->count <= 0 || is_inline_value(d))) {
        fix_inline_pointer(d);
        return 0;
    }
    i64 size = storage_bytes(d);
    if (size <= 0) { d->data = nullptr; return 0; }
    void *p;
    // a large block comes zeroed, unless its maker writes it in full
    // (chunk_fully_written); items are zeroed whatever the maker says
    bool items = holds_descriptors(d->type);
    if (heap || size > LARGE_BLOCK_LIMIT) {
        p = new_chunk(size);
        if (!p) return fail(VEK_WS_FULL);
        if (items && chunk_fully_written) memset(p, 0, size);
    } else {
        if (stacktop + size >= r15) compact_heap();
        if (stacktop + size >= r15) {
            p = new_chunk(size);
            if (!p) return fail(VEK_WS_FULL);
            if (items && chunk_fully_written) memset(p, 0, size);
        } else {
            p = arena_base + stacktop;
            stacktop += (size + 7) & ~(i64)7;
            memset(p, 0, size);
        }
    }
    d->data = p;
    d->capacity = size;
    return 0;
}

void free_value(ValueDescriptor *d) {
    release_descriptor(d);
    d->rank = -1;
}

// ---- Copying ------------------------------------------------------------------------

// A large simple block (not in the arena) may be shared instead of copied,
// and so may a large list whose texts live in its own block (no item of
// it is in the arena).
static bool shareable(const ValueDescriptor *s) {
    if (holds_own_texts(s)) return s->capacity > LARGE_BLOCK_LIMIT;
    return !holds_descriptors(s->type) && s->capacity > LARGE_BLOCK_LIMIT &&
           s->data && !in_arena(s->data) && !is_inline_value(s);
}

// columns: the value is a table's column list, copied item by item (a
// column of characters is a text to any other list, not to this one).
static int copy_deep(ValueDescriptor *target, const ValueDescriptor *source, int heap, bool in_pair,
                     bool columns = false);

static int copy_items(ValueDescriptor *target, const ValueDescriptor *source, i64 n, int heap, bool in_pair) {
    ValueDescriptor *dst = (ValueDescriptor *)target->data;
    const ValueDescriptor *src = (const ValueDescriptor *)source->data;
    for (i64 k = 0; k < n; k++) {
        if (src[k].rank < 0) return fail(VEK_VALUE);
        bool columns = source->type == T_TABLE && k == 1;
        if (copy_deep(&dst[k], &src[k], heap, in_pair, columns)) return error_number;
    }
    return 0;
}

// A large item of a dictionary or table (a column) is shared by reference
// count; whoever writes into a column makes it private first.
static int share_item(ValueDescriptor *target, const ValueDescriptor *s) {
    *target = *s;
    if (s->rank > 2 && copy_shape(target, s)) return error_number;
    adjust_refcount(target, 1);
    return 0;
}

int copy_value_checked(ValueDescriptor *target, const ValueDescriptor *source, int heap) {
    return copy_deep(target, source, heap, false);
}

int copy_as_item(ValueDescriptor *target, const ValueDescriptor *source, int heap) {
    return copy_deep(target, source, heap, true);
}

int copy_value_shared(ValueDescriptor *target, const ValueDescriptor *source) {
    return copy_deep(target, source, 1, true);
}

// Everything inside a dictionary or table is kept in large blocks, so a
// temporary one is given up whole with its slot at the end of a statement.
static int copy_deep(ValueDescriptor *target, const ValueDescriptor *source, int heap, bool in_pair, bool columns) {
    if (!source || source->rank < 0) return fail(VEK_VALUE);
    ValueDescriptor s = *source;          // source may alias a block we allocate into
    fix_inline_pointer(&s);
    if (in_pair && !columns && shareable(&s)) return share_item(target, &s);
    if (is_pair_type(s.type)) { heap = 1; in_pair = true; }
    // a list of texts bound for a large block is copied into one, its
    // texts after its items
    if (s.type == T_LIST && s.rank == 1 && !columns && (heap || storage_bytes(&s) > LARGE_BLOCK_LIMIT)) {
        bool done;
        if (gather_texts(target, &s, nullptr, s.count, &done)) return error_number;
        if (done) {
            target->dim0 = s.dim0;
            target->spare = s.spare;
            return 0;
        }
    }
    memset(target, 0, sizeof *target);
    target->type = s.type;
    target->spare = s.spare;
    if (copy_shape(target, &s)) return error_number;
    target->count = s.count;
    if (is_inline_value(&s)) {
        target->dim0 = s.dim0;
        if (s.type == T_COMPLEX) target->dim1 = s.dim1;
        fix_inline_pointer(target);
        return 0;
    }
    bool was = chunk_fully_written;
    chunk_fully_written = was || !holds_descriptors(s.type);   // every byte is copied below
    int e = alloc_descriptor_data(target, heap);
    chunk_fully_written = was;
    if (e) return error_number;
    // the allocation may have compacted the heap: read the source afresh
    s.data = source->data;
    // the items of a list are items: their large blocks are shared
    if (s.type == T_LIST) return copy_items(target, &s, s.count, heap, true);
    if (is_pair_type(s.type)) return copy_items(target, &s, 2, heap, in_pair);
    i64 size = data_bytes(s.type, s.count);
    if (size > 0 && s.data) memcpy(target->data, s.data, size);
    return 0;
}

int assign_to_slot(i64 slot, const ValueDescriptor *source) {
    if (!source || source->rank < 0) return fail(VEK_VALUE);
    if (slot < 0 || slot >= SLOT_COUNT) return fail(VEK_DOMAIN);
    ValueDescriptor *t = &value_slot_table[slot];
    if (t == source) return 0;
    // what every path below ends with for an item held inline
    if (assign_inline_item(t, source)) return 0;
    ValueDescriptor s = *source;
    fix_inline_pointer(&s);
    int heap = is_heap_slot(slot);
    if (shareable(&s)) {
        ValueDescriptor nw = s;
        if (s.rank > 2 && copy_shape(&nw, &s)) return error_number;
        adjust_refcount(&s, 1);
        ValueDescriptor old = *t;
        *t = nw;
        free_value(&old);
        return 0;
    }
    if (holds_descriptors(s.type) || !heap) {
        ValueDescriptor nw;
        if (copy_value_checked(&nw, source, heap)) return error_number;
        ValueDescriptor old = *t;
        *t = nw;
        fix_inline_pointer(t);
        free_value(&old);
        return 0;
    }
    // A simple value into a heap slot: the slot's own block is reused when
    // it is big enough and not shared, else a fresh one is taken.
    if (holds_descriptors(t->type) || adjust_refcount(t, 0) > 1) free_value(t);
    ValueDescriptor shape;
    memset(&shape, 0, sizeof shape);
    if (copy_shape(&shape, &s)) return error_number;
    t->type = s.type;
    t->spare = s.spare;
    if (alloc_slot_value(slot, s.type, s.rank, s.count)) return error_number;
    t = &value_slot_table[slot];
    if (is_inline_value(t)) {
        t->dim0 = s.dim0;
        t->dim1 = s.type == T_COMPLEX ? s.dim1 : 0;
        fix_inline_pointer(t);
        return 0;
    }
    t->dim0 = shape.dim0;
    t->dim1 = shape.dim1;
    i64 size = data_bytes(s.type, s.count);
    const void *sd = source->data;   // re-read: the allocation may have compacted
    if (size > 0 && t->data && sd) memmove(t->data, sd, size);
    return 0;
}

int copy_value_to_slot(i64 slot, i64 c, i64 v) {
    ValueDescriptor *s = operand_ref(c, v);
    if (!s || s->rank < 0) return fail(VEK_VALUE);
    return assign_to_slot(slot, s);
}

int fetch_operand_value(ValueDescriptor *target, i64 c, i64 v, int heap) {
    if (c < 0 && v == 0) {
        memset(target, 0, sizeof *target);
        target->type = T_INT;
        target->rank = 1;
        return 0;
    }
    ValueDescriptor *s = operand_ref(c, v);
    if (!s || s->rank < 0) return fail(VEK_VALUE);
    return copy_as_item(target, s, heap);
}

void take_slot_descriptor(ValueDescriptor *target, i64 slot) {
    *target = value_slot_table[slot];
    fix_inline_pointer(target);
    adopt_block(target);
    memset(&value_slot_table[slot], 0, sizeof(ValueDescriptor));
    value_slot_table[slot].rank = -1;
}

void copy_element(ValueDescriptor *target, i64 i, const ValueDescriptor *source, i64 j) {
    const void *sd = is_inline_value(source) ? (const void *)&source->dim0 : source->data;
    void *td = is_inline_value(target) ? (void *)&target->dim0 : target->data;
    if (!sd || !td) return;
    switch (target->type) {
    case T_CHAR: ((char *)td)[i] = ((const char *)sd)[j]; break;
    case T_COMPLEX:
        ((double *)td)[2 * i] = ((const double *)sd)[2 * j];
        ((double *)td)[2 * i + 1] = ((const double *)sd)[2 * j + 1];
        break;
    case T_LIST: case T_DICT: case T_TABLE: break;
    default: ((i64 *)td)[i] = ((const i64 *)sd)[j]; break;
    }
}

int make_data_private(ValueDescriptor *d) {
    if (is_inline_value(d) || !d->data || d->capacity <= 0) return 0;
    if (in_arena(d->data) || adjust_refcount(d, 0) <= 1) return 0;
    ValueDescriptor fresh;
    if (copy_value_checked(&fresh, d, 1)) return error_number;
    adjust_refcount(d, -1);
    fresh.dim0 = d->dim0;
    fresh.dim1 = d->dim1;
    *d = fresh;
    fix_inline_pointer(d);
    return 0;
}

// A copy of a list whose items each get a deep copy in large blocks.
static int copy_items_apart(ValueDescriptor *dst, const ValueDescriptor *src) {
    ValueDescriptor made;
    memset(&made, 0, sizeof made);
    made.type = T_LIST;
    if (copy_shape(&made, src)) return (int)error_number;
    made.count = src->count;
    if (alloc_descriptor_data(&made, 1)) return (int)error_number;
    for (i64 i = 0; i < src->count; i++) {
        ValueDescriptor item = ((const ValueDescriptor *)src->data)[i];
        fix_inline_pointer(&item);
        if (copy_value_checked(&((ValueDescriptor *)made.data)[i], &item, 1)) {
            free_value(&made);
            return (int)error_number;
        }
    }
    *dst = made;
    return 0;
}

int open_list_for_writing(ValueDescriptor *list, bool texts_only) {
    if (list->type != T_LIST || list->rank < 0) return 0;
    bool own = holds_own_texts(list);
    if (adjust_refcount(list, 0) <= 1 && (!own || texts_only)) return 0;
    ValueDescriptor made;
    bool done = false;
    if (own && texts_only && gather_texts(&made, list, nullptr, list->count, &done)) return (int)error_number;
    if (!done && copy_items_apart(&made, list)) return (int)error_number;
    made.spare = list->spare;
    ValueDescriptor old = *list;
    *list = made;
    release_descriptor(&old);
    return 0;
}

int convert_descriptor_type(ValueDescriptor *d, i64 type) {
    if (type == T_FLOAT && (d->type == T_INT || d->type == T_BOOL)) {
        if (make_data_private(d)) return error_number;
        i64 *p = (i64 *)value_data(d);
        for (i64 k = 0; p && k < d->count; k++) {
            double x = (double)p[k];
            memcpy(&p[k], &x, sizeof x);
        }
    }
    d->type = type;
    return 0;
}

// ---- Element access ----------------------------------------------------------------

int fetch_element(ValueDescriptor *target, const ValueDescriptor *source, i64 i, int heap) {
    if (!source || source->rank < 0) return fail(VEK_VALUE);
    if (i < 0 || i >= (is_pair_type(source->type) ? 2 : source->count)) return fail(VEK_INDEX);
    if (source->type == T_LIST || is_pair_type(source->type)) {
        const ValueDescriptor *items = (const ValueDescriptor *)source->data;
        if (items[i].rank < 0) return fail(VEK_VALUE);
        return copy_value_checked(target, &items[i], heap);
    }
    if (source->type >= 8) return fail(VEK_DOMAIN);
    memset(target, 0, sizeof *target);
    target->type = source->type;
    target->rank = 0;
    target->count = 1;
    fix_inline_pointer(target);
    copy_element(target, 0, source, i);
    return 0;
}

void element_as_complex(double *result, const ValueDescriptor *source, i64 i) {
    const void *p = is_inline_value(source) ? (const void *)&source->dim0 : source->data;
    result[0] = result[1] = 0;
    if (!p) return;
    switch (source->type) {
    case T_BOOL: case T_INT: result[0] = (double)((const i64 *)p)[i]; break;
    case T_FLOAT: result[0] = ((const double *)p)[i]; break;
    case T_COMPLEX: result[0] = ((const double *)p)[2 * i]; result[1] = ((const double *)p)[2 * i + 1]; break;
    default: break;
    }
}

// ---- Demotion ----------------------------------------------------------------------

int demote_descriptor(ValueDescriptor *d) {
    if (d->rank < 0) return 0;
    if (d->type == T_COMPLEX) {
        const double *p = (const double *)value_data(d);
        for (i64 k = 0; k < d->count; k++)
            if (p[2 * k + 1] != 0.0) return 0;
        if (make_data_private(d)) return error_number;
        double *q = (double *)value_data(d);
        for (i64 k = 0; k < d->count; k++) q[k] = q[2 * k];
        d->type = T_FLOAT;
        if (is_inline_value(d)) d->dim1 = 0;
    }
    if (d->type != T_FLOAT) return 0;
    const double *p = (const double *)value_data(d);
    for (i64 k = 0; k < d->count; k++) {
        double x = p[k];
        if (std::isnan(x) || std::fabs(x) > 2147483647.0 || x != std::trunc(x)) return 0;
    }
    if (make_data_private(d)) return error_number;
    i64 *q = (i64 *)value_data(d);
    for (i64 k = 0; k < d->count; k++) {
        double x;
        memcpy(&x, &q[k], sizeof x);
        q[k] = (i64)x;
    }
    d->type = T_INT;
    return 0;
}

// Constants are never rewritten: a compiled line runs again with the same
// constants, so demotion applies to slots only.
int demote_float_to_int(i64 c, i64 v) {
    if (c >= 0) return 0;
    ValueDescriptor *d = operand_ref(c, v);
    if (!d) return fail(VEK_VALUE);
    return demote_descriptor(d);
}

// ---- Equality ---------------------------------------------------------------------------

bool floats_equal_tol(double a, double b) {
    // an infinity equals only itself: the relative test would find it
    // equal to every other large number and its own difference NaN
    if (a == b) return true;
    if (std::isinf(a) || std::isinf(b)) return false;
    double m = std::fmax(std::fabs(a), std::fabs(b));
    return std::fabs(a - b) <= 1e-13 * m;
}

bool values_match(const ValueDescriptor *a, const ValueDescriptor *b) {
    if (a->rank < 0 || b->rank < 0) return false;
    if (a->type != b->type || a->rank != b->rank || a->count != b->count) return false;
    for (i64 k = 0; k < a->rank; k++)
        if (value_dimension(a, k) != value_dimension(b, k)) return false;
    const void *pa = is_inline_value(a) ? (const void *)&a->dim0 : a->data;
    const void *pb = is_inline_value(b) ? (const void *)&b->dim0 : b->data;
    i64 n = a->count;
    switch (a->type) {
    case T_BOOL: case T_INT: case T_SYMBOL: case T_MONTH: case T_DATE:
    case T_MINUTE: case T_SECOND: case T_TIME:
        return n == 0 || memcmp(pa, pb, 8 * n) == 0;
    case T_FLOAT: case T_DATETIME:
        for (i64 k = 0; k < n; k++)
            if (!(((const double *)pa)[k] == ((const double *)pb)[k])) return false;
        return true;
    case T_CHAR: return n == 0 || memcmp(pa, pb, n) == 0;
    case T_COMPLEX:
        for (i64 k = 0; k < 2 * n; k++)
            if (!(((const double *)pa)[k] == ((const double *)pb)[k])) return false;
        return true;
    case T_LIST: case T_DICT: case T_TABLE: {
        i64 items = a->type == T_LIST ? n : 2;
        if (a->type != T_LIST && a->spare != b->spare) return false;
        if (a->type == T_TABLE && table_rows(a) != table_rows(b)) return false;
        for (i64 k = 0; k < items; k++)
            if (!values_match(&((const ValueDescriptor *)pa)[k], &((const ValueDescriptor *)pb)[k])) return false;
        return true;
    }
    case T_ENUM:
        // the same domain name and the same positions
        return enum_domain_name(a) == enum_domain_name(b) &&
               (n == 0 || memcmp(enum_positions(a), enum_positions(b), 8 * n) == 0);
    default: return false;
    }
}

// ---- Type predicates and letters ---------------------------------------------------------

bool is_time_type(i64 t) { return t >= 7 && t <= 12; }

static const char type_letters[] = "BIECQSLMDZUVT";

char type_letter(i64 t) {
    if (t < 0 || t > 12 || t == T_COMPLEX) return 'Q';
    return type_letters[t];
}

i64 type_from_letter(char letter) {
    if (letter == 'Q') return -1;
    for (i64 t = 0; t <= 12; t++)
        if (t != T_COMPLEX && type_letters[t] == letter) return t;
    return -1;
}

// ---- Helpers for primitives --------------------------------------------------------------

int compute_axis_strides(const ValueDescriptor *d, i64 *strides) {
    i64 r = d->rank < 1 ? 1 : d->rank;
    i64 s = 1;
    for (i64 k = r - 1; k >= 0; k--) {
        strides[k] = s;
        i64 n = value_dimension(d, k);
        if (n > 0 && s > INT64_MAX / n) return fail(VEK_WS_FULL);
        s *= n > 0 ? n : 1;
    }
    return 0;
}
