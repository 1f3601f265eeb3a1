// Writing tables to files: []write chooses the layout by the file's
// extension (text with tabs, CSV, XML or JSON) and export_table writes it.
// Cells are written so that the CSV loader reads back the same values:
// floats in their shortest exact form, cells holding the separator, a quote,
// a line break or blanks at their ends quoted with inner quotes doubled.
#pragma once
#include "core/value.h"
#include <cstdio>
#include <string>
#include <vector>

enum ExportMode : int { EXPORT_TEXT = 0, EXPORT_CSV = 1, EXPORT_XML = 2, EXPORT_JSON = 3 };

// A table or keyed table read as one row of columns, key columns first.
struct TableParts {
    std::vector<i64> names;                         // symbol numbers
    std::vector<const ValueDescriptor *> columns;   // one cell per row each
    i64 rows = 0;
};
// 0; 7 for a value that is neither a table nor a keyed table; 1 for one whose
// parts do not hold together (columns of other lengths or kinds). Sets
// error_number.
int table_parts(const ValueDescriptor *v, TableParts *out);

// The mode of a file extension: "csv", "xml" and "json" exactly, else text.
int export_mode_of(const std::string &extension, bool has_extension);

// Writes a table or keyed table in a mode. 0; 99 for another value; 1 for a
// damaged table; 300 when a write failed.
int export_table(const ValueDescriptor *v, FILE *file, int mode);

// []write name (code 612).
int sf_write(i64 code, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv);

// Appends the shortest text that reads back as exactly x, in the number
// forms of the language ('_' for minus, "0wf", "_0wf"; NaN gives "").
void append_exact_float(std::string *out, double x);
// Appends an integer in the language's form ('_' for minus, "0n", "0w", "_0w").
void append_integer(std::string *out, i64 x);
