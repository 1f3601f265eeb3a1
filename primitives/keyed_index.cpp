// Bracket indexing of dictionaries, tables, keyed tables and enumerations,
// and indexed assignment into them.
//
// Ledger
// - t[i] (rows from []IO; a scalar gives the row as a dictionary of column
//   names to cells, a vector a table), t[c] / t[;c] / t[i;c] (a symbol
//   scalar gives a column, a vector a list of columns), t[d] (the rows where
//   some named column holds one of the values d gives it; the index is read,
//   never changed), t[] the table. Refuses: a row outside the table, a
//   dictionary naming no column or matching no row (25); a name that is not
//   a column (1); an index of another kind (7); t[;] and more than two
//   index lists (2).
// - kt[k] (key cells, rows of them, or a dictionary of the key columns;
//   one row gives a dictionary of value names to cells, several a table),
//   kt[k;c], kt[;c] (a keyed table of the named value columns), kt[] and
//   kt[;] the keyed table. Refuses: key rows that are not there (25, 37,
//   38), a dictionary not naming the key columns in order (38), names that
//   are not value columns (1), kt[;c] with non-symbols (7).
// - d[k]: by key when k has the keys' type (or the keys are a general
//   list), else by position when k is an integer; a scalar gives the value,
//   a vector a list of values. Refuses missing keys (25), other index types
//   (7), more than one index list (2).
// - e[i]: an enumeration of the same domain. Refuses non-integers (1),
//   positions outside (25).
// - Assignment: d[k]<-v (existing keys only, 25), t[i]<-dictionary or
//   table, t[i;c]<-v, kt[k]<-v, kt[k;c]<-v, e[i]<-symbols. Cells keep their
//   column's kind; numbers widen the column. Everything is checked before
//   anything is written, so a failure leaves the variable as it was.
//   Refuses: rows or names outside (25); key-column names that differ
//   (204); cells of another kind (7); counts that do not fit (3); an
//   enumeration item outside its domain (1); more than two index lists (2).
// Fast paths: row gathers are one typed loop per column; a column that is
// shared is copied once before it is written. Keys of a general list and a
// text column's given texts are searched one by one, looking at the
// interrupt between them.
#include "primitives/keyed.h"
#include "primitives/hash_index.h"
#include "primitives/search.h"
#include "core/arena.h"
#include "core/interrupt.h"
#include "core/tables.h"
#include "core/text_lists.h"
#include "core/valueops.h"
#include <cstring>
#include <vector>

static bool elided(i64 c, i64 v) { return c < 0 && v == 0; }
static bool int_class(i64 t) { return t == T_BOOL || t == T_INT; }
static const i64 *words(const ValueDescriptor *d) { return (const i64 *)value_data((ValueDescriptor *)d); }


// Rows selected by an integer index, checked against the row count.
static int row_numbers(const ValueDescriptor *ix, i64 origin, i64 rows, std::vector<i64> *out) {
    if (!int_class(ix->type)) return fail(VEK_TYPE);
    const i64 *p = words(ix);
    out->resize(ix->count);
    for (i64 i = 0; i < ix->count; i++) {
        i64 r = p[i] - origin;
        if (r < 0 || r >= rows) return fail(VEK_INDEX);
        (*out)[i] = r;
    }
    return 0;
}

// A table of the given columns at rows.
static int rows_table(ValueDescriptor *dst, const ValueDescriptor *t, const i64 *rows, i64 n) {
    const ValueDescriptor *cols = table_columns(t);
    if (new_table_named(dst, pair_half(t, 0), n)) return (int)error_number;
    for (i64 k = 0; k < cols->count; k++)
        if (gather_cells(&list_items(table_columns(dst))[k], &list_items(cols)[k], rows, n)) return (int)error_number;
    return 0;
}

