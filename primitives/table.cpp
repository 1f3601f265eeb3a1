// Tables: the constructor, cols, meta, keys, fkeys, selecting columns,
// flipping between a dictionary of columns and a table, and index-of on
// tables and keyed tables.
//
// Ledger
// - ([k<-a; ...] c<-b; ...): columns of one length; a column of one item
//   (or a scalar) is repeated to the row count, which is the length of the
//   first column that has another length; a character matrix gives one text
//   per row. Key columns make a keyed table. Refuses: a column of rank above
//   2, a matrix that is not of characters, a general list that is not all
//   character vectors, a dictionary or table as a column (1); columns of
//   different lengths (200); a repeated name (206); repeated key rows (201).
// - cols, keys, meta, fkeys: of anything but a table or keyed table an
//   empty integer vector (fkeys also of a table without enumeration
//   columns).
// - x # t with symbols x: the named columns in x's order. Refuses a name
//   that is not a column (201), a repeated name (206).
// - &. of a dictionary with symbol keys (or a one-item list of keys): the
//   table of its values, single items repeated to the row count; &. of a
//   table: the dictionary of its columns. Refuses other keys (202), values
//   of different lengths (200), values that cannot be columns (1), repeated
//   names (206), a keyed table (1).
// - t ! rows: row numbers from []IO of rows given as cells or a table (a
//   row of a table that is absent: []IO + the row count; a row given as
//   cells that is absent: 37 for one row, 38 among several); kt ! value
//   rows: the key rows of those value rows. Refuses tables with other
//   column names (200), other operands (1).
// Fast paths: columns of the constructor and of column selections share
// their large blocks; row searches go through one hash index of the rows.
#include "primitives/keyed.h"
#include "primitives/hash_index.h"
#include "primitives/indexing.h"
#include "core/symbols.h"
#include "core/tables.h"
#include "core/text_lists.h"
#include "core/valueops.h"
#include <cstring>
#include <vector>

// ---- Columns ------------------------------------------------------------------------------

static bool is_text(const ValueDescriptor *d) { return d->type == T_CHAR && d->rank <= 1; }

// 0 when v can be a column; 1 otherwise.
static int column_kind_ok(const ValueDescriptor *v) {
    if (v->rank > 2 || (v->rank == 2 && v->type != T_CHAR)) return fail(VEK_DOMAIN);
    if (v->type == T_LIST) {
        if (holds_own_texts(v)) return 0;   // none but texts, by how it is kept
        for (i64 i = 0; i < v->count; i++)
            if (!is_text(&list_items(v)[i])) return fail(VEK_DOMAIN);
        return 0;
    }
    if (!is_simple_type(v->type) && v->type != T_ENUM) return fail(VEK_DOMAIN);
    return 0;
}

// The rows of a character matrix as a list of texts.
static int matrix_texts(ValueDescriptor *dst, const ValueDescriptor *m) {
    i64 rows = m->dim0, width = m->dim1;
    if (new_list(dst, rows)) return (int)error_number;
    const char *p = (const char *)value_data((ValueDescriptor *)m);
    for (i64 r = 0; r < rows; r++) {
        ValueDescriptor *t = &list_items(dst)[r];
        if (new_vector(t, T_CHAR, width)) return (int)error_number;
        if (width) memcpy(value_data(t), p + r * width, width);
    }
    return 0;
}

// v as a column of `rows` cells: a single cell is repeated.
static int make_column(ValueDescriptor *dst, const ValueDescriptor *v, i64 rows) {
    Built texts;
    if (v->rank == 2) {
        if (matrix_texts(&texts.d, v)) return (int)error_number;
        v = &texts.d;
    }
    if (cell_count(v) == rows) {
        if (copy_column(dst, v)) return (int)error_number;
        dst->rank = 1;   // a scalar of one row is held inline: its item stays in word 2
        if (!is_inline_value(dst)) dst->dim0 = dst->count;
        return 0;
    }
    return repeat_cell(dst, v, 0, rows);
}

