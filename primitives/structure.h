// Helpers of the structural primitives, shared with the families that move
// items around without computing on them (indexing, selection): the size
// and fill item of each type, and runs of items copied, filled or repeated
// into a result. Simple items are copied by memcpy; items of a general
// list are deep copies.
#pragma once
#include "primitives/prim.h"

// Bytes of one item: 1 for char, 16 for complex, 64 for a general list
// (a descriptor), 8 for every other simple type.
i64 item_bytes(i64 type);
// True for the types whose items these helpers move: the simple types and
// general lists.
bool movable_type(i64 type);

// The fill item of a type, written n times at dst: the word 0 for the
// integer, boolean, symbol and integer time types, 0.0 for float and
// datetime, a blank for char, 0j0 for complex, and an empty integer
// vector for a general-list item.
void write_fill(void *dst, i64 type, i64 n);
// n copies of the item of `size` bytes at item, written at dst.
void repeat_bytes(void *dst, const void *item, i64 size, i64 n);

// Address of item k of an operand (a single item is item 0).
inline const char *item_at(const Operand *o, i64 k) {
    return (const char *)o->data + (o->single ? 0 : k) * item_bytes(o->type);
}
inline char *result_at(const Result *z, i64 k) { return (char *)z->data + k * item_bytes(z->type); }

// Runs into a result of the operand's type (items counted, not bytes).
// n items of o from position from, written at position at of z.
int copy_run(Result *z, i64 at, Operand *o, i64 from, i64 n);
// n fill items written at position at.
int fill_run(Result *z, i64 at, i64 n);
// n copies of item k of o.
int repeat_run(Result *z, i64 at, Operand *o, i64 k, i64 n);
// The first `period` items of z (already written) repeated cyclically up
// to position total: the reshape cycle.
int cycle_run(Result *z, i64 period, i64 total);

// The result builder for structural results: begin_result, with an inline
// item's word cleared first (a char or a single word leaves no stale bytes).
int begin_items(Result *z, i64 slot, i64 type, const Shape &shape, Operand *a = nullptr, Operand *b = nullptr);
int begin_items_vector(Result *z, i64 slot, i64 type, i64 n, Operand *a = nullptr, Operand *b = nullptr);

// The items of a numeric operand read as `type` (integer, float or
// complex): the operand's own items when their storage already is that
// type's, else a converted copy in a scratch block. Null when it has none.
const void *items_as(const Operand *o, i64 type);

// A copy of the whole operand as one item of a list result (position at).
int whole_value_item(Result *z, i64 at, Operand *o);

// outer and inner of an axis: products of the dimensions before and after it.
i64 dims_before(const Shape &s, i64 axis);
i64 dims_after(const Shape &s, i64 axis);

// Counts from an operand of the integer class, each checked to be 0 or
// more (else domain error); their sum, checked for overflow (workspace full).
int sum_of_counts(const Operand *x, i64 n, i64 *sum);

// ---- Provided by the dictionary, table and enumeration families ----------------
// x # y with a symbol vector x and a table y: the columns x names.
int select_table_columns(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// x , y with an enumeration on either side.
int enum_catenate(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// x , y with a dictionary, keyed table or table: the entries of y merged into x.
int dict_join_entry(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// x ,[k] y with two tables of one row count: their columns side by side.
int join_table_columns(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// &. y of a dictionary with symbol keys: the table of its columns.
int dictionary_to_table(i64 result_slot, i64 rc, i64 rv);
// &. y of a table: the dictionary of its columns.
int table_to_dictionary(i64 result_slot, i64 rc, i64 rv);