// One row as a dictionary from the column names to the cells.
static int row_dictionary(ValueDescriptor *dst, const ValueDescriptor *t, i64 r) {
    const ValueDescriptor *cols = table_columns(t);
    if (new_pair(dst, T_DICT, FORM_DICTIONARY) || copy_column(pair_half(dst, 0), pair_half(t, 0)) ||
        new_list(pair_half(dst, 1), cols->count))
        return (int)error_number;
    for (i64 k = 0; k < cols->count; k++)
        if (cell_value(&list_items(pair_half(dst, 1))[k], &list_items(cols)[k], r)) return (int)error_number;
    return 0;
}

// The rows as a dictionary (one row asked for) or a table.
static int rows_result(ValueDescriptor *dst, const ValueDescriptor *t, const std::vector<i64> &rows, bool one) {
    if (one) return row_dictionary(dst, t, rows[0]);
    return rows_table(dst, t, rows.data(), (i64)rows.size());
}

// Columns by name at rows (all rows when rows is null): one name gives the
// column (a cell for a single row), a vector of names a list of columns.
static int named_columns(ValueDescriptor *dst, const ValueDescriptor *t, const ValueDescriptor *names,
                         const std::vector<i64> *rows, bool one_row) {
    if (names->type != T_SYMBOL || names->rank > 1) return fail(VEK_TYPE);
    std::vector<const ValueDescriptor *> cols(names->count);
    for (i64 k = 0; k < names->count; k++)
        if (!(cols[k] = table_column(t, words(names)[k]))) return fail(VEK_DOMAIN);
    auto one = [&](ValueDescriptor *out, const ValueDescriptor *col) -> int {
        if (!rows) return copy_column(out, col);
        if (one_row) return cell_value(out, col, (*rows)[0]);
        return gather_cells(out, col, rows->data(), (i64)rows->size());
    };
    if (names->rank == 0) return one(dst, cols[0]);
    if (new_list(dst, names->count)) return (int)error_number;
    for (i64 k = 0; k < names->count; k++)
        if (one(&list_items(dst)[k], cols[k])) return (int)error_number;
    return 0;
}

static bool same_text(const ValueDescriptor *a, const ValueDescriptor *b) {
    if (a->type != T_CHAR || b->type != T_CHAR || a->rank > 1 || b->rank > 1 || a->count != b->count) return false;
    return a->count == 0 || memcmp(value_data((ValueDescriptor *)a), value_data((ValueDescriptor *)b), a->count) == 0;
}

// t[d]: rows in which some named column holds one of its given values.
static int rows_by_values(const ValueDescriptor *t, const ValueDescriptor *d, std::vector<i64> *out) {
    const ValueDescriptor *keys = pair_half(d, 0), *values = pair_half(d, 1);
    if (keys->type != T_SYMBOL) return fail(VEK_INDEX);
    i64 rows = table_rows(t);
    std::vector<i64> hit(rows, 0), found(rows);
    for (i64 k = 0; k < keys->count; k++) {
        const ValueDescriptor *col = table_column(t, words(keys)[k]);
        if (!col) return fail(VEK_INDEX);
        const ValueDescriptor *want = &list_items(values)[k];
        Built plain;
        if (col->type == T_ENUM) {
            if (enum_values_of(&plain.d, col)) return (int)error_number;
            col = &plain.d;
        }
        if (col->type == T_LIST) {
            // a text column: the texts given, one text, or a list of them,
            // each row against every text given
            for (i64 r = 0; r < rows; r++) {
                if (interrupt_requested()) return fail(INTERRUPT_ERROR);
                const ValueDescriptor *cell = &list_items(col)[r];
                if (want->type == T_CHAR && want->rank <= 1) hit[r] |= same_text(cell, want);
                else if (want->type == T_LIST)
                    for (i64 j = 0; j < want->count && !hit[r]; j++) hit[r] = same_text(cell, &list_items(want)[j]);
            }
            continue;
        }
        bool same = want->type == col->type || (int_class(want->type) && int_class(col->type));
        if (!same || rows == 0 || want->count == 0) continue;
        if (member_exact(col->type, value_data((ValueDescriptor *)col), rows, value_data((ValueDescriptor *)want),
                         want->count, found.data()))
            return fail(VEK_WS_FULL);
        for (i64 r = 0; r < rows; r++) hit[r] |= found[r];
    }
    for (i64 r = 0; r < rows; r++)
        if (hit[r]) out->push_back(r);
    if (out->empty()) return fail(VEK_INDEX);
    return 0;
}

