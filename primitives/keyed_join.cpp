// Joins: merging dictionaries, appending rows to tables and keyed tables,
// joining the columns of two tables, catenating enumerations, and index-of
// through an enumeration.
//
// Ledger
// - d , e of two dictionaries: e's keys not in d are appended in e's order;
//   a key of both takes e's value. Refuses keys of different types (7).
// - t , rows: a table, a dictionary from the column names to a row's cells
//   (or to columns of new cells), or a general list of columns, appended as
//   rows; kt , kt2 and kt , list append key rows and value rows. Columns of
//   the left table keep their kind: numbers widen (boolean, integer, float,
//   complex), an enumeration column takes plain items of its domain's type
//   as positions, an enumeration appended to a plain column gives its items.
//   Refuses: other column names, a keyed table appended to a table, a list
//   of the wrong number of items (200); cells of other kinds (7);
//   enumerations over different domains (1); plain items outside an
//   enumeration's domain (203); a key row already there (201); columns of
//   different lengths (3); a table with anything else (7); other pairings (1).
// - t ,[k] u: the columns of u beside those of t (u's values where both
//   have a column). Refuses non-tables (1), different row counts (3).
// - e , f with an enumeration: one domain keeps the enumeration; other
//   domains give the items (the positions, as integers, when any lies
//   outside its domain); plain items of the domain's type are enumerated.
//   Refuses domains of different types, plain items of another type (7);
//   plain items outside the domain (1).
// - e ! y: for each item of y, where its domain position first occurs in e
//   ([]IO + the count of e when it does not).
// Fast paths: whole columns are copied with one typed loop; key positions
// and domain positions come from one hash search each.
#include "primitives/keyed.h"
#include "primitives/hash_index.h"
#include "primitives/search.h"
#include "core/tables.h"
#include "core/text_lists.h"
#include "core/valueops.h"
#include <cstring>
#include <vector>

static bool int_class(i64 t) { return t == T_BOOL || t == T_INT; }
static bool is_number(i64 t) { return t <= T_FLOAT || t == T_COMPLEX; }
static i64 number_rank(i64 t) { return t == T_BOOL ? 0 : t == T_INT ? 1 : t == T_FLOAT ? 2 : 3; }

// ---- Appending cells to a column -----------------------------------------------------------

// Cell i of a simple value as a complex pair.
static void cell_pair(const ValueDescriptor *v, i64 i, double *z) { element_as_complex(z, v, i); }

// b's cells after a's as a new column of `type` (a and b of number types).
static int append_numbers(ValueDescriptor *dst, i64 type, const ValueDescriptor *a, const ValueDescriptor *b, i64 bn) {
    if (new_vector(dst, type, a->count + bn)) return (int)error_number;
    const ValueDescriptor *part[2] = {a, b};
    i64 at = 0;
    for (int s = 0; s < 2; s++) {
        const ValueDescriptor *p = part[s];
        i64 n = s == 0 ? a->count : bn;
        bool single = s == 1 && p->count == 1 && bn != 1;
        for (i64 i = 0; i < n; i++, at++) {
            i64 j = single ? 0 : i;
            void *out = value_data(dst);
            if (type == T_COMPLEX) cell_pair(p, j, (double *)out + 2 * at);
            else if (type == T_FLOAT) {
                double z[2];
                cell_pair(p, j, z);
                ((double *)out)[at] = z[0];
            } else ((i64 *)out)[at] = ((const i64 *)value_data((ValueDescriptor *)p))[j];
        }
    }
    return 0;
}

// b (bn cells, or one cell for all) after a, both of a's kind.
static int append_same(ValueDescriptor *dst, const ValueDescriptor *a, const ValueDescriptor *b, i64 bn) {
    i64 n = a->count;
    if (a->type == T_LIST) {
        // the texts of a text column in one block
        bool done;
        memset(dst, 0, sizeof *dst);
        if (append_texts(dst, a, b, bn, &done)) return (int)error_number;
        if (done) return 0;
    }
    if (a->type == T_ENUM) {
        if (new_enum(dst, enum_domain_name(a), n + bn)) return (int)error_number;
    } else if (new_vector(dst, a->type, n + bn)) return (int)error_number;
    if (a->type == T_LIST) {
        for (i64 i = 0; i < n + bn; i++) {
            const ValueDescriptor *src = i < n ? &list_items(a)[i] : b->type == T_LIST ? &list_items(b)[b->count == 1 ? 0 : i - n] : b;
            if (copy_value_checked(&list_items(dst)[i], src, 1)) return (int)error_number;
        }
        return 0;
    }
    i64 size = cell_bytes(a->type);
    if (n) memcpy(cell_base(dst), cell_base(a), size * n);
    const char *in = cell_base(b);
    for (i64 i = 0; i < bn; i++) memcpy(cell_base(dst) + size * (n + i), in + size * (b->count == 1 ? 0 : i), size);
    return 0;
}

