// Building dictionaries, tables and enumerations, and reading their cells.
// Columns are plain typed vectors: cells are gathered by type in one loop
// per column, and a column copied whole shares its large block.
#include "primitives/keyed.h"
#include "primitives/hash_index.h"
#include "core/arena.h"
#include "core/symbols.h"
#include "core/tables.h"
#include "core/text_lists.h"
#include "core/valueops.h"
#include <algorithm>
#include <cstring>

Built::Built() {
    memset(&d, 0, sizeof d);
    d.rank = -1;
}

Built::~Built() {
    if (d.rank >= 0) free_value(&d);
}

int store_built(i64 slot, Built *b) {
    if (slot < 0 || slot >= SLOT_COUNT) return fail(VEK_DOMAIN);
    ValueDescriptor old = value_slot_table[slot];
    value_slot_table[slot] = b->d;
    fix_inline_pointer(&value_slot_table[slot]);
    memset(&b->d, 0, sizeof b->d);
    b->d.rank = -1;
    free_value(&old);
    return 0;
}

// ---- Operands ---------------------------------------------------------------------------

static bool table_sound(const ValueDescriptor *t) {
    if (t->type != T_TABLE || t->rank < 0 || !t->data) return false;
    const ValueDescriptor *names = pair_half(t, 0), *cols = pair_half(t, 1);
    if (names->rank < 0 || names->type != T_SYMBOL || names->rank > 1) return false;
    if (cols->rank < 0 || cols->type != T_LIST || cols->count != names->count || (cols->count && !cols->data))
        return false;
    i64 rows = table_rows(t);
    for (i64 k = 0; k < cols->count; k++) {
        const ValueDescriptor *c = &list_items(cols)[k];
        if (c->rank != 1 || c->count != rows) return false;
        if (c->type == T_LIST) {
            if (holds_own_texts(c)) continue;   // none but texts, by how it is kept
            for (i64 r = 0; r < rows; r++)
                if (list_items(c)[r].type != T_CHAR || list_items(c)[r].rank > 1) return false;
        } else if (!is_simple_type(c->type) && c->type != T_ENUM) return false;
        if (c->count > 0 && !value_data((ValueDescriptor *)c)) return false;
    }
    return true;
}

bool keyed_value_sound(const ValueDescriptor *d) {
    if (d->type == T_TABLE) return table_sound(d);
    if (d->type == T_ENUM) return d->count == 0 || d->data;
    if (d->type != T_DICT) return true;
    if (!d->data || d->count != 2) return false;
    const ValueDescriptor *a = pair_half(d, 0), *b = pair_half(d, 1);
    if (d->spare == FORM_KEYED_TABLE) return table_sound(a) && table_sound(b) && table_rows(a) == table_rows(b);
    if (d->spare != FORM_DICTIONARY || a->rank < 0 || b->rank < 0) return false;
    return a->rank <= 1 && a->type <= T_TIME && b->type == T_LIST && b->count == a->count && (b->count == 0 || b->data);
}

const ValueDescriptor *keyed_operand(i64 c, i64 v) {
    const ValueDescriptor *d = operand_ref(c, v);
    if (!d || d->rank < 0) {
        fail(VEK_VALUE);
        return nullptr;
    }
    if (!keyed_value_sound(d)) {
        fail(VEK_DOMAIN);
        return nullptr;
    }
    return d;
}

// ---- New values -----------------------------------------------------------------------

int new_vector(ValueDescriptor *d, i64 type, i64 n) {
    memset(d, 0, sizeof *d);
    if (n < 0 || data_bytes(type, n) < 0) return fail(VEK_WS_FULL);
    d->type = type;
    d->rank = 1;
    d->count = d->dim0 = n;
    if (is_inline_value(d)) {
        d->data = &d->dim0;
        return 0;
    }
    return alloc_descriptor_data(d, 1);
}

