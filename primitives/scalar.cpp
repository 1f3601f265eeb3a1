// The scalar functions: dyadic arithmetic, monadic arithmetic and the
// comparisons.
//
// Ledger
// - Dyadic arithmetic (+ - * % ~. _. *. %. | |. @): boolean, integer, float
//   and complex operands of any rank; a single item extends over the other
//   side. Integer results for + - * max min residue binomial on integers;
//   float for divide, log and power; complex where the items need it (log
//   or power of a negative, circle functions). Time operands go to the time
//   family (+ and - only), dictionaries to the dictionary family.
//   Fast paths: the whole-array kernels of scalar_kernels.cpp, with the
//   single item passed as a stride-0 array (no extension copy); two real
//   items held inline go by the kernels' item rules straight into the
//   result item (no views, shapes or allocation), except where the type
//   depends on the values (log, circle, binomial, power of a negative).
//   Refuses: lists, chars, symbols (1); max, min and binomial of complex
//   (1); binomial of non-integers (1); circle selectors outside -12..11
//   (1); ranks that differ (2), dimensions that differ (3).
// - Monadic arithmetic (identity, negate, signum, reciprocal, ceiling,
//   floor, exp, ln, magnitude, factorial, pi times): float results demoted
//   to integer where whole. Refuses: non-numbers (1); reciprocal or log of
//   0 (1); factorial of a negative or non-integer (1), of complex (43).
// - Comparisons (< <= >= > ~= =): exact on numbers, chars, symbols and time
//   values of one kind; = and ~= between unlike kinds are constant, and
//   compare enumerations by the domain items they stand for. Fast path:
//   two real items held inline, as for arithmetic. Refuses:
//   ordering of unlike kinds or of complex (1); lists and keyed values (1).
#include "primitives/scalar_kernels.h"
#include "primitives/prim.h"
#include "primitives/time.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "core/keyed.h"
#include <cmath>
#include <cstring>

// Provided by the dictionary family.
int dict_scalar_dyadic(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);

static bool is_int_class(i64 t) { return t == T_BOOL || t == T_INT; }
static bool is_number(i64 t) { return t <= T_FLOAT || t == T_COMPLEX; }

// ---- Shapes ---------------------------------------------------------------------------

// Shape agreement: a single item (rank 0, or a vector of one item) takes the
// other's shape; otherwise ranks and every dimension must agree.
static int agree_shapes(Shape *s, const Operand &l, const Operand &r) {
    if (l.single && r.single) {
        shape_of(s, l.rank >= r.rank ? &l : &r);
        return 0;
    }
    if (l.single) { shape_of(s, &r); return 0; }
    if (r.single) { shape_of(s, &l); return 0; }
    if (l.rank != r.rank) return fail(VEK_RANK);
    for (i64 k = 0; k < l.rank; k++)
        if (l.dim(k) != r.dim(k)) return fail(VEK_LENGTH);
    shape_of(s, &l);
    return 0;
}

// Every item of a scalar function's result is written by its kernel; an
// empty result is integer.
static int allocate_result(Result *z, i64 slot, i64 type, const Shape &s, Operand *l, Operand *r) {
    if (s.count() == 0) type = T_INT;
    return begin_result(z, slot, type, s, l, r, true);
}

int conform_scalar_dyadic(Result *z, i64 result_slot, i64 type, Operand *l, Operand *r) {
    Shape s;
    if (agree_shapes(&s, *l, *r)) return (int)error_number;
    return allocate_result(z, result_slot, type, s, l, r);
}

// Complex pairs of a numeric operand; real items are converted into a
// scratch block (one pair for a single item); nullptr for no items or when
// the block cannot be had.
static const double *complex_items(const Operand &w) {
    if (w.type == T_COMPLEX) return w.pairs();
    i64 n = w.single ? 1 : w.count;
    if (n <= 0) return nullptr;
    double *pairs = (double *)scratch_alloc(T_COMPLEX, n);
    if (!pairs) return nullptr;
    for (i64 i = 0; i < n; i++) {
        pairs[2 * i] = w.real(i);
        pairs[2 * i + 1] = 0;
    }
    return pairs;
}