// The common row count of values that are to be columns: the length of the
// first that is not one item; 200 when another differs.
static int common_rows(const ValueDescriptor *const *v, i64 n, i64 *rows) {
    *rows = -1;
    for (i64 k = 0; k < n; k++) {
        i64 len = cell_count(v[k]);
        if (len == 1) continue;
        if (*rows < 0) *rows = len;
        else if (len != *rows) return fail(VEK_TABLE_COLUMNS_MISMATCH);
    }
    if (*rows < 0) *rows = 1;
    return 0;
}

static bool names_distinct(const i64 *names, i64 n) {
    std::vector<i64> seen(names, names + n);
    for (i64 i = 0; i < n; i++)
        for (i64 j = 0; j < i; j++)
            if (seen[i] == seen[j]) return false;
    return true;
}

// A table of the given names and column values, each made a column of
// `rows` cells.
static int table_of(ValueDescriptor *dst, const i64 *names, const ValueDescriptor *const *v, i64 n, i64 rows) {
    if (new_table(dst, n, rows)) return (int)error_number;
    ValueDescriptor *cols = table_columns(dst);
    for (i64 k = 0; k < n; k++) {
        symbols_of(pair_half(dst, 0))[k] = names[k];
        if (make_column(&list_items(cols)[k], v[k], rows)) return (int)error_number;
    }
    return 0;
}

int build_table(i64 slot, const i64 *names, const i64 *cs, const i64 *vs, i64 count, i64 key_count) {
    std::vector<const ValueDescriptor *> v(count);
    for (i64 k = 0; k < count; k++) {
        v[k] = keyed_operand(cs[k], vs[k]);
        if (!v[k]) return (int)error_number;
        if (column_kind_ok(v[k])) return VEK_DOMAIN;
    }
    i64 rows;
    if (common_rows(v.data(), count, &rows)) return (int)error_number;
    if (!names_distinct(names, count)) return fail(VEK_TABLE_206);
    Built z;
    if (key_count == 0) {
        if (table_of(&z.d, names, v.data(), count, rows)) return (int)error_number;
        return store_built(slot, &z);
    }
    if (new_pair(&z.d, T_DICT, FORM_KEYED_TABLE) || table_of(pair_half(&z.d, 0), names, v.data(), key_count, rows) ||
        table_of(pair_half(&z.d, 1), names + key_count, v.data() + key_count, count - key_count, rows))
        return (int)error_number;
    bool unique;
    if (rows_unique(table_columns(pair_half(&z.d, 0)), rows, &unique)) return (int)error_number;
    if (!unique) return fail(VEK_TABLE_COLUMNS_NOT_FOUND);
    return store_built(slot, &z);
}

// ---- cols, keys, meta, fkeys ----------------------------------------------------------------

static int empty_result(i64 slot) {
    Built z;
    if (new_vector(&z.d, T_INT, 0)) return (int)error_number;
    return store_built(slot, &z);
}

// The tables whose columns a value lists: a table itself, or a keyed
// table's key and value tables.
static i64 column_tables(const ValueDescriptor *d, const ValueDescriptor **t) {
    if (d->type == T_TABLE) { t[0] = d; return 1; }
    if (is_keyed_table(d)) { t[0] = pair_half(d, 0); t[1] = pair_half(d, 1); return 2; }
    return 0;
}

// All column names of n tables in order.
static int all_names(ValueDescriptor *dst, const ValueDescriptor *const *t, i64 n) {
    i64 total = 0;
    for (i64 k = 0; k < n; k++) total += pair_half(t[k], 0)->count;
    if (new_vector(dst, T_SYMBOL, total)) return (int)error_number;
    i64 at = 0;
    for (i64 k = 0; k < n; k++) {
        const ValueDescriptor *names = pair_half(t[k], 0);
        if (names->count) memcpy(symbols_of(dst) + at, value_data((ValueDescriptor *)names), 8 * names->count);
        at += names->count;
    }
    return 0;
}

