// The row index (HashIndex), row and cell equality, and the key searches
// over key vectors and key columns.
//
// Cells are hashed by what makes them equal: a text by its bytes, an
// element by its word (a double's with -0.0 taken as 0.0, a complex
// number's two parts together), so equal rows always meet on one probe
// path and values that merely print alike spread apart.
#include "primitives/hash_index.h"
#include "primitives/search.h"
#include "core/arena.h"
#include "core/valueops.h"

// ---- Slot counts --------------------------------------------------------------------------------

// Each about twice the one before; past the last, the first prime above
// the row count is taken.
static const i64 hash_primes[] = {7,      17,     37,     79,      163,     331,     673,
                                  1361,   2729,   4711,   10949,   21911,   43853,   87719,
                                  175447, 350899, 701819, 1403641, 2807303, 5614657};

static bool is_prime(i64 p) {
    if (p < 2) return false;
    for (i64 d = 2; d <= p / d; d++)
        if (p % d == 0) return false;
    return true;
}

int hash_table_size(i64 n, i64 *slots) {
    if (n < 0) n = 0;
    for (i64 p : hash_primes)
        if (p > n) {
            *slots = 2 * p;
            return 0;
        }
    if (n > INT64_MAX / 4) return fail(VEK_WS_FULL);
    i64 p = n + 1;
    while (!is_prime(p)) p++;
    *slots = 2 * p;
    return 0;
}

// ---- Cells ----------------------------------------------------------------------------------------

// One cell as it is compared: a text, an element of a type, or nothing
// that equals anything.
struct Cell {
    enum Kind { NONE, TEXT, ELEMENT } kind = NONE;
    i64 type = 0;
    const void *data = nullptr;
    i64 length = 0;             // text length
};

static bool is_text_column(const ValueDescriptor *col) {
    return col->type == T_LIST || (col->type == T_CHAR && col->rank == 2);
}

static i64 element_bytes(i64 type) { return type == T_CHAR ? 1 : type == T_COMPLEX ? 16 : 8; }

static Cell text_cell(const void *data, i64 length) {
    Cell c;
    c.kind = Cell::TEXT;
    c.type = T_CHAR;
    c.data = data;
    c.length = length;
    return c;
}

// A character vector as a text; anything else is no cell.
static Cell text_of(const ValueDescriptor *d) {
    if (d->type != T_CHAR || d->rank > 1) return Cell();
    return text_cell(value_data((ValueDescriptor *)d), d->count);
}

static Cell column_cell(const ValueDescriptor *col, i64 r) {
    ValueDescriptor *c = (ValueDescriptor *)col;
    i64 cells = col->rank == 2 ? col->dim0 : col->count;
    if (cells == 1) r = 0;                      // one cell stands for every row
    if (r < 0 || r >= cells) return Cell();
    if (col->type == T_LIST) return text_of(&((const ValueDescriptor *)value_data(c))[r]);
    if (col->type == T_CHAR && col->rank == 2) return text_cell((const char *)value_data(c) + r * col->dim1, col->dim1);
    Cell e;
    e.kind = Cell::ELEMENT;
    e.type = col->type;
    const char *base = (const char *)value_data(c);
    if (col->type == T_ENUM) base += 16;        // past the domain's name and reference
    e.data = base + r * element_bytes(col->type);
    return e;
}

// Item k of a row value, read against the column it stands for.
static Cell value_cell(const ValueDescriptor *col, const ValueDescriptor *item) {
    if (is_text_column(col)) return text_of(item);
    if (item->type != col->type || item->count != 1 || item->rank > 1) return Cell();
    Cell e;
    e.kind = Cell::ELEMENT;
    e.type = item->type;
    const char *base = (const char *)value_data((ValueDescriptor *)item);
    e.data = item->type == T_ENUM ? base + 16 : base;
    return e;
}

static bool same_cell(const Cell &a, const Cell &b) {
    if (a.kind == Cell::NONE || a.kind != b.kind || a.type != b.type) return false;
    if (a.kind == Cell::TEXT) return a.length == b.length && (a.length == 0 || memcmp(a.data, b.data, a.length) == 0);
    switch (a.type) {
    case T_FLOAT: case T_DATETIME: return *(const double *)a.data == *(const double *)b.data;
    case T_COMPLEX: {
        const double *x = (const double *)a.data, *y = (const double *)b.data;
        return x[0] == y[0] && x[1] == y[1];
    }
    case T_CHAR: return *(const char *)a.data == *(const char *)b.data;
    default: return *(const i64 *)a.data == *(const i64 *)b.data;
    }
}

