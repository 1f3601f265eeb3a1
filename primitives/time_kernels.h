// Whole-array kernels of time arithmetic for the common case: every item a
// valid value (no nulls), every count within reach, every result valid. Each returns
// false as soon as that case does not hold for some item; the caller then
// redoes the whole array item by item, which handles nulls and reports
// invalid results. A single item (flag set) is repeated over the other
// side. z must not overlap the operands, which the redo reads again.
#pragma once
#include "core/value.h"

// Dates moved by day counts (subtracted when `negate`).
bool add_days_array(i64 n, i64 *z, const i64 *dates, bool dates_single, const i64 *counts,
                    bool counts_single, bool negate);
// Datetimes moved by milliseconds.
bool add_ms_array(i64 n, double *z, const double *t, bool t_single, const i64 *counts,
                  bool counts_single, bool negate);
// One datetime moved by ms milliseconds (a null is not plain).
bool move_datetime(double value, i64 ms, double *out);
// a - b of two date arrays, in days.
bool date_difference_array(i64 n, i64 *z, const i64 *a, bool a_single, const i64 *b, bool b_single);
// Minutes, seconds or milliseconds of the day moved by counts of that unit,
// wrapping around midnight; period is 1440, 86400 or 86400000.
bool add_clock_array(i64 n, i64 *z, const i64 *t, bool t_single, const i64 *counts,
                     bool counts_single, bool negate, i64 period);