static const double *complex_item(const Operand &w, i64 i, double *tmp) {
    if (w.type == T_COMPLEX) return w.pairs() + 2 * (w.single ? 0 : i);
    tmp[0] = w.real(i);
    tmp[1] = 0;
    return tmp;
}

// ---- Dyadic arithmetic -------------------------------------------------------------------

// The data-dependent checks that decide the type or fail before anything is
// allocated: the circle selector, negative logarithms and powers that need
// complex, and a non-zero complex divided by 0.
static bool circle_selectors_valid(const Operand &l) {
    if (!is_int_class(l.type)) return false;
    for (i64 i = 0; i < (l.single ? 1 : l.count); i++)
        if (l.ints()[i] < -12 || l.ints()[i] > 11) return false;
    return true;
}

static bool log_needs_complex(const Operand &r) {
    for (i64 i = 0; i < (r.single ? 1 : r.count); i++)
        if (r.real(i) < 0) return true;
    return false;
}

static bool power_needs_complex(const Operand &l, const Operand &r, i64 n) {
    for (i64 i = 0; i < n; i++)
        if (l.real(i) < 0 && r.real(i) < 1) return true;
    return false;
}

static bool complex_divides_by_zero(const Operand &l, const Operand &r, i64 n) {
    double a[2], b[2];
    for (i64 i = 0; i < n; i++) {
        const double *x = complex_item(l, i, a), *y = complex_item(r, i, b);
        if (y[0] == 0 && y[1] == 0 && (x[0] != 0 || x[1] != 0)) return true;
    }
    return false;
}

static i64 real_result_type(i64 code, i64 t) {
    switch (code) {
    case P_DIVIDE: case P_LOG: case P_POWER: return T_FLOAT;
    case P_CIRCLE: return T_COMPLEX;
    }
    return t < T_INT ? T_INT : t;
}

static int fill_real(i64 code, const Result &z, const Operand &l, const Operand &r) {
    bool lf = l.type == T_FLOAT, rf = r.type == T_FLOAT;
    i64 n = z.count;
    if (z.type == T_INT) return int_dyadic_array(code, n, z.ints(), l.ints(), l.single, r.ints(), r.single);
    double *zf = z.floats();
    if (lf && rf) return float_dyadic_array(code, n, zf, l.floats(), l.single, r.floats(), r.single);
    if (lf) return float_dyadic_mixed(code, n, zf, l.floats(), l.single, r.ints(), r.single);
    if (rf) return float_dyadic_mixed(code, n, zf, l.ints(), l.single, r.floats(), r.single);
    return float_dyadic_mixed(code, n, zf, l.ints(), l.single, r.ints(), r.single);
}

static int time_arithmetic(i64 code, i64 result_slot, Operand &l, Operand &r) {
    i64 tl = l.type, tr = r.type;
    bool both_times = tl > T_INT && tr > T_INT;
    i64 type;
    if (both_times) {
        if (tl != tr) return fail(VEK_TYPE);
        if (code != P_MINUS) return fail(VEK_TIME_FORMAT);
        type = tl == T_DATETIME ? T_FLOAT : T_INT;
    } else {
        if (code == P_MINUS && !is_time_type(tl)) return fail(VEK_DOMAIN);
        if (code != P_PLUS && code != P_MINUS) return fail(VEK_TIME_FORMAT);
        type = is_time_type(tl) ? tl : tr;
    }
    Shape s;
    Result z;
    if (agree_shapes(&s, l, r)) return (int)error_number;
    if (allocate_result(&z, result_slot, type, s, &l, &r)) return (int)error_number;
    if (z.count == 0) return 0;
    i64 status;
    if (both_times) {
        status = time_difference_array(tl, z.count, z.data, l.data, l.single, r.data, r.single);
    } else {
        const Operand &t = is_time_type(tl) ? l : r, &k = is_time_type(tl) ? r : l;
        status = add_to_time_array(code, z.type, z.count, z.data, t.data, t.single, k.ints(), k.single);
    }
    return status ? fail((int)(status + 30)) : 0;
}