static u64 cell_hash(const Cell &c) {
    if (c.kind == Cell::NONE) return 0;
    if (c.kind == Cell::TEXT) return bytes_word((const char *)c.data, c.length);
    switch (c.type) {
    case T_FLOAT: case T_DATETIME: return mix_word(float_word(*(const double *)c.data));
    case T_COMPLEX: return pair_word((const double *)c.data);
    case T_CHAR: return bytes_word((const char *)c.data, 1);
    default: return mix_word(*(const u64 *)c.data);
    }
}

static i64 column_count(const ValueDescriptor *columns) { return columns->count; }

static const ValueDescriptor *column(const ValueDescriptor *columns, i64 k) {
    return &((const ValueDescriptor *)value_data((ValueDescriptor *)columns))[k];
}

static const ValueDescriptor *row_item(const ValueDescriptor *row, i64 k) {
    return &((const ValueDescriptor *)value_data((ValueDescriptor *)row))[k];
}

bool cells_equal(const ValueDescriptor *columns, i64 r, const ValueDescriptor *other, i64 j) {
    if (column_count(other) != column_count(columns)) return false;
    for (i64 k = 0; k < column_count(columns); k++)
        if (!same_cell(column_cell(column(columns, k), r), column_cell(column(other, k), j))) return false;
    return true;
}

// A row value as cells: a general list with one item per column, or with a
// single column the item itself.
static bool row_matches(const ValueDescriptor *columns, i64 r, const ValueDescriptor *const *items) {
    for (i64 k = 0; k < column_count(columns); k++) {
        const ValueDescriptor *col = column(columns, k);
        if (!same_cell(column_cell(col, r), value_cell(col, items[k]))) return false;
    }
    return true;
}

// ---- The index ---------------------------------------------------------------------------------------

static u64 combine(u64 h, u64 cell) { return (h ^ cell) * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull; }

static i64 slot_of(const HashIndex *h, u64 hash) {
    return (i64)(((unsigned __int128)mix_word(hash) * (u64)h->slot_count) >> 64);
}

static u64 row_hash(const ValueDescriptor *columns, i64 r) {
    u64 h = 0;
    for (i64 k = 0; k < column_count(columns); k++) h = combine(h, cell_hash(column_cell(column(columns, k), r)));
    return h;
}

int hash_index_build(HashIndex *h, const ValueDescriptor *columns, i64 rows) {
    h->columns = columns;
    h->rows = rows;
    if (hash_table_size(rows, &h->slot_count) || h->slots.take(h->slot_count)) return VEK_WS_FULL;
    memset(h->slots.p, 0xFF, sizeof(i64) * h->slot_count);
    for (i64 r = 0; r < rows; r++) {
        i64 s = slot_of(h, row_hash(columns, r));
        while (h->slots[s] >= 0) s = s + 1 == h->slot_count ? 0 : s + 1;
        h->slots[s] = r;
    }
    return 0;
}

template <class Same>
static i64 probe_rows(const HashIndex *h, u64 hash, Same same) {
    if (h->slot_count == 0) return -1;
    for (i64 s = slot_of(h, hash); h->slots[s] >= 0; s = s + 1 == h->slot_count ? 0 : s + 1)
        if (same(h->slots[s])) return h->slots[s];
    return -1;
}

static i64 find_cells(const HashIndex *h, const ValueDescriptor *const *items) {
    u64 hash = 0;
    for (i64 k = 0; k < column_count(h->columns); k++)
        hash = combine(hash, cell_hash(value_cell(column(h->columns, k), items[k])));
    return probe_rows(h, hash, [&](i64 r) { return row_matches(h->columns, r, items); });
}

i64 hash_find_row(const HashIndex *h, const ValueDescriptor *other, i64 j) {
    if (column_count(other) != column_count(h->columns)) return -1;
    return probe_rows(h, row_hash(other, j), [&](i64 r) { return cells_equal(h->columns, r, other, j); });
}

// ---- Rows of a table -------------------------------------------------------------------------------

