// Time types: field checks, joining fields into encoded values, and the
// fixed-length readers and the writers of month, date, minute, second,
// time and datetime texts.
#include "timecode.h"
#include "scan.h"
#include <cmath>
#include <cstdio>
#include <cstring>

static const i64 month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool leap_year(i64 year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

i64 month_length(i64 year, i64 month) {
    if (month < 1 || month > 12) return 0;
    return month == 2 && leap_year(year) ? 29 : month_days[month - 1];
}

static bool date_fields_valid(const i64 *f, int n) {
    if (f[0] < 1900 || f[0] > 2100 || f[1] < 1 || f[1] > 12) return false;
    return n < 3 || (f[2] >= 1 && f[2] <= month_length(f[0], f[1]));
}

static bool clock_fields_valid(const i64 *f, int n) {
    static const i64 limit[4] = {23, 59, 59, 999};
    for (int i = 0; i < n; i++)
        if (f[i] < 0 || f[i] > limit[i]) return false;
    return true;
}

bool time_value_is_valid(i64 type, const i64 *f) {
    switch (type) {
    case T_MONTH: return date_fields_valid(f, 2);
    case T_DATE: return date_fields_valid(f, 3);
    case T_DATETIME: return date_fields_valid(f, 3) && clock_fields_valid(f + 3, 4);
    case T_MINUTE: return clock_fields_valid(f, 2);
    case T_SECOND: return clock_fields_valid(f, 3);
    case T_TIME: return clock_fields_valid(f, 4);
    default: return false;
    }
}

i64 join_time_value(i64 type, const i64 *f) {
    switch (type) {
    case T_MONTH: return f[0] * 100 + f[1];
    case T_DATE: return f[0] * 10000 + f[1] * 100 + f[2];
    case T_MINUTE: return f[0] * 60 + f[1];
    case T_SECOND: return f[0] * 3600 + f[1] * 60 + f[2];
    case T_TIME: return ((f[0] * 60 + f[1]) * 60 + f[2]) * 1000 + f[3];
    default: return -1;
    }
}

double join_datetime_value(const i64 *f) {
    i64 day = f[0] * 10000 + f[1] * 100 + f[2];
    i64 ms = ((f[3] * 60 + f[4]) * 60 + f[5]) * 1000 + f[6];
    return (double)day * 86400000.0 + (double)ms;
}

// Division rounding down and its remainder, for b > 0 (without the
// overflow of a - q * b near the smallest integer).
static i64 floor_div(i64 a, i64 b) { return a / b - (a % b < 0 ? 1 : 0); }
static i64 floor_mod(i64 a, i64 b) { i64 r = a % b; return r < 0 ? r + b : r; }

int split_time_value(i64 type, i64 v, i64 *f) {
    switch (type) {
    case T_MONTH: f[0] = floor_div(v, 100); f[1] = floor_mod(v, 100); return 2;
    case T_DATE:
        f[0] = floor_div(v, 10000); f[1] = floor_mod(floor_div(v, 100), 100); f[2] = floor_mod(v, 100);
        return 3;
    case T_MINUTE: f[0] = floor_div(v, 60); f[1] = floor_mod(v, 60); return 2;
    case T_SECOND:
        f[0] = floor_div(v, 3600); f[1] = floor_mod(floor_div(v, 60), 60); f[2] = floor_mod(v, 60);
        return 3;
    case T_TIME: {
        i64 s = floor_div(v, 1000);
        f[0] = floor_div(s, 3600); f[1] = floor_mod(floor_div(s, 60), 60); f[2] = floor_mod(s, 60);
        f[3] = floor_mod(v, 1000);
        return 4;
    }
    default: return 0;
    }
}

// The largest datetime the encoding can hold exactly (below 2^53).
static const double DATETIME_REACH = 9007199254740991.0;

bool split_datetime_value(double v, i64 *f) {
    if (!(v >= -DATETIME_REACH && v <= DATETIME_REACH) || v != (double)(i64)v) return false;
    i64 x = (i64)v;
    split_time_value(T_DATE, floor_div(x, MS_PER_DAY), f);
    split_time_value(T_TIME, floor_mod(x, MS_PER_DAY), f + 3);
    return true;
}

// A valid date's fields.
static bool date_parts(i64 v, i64 *y, i64 *m, i64 *d) {
    if (!date_encoding_is_valid(v)) return false;
    *y = v / 10000;
    *m = v / 100 % 100;
    *d = v % 100;
    return true;
}

// The value as a whole number of milliseconds within the encoding's reach.
static bool datetime_parts(double v, i64 *date, i64 *ms) {
    if (!(v >= 0 && v <= DATETIME_REACH)) return false;
    i64 x = (i64)v;
    if ((double)x != v) return false;
    *date = x / MS_PER_DAY;
    *ms = x % MS_PER_DAY;
    return true;
}

bool time_encoding_is_valid(i64 type, i64 v) {
    switch (type) {
    case T_MONTH: return v >= 190001 && v <= 210012 && v % 100 >= 1 && v % 100 <= 12;
    case T_DATE: return date_encoding_is_valid(v);
    case T_MINUTE: return v >= 0 && v < 1440;
    case T_SECOND: return v >= 0 && v < 86400;
    case T_TIME: return v >= 0 && v < MS_PER_DAY;
    default: return false;
    }
}

// ---- Day numbers -----------------------------------------------------------------------
// Counted in years that begin on 1 March (so a leap day is the last day of
// its year) from 1896-03-01, every fourth year has 366 days and four years
// have 1461. Within 1900..2100 only 1900 and 2100 break that rule: their
// 29 February does not exist, and the count steps over those two days.
// The vector kernels of the time primitives count the same way.
enum : i64 {
    CYCLE_DAY_ZERO = 1400,   // cycle day of 1899-12-31, day number 0
    MISSING_1900 = 1460,     // cycle days of 1900-02-29 and 2100-02-29
    MISSING_2100 = 74510,
};

static i64 cycle_day(i64 y, i64 m, i64 d) {
    i64 early = m < 3;                         // January and February close the year before
    i64 years = y - 1896 - early, months = m - 3 + 12 * early;
    return 1461 * years / 4 + (153 * months + 2) / 5 + d - 1;
}

i64 date_to_day_number(i64 date) {
    i64 y, m, d;
    if (!date_parts(date, &y, &m, &d)) return -1;
    i64 c = cycle_day(y, m, d);
    return c - CYCLE_DAY_ZERO - (c > MISSING_1900) - (c > MISSING_2100);
}

i64 day_number_to_date(i64 day) {
    if (day < FIRST_DAY_NUMBER || day > LAST_DAY_NUMBER) return -1;
    i64 c = day + CYCLE_DAY_ZERO;
    c += c >= MISSING_1900;
    c += c >= MISSING_2100;
    i64 c4 = 4 * c + 3;
    i64 years = c4 / 1461, day_of_year = c4 % 1461 / 4;
    i64 months = (5 * day_of_year + 2) / 153;            // from March
    i64 d = day_of_year - (153 * months + 2) / 5 + 1;
    i64 late = months >= 10;                              // January, February
    return (1896 + years + late) * 10000 + (months + 3 - 12 * late) * 100 + d;
}

bool datetime_to_day_ms(double v, i64 *day, i64 *ms) {
    i64 date;
    if (!datetime_parts(v, &date, ms)) return false;
    *day = date_to_day_number(date);
    return *day > 0;
}

// Reads text against a pattern: 'd' a digit, any other character itself.
// Consecutive digits form one field. Returns the number of fields, or -1.
static int read_fields(const char *text, const char *pattern, i64 *fields) {
    int n = 0;
    bool in_field = false;
    for (int i = 0; pattern[i]; i++) {
        char c = text[i];
        if (pattern[i] == 'd') {
            if (c < '0' || c > '9') return -1;
            if (!in_field) { fields[n++] = 0; in_field = true; }
            fields[n - 1] = fields[n - 1] * 10 + (c - '0');
        } else {
            if (c != pattern[i]) return -1;
            in_field = false;
        }
    }
    return n;
}

static const char *time_pattern(i64 type) {
    switch (type) {
    case T_MONTH: return "dddd.ddm";
    case T_DATE: return "dddd.dd.dd";
    case T_MINUTE: return "dd:dd";
    case T_SECOND: return "dd:dd:dd";
    case T_TIME: return "dd:dd:dd.ddd";
    default: return nullptr;
    }
}

i64 parse_time_text(const char *text, i64 type, i64 length, int mode) {
    const char *pattern = time_pattern(type);
    i64 fields[4];
    if (!pattern || !text || length != (i64)strlen(pattern)) return -1;
    if (read_fields(text, pattern, fields) < 0) return -1;
    if (mode == TIME_CHECK) return time_value_is_valid(type, fields) ? 0 : -1;
    return join_time_value(type, fields);
}

double parse_datetime_text(const char *text, int mode, i64 length, int with_ms) {
    const char *pattern = with_ms ? "dddd.dd.ddTdd:dd:dd.ddd" : "dddd.dd.ddTdd:dd:dd";
    i64 fields[7] = {0, 0, 0, 0, 0, 0, 0};
    if (!text || length != (i64)strlen(pattern)) return -1.0;
    if (read_fields(text, pattern, fields) < 0) return -1.0;
    if (mode == TIME_CHECK) return time_value_is_valid(T_DATETIME, fields) ? 0.0 : -1.0;
    return join_datetime_value(fields);
}

i64 read_time_text(const char *text, i64 type, i64 *ivalue, double *dvalue) {
    if (text[0] == '0' && text[1] == 'n' && type >= T_MONTH && type <= T_TIME) {
        if (type == T_DATETIME) *dvalue = std::nan("");
        else *ivalue = TIME_NULL;
        return 2;
    }
    if (type == T_DATETIME) {
        for (int with_ms = 1; with_ms >= 0; with_ms--) {
            i64 n = with_ms ? 23 : 19;
            if ((i64)strnlen(text, (size_t)n) < n) continue;
            if (parse_datetime_text(text, TIME_CHECK, n, with_ms) < 0) continue;
            *dvalue = parse_datetime_text(text, TIME_VALUE, n, with_ms);
            return n;
        }
        return -1;
    }
    const char *pattern = time_pattern(type);
    if (!pattern) return -1;
    i64 n = (i64)strlen(pattern);
    if ((i64)strnlen(text, (size_t)n) < n || parse_time_text(text, type, n, TIME_CHECK) < 0) return -1;
    *ivalue = parse_time_text(text, type, n, TIME_VALUE);
    return n;
}

// The digits at text[*at], at most max_digits of them: how many there
// were, 0 for none or too many.
static int read_digits(const char *text, i64 length, i64 *at, int max_digits, i64 *out) {
    int n = 0;
    *out = 0;
    for (; *at < length && text[*at] >= '0' && text[*at] <= '9'; (*at)++) {
        if (++n > max_digits) return 0;
        *out = *out * 10 + (text[*at] - '0');
    }
    return n;
}

i64 parse_slash_date(const char *text, i64 length) {
    if (!text) return TIME_NULL;
    i64 p = 0, f[3];   // year, month, day
    while (length > 0 && text[length - 1] == ' ') length--;
    p = skip_blanks(text, p, BLANKS_ONLY, length);
    if (!read_digits(text, length, &p, 2, &f[1]) || p >= length || text[p++] != '/') return TIME_NULL;
    if (!read_digits(text, length, &p, 2, &f[2]) || p >= length || text[p++] != '/') return TIME_NULL;
    if (read_digits(text, length, &p, 4, &f[0]) != 4 || p != length) return TIME_NULL;
    return time_value_is_valid(T_DATE, f) ? join_time_value(T_DATE, f) : TIME_NULL;
}

// ---- Writers ---------------------------------------------------------------------

i64 format_time_value(i64 v, i64 type, char *b) {
    if (time_is_null(v)) return snprintf(b, 64, "0n");
    long long x = (long long)v;
    switch (type) {
    case T_MONTH: return snprintf(b, 64, "%lld.%02lldm", (long long)floor_div(x, 100), (long long)floor_mod(x, 100));
    case T_DATE:
        return snprintf(b, 64, "%lld.%02lld.%02lld", (long long)floor_div(x, 10000),
                        (long long)floor_mod(floor_div(x, 100), 100), (long long)floor_mod(x, 100));
    case T_MINUTE: return snprintf(b, 64, "%02lld:%02lld", (long long)floor_div(x, 60), (long long)floor_mod(x, 60));
    case T_SECOND:
        return snprintf(b, 64, "%02lld:%02lld:%02lld", (long long)floor_div(x, 3600),
                        (long long)floor_mod(floor_div(x, 60), 60), (long long)floor_mod(x, 60));
    default: {
        i64 s = floor_div(x, 1000);
        return snprintf(b, 64, "%02lld:%02lld:%02lld.%03lld", (long long)floor_div(s, 3600),
                        (long long)floor_mod(floor_div(s, 60), 60), (long long)floor_mod(s, 60),
                        (long long)floor_mod(x, 1000));
    }
    }
}

i64 format_datetime_value(double v, char *b) {
    if (datetime_is_null(v)) return snprintf(b, 64, "0n");
    if (!std::isfinite(v) || std::fabs(v) > 9.0e17) return snprintf(b, 64, "%.17g", v);
    i64 x = (i64)std::floor(v);
    i64 day = floor_div(x, 86400000), ms = floor_mod(x, 86400000);
    i64 n = format_time_value(day, T_DATE, b);
    b[n++] = 'T';
    return n + format_time_value(ms, T_TIME, b + n);
}
