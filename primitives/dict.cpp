// Dictionaries, keyed tables and enumerations: building them, key and
// value, dot access, deep match and the scalar functions over dictionaries.
//
// Ledger
// - x : y (make dictionary): a symbol scalar x enumerates y against the
//   domain variable x names; a table x with a table y gives a keyed table;
//   otherwise keys x (a scalar key is a one-item key vector) with values y
//   (a general list as it stands, any other value item by item).
//   Refuses: a table x with another y, x or y of another type above 12 (1);
//   rank above 1 (2); counts that differ or no keys (3); tables of different
//   row counts (200); repeated key rows (201). Enumerating: y of rank above 1
//   (2); a name that names no variable (1); a domain that is neither a
//   symbol vector of two or more items nor a keyed table with one simple key
//   column (7); an item that is not in the domain (1).
// - key, value: the keys and values of a dictionary, the key and value
//   tables of a keyed table, the domain items of an enumeration (its raw
//   positions, as integers, when any lies outside the domain or the domain
//   is gone). Refuses anything else (1); xkey with one operand (1).
// - x.name: the column of a table or keyed table (key table first), the
//   value of a symbol key of a dictionary, the component of a time value;
//   x.f.c: column c of the keyed table that enumeration column f refers to,
//   at its positions. Refuses: x a constant or a temporary, a name that is
//   not there, any other x (1).
// - Dyadic scalar functions with a dictionary operand: two dictionaries
//   must have equal keys (7); the function applies item by item to the
//   values (the other operand's items pair with them, a single item
//   extends; 3 when the counts differ). Refuses keyed tables (1).
// Fast paths: enumerating searches the domain once by hash; columns copied
// whole share their large blocks.
#include "primitives/keyed.h"
#include "primitives/hash_index.h"
#include "primitives/search.h"
#include "core/arena.h"
#include "core/evaluator.h"
#include "core/tables.h"
#include "core/valueops.h"
#include <cstring>

static bool is_symbol_scalar(const ValueDescriptor *d) { return d->type == T_SYMBOL && d->rank == 0; }
static i64 symbol_item(const ValueDescriptor *d) { return *(const i64 *)value_data((ValueDescriptor *)d); }
static bool int_class(i64 t) { return t == T_BOOL || t == T_INT; }

// The result is a copy of part of an operand.
static int store_copy(i64 slot, const ValueDescriptor *part) {
    Built z;
    if (copy_column(&z.d, part)) return (int)error_number;
    return store_built(slot, &z);
}

// ---- Enumerations --------------------------------------------------------------------------

// Positions of n items of `type` in the domain; false when one is missing
// or the types cannot meet.
static bool domain_positions(const ValueDescriptor *dom, i64 type, const void *items, i64 n, i64 *out) {
    bool same = type == dom->type || (int_class(type) && int_class(dom->type));
    if (!same || n == 0) return same;
    if (index_of_exact(dom->type, value_data((ValueDescriptor *)dom), dom->count, items, n, 0, out)) return false;
    for (i64 i = 0; i < n; i++)
        if (out[i] >= dom->count) return false;
    return true;
}

static int prim_enumerate(i64 slot, const ValueDescriptor *name, const ValueDescriptor *y) {
    if (y->rank > 1) return fail(VEK_RANK);
    i64 sym = symbol_item(name);
    const ValueDescriptor *var = domain_variable(sym);
    if (!var) return fail(VEK_DOMAIN);
    const ValueDescriptor *dom = domain_items(var);
    if (!dom || (dom == var && dom->count < 2)) return fail(VEK_TYPE);
    if (y->type == T_LIST && y->count > 0) return fail(VEK_DOMAIN);
    Built z;
    if (new_enum(&z.d, sym, y->count)) return (int)error_number;
    if (!domain_positions(dom, y->type, value_data((ValueDescriptor *)y), y->count, enum_positions(&z.d)))
        return fail(VEK_DOMAIN);
    return store_built(slot, &z);
}

// ---- Building ------------------------------------------------------------------------------------

static int make_keyed_table(i64 slot, const ValueDescriptor *x, const ValueDescriptor *y) {
    if (y->type != T_TABLE) return fail(VEK_DOMAIN);
    if (table_rows(x) != table_rows(y)) return fail(VEK_TABLE_COLUMNS_MISMATCH);
    bool unique;
    if (rows_unique(table_columns(x), table_rows(x), &unique)) return (int)error_number;
    if (!unique) return fail(VEK_TABLE_COLUMNS_NOT_FOUND);
    Built z;
    if (new_pair(&z.d, T_DICT, FORM_KEYED_TABLE) || copy_column(pair_half(&z.d, 0), x) ||
        copy_column(pair_half(&z.d, 1), y))
        return (int)error_number;
    return store_built(slot, &z);
}

// Every item of a value as an item of a general list.
static int enclose_items(ValueDescriptor *dst, const ValueDescriptor *y) {
    if (new_list(dst, y->count)) return (int)error_number;
    for (i64 i = 0; i < y->count; i++)
        if (cell_value(&list_items(dst)[i], y, i)) return (int)error_number;
    return 0;
}