static int complex_arithmetic(i64 code, i64 result_slot, Operand &l, Operand &r, const Shape &s) {
    Result z;
    if (allocate_result(&z, result_slot, T_COMPLEX, s, &l, &r)) return (int)error_number;
    if (z.count == 0) return 0;
    const double *x = complex_items(l), *y = complex_items(r);
    if (!x || !y) return VEK_WS_FULL;
    if (complex_dyadic_array(code, z.count, z.floats(), x, l.single, y, r.single)) return fail(VEK_DOMAIN);
    return demote_descriptor(z.desc()) ? (int)error_number : 0;
}

int scalar_dyadic(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    if ((code & 1) == 0 || code < P_PLUS || code > P_CIRCLE) return fail(VEK_DOMAIN);
    Operand l, r;
    if (read_operand(&l, lc, lv) || read_operand(&r, rc, rv)) return VEK_VALUE;
    i64 t = l.type > r.type ? l.type : r.type;
    if (l.type == T_LIST || r.type == T_LIST) return fail(VEK_DOMAIN);
    if (t == T_DICT) return dict_scalar_dyadic(code, result_slot, lc, lv, rc, rv);
    if (is_time_type(t)) return time_arithmetic(code, result_slot, l, r);
    if (!is_number(l.type) || !is_number(r.type)) return fail(VEK_DOMAIN);

    // Operand types and circle selectors are refused before the shapes are
    // looked at: a domain error wins over a length error.
    if (t == T_COMPLEX && (code == P_MAX || code == P_MIN || code == P_BINOMIAL)) return fail(VEK_DOMAIN);
    if (code == P_BINOMIAL && !(is_int_class(l.type) && is_int_class(r.type))) return fail(VEK_DOMAIN);
    if (code == P_CIRCLE && !circle_selectors_valid(l)) return fail(VEK_DOMAIN);
    Shape s;
    if (agree_shapes(&s, l, r)) return (int)error_number;
    i64 n = s.count();
    if (t == T_COMPLEX) {
        if (code == P_DIVIDE && complex_divides_by_zero(l, r, n)) return fail(VEK_DOMAIN);
        return complex_arithmetic(code, result_slot, l, r, s);
    }
    i64 type = real_result_type(code, t);
    if ((code == P_LOG && log_needs_complex(r)) || (code == P_POWER && power_needs_complex(l, r, n)))
        type = T_COMPLEX;
    if (type == T_COMPLEX) return complex_arithmetic(code, result_slot, l, r, s);

    Result z;
    if (allocate_result(&z, result_slot, type, s, &l, &r)) return (int)error_number;
    if (z.count == 0) return 0;
    if (fill_real(code, z, l, r)) return fail(VEK_DOMAIN);
    return 0;
}

// ---- Monadic arithmetic ---------------------------------------------------------------------

static double real_monadic_item(i64 code, double y) {
    switch (code) {
    case P_CONJUGATE: return y;
    case P_NEGATE: return -y;
    case P_SIGNUM: return y > 0 ? 1.0 : y < 0 ? -1.0 : 0.0;
    case P_RECIPROCAL: return 1.0 / y;
    case P_CEILING: return std::ceil(y);
    case P_FLOOR: return std::floor(y);
    case P_EXP: return std::exp(y);
    case P_LN: return std::log(y);
    case P_MAGNITUDE: return std::fabs(y);
    case P_FACTORIAL: return factorial_double(double_to_int_checked(y));
    case P_PI_TIMES: return 3.141592653589793 * y;
    }
    return y;
}

static int monadic_checks(i64 code, const Operand &w, bool *complex_result) {
    i64 n = w.single ? 1 : w.count;
    *complex_result = w.type == T_COMPLEX;
    if (w.type == T_COMPLEX) {
        if (code == P_FACTORIAL) return fail(VEK_NOT_IMPLEMENTED);
        if (code == P_RECIPROCAL || code == P_LN) {
            // 0j0 has no reciprocal or logarithm, as for a real 0.
            for (i64 i = 0; i < n; i++) {
                const double *z = w.pairs() + 2 * i;
                if (z[0] == 0 && z[1] == 0) return fail(VEK_DOMAIN);
            }
        }
        return 0;
    }
    if (code == P_FACTORIAL && !is_int_class(w.type)) return fail(VEK_DOMAIN);
    for (i64 i = 0; i < n; i++) {
        double y = w.real(i);
        if ((code == P_RECIPROCAL || code == P_LN) && y == 0) return fail(VEK_DOMAIN);
        if (code == P_FACTORIAL && y < 0) return fail(VEK_DOMAIN);
        if (code == P_LN && y < 0) *complex_result = true;
    }
    return 0;
}