static int table_select(ValueDescriptor *dst, const ValueDescriptor *t, i64 ic, i64 iv, const i64 *rest_c,
                        const i64 *rest_v, i64 rest, i64 origin) {
    if (rest > 1) return fail(VEK_RANK);
    bool has_cols = rest == 1 && !elided(rest_c[0], rest_v[0]);
    if (rest == 1 && elided(ic, iv) && !has_cols) return fail(VEK_RANK);
    std::vector<i64> rows;
    bool one = false, all = elided(ic, iv);
    if (!all) {
        const ValueDescriptor *ix = keyed_operand(ic, iv);
        if (!ix) return (int)error_number;
        if (rest == 0 && ix->type == T_SYMBOL) return named_columns(dst, t, ix, nullptr, false);
        if (is_dictionary(ix)) {
            if (rows_by_values(t, ix, &rows)) return (int)error_number;
            one = rows.size() == 1;
        } else {
            if (row_numbers(ix, origin, table_rows(t), &rows)) return (int)error_number;
            one = ix->rank == 0;
        }
    }
    if (has_cols) {
        const ValueDescriptor *names = keyed_operand(rest_c[0], rest_v[0]);
        if (!names) return (int)error_number;
        return named_columns(dst, t, names, all ? nullptr : &rows, one);
    }
    if (all) return copy_column(dst, t);
    return rows_result(dst, t, rows, one);
}

// ---- Keyed tables ----------------------------------------------------------------------------------

// The key rows a lookup names; *one when a single row was asked for.
static int key_rows(const ValueDescriptor *kt, const ValueDescriptor *k, std::vector<i64> *out, bool *one) {
    const ValueDescriptor *keys = pair_half(kt, 0);
    const ValueDescriptor *lookup = k;
    if (is_dictionary(k)) {
        if (!values_match(pair_half(k, 0), pair_half(keys, 0))) {
            const ValueDescriptor *a = pair_half(k, 0), *b = pair_half(keys, 0);
            if (a->type != T_SYMBOL || a->count != b->count || memcmp(words(a), words(b), 8 * a->count))
                return fail(VEK_KEY_NOT_FOUND);
        }
        lookup = pair_half(k, 1);
    }
    i64 *rows, n;
    if (find_rows(table_columns(keys), table_rows(keys), lookup, &rows, &n)) return (int)error_number;
    out->assign(rows, rows + n);
    *one = n == 1 && (lookup->rank == 0 || (lookup->type == T_LIST && lookup->count > 0 &&
                                            list_items(lookup)[0].type != T_LIST &&
                                            lookup->count == table_columns(keys)->count));
    return 0;
}

static int keyed_select(ValueDescriptor *dst, const ValueDescriptor *kt, i64 ic, i64 iv, const i64 *rest_c,
                        const i64 *rest_v, i64 rest) {
    if (rest > 1) return fail(VEK_RANK);
    bool has_cols = rest == 1 && !elided(rest_c[0], rest_v[0]);
    const ValueDescriptor *values = pair_half(kt, 1);
    if (elided(ic, iv)) {
        if (!has_cols) return copy_column(dst, kt);
        const ValueDescriptor *names = keyed_operand(rest_c[0], rest_v[0]);
        if (!names) return (int)error_number;
        if (names->type != T_SYMBOL || names->rank > 1) return fail(VEK_TYPE);
        if (new_pair(dst, T_DICT, FORM_KEYED_TABLE) || copy_column(pair_half(dst, 0), pair_half(kt, 0)) ||
            new_table(pair_half(dst, 1), names->count, table_rows(values)))
            return (int)error_number;
        ValueDescriptor *vt = pair_half(dst, 1);
        for (i64 k = 0; k < names->count; k++) {
            const ValueDescriptor *col = table_column(values, words(names)[k]);
            if (!col) return fail(VEK_DOMAIN);
            symbols_of(pair_half(vt, 0))[k] = words(names)[k];
            if (copy_column(&list_items(table_columns(vt))[k], col)) return (int)error_number;
        }
        return 0;
    }
    const ValueDescriptor *k = keyed_operand(ic, iv);
    if (!k) return (int)error_number;
    std::vector<i64> rows;
    bool one;
    if (key_rows(kt, k, &rows, &one)) return (int)error_number;
    if (has_cols) {
        const ValueDescriptor *names = keyed_operand(rest_c[0], rest_v[0]);
        if (!names) return (int)error_number;
        if (names->type != T_SYMBOL) return fail(VEK_DOMAIN);
        return named_columns(dst, values, names, &rows, one);
    }
    return rows_result(dst, values, rows, one);
}

