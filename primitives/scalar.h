// Scalar functions: arithmetic, comparison, circle and complex functions
// applied item by item over whole arrays, with the item rules the
// operators (reduce, scan, inner and outer product) share.
#pragma once
#include "primitives/prim.h"
// floats_equal_tol, the tolerant equality the operators use, is in core/valueops.h.

// ---- Handlers (operands named as constant c >= 0, else value slot v) ------
int scalar_dyadic(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
int scalar_monadic(i64 code, i64 result_slot, i64 rc, i64 rv);
int prim_compare(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// Agrees the shapes of two operands (a single item extends) and allocates
// the result of `type` (an empty result is integer).
int conform_scalar_dyadic(Result *z, i64 result_slot, i64 type, Operand *l, Operand *r);
void register_scalar_primitives();

// ---- Whole-array kernels ----------------------------------------------------
// z[i] = x[i] f y[i] for i < n; a non-zero xs (ys) repeats x[0] (y[0]).
// z may be the same array as x or y. They return 0, or 1 (domain error)
// for an item the function cannot give (see each kernel).
//
// Integer result: 45 47 49 53 55 61 63. Fails for a binomial outside the
// 64-bit range or beyond the size guard, and for any other code.
int int_dyadic_array(i64 code, i64 n, i64 *z, const i64 *x, int xs, const i64 *y, int ys);
// Float result for every dyadic arithmetic code; fails only for a
// binomial beyond the size guard and for an unknown code.
int float_dyadic_array(i64 code, i64 n, double *z, const double *x, int xs, const double *y, int ys);
// Complex pairs (real, imaginary); fails where complex_dyadic fails.
int complex_dyadic_array(i64 code, i64 n, double *z, const double *x, int xs, const double *y, int ys);
// Comparisons 16..21 into boolean words. Exact unless tolerant, which makes
// 20 and 21 use floats_equal_tol (the operators' equality).
int int_compare_array(i64 code, i64 n, i64 *z, const i64 *x, int xs, const i64 *y, int ys);
int float_compare_array(i64 code, i64 n, i64 *z, const double *x, int xs, const double *y, int ys,
                        int tolerant);

// ---- Item kernels -----------------------------------------------------------
i64 int_dyadic_kernel(i64 code, i64 x, i64 y);          // see int_dyadic_array
double float_dyadic_kernel(i64 code, double x, double y);  // -1 for unknown codes
int complex_dyadic(i64 code, double *result, const double *x, const double *y);
void complex_monadic(i64 code, i64 count, double *result, const double *operand);
void complex_circle(double *result, i64 k, const double *z);
double circle_function(i64 k, double x);
double binomial(i64 k, i64 n);
int binomial_size_guard(i64 k, i64 n);
// The binomial extended to negative integers; *failed set for a pair beyond
// the size guard or whose transformed pair overflows.
double binomial_extended(double k, double n, int *failed);
double factorial_double(i64 n);
// A double truncated toward zero into the 64-bit range: NaN and values at or
// below -2^63 give the null, values at or above 2^63 give the largest integer.
i64 double_to_int_checked(double d);
