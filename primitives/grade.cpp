// Grade up (<) and grade down (>).
//
// Ledger
// - The permutation that sorts a vector of booleans, integers, floats or
//   chars, or the rows (major cells) of an array of rank 2 or more, as
//   integer positions counted from []IO.
//   Vectors: equal items keep their order in both directions. Rows: the
//   first differing element decides; grade down is the exact reverse of
//   grade up, so equal rows come last first.
//   Floats: NaN stands above every number (last going up, first going
//   down); -0.0 equals 0.0. Chars: by code read as a signed byte, so codes
//   128..255 come before 0..127 going up.
//   Fast paths: vectors go through a stable least-significant-digit radix
//   sort of order-preserving keys taken relative to the smallest one, with
//   digits that every key shares skipped: booleans, chars and integers of a
//   small span take one counting pass. Short vectors and rows are merge
//   sorted by comparison.
//   Refuses: []IO (24); a scalar (2); complex, symbols, time values, lists
//   and keyed values (1).
#include "primitives/prim.h"
#include "primitives/hashing.h"
#include <algorithm>
#include <cmath>
#include <numeric>

// ---- Order-preserving keys ----------------------------------------------------------------

// A double as an unsigned key in numeric order: -0.0 as 0.0, every NaN
// above +infinity.
static u64 float_order_key(double d) {
    if (std::isnan(d)) return ~(u64)0;
    u64 b = float_word(d);
    return (b >> 63) ? ~b : b | ((u64)1 << 63);
}

static u64 int_order_key(i64 x) { return (u64)x ^ ((u64)1 << 63); }

static u64 char_order_key(char c) { return (u64)((unsigned char)c ^ 0x80); }

// ---- Radix sort ------------------------------------------------------------------------------

enum { DIGIT_BITS = 11, ONE_PASS_BITS = 16 };

static int bits_of(u64 x) { return x ? 64 - __builtin_clzll(x) : 0; }

// out[k] = origin + the position of the k-th smallest key; equal keys keep
// their order. keys is overwritten.
template <class K, class I>
static int radix_positions(K *keys, i64 n, int bits, i64 origin, i64 *out) {
    int passes = bits == 0 ? 0 : bits <= ONE_PASS_BITS && ((i64)1 << bits) <= 4 * n ? 1
                                                                                   : (bits + DIGIT_BITS - 1) / DIGIT_BITS;
    int width = passes ? (bits + passes - 1) / passes : 0;
    i64 buckets = (i64)1 << width;
    K mask = (K)(buckets - 1);
    Work<i64> counts;
    if (counts.take(passes * buckets)) return VEK_WS_FULL;
    std::fill(counts.p, counts.p + passes * buckets, 0);
    for (i64 i = 0; i < n; i++)
        for (int p = 0; p < passes; p++) counts[p * buckets + ((keys[i] >> (p * width)) & mask)]++;
    // a digit every key shares moves nothing
    int active[64], count = 0;
    for (int p = 0; p < passes; p++) {
        i64 *c = counts.p + p * buckets;
        if (std::find(c, c + buckets, n) == c + buckets) active[count++] = p;
    }
    if (count == 0) {
        for (i64 i = 0; i < n; i++) out[i] = origin + i;
        return 0;
    }
    Work<K> other_keys;
    Work<I> index_a, index_b;
    if (other_keys.take(n) || index_a.take(n) || index_b.take(n)) return VEK_WS_FULL;
    K *ks = keys, *kd = other_keys.p;
    I *is = nullptr, *id = index_a.p, *spare = index_b.p;
    for (int a = 0; a < count; a++) {
        int p = active[a], shift = p * width;
        i64 *c = counts.p + p * buckets;
        for (i64 b = 0, sum = 0; b < buckets; b++) {
            i64 k = c[b];
            c[b] = sum;
            sum += k;
        }
        bool last = a == count - 1;
        for (i64 i = 0; i < n; i++) {
            i64 at = c[(ks[i] >> shift) & mask]++;
            i64 from = is ? (i64)is[i] : i;
            if (last) out[at] = origin + from;
            else {
                kd[at] = ks[i];
                id[at] = (I)from;
            }
        }
        std::swap(ks, kd);
        is = id;
        std::swap(id, spare);
    }
    return 0;
}

// Keys already relative to their smallest, spanning `bits` bits.
template <class K>
static int radix_grade(K *keys, i64 n, int bits, i64 origin, i64 *out) {
    if (n <= UINT32_MAX) return radix_positions<K, uint32_t>(keys, n, bits, origin, out);
    return radix_positions<K, u64>(keys, n, bits, origin, out);
}