// ---- Dictionaries and enumerations -----------------------------------------------------------------

// Positions selected in a dictionary: by key, or by position.
static int dictionary_places(const ValueDescriptor *d, const ValueDescriptor *ix, i64 origin, std::vector<i64> *out) {
    const ValueDescriptor *keys = pair_half(d, 0);
    i64 n = keys->count;
    bool by_key = keys->type == T_LIST || ix->type == keys->type || (int_class(ix->type) && int_class(keys->type));
    if (by_key && keys->type == T_LIST) {
        out->clear();
        i64 m = ix->type == T_LIST && ix->rank == 1 ? ix->count : 1;
        // each item sought through all the keys: a long search answers the interrupt
        for (i64 j = 0; j < m; j++) {
            if (interrupt_requested()) return fail(INTERRUPT_ERROR);
            const ValueDescriptor *want = m == 1 && !(ix->type == T_LIST) ? ix : &list_items(ix)[j];
            i64 at = -1;
            for (i64 i = 0; i < n && at < 0; i++)
                if (values_match(&list_items(keys)[i], want)) at = i;
            if (at < 0) return fail(VEK_INDEX);
            out->push_back(at);
        }
        return 0;
    }
    if (by_key) {
        out->resize(ix->count);
        if (ix->count == 0) return 0;
        if (index_of_exact(keys->type, value_data((ValueDescriptor *)keys), n, value_data((ValueDescriptor *)ix),
                           ix->count, 0, out->data()))
            return fail(VEK_WS_FULL);
        for (i64 p : *out)
            if (p >= n) return fail(VEK_INDEX);
        return 0;
    }
    if (!int_class(ix->type)) return fail(VEK_TYPE);
    return row_numbers(ix, origin, n, out);
}

static int dictionary_select(ValueDescriptor *dst, const ValueDescriptor *d, i64 ic, i64 iv, i64 rest, i64 origin) {
    if (rest != 0) return fail(VEK_RANK);
    const ValueDescriptor *values = pair_half(d, 1);
    if (elided(ic, iv)) return copy_column(dst, values);
    const ValueDescriptor *ix = keyed_operand(ic, iv);
    if (!ix) return (int)error_number;
    std::vector<i64> at;
    if (dictionary_places(d, ix, origin, &at)) return (int)error_number;
    if (ix->rank == 0 || (pair_half(d, 0)->type == T_LIST && ix->type != T_LIST)) return copy_value_shared(dst, &list_items(values)[at[0]]);
    return gather_cells(dst, values, at.data(), (i64)at.size());
}

static int enum_select(ValueDescriptor *dst, const ValueDescriptor *e, i64 ic, i64 iv, i64 rest, i64 origin) {
    if (rest != 0) return fail(VEK_RANK);
    if (elided(ic, iv)) return copy_column(dst, e);
    const ValueDescriptor *ix = keyed_operand(ic, iv);
    if (!ix) return (int)error_number;
    if (!int_class(ix->type)) return fail(VEK_DOMAIN);
    std::vector<i64> at;
    if (row_numbers(ix, origin, e->count, &at)) return (int)error_number;
    return gather_cells(dst, e, at.data(), (i64)at.size());
}