// b as positions in a's domain (plain items of the domain's type).
static int enumerate_like(ValueDescriptor *dst, const ValueDescriptor *a, const ValueDescriptor *b) {
    const ValueDescriptor *dom = enum_domain(a);
    if (!dom) return fail(VEK_TABLE_203);
    if (!(b->type == dom->type || (int_class(b->type) && int_class(dom->type)))) return fail(VEK_TYPE);
    if (new_enum(dst, enum_domain_name(a), b->count)) return (int)error_number;
    if (b->count == 0) return 0;
    i64 *pos = enum_positions(dst);
    if (index_of_exact(dom->type, value_data((ValueDescriptor *)dom), dom->count, value_data((ValueDescriptor *)b),
                       b->count, 0, pos))
        return fail(VEK_WS_FULL);
    for (i64 i = 0; i < b->count; i++)
        if (pos[i] >= dom->count) return fail(VEK_TABLE_203);
    return 0;
}

// Column a followed by bn cells of b (one cell of b stands for all).
static int append_column(ValueDescriptor *dst, const ValueDescriptor *a, const ValueDescriptor *b, i64 bn) {
    Built conv;
    if (a->type == T_ENUM && b->type != T_ENUM) {
        if (enumerate_like(&conv.d, a, b)) return (int)error_number;
        b = &conv.d;
    } else if (a->type != T_ENUM && b->type == T_ENUM) {
        if (enum_values_of(&conv.d, b)) return (int)error_number;
        b = &conv.d;
    }
    if (a->type == T_ENUM && enum_domain_name(a) != enum_domain_name(b)) return fail(VEK_DOMAIN);
    if (is_number(a->type) && is_number(b->type)) {
        i64 ra = number_rank(a->type), rb = number_rank(b->type);
        i64 type = ra >= rb ? a->type : b->type;
        if (type != a->type || type != b->type) return append_numbers(dst, type, a, b, bn);
    }
    if (a->type == T_LIST && b->type != T_LIST) {
        // one text for every new row
        if (b->type != T_CHAR || b->rank > 1) return fail(VEK_TYPE);
        return append_same(dst, a, b, bn);
    }
    if (a->type != b->type) return fail(VEK_TYPE);
    return append_same(dst, a, b, bn);
}

// ---- Appending rows ------------------------------------------------------------------------------

// t with n new rows taken from the values v (one per column, each of n
// cells or a single cell).
static int append_rows(ValueDescriptor *dst, const ValueDescriptor *t, const ValueDescriptor *const *v, i64 n) {
    const ValueDescriptor *cols = table_columns(t);
    i64 rows = table_rows(t);
    if (n > INT64_MAX / 2 - rows) return fail(VEK_WS_FULL);
    if (new_table_named(dst, pair_half(t, 0), rows + n)) return (int)error_number;
    for (i64 k = 0; k < cols->count; k++)
        if (append_column(&list_items(table_columns(dst))[k], &list_items(cols)[k], v[k], n)) return (int)error_number;
    return 0;
}

// The length the items of a list give as columns: -1 when they differ.
// A single cell is one row here, never every row: only the table
// constructor stretches a one-item column, and a text taken as a row of a
// text column would otherwise turn into as many rows as it has characters.
static i64 common_column_length(const ValueDescriptor *list, i64 from, i64 n) {
    i64 len = -2;
    for (i64 k = from; k < from + n; k++) {
        const ValueDescriptor *it = &list_items(list)[k];
        i64 c = it->rank == 0 ? 1 : cell_count(it);
        if (len == -2) len = c;
        else if (c != len) return -1;
    }
    return len < 0 ? 0 : len;
}

