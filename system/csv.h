// The CSV loader: []CSV reads a comma-separated file into a table whose
// columns have the types the caller names, one type letter per column
// (B I E C S L M D Z U V T).
#pragma once
#include "core/value.h"
#include <string>

// []CSV (file; letters[; header flag[; separator]]) (code 607).
int sf_csv(i64 code, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv);

// Loads the file at path (resolved, extension checked) into a table in
// value slot `slot`. 0, or an error number (36 after a message of its own).
int load_csv(i64 slot, const std::string &path, const std::string &letters, bool header, char separator);

// Fields of one record: 1 + the separators outside double quotes.
i64 count_csv_fields(const char *begin, const char *end, char separator);

// Cell readers, shared with the tests. Each reads the whole text of one
// cell (quotes already taken off) and stores the value of its column type.
// Integers: the leading integer ('_' or '-' for minus), "0n", "0w", "_0w";
// the null when there is none or it does not fit 64 bits.
i64 read_integer_cell(const char *text, i64 length);
// Floats: the leading number ('_' for minus allowed), "0n" "0nf" "0w"
// "0wf" "_0w" "_0wf"; NaN when there is none.
double read_float_cell(const char *text, i64 length);
// Dates: "2024.05.17" or "m/d/y"; the other time types their text forms;
// the null when the text is not a valid value. "0n" is the null.
i64 read_time_cell(const char *text, i64 length, i64 type);
double read_datetime_cell(const char *text, i64 length);