int keyed_index(i64 slot, i64 ac, i64 av, i64 ic, i64 iv, const i64 *rest_c, const i64 *rest_v, i64 rest,
                i64 io_slot) {
    const ValueDescriptor *a = keyed_operand(ac, av);
    if (!a) return (int)error_number;
    i64 origin;
    if (index_origin_in(io_slot, &origin)) return VEK_IO;
    if (!elided(ic, iv) && !keyed_operand(ic, iv)) return (int)error_number;
    Built z;
    int e;
    if (a->type == T_TABLE) e = table_select(&z.d, a, ic, iv, rest_c, rest_v, rest, origin);
    else if (is_keyed_table(a)) e = keyed_select(&z.d, a, ic, iv, rest_c, rest_v, rest);
    else if (is_dictionary(a)) e = dictionary_select(&z.d, a, ic, iv, rest, origin);
    else if (a->type == T_ENUM) e = enum_select(&z.d, a, ic, iv, rest, origin);
    else e = fail(VEK_DOMAIN);
    if (e) return (int)error_number;
    return store_built(slot, &z);
}

// ---- Writing cells ------------------------------------------------------------------------------------

static bool is_number(i64 t) { return t <= T_FLOAT || t == T_COMPLEX; }
static i64 number_rank(i64 t) { return t == T_BOOL ? 0 : t == T_INT ? 1 : t == T_FLOAT ? 2 : 3; }

// How new cells go into one column: every check and conversion is made
// here, before any column is written, so a failure leaves the table as it
// was. `src` gives one cell for every row, or one cell per row.
struct CellPlan {
    i64 type = 0;                        // the column's type afterwards
    bool text = false, single = false;   // a text column; one cell for all rows
    Built converted;                     // cells made of the domain or positions
    const ValueDescriptor *from = nullptr;
};

static int plan_text_cells(CellPlan *p, const ValueDescriptor *src, i64 n) {
    p->text = true;
    p->from = src;
    p->single = src->type == T_CHAR && src->rank <= 1;   // a character vector is one text
    if (p->single) return 0;
    if (src->type != T_LIST) return fail(VEK_TYPE);
    if (src->count != n && src->count != 1) return fail(VEK_LENGTH);
    p->single = src->count == 1 && n != 1;
    for (i64 i = 0; i < src->count; i++)
        if (list_items(src)[i].type != T_CHAR || list_items(src)[i].rank > 1) return fail(VEK_TYPE);
    return 0;
}

// Plain items of an enumeration column's domain type become positions.
static int plan_enum_cells(CellPlan *p, const ValueDescriptor *col, const ValueDescriptor *src) {
    if (src->type == T_ENUM) return enum_domain_name(src) == enum_domain_name(col) ? 0 : fail(VEK_DOMAIN);
    const ValueDescriptor *dom = enum_domain(col);
    if (!dom || !(src->type == dom->type || (int_class(src->type) && int_class(dom->type)))) return fail(VEK_TYPE);
    if (new_enum(&p->converted.d, enum_domain_name(col), src->count)) return (int)error_number;
    i64 *pos = enum_positions(&p->converted.d);
    if (src->count && index_of_exact(dom->type, value_data((ValueDescriptor *)dom), dom->count,
                                     value_data((ValueDescriptor *)src), src->count, 0, pos))
        return fail(VEK_WS_FULL);
    for (i64 i = 0; i < src->count; i++)
        if (pos[i] >= dom->count) return fail(VEK_DOMAIN);
    p->from = &p->converted.d;
    return 0;
}

static int plan_cells(CellPlan *p, const ValueDescriptor *col, i64 n, const ValueDescriptor *src) {
    if (col->type == T_LIST) return plan_text_cells(p, src, n);
    p->single = src->rank == 0 || src->count == 1;
    if (!p->single && src->count != n) return fail(VEK_LENGTH);
    if ((src->type == T_LIST || src->type > T_TIME) && src->type != T_ENUM) return fail(VEK_TYPE);
    p->from = src;
    if (col->type == T_ENUM) {
        if (plan_enum_cells(p, col, src)) return (int)error_number;
    } else if (src->type == T_ENUM) {
        if (enum_values_of(&p->converted.d, src)) return (int)error_number;
        p->from = &p->converted.d;
    }
    p->type = col->type;
    if (is_number(col->type) && is_number(p->from->type)) {
        if (number_rank(p->from->type) > number_rank(col->type)) p->type = p->from->type;
    } else if (col->type != p->from->type) return fail(VEK_TYPE);
    return 0;
}

