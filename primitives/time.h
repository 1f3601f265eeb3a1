// The time and date family: the arithmetic the scalar functions hand over
// for time operands. The components of time values (x.year) are
// dot_time_component, which primitives/keyed.h declares for the dictionary
// family's dot.
#pragma once
#include "core/value.h"

// The status of time arithmetic: 0, or TIME_STATUS_INVALID when a result
// (or an operand) is not a valid value. The scalar functions report
// 30 + status, that is 33 "date or time value error".
enum : i64 { TIME_STATUS_INVALID = 3 };

// Whole arrays, n items; a single item (flag set) is repeated. z must not
// overlap the operands. Return the status (0 or TIME_STATUS_INVALID).
// z = t op counts, op P_PLUS or P_MINUS (the counts are subtracted):
// months, days, minutes, seconds or milliseconds added to a month, date,
// minute, second or time, the clock types wrapping around midnight;
// milliseconds added to a datetime (doubles), carrying into the date. A
// null item or a null count gives the null.
i64 add_to_time_array(i64 op, i64 type, i64 n, void *z, const void *t, bool t_single,
                      const i64 *counts, bool counts_single);
// z = a - b of one type in its unit (months, days, minutes, seconds,
// milliseconds) as integers, or in milliseconds as doubles for two
// datetimes; the null when either is null.
i64 time_difference_array(i64 type, i64 n, void *z, const void *a, bool a_single,
                          const void *b, bool b_single);
