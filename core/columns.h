// Listings of names in as many columns as fit on a line.
#pragma once
#include "tables.h"

enum : i64 { LINE_WIDTH = 108 };   // a row of columns stays below this
// Prints the names of a TextLine list (head node first), separated by gap
// blanks, each column left- or right-aligned.
void print_in_columns(TextLine *head, i64 gap, int right_align);
void print_name_array(const char *const *names, i64 count, i64 gap, int right_align);
