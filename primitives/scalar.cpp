// The scalar-function handlers: dyadic arithmetic, monadic arithmetic and
// the comparisons. Each decides the result type from the operand types (and,
// where the language says so, from the data), agrees the shapes, allocates
// the result and hands the typed arrays to the whole-array kernels.
#include "primitives/scalar_kernels.h"
#include "primitives/primitives.h"
#include "core/arena.h"
#include "core/operands.h"
#include "core/tables.h"
#include "core/valueops.h"
#include <cmath>
#include <cstring>

// Provided by the time and dictionary modules.
extern i64 time_status;
i64 add_to_time_value(i64 op, i64 type, i64 value, i64 count);
double add_to_datetime_value(i64 op, double datetime, i64 milliseconds);
i64 time_value_difference(i64 type, i64 a, i64 b);
double datetime_difference(double a, double b);
int dict_scalar_dyadic(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);

static int fail(int e) { return (int)(error_number = e); }
static ValueDescriptor *result_descriptor(i64 slot) { return &value_slot_table[slot]; }
static bool is_int_class(i64 t) { return t == T_BOOL || t == T_INT; }
static bool is_number(i64 t) { return t <= T_FLOAT || t == T_COMPLEX; }

// ---- Shapes ---------------------------------------------------------------------------

struct ResultShape { i64 rank, count, d0, d1; };

static void shape_of(ResultShape *s, const ValueDescriptor *d, i64 rank) {
    s->rank = rank;
    s->count = d->count;
    s->d0 = d->rank >= 2 ? d->dim0 : d->count;
    s->d1 = d->rank >= 2 ? d->dim1 : 0;
}

// Shape agreement of two bound operands: a single item (rank 0, or a vector
// of one item) takes the other's shape; otherwise ranks and every dimension
// must agree.
static int agree_shapes(ResultShape *s, const ValueDescriptor *l, const ValueDescriptor *r) {
    i64 rank = l->rank > r->rank ? l->rank : r->rank;
    if (OPL.is_scalar) { shape_of(s, r, rank); return 0; }
    if (OPR.is_scalar) { shape_of(s, l, rank); return 0; }
    if (l->rank != r->rank) return fail(2);
    for (i64 k = 0; k < l->rank; k++)
        if (value_dimension(l, k) != value_dimension(r, k)) return fail(3);
    shape_of(s, l, l->rank);
    return 0;
}

static int allocate_result(i64 slot, i64 type, const ResultShape *s) {
    if (s->count == 0) type = T_INT;
    result_descriptor(slot)->type = type;
    OPZ.type = type;
    // Every item of a scalar function's result is written by its kernel.
    chunk_fully_written = true;
    int e = alloc_slot_value(slot, type, s->rank, s->count);
    chunk_fully_written = false;
    if (e) return fail(e);
    set_slot_shape(slot, s->rank, s->count, s->d0, s->d1);
    return 0;
}

int conform_scalar_dyadic(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    ResultShape s;
    if (agree_shapes(&s, operand_descriptor(lc, lv), operand_descriptor(rc, rv))) return (int)error_number;
    return allocate_result(result_slot, OPZ.type, &s);
}

// ---- Operand views ----------------------------------------------------------------------
// A view is the operand's items as the kernels want them; a single item is
// held in the view itself, so the result slot may be written freely.

struct View {
    i64 type, count;
    int single;
    i64 ivalue;
    double fvalue;
    double cvalue[2];
    const void *data;
};

static void make_view(View *w, i64 c, i64 v, const OperandSet *o) {
    ValueDescriptor *d = operand_descriptor(c, v);
    w->type = d->type;
    w->count = d->count;
    w->single = o->is_scalar ? 1 : 0;
    w->data = value_data(d);
    w->ivalue = 0;
    w->fvalue = 0;
    w->cvalue[0] = w->cvalue[1] = 0;
    if (w->single && w->data) {
        if (d->type == T_COMPLEX) memcpy(w->cvalue, w->data, 16);
        else if (d->type == T_FLOAT || d->type == T_DATETIME) w->fvalue = *(const double *)w->data;
        else if (d->type == T_CHAR) w->ivalue = *(const signed char *)w->data;
        else w->ivalue = *(const i64 *)w->data;
    }
}