static int append_table(ValueDescriptor *dst, const ValueDescriptor *t, const ValueDescriptor *u) {
    if (!values_match(pair_half(t, 0), pair_half(u, 0))) return fail(VEK_TABLE_COLUMNS_MISMATCH);
    const ValueDescriptor *cols = table_columns(u);
    std::vector<const ValueDescriptor *> v(cols->count);
    for (i64 k = 0; k < cols->count; k++) v[k] = &list_items(cols)[k];
    return append_rows(dst, t, v.data(), table_rows(u));
}

// Items from..from+n of a list appended as columns of new rows.
static int append_list(ValueDescriptor *dst, const ValueDescriptor *t, const ValueDescriptor *list, i64 from) {
    i64 n = table_columns(t)->count;
    if (list->count - from < n) return fail(VEK_LENGTH);
    i64 len = common_column_length(list, from, n);
    if (len < 0) return fail(VEK_LENGTH);
    std::vector<const ValueDescriptor *> v(n);
    for (i64 k = 0; k < n; k++) v[k] = &list_items(list)[from + k];
    return append_rows(dst, t, v.data(), len);
}

static int append_dictionary(ValueDescriptor *dst, const ValueDescriptor *t, const ValueDescriptor *d) {
    const ValueDescriptor *keys = pair_half(d, 0), *values = pair_half(d, 1), *names = pair_half(t, 0);
    if (keys->type != T_SYMBOL || !values_match(keys, names)) {
        // the same names, possibly with another rank (one column)
        if (keys->type != T_SYMBOL || keys->count != names->count ||
            memcmp(value_data((ValueDescriptor *)keys), value_data((ValueDescriptor *)names), 8 * keys->count))
            return fail(VEK_TABLE_COLUMNS_MISMATCH);
    }
    i64 len = common_column_length(values, 0, values->count);
    if (len < 0) return fail(VEK_TABLE_COLUMNS_MISMATCH);
    std::vector<const ValueDescriptor *> v(values->count);
    for (i64 k = 0; k < values->count; k++) v[k] = &list_items(values)[k];
    return append_rows(dst, t, v.data(), len);
}

// A keyed table whose key table was appended to: its key rows must stay
// distinct.
static int check_keys(const ValueDescriptor *kt) {
    const ValueDescriptor *keys = pair_half(kt, 0);
    bool unique;
    if (rows_unique(table_columns(keys), table_rows(keys), &unique)) return (int)error_number;
    return unique ? 0 : fail(VEK_TABLE_COLUMNS_NOT_FOUND);
}

static int append_keyed(ValueDescriptor *dst, const ValueDescriptor *kt, const ValueDescriptor *y) {
    const ValueDescriptor *k = pair_half(kt, 0), *v = pair_half(kt, 1);
    if (new_pair(dst, T_DICT, FORM_KEYED_TABLE)) return (int)error_number;
    if (is_keyed_table(y)) {
        if (append_table(pair_half(dst, 0), k, pair_half(y, 0)) || append_table(pair_half(dst, 1), v, pair_half(y, 1)))
            return (int)error_number;
    } else {
        i64 nk = table_columns(k)->count, nv = table_columns(v)->count;
        if (y->count != nk + nv) return fail(VEK_TABLE_COLUMNS_MISMATCH);
        if (append_list(pair_half(dst, 0), k, y, 0) || append_list(pair_half(dst, 1), v, y, nk)) return (int)error_number;
        if (table_rows(pair_half(dst, 0)) != table_rows(pair_half(dst, 1))) return fail(VEK_LENGTH);
    }
    return check_keys(dst);
}

// ---- Merging dictionaries ----------------------------------------------------------------------

// Positions of the keys of b among those of a (a's count when absent).
static int key_places(const ValueDescriptor *a, const ValueDescriptor *b, i64 *out) {
    if (a->type == T_LIST) {
        for (i64 j = 0; j < b->count; j++) {
            out[j] = a->count;
            for (i64 i = 0; i < a->count && out[j] == a->count; i++)
                if (values_match(&list_items(a)[i], &list_items(b)[j])) out[j] = i;
        }
        return 0;
    }
    if (b->count == 0) return 0;
    if (index_of_exact(a->type, value_data((ValueDescriptor *)a), a->count, value_data((ValueDescriptor *)b), b->count,
                       0, out))
        return fail(VEK_WS_FULL);
    return 0;
}