// col, of another number type, as a new column of `type`.
static int widened(ValueDescriptor *out, const ValueDescriptor *col, i64 type) {
    if (new_vector(out, type, col->count)) return (int)error_number;
    for (i64 r = 0; r < col->count; r++) {
        double z[2];
        element_as_complex(z, col, r);
        if (type == T_FLOAT) ((double *)value_data(out))[r] = z[0];
        else if (type == T_COMPLEX) memcpy((double *)value_data(out) + 2 * r, z, 16);
        else ((i64 *)value_data(out))[r] = words(col)[r];
    }
    return 0;
}

// Writes the planned cells at rows, in place: a column of another type
// afterwards is first replaced by its widened copy, a shared one by a copy
// of its own.
static int apply_cells(ValueDescriptor *col, const std::vector<i64> &rows, const CellPlan &p) {
    i64 n = (i64)rows.size();
    if (p.text) {
        if (open_list_for_writing(col, true)) return (int)error_number;
        for (i64 i = 0; i < n; i++) {
            const ValueDescriptor *cell = p.from->type == T_CHAR ? p.from : &list_items(p.from)[p.single ? 0 : i];
            ValueDescriptor fresh;
            if (copy_value_checked(&fresh, cell, 1)) return (int)error_number;
            ValueDescriptor *at = &list_items(col)[rows[i]];
            free_value(at);
            *at = fresh;
            fix_inline_pointer(at);
        }
        return 0;
    }
    if (p.type != col->type) {
        Built wide;
        if (widened(&wide.d, col, p.type)) return (int)error_number;
        free_value(col);
        *col = wide.d;
        fix_inline_pointer(col);
        memset(&wide.d, 0, sizeof wide.d);
        wide.d.rank = -1;
    } else if (make_data_private(col)) return (int)error_number;
    i64 size = cell_bytes(p.type);
    char *base = cell_base(col);
    const ValueDescriptor *from = p.from;
    bool same = p.type == from->type || (int_class(p.type) && int_class(from->type));
    for (i64 i = 0; i < n; i++) {
        i64 j = p.single ? 0 : i;
        char *dst = base + size * rows[i];
        if (same) memcpy(dst, cell_base(from) + size * j, size);
        else {
            double z[2];
            element_as_complex(z, from, j);
            memcpy(dst, z, size);
        }
    }
    // a boolean column that received other integers becomes integer
    if (col->type == T_BOOL)
        for (i64 r = 0; r < col->count; r++)
            if (words(col)[r] != 0 && words(col)[r] != 1) {
                col->type = T_INT;
                break;
            }
    return 0;
}

// The cells of v for each of the named columns: a dictionary or table by
// name, a list one item per name, a simple value for the one name or for
// every name as a single cell.
static int cells_for(const ValueDescriptor *v, const i64 *names, i64 n, std::vector<const ValueDescriptor *> *out) {
    out->resize(n);
    if (is_dictionary(v) || v->type == T_TABLE) {
        const ValueDescriptor *keys = pair_half(v, 0);
        const ValueDescriptor *vals = is_dictionary(v) ? pair_half(v, 1) : table_columns(v);
        if (keys->type != T_SYMBOL) return fail(VEK_DOMAIN);
        for (i64 k = 0; k < n; k++) {
            i64 at = find_key(keys, names[k]);
            (*out)[k] = at < 0 ? nullptr : &list_items(vals)[at];
        }
        return 0;
    }
    if (v->type == T_LIST && n > 1) {
        if (v->count != n) return fail(VEK_LENGTH);
        for (i64 k = 0; k < n; k++) (*out)[k] = &list_items(v)[k];
        return 0;
    }
    if (n > 1 && !(v->rank == 0 || (v->count == 1 && v->rank <= 1))) return fail(VEK_LENGTH);
    for (i64 k = 0; k < n; k++) (*out)[k] = v;
    return 0;
}