// Re-reads the data address after an allocation (which may move heap blocks
// or, when the result slot is the operand, replace them). An operand that is
// the result slot itself is copied aside first.
static void protect_view(View *w, i64 c, i64 v, i64 result_slot) {
    if (w->single || w->count <= 0 || c >= 0 || v != result_slot) return;
    i64 bytes = data_bytes(w->type, w->count);
    void *copy = scratch_alloc(T_CHAR, bytes);
    memcpy(copy, w->data, (size_t)bytes);
    w->data = copy;
}

static void refresh_view(View *w, i64 c, i64 v, i64 result_slot) {
    if (w->single || w->count <= 0 || (c < 0 && v == result_slot)) return;
    w->data = value_data(operand_descriptor(c, v));
}

static const i64 *int_items(const View *w) { return w->single ? &w->ivalue : (const i64 *)w->data; }
static const double *float_items(const View *w) { return w->single ? &w->fvalue : (const double *)w->data; }

// Complex pairs of a numeric view; real items are converted into a scratch
// block (one pair for a single item).
static const double *complex_items(View *w) {
    if (w->type == T_COMPLEX) return w->single ? w->cvalue : (const double *)w->data;
    if (w->single) {
        w->cvalue[0] = w->type == T_FLOAT ? w->fvalue : (double)w->ivalue;
        w->cvalue[1] = 0;
        return w->cvalue;
    }
    double *pairs = (double *)scratch_alloc(T_COMPLEX, w->count);
    for (i64 i = 0; i < w->count; i++) {
        pairs[2 * i] = w->type == T_FLOAT ? ((const double *)w->data)[i] : (double)((const i64 *)w->data)[i];
        pairs[2 * i + 1] = 0;
    }
    return pairs;
}

// Item i of a real numeric view as a double (single items repeat).
static double real_item(const View *w, i64 i) {
    if (w->single) return w->type == T_FLOAT ? w->fvalue : (double)w->ivalue;
    return w->type == T_FLOAT ? ((const double *)w->data)[i] : (double)((const i64 *)w->data)[i];
}

static const double *complex_item(const View *w, i64 i, double *tmp) {
    if (w->type == T_COMPLEX) return w->single ? w->cvalue : (const double *)w->data + 2 * i;
    tmp[0] = real_item(w, w->single ? 0 : i);
    tmp[1] = 0;
    return tmp;
}

// ---- Dyadic arithmetic -------------------------------------------------------------------

// The data-dependent checks that decide the type or fail before anything is
// allocated: the circle selector, negative logarithms and powers that need
// complex, and a non-zero complex divided by 0.
static bool circle_selectors_valid(const View *l, i64 n) {
    if (!is_int_class(l->type)) return false;
    const i64 *k = int_items(l);
    for (i64 i = 0; i < (l->single ? 1 : n); i++)
        if (k[i] < -12 || k[i] > 11) return false;
    return true;
}

static bool log_needs_complex(const View *r, i64 n) {
    for (i64 i = 0; i < (r->single ? 1 : n); i++)
        if (real_item(r, i) < 0) return true;
    return false;
}

static bool power_needs_complex(const View *l, const View *r, i64 n) {
    for (i64 i = 0; i < n; i++)
        if (real_item(l, i) < 0 && real_item(r, i) < 1) return true;
    return false;
}

static bool complex_divides_by_zero(const View *l, const View *r, i64 n) {
    double a[2], b[2];
    for (i64 i = 0; i < n; i++) {
        const double *x = complex_item(l, i, a), *y = complex_item(r, i, b);
        if (y[0] == 0 && y[1] == 0 && (x[0] != 0 || x[1] != 0)) return true;
    }
    return false;
}