static int prim_make_dict(i64, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    const ValueDescriptor *x = keyed_operand(lc, lv), *y = keyed_operand(rc, rv);
    if (!x || !y) return (int)error_number;
    if (is_symbol_scalar(x)) return prim_enumerate(slot, x, y);
    if (x->type == T_TABLE) return make_keyed_table(slot, x, y);
    if (x->type > T_TIME || y->type > T_TIME) return fail(VEK_DOMAIN);
    if (x->rank > 1 || y->rank > 1) return fail(VEK_RANK);
    if (x->count != y->count || x->count == 0) return fail(VEK_LENGTH);
    Built z;
    if (new_pair(&z.d, T_DICT, FORM_DICTIONARY)) return (int)error_number;
    ValueDescriptor *keys = pair_half(&z.d, 0), *values = pair_half(&z.d, 1);
    if (copy_column(keys, x)) return (int)error_number;
    keys->rank = 1;   // a scalar key is a key vector of one
    if (y->type == T_LIST ? copy_column(values, y) : enclose_items(values, y)) return (int)error_number;
    values->rank = 1;
    return store_built(slot, &z);
}

// ---- key, value, xkey ---------------------------------------------------------------------------

static int builtin_key(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    const ValueDescriptor *y = keyed_operand(rc, rv);
    if (!y) return (int)error_number;
    if (y->type != T_DICT || !y->data) return fail(VEK_DOMAIN);
    return store_copy(slot, pair_half(y, 0));
}

static int builtin_value(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    const ValueDescriptor *y = keyed_operand(rc, rv);
    if (!y) return (int)error_number;
    if (y->type == T_ENUM) {
        Built z;
        if (enum_values_of(&z.d, y)) return (int)error_number;
        return store_built(slot, &z);
    }
    if (y->type != T_DICT || !y->data) return fail(VEK_DOMAIN);
    return store_copy(slot, pair_half(y, 1));
}

// The dyadic form belongs to the query layer.
static int builtin_xkey(i64, i64, i64 lc, i64, i64, i64) {
    return fail(lc < 0 ? VEK_DOMAIN : VEK_NOT_IMPLEMENTED);
}

// ---- Dot access ----------------------------------------------------------------------------------

// x.f.c through an enumeration column f of x.
static int dot_through_enum(i64 slot, const ValueDescriptor *x, i64 f, i64 c) {
    const ValueDescriptor *col = x->type == T_TABLE ? table_column(x, f) : is_keyed_table(x) ? keyed_column(x, f) : nullptr;
    if (!col || col->type != T_ENUM) return fail(VEK_DOMAIN);
    const ValueDescriptor *var = domain_variable(enum_domain_name(col));
    if (!var || !is_keyed_table(var)) return fail(VEK_DOMAIN);
    const ValueDescriptor *target = keyed_column(var, c), *dom = domain_items(var);
    if (!target || !dom) return fail(VEK_DOMAIN);
    const i64 *pos = enum_positions(col);
    Built z;
    bool inside = true;
    for (i64 i = 0; inside && i < col->count; i++) inside = pos[i] >= 0 && pos[i] < dom->count;
    if (!inside) {
        // positions the domain no longer holds: the positions themselves
        if (enum_values_of(&z.d, col)) return (int)error_number;
    } else if (gather_cells(&z.d, target, pos, col->count)) return (int)error_number;
    return store_built(slot, &z);
}

static int dot_access(i64 slot, i64 lc, i64 lv, const ValueDescriptor *x, i64 name) {
    if (is_time_type(x->type)) return dot_time_component(slot, lc, lv, name);
    const ValueDescriptor *part = nullptr;
    if (x->type == T_TABLE) part = table_column(x, name);
    else if (is_keyed_table(x)) part = keyed_column(x, name);
    else if (is_dictionary(x)) {
        const ValueDescriptor *keys = pair_half(x, 0);
        i64 k = keys->type == T_SYMBOL ? find_key(keys, name) : -1;
        if (k >= 0) part = &list_items(pair_half(x, 1))[k];
    }
    if (!part) return fail(VEK_DOMAIN);
    return store_copy(slot, part);
}

static int prim_dot(i64, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    const ValueDescriptor *x = keyed_operand(lc, lv), *y = keyed_operand(rc, rv);
    if (!x || !y) return (int)error_number;
    // x.f.c arrives as x.(f.c): the inner dot joins its two names into a path
    if (lc >= 0 && rc >= 0 && is_symbol_scalar(x) && is_symbol_scalar(y)) {
        Built z;
        if (new_vector(&z.d, T_SYMBOL, 2)) return (int)error_number;
        symbols_of(&z.d)[0] = symbol_item(x);
        symbols_of(&z.d)[1] = symbol_item(y);
        return store_built(slot, &z);
    }
    if (lc >= 0 || !is_heap_slot(lv)) return fail(VEK_DOMAIN);
    if (rc >= 0 && is_symbol_scalar(y)) return dot_access(slot, lc, lv, x, symbol_item(y));
    if (rc < 0 && y->type == T_SYMBOL && y->rank == 1 && y->count == 2) {
        const i64 *path = (const i64 *)value_data((ValueDescriptor *)y);
        return dot_through_enum(slot, x, path[0], path[1]);
    }
    return fail(VEK_DOMAIN);
}