// Writes cells of v into the named columns of table t at rows: every
// column is planned before any is written.
static int write_cells(ValueDescriptor *t, const std::vector<i64> &rows, const i64 *names, i64 n,
                       const ValueDescriptor *v, bool names_from_value) {
    std::vector<const ValueDescriptor *> cells;
    if (cells_for(v, names, n, &cells)) return (int)error_number;
    std::vector<CellPlan> plans(n);
    std::vector<i64> at(n, -1);
    for (i64 k = 0; k < n; k++) {
        if (!cells[k]) {
            if (names_from_value) continue;
            return fail(VEK_INDEX);
        }
        if (!table_column(t, names[k], &at[k])) return fail(VEK_INDEX);
        const ValueDescriptor *col = &list_items(table_columns(t))[at[k]];
        if (plan_cells(&plans[k], col, (i64)rows.size(), cells[k])) return (int)error_number;
    }
    ValueDescriptor *cols = list_items(table_columns(t));
    for (i64 k = 0; k < n; k++)
        if (at[k] >= 0 && apply_cells(&cols[at[k]], rows, plans[k])) return (int)error_number;
    return 0;
}

static int table_assign(ValueDescriptor *t, i64 ic, i64 iv, const i64 *rest_c, const i64 *rest_v, i64 rest,
                        const ValueDescriptor *v, i64 origin, const std::vector<i64> *key_found) {
    std::vector<i64> rows;
    if (key_found) rows = *key_found;
    else if (elided(ic, iv)) {
        rows.resize(table_rows(t));
        for (i64 r = 0; r < table_rows(t); r++) rows[r] = r;
    } else {
        const ValueDescriptor *ix = keyed_operand(ic, iv);
        if (!ix) return (int)error_number;
        if (row_numbers(ix, origin, table_rows(t), &rows)) return (int)error_number;
    }
    if (rest == 0 || elided(rest_c[0], rest_v[0])) {
        // names from the value: a dictionary or a table
        if (!is_dictionary(v) && v->type != T_TABLE) {
            if (!key_found) return fail(VEK_DOMAIN);
            // a keyed table's value row given as cells in column order
            const ValueDescriptor *names = pair_half(t, 0);
            return write_cells(t, rows, words(names), names->count, v, false);
        }
        const ValueDescriptor *keys = pair_half(v, 0);
        if (keys->type != T_SYMBOL) return fail(VEK_DOMAIN);
        for (i64 k = 0; k < keys->count; k++)
            if (!table_column(t, words(keys)[k])) return fail(VEK_INDEX);
        return write_cells(t, rows, words(keys), keys->count, v, true);
    }
    const ValueDescriptor *names = keyed_operand(rest_c[0], rest_v[0]);
    if (!names) return (int)error_number;
    if (names->type != T_SYMBOL || names->rank > 1) return fail(VEK_INDEX);
    return write_cells(t, rows, words(names), names->count, v, false);
}

static int dictionary_assign(ValueDescriptor *d, i64 ic, i64 iv, const ValueDescriptor *v, i64 origin) {
    if (elided(ic, iv)) return fail(VEK_INDEX);
    const ValueDescriptor *ix = keyed_operand(ic, iv);
    if (!ix) return (int)error_number;
    std::vector<i64> at;
    if (dictionary_places(d, ix, origin, &at)) return (int)error_number;
    i64 n = (i64)at.size();
    bool whole = ix->rank == 0 || n == 1;
    if (!whole && !(v->count == n || v->count == 1)) return fail(VEK_LENGTH);
    // new values first, then the swap
    std::vector<Built> fresh(n);
    for (i64 i = 0; i < n; i++) {
        int e = whole || v->count == 1 ? copy_value_checked(&fresh[i].d, v, 1) : cell_value(&fresh[i].d, v, i);
        if (e) return (int)error_number;
        if (whole && v->rank == 0) fresh[i].d.rank = 0;
    }
    bool texts = true;
    for (i64 i = 0; i < n; i++) texts = texts && is_text_item(&fresh[i].d);
    if (open_list_for_writing(pair_half(d, 1), texts)) return (int)error_number;
    ValueDescriptor *items = list_items(pair_half(d, 1));
    for (i64 i = 0; i < n; i++) {
        free_value(&items[at[i]]);
        items[at[i]] = fresh[i].d;
        fix_inline_pointer(&items[at[i]]);
        memset(&fresh[i].d, 0, sizeof(ValueDescriptor));
        fresh[i].d.rank = -1;
    }
    return 0;
}