static i64 real_result_type(i64 code, i64 t) {
    switch (code) {
    case SC_DIVIDE: case SC_LOG: case SC_POWER: return T_FLOAT;
    case SC_CIRCLE: return T_COMPLEX;
    }
    return t < T_INT ? T_INT : t;
}

static int fill_real(i64 code, i64 type, i64 n, void *z, const View *l, const View *r) {
    bool lf = l->type == T_FLOAT, rf = r->type == T_FLOAT;
    if (type == T_INT)
        return int_dyadic_array(code, n, (i64 *)z, int_items(l), l->single, int_items(r), r->single);
    double *zf = (double *)z;
    if (lf && rf) return float_dyadic_array(code, n, zf, float_items(l), l->single, float_items(r), r->single);
    if (lf) return float_dyadic_mixed(code, n, zf, float_items(l), l->single, int_items(r), r->single);
    if (rf) return float_dyadic_mixed(code, n, zf, int_items(l), l->single, float_items(r), r->single);
    return float_dyadic_mixed(code, n, zf, int_items(l), l->single, int_items(r), r->single);
}

static int time_arithmetic(i64 code, i64 result_slot, View *l, View *r, i64 lc, i64 lv, i64 rc, i64 rv) {
    i64 tl = l->type, tr = r->type;
    bool both_times = tl > T_INT && tr > T_INT;
    i64 type;
    if (both_times) {
        if (tl != tr) return fail(7);
        if (code != SC_MINUS) return fail(31);
        type = tl == T_DATETIME ? T_FLOAT : T_INT;
    } else {
        if (code == SC_MINUS && !is_time_type(tl)) return fail(1);
        if (code != SC_PLUS && code != SC_MINUS) return fail(31);
        type = is_time_type(tl) ? tl : tr;
    }
    ResultShape s;
    if (agree_shapes(&s, operand_descriptor(lc, lv), operand_descriptor(rc, rv))) return (int)error_number;
    protect_view(l, lc, lv, result_slot);
    protect_view(r, rc, rv, result_slot);
    if (allocate_result(result_slot, type, &s)) return (int)error_number;
    refresh_view(l, lc, lv, result_slot);
    refresh_view(r, rc, rv, result_slot);
    void *z = value_data(result_descriptor(result_slot));
    time_status = 0;
    for (i64 i = 0; i < s.count && time_status == 0; i++) {
        i64 il = l->single ? 0 : i, ir = r->single ? 0 : i;
        if (both_times && tl == T_DATETIME) {
            ((double *)z)[i] = datetime_difference(float_items(l)[il], float_items(r)[ir]);
        } else if (both_times) {
            ((i64 *)z)[i] = time_value_difference(tl, int_items(l)[il], int_items(r)[ir]);
        } else {
            const View *t = is_time_type(tl) ? l : r, *k = is_time_type(tl) ? r : l;
            i64 count = int_items(k)[t == l ? ir : il];
            i64 it = t == l ? il : ir;
            if (type == T_DATETIME) ((double *)z)[i] = add_to_datetime_value(code, float_items(t)[it], count);
            else ((i64 *)z)[i] = add_to_time_value(code, type, int_items(t)[it], count);
        }
    }
    if (time_status) return fail((int)(time_status + 30));
    return 0;
}

static int complex_arithmetic(i64 code, i64 result_slot, View *l, View *r, i64 lc, i64 lv, i64 rc, i64 rv,
                              const ResultShape *s) {
    protect_view(l, lc, lv, result_slot);
    protect_view(r, rc, rv, result_slot);
    if (allocate_result(result_slot, T_COMPLEX, s)) return (int)error_number;
    if (s->count == 0) return 0;
    refresh_view(l, lc, lv, result_slot);
    refresh_view(r, rc, rv, result_slot);
    const double *x = complex_items(l), *y = complex_items(r);
    double *z = (double *)value_data(result_descriptor(result_slot));
    if (complex_dyadic_array(code, s->count, z, x, l->single, y, r->single)) return fail(1);
    return demote_descriptor(result_descriptor(result_slot)) ? (int)error_number : 0;
}