int find_rows(const ValueDescriptor *columns, i64 rows, const ValueDescriptor *lookup, i64 **out, i64 *count) {
    if (lookup->type != T_LIST) return pair_find_rows_all(columns, lookup, 0, out, count);
    i64 ncols = column_count(columns), n = lookup->count;
    // The cells of each row sought, one item per column.
    bool several = n > 0 && row_item(lookup, 0)->type == T_LIST;
    i64 sought = several ? n : n == ncols ? 1 : ncols == 1 ? n : -1;
    if (sought < 0) return fail(VEK_LENGTH);
    Work<const ValueDescriptor *> cells;
    i64 cells_count;
    if (checked_product(sought, ncols, &cells_count) || cells.take(cells_count)) return VEK_WS_FULL;
    for (i64 q = 0; q < sought; q++) {
        if (!several && sought != 1) {          // a single column: each item is a row
            cells[q] = row_item(lookup, q);
            continue;
        }
        const ValueDescriptor *row = several ? row_item(lookup, q) : lookup;
        if (row->type != T_LIST || row->count != ncols) return fail(VEK_LENGTH);
        for (i64 k = 0; k < ncols; k++) cells[q * ncols + k] = row_item(row, k);
    }
    HashIndex h;
    if (hash_index_build(&h, columns, rows)) return VEK_WS_FULL;
    i64 *found = (i64 *)scratch_alloc(T_INT, sought);
    if (sought > 0 && !found) return VEK_WS_FULL;
    for (i64 q = 0; q < sought; q++) {
        found[q] = find_cells(&h, cells.p + q * ncols);
        if (found[q] < 0) return fail(sought == 1 ? VEK_VALUE_NOT_FOUND : VEK_KEY_NOT_FOUND);
    }
    *out = found;
    *count = sought;
    return 0;
}

// ---- Keys --------------------------------------------------------------------------------------------

static bool is_key_type(i64 t) { return is_simple_type(t); }

int key_positions(const ValueDescriptor *keys, const ValueDescriptor *lookup, i64 origin, bool missing_is_error,
                  i64 *out) {
    if (!is_key_type(keys->type) || keys->type != lookup->type) return fail(VEK_INDEX);
    i64 n = keys->count, m = lookup->count;
    if (index_of_exact(keys->type, value_data((ValueDescriptor *)keys), n, value_data((ValueDescriptor *)lookup), m, 0,
                       out))
        return fail(VEK_WS_FULL);
    for (i64 i = 0; i < m; i++) {
        if (out[i] == n && missing_is_error) return fail(VEK_INDEX);
        out[i] += origin;
    }
    return 0;
}

// A general list of one item stands for that item.
static const ValueDescriptor *unwrap(const ValueDescriptor *d) {
    return d->type == T_LIST && d->count == 1 ? row_item(d, 0) : d;
}

int pair_find_rows(const ValueDescriptor *keys, const ValueDescriptor *lookup, i64 origin, bool missing_is_error,
                   i64 **out, i64 *count) {
    *out = nullptr;
    *count = 0;
    lookup = unwrap(lookup);
    keys = unwrap(keys);
    if (lookup->count == 0) return 0;
    if (lookup->type == T_LIST) return fail(VEK_DOMAIN);
    const ValueDescriptor *chosen = nullptr;
    if (keys->type != T_LIST) chosen = keys->type == lookup->type ? keys : nullptr;
    else
        for (i64 k = 0; k < keys->count && !chosen; k++)
            if (column(keys, k)->type == lookup->type) chosen = column(keys, k);
    if (!chosen || chosen->count == 0) return fail(VEK_INDEX);
    i64 *positions = (i64 *)scratch_alloc(T_INT, lookup->count);
    if (!positions) return VEK_WS_FULL;
    if (key_positions(chosen, lookup, origin, missing_is_error, positions)) return (int)error_number;
    *out = positions;
    *count = lookup->count;
    return 0;
}

int pair_find_rows_all(const ValueDescriptor *keys, const ValueDescriptor *lookup, i64 origin, i64 **out,
                       i64 *count) {
    return pair_find_rows(keys, lookup, origin, true, out, count);
}

i64 find_key(const ValueDescriptor *symbols, i64 symbol) {
    const i64 *p = (const i64 *)value_data((ValueDescriptor *)symbols);
    for (i64 k = 0; k < symbols->count; k++)
        if (p[k] == symbol) return k;
    return -1;
}
