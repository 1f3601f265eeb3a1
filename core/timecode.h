// The encoding of the six time types: field checks, joining fields into
// encoded values, and the readers and writers of their text forms. The
// lexer, the display, script files and the time primitives all use these.
#pragma once
#include "value.h"
#include <cstdint>

// Reader modes: the value, or only whether the text is valid.
enum : int { TIME_VALUE = 0, TIME_CHECK = 1 };

// The null of the types held as integers is the integer null; a datetime's
// is the float null (NaN). Both read and write as "0n".
enum : i64 { TIME_NULL = INT64_MIN };
inline bool time_is_null(i64 v) { return v == TIME_NULL; }
inline bool datetime_is_null(double v) { return v != v; }

// Milliseconds of a day; day numbers of the first and last valid dates.
enum : i64 { MS_PER_DAY = 86400000, FIRST_DAY_NUMBER = 1, LAST_DAY_NUMBER = 73414 };

// Fields from the type's first: year, month(, day) for month and date;
// hours, minutes(, seconds(, milliseconds)) for minute, second and time;
// all seven for a datetime.
bool leap_year(i64 year);
i64 month_length(i64 year, i64 month);     // 0 for a month outside 1..12
bool time_value_is_valid(i64 type, const i64 *fields);
i64 join_time_value(i64 type, const i64 *fields);
double join_datetime_value(const i64 *fields);
// The fields of a value (no validation; a null gives meaningless fields):
// the number of fields written, 0 for a type other than month, date,
// minute, second or time.
int split_time_value(i64 type, i64 value, i64 *fields);
// Seven fields; false for the null or a value that is not a whole number of
// milliseconds within the encoding's reach.
bool split_datetime_value(double value, i64 *fields);
// Whether v is a valid date, by a test cheap enough for kernels: a month
// has 31 or 30 days by its parity (flipped from August on), February 28,
// or 29 in the years divisible by 4 other than 1900 and 2100.
inline bool date_encoding_is_valid(i64 v) {
    if (v < 19000101 || v > 21001231) return false;
    i64 y = v / 10000, m = v / 100 % 100, d = v % 100;
    i64 leap = (y % 4 == 0) & (y != 1900) & (y != 2100);
    i64 length = 30 + ((m ^ (m >> 3)) & 1) - (m == 2) * (2 - leap);
    return m >= 1 && m <= 12 && d >= 1 && d <= length;
}
// Whether an encoded value is a valid value of its type (nulls are not).
bool time_encoding_is_valid(i64 type, i64 value);

// Day numbers count the days from 1899-12-31, so 1900-01-01 is day 1 and
// 2100-12-31 is LAST_DAY_NUMBER. -1 for a date that is not valid or a day
// number outside 1..LAST_DAY_NUMBER.
i64 date_to_day_number(i64 date);
i64 day_number_to_date(i64 day);
// A datetime as day number and milliseconds of the day, and back.
bool datetime_to_day_ms(double value, i64 *day, i64 *ms);

// Text of exactly the type's length (month 8, date 10, minute 5, second 8,
// time 12) with digits and separators at fixed places. TIME_VALUE: the
// joined value (-1 when the text is not of that form); TIME_CHECK: 0 when
// valid, else -1.
i64 parse_time_text(const char *text, i64 type, i64 length, int mode);
// YYYY.MM.DDThh:mm:ss.sss (23 characters, with_ms) or without ".sss" (19).
// TIME_VALUE: the value (-1.0 when malformed); TIME_CHECK: 0.0 or -1.0.
double parse_datetime_text(const char *text, int mode, i64 length, int with_ms);

// The text of a time value at the start of text (month "2024.05m", date
// "2024.05.17", minute "09:05", second "09:05:07", time "09:05:07.008",
// datetime "2024.05.17T09:05:07.008" or without ".008"), checked like a
// literal, or "0n" for the type's null. Returns the characters read, or -1
// (nothing stored).
i64 read_time_text(const char *text, i64 type, i64 *ivalue, double *dvalue);

// "m/d/y" (one or two digits of month and day, four of year; blanks around
// it are allowed): the date, or TIME_NULL when the text is not a valid date.
i64 parse_slash_date(const char *text, i64 length);

// Texts of the time types in the forms above; a null is "0n". buffer
// holds at least 64 bytes; each returns the length written.
i64 format_time_value(i64 value, i64 type, char *buffer);
i64 format_datetime_value(double value, char *buffer);
