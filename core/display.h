// The display of values: the text the session shows for a value of any
// type, in lines of at most 107 characters, with long values cut short and
// a hint line telling how much was left out (never for value slot 2).
#pragma once
#include "value.h"

enum : i64 {
    DISPLAY_LINE_WIDTH = 107,
    DISPLAY_WIDTH_LIMIT = 101,
    DISPLAY_ROW_LIMIT = 30,
    DISPLAY_ITEM_LIMIT = 100,
    DISPLAY_CHAR_LIMIT = 300,
    DISPLAY_RULE_MAX = 149,
    DISPLAY_PREFIX_MAX = 31,      // deepest nesting shown with its own indent
    DISPLAY_DEPTH_MAX = 1000,     // deeper lists show "..." instead of their items
    ELEMENT_TEXT_MAX = 1100,      // one element's text ([]PP up to 800 digits)
    PRINT_PRECISION_SLOT = 23464,
};

extern i64 display_indent;
extern unsigned char first_item_flag;

// source 1: constants_table[index]; any other: value_slot_table[index].
// Returns 0, 4 for an undefined value, or the error of a table display.
int display_value(int source, i64 index);
// Shows a descriptor that is not in a table (a list item, a test value).
// slot: 2 or 3 for the output slots' rules, else 0.
int display_descriptor(const ValueDescriptor *d, int source, i64 slot);

void reset_error_state();

// Texts of one number or element; each returns the length written. buffer
// holds ELEMENT_TEXT_MAX bytes.
i64 format_integer(i64 x, char *buffer);
i64 format_float(double x, char *buffer);
i64 format_complex(const double *z, char *buffer);
// width -1: no padding; else blank-padded on the right to width.
i64 element_text(const ValueDescriptor *d, i64 i, char *buffer, i64 width);
i64 display_width(const ValueDescriptor *d, i64 depth);
i64 print_precision();
