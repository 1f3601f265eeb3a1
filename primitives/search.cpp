// Membership (x ? y) and index-of (x ! y).
//
// Ledger
// - membership: x of any rank, y searched as a flat list of any rank; the
//   result is boolean with x's shape. Numbers compare by value (booleans
//   and integers against floats as floats, anything numeric against
//   complex as complex pairs); chars by code; symbols and time values by
//   their words, and only against their own type: values of unlike
//   non-numeric types, and two general lists, never match.
//   Refuses: complex against chars (1); enumerations, dictionaries and
//   tables (1).
// - index-of: x a list (a scalar is a list of one), y of any rank; the
//   result is integer with y's shape: origin + the first position, or
//   origin + the count of x when absent. Like types compare as for
//   membership, floats against floats with the tolerance of search.h;
//   operands of unlike types above float are never found.
//   Hands over: a table or keyed table on the left with a general list or
//   table on the right to the table family; an enumeration on the left to
//   the dictionary family.
//   Refuses: []IO (24); general lists, enumerations on the right and other
//   keyed values (1); x of rank 2 or more (2).
// - Fast paths (every exact search): a scan when one side is tiny, a
//   direct table over the span of integer keys when it is small beside the
//   list, otherwise a hash table of the list; chars through 256-entry
//   tables.
#include "primitives/search.h"
#include "primitives/hashing.h"
#include "core/valueops.h"
#include <algorithm>

// Provided by the dictionary and table families.
int table_index_of(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv, i64 origin);
int enum_index_of(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv, i64 origin);

// A scan costs n*m compares, a table about n + m probes.
static bool scan_is_cheaper(i64 n, i64 m) { return n <= 4 || m <= 4 || n <= 4096 / m; }

// ---- Keys of the exact searches ----------------------------------------------------------

namespace {
struct WordKeys {
    const i64 *p;
    bool usable(i64) const { return true; }
    u64 key(i64 i) const { return (u64)p[i]; }
};
// NaN equals nothing and is kept out of every table.
struct FloatKeys {
    const double *p;
    bool usable(i64 i) const { return !std::isnan(p[i]); }
    u64 key(i64 i) const { return float_word(p[i]); }
};
}

template <class K>
static void member_scan(const K &items, i64 m, const K &list, i64 n, i64 *found) {
    for (i64 i = 0; i < m; i++) {
        i64 f = 0;
        if (items.usable(i)) {
            u64 k = items.key(i);
            for (i64 j = 0; j < n && !f; j++) f = list.usable(j) && list.key(j) == k;
        }
        found[i] = f;
    }
}

template <class K>
static int member_hashed(const K &items, i64 m, const K &list, i64 n, i64 *found) {
    WordTable t;
    if (t.init(n)) return VEK_WS_FULL;
    for (i64 j = 0; j < n; j++)
        if (list.usable(j)) t.insert(list.key(j), 0);
    for (i64 i = 0; i < m; i++) found[i] = items.usable(i) && t.find(items.key(i)) >= 0;
    return 0;
}

template <class K>
static void index_scan(const K &list, i64 n, const K &items, i64 m, i64 origin, i64 *out) {
    for (i64 i = 0; i < m; i++) {
        i64 p = n;
        if (items.usable(i)) {
            u64 k = items.key(i);
            for (i64 j = 0; j < n; j++)
                if (list.usable(j) && list.key(j) == k) { p = j; break; }
        }
        out[i] = origin + p;
    }
}

template <class K>
static int index_hashed(const K &list, i64 n, const K &items, i64 m, i64 origin, i64 *out) {
    WordTable t;
    if (t.init(n)) return VEK_WS_FULL;
    for (i64 j = 0; j < n; j++)
        if (list.usable(j)) t.insert(list.key(j), j);
    for (i64 i = 0; i < m; i++) {
        i64 p = items.usable(i) ? t.find(items.key(i)) : -1;
        out[i] = origin + (p < 0 ? n : p);
    }
    return 0;
}

// ---- Membership kernels -------------------------------------------------------------------

int member_words(const i64 *items, i64 m, const i64 *list, i64 n, i64 *found) {
    WordKeys a{items}, b{list};
    if (scan_is_cheaper(n, m)) {
        member_scan(a, m, b, n, found);
        return 0;
    }
    KeySpan s = key_span(list, n);
    if (!s.fits(direct_span_limit(n, 16))) return member_hashed(a, m, b, n, found);
    Work<unsigned char> seen;
    if (seen.take((i64)s.span)) return VEK_WS_FULL;
    memset(seen.p, 0, s.span);
    for (i64 j = 0; j < n; j++) seen[s.at(list[j])] = 1;
    for (i64 i = 0; i < m; i++) {
        u64 u = s.at(items[i]);
        found[i] = u < s.span && seen[u];
    }
    return 0;
}