// Binds both operands, which must hold values, and makes their views.
static int bind_views(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv, View *l, View *r) {
    ValueDescriptor *ld = operand_descriptor(lc, lv), *rd = operand_descriptor(rc, rv);
    if (!ld || !rd || ld->rank < 0 || rd->rank < 0) return fail(4);
    bind_operands(0, 0, result_slot, lc, lv, rc, rv);
    make_view(l, lc, lv, &OPL);
    make_view(r, rc, rv, &OPR);
    return 0;
}

int scalar_dyadic(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    if ((code & 1) == 0 || code < SC_PLUS || code > SC_CIRCLE) return fail(1);
    View l, r;
    if (bind_views(result_slot, lc, lv, rc, rv, &l, &r)) return (int)error_number;
    i64 t = l.type > r.type ? l.type : r.type;
    if (l.type == T_LIST || r.type == T_LIST) return fail(1);
    if (t == T_DICT) return dict_scalar_dyadic(code, result_slot, lc, lv, rc, rv);
    if (is_time_type(t)) return time_arithmetic(code, result_slot, &l, &r, lc, lv, rc, rv);
    if (!is_number(l.type) || !is_number(r.type)) return fail(1);

    // Operand types and circle selectors are refused before the shapes are
    // looked at: a domain error wins over a length error.
    if (t == T_COMPLEX && (code == SC_MAX || code == SC_MIN || code == SC_BINOMIAL)) return fail(1);
    if (code == SC_BINOMIAL && !(is_int_class(l.type) && is_int_class(r.type))) return fail(1);
    if (code == SC_CIRCLE && !circle_selectors_valid(&l, l.count)) return fail(1);
    ResultShape s;
    if (agree_shapes(&s, operand_descriptor(lc, lv), operand_descriptor(rc, rv))) return (int)error_number;
    i64 n = s.count;
    if (t == T_COMPLEX) {
        if (code == SC_DIVIDE && complex_divides_by_zero(&l, &r, n)) return fail(1);
        return complex_arithmetic(code, result_slot, &l, &r, lc, lv, rc, rv, &s);
    }
    i64 type = real_result_type(code, t);
    if ((code == SC_LOG && log_needs_complex(&r, n)) || (code == SC_POWER && power_needs_complex(&l, &r, n)))
        type = T_COMPLEX;
    if (type == T_COMPLEX) return complex_arithmetic(code, result_slot, &l, &r, lc, lv, rc, rv, &s);

    protect_view(&l, lc, lv, result_slot);
    protect_view(&r, rc, rv, result_slot);
    if (allocate_result(result_slot, type, &s)) return (int)error_number;
    if (n == 0) return 0;
    refresh_view(&l, lc, lv, result_slot);
    refresh_view(&r, rc, rv, result_slot);
    if (fill_real(code, type, n, value_data(result_descriptor(result_slot)), &l, &r)) return fail(1);
    return 0;
}

// ---- Monadic arithmetic ---------------------------------------------------------------------

static double real_monadic_item(i64 code, double y) {
    switch (code) {
    case 44: return y;
    case 46: return -y;
    case 48: return y > 0 ? 1.0 : y < 0 ? -1.0 : 0.0;
    case 50: return 1.0 / y;
    case 52: return std::ceil(y);
    case 54: return std::floor(y);
    case 56: return std::exp(y);
    case 58: return std::log(y);
    case 60: return std::fabs(y);
    case 62: return factorial_double(double_to_int_checked(y));
    case 64: return 3.141592653589793 * y;
    }
    return y;
}

