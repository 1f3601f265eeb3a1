// The layout of the keyed values in one place: dictionaries and keyed
// tables (type 91), tables (type 92) and enumerations (type 21).
//
// - A pair value owns a block of two descriptors. Type 91 keeps its form in
//   word 6 (1 dictionary: a key vector and a general list of values; 2 keyed
//   table: a key table and a value table). A table's halves are its column
//   names (symbols) and a general list of columns; the row count sits in
//   word 6 of that column list, which no generic rank-1 routine writes.
//   Every column holds one cell per row.
// - An enumeration's data is the symbol of its domain's name, one word left
//   zero, then one 0-based position per item; word 6 repeats the name, so an
//   empty enumeration (which has no data) keeps it. The domain is found by that
//   name whenever it is used (a local of an active function first, then a
//   global), never through a stored address: the variable may be gone, be
//   reassigned or come from a loaded workspace.
#pragma once
#include "value.h"

enum : i64 { FORM_DICTIONARY = 1, FORM_KEYED_TABLE = 2, ENUM_HEADER_WORDS = 2 };

inline ValueDescriptor *pair_half(const ValueDescriptor *d, int k) {
    return d->data ? (ValueDescriptor *)d->data + k : nullptr;
}
inline bool is_dictionary(const ValueDescriptor *d) { return d->type == T_DICT && d->spare == FORM_DICTIONARY; }
inline bool is_keyed_table(const ValueDescriptor *d) { return d->type == T_DICT && d->spare == FORM_KEYED_TABLE; }

// The column list of a table, and its row count (0 for anything else).
inline ValueDescriptor *table_columns(const ValueDescriptor *t) { return pair_half(t, 1); }
i64 table_rows(const ValueDescriptor *t);
// Rows of a table, of a keyed table (its key table's), keys of a dictionary.
i64 keyed_row_count(const ValueDescriptor *d);
void set_table_rows(ValueDescriptor *t, i64 rows);

// ---- Enumerations -----------------------------------------------------------------
inline i64 enum_domain_name(const ValueDescriptor *e) {
    return e->count > 0 && e->data ? ((const i64 *)e->data)[0] : e->spare;
}
inline i64 *enum_positions(const ValueDescriptor *e) {
    return e->count > 0 && e->data ? (i64 *)e->data + ENUM_HEADER_WORDS : nullptr;
}

// The variable a domain name names now, or null.
const ValueDescriptor *domain_variable(i64 name);
// The items a domain variable offers: the symbol vector itself, or the one
// simple key column of a keyed table. Null when the variable cannot be a
// domain.
const ValueDescriptor *domain_items(const ValueDescriptor *variable);
// The domain items of an enumeration, resolved by its name; null when the
// name is unbound or its value is no domain. Positions at or beyond the
// count of what comes back are out of the domain.
const ValueDescriptor *enum_domain(const ValueDescriptor *e);