int scalar_monadic(i64 code, i64 result_slot, i64 rc, i64 rv) {
    if ((code & 1) || code < P_CONJUGATE || code > P_PI_TIMES) return fail(VEK_DOMAIN);
    Operand w;
    if (read_operand(&w, rc, rv)) return VEK_VALUE;
    if (!is_number(w.type)) return fail(VEK_DOMAIN);
    bool complex_result;
    if (monadic_checks(code, w, &complex_result)) return (int)error_number;
    Shape s;
    shape_of(&s, &w);
    Result z;
    if (allocate_result(&z, result_slot, complex_result ? T_COMPLEX : T_FLOAT, s, &w, nullptr)) return (int)error_number;
    if (z.count == 0) return 0;
    if (complex_result) {
        const double *x = complex_items(w);
        if (!x) return VEK_WS_FULL;
        complex_monadic(code, z.count, z.floats(), x);
    } else
        for (i64 i = 0; i < z.count; i++) z.floats()[i] = real_monadic_item(code, w.real(i));
    return demote_descriptor(z.desc()) ? (int)error_number : 0;
}

// ---- Comparisons -------------------------------------------------------------------------------

static int compare_items(i64 code, const Result &z, const Operand &l, const Operand &r) {
    i64 tl = l.type, tr = r.type, n = z.count;
    i64 *out = z.ints();
    if (tl == T_COMPLEX || tr == T_COMPLEX) {
        const double *x = complex_items(l), *y = complex_items(r);
        if (n > 0 && (!x || !y)) return VEK_WS_FULL;
        return complex_equal_array(code, n, out, x, l.single, y, r.single);
    }
    if (tl == T_CHAR)
        return compare_mixed(code, n, out, (const signed char *)l.chars(), l.single,
                             (const signed char *)r.chars(), r.single);
    bool lf = tl == T_FLOAT || tl == T_DATETIME, rf = tr == T_FLOAT || tr == T_DATETIME;
    if (lf && rf) return float_compare_array(code, n, out, l.floats(), l.single, r.floats(), r.single, 0);
    if (lf) return compare_int_float(code, n, out, r.ints(), r.single, l.floats(), l.single, 0);
    if (rf) return compare_int_float(code, n, out, l.ints(), l.single, r.floats(), r.single, 1);
    return int_compare_array(code, n, out, l.ints(), l.single, r.ints(), r.single);
}

// Enumerations compare by the domain items their positions stand for.
static int enum_compare(i64 code, i64 result_slot, Operand &l, Operand &r);

int prim_compare(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    if (code < P_LESS || code > P_EQUAL) return fail(VEK_DOMAIN);
    Operand l, r;
    if (read_operand(&l, lc, lv) || read_operand(&r, rc, rv)) return VEK_VALUE;
    i64 t = l.type > r.type ? l.type : r.type;
    bool equality = code == P_EQUAL || code == P_NOT_EQUAL;
    if (t == T_ENUM && equality) return enum_compare(code, result_slot, l, r);
    if (t > T_TIME || l.type == T_LIST || r.type == T_LIST) return fail(VEK_DOMAIN);
    bool different = l.type != r.type;
    bool constant = false;
    if (t == T_COMPLEX) {
        if (!equality) return fail(VEK_DOMAIN);
        constant = l.type == T_CHAR || r.type == T_CHAR;
    } else if (t == T_CHAR || t == T_SYMBOL || t >= T_MONTH) {
        if (different && !equality) return fail(VEK_DOMAIN);
        constant = different;
    }
    Shape s;
    Result z;
    if (agree_shapes(&s, l, r)) return (int)error_number;
    if (begin_result(&z, result_slot, T_BOOL, s, &l, &r, true)) return (int)error_number;
    if (z.count == 0) return 0;
    if (constant) {
        for (i64 i = 0; i < z.count; i++) z.ints()[i] = code == P_NOT_EQUAL;
        return 0;
    }
    if (compare_items(code, z, l, r)) return fail(VEK_DOMAIN);
    return 0;
}

