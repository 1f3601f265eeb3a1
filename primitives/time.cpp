// The time and date family: the arithmetic that the scalar functions hand
// over for time operands, and the components of time values.
//
// Ledger
// - plus and minus with a count (time + n, n + time, time - n): months,
//   days, minutes, seconds or milliseconds by the time's type; a datetime
//   moves by milliseconds and carries into its date; the clock types
//   (minute, second, time) wrap around midnight. A null on either side
//   gives the null.
//   Fast paths (time_kernels.cpp): dates, and datetimes with one count,
//   eight at a time with AVX2; the clock types through one branch-free
//   loop. An array with a null or an invalid item is redone item by item.
//   Refuses: a result outside 1900..2100, or an operand that is not a
//   valid value (33).
// - minus of two values of one type: the difference in the type's unit as
//   an integer, in milliseconds as a float for datetimes; the null when
//   either is null. Fast path: dates eight at a time with AVX2.
//   Refuses: an operand that is not a valid value (33).
//   (Which codes and type pairs reach these is decided by the scalar
//   functions: 31, 7 and 1 come from there.)
// - components (x.year, reached through the dictionary family's dot): year,
//   month, day, hour, minute, second or ms of every item, as integers of
//   x's shape; a null item gives the integer null. Refuses: a name the
//   type lacks (1).
#include "primitives/time.h"
#include "primitives/time_kernels.h"
#include "primitives/prim.h"
#include "primitives/keyed.h"
#include "core/symbols.h"
#include "core/timecode.h"
#include "core/valueops.h"
#include <cmath>
#include <cstring>

enum : i64 { MONTH_SPAN = 201 * 12 };   // 1900.01m .. 2100.12m

static i64 clock_period(i64 type) {
    return type == T_MINUTE ? 1440 : type == T_SECOND ? 86400 : type == T_TIME ? MS_PER_DAY : 0;
}

static i64 floor_mod(i64 a, i64 b) { i64 r = a % b; return r < 0 ? r + b : r; }

// ---- One item --------------------------------------------------------------------------
// Each returns false when the operand or the result is not a valid value.

static bool move_time(i64 type, i64 value, i64 count, i64 *out) {
    if (!time_encoding_is_valid(type, value)) return false;
    if (type == T_MONTH) {
        if (count <= -MONTH_SPAN || count >= MONTH_SPAN) return false;
        i64 k = (value / 100 - 1900) * 12 + value % 100 - 1 + count;   // months from 1900.01m
        if (k < 0 || k >= MONTH_SPAN) return false;
        *out = (1900 + k / 12) * 100 + k % 12 + 1;
        return true;
    }
    if (type == T_DATE) {
        if (count < -LAST_DAY_NUMBER || count > LAST_DAY_NUMBER) return false;
        i64 moved = day_number_to_date(date_to_day_number(value) + count);
        if (moved < 0) return false;
        *out = moved;
        return true;
    }
    i64 period = clock_period(type);
    *out = floor_mod(value + count % period, period);
    return true;
}

static bool add_item(i64 type, i64 value, i64 count, bool negate, i64 *out) {
    if (time_is_null(value) || time_is_null(count)) { *out = TIME_NULL; return true; }
    return move_time(type, value, negate ? -count : count, out);
}

static bool add_datetime_item(double value, i64 ms, bool negate, double *out) {
    if (datetime_is_null(value) || time_is_null(ms)) { *out = std::nan(""); return true; }
    return move_datetime(value, negate ? -ms : ms, out);
}

// The value as a count of the type's unit from a fixed start, so that two
// such counts subtract to the difference.
static bool units_of(i64 type, i64 value, i64 *units) {
    if (!time_encoding_is_valid(type, value)) return false;
    if (type == T_MONTH) *units = (value / 100) * 12 + value % 100;
    else if (type == T_DATE) *units = date_to_day_number(value);
    else *units = value;
    return true;
}

static bool difference_item(i64 type, i64 a, i64 b, i64 *out) {
    if (time_is_null(a) || time_is_null(b)) { *out = TIME_NULL; return true; }
    i64 ua, ub;
    if (!units_of(type, a, &ua) || !units_of(type, b, &ub)) return false;
    *out = ua - ub;
    return true;
}

