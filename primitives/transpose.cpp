// Transpose and dyadic transpose: the items of an array with its axes
// reordered.
//
// Ledger
// - transpose (&. y): the axes in reverse order; a dictionary with symbol
//   keys becomes a table and a table a dictionary (their own families).
//   Refuses: keyed tables, general lists, enumerations and the time types
//   other than month (1).
// - dyadic transpose (x &. y): result axis x[i]-[]IO takes y's axis i;
//   x of two origins on a matrix gives its diagonal.
//   Refuses: a bad []IO (24); axes not boolean or integer, repeated or out
//   of range, a diagonal of a non-matrix, general lists of rank above 1
//   and types above 12 (1); axes of rank above 1 (43); a number of axes
//   other than y's rank, the diagonal of an empty matrix (3).
// Fast path for both: the last two result axes are copied in cache-sized
// tiles (a plain copy of rows where they stay in order); any further axes
// are walked by an index counter.
#include "primitives/structure.h"
#include "core/valueops.h"
#include <cstring>

// ---- The strided copy --------------------------------------------------------------------

struct Pair16 { i64 a, b; };

enum : i64 { TILE = 32 };

// dst[i][j] = src[i*s1 + j*s2] for an n1 by n2 block of dst, in tiles
// whose source lines stay in the first-level cache.
template <class T>
static void copy_tiles(T *dst, const T *src, i64 n1, i64 n2, i64 s1, i64 s2) {
    if (s2 == 1) {
        for (i64 i = 0; i < n1; i++) memcpy(dst + i * n2, src + i * s1, (size_t)n2 * sizeof(T));
        return;
    }
    for (i64 i0 = 0; i0 < n1; i0 += TILE)
        for (i64 j0 = 0; j0 < n2; j0 += TILE) {
            i64 i1 = i0 + TILE < n1 ? i0 + TILE : n1, j1 = j0 + TILE < n2 ? j0 + TILE : n2;
            for (i64 i = i0; i < i1; i++) {
                T *d = dst + i * n2;
                const T *s = src + i * s1;
                for (i64 j = j0; j < j1; j++) d[j] = s[j * s2];
            }
        }
}

static void copy_plane(char *dst, const char *src, i64 size, i64 n1, i64 n2, i64 s1, i64 s2) {
    if (size == 8) copy_tiles((i64 *)dst, (const i64 *)src, n1, n2, s1, s2);
    else if (size == 1) copy_tiles(dst, src, n1, n2, s1, s2);
    else copy_tiles((Pair16 *)dst, (const Pair16 *)src, n1, n2, s1, s2);
}

// Result item p (row-major over zs) = y item sum(p[j] * stride[j]).
static void permute_items(const Result &z, const Operand &y, const Shape &zs, const i64 *stride) {
    i64 size = item_bytes(z.type), r = zs.rank;
    char *out = (char *)z.data;
    const char *in = item_at(&y, 0);
    if (r <= 1) {
        copy_plane(out, in, size, 1, r == 0 ? 1 : zs.dims[0], 0, r == 0 ? 1 : stride[0]);
        return;
    }
    i64 n1 = zs.dims[r - 2], n2 = zs.dims[r - 1], plane = n1 * n2, at[MAX_RANK] = {};
    for (i64 p = 0; p < z.count; p += plane) {
        i64 from = 0;
        for (i64 j = 0; j < r - 2; j++) from += at[j] * stride[j];
        copy_plane(out + p * size, in + from * size, size, n1, n2, stride[r - 2], stride[r - 1]);
        for (i64 j = r - 3; j >= 0 && ++at[j] == zs.dims[j]; j--) at[j] = 0;
    }
}

static void row_major_strides(const Shape &s, i64 *stride) {
    i64 k = 1;
    for (i64 a = s.rank - 1; a >= 0; a--) {
        stride[a] = k;
        k *= s.dims[a];
    }
}

// ---- Transpose ---------------------------------------------------------------------------

static bool transposable_type(i64 t) { return t <= T_SYMBOL || t == T_MONTH; }

static int prim_transpose(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    const ValueDescriptor *d = y.desc();
    if (y.type == T_DICT && d->spare == 1) return dictionary_to_table(slot, rc, rv);
    if (y.type == T_TABLE) return table_to_dictionary(slot, rc, rv);
    if (!transposable_type(y.type) || y.type == T_LIST) return fail(VEK_DOMAIN);
    if (y.rank <= 1) return result_copy(slot, &y);
    Shape ys, zs;
    shape_of(&ys, &y);
    i64 ystride[MAX_RANK], stride[MAX_RANK];
    row_major_strides(ys, ystride);
    zs.rank = ys.rank;
    for (i64 a = 0; a < ys.rank; a++) {
        zs.dims[a] = ys.dims[ys.rank - 1 - a];
        stride[a] = ystride[ys.rank - 1 - a];
    }
    Result z;
    if (begin_items(&z, slot, y.type, zs, &y)) return (int)error_number;
    if (z.count > 0) permute_items(z, y, zs, stride);
    return 0;
}

// ---- Dyadic transpose ------------------------------------------------------------------------

static int diagonal(i64 slot, Operand &y) {
    if (y.rank != 2) return fail(VEK_DOMAIN);
    if (y.count == 0) return fail(VEK_LENGTH);
    i64 r = y.dim(0), c = y.dim(1);
    Shape zs;
    zs.rank = 1;
    zs.dims[0] = r < c ? r : c;
    i64 stride = c + 1;
    Result z;
    if (begin_items(&z, slot, y.type, zs, &y)) return (int)error_number;
    permute_items(z, y, zs, &stride);
    return 0;
}

static int prim_transpose_axes(i64, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    i64 io;
    if (index_origin(&io)) return VEK_IO;
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    if (!x.is_int_class()) return fail(VEK_DOMAIN);
    if (x.rank > 1) return fail(VEK_NOT_IMPLEMENTED);
    if (!movable_type(y.type) || (y.type == T_LIST && y.rank > 1)) return fail(VEK_DOMAIN);
    if (x.count == 2 && x.ints()[0] == io && x.ints()[1] == io) return diagonal(slot, y);
    if (x.count != y.rank) return fail(VEK_LENGTH);
    Shape ys, zs;
    shape_of(&ys, &y);
    zs.rank = ys.rank;
    i64 ystride[MAX_RANK], stride[MAX_RANK];
    bool taken[MAX_RANK] = {};
    row_major_strides(ys, ystride);
    for (i64 i = 0; i < ys.rank; i++) {
        i64 v = x.int_at(i);
        if (v < io || v - io >= ys.rank || taken[v - io]) return fail(VEK_DOMAIN);
        i64 j = v - io;
        taken[j] = true;
        zs.dims[j] = ys.dims[i];
        stride[j] = ystride[i];
    }
    if (y.rank <= 1) return result_copy(slot, &y);
    Result z;
    if (begin_items(&z, slot, y.type, zs, &x, &y)) return (int)error_number;
    if (z.count > 0) permute_items(z, y, zs, stride);
    return 0;
}

void register_transpose_primitives() {
    register_primitive(P_TRANSPOSE, 1, prim_transpose);
    register_primitive(P_TRANSPOSE_AXES, 2, prim_transpose_axes);
}