static int table_cols(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    const ValueDescriptor *y = keyed_operand(rc, rv);
    if (!y) return (int)error_number;
    const ValueDescriptor *t[2];
    i64 n = column_tables(y, t);
    if (n == 0) return empty_result(slot);
    Built z;
    if (all_names(&z.d, t, n)) return (int)error_number;
    return store_built(slot, &z);
}

static int table_keys(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    const ValueDescriptor *y = keyed_operand(rc, rv);
    if (!y) return (int)error_number;
    if (!is_keyed_table(y)) return empty_result(slot);
    const ValueDescriptor *t = pair_half(y, 0);
    Built z;
    if (all_names(&z.d, &t, 1)) return (int)error_number;
    return store_built(slot, &z);
}

// The letter meta shows: an enumeration shows its domain items' letter, or
// I when the domain is gone (its values are then its positions).
static char column_letter(const ValueDescriptor *col) {
    if (col->type != T_ENUM) return type_letter(col->type);
    const ValueDescriptor *dom = enum_domain(col);
    return dom ? type_letter(dom->type) : 'I';
}

static int table_meta(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    const ValueDescriptor *y = keyed_operand(rc, rv);
    if (!y) return (int)error_number;
    const ValueDescriptor *t[2];
    i64 n = column_tables(y, t);
    if (n == 0) return empty_result(slot);
    i64 total = 0;
    for (i64 k = 0; k < n; k++) total += pair_half(t[k], 0)->count;
    Built z;
    if (new_pair(&z.d, T_DICT, FORM_KEYED_TABLE) || new_table(pair_half(&z.d, 0), 1, total) ||
        new_table(pair_half(&z.d, 1), 3, total))
        return (int)error_number;
    ValueDescriptor *kt = pair_half(&z.d, 0), *vt = pair_half(&z.d, 1);
    symbols_of(pair_half(kt, 0))[0] = intern_symbol("c");
    const char *value_names[3] = {"t", "f", "a"};
    for (int k = 0; k < 3; k++) symbols_of(pair_half(vt, 0))[k] = intern_symbol(value_names[k]);
    ValueDescriptor *c = list_items(table_columns(kt)), *vc = list_items(table_columns(vt));
    if (all_names(c, t, n) || new_vector(&vc[0], T_CHAR, total) || new_vector(&vc[1], T_SYMBOL, total) ||
        new_vector(&vc[2], T_CHAR, total))
        return (int)error_number;
    char *letters = (char *)value_data(&vc[0]), *blanks = (char *)value_data(&vc[2]);
    i64 *domains = symbols_of(&vc[1]), at = 0;
    for (i64 k = 0; k < n; k++) {
        const ValueDescriptor *cols = table_columns(t[k]);
        for (i64 j = 0; j < cols->count; j++, at++) {
            const ValueDescriptor *col = &list_items(cols)[j];
            letters[at] = column_letter(col);
            domains[at] = col->type == T_ENUM ? enum_domain_name(col) : 0;
            blanks[at] = ' ';
        }
    }
    return store_built(slot, &z);
}

