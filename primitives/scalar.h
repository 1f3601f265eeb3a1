// Scalar functions: arithmetic, comparison, circle and complex functions
// applied item by item over whole arrays, with the item rules the
// operators (reduce, scan, inner and outer product) share.
#pragma once
#include "core/value.h"
// floats_equal_tol, the tolerant equality the operators use, is in core/valueops.h.

// Dyadic prim_codes of the scalar functions.
enum : i64 {
    SC_PLUS = 45, SC_MINUS = 47, SC_TIMES = 49, SC_DIVIDE = 51, SC_MAX = 53,
    SC_MIN = 55, SC_POWER = 57, SC_LOG = 59, SC_RESIDUE = 61, SC_BINOMIAL = 63,
    SC_CIRCLE = 65,
    SC_LESS = 16, SC_LESS_EQ = 17, SC_GREATER_EQ = 18, SC_GREATER = 19,
    SC_NOT_EQUAL = 20, SC_EQUAL = 21,
};

// ---- Handlers (operands named as constant c >= 0, else value slot v) ------
int scalar_dyadic(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
int scalar_monadic(i64 code, i64 result_slot, i64 rc, i64 rv);
int prim_compare(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// Agrees the shapes of the two bound operands and allocates the result slot
// with the type already stored in it (an empty result becomes integer).
int conform_scalar_dyadic(i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
void register_scalar_primitives();
// Copy the bound left (which & 1) and/or right (which & 2) operand into a
// scratch block as doubles, or as complex pairs, and point its registers
// (type, scalar item, data pointers) at the copy. Domain error 1 for an
// operand that is not boolean, integer, float (or complex for the pairs).
int promote_operands_float(int which);
int promote_operands_complex(int which);

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
i64 logical_kernel_int(i64 code, i64 x, i64 y);
i64 logical_kernel_float(i64 code, double x, double y);
void split_complex_literal(const char *text, i64 length, i64 *real_length, i64 *imaginary_length);
// A double truncated toward zero into the 64-bit range: NaN and values at or
// below -2^63 give the null, values at or above 2^63 give the largest integer.
i64 double_to_int_checked(double d);
