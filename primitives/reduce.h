// Reduce and scan, and the item rules that the operators (reduce, scan,
// inner and outer product) share.
#pragma once
#include "primitives/prim.h"

// ---- Handlers (the operand named as constant c >= 0, else value slot v) ----
// Codes 101..199 (last axis) and 301..399 (first axis).
int op_reduce(i64 code, i64 result_slot, i64 rc, i64 rv);
// Codes 201..299 (last axis) and 401..499 (first axis).
int op_scan(i64 code, i64 result_slot, i64 rc, i64 rv);
void register_reduce_primitives();

// ---- The functions an operator takes ----------------------------------------
// f is a dyadic code: the boolean functions 12..15, the comparisons 16..21
// and the arithmetic functions 45..65 (odd).
bool is_logical_function(i64 f);
bool is_comparison_function(i64 f);
bool is_arithmetic_function(i64 f);
bool is_operator_function(i64 f);
// The value an empty fold gives; 1 when the function has none (nor, nand,
// log, circle).
int operator_identity(i64 f, double *value);
// x f y on floats by the operators' rules: a float null orders below every
// number, equality and inequality are tolerant when `tolerant` (a float
// operand), an item is true when it is not 0. *failed is set for a binomial
// beyond its size guard or of non-integers.
double operator_item(i64 f, double x, double y, bool tolerant, int *failed);

// x f y on complex pairs (complex_dyadic); 1 when the step fails. Power of
// two real items with a positive base, or an integral exponent, is taken
// in real arithmetic: the complex power goes through a logarithm and would
// make 2 power 3 come out a hair below 8.
int operator_complex_item(i64 f, double *z, const double *x, const double *y);

// ---- Operands as numbers ------------------------------------------------------
// The items as doubles (chars by their codes) or as complex pairs: read in
// place when the operand already is of that type, else converted into a
// scratch block. Take them after the result is allocated: the allocation
// may move the operand's items.
const double *operand_floats(const Operand &x);
const double *operand_pairs(const Operand &x);
