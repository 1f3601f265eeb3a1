// Kernels shared by the scalar-function files but not by other modules:
// the loops over mixed operand classes, instantiated in scalar_kernels.cpp.
#pragma once
#include "primitives/scalar.h"

// Float result from i64 (boolean, integer) or double operands.
template <class X, class Y>
int float_dyadic_mixed(i64 code, i64 n, double *z, const X *x, int xs, const Y *y, int ys);
extern template int float_dyadic_mixed<i64, i64>(i64, i64, double *, const i64 *, int, const i64 *, int);
extern template int float_dyadic_mixed<i64, double>(i64, i64, double *, const i64 *, int, const double *, int);
extern template int float_dyadic_mixed<double, i64>(i64, i64, double *, const double *, int, const i64 *, int);

template <class X, class Y>
int compare_mixed(i64 code, i64 n, i64 *z, const X *x, int xs, const Y *y, int ys);
extern template int compare_mixed<signed char, signed char>(i64, i64, i64 *, const signed char *, int,
                                                            const signed char *, int);
// An integer operand x against a float operand y; int_on_left says which
// side of the comparison the integers stand on.
int compare_int_float(i64 code, i64 n, i64 *z, const i64 *x, int xs, const double *y, int ys,
                      int int_on_left);
int complex_equal_array(i64 code, i64 n, i64 *z, const double *x, int xs, const double *y, int ys);