static int merge_dictionaries(ValueDescriptor *dst, const ValueDescriptor *x, const ValueDescriptor *y) {
    const ValueDescriptor *xk = pair_half(x, 0), *yk = pair_half(y, 0), *xv = pair_half(x, 1), *yv = pair_half(y, 1);
    if (xk->type != yk->type) return fail(VEK_TYPE);
    i64 n = xk->count, m = yk->count;
    std::vector<i64> at(m + 1), added;
    if (key_places(xk, yk, at.data())) return (int)error_number;
    for (i64 j = 0; j < m; j++)
        if (at[j] == n) added.push_back(j);
    i64 total = n + (i64)added.size();
    std::vector<i64> key_rows(total);
    for (i64 i = 0; i < n; i++) key_rows[i] = i;
    if (new_pair(dst, T_DICT, FORM_DICTIONARY) || new_list(pair_half(dst, 1), total)) return (int)error_number;
    // keys: x's, then the new ones of y
    ValueDescriptor *keys = pair_half(dst, 0);
    Built tail;
    if (gather_cells(&tail.d, yk, added.data(), (i64)added.size()) || append_same(keys, xk, &tail.d, tail.d.count))
        return (int)error_number;
    keys->rank = 1;
    ValueDescriptor *values = list_items(pair_half(dst, 1));
    std::vector<const ValueDescriptor *> from(total);
    for (i64 i = 0; i < n; i++) from[i] = &list_items(xv)[i];
    for (i64 j = 0; j < m; j++)
        if (at[j] < n) from[at[j]] = &list_items(yv)[j];
    for (size_t q = 0; q < added.size(); q++) from[n + q] = &list_items(yv)[added[q]];
    for (i64 i = 0; i < total; i++)
        if (copy_value_shared(&values[i], from[i])) return (int)error_number;
    return 0;
}

int dict_join_entry(i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    const ValueDescriptor *x = keyed_operand(lc, lv), *y = keyed_operand(rc, rv);
    if (!x || !y) return (int)error_number;
    Built z;
    int e;
    if (is_dictionary(x) && is_dictionary(y)) e = merge_dictionaries(&z.d, x, y);
    else if (is_keyed_table(x) && (is_keyed_table(y) || y->type == T_LIST)) e = append_keyed(&z.d, x, y);
    else if (x->type == T_TABLE) {
        if (y->type == T_TABLE) e = append_table(&z.d, x, y);
        else if (is_dictionary(y)) e = append_dictionary(&z.d, x, y);
        else if (is_keyed_table(y)) e = fail(VEK_TABLE_COLUMNS_MISMATCH);
        else if (y->type == T_LIST)
            e = y->count != table_columns(x)->count ? fail(VEK_LENGTH) : append_list(&z.d, x, y, 0);
        else e = fail(VEK_TYPE);
    } else e = fail(VEK_DOMAIN);
    if (e) return (int)error_number;
    return store_built(slot, &z);
}

// ---- Columns side by side -------------------------------------------------------------------------

int join_table_columns(i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    const ValueDescriptor *x = keyed_operand(lc, lv), *y = keyed_operand(rc, rv);
    if (!x || !y) return (int)error_number;
    if (x->type != T_TABLE || y->type != T_TABLE) return fail(VEK_DOMAIN);
    i64 rows = table_rows(x);
    if (rows != table_rows(y)) return fail(VEK_LENGTH);
    const ValueDescriptor *xn = pair_half(x, 0), *yn = pair_half(y, 0);
    std::vector<i64> names((const i64 *)value_data((ValueDescriptor *)xn),
                           (const i64 *)value_data((ValueDescriptor *)xn) + xn->count);
    std::vector<const ValueDescriptor *> cols;
    for (i64 k = 0; k < xn->count; k++) cols.push_back(&list_items(table_columns(x))[k]);
    for (i64 k = 0; k < yn->count; k++) {
        i64 name = ((const i64 *)value_data((ValueDescriptor *)yn))[k], at = -1;
        for (size_t i = 0; i < names.size(); i++)
            if (names[i] == name) at = (i64)i;
        const ValueDescriptor *col = &list_items(table_columns(y))[k];
        if (at >= 0) cols[at] = col;
        else {
            names.push_back(name);
            cols.push_back(col);
        }
    }
    Built z;
    i64 n = (i64)names.size();
    if (new_table(&z.d, n, rows)) return (int)error_number;
    for (i64 k = 0; k < n; k++) {
        symbols_of(pair_half(&z.d, 0))[k] = names[k];
        if (copy_column(&list_items(table_columns(&z.d))[k], cols[k])) return (int)error_number;
    }
    return store_built(slot, &z);
}