int new_enum(ValueDescriptor *d, i64 domain_name, i64 n) {
    if (new_vector(d, T_ENUM, n)) return (int)error_number;
    d->spare = domain_name;
    if (n > 0) ((i64 *)d->data)[0] = domain_name;
    return 0;
}

int new_list(ValueDescriptor *d, i64 n) { return new_vector(d, T_LIST, n); }

int new_pair(ValueDescriptor *d, i64 type, i64 form) {
    memset(d, 0, sizeof *d);
    d->type = type;
    d->rank = 1;
    d->count = d->dim0 = 2;
    d->spare = form;
    if (alloc_descriptor_data(d, 1)) return (int)error_number;
    for (int k = 0; k < 2; k++) pair_half(d, k)->rank = -1;
    return 0;
}

int new_table(ValueDescriptor *d, i64 ncols, i64 rows) {
    if (new_pair(d, T_TABLE, 0)) return (int)error_number;
    if (new_vector(pair_half(d, 0), T_SYMBOL, ncols) || new_list(pair_half(d, 1), ncols)) return (int)error_number;
    set_table_rows(d, rows);
    return 0;
}

// The names are copied into the empty half: copying over the name vector
// new_table makes would lose that vector's block.
int new_table_named(ValueDescriptor *d, const ValueDescriptor *names, i64 rows) {
    if (new_pair(d, T_TABLE, 0)) return (int)error_number;
    if (copy_column(pair_half(d, 0), names) || new_list(pair_half(d, 1), names->count)) return (int)error_number;
    set_table_rows(d, rows);
    return 0;
}

// ---- Cells ---------------------------------------------------------------------------------

i64 cell_count(const ValueDescriptor *v) { return v->rank == 2 ? v->dim0 : v->count; }

i64 cell_bytes(i64 type) { return type == T_CHAR ? 1 : type == T_COMPLEX ? 16 : 8; }

int copy_column(ValueDescriptor *dst, const ValueDescriptor *src) { return copy_value_shared(dst, src); }

int gather_cells(ValueDescriptor *dst, const ValueDescriptor *col, const i64 *rows, i64 n) {
    if (col->type == T_LIST) {
        // the texts of a text column in one block
        bool done;
        memset(dst, 0, sizeof *dst);
        if (gather_texts(dst, col, rows, n, &done)) return (int)error_number;
        if (done) return 0;
    }
    if (col->type == T_ENUM) {
        if (new_enum(dst, enum_domain_name(col), n)) return (int)error_number;
    } else if (new_vector(dst, col->type, n)) return (int)error_number;
    if (n == 0) return 0;
    if (col->type == T_LIST) {
        const ValueDescriptor *in = list_items(col);
        for (i64 i = 0; i < n; i++)
            if (copy_value_checked(&list_items(dst)[i], &in[rows[i]], 1)) return (int)error_number;
        return 0;
    }
    gather_items(cell_base(dst), cell_base(col), cell_bytes(col->type), rows, n);
    return 0;
}

int repeat_cell(ValueDescriptor *dst, const ValueDescriptor *col, i64 row, i64 n) {
    if (col->type == T_LIST && n > 0) {
        Work<i64> rows;
        if (rows.take(n)) return (int)error_number;
        std::fill(rows.p, rows.p + n, row);
        return gather_cells(dst, col, rows.p, n);
    }
    if (col->type == T_ENUM) {
        if (new_enum(dst, enum_domain_name(col), n)) return (int)error_number;
    } else if (new_vector(dst, col->type, n)) return (int)error_number;
    if (n == 0) return 0;
    if (col->type == T_LIST) {
        for (i64 i = 0; i < n; i++)
            if (copy_value_checked(&list_items(dst)[i], &list_items(col)[row], 1)) return (int)error_number;
        return 0;
    }
    i64 size = cell_bytes(col->type);
    char *out = cell_base(dst);
    const char *in = cell_base(col) + row * size;
    for (i64 i = 0; i < n; i++) memcpy(out + i * size, in, size);
    return 0;
}