static int monadic_checks(i64 code, const View *w, bool *complex_result) {
    i64 n = w->single ? 1 : w->count;
    *complex_result = w->type == T_COMPLEX;
    if (w->type == T_COMPLEX) {
        if (code == 62) return fail(43);
        if (code == 50 || code == 58) {
            // 0j0 has no reciprocal or logarithm, as for a real 0.
            for (i64 i = 0; i < n; i++) {
                const double *z = w->single ? w->cvalue : (const double *)w->data + 2 * i;
                if (z[0] == 0 && z[1] == 0) return fail(1);
            }
        }
        return 0;
    }
    if (code == 62 && !is_int_class(w->type)) return fail(1);
    for (i64 i = 0; i < n; i++) {
        double y = real_item(w, i);
        if ((code == 50 || code == 58) && y == 0) return fail(1);
        if (code == 62 && y < 0) return fail(1);
        if (code == 58 && y < 0) *complex_result = true;
    }
    return 0;
}

int scalar_monadic(i64 code, i64 result_slot, i64 rc, i64 rv) {
    if ((code & 1) || code < 44 || code > 64) return fail(1);
    ValueDescriptor *rd = operand_descriptor(rc, rv);
    if (!rd || rd->rank < 0) return fail(4);
    bind_operands(0, 1, result_slot, -1, -1, rc, rv);
    View w;
    make_view(&w, rc, rv, &OPR);
    if (!is_number(w.type)) return fail(1);
    bool complex_result;
    if (monadic_checks(code, &w, &complex_result)) return (int)error_number;
    ResultShape s;
    shape_of(&s, rd, rd->rank);
    protect_view(&w, rc, rv, result_slot);
    if (allocate_result(result_slot, complex_result ? T_COMPLEX : T_FLOAT, &s)) return (int)error_number;
    i64 n = s.count;
    if (n == 0) return 0;
    refresh_view(&w, rc, rv, result_slot);
    void *z = value_data(result_descriptor(result_slot));
    if (complex_result) complex_monadic(code, n, (double *)z, complex_items(&w));
    else
        for (i64 i = 0; i < n; i++) ((double *)z)[i] = real_monadic_item(code, real_item(&w, i));
    return demote_descriptor(result_descriptor(result_slot)) ? (int)error_number : 0;
}

// ---- Comparisons -------------------------------------------------------------------------------

static int fill_constant(i64 result_slot, i64 value) {
    ValueDescriptor *d = result_descriptor(result_slot);
    i64 *z = (i64 *)value_data(d);
    for (i64 i = 0; i < d->count; i++) z[i] = value;
    return 0;
}

static int compare_views(i64 code, i64 n, i64 *z, View *l, View *r) {
    i64 tl = l->type, tr = r->type;
    if (tl == T_COMPLEX || tr == T_COMPLEX)
        return complex_equal_array(code, n, z, complex_items(l), l->single, complex_items(r), r->single);
    if (tl == T_CHAR) {
        signed char a = (signed char)l->ivalue, b = (signed char)r->ivalue;
        const signed char *x = l->single ? &a : (const signed char *)l->data;
        const signed char *y = r->single ? &b : (const signed char *)r->data;
        return compare_mixed(code, n, z, x, l->single, y, r->single);
    }
    bool lf = tl == T_FLOAT || tl == T_DATETIME, rf = tr == T_FLOAT || tr == T_DATETIME;
    if (lf && rf) return float_compare_array(code, n, z, float_items(l), l->single, float_items(r), r->single, 0);
    if (lf) return compare_int_float(code, n, z, int_items(r), r->single, float_items(l), l->single, 0);
    if (rf) return compare_int_float(code, n, z, int_items(l), l->single, float_items(r), r->single, 1);
    return int_compare_array(code, n, z, int_items(l), l->single, int_items(r), r->single);
}

// Enumerations compare by the domain items their positions stand for.
static int enum_compare(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);