// ---- Enumerations -----------------------------------------------------------------------------------

static bool same_kind(i64 a, i64 b) { return a == b || (int_class(a) && int_class(b)); }

// A value as a vector: a scalar is a vector of one.
static ValueDescriptor as_vector(const ValueDescriptor *d) {
    ValueDescriptor v = *d;
    if (v.rank == 0) v.rank = 1;
    fix_inline_pointer(&v);
    return v;
}

int enum_catenate(i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    const ValueDescriptor *x = keyed_operand(lc, lv), *y = keyed_operand(rc, rv);
    if (!x || !y) return (int)error_number;
    if (x->rank > 1 || y->rank > 1) return fail(VEK_RANK);
    ValueDescriptor a = as_vector(x), b = as_vector(y);
    Built z;
    if (a.type == T_ENUM && b.type == T_ENUM) {
        const ValueDescriptor *da = enum_domain(&a), *db = enum_domain(&b);
        if (da && db && !same_kind(da->type, db->type)) return fail(VEK_TYPE);
        if (enum_domain_name(&a) == enum_domain_name(&b)) {
            if (append_same(&z.d, &a, &b, b.count)) return (int)error_number;
        } else {
            Built va, vb;
            if (enum_values_of(&va.d, &a) || enum_values_of(&vb.d, &b)) return (int)error_number;
            // positions on either side mean positions on both
            if (va.d.type != vb.d.type && (va.d.type == T_INT || vb.d.type == T_INT)) {
                Built pa, pb;
                if (new_vector(&pa.d, T_INT, a.count) || new_vector(&pb.d, T_INT, b.count)) return (int)error_number;
                if (a.count) memcpy(value_data(&pa.d), enum_positions(&a), 8 * a.count);
                if (b.count) memcpy(value_data(&pb.d), enum_positions(&b), 8 * b.count);
                if (append_same(&z.d, &pa.d, &pb.d, b.count)) return (int)error_number;
            } else if (append_same(&z.d, &va.d, &vb.d, b.count)) return (int)error_number;
        }
        return store_built(slot, &z);
    }
    const ValueDescriptor *e = a.type == T_ENUM ? &a : &b, *plain = a.type == T_ENUM ? &b : &a;
    const ValueDescriptor *var = domain_variable(enum_domain_name(e));
    if (!var || !same_kind(plain->type, var->type)) return fail(VEK_TYPE);
    Built p;
    if (enumerate_like(&p.d, e, plain)) return error_number == VEK_TABLE_203 ? fail(VEK_DOMAIN) : (int)error_number;
    if (a.type == T_ENUM ? append_same(&z.d, &a, &p.d, p.d.count) : append_same(&z.d, &p.d, &b, b.count))
        return (int)error_number;
    return store_built(slot, &z);
}

int enum_index_of(i64 slot, i64 lc, i64 lv, i64 rc, i64 rv, i64 origin) {
    const ValueDescriptor *x = keyed_operand(lc, lv), *y = keyed_operand(rc, rv);
    if (!x || !y) return (int)error_number;
    if (x->rank > 1) return fail(VEK_RANK);
    if (y->type > T_TIME || y->type == T_LIST) return fail(VEK_DOMAIN);
    const ValueDescriptor *dom = enum_domain(x);
    i64 m = y->count, n = x->count;
    Built z;
    if (new_vector(&z.d, T_INT, m)) return (int)error_number;
    if (y->rank != 1) {
        if (copy_shape(&z.d, y)) return (int)error_number;
        fix_inline_pointer(&z.d);
    }
    i64 *out = (i64 *)value_data(&z.d);
    if (m == 0) return store_built(slot, &z);
    std::vector<i64> at(m, -1);
    if (dom && same_kind(dom->type, y->type)) {
        if (index_of_exact(dom->type, value_data((ValueDescriptor *)dom), dom->count, value_data((ValueDescriptor *)y),
                           m, 0, at.data()))
            return fail(VEK_WS_FULL);
        for (i64 i = 0; i < m; i++)
            if (at[i] >= dom->count) at[i] = -1;
    }
    if (index_of_words(n ? enum_positions(x) : nullptr, n, at.data(), m, origin, out)) return fail(VEK_WS_FULL);
    return store_built(slot, &z);
}
