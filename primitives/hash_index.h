// The row index of tables and keyed tables, and the key searches of
// dictionaries, keyed tables and enumerations.
//
// A column list is a general list with one item per column, every column
// holding one cell per row: a simple vector (types 0 to 12, or an
// enumeration), a character matrix (a row per cell) or a general list of
// character vectors (a text per cell). A column of one item stands for
// every row.
//
// Cells are equal when they hold the same text (a general-list column's
// character vectors, a character matrix's rows), or else are of one type
// and hold equal elements: doubles by == (so -0.0 equals 0.0 and NaN
// equals nothing), complex numbers in both parts, chars and 8-byte words
// exactly. A row given as a value (a general list with one item per
// column) matches when each item is such a cell: a character vector
// against a text column, a single element of the column's type otherwise.
#pragma once
#include "primitives/hashing.h"

// Slots of an index for n rows: twice the first prime above n. Fails
// with 6 when that cannot be sized.
int hash_table_size(i64 n, i64 *slots);

struct HashIndex {
    Work<i64> slots;             // a row number, or -1 for an empty slot
    i64 slot_count = 0;
    const ValueDescriptor *columns = nullptr;
    i64 rows = 0;
};

// Indexes every row of a column list of `rows` rows. The list must stay
// where it is while the index is used.
int hash_index_build(HashIndex *h, const ValueDescriptor *columns, i64 rows);
// The first indexed row equal to row j of another column list, or -1.
i64 hash_find_row(const HashIndex *h, const ValueDescriptor *other, i64 j);

// Row r of a column list against row j of another.
bool cells_equal(const ValueDescriptor *columns, i64 r, const ValueDescriptor *other, i64 j);

// The rows (0-based) of a table's column list, of `rows` rows, equal to a
// lookup value V, in the order of V, as a scratch block in *out with their
// number in *count:
// - V not a general list: its items are keys of the key columns
//   (pair_find_rows, a missing key is 25);
// - V a general list of rows (its first item a general list): every row
//   must have one item per column (else 3);
// - V a general list of cells: one row when it has one item per column;
//   with a single column each item is a row; else 3.
// A row that is not there: 37 when one row was sought, 38 when several.
int find_rows(const ValueDescriptor *columns, i64 rows, const ValueDescriptor *lookup, i64 **out, i64 *count);

// Positions of the lookup items in a key vector, both of the one simple
// type (else 25), from origin: a missing item is 25 when missing_is_error,
// else it gets origin + the key count. out holds one word per lookup item.
int key_positions(const ValueDescriptor *keys, const ValueDescriptor *lookup, i64 origin, bool missing_is_error,
                  i64 *out);
// key_positions over keys given as a key vector or a column list, whose
// first column of the lookup's type is searched (none, or no keys: 25). A
// general list of one item stands for that item on either side; a lookup
// that is otherwise a general list is 1. The positions are a scratch block
// in *out (null when the lookup is empty), their number in *count.
int pair_find_rows(const ValueDescriptor *keys, const ValueDescriptor *lookup, i64 origin, bool missing_is_error,
                   i64 **out, i64 *count);
int pair_find_rows_all(const ValueDescriptor *keys, const ValueDescriptor *lookup, i64 origin, i64 **out,
                       i64 *count);

// The first position of a symbol number in a symbol vector, or -1.
i64 find_key(const ValueDescriptor *symbols, i64 symbol);