int prim_compare(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    if (code < SC_LESS || code > SC_EQUAL) return fail(1);
    View l, r;
    if (bind_views(result_slot, lc, lv, rc, rv, &l, &r)) return (int)error_number;
    i64 t = l.type > r.type ? l.type : r.type;
    bool equality = code == SC_EQUAL || code == SC_NOT_EQUAL;
    if (t == T_ENUM && equality) return enum_compare(code, result_slot, lc, lv, rc, rv);
    if (t > T_TIME || l.type == T_LIST || r.type == T_LIST) return fail(1);
    bool different = l.type != r.type;
    bool constant = false;
    if (t == T_COMPLEX) {
        if (!equality) return fail(1);
        constant = l.type == T_CHAR || r.type == T_CHAR;
    } else if (t == T_CHAR || t == T_SYMBOL || t >= T_MONTH) {
        if (different && !equality) return fail(1);
        constant = different;
    }
    ResultShape s;
    if (agree_shapes(&s, operand_descriptor(lc, lv), operand_descriptor(rc, rv))) return (int)error_number;
    protect_view(&l, lc, lv, result_slot);
    protect_view(&r, rc, rv, result_slot);
    if (allocate_result(result_slot, T_BOOL, &s)) return (int)error_number;
    if (s.count == 0) return 0;
    if (constant) return fill_constant(result_slot, code == SC_NOT_EQUAL);
    refresh_view(&l, lc, lv, result_slot);
    refresh_view(&r, rc, rv, result_slot);
    i64 *z = (i64 *)value_data(result_descriptor(result_slot));
    if (compare_views(code, s.count, z, &l, &r)) return fail(1);
    return 0;
}

// ---- Enumeration equality ------------------------------------------------------------------------

struct EnumSide {
    const i64 *positions;   // null for a plain operand
    const ValueDescriptor *domain;
    i64 type;               // the type of the items the operand stands for
    View plain;
};

// The domain of an enumeration: a symbol vector, or the one key column of a
// keyed table. The enumeration refers to the domain variable's slot; a
// reference that is not a value slot gives no domain.
static const ValueDescriptor *enum_domain(const ValueDescriptor *d) {
    const ValueDescriptor *v = ((ValueDescriptor *const *)value_data((ValueDescriptor *)d))[1];
    if (v < value_slot_table || v >= value_slot_table + SLOT_COUNT || v->rank < 0) return nullptr;
    if (v->type == T_DICT && v->spare == 2) {
        const ValueDescriptor *key_table = (const ValueDescriptor *)v->data;
        const ValueDescriptor *columns = key_table && key_table->data ? (const ValueDescriptor *)key_table->data + 1 : nullptr;
        if (!columns || columns->type != T_LIST || columns->count < 1) return nullptr;
        v = (const ValueDescriptor *)columns->data;
    }
    return v;
}

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

static int enum_compare(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    ValueDescriptor *d[2] = {operand_descriptor(lc, lv), operand_descriptor(rc, rv)};
    const OperandSet *o[2] = {&OPL, &OPR};
    EnumSide side[2];
    for (int k = 0; k < 2; k++) {
        if (d[k]->rank > 1) return fail(2);
        side[k].positions = nullptr;
        side[k].domain = nullptr;
        make_view(&side[k].plain, k ? rc : lc, k ? rv : lv, o[k]);
        side[k].type = d[k]->type;
        if (d[k]->type == T_ENUM) {
            side[k].positions = (const i64 *)value_data(d[k]) + 2;
            side[k].domain = enum_domain(d[k]);
            side[k].type = side[k].domain ? side[k].domain->type : -1;
        }
        // Lists, keyed values and complex numbers as underlying items are not
        // compared.
        if (side[k].type < 0 || side[k].type == T_LIST || side[k].type == T_COMPLEX || side[k].type > T_TIME)
            return fail(1);
        if (side[k].type == T_BOOL) side[k].type = T_INT;
    }
    bool single[2] = {o[0]->is_scalar != 0, o[1]->is_scalar != 0};
    if (!single[0] && !single[1] && d[0]->count != d[1]->count) return fail(3);
    ResultShape s;
    shape_of(&s, single[0] ? d[1] : d[0], 1);
    if (single[0] && single[1]) s.rank = d[0]->rank > d[1]->rank ? d[0]->rank : d[1]->rank;
    if (allocate_result(result_slot, T_BOOL, &s)) return (int)error_number;
    if (s.count == 0) return 0;
    i64 *z = (i64 *)value_data(result_descriptor(result_slot));
    i64 want = code == SC_EQUAL;
    bool same_type = side[0].type == side[1].type;
    for (i64 i = 0; i < s.count; i++) {
        i64 w[2] = {0, 0};
        double f[2] = {0, 0};
        bool equal = same_type;
        for (int k = 0; k < 2 && equal; k++) {
            i64 at = single[k] ? 0 : i;
            if (side[k].positions) {
                equal = enum_item(&side[k], at, &w[k], &f[k]);
            } else if (side[k].type == T_FLOAT || side[k].type == T_DATETIME) {
                f[k] = real_item(&side[k].plain, at);
            } else {
                View *pv = &side[k].plain;
                w[k] = pv->single ? pv->ivalue
                       : pv->type == T_CHAR ? ((const signed char *)pv->data)[at] : ((const i64 *)pv->data)[at];
            }
        }
        if (equal) equal = w[0] == w[1] && (f[0] == f[1] || (f[0] != f[0] && f[1] != f[1]));
        z[i] = equal == (want != 0);
    }
    return 0;
}

