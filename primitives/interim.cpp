// Stand-ins for what families not built yet provide to the built ones: the
// time arithmetic the scalar functions hand over to, and the components of
// a time value under dot access. Each answers 43, like a primitive not
// built.
#include "primitives/prim.h"
#include "primitives/keyed.h"

// No interim primitive is left: the families list keeps this entry only
// for the hand-over stand-ins below.
void register_interim_primitives() {}

// ---- Time arithmetic ------------------------------------------------------------
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

// ---- Dot access of time values --------------------------------------------------
int dot_time_component(i64, i64, i64, i64) { return fail(VEK_NOT_IMPLEMENTED); }
