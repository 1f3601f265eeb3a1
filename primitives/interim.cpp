// Interim forms of primitives whose families are not built yet, so that
// the vector `for` already runs: monadic shape and indexing a vector by a
// single index.
//
// Ledger
// - shape (# y) of ranks 0 to 2.
// - y[i] for a vector y and a single index i.
// Refuses everything else with 43, like a primitive not built.
// Also the time and dictionary arithmetic the scalar functions hand over
// to, and index-of with a keyed value or enumeration on the left, which
// answer 43 until those families exist.
#include <cmath>
#include <cstring>
#include "primitives/prim.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "primitives/structure.h"

static bool interim_numeric(i64 t) { return t == T_BOOL || t == T_INT || t == T_FLOAT; }

static int interim_shape(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (y.rank > 2) return fail(VEK_NOT_IMPLEMENTED);
    Result z;
    if (begin_vector(&z, result_slot, T_INT, y.rank, &y, nullptr, true)) return (int)error_number;
    for (i64 k = 0; k < y.rank; k++) z.ints()[k] = y.dim(k);
    return 0;
}

static int interim_index(i64 result_slot, i64 ac, i64 av, i64 ic, i64 iv, const i64 *, const i64 *,
                         i64 rest, i64 io_slot) {
    Operand a, ix;
    if (read_operand(&a, ac, av)) return VEK_VALUE;
    if (rest != 0 || a.rank != 1 || (ic < 0 && iv == 0) || read_operand(&ix, ic, iv) || ix.rank != 0 ||
        !interim_numeric(ix.type) || !is_simple_type(a.type))
        return fail(VEK_NOT_IMPLEMENTED);
    i64 io = value_slot_table[io_slot].dim0;
    double k = ix.real(0) - (double)io;
    if (k != std::floor(k) || k < 0 || k >= (double)a.count) return fail(VEK_INDEX);
    ValueDescriptor item;
    memset(&item, 0, sizeof item);
    if (fetch_element(&item, a.desc(), (i64)k, 0)) return (int)error_number;
    item.rank = 0;
    fix_inline_pointer(&item);
    return assign_to_slot(result_slot, &item);
}

void register_interim_primitives() {
    register_primitive(P_SHAPE, 1, interim_shape);
    register_bracket_index(interim_index);
}

// ---- Time and dictionary arithmetic --------------------------------------------
// The scalar functions test time_status after each item; 13 is reported as
// 43 "primitive function not yet implemented".

i64 time_status = 0;

i64 add_to_time_value(i64, i64, i64 value, i64) {
    time_status = 13;
    return value;
}

double add_to_datetime_value(i64, double datetime, i64) {
    time_status = 13;
    return datetime;
}

i64 time_value_difference(i64, i64, i64) {
    time_status = 13;
    return 0;
}

double datetime_difference(double, double) {
    time_status = 13;
    return 0;
}

int dict_scalar_dyadic(i64, i64, i64, i64, i64, i64) {
    return fail(VEK_NOT_IMPLEMENTED);
}

int table_index_of(i64, i64, i64, i64, i64, i64) {
    return fail(VEK_NOT_IMPLEMENTED);
}

int enum_index_of(i64, i64, i64, i64, i64, i64) {
    return fail(VEK_NOT_IMPLEMENTED);
}

// ---- Keyed values under the structural primitives ------------------------------
// Reshape, catenate and transpose hand dictionaries, tables and
// enumerations to these, which answer 43 until their families exist.

int select_table_columns(i64, i64, i64, i64, i64) { return fail(VEK_NOT_IMPLEMENTED); }
int enum_catenate(i64, i64, i64, i64, i64) { return fail(VEK_NOT_IMPLEMENTED); }
int dict_join_entry(i64, i64, i64, i64, i64) { return fail(VEK_NOT_IMPLEMENTED); }
int join_table_columns(i64, i64, i64, i64, i64) { return fail(VEK_NOT_IMPLEMENTED); }
int dictionary_to_table(i64, i64, i64) { return fail(VEK_NOT_IMPLEMENTED); }
int table_to_dictionary(i64, i64, i64) { return fail(VEK_NOT_IMPLEMENTED); }
