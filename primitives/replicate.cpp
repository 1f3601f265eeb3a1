// Replicate, expand and rotate: select, spread or shift the items of an
// array along its last or first axis.
//
// Ledger
// - replicate (x / y, x /. y): item i along the axis repeated x_i times; a
//   single count repeats every item; a single y is repeated the sum of the
//   counts. Fast paths: a boolean mask over a vector finds the kept
//   positions in one pass (passing over blocks of zeros) and gathers them,
//   the texts of a list into one block; over the rows of a matrix it is a
//   branch-free gather; along the first axis every kept cell is one
//   memcpy; an item of a vector repeated is one run.
//   Refuses: counts not boolean or integer, negative counts (1); types
//   above 12, and general lists other than vectors (1); counts of rank
//   above 1 (2); counts that do not match the axis (3); a result size that
//   overflows (6). The axis forms beyond the first are not provided (43).
// - expand (x \ y, x \. y): a 0/1 mask; y's next cell at each 1, a cell of
//   fill items at each 0 (0, 0.0, blank, 0j0, the empty symbol); a single
//   cell along the axis serves every 1.
//   Refuses: masks not of 0 and 1 (1); general lists and types above 12
//   (1); masks of rank above 1 (2); a number of 1s other than the axis
//   length (3).
// - rotate (x $ y, x $. y): each line along the axis turned left by k
//   (right for k < 0); one amount, or one per line. Fast path: two memcpy
//   runs per block for one amount, per line along the last axis.
//   Refuses: amounts not boolean or integer (1); types above 12, general
//   lists other than vectors (1); amounts of the wrong rank (2) or shape
//   (3); the axis forms $[k] beyond the first, and an axis beyond y's rank
//   (30).
#include "primitives/structure.h"
#include "primitives/hashing.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/text_lists.h"
#include "core/valueops.h"
#include <cstring>

// The axis of a last- or first-axis code, and the products around it.
struct AxisSplit { i64 axis, outer, n, inner; };

static AxisSplit split_at(const Shape &s, i64 axis) {
    AxisSplit a;
    a.axis = axis;
    a.outer = dims_before(s, axis);
    a.n = s.dims[axis];
    a.inner = dims_after(s, axis);
    return a;
}

// A vector or scalar is one axis long; the last axis of higher ranks.
static Shape shape_as_array(const Operand &y) {
    Shape s;
    shape_of(&s, &y);
    if (s.rank == 0) {
        s.rank = 1;
        s.dims[0] = 1;
    }
    return s;
}

static int empty_integer_result(i64 slot) {
    Result z;
    return begin_items_vector(&z, slot, T_INT, 0);
}

// ---- Replicate ----------------------------------------------------------------------

// A boolean mask over a vector of words: each item written where the
// output stands, the output advancing by the mask bit.
static void compress_words(i64 *out, const i64 *y, const i64 *mask, i64 n, i64 total) {
    i64 j = 0;
    for (i64 i = 0; i < n && j < total; i++) {
        out[j] = y[i];
        j += mask[i];
    }
}

// The positions a boolean mask keeps, in one pass: blocks of words with
// no 1 are passed over whole (most masks of a query keep few of many).
static i64 kept_positions(const i64 *mask, i64 n, i64 *out) {
    enum : i64 { BLOCK = 8 };
    i64 j = 0, i = 0;
    for (; i + BLOCK <= n; i += BLOCK) {
        i64 any = 0;
        for (i64 k = 0; k < BLOCK; k++) any |= mask[i + k];
        if (!any) continue;
        for (i64 k = 0; k < BLOCK; k++) {
            out[j] = i + k;
            j += mask[i + k];
        }
    }
    for (; i < n; i++) {
        out[j] = i;
        j += mask[i];
    }
    return j;
}

// A boolean mask over a vector: the kept positions first, then the result
// of their number gathered from them (a list of texts into one block).
static int compress_vector(i64 slot, Operand &x, Operand &y) {
    Work<i64> at;
    if (at.take(x.count)) return (int)error_number;
    i64 n = kept_positions(x.ints(), x.count, at.p);
    if (y.type == T_LIST) {
        bool done;
        if (gather_texts_to_slot(slot, y.desc(), at.p, n, &done)) return (int)error_number;
        if (done) return 0;
    }
    Result z;
    if (begin_items_vector(&z, slot, y.type, n, &x, &y)) return (int)error_number;
    if (y.type != T_LIST) {
        gather_items(z.data, y.data, item_bytes(y.type), at.p, n);
        return 0;
    }
    for (i64 k = 0; k < n; k++)
        if (copy_run(&z, k, &y, at[k], 1)) return (int)error_number;
    return 0;
}