// ---- Promoted operand copies for the operators ---------------------------------------------------

// The items of a bound operand register set, read by its type.
static const void *bound_items(const OperandSet *o) {
    if (o->type == T_COMPLEX) return o->complex_ptr;
    if (o->is_scalar) return o->type == T_FLOAT ? (const void *)&o->float_scalar : (const void *)&o->int_scalar;
    return o->type == T_FLOAT ? (const void *)o->float_data : (const void *)o->int_data;
}

static int promote_one(OperandSet *o, bool to_complex) {
    if (!is_number(o->type) || (o->type == T_COMPLEX && !to_complex)) return fail(1);
    i64 n = o->is_scalar ? 1 : o->count;
    if (n <= 0) {
        o->type = to_complex ? T_COMPLEX : T_FLOAT;
        return 0;
    }
    const void *items = bound_items(o);
    double *copy = (double *)scratch_alloc(to_complex ? T_COMPLEX : T_FLOAT, n);
    for (i64 i = 0; i < n; i++) {
        double re, im = 0;
        if (o->type == T_COMPLEX) { re = ((const double *)items)[2 * i]; im = ((const double *)items)[2 * i + 1]; }
        else if (o->type == T_FLOAT) re = ((const double *)items)[i];
        else re = (double)((const i64 *)items)[i];
        if (to_complex) { copy[2 * i] = re; copy[2 * i + 1] = im; }
        else copy[i] = re;
    }
    o->type = to_complex ? T_COMPLEX : T_FLOAT;
    o->int_data = nullptr;
    o->char_data = nullptr;
    o->float_data = copy;
    o->complex_ptr = to_complex ? copy : nullptr;
    o->data = copy;
    if (o->is_scalar && !to_complex) o->float_scalar = copy[0];
    o->marker = 0;   // the copy is not in the arena: compaction leaves it alone
    return 0;
}

int promote_operands_float(int which) {
    if ((which & 1) && promote_one(&OPL, false)) return (int)error_number;
    if ((which & 2) && promote_one(&OPR, false)) return (int)error_number;
    return 0;
}

int promote_operands_complex(int which) {
    if ((which & 1) && promote_one(&OPL, true)) return (int)error_number;
    if ((which & 2) && promote_one(&OPR, true)) return (int)error_number;
    return 0;
}

// ---- Registration ------------------------------------------------------------------------------------

static int monadic_entry(i64 code, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    return scalar_monadic(code, result_slot, rc, rv);
}

void register_scalar_primitives() {
    for (i64 code = 44; code <= 64; code += 2) register_primitive(code, 1, monadic_entry);
    for (i64 code = 45; code <= 65; code += 2) register_primitive(code, 2, scalar_dyadic);
    register_primitive_range(SC_LESS, SC_EQUAL, 2, prim_compare);
}