int member_floats(const double *items, i64 m, const double *list, i64 n, i64 *found) {
    FloatKeys a{items}, b{list};
    if (scan_is_cheaper(n, m)) {
        member_scan(a, m, b, n, found);
        return 0;
    }
    return member_hashed(a, m, b, n, found);
}

static bool pair_usable(const double *p) { return !std::isnan(p[0]) && !std::isnan(p[1]); }
static bool pairs_equal(const double *a, const double *b) { return a[0] == b[0] && a[1] == b[1]; }

// The positions of the usable pairs of list in a table (first occurrence kept).
static int pair_table(PositionTable *t, const double *list, i64 n) {
    if (t->init(n)) return VEK_WS_FULL;
    for (i64 j = 0; j < n; j++) {
        const double *p = list + 2 * j;
        if (pair_usable(p))
            t->insert(pair_word(p), j, [&](i64 q) { return pairs_equal(list + 2 * q, p); });
    }
    return 0;
}

static i64 pair_position(const PositionTable &t, const double *list, const double *p) {
    if (!pair_usable(p)) return -1;
    return t.find(pair_word(p), [&](i64 q) { return pairs_equal(list + 2 * q, p); });
}

int member_pairs(const double *items, i64 m, const double *list, i64 n, i64 *found) {
    if (scan_is_cheaper(n, m)) {
        for (i64 i = 0; i < m; i++) {
            i64 f = 0;
            for (i64 j = 0; j < n && !f; j++) f = pairs_equal(items + 2 * i, list + 2 * j);
            found[i] = f;
        }
        return 0;
    }
    PositionTable t;
    if (pair_table(&t, list, n)) return VEK_WS_FULL;
    for (i64 i = 0; i < m; i++) found[i] = pair_position(t, list, items + 2 * i) >= 0;
    return 0;
}

int member_chars(const char *items, i64 m, const char *list, i64 n, i64 *found) {
    bool seen[256] = {};
    for (i64 j = 0; j < n; j++) seen[(unsigned char)list[j]] = true;
    for (i64 i = 0; i < m; i++) found[i] = seen[(unsigned char)items[i]];
    return 0;
}

// ---- Index-of kernels ------------------------------------------------------------------------

// Positions by key - low; each entry starts at n (absent) and the list is
// entered from its end, so the first occurrence is what stays.
template <class P>
static int index_direct(const i64 *list, i64 n, const i64 *items, i64 m, i64 origin, const KeySpan &s,
                        i64 *out) {
    Work<P> pos;
    if (pos.take((i64)s.span)) return VEK_WS_FULL;
    std::fill(pos.p, pos.p + s.span, (P)n);
    for (i64 j = n - 1; j >= 0; j--) pos[s.at(list[j])] = (P)j;
    for (i64 i = 0; i < m; i++) {
        u64 u = s.at(items[i]);
        out[i] = origin + (u < s.span ? (i64)pos[u] : n);
    }
    return 0;
}

int index_of_words(const i64 *list, i64 n, const i64 *items, i64 m, i64 origin, i64 *out) {
    WordKeys a{list}, b{items};
    if (scan_is_cheaper(n, m)) {
        index_scan(a, n, b, m, origin, out);
        return 0;
    }
    KeySpan s = key_span(list, n);
    if (!s.fits(direct_span_limit(n, 4))) return index_hashed(a, n, b, m, origin, out);
    if (n < INT32_MAX) return index_direct<int32_t>(list, n, items, m, origin, s, out);
    return index_direct<i64>(list, n, items, m, origin, s, out);
}

int index_of_floats_exact(const double *list, i64 n, const double *items, i64 m, i64 origin, i64 *out) {
    FloatKeys a{list}, b{items};
    if (scan_is_cheaper(n, m)) {
        index_scan(a, n, b, m, origin, out);
        return 0;
    }
    return index_hashed(a, n, b, m, origin, out);
}

int index_of_pairs(const double *list, i64 n, const double *items, i64 m, i64 origin, i64 *out) {
    if (scan_is_cheaper(n, m)) {
        for (i64 i = 0; i < m; i++) {
            i64 p = n;
            for (i64 j = 0; j < n; j++)
                if (pairs_equal(list + 2 * j, items + 2 * i)) { p = j; break; }
            out[i] = origin + p;
        }
        return 0;
    }
    PositionTable t;
    if (pair_table(&t, list, n)) return VEK_WS_FULL;
    for (i64 i = 0; i < m; i++) {
        i64 p = pair_position(t, list, items + 2 * i);
        out[i] = origin + (p < 0 ? n : p);
    }
    return 0;
}

