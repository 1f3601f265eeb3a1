// The encoding of the six time types: field checks, joining fields into
// encoded values, and the readers and writers of their text forms. The
// lexer, the display, script files and the time primitives all use these.
#pragma once
#include "value.h"

// Reader modes: the value, or only whether the text is valid.
enum : int { TIME_VALUE = 0, TIME_CHECK = 1 };

// Fields from the type's first: year, month(, day) for month and date;
// hours, minutes(, seconds(, milliseconds)) for minute, second and time;
// all seven for a datetime.
bool leap_year(i64 year);
i64 month_length(i64 year, i64 month);     // 0 for a month outside 1..12
bool time_value_is_valid(i64 type, const i64 *fields);
i64 join_time_value(i64 type, const i64 *fields);
double join_datetime_value(const i64 *fields);

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
// literal. Returns the characters read, or -1 (nothing stored).
i64 read_time_text(const char *text, i64 type, i64 *ivalue, double *dvalue);

// Texts of the time types in the forms above. buffer holds at least 64
// bytes; each returns the length written.
i64 format_time_value(i64 value, i64 type, char *buffer);
i64 format_datetime_value(double value, char *buffer);
