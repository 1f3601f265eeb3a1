// Take and drop: cut or pad an array along each axis.
//
// Ledger
// - take (x ^. y): |k| items along each axis, from the front for k >= 0 and
//   from the back for k < 0; counts beyond the axis pad with the type's
//   fill item (0, 0.0, blank, 0j0, the empty symbol, an empty integer
//   vector for a general list). One count for a scalar or vector y, one
//   per axis otherwise; a scalar y is a one-item vector. Float and complex
//   results are demoted (whole floats to integers).
//   Fast path: the part of y that survives is copied a row at a time by
//   memcpy (the whole of it at once for vectors); fill items are written
//   only when the result pads.
//   Refuses: counts not boolean or integer (1); counts of rank above 1, a
//   general list y with several counts or of rank above 1, an empty y with
//   several counts (2); a number of counts other than y's axes, an empty
//   general list (3); enumerations, dictionaries, tables (7); a result whose
//   size overflows (6).
// - drop (x !. y): the counts turned into the take counts that keep the
//   rest; whole floats are accepted as counts (read privately: the operand
//   keeps its type). Refuses: other counts (1), counts of rank above 1 (2),
//   a number of counts other than y's rank (3); otherwise as take.
#include "primitives/structure.h"
#include "core/valueops.h"
#include <cmath>
#include <cstring>

// The counts of the left operand, one per axis.
struct Counts {
    i64 n = 0;            // how many
    i64 rank = 0;         // of the left operand
    bool single = false;  // rank 0, or one count in a vector
    i64 k[MAX_RANK] = {};
};

// Counts of more axes than a value can have match no right operand.
static int too_many_counts(const Operand &x) { return x.count > MAX_RANK ? fail(VEK_LENGTH) : 0; }

static int read_take_counts(const Operand &x, Counts *c) {
    if (!x.is_int_class()) return fail(VEK_DOMAIN);
    if (x.rank > 1) return fail(VEK_RANK);
    if (too_many_counts(x)) return VEK_LENGTH;
    c->n = x.count;
    c->rank = x.rank;
    c->single = x.single;
    for (i64 j = 0; j < x.count; j++) c->k[j] = x.int_at(j);
    return 0;
}

// Drop's counts may be whole floats, or complex numbers with no imaginary
// part, read as integers here: the operand itself is left as it is.
static bool whole_count(double v, i64 *k) {
    if (std::isnan(v) || std::fabs(v) > 2147483647.0 || v != std::trunc(v)) return false;
    *k = (i64)v;
    return true;
}

static int read_drop_counts(const Operand &x, Counts *c) {
    if (x.is_int_class()) return read_take_counts(x, c);
    if (x.type != T_FLOAT && x.type != T_COMPLEX) return fail(VEK_DOMAIN);
    for (i64 j = 0; j < x.count; j++) {
        double v = x.type == T_FLOAT ? x.floats()[j] : x.pairs()[2 * j];
        i64 k;
        if (x.type == T_COMPLEX && x.pairs()[2 * j + 1] != 0) return fail(VEK_DOMAIN);
        if (!whole_count(v, &k)) return fail(VEK_DOMAIN);
        if (j < MAX_RANK) c->k[j] = k;
    }
    if (x.rank > 1) return fail(VEK_RANK);
    if (too_many_counts(x)) return VEK_LENGTH;
    c->n = x.count;
    c->rank = x.rank;
    c->single = x.single;
    return 0;
}

// The take count that keeps what a drop of k leaves of n items.
static i64 drop_to_take(i64 k, i64 n) {
    if (k >= n || k <= -n) return 0;
    return k > 0 ? k - n : k + n;
}

// |k| as a result dimension; the null count has no magnitude that fits.
static int magnitude(i64 k, i64 *m) {
    if (k == INT64_MIN) return fail(VEK_WS_FULL);
    *m = k < 0 ? -k : k;
    return 0;
}

// ---- The copy of the surviving box ---------------------------------------------------

// Along one axis: where the kept items start in y and in the result, and
// how many there are.
struct AxisCut { i64 src, dst, len; };

static AxisCut cut_axis(i64 k, i64 m, i64 d) {
    if (k >= 0) return {0, 0, m < d ? m : d};
    if (m >= d) return {0, m - d, d};
    return {d - m, 0, m};
}