// Sorts items 0..n-1 by their order keys (key_of; inverted going down),
// taken relative to the smallest so that short spans sort in few passes.
template <class KeyOf>
static int grade_by_keys(i64 n, KeyOf key_of, bool down, i64 origin, i64 *out) {
    u64 flip = down ? ~(u64)0 : 0, lo = ~(u64)0, hi = 0;
    for (i64 i = 0; i < n; i++) {
        u64 k = key_of(i) ^ flip;
        lo = k < lo ? k : lo;
        hi = k > hi ? k : hi;
    }
    int bits = bits_of(hi - lo);
    if (bits > 32) {
        Work<u64> keys;
        if (keys.take(n)) return VEK_WS_FULL;
        for (i64 i = 0; i < n; i++) keys[i] = (key_of(i) ^ flip) - lo;
        return radix_grade<u64>(keys.p, n, bits, origin, out);
    }
    Work<uint32_t> keys;
    if (keys.take(n)) return VEK_WS_FULL;
    for (i64 i = 0; i < n; i++) keys[i] = (uint32_t)((key_of(i) ^ flip) - lo);
    return radix_grade<uint32_t>(keys.p, n, bits, origin, out);
}

// ---- Comparison ------------------------------------------------------------------------------

// -1, 0 or 1 for items of one type; NaN above every number and equal to NaN.
static int compare_floats(double a, double b) {
    bool na = std::isnan(a), nb = std::isnan(b);
    if (na || nb) return na - nb;
    return (a > b) - (a < b);
}

static int compare_items(i64 type, const void *data, i64 i, i64 j) {
    if (type == T_FLOAT) return compare_floats(((const double *)data)[i], ((const double *)data)[j]);
    if (type == T_CHAR) {
        signed char a = ((const signed char *)data)[i], b = ((const signed char *)data)[j];
        return (a > b) - (a < b);
    }
    i64 a = ((const i64 *)data)[i], b = ((const i64 *)data)[j];
    return (a > b) - (a < b);
}

// Rows of `width` items ordered by their first differing item; a stable
// sort keeps equal rows in position order.
static int grade_rows(i64 type, const void *data, i64 rows, i64 width, bool down, i64 origin, i64 *out) {
    Work<i64> order;
    if (order.take(rows)) return VEK_WS_FULL;
    std::iota(order.p, order.p + rows, 0);
    std::stable_sort(order.p, order.p + rows, [&](i64 r, i64 s) {
        for (i64 k = 0; k < width; k++) {
            int c = compare_items(type, data, r * width + k, s * width + k);
            if (c) return c < 0;
        }
        return false;
    });
    for (i64 k = 0; k < rows; k++) out[k] = origin + order[down ? rows - 1 - k : k];
    return 0;
}

enum { SHORT_VECTOR = 64 };

static int grade_vector(i64 type, const void *data, i64 n, bool down, i64 origin, i64 *out) {
    if (n <= SHORT_VECTOR) {
        Work<i64> order;
        if (order.take(n)) return VEK_WS_FULL;
        std::iota(order.p, order.p + n, 0);
        std::stable_sort(order.p, order.p + n, [&](i64 i, i64 j) {
            int c = compare_items(type, data, i, j);
            return down ? c > 0 : c < 0;
        });
        for (i64 k = 0; k < n; k++) out[k] = origin + order[k];
        return 0;
    }
    if (type == T_FLOAT) {
        const double *p = (const double *)data;
        return grade_by_keys(n, [p](i64 i) { return float_order_key(p[i]); }, down, origin, out);
    }
    if (type == T_CHAR) {
        const char *p = (const char *)data;
        return grade_by_keys(n, [p](i64 i) { return char_order_key(p[i]); }, down, origin, out);
    }
    const i64 *p = (const i64 *)data;
    return grade_by_keys(n, [p](i64 i) { return int_order_key(p[i]); }, down, origin, out);
}

// ---- Handler ------------------------------------------------------------------------------------

static int prim_grade(i64 code, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    i64 origin;
    if (index_origin(&origin)) return VEK_IO;
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (y.rank == 0) return fail(VEK_RANK);
    if (y.type > T_CHAR) return fail(VEK_DOMAIN);
    i64 rows = y.dim(0);
    Result z;
    if (begin_vector(&z, result_slot, T_INT, rows, &y, nullptr, true)) return (int)error_number;
    bool down = code == P_GRADE_DOWN;
    int e;
    if (y.rank == 1) e = grade_vector(y.type, y.data, rows, down, origin, z.ints());
    else if (y.count == 0 || rows <= 1) {
        for (i64 k = 0; k < rows; k++) z.ints()[k] = origin + k;
        e = 0;
    } else e = grade_rows(y.type, y.data, rows, y.count / rows, down, origin, z.ints());
    return e ? fail(e) : 0;
}

void register_grade_primitives() {
    register_primitive(P_GRADE_UP, 1, prim_grade);
    register_primitive(P_GRADE_DOWN, 1, prim_grade);
}