// ---- Enumeration equality ------------------------------------------------------------------------

struct EnumSide {
    const i64 *positions;   // null for a plain operand
    const ValueDescriptor *domain;
    i64 type;               // the type of the items the operand stands for
    const Operand *plain;
};

// Item i of an enumeration side as one 64-bit word or double; false when the
// position lies outside the domain.
static bool enum_item(const EnumSide *e, i64 i, i64 *word, double *real) {
    const ValueDescriptor *dom = e->domain;
    i64 p = e->positions[i];
    if (!dom || p < 0 || p >= dom->count) return false;
    const void *data = value_data((ValueDescriptor *)dom);
    if (dom->type == T_FLOAT || dom->type == T_DATETIME) *real = ((const double *)data)[p];
    else if (dom->type == T_CHAR) *word = ((const signed char *)data)[p];
    else *word = ((const i64 *)data)[p];
    return true;
}

static int enum_compare(i64 code, i64 result_slot, Operand &l, Operand &r) {
    Operand *o[2] = {&l, &r};
    EnumSide side[2];
    for (int k = 0; k < 2; k++) {
        if (o[k]->rank > 1) return fail(VEK_RANK);
        side[k].positions = nullptr;
        side[k].domain = nullptr;
        side[k].plain = o[k];
        side[k].type = o[k]->type;
        if (o[k]->type == T_ENUM) {
            side[k].domain = enum_domain(o[k]->desc());   // by its name, now
            side[k].type = side[k].domain ? side[k].domain->type : -1;
        }
        // Lists, keyed values and complex numbers as underlying items are not
        // compared.
        if (side[k].type < 0 || side[k].type == T_LIST || side[k].type == T_COMPLEX || side[k].type > T_TIME)
            return fail(VEK_DOMAIN);
        if (side[k].type == T_BOOL) side[k].type = T_INT;
    }
    if (!l.single && !r.single && l.count != r.count) return fail(VEK_LENGTH);
    Shape s;
    shape_of(&s, l.single ? &r : &l);
    if (l.single && r.single) s.rank = l.rank > r.rank ? l.rank : r.rank;
    if (s.rank == 1) s.dims[0] = l.single ? r.count : l.count;
    Result z;
    if (begin_result(&z, result_slot, T_BOOL, s, &l, &r, true)) return (int)error_number;
    if (z.count == 0) return 0;
    // positions are read after the allocation, which may have moved them
    for (int k = 0; k < 2; k++)
        if (o[k]->type == T_ENUM) side[k].positions = enum_positions(o[k]->desc());
    i64 want = code == P_EQUAL;
    bool same_type = side[0].type == side[1].type;
    for (i64 i = 0; i < z.count; i++) {
        i64 w[2] = {0, 0};
        double f[2] = {0, 0};
        bool equal = same_type;
        for (int k = 0; k < 2 && equal; k++) {
            const Operand *pv = side[k].plain;
            i64 at = pv->single ? 0 : i;
            if (side[k].positions) equal = enum_item(&side[k], at, &w[k], &f[k]);
            else if (side[k].type == T_FLOAT || side[k].type == T_DATETIME) f[k] = pv->real(at);
            else w[k] = pv->type == T_CHAR ? ((const signed char *)pv->chars())[at] : pv->ints()[at];
        }
        if (equal) equal = w[0] == w[1] && (f[0] == f[1] || (f[0] != f[0] && f[1] != f[1]));
        z.ints()[i] = equal == (want != 0);
    }
    return 0;
}

// ---- Single items -------------------------------------------------------------------------------
// Two items of the real types held inline (the commonest case in a loop):
// the result item comes straight from the item rules the kernels apply,
// with neither views, shapes nor an allocation. Anything whose type
// depends on the values (logarithm, circle, binomial, a power that needs
// complex) takes the general path.