static bool datetime_difference_item(double a, double b, double *out) {
    if (datetime_is_null(a) || datetime_is_null(b)) { *out = std::nan(""); return true; }
    i64 da, ma, db, mb;
    if (!datetime_to_day_ms(a, &da, &ma) || !datetime_to_day_ms(b, &db, &mb)) return false;
    *out = (double)((da - db) * MS_PER_DAY + (ma - mb));
    return true;
}

// ---- Whole arrays ---------------------------------------------------------------------------

i64 add_to_time_array(i64 op, i64 type, i64 n, void *z, const void *t, bool ts, const i64 *k, bool ks) {
    bool negate = op == P_MINUS;
    if (type == T_DATETIME) {
        double *zf = (double *)z;
        const double *tf = (const double *)t;
        if (add_ms_array(n, zf, tf, ts, k, ks, negate)) return 0;
        for (i64 i = 0; i < n; i++)
            if (!add_datetime_item(tf[ts ? 0 : i], k[ks ? 0 : i], negate, &zf[i])) return TIME_STATUS_INVALID;
        return 0;
    }
    i64 *zi = (i64 *)z;
    const i64 *ti = (const i64 *)t;
    if (type == T_DATE && add_days_array(n, zi, ti, ts, k, ks, negate)) return 0;
    if (clock_period(type) && add_clock_array(n, zi, ti, ts, k, ks, negate, clock_period(type))) return 0;
    for (i64 i = 0; i < n; i++)
        if (!add_item(type, ti[ts ? 0 : i], k[ks ? 0 : i], negate, &zi[i])) return TIME_STATUS_INVALID;
    return 0;
}

i64 time_difference_array(i64 type, i64 n, void *z, const void *a, bool as, const void *b, bool bs) {
    if (type == T_DATETIME) {
        const double *x = (const double *)a, *y = (const double *)b;
        for (i64 i = 0; i < n; i++)
            if (!datetime_difference_item(x[as ? 0 : i], y[bs ? 0 : i], &((double *)z)[i])) return TIME_STATUS_INVALID;
        return 0;
    }
    const i64 *x = (const i64 *)a, *y = (const i64 *)b;
    if (type == T_DATE && date_difference_array(n, (i64 *)z, x, as, y, bs)) return 0;
    for (i64 i = 0; i < n; i++)
        if (!difference_item(type, x[as ? 0 : i], y[bs ? 0 : i], &((i64 *)z)[i])) return TIME_STATUS_INVALID;
    return 0;
}

// ---- Components ------------------------------------------------------------------------------

static const char *const component_names[7] = {"year", "month", "day", "hour", "minute", "second", "ms"};

// The range of components a type has, as positions in component_names.
static void components_of(i64 type, int *first, int *last) {
    switch (type) {
    case T_MONTH: *first = 0; *last = 1; return;
    case T_DATE: *first = 0; *last = 2; return;
    case T_DATETIME: *first = 0; *last = 6; return;
    case T_MINUTE: *first = 3; *last = 4; return;
    case T_SECOND: *first = 3; *last = 5; return;
    case T_TIME: *first = 3; *last = 6; return;
    default: *first = 0; *last = -1; return;
    }
}

int dot_time_component(i64 result_slot, i64 c, i64 v, i64 symbol) {
    Operand x;
    if (read_operand(&x, c, v)) return VEK_VALUE;
    const char *name = symbol_text(symbol);
    int first, last, which = -1;
    components_of(x.type, &first, &last);
    for (int k = first; k <= last; k++)
        if (name && strcmp(name, component_names[k]) == 0) which = k;
    if (which < 0) return fail(VEK_DOMAIN);
    Shape s;
    shape_of(&s, &x);
    Result z;
    if (begin_result(&z, result_slot, T_INT, s, &x, nullptr, true)) return (int)error_number;
    i64 f[7];
    for (i64 i = 0; i < z.count; i++) {
        bool known;
        if (x.type == T_DATETIME) {
            known = split_datetime_value(x.floats()[i], f);
        } else {
            // fields from the type's first component
            known = !time_is_null(x.ints()[i]) && split_time_value(x.type, x.ints()[i], f + first) > 0;
        }
        z.ints()[i] = known ? f[which] : TIME_NULL;
    }
    return 0;
}

void register_time_primitives() {
    // Nothing of its own: the scalar functions hand over the arithmetic and
    // the dictionary family's dot the components.
}