// ---- Deep match -----------------------------------------------------------------------------------

static int prim_match_deep(i64, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    const ValueDescriptor *x = keyed_operand(lc, lv), *y = keyed_operand(rc, rv);
    if (!x || !y) return (int)error_number;
    return result_int(slot, T_BOOL, values_match(x, y) ? 1 : 0);
}

// ---- Scalar functions over dictionaries -------------------------------------------------------

// Equal key vectors: type, shape and every item.
static bool keys_equal(const ValueDescriptor *a, const ValueDescriptor *b) {
    if (a->type != b->type || a->count != b->count) return false;
    if (a->type == T_LIST) return values_match(a, b);
    i64 n = data_bytes(a->type, a->count);
    return n == 0 || memcmp(value_data((ValueDescriptor *)a), value_data((ValueDescriptor *)b), n - (a->type == T_CHAR)) == 0;
}

// Item i of one side: a dictionary's value, the other operand's item i, or
// the other operand whole when it is a single item.
static int side_item(i64 temp, const ValueDescriptor *d, bool dict, i64 i) {
    if (dict) return assign_to_slot(temp, &list_items(pair_half(d, 1))[i]);
    if (d->count == 1 && d->rank <= 1) return assign_to_slot(temp, d);
    ValueDescriptor item;
    Built b;
    if (cell_value(&b.d, d, i)) return (int)error_number;
    item = b.d;
    fix_inline_pointer(&item);
    return assign_to_slot(temp, &item);
}

// An item copied into a temporary may be a list on the stack end whose own
// items are large blocks: those are given up with it, item by item, or
// every item of the loop would leave them behind.
static void clear_temporaries(const i64 *temps, int n) {
    for (int k = 0; k < n; k++) {
        release_stack_value(&value_slot_table[temps[k]]);
        value_slot_table[temps[k]].rank = -1;
    }
}

int dict_scalar_dyadic(i64 code, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    const ValueDescriptor *x = keyed_operand(lc, lv), *y = keyed_operand(rc, rv);
    if (!x || !y) return (int)error_number;
    bool dx = is_dictionary(x), dy = is_dictionary(y);
    if ((x->type == T_DICT && !dx) || (y->type == T_DICT && !dy)) return fail(VEK_DOMAIN);
    if (x->type > T_DICT || y->type > T_DICT || x->type == T_ENUM || y->type == T_ENUM) return fail(VEK_DOMAIN);
    if (dx && dy && !keys_equal(pair_half(x, 0), pair_half(y, 0))) return fail(VEK_TYPE);
    const ValueDescriptor *d = dx ? x : y, *other = dx ? y : x;
    i64 n = pair_half(d, 1)->count;
    if (!(dx && dy) && other->rank > 1) return fail(VEK_RANK);
    if (!(dx && dy) && !(other->count == 1 && other->rank <= 1) && other->count != n) return fail(VEK_LENGTH);
    Built z;
    if (new_pair(&z.d, T_DICT, FORM_DICTIONARY) || copy_column(pair_half(&z.d, 0), pair_half(d, 0)) ||
        new_list(pair_half(&z.d, 1), n))
        return (int)error_number;
    i64 saved = eval_temp_counter, tl, tr, tz;
    if (take_temporary(&eval_temp_counter, &tl) || take_temporary(&eval_temp_counter, &tr) ||
        take_temporary(&eval_temp_counter, &tz))
        return (int)error_number;
    const i64 temps[3] = {tl, tr, tz};
    int e = 0;
    for (i64 i = 0; i < n && !e; i++) {
        clear_temporaries(temps, 3);
        // the operands are found afresh: an item's arithmetic may move arena data
        x = operand_ref(lc, lv);
        y = operand_ref(rc, rv);
        e = side_item(tl, x, dx, i) || side_item(tr, y, dy, i) ? (int)error_number
            : dispatch_primitive(code, tz, -1, tl, -1, tr);
        if (!e) e = copy_value_checked(&list_items(pair_half(&z.d, 1))[i], &value_slot_table[tz], 1);
    }
    clear_temporaries(temps, 3);
    eval_temp_counter = saved;
    if (e) return fail(e);
    return store_built(slot, &z);
}

// ---- Registration ---------------------------------------------------------------------------------

void register_dict_primitives() {
    register_primitive(P_MAKE_DICT, 2, prim_make_dict);
    register_primitive(P_DOT, 2, prim_dot);
    register_primitive(P_DEEP_MATCH, 2, prim_match_deep);
    register_builtin_function(0, builtin_key);
    register_builtin_function(1, builtin_value);
    register_builtin_function(2, builtin_xkey);
}