int index_of_chars(const char *list, i64 n, const char *items, i64 m, i64 origin, i64 *out) {
    i64 pos[256];
    std::fill(pos, pos + 256, n);
    for (i64 j = n - 1; j >= 0; j--) pos[(unsigned char)list[j]] = j;
    for (i64 i = 0; i < m; i++) out[i] = origin + pos[(unsigned char)items[i]];
    return 0;
}

// ---- Tolerant float index-of ----------------------------------------------------------------

// Low bits dropped before hashing, so that values a few hundred units in
// the last place apart (the tolerance is about 450 of them) mostly share a
// home slot and can find each other.
enum { TOLERANCE_BITS = 10 };

// Float keys with their first positions, filled from the list only as far
// as the items sought need. 0.0 and -0.0 have a cell of their own: zero is
// tolerantly equal to nothing else.
struct TolerantTable {
    Work<double> keys;
    Work<i64> pos;          // -1 empty
    u64 mask = 0;
    int shift = 64;
    i64 zero = -1;

    int init(i64 n) {
        int bits = table_bits_for(n);
        if (keys.take((i64)1 << bits) || pos.take((i64)1 << bits)) return VEK_WS_FULL;
        mask = ((u64)1 << bits) - 1;
        shift = 64 - bits;
        memset(pos.p, 0xFF, sizeof(i64) << bits);
        return 0;
    }
    u64 home(double v) const { return mix_word(float_word(v) >> TOLERANCE_BITS) >> shift; }
    i64 find(double v) const {
        if (v == 0) return zero;
        for (u64 s = home(v); pos[s] >= 0; s = (s + 1) & mask)
            if (floats_equal_tol(keys[s], v)) return pos[s];
        return -1;
    }
    // Enters v at position p unless an entry on its path equals it; returns
    // the position standing for v.
    i64 enter(double v, i64 p) {
        if (v == 0) return zero < 0 ? (zero = p) : zero;
        u64 s = home(v);
        for (; pos[s] >= 0; s = (s + 1) & mask)
            if (floats_equal_tol(keys[s], v)) return pos[s];
        keys[s] = v;
        pos[s] = p;
        return p;
    }
};

int index_of_floats(const double *list, i64 n, const double *items, i64 m, i64 origin, i64 *out) {
    if (n <= 1 || m <= 1 || n <= 511 / m) {
        for (i64 i = 0; i < m; i++) {
            i64 p = n;
            for (i64 j = 0; j < n; j++)
                if (floats_equal_tol(list[j], items[i])) { p = j; break; }
            out[i] = origin + p;
        }
        return 0;
    }
    TolerantTable t;
    if (t.init(n)) return VEK_WS_FULL;
    i64 cursor = 0;
    for (i64 i = 0; i < m; i++) {
        double v = items[i];
        i64 p = t.find(v);
        while (p < 0 && cursor < n) {
            double w = list[cursor];
            i64 q = std::isnan(w) ? -1 : t.enter(w, cursor);
            cursor++;
            if (q >= 0 && floats_equal_tol(w, v)) p = q;
        }
        out[i] = origin + (p < 0 ? n : p);
    }
    return 0;
}

// ---- Searches by value type ------------------------------------------------------------------

int index_of_exact(i64 type, const void *list, i64 n, const void *items, i64 m, i64 origin, i64 *out) {
    switch (type) {
    case T_CHAR: return index_of_chars((const char *)list, n, (const char *)items, m, origin, out);
    case T_FLOAT: case T_DATETIME:
        return index_of_floats_exact((const double *)list, n, (const double *)items, m, origin, out);
    case T_COMPLEX: return index_of_pairs((const double *)list, n, (const double *)items, m, origin, out);
    default: return index_of_words((const i64 *)list, n, (const i64 *)items, m, origin, out);
    }
}

int member_exact(i64 type, const void *items, i64 m, const void *list, i64 n, i64 *found) {
    switch (type) {
    case T_CHAR: return member_chars((const char *)items, m, (const char *)list, n, found);
    case T_FLOAT: case T_DATETIME:
        return member_floats((const double *)items, m, (const double *)list, n, found);
    case T_COMPLEX: return member_pairs((const double *)items, m, (const double *)list, n, found);
    default: return member_words((const i64 *)items, m, (const i64 *)list, n, found);
    }
}

// ---- Operands read as one class -------------------------------------------------------------

// An operand's items as doubles: floats in place, booleans and integers
// converted into `copy`.
static const double *as_floats(const Operand &o, Work<double> *copy) {
    if (o.type == T_FLOAT || o.type == T_DATETIME) return o.floats();
    if (copy->take(o.count)) return nullptr;
    for (i64 i = 0; i < o.count; i++) (*copy)[i] = (double)o.ints()[i];
    return copy->p;
}

