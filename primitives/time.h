// The time and date family: the arithmetic the scalar functions hand over
// for time operands. The components of time values (x.year) are
// dot_time_component, which primitives/keyed.h declares for the dictionary
// family's dot.
#pragma once
#include "core/value.h"

// The status of the last item function: 0, or TIME_STATUS_INVALID when a
// result (or an operand) is not a valid value. The scalar functions report
// 30 + status, that is 33 "date or time value error".
extern i64 time_status;
enum : i64 { TIME_STATUS_INVALID = 3 };

// One item; op is P_PLUS or P_MINUS (the count is subtracted). A null
// operand or a null count gives the null. On failure time_status is set and
// the value is returned unchanged.
// Months, days, minutes, seconds or milliseconds added to a month, date,
// minute, second or time; the clock types wrap around midnight.
i64 add_to_time_value(i64 op, i64 type, i64 value, i64 count);
// Milliseconds added to a datetime, carrying into the date.
double add_to_datetime_value(i64 op, double datetime, i64 milliseconds);
// a - b of one type in its unit (months, days, minutes, seconds,
// milliseconds); the integer null when either is null.
i64 time_value_difference(i64 type, i64 a, i64 b);
// a - b in milliseconds; the float null when either is null.
double datetime_difference(double a, double b);

// Whole arrays, n items; a single item (flag set) is repeated. z must not
// overlap the operands. Return the status (0 or TIME_STATUS_INVALID).
// z = t op counts: items of the time type (doubles for a datetime).
i64 add_to_time_array(i64 op, i64 type, i64 n, void *z, const void *t, bool t_single,
                      const i64 *counts, bool counts_single);
// z = a - b: integers, or doubles for two datetimes.
i64 time_difference_array(i64 type, i64 n, void *z, const void *a, bool a_single,
                          const void *b, bool b_single);
