// The wide loops behind reduce, scan and the products. Each is compiled
// twice, for the baseline processor and for one with 256-bit registers;
// the first call picks the one the processor runs.
#pragma once
#include "core/value.h"

// The sum of n integers, and the OR of every item plus `bias` taken as an
// unsigned word: with bias a power of two, every item lies in
// [-bias, bias) exactly when that OR is below 2 * bias. The sum wraps.
i64 sum_ints(const i64 *x, i64 n, uint64_t bias, uint64_t *spread);
i64 max_ints(const i64 *x, i64 n);
i64 min_ints(const i64 *x, i64 n);
// The largest (smallest) item that is not NaN: -inf (+inf) when none is.
double max_floats(const double *x, i64 n);
double min_floats(const double *x, i64 n);

// One row step of a fold along the first axis: r[j] = x[j] f r[j].
void add_rows_ints(i64 *r, const i64 *x, i64 n);
void max_rows_ints(i64 *r, const i64 *x, i64 n);
void min_rows_ints(i64 *r, const i64 *x, i64 n);
// The float forms leave r[j] as it is where x[j] is NaN.
void add_rows_floats(double *r, const double *x, i64 n);
void max_rows_floats(double *r, const double *x, i64 n);
void min_rows_floats(double *r, const double *x, i64 n);

// z (m x n, row-major) = the plus-times product of a (m x k) and b (k x n):
// each item is ((0 + a[i;0]*b[0;j]) + a[i;1]*b[1;j]) + ..., every product
// and sum rounded on its own, in that order, so the items are the same
// numbers a plain loop gives. The interrupt is looked at between blocks:
// the answer is INTERRUPT_ERROR when it stopped the product, else 0.
int matrix_product(double *z, const double *a, const double *b, i64 m, i64 k, i64 n);