// An operand's items as complex pairs: real items get imaginary part 0.
static const double *as_pairs(const Operand &o, Work<double> *copy) {
    if (o.type == T_COMPLEX) return o.pairs();
    if (copy->take(2 * o.count)) return nullptr;
    for (i64 i = 0; i < o.count; i++) {
        (*copy)[2 * i] = o.real(i);
        (*copy)[2 * i + 1] = 0;
    }
    return copy->p;
}

// How two operands are compared: the class both are read as, or none
// (they can never match).
enum SearchClass { NEVER, WORDS, FLOATS, PAIRS, CHARS };

static SearchClass search_class(i64 tx, i64 ty) {
    i64 max = tx > ty ? tx : ty;
    if (max == T_COMPLEX) return PAIRS;
    if (max <= T_FLOAT) return max == T_FLOAT ? FLOATS : WORDS;
    if (tx != ty || max == T_LIST) return NEVER;
    if (max == T_CHAR) return CHARS;
    return max == T_DATETIME ? FLOATS : WORDS;
}

// ---- Membership -----------------------------------------------------------------------------

static int member_of_class(SearchClass c, const Operand &x, const Operand &y, i64 *found) {
    i64 m = x.count, n = y.count;
    if (c == NEVER || n == 0) {
        std::fill(found, found + m, 0);
        return 0;
    }
    Work<double> cx, cy;
    switch (c) {
    case WORDS: return member_words(x.ints(), m, y.ints(), n, found);
    case CHARS: return member_chars(x.chars(), m, y.chars(), n, found);
    case FLOATS: {
        const double *a = as_floats(x, &cx), *b = as_floats(y, &cy);
        if (!a || !b) return VEK_WS_FULL;
        return member_floats(a, m, b, n, found);
    }
    default: {
        const double *a = as_pairs(x, &cx), *b = as_pairs(y, &cy);
        if (!a || !b) return VEK_WS_FULL;
        return member_pairs(a, m, b, n, found);
    }
    }
}

int prim_member(i64, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    if (x.type > T_TIME || y.type > T_TIME) return fail(VEK_DOMAIN);
    SearchClass c = search_class(x.type, y.type);
    if (c == PAIRS && (x.type == T_CHAR || y.type == T_CHAR)) return fail(VEK_DOMAIN);
    Shape s;
    shape_of(&s, &x);
    Result z;
    if (begin_result(&z, result_slot, T_BOOL, s, &x, &y, true)) return (int)error_number;
    if (member_of_class(c, x, y, z.ints())) return fail(VEK_WS_FULL);
    return 0;
}

// ---- Index-of ---------------------------------------------------------------------------------

static int index_of_class(SearchClass c, const Operand &x, const Operand &y, i64 origin, i64 *out) {
    i64 n = x.count, m = y.count;
    bool unlike = x.type != y.type && (x.type > T_FLOAT || y.type > T_FLOAT);
    if (c == NEVER || unlike || n == 0) {
        std::fill(out, out + m, origin + n);
        return 0;
    }
    Work<double> cx, cy;
    switch (c) {
    case WORDS: return index_of_words(x.ints(), n, y.ints(), m, origin, out);
    case CHARS: return index_of_chars(x.chars(), n, y.chars(), m, origin, out);
    case PAIRS: return index_of_pairs(x.pairs(), n, y.pairs(), m, origin, out);
    default: {
        const double *a = as_floats(x, &cx), *b = as_floats(y, &cy);
        if (!a || !b) return VEK_WS_FULL;
        if (x.type == y.type) return index_of_floats(a, n, b, m, origin, out);
        return index_of_floats_exact(a, n, b, m, origin, out);
    }
    }
}

static bool is_keyed(i64 t) { return t == T_DICT || t == T_TABLE; }

int prim_index_of(i64, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    i64 origin;
    if (index_origin(&origin)) return VEK_IO;
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    if (is_keyed(x.type) || is_keyed(y.type)) {
        if (is_keyed(x.type) && lc < 0 && (y.type == T_LIST || y.type == T_TABLE))
            return table_index_of(result_slot, lc, lv, rc, rv, origin);
        return fail(VEK_DOMAIN);
    }
    if (x.type == T_ENUM) return enum_index_of(result_slot, lc, lv, rc, rv, origin);
    if (x.type > T_TIME || y.type > T_TIME || x.type == T_LIST || y.type == T_LIST) return fail(VEK_DOMAIN);
    if (x.rank > 1) return fail(VEK_RANK);
    Shape s;
    shape_of(&s, &y);
    Result z;
    if (begin_result(&z, result_slot, T_INT, s, &x, &y, true)) return (int)error_number;
    if (index_of_class(search_class(x.type, y.type), x, y, origin, z.ints())) return fail(VEK_WS_FULL);
    return 0;
}

void register_search_primitives() {
    register_primitive(P_MEMBER, 2, prim_member);
    register_primitive(P_INDEX_OF, 2, prim_index_of);
}