int cell_value(ValueDescriptor *dst, const ValueDescriptor *col, i64 r) {
    if (col->type == T_LIST) return copy_value_checked(dst, &list_items(col)[r], 1);
    if (col->type == T_ENUM) return gather_cells(dst, col, &r, 1);
    if (new_vector(dst, col->type, 1)) return (int)error_number;
    dst->rank = 0;
    memcpy(value_data(dst), cell_base(col) + r * cell_bytes(col->type), cell_bytes(col->type));
    return 0;
}

// ---- Looking things up -------------------------------------------------------------------

const ValueDescriptor *table_column(const ValueDescriptor *t, i64 name, i64 *at) {
    if (t->type != T_TABLE || !t->data) return nullptr;
    i64 k = find_key(pair_half(t, 0), name);
    if (at) *at = k;
    return k < 0 ? nullptr : &list_items(table_columns(t))[k];
}

const ValueDescriptor *keyed_column(const ValueDescriptor *kt, i64 name) {
    const ValueDescriptor *c = table_column(pair_half(kt, 0), name);
    return c ? c : table_column(pair_half(kt, 1), name);
}

// One column of 8-byte whole numbers (integers, symbols, the time types,
// enumeration positions) whose values lie in a range not much wider than
// the rows: one bit per value of the range tells a repeat at once. False
// when the column is not of that kind.
static bool unique_by_bits(const ValueDescriptor *columns, i64 rows, bool *unique) {
    enum : i64 { FEW_ROWS = 64, BITS_PER_ROW = 32 };
    if (columns->count != 1 || rows < FEW_ROWS) return false;
    const ValueDescriptor *col = list_items(columns);
    bool words = col->type == T_INT || col->type == T_SYMBOL || col->type == T_ENUM ||
                 (col->type >= T_MONTH && col->type <= T_TIME && col->type != T_DATETIME);
    if (!words || col->rank != 1 || col->count != rows) return false;
    const i64 *v = (const i64 *)cell_base(col);
    i64 low = v[0], high = v[0];
    for (i64 r = 1; r < rows; r++) {
        low = std::min(low, v[r]);
        high = std::max(high, v[r]);
    }
    u64 span = (u64)high - (u64)low;
    if (span / BITS_PER_ROW >= (u64)rows) return false;
    Work<u64> bits;
    i64 saved = error_number;
    if (bits.take((i64)(span / 64 + 1))) {
        error_number = saved;   // the hash index may still be had
        return false;
    }
    std::fill(bits.p, bits.p + span / 64 + 1, 0);
    *unique = true;
    for (i64 r = 0; r < rows; r++) {
        u64 at = (u64)v[r] - (u64)low, mask = (u64)1 << (at & 63);
        if (bits[at >> 6] & mask) {
            *unique = false;
            break;
        }
        bits[at >> 6] |= mask;
    }
    return true;
}

// Equal rows share a probe path and the earlier one sits first on it, so a
// row finds itself exactly when no earlier row equals it.
int rows_unique(const ValueDescriptor *columns, i64 rows, bool *unique) {
    if (unique_by_bits(columns, rows, unique)) return 0;
    *unique = true;
    HashIndex h;
    if (hash_index_build(&h, columns, rows)) return VEK_WS_FULL;
    for (i64 r = 0; r < rows && *unique; r++) *unique = hash_find_row(&h, columns, r) == r;
    return 0;
}

int enum_values_of(ValueDescriptor *dst, const ValueDescriptor *e) {
    const ValueDescriptor *dom = enum_domain(e);
    const i64 *pos = enum_positions(e);
    bool inside = dom != nullptr;
    for (i64 i = 0; inside && i < e->count; i++) inside = pos[i] >= 0 && pos[i] < dom->count;
    if (!inside) {
        if (new_vector(dst, T_INT, e->count)) return (int)error_number;
        if (e->count) memcpy(value_data(dst), pos, 8 * e->count);
        return 0;
    }
    return gather_cells(dst, dom, pos, e->count);
}
