// Values as lines of text: s +. x (a list of texts, items joined by a
// separator) and the lines h << x writes to a file. Item texts are those of
// the display; symbols of simple values carry their backquote, table and
// column cells are bare.
#pragma once
#include "core/value.h"
#include <string>

// s +. x (dyadic code 41).
int to_text_lines(i64 code, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv);

// The text h << x writes, every line ended by a newline. 0, or 7 for a
// dictionary or enumeration (error_number set).
int value_lines_text(const ValueDescriptor *x, std::string *out);
