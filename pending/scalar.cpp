// Weak stand-ins for the time arithmetic and dictionary arithmetic that the
// scalar functions call, until their modules define them.
#include "core/value.h"
#include "core/session.h"
#include <cstdio>

__attribute__((weak)) i64 time_status = 0;

__attribute__((weak)) i64 add_to_time_value(i64, i64, i64 value, i64) {
    fprintf(stderr, "pending: add_to_time_value\n");
    time_status = 13;   // reported as 43
    return value;
}

__attribute__((weak)) double add_to_datetime_value(i64, double datetime, i64) {
    fprintf(stderr, "pending: add_to_datetime_value\n");
    time_status = 13;
    return datetime;
}

__attribute__((weak)) i64 time_value_difference(i64, i64, i64) {
    fprintf(stderr, "pending: time_value_difference\n");
    time_status = 13;
    return 0;
}

__attribute__((weak)) double datetime_difference(double, double) {
    fprintf(stderr, "pending: datetime_difference\n");
    time_status = 13;
    return 0;
}

__attribute__((weak)) int dict_scalar_dyadic(i64, i64, i64, i64, i64, i64) {
    fprintf(stderr, "pending: dict_scalar_dyadic\n");
    return (int)(error_number = 43);
}
