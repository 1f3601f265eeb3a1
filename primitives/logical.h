// The boolean functions: or, and, nor, nand and not.
#pragma once
#include "core/value.h"

// True when an integer value holds only 0 and 1, or a float value only 0.0
// and 1.0; false for every other type (booleans are tested by their type).
bool is_all_zero_one(const ValueDescriptor *d);
int prim_logical(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
void register_logical_primitives();