static int enum_assign(ValueDescriptor *e, i64 ic, i64 iv, const ValueDescriptor *v, i64 origin) {
    if (elided(ic, iv)) return fail(VEK_DOMAIN);
    const ValueDescriptor *ix = keyed_operand(ic, iv);
    if (!ix) return (int)error_number;
    if (!int_class(ix->type) || ix->rank > 1 || ix->count == 0) return fail(VEK_DOMAIN);
    if (v->type != T_SYMBOL || v->rank > 1 || (v->count != 1 && v->count != ix->count)) return fail(VEK_DOMAIN);
    std::vector<i64> at;
    if (row_numbers(ix, origin, e->count, &at)) return error_number == VEK_TYPE ? fail(VEK_DOMAIN) : (int)error_number;
    const ValueDescriptor *dom = enum_domain(e);
    if (!dom) return fail(VEK_DOMAIN);
    std::vector<i64> pos(v->count);
    if (index_of_exact(dom->type, value_data((ValueDescriptor *)dom), dom->count, value_data((ValueDescriptor *)v),
                       v->count, 0, pos.data()))
        return fail(VEK_WS_FULL);
    for (i64 p : pos)
        if (p >= dom->count) return fail(VEK_DOMAIN);
    if (make_data_private(e)) return (int)error_number;
    i64 *w = enum_positions(e);
    for (size_t i = 0; i < at.size(); i++) w[at[i]] = pos[v->count == 1 ? 0 : i];
    return 0;
}

int keyed_assign(i64 target, i64 ic, i64 iv, const i64 *rest_c, const i64 *rest_v, i64 rest, i64 bc, i64 bv,
                 i64 io_slot) {
    if (target < 0 || target >= SLOT_COUNT) return fail(VEK_DOMAIN);
    ValueDescriptor *a = &value_slot_table[target];
    const ValueDescriptor *b = keyed_operand(bc, bv);
    if (!b) return (int)error_number;
    if (a->rank < 0) return fail(VEK_VALUE);
    i64 origin;
    if (index_origin_in(io_slot, &origin)) return VEK_IO;
    if (rest > 1 || (rest > 0 && a->type != T_TABLE && !is_keyed_table(a))) return fail(VEK_RANK);
    if (!keyed_value_sound(a)) return fail(VEK_DOMAIN);
    if ((is_dictionary(b) || b->type == T_TABLE) && rest > 0 && a->type != T_TABLE && !is_keyed_table(a))
        return fail(VEK_RANK);
    if (a->type == T_ENUM) return rest ? fail(VEK_RANK) : enum_assign(a, ic, iv, b, origin);
    if (is_dictionary(a)) return rest ? fail(VEK_RANK) : dictionary_assign(a, ic, iv, b, origin);
    if (a->type == T_TABLE) return table_assign(a, ic, iv, rest_c, rest_v, rest, b, origin, nullptr);
    if (!is_keyed_table(a)) return fail(VEK_DOMAIN);
    if (elided(ic, iv)) return fail(VEK_INDEX);
    const ValueDescriptor *k = keyed_operand(ic, iv);
    if (!k) return (int)error_number;
    if (is_dictionary(k)) {
        const ValueDescriptor *x = pair_half(k, 0), *y = pair_half(pair_half(a, 0), 0);
        if (x->type != T_SYMBOL || x->count != y->count || memcmp(words(x), words(y), 8 * x->count))
            return fail(VEK_TABLE_204);
    }
    std::vector<i64> rows;
    bool one;
    if (key_rows(a, k, &rows, &one)) return (int)error_number;
    return table_assign(pair_half(a, 1), -1, 0, rest_c, rest_v, rest, b, origin, &rows);
}