// Along the axis, item i of every block repeated count(i) times.
static int replicate_items(Result *z, Operand *y, const Operand &x, const AxisSplit &a) {
    bool mask_words = x.type == T_BOOL && !x.single && a.inner == 1 && item_bytes(y->type) == 8 && !y->single;
    if (mask_words) {
        i64 kept = z->count / a.outer;
        for (i64 o = 0; o < a.outer; o++) compress_words(z->ints() + o * kept, y->ints() + o * a.n, x.ints(), a.n, kept);
        return 0;
    }
    i64 at = 0;
    for (i64 o = 0; o < a.outer; o++)
        for (i64 i = 0; i < a.n; i++) {
            i64 times = x.int_at(i), from = (o * a.n + i) * a.inner;
            if (a.inner == 1) {   // one item repeated: a run, not a call per copy
                if (repeat_run(z, at, y, from, times)) return (int)error_number;
                at += times;
                continue;
            }
            for (i64 t = 0; t < times; t++, at += a.inner)
                if (copy_run(z, at, y, from, a.inner)) return (int)error_number;
        }
    return 0;
}

static int replicate_empty(i64 slot, const Operand &x, const Operand &y, i64 axis) {
    Shape s = shape_as_array(y);
    if (x.single) {
        i64 h = x.int_at(0);
        if (h < 0) return fail(VEK_DOMAIN);
        if (checked_product(s.dims[axis], h, &s.dims[axis])) return VEK_WS_FULL;
        Result z;
        return begin_items(&z, slot, T_INT, s);
    }
    if (x.count != s.dims[axis]) return fail(VEK_LENGTH);
    i64 sum;
    if (sum_of_counts(&x, x.count, &sum)) return (int)error_number;
    s.dims[axis] = sum;
    Result z;
    return begin_items(&z, slot, y.type, s);
}

static int prim_replicate(i64 code, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    if (x.count == 0) {
        if (x.rank > 1) return fail(VEK_RANK);
        if (!y.single && y.count != 0) return fail(VEK_LENGTH);
        return empty_integer_result(slot);
    }
    if (!x.is_int_class() || !movable_type(y.type)) return fail(VEK_DOMAIN);
    if (x.rank > 1) return fail(VEK_RANK);
    if (y.type == T_LIST && y.rank > 1) return fail(VEK_DOMAIN);
    i64 axis = code == P_REPLICATE_FIRST || y.rank == 0 ? 0 : y.rank - 1;
    if (y.count == 0) return replicate_empty(slot, x, y, axis);
    if (x.type == T_BOOL && !x.single && y.rank == 1 && !y.single) {
        if (x.count != y.count) return fail(VEK_LENGTH);
        return compress_vector(slot, x, y);
    }
    Shape s = shape_as_array(y);
    i64 sum;
    if (x.single) {
        if (x.int_at(0) < 0) return fail(VEK_DOMAIN);
        if (checked_product(s.dims[axis], x.int_at(0), &sum)) return VEK_WS_FULL;
    } else {
        if (!y.single && x.count != s.dims[axis]) return fail(VEK_LENGTH);
        if (sum_of_counts(&x, x.count, &sum)) return (int)error_number;
    }
    if (y.single) s.rank = 1;   // a single y: a vector of its item
    s.dims[axis] = sum;
    Result z;
    if (begin_items(&z, slot, y.type, s, &x, &y)) return (int)error_number;
    if (z.count == 0) return 0;
    if (y.single) return repeat_run(&z, 0, &y, 0, z.count);
    return replicate_items(&z, &y, x, split_at(shape_as_array(y), axis));
}

// ---- Expand ---------------------------------------------------------------------------

