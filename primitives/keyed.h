// Dictionaries, keyed tables, tables and enumerations: what other families
// hand over to the dictionary and table families, and the value builders
// those two share.
#pragma once
#include "primitives/prim.h"
#include "core/keyed.h"

// ---- Handed over by other families ---------------------------------------------------
// A dyadic scalar function with a dictionary operand.
int dict_scalar_dyadic(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// x , y with a dictionary, keyed table or table: entries merged, rows appended.
int dict_join_entry(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// x , y with an enumeration on either side.
int enum_catenate(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// x ! y with an enumeration x / a table or keyed table x.
int enum_index_of(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv, i64 origin);
int table_index_of(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv, i64 origin);
// x # y with a symbol vector x and a table y: the columns x names.
int select_table_columns(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// x ,[k] y with two tables of one row count: their columns side by side.
int join_table_columns(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// &. y: a dictionary of columns to a table and back.
int dictionary_to_table(i64 result_slot, i64 rc, i64 rv);
int table_to_dictionary(i64 result_slot, i64 rc, i64 rv);
// Bracket indexing and indexed assignment of a dictionary, keyed table,
// table or enumeration (the conventions of core/dispatch.h).
int keyed_index(i64 result_slot, i64 ac, i64 av, i64 ic, i64 iv, const i64 *rest_c, const i64 *rest_v,
                i64 rest, i64 io_slot);
int keyed_assign(i64 target_slot, i64 ic, i64 iv, const i64 *rest_c, const i64 *rest_v, i64 rest, i64 bc,
                 i64 bv, i64 io_slot);
// The table constructor ([k<-a] c<-b; ...).
int build_table(i64 result_slot, const i64 *names, const i64 *cs, const i64 *vs, i64 count, i64 key_count);
// x.name of a time value: its component (the time family provides it).
int dot_time_component(i64 result_slot, i64 lc, i64 lv, i64 name);

// ---- Operands --------------------------------------------------------------------------
// The value of operand (c, v): null with 4 when it has none, null with 1
// when it is a dictionary, keyed table or table whose parts do not fit
// together (a damaged file can hold one), so no reader runs past a column.
const ValueDescriptor *keyed_operand(i64 c, i64 v);
bool keyed_value_sound(const ValueDescriptor *d);

// ---- Building values --------------------------------------------------------------------
// Everything built here lives in large blocks: nothing moves while a value
// is assembled from operands, and a temporary holding it is given up whole
// at the end of the statement.
struct Built {
    ValueDescriptor d;
    Built();
    ~Built();               // releases what was built unless it was stored
    Built(const Built &) = delete;
    Built &operator=(const Built &) = delete;
};
// Moves a built value into a value slot, releasing what the slot held.
int store_built(i64 slot, Built *b);

// A zeroed simple vector (inline when it is one simple item), enumeration,
// general list, pair (type 91 with its form, or 92), or table of ncols
// columns (names and columns to be filled) with its row count.
int new_vector(ValueDescriptor *d, i64 type, i64 n);
int new_enum(ValueDescriptor *d, i64 domain_name, i64 n);
int new_list(ValueDescriptor *d, i64 n);
int new_pair(ValueDescriptor *d, i64 type, i64 form);
int new_table(ValueDescriptor *d, i64 ncols, i64 rows);
// A table with a copy of the column names `names` and as many empty columns.
int new_table_named(ValueDescriptor *d, const ValueDescriptor *names, i64 rows);
inline ValueDescriptor *list_items(const ValueDescriptor *d) { return (ValueDescriptor *)d->data; }
inline i64 *symbols_of(ValueDescriptor *d) { return (i64 *)value_data(d); }

// Cells: the rows of a column (a character matrix counts its rows).
i64 cell_count(const ValueDescriptor *v);
// Copy of a column, its large blocks shared.
int copy_column(ValueDescriptor *dst, const ValueDescriptor *src);
// The cells of col at 0-based rows (all valid) as a new column.
int gather_cells(ValueDescriptor *dst, const ValueDescriptor *col, const i64 *rows, i64 n);
// One cell repeated n times as a new column.
int repeat_cell(ValueDescriptor *dst, const ValueDescriptor *col, i64 row, i64 n);
// Cell r of a column as a value of its own: a scalar, a text, a one-item
// enumeration.
int cell_value(ValueDescriptor *dst, const ValueDescriptor *col, i64 r);
// Byte size of one cell of a simple or enumeration column.
i64 cell_bytes(i64 type);
inline char *cell_base(const ValueDescriptor *col) {
    if (col->type == T_ENUM) return (char *)enum_positions(col);
    return (char *)value_data((ValueDescriptor *)col);
}

// ---- Looking things up -----------------------------------------------------------------
// The column named `name` of a table (null when absent); *at its position.
const ValueDescriptor *table_column(const ValueDescriptor *t, i64 name, i64 *at = nullptr);
// A column of a keyed table by name: key table first, then value table.
const ValueDescriptor *keyed_column(const ValueDescriptor *kt, i64 name);
// True when no two rows of the column list are equal; 6 when the index
// cannot be sized (error_number set), else 0 with *unique.
int rows_unique(const ValueDescriptor *columns, i64 rows, bool *unique);
// A column of values through an enumeration: its domain items at the
// positions, or the positions themselves (as integers) when any lies outside
// the domain or the domain is gone.
int enum_values_of(ValueDescriptor *dst, const ValueDescriptor *e);