static int table_fkeys(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    const ValueDescriptor *y = keyed_operand(rc, rv);
    if (!y) return (int)error_number;
    const ValueDescriptor *t[2];
    i64 n = column_tables(y, t);
    std::vector<i64> names, domains;
    for (i64 k = 0; k < n; k++) {
        const ValueDescriptor *cols = table_columns(t[k]);
        for (i64 j = 0; j < cols->count; j++)
            if (list_items(cols)[j].type == T_ENUM) {
                names.push_back(symbols_of(pair_half(t[k], 0))[j]);
                domains.push_back(enum_domain_name(&list_items(cols)[j]));
            }
    }
    if (names.empty()) return empty_result(slot);
    Built z;
    i64 m = (i64)names.size();
    if (new_pair(&z.d, T_DICT, FORM_DICTIONARY) || new_vector(pair_half(&z.d, 0), T_SYMBOL, m) ||
        new_list(pair_half(&z.d, 1), m))
        return (int)error_number;
    for (i64 i = 0; i < m; i++) {
        symbols_of(pair_half(&z.d, 0))[i] = names[i];
        ValueDescriptor *item = &list_items(pair_half(&z.d, 1))[i];
        if (new_vector(item, T_SYMBOL, 1)) return (int)error_number;
        item->rank = 0;
        *symbols_of(item) = domains[i];
    }
    return store_built(slot, &z);
}

// ---- Selecting columns ---------------------------------------------------------------------

// A table of the named columns of t, in the order of the names.
static int pick_columns(ValueDescriptor *dst, const ValueDescriptor *t, const i64 *names, i64 n, int missing) {
    if (!names_distinct(names, n)) return fail(VEK_TABLE_206);
    std::vector<const ValueDescriptor *> cols(n);
    for (i64 k = 0; k < n; k++)
        if (!(cols[k] = table_column(t, names[k]))) return fail(missing);
    return table_of(dst, names, cols.data(), n, table_rows(t));
}

int select_table_columns(i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    const ValueDescriptor *x = keyed_operand(lc, lv), *y = keyed_operand(rc, rv);
    if (!x || !y) return (int)error_number;
    if (x->type != T_SYMBOL || x->rank > 1 || y->type != T_TABLE) return fail(VEK_DOMAIN);
    Built z;
    if (pick_columns(&z.d, y, (const i64 *)value_data((ValueDescriptor *)x), x->count, VEK_TABLE_COLUMNS_NOT_FOUND))
        return (int)error_number;
    return store_built(slot, &z);
}

// ---- Flip ------------------------------------------------------------------------------------

int dictionary_to_table(i64 slot, i64 rc, i64 rv) {
    const ValueDescriptor *y = keyed_operand(rc, rv);
    if (!y) return (int)error_number;
    if (!is_dictionary(y)) return fail(VEK_DOMAIN);
    const ValueDescriptor *keys = pair_half(y, 0), *values = pair_half(y, 1);
    if (keys->type == T_LIST && keys->count == 1) keys = &list_items(keys)[0];
    if (keys->type != T_SYMBOL) return fail(VEK_TABLE_202);
    i64 n = keys->count;
    if (values->type != T_LIST || values->count != n) return fail(VEK_DOMAIN);
    std::vector<const ValueDescriptor *> v(n);
    for (i64 k = 0; k < n; k++) {
        v[k] = &list_items(values)[k];
        if (column_kind_ok(v[k])) return VEK_DOMAIN;
    }
    i64 rows;
    if (common_rows(v.data(), n, &rows)) return (int)error_number;
    const i64 *names = (const i64 *)value_data((ValueDescriptor *)keys);
    if (!names_distinct(names, n)) return fail(VEK_TABLE_206);
    Built z;
    if (table_of(&z.d, names, v.data(), n, rows)) return (int)error_number;
    return store_built(slot, &z);
}

int table_to_dictionary(i64 slot, i64 rc, i64 rv) {
    const ValueDescriptor *y = keyed_operand(rc, rv);
    if (!y) return (int)error_number;
    if (y->type != T_TABLE) return fail(VEK_DOMAIN);
    Built z;
    if (new_pair(&z.d, T_DICT, FORM_DICTIONARY) || copy_column(pair_half(&z.d, 0), pair_half(y, 0)) ||
        copy_column(pair_half(&z.d, 1), table_columns(y)))
        return (int)error_number;
    pair_half(&z.d, 1)->spare = 0;   // a plain list now
    return store_built(slot, &z);
}