static int prim_expand(i64 code, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    if (x.count == 0) {
        if (!y.single && y.count != 0) return fail(VEK_LENGTH);
        return empty_integer_result(slot);
    }
    if (!x.is_int_class() || !is_simple_type(y.type)) return fail(VEK_DOMAIN);
    if (x.rank > 1) return fail(VEK_RANK);
    i64 ones = 0;
    for (i64 i = 0; i < x.count; i++) {
        i64 b = x.int_at(i);
        if (b != 0 && b != 1) return fail(VEK_DOMAIN);   // the mask is read, never retyped
        ones += b;
    }
    i64 axis = code == P_EXPAND_FIRST || y.rank == 0 ? 0 : y.rank - 1;
    Shape s = shape_as_array(y);
    AxisSplit a = split_at(s, axis);
    if (y.single) a = {0, 1, 1, 1};
    else if (a.n != 1 && ones != a.n) return fail(VEK_LENGTH);
    if (y.single) s.rank = 1;
    s.dims[axis] = x.count;
    Result z;
    if (begin_items(&z, slot, y.type, s, &x, &y)) return (int)error_number;
    if (z.count == 0) return 0;
    i64 at = 0;
    for (i64 o = 0; o < a.outer; o++) {
        i64 next = 0;
        for (i64 i = 0; i < x.count; i++, at += a.inner) {
            if (!x.int_at(i)) { fill_run(&z, at, a.inner); continue; }
            copy_run(&z, at, &y, (o * a.n + next) * a.inner, a.inner);
            if (a.n != 1) next++;
        }
    }
    return 0;
}

// ---- Rotate ----------------------------------------------------------------------------

// The amount as a turn in 0..n-1: reduced before any sum, so amounts near
// the integer limits cannot overflow.
static i64 turn(i64 k, i64 n) {
    i64 t = k % n;
    return t < 0 ? t + n : t;
}

// Rotates each line along the axis; k is the one amount, or per line.
static int rotate_lines(Result *z, Operand *y, const Operand &x, const AxisSplit &a) {
    i64 n = a.n, inner = a.inner;
    for (i64 o = 0; o < a.outer; o++) {
        i64 base = o * n * inner;
        if (x.single || inner == 1) {
            // whole blocks (one amount) or whole lines (the last axis)
            for (i64 j = 0; j < (x.single ? 1 : inner); j++) {
                i64 t = turn(x.int_at(o * inner + j), n), line = x.single ? inner : 1;
                if (copy_run(z, base, y, base + t * line, (n - t) * line)) return (int)error_number;
                if (copy_run(z, base + (n - t) * line, y, base, t * line)) return (int)error_number;
            }
            continue;
        }
        // one amount per line across the inner positions: item by item
        i64 size = item_bytes(z->type);
        for (i64 j = 0; j < inner; j++) {
            i64 t = turn(x.int_at(o * inner + j), n);
            for (i64 i = 0; i < n; i++)
                memcpy(result_at(z, base + i * inner + j), item_at(y, base + ((i + t) % n) * inner + j), (size_t)size);
        }
    }
    return 0;
}

static int rotate_amounts_agree(const Operand &x, const Operand &y, i64 axis) {
    if (x.single) return 0;
    Shape xs, ys;
    shape_of(&xs, &x);
    shape_of(&ys, &y);
    for (i64 k = 0, j = 0; k < ys.rank; k++) {
        if (k == axis) continue;
        if (xs.dims[j++] != ys.dims[k]) return fail(VEK_LENGTH);
    }
    return 0;
}

static int prim_rotate(i64 code, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    i64 axis = code == P_ROTATE ? y.rank - 1 : 0;
    if (x.count > 0 && !x.is_int_class()) return fail(VEK_DOMAIN);
    if (!x.single && y.rank != x.rank + 1) return fail(VEK_RANK);
    if (code != P_ROTATE && code != P_ROTATE_FIRST) return fail(VEK_AXIS);
    if (axis >= y.rank) return fail(VEK_AXIS);
    if (rotate_amounts_agree(x, y, axis)) return (int)error_number;
    if (!movable_type(y.type) || (y.type == T_LIST && y.rank > 1)) return fail(VEK_DOMAIN);
    if (y.single) return result_copy(slot, &y);
    Shape s;
    shape_of(&s, &y);
    Result z;
    if (begin_items(&z, slot, y.type, s, &x, &y)) return (int)error_number;
    if (z.count == 0) return 0;
    return rotate_lines(&z, &y, x, split_at(s, axis));
}

void register_replicate_primitives() {
    register_primitive(P_REPLICATE, 2, prim_replicate);
    register_primitive(P_REPLICATE_FIRST, 2, prim_replicate);
    register_primitive(P_EXPAND, 2, prim_expand);
    register_primitive(P_EXPAND_FIRST, 2, prim_expand);
    register_primitive(P_ROTATE, 2, prim_rotate);
    register_primitive(P_ROTATE_FIRST, 2, prim_rotate);
    register_primitive_range(P_ROTATE_AXIS, P_ROTATE_AXIS_LAST, 2, prim_rotate);
}
