// Random numbers (roll, deal) and the matrix inverse: one family.
#pragma once
#include "core/value.h"

enum : i64 { RANDOM_MODULUS = 2147483647, RANDOM_MULTIPLIER = 16807 };

// One draw: origin + an integer in 0 .. n-1; *seed advances. Any seed is
// first taken modulo 2^31-1, so every seed gives a draw in range.
i64 random_next(i64 n, i64 origin, i64 *seed);

// #. y: the inverse of a number, a vector or a square matrix.
int prim_matrix_inverse(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// The inverse of the n-by-n row-major matrix a (overwritten) into inverse;
// returns the solver's INFO (0 on success, above 0 for a singular matrix),
// or -1 when its work block cannot be had.
int matrix_inverse(i64 n, double *a, double *inverse);

void register_random_primitives();
