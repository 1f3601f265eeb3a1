// Inner product, outer product and each.
#pragma once
#include "primitives/prim.h"

// Inner product f.g, code 100*f + g (operands named as constant c >= 0,
// else value slot v). flags: INNER_TRANSPOSED_RIGHT, INNER_TRANSPOSED_RESULT
// (core/dispatch.h).
int op_inner_product(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv, int flags);
// Outer product, code 500 + f.
int op_outer_product(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// Each of a primitive (kind 'P', code its operation code) or a defined or
// built-in function (kind 'D', code its function index); lc = lv = -1 for
// the monadic form.
int op_each(char kind, i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
void register_products_primitives();
