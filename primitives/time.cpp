// Time types: field checks, joining fields into encoded values, and the
// fixed-length readers of month, date, minute, second, time and datetime
// texts.
#include "primitives/time.h"
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