// Copies the box of kept items row by row with an index counter over the
// axes before the last, after filling the result when it pads.
static int copy_box(Result *z, Operand *y, const Shape &ys, const Shape &zs, const AxisCut *cut) {
    i64 r = zs.rank;
    bool pads = false, empty = false;
    for (i64 a = 0; a < r; a++) {
        pads |= cut[a].len < zs.dims[a];
        empty |= cut[a].len == 0;
    }
    if (pads && fill_run(z, 0, z->count)) return (int)error_number;
    if (empty) return 0;
    i64 ystride[MAX_RANK], zstride[MAX_RANK], at[MAX_RANK] = {};
    ystride[r - 1] = zstride[r - 1] = 1;
    for (i64 a = r - 2; a >= 0; a--) {
        ystride[a] = ystride[a + 1] * ys.dims[a + 1];
        zstride[a] = zstride[a + 1] * zs.dims[a + 1];
    }
    for (;;) {
        i64 from = 0, to = 0;
        for (i64 a = 0; a < r; a++) {
            i64 i = a < r - 1 ? at[a] : 0;
            from += (cut[a].src + i) * ystride[a];
            to += (cut[a].dst + i) * zstride[a];
        }
        if (copy_run(z, to, y, from, cut[r - 1].len)) return (int)error_number;
        i64 a = r - 2;
        while (a >= 0 && ++at[a] == cut[a].len) at[a--] = 0;
        if (a < 0) return 0;
    }
}

// A general list y: a list of |k| items, deep copies and fill items.
static int take_list(i64 slot, Operand &y, const Counts &c) {
    if (!c.single || y.rank > 1) return fail(VEK_RANK);
    if (y.count == 0) return fail(VEK_LENGTH);
    i64 m;
    if (magnitude(c.k[0], &m)) return VEK_WS_FULL;
    Result z;
    if (begin_items_vector(&z, slot, T_LIST, m, &y)) return (int)error_number;
    AxisCut cut = cut_axis(c.k[0], m, y.count);
    if (fill_run(&z, 0, m)) return (int)error_number;
    return copy_run(&z, cut.dst, &y, cut.src, cut.len);
}

static int counts_agree(const Operand &y, const Counts &c) {
    if (y.rank == 0) return c.n <= 1 ? 0 : fail(VEK_LENGTH);
    if (y.rank == 1) return c.single ? 0 : fail(VEK_LENGTH);
    return c.n == y.rank ? 0 : fail(VEK_LENGTH);
}

static int take_counts(i64 slot, Operand &y, const Counts &c) {
    if (!movable_type(y.type)) return fail(VEK_TYPE);
    if (counts_agree(y, c)) return (int)error_number;
    if (y.type == T_LIST) return take_list(slot, y, c);
    if (y.count == 0 && !c.single) return fail(VEK_RANK);
    Shape ys, zs;
    shape_of(&ys, &y);
    if (y.rank == 0) {
        if (c.n == 0) return result_copy(slot, &y);   // no counts: the scalar itself
        ys.rank = 1;
        ys.dims[0] = 1;
    }
    zs.rank = ys.rank;
    AxisCut cut[MAX_RANK];
    for (i64 a = 0; a < zs.rank; a++) {
        if (magnitude(c.k[a], &zs.dims[a])) return VEK_WS_FULL;
        cut[a] = cut_axis(c.k[a], zs.dims[a], ys.dims[a]);
    }
    Result z;
    if (begin_items(&z, slot, y.type, zs, &y)) return (int)error_number;
    if (z.count > 0 && copy_box(&z, &y, ys, zs, cut)) return (int)error_number;
    if (z.type == T_FLOAT || z.type == T_COMPLEX) return demote_descriptor(z.desc()) ? (int)error_number : 0;
    return 0;
}

static int prim_take(i64, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    Counts c;
    if (read_take_counts(x, &c)) return (int)error_number;
    return take_counts(slot, y, c);
}

static int prim_drop(i64, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    Counts c;
    if (read_drop_counts(x, &c)) return (int)error_number;
    if (c.single && y.rank <= 1) {
        c.k[0] = drop_to_take(c.k[0], y.count);
    } else if (c.n > 1) {
        if (c.n != y.rank) return fail(VEK_LENGTH);
        for (i64 a = 0; a < c.n; a++) c.k[a] = drop_to_take(c.k[a], y.dim(a));
    }
    return take_counts(slot, y, c);
}

void register_takedrop_primitives() {
    register_primitive(P_TAKE, 2, prim_take);
    register_primitive(P_DROP, 2, prim_drop);
}