static void single_result(ValueDescriptor *z, i64 type, i64 rank, i64 item) {
    *z = {type, rank, item, 0, 0, 1, 0, &z->dim0};
}

static double real_item(const ValueDescriptor *d) {
    double x;
    memcpy(&x, &d->dim0, sizeof x);
    return d->type == T_FLOAT ? x : (double)d->dim0;
}

// The integer item: sums, differences and products within 2^53 are exact
// as they stand (the rule rounds only larger ones through a double), so
// only those beyond go to the item kernel.
static i64 single_int_item(i64 code, i64 x, i64 y) {
    const uint64_t limit = (uint64_t)1 << 53;
    uint64_t a = (uint64_t)x, b = (uint64_t)y;
    i64 r;
    switch (code) {
    case P_PLUS: r = (i64)(a + b); break;
    case P_MINUS: r = (i64)(a - b); break;
    case P_TIMES: r = (i64)(a * b); break;
    default: return int_dyadic_kernel(code, x, y);
    }
    return (uint64_t)r + limit <= 2 * limit ? r : int_dyadic_kernel(code, x, y);
}

static bool single_arithmetic(i64 code, const ValueDescriptor *l, const ValueDescriptor *r, ValueDescriptor *z) {
    i64 rank = l->rank > r->rank ? l->rank : r->rank;
    // booleans and integers: an integer item for all but the float codes
    if (l->type <= T_INT && r->type <= T_INT && code != P_DIVIDE && code != P_POWER && code != P_LOG &&
        code != P_CIRCLE && code != P_BINOMIAL) {
        single_result(z, T_INT, rank, single_int_item(code, l->dim0, r->dim0));
        return true;
    }
    // otherwise the result is a float
    if (l->type > T_FLOAT || r->type > T_FLOAT) return false;
    if (code == P_LOG || code == P_CIRCLE || code == P_BINOMIAL) return false;
    double x = real_item(l), y = real_item(r), item;
    if (code == P_POWER && x < 0 && y < 1) return false;
    item = float_dyadic_kernel(code, x, y);
    i64 word;
    memcpy(&word, &item, sizeof word);
    single_result(z, T_FLOAT, rank, word);
    return true;
}

// The comparison rules of the kernels: "not greater" and "not less" for
// the or-equal forms (so both hold when an item is NaN), and two NaNs equal.
template <class T>
static i64 compare_pair(i64 code, T a, T b) {
    switch (code) {
    case P_LESS: return a < b;
    case P_GREATER: return a > b;
    case P_LESS_EQ: return !(a > b);
    case P_GREATER_EQ: return !(a < b);
    case P_EQUAL: return a == b || (a != a && b != b);
    default: return !(a == b || (a != a && b != b));
    }
}

static bool single_compare(i64 code, const ValueDescriptor *l, const ValueDescriptor *r, ValueDescriptor *z) {
    if (l->type > T_FLOAT || r->type > T_FLOAT) return false;
    i64 item = l->type != T_FLOAT && r->type != T_FLOAT ? compare_pair(code, l->dim0, r->dim0)
                                                         : compare_pair(code, real_item(l), real_item(r));
    single_result(z, T_BOOL, l->rank > r->rank ? l->rank : r->rank, item);
    return true;
}

// ---- Registration ------------------------------------------------------------------------------------

static int monadic_entry(i64 code, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    return scalar_monadic(code, result_slot, rc, rv);
}

void register_scalar_primitives() {
    for (i64 code = P_CONJUGATE; code <= P_PI_TIMES; code += 2) register_primitive(code, 1, monadic_entry);
    for (i64 code = P_PLUS; code <= P_CIRCLE; code += 2) register_primitive(code, 2, scalar_dyadic);
    register_primitive_range(P_LESS, P_EQUAL, 2, prim_compare);
    for (i64 code = P_PLUS; code <= P_CIRCLE; code += 2) register_single_item(code, 2, single_arithmetic);
    for (i64 code = P_LESS; code <= P_EQUAL; code++) register_single_item(code, 2, single_compare);
}