// ---- Index-of --------------------------------------------------------------------------------

// One row sought: a scalar key, or a list of plain cells.
static bool single_row(const ValueDescriptor *lookup) {
    if (lookup->type != T_LIST) return lookup->rank == 0;
    return lookup->count > 0 && list_items(lookup)[0].type != T_LIST;
}

// Row numbers (from origin) of every row of y in x: absent rows get
// origin + the row count of x.
static int rows_of_table(i64 slot, const ValueDescriptor *x, const ValueDescriptor *y, i64 origin) {
    const ValueDescriptor *xn = pair_half(x, 0), *yn = pair_half(y, 0);
    if (!values_match(xn, yn)) return fail(VEK_TABLE_COLUMNS_MISMATCH);
    i64 rows = table_rows(x), m = table_rows(y);
    HashIndex h;
    if (hash_index_build(&h, table_columns(x), rows)) return (int)error_number;
    Built z;
    if (new_vector(&z.d, T_INT, m)) return (int)error_number;
    i64 *out = (i64 *)value_data(&z.d);
    for (i64 j = 0; j < m; j++) {
        i64 r = hash_find_row(&h, table_columns(y), j);
        out[j] = origin + (r < 0 ? rows : r);
    }
    return store_built(slot, &z);
}

int table_index_of(i64 slot, i64 lc, i64 lv, i64 rc, i64 rv, i64 origin) {
    const ValueDescriptor *x = keyed_operand(lc, lv), *y = keyed_operand(rc, rv);
    if (!x || !y) return (int)error_number;
    if (x->type == T_TABLE && y->type == T_TABLE) return rows_of_table(slot, x, y, origin);
    if (y->type != T_LIST) return fail(VEK_DOMAIN);
    const ValueDescriptor *searched = x->type == T_TABLE ? x : is_keyed_table(x) ? pair_half(x, 1) : nullptr;
    if (!searched) return fail(VEK_DOMAIN);
    i64 *rows, n;
    if (find_rows(table_columns(searched), table_rows(searched), y, &rows, &n)) return (int)error_number;
    bool one = single_row(y);
    Built z;
    if (x->type == T_TABLE) {
        if (new_vector(&z.d, T_INT, n)) return (int)error_number;
        for (i64 i = 0; i < n; i++) ((i64 *)value_data(&z.d))[i] = origin + rows[i];
        if (one && n == 1) z.d.rank = 0;
        return store_built(slot, &z);
    }
    // the key rows of the value rows found
    const ValueDescriptor *keys = pair_half(x, 0), *kc = table_columns(keys);
    if (one && n == 1) {
        if (new_pair(&z.d, T_DICT, FORM_DICTIONARY) || copy_column(pair_half(&z.d, 0), pair_half(keys, 0)) ||
            new_list(pair_half(&z.d, 1), kc->count))
            return (int)error_number;
        for (i64 k = 0; k < kc->count; k++)
            if (cell_value(&list_items(pair_half(&z.d, 1))[k], &list_items(kc)[k], rows[0])) return (int)error_number;
        return store_built(slot, &z);
    }
    if (new_table(&z.d, kc->count, n)) return (int)error_number;
    memcpy(symbols_of(pair_half(&z.d, 0)), value_data(pair_half(keys, 0)), 8 * kc->count);
    for (i64 k = 0; k < kc->count; k++)
        if (gather_cells(&list_items(table_columns(&z.d))[k], &list_items(kc)[k], rows, n)) return (int)error_number;
    return store_built(slot, &z);
}

// ---- Registration ----------------------------------------------------------------------------

void register_table_primitives() {
    register_table_constructor(build_table);
    register_keyed_index(keyed_index);
    register_keyed_assign(keyed_assign);
    register_builtin_function(3, table_cols);
    register_builtin_function(4, table_meta);
    register_builtin_function(5, table_keys);
    register_builtin_function(6, table_fkeys);
}
