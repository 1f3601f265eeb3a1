// Interim forms of primitives whose families are not built yet, so that
// the control statement `case` already runs: membership.
//
// Ledger
// - membership (x ? y), vectors and scalars of simple types: linear search.
// Refuses everything else with 43, like a primitive not built.
// Also the time and dictionary arithmetic the scalar functions hand over
// to, which answer 43 until those families exist.
#include <cmath>
#include <cstring>
#include "primitives/prim.h"
#include "core/tables.h"
#include "core/valueops.h"

static bool interim_numeric(i64 t) { return t == T_BOOL || t == T_INT || t == T_FLOAT; }

static bool interim_same(const Operand &a, i64 i, const Operand &b, i64 j) {
    if (interim_numeric(a.type) && interim_numeric(b.type)) return a.real(i) == b.real(j);
    if (a.type != b.type) return false;
    if (a.type == T_CHAR) return a.chars()[a.single ? 0 : i] == b.chars()[b.single ? 0 : j];
    if (a.type == T_SYMBOL) return a.int_at(i) == b.int_at(j);
    return false;
}

static int interim_member(i64, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand a, b;
    if (read_operand(&a, lc, lv) || read_operand(&b, rc, rv)) return VEK_VALUE;
    if (a.rank > 1 || b.rank > 1 || !is_simple_type(a.type) || !is_simple_type(b.type))
        return fail(VEK_NOT_IMPLEMENTED);
    Shape s;
    shape_of(&s, &a);
    Result z;
    if (begin_result(&z, result_slot, T_BOOL, s, &a, &b, true)) return (int)error_number;
    for (i64 i = 0; i < a.count; i++) {
        z.ints()[i] = 0;
        for (i64 j = 0; j < b.count && !z.ints()[i]; j++) z.ints()[i] = interim_same(a, i, b, j);
    }
    return 0;
}

void register_interim_primitives() {
    register_primitive(P_MEMBER, 2, interim_member);
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
