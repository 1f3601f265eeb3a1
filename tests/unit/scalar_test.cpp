// Scalar functions called directly on filled value slots: type rules,
// special values, the error cases, and the whole-array kernels against the
// item kernels.
#include <gtest/gtest.h>
#include <cmath>
#include <string>
#include <vector>
#include "core/arena.h"
#include "core/operands.h"
#include "core/output.h"
#include "core/tables.h"
#include "core/names.h"
#include "core/symbols.h"
#include "primitives/scalar.h"
#include "core/workspace.h"
#include "core/storage.h"

static const i64 A = FIRST_TEMP_SLOT, B = FIRST_TEMP_SLOT + 1, Z = FIRST_TEMP_SLOT + 2;
static const i64 NULL_INT = INT64_MIN, INF_INT = INT64_MAX;
static std::string printed;

static void capture(const char *text) { printed += text; }

static void start() {
    static bool ready = false;
    if (!ready) { init_interpreter_tables(); ready = true; }
    session_print = capture;
    printed.clear();
    reset_stack();
    error_number = 0;
}

// A value of the given type and items in a slot: one item makes a scalar
// unless rank says otherwise; rank 2 takes rows x cols.
static void *put(i64 slot, i64 type, i64 count, i64 rank = -1, i64 rows = 0) {
    if (rank < 0) rank = count == 1 ? 0 : 1;
    value_slot_table[slot].type = type;
    EXPECT_EQ(alloc_slot_value(slot, type, rank, count), 0);
    set_slot_shape(slot, rank, count, rows, rank == 2 ? count / rows : 0);
    return value_data(&value_slot_table[slot]);
}
static void ints(i64 slot, std::vector<i64> v, i64 type = T_INT, i64 rank = -1, i64 rows = 0) {
    i64 *p = (i64 *)put(slot, type, (i64)v.size(), rank, rows);
    for (size_t i = 0; i < v.size(); i++) p[i] = v[i];
}
static void floats(i64 slot, std::vector<double> v) {
    double *p = (double *)put(slot, T_FLOAT, (i64)v.size());
    for (size_t i = 0; i < v.size(); i++) p[i] = v[i];
}
static void complexes(i64 slot, std::vector<double> pairs) {
    double *p = (double *)put(slot, T_COMPLEX, (i64)pairs.size() / 2);
    for (size_t i = 0; i < pairs.size(); i++) p[i] = pairs[i];
}
static void chars(i64 slot, const char *text) {
    i64 n = (i64)strlen(text);
    char *p = (char *)put(slot, T_CHAR, n);
    memcpy(p, text, (size_t)n);
}

static ValueDescriptor *z() { return &value_slot_table[Z]; }
static i64 zi(i64 i) { return ((i64 *)value_data(z()))[i]; }
static double zf(i64 i) { return ((double *)value_data(z()))[i]; }

static int dyadic(i64 code) { return scalar_dyadic(code, Z, -1, A, -1, B); }
static int monadic(i64 code) { return scalar_monadic(code, Z, -1, B); }
static int compare(i64 code) { return prim_compare(code, Z, -1, A, -1, B); }

TEST(ScalarArithmetic, IntegerResultsAndTheLargestIntegers) {
    start();
    ints(A, {1, 0, 1}, T_BOOL);
    ints(B, {1, 1, 0}, T_BOOL);
    ASSERT_EQ(dyadic(P_PLUS), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(zi(0), 2);
    ASSERT_EQ(dyadic(P_MAX), 0);
    EXPECT_EQ(z()->type, T_INT);

    // Beyond 2^63 as a double there is no 64-bit value: the wrapped sum stays.
    ints(A, {INF_INT});
    ints(B, {0});
    ASSERT_EQ(dyadic(P_PLUS), 0);
    EXPECT_EQ(zi(0), INF_INT);
    ints(A, {INF_INT, NULL_INT, 3037000500LL, (1LL << 53) + 1});
    ints(B, {2, 0, 3037000500LL, 0});
    ASSERT_EQ(dyadic(P_TIMES), 0);
    EXPECT_EQ(zi(0), -2);                               // wrapped
    EXPECT_EQ(zi(1), 0);
    EXPECT_EQ(zi(2), (i64)(double)(i64)(3037000500ULL * 3037000500ULL));
    EXPECT_EQ(zi(3), 0);
    ASSERT_EQ(dyadic(P_PLUS), 0);
    EXPECT_EQ(zi(1), NULL_INT);
    EXPECT_EQ(zi(3), 1LL << 53);                        // rounded through a double
    ints(A, {NULL_INT});
    ints(B, {1});
    ASSERT_EQ(dyadic(P_MINUS), 0);
    EXPECT_EQ(zi(0), INF_INT);                          // wrapped, exact
}

TEST(ScalarArithmetic, DivisionResidueAndMixedTypes) {
    start();
    ints(A, {4, 0, 5, -5});
    ints(B, {2, 0, 0, 0});
    ASSERT_EQ(dyadic(P_DIVIDE), 0);
    EXPECT_EQ(z()->type, T_FLOAT);                      // not demoted
    EXPECT_EQ(zf(0), 2.0);
    EXPECT_EQ(zf(1), 1.0);
    EXPECT_EQ(zf(2), INFINITY);
    EXPECT_EQ(zf(3), -INFINITY);

    ints(A, {0, 3, 3, 0});
    ints(B, {7, -1, 7, NULL_INT});
    ASSERT_EQ(dyadic(P_RESIDUE), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(zi(0), 7);
    EXPECT_EQ(zi(1), 2);
    EXPECT_EQ(zi(2), 1);
    EXPECT_EQ(zi(3), NULL_INT);
    floats(A, {0.1});
    floats(B, {0.3});
    ASSERT_EQ(dyadic(P_RESIDUE), 0);
    EXPECT_DOUBLE_EQ(zf(0), 0.3 - 0.1 * 3);

    ints(A, {1, 2, 3});
    floats(B, {0.5});
    ASSERT_EQ(dyadic(P_MINUS), 0);
    EXPECT_EQ(z()->type, T_FLOAT);
    EXPECT_EQ(zf(2), 2.5);
    floats(A, {NAN, 1});
    ints(B, {1, 2});
    ASSERT_EQ(dyadic(P_MAX), 0);
    EXPECT_EQ(zf(0), 1.0);                              // x when x > y, else y
    EXPECT_EQ(zf(1), 2.0);
}

TEST(ScalarArithmetic, ShapesAndOperandTypes) {
    start();
    ints(A, {10}, T_INT, 1);                            // a one-item vector extends
    ints(B, {1, 2, 3, 4, 5, 6}, T_INT, 2, 2);
    ASSERT_EQ(dyadic(P_PLUS), 0);
    EXPECT_EQ(z()->rank, 2);
    EXPECT_EQ(z()->dim0, 2);
    EXPECT_EQ(z()->dim1, 3);
    EXPECT_EQ(zi(5), 16);
    ints(A, {1}, T_INT, 2, 1);                          // a one-item matrix does not
    ints(B, {1, 2, 3});
    EXPECT_EQ(dyadic(P_PLUS), 2);
    ints(A, {1, 2});
    EXPECT_EQ(dyadic(P_PLUS), 3);
    EXPECT_EQ(error_number, 3);
    ints(A, {});
    ints(B, {});
    ASSERT_EQ(dyadic(P_DIVIDE), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(z()->count, 0);
    chars(A, "ab");
    ints(B, {1, 2});
    EXPECT_EQ(dyadic(P_PLUS), 1);
    ints(A, {1, 2}, T_SYMBOL);
    EXPECT_EQ(dyadic(P_TIMES), 1);
    // A result slot that is also an operand reads the operand's old items.
    ints(A, {1, 2, 3});
    ints(Z, {10, 20, 30});
    ASSERT_EQ(scalar_dyadic(P_DIVIDE, Z, -1, A, -1, Z), 0);
    EXPECT_EQ(zf(2), 0.1);
}

TEST(ScalarArithmetic, BinomialRangeAndGuard) {
    start();
    ints(A, {2, 2, -3, -2, 3});
    ints(B, {5, -3, -2, -3, 2});
    ASSERT_EQ(dyadic(P_BINOMIAL), 0);
    EXPECT_EQ(z()->type, T_INT);
    std::vector<i64> want = {10, 6, -2, 0, 0};
    for (i64 i = 0; i < 5; i++) EXPECT_EQ(zi(i), want[i]) << i;
    ints(A, {25});
    ints(B, {50});
    ASSERT_EQ(dyadic(P_BINOMIAL), 0);
    EXPECT_EQ(zi(0), 126410606437752LL);
    ints(A, {60});                                      // about 1e35: no 64-bit value
    ints(B, {120});
    EXPECT_EQ(dyadic(P_BINOMIAL), 1);
    ints(A, {2});
    ints(B, {INF_INT});
    EXPECT_EQ(dyadic(P_BINOMIAL), 1);
    // The size guard holds for the pair the negative rule makes.
    ints(A, {600});
    ints(B, {-700});
    EXPECT_EQ(dyadic(P_BINOMIAL), 1);
    ints(A, {NULL_INT});
    ints(B, {NULL_INT});
    EXPECT_EQ(dyadic(P_BINOMIAL), 0);                   // the pair (2^63-1, 2^63-1)
    EXPECT_EQ(zi(0), 1);
    floats(A, {2.5});
    ints(B, {5});
    EXPECT_EQ(dyadic(P_BINOMIAL), 1);
}

TEST(ScalarArithmetic, PowerLogAndCircleChooseComplex) {
    start();
    ints(A, {-8});
    floats(B, {1.0 / 3});
    ASSERT_EQ(dyadic(P_POWER), 0);
    ASSERT_EQ(z()->type, T_COMPLEX);
    EXPECT_NEAR(zf(0), 1.0, 1e-12);
    EXPECT_NEAR(zf(1), std::sqrt(3.0), 1e-12);
    ints(A, {-2});
    ints(B, {2});
    ASSERT_EQ(dyadic(P_POWER), 0);
    EXPECT_EQ(z()->type, T_FLOAT);
    EXPECT_EQ(zf(0), 4.0);
    ints(B, {-1});
    ASSERT_EQ(dyadic(P_POWER), 0);
    EXPECT_EQ(z()->type, T_FLOAT);                      // complex, demoted
    EXPECT_EQ(zf(0), -0.5);
    floats(B, {2.5});
    ASSERT_EQ(dyadic(P_POWER), 0);
    EXPECT_TRUE(std::isnan(zf(0)));

    ints(A, {2});
    ints(B, {-8, 8});
    ASSERT_EQ(dyadic(P_LOG), 0);
    EXPECT_EQ(z()->type, T_COMPLEX);
    EXPECT_NEAR(zf(2), 3.0, 1e-12);

    ints(A, {2, -12, 12});
    ints(B, {1, 0, 0});
    EXPECT_EQ(dyadic(P_CIRCLE), 1);                    // 12 is outside -12..11
    ints(A, {2, -12});
    ints(B, {1, 0});
    ASSERT_EQ(dyadic(P_CIRCLE), 0);
    EXPECT_EQ(z()->type, T_FLOAT);
    EXPECT_DOUBLE_EQ(zf(0), std::cos(1.0));
    EXPECT_EQ(zf(1), 1.0);
    ints(A, {-12});
    ints(B, {0});
    ASSERT_EQ(dyadic(P_CIRCLE), 0);
    EXPECT_EQ(z()->type, T_INT);
    floats(A, {2.0});
    EXPECT_EQ(dyadic(P_CIRCLE), 1);
}

TEST(ScalarArithmetic, ComplexOperands) {
    start();
    complexes(A, {1, 1});
    complexes(B, {0, 0, 2, 0});
    EXPECT_EQ(dyadic(P_DIVIDE), 1);
    EXPECT_EQ(dyadic(P_MAX), 1);
    complexes(A, {0, 0});
    complexes(B, {0, 0});
    ASSERT_EQ(dyadic(P_DIVIDE), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(zi(0), 1);
    complexes(A, {0, 0});
    complexes(B, {3, 1});
    EXPECT_EQ(dyadic(P_RESIDUE), 1);
    EXPECT_EQ(dyadic(P_LOG), 1);
    complexes(A, {1, 2});
    ints(B, {3, 4});
    ASSERT_EQ(dyadic(P_TIMES), 0);
    EXPECT_EQ(z()->type, T_COMPLEX);
    EXPECT_EQ(zf(2), 4.0);
    EXPECT_EQ(zf(3), 8.0);
    complexes(A, {1, 2});
    complexes(B, {1, -2});
    ASSERT_EQ(dyadic(P_PLUS), 0);
    EXPECT_EQ(z()->type, T_INT);                        // 2j0 demotes to 2
    EXPECT_EQ(zi(0), 2);
    chars(A, "a");
    EXPECT_EQ(dyadic(P_PLUS), 1);
}

TEST(ScalarMonadic, DemotionAndDomain) {
    start();
    floats(B, {2.5, -2.5});
    ASSERT_EQ(monadic(54), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(zi(0), 2);
    EXPECT_EQ(zi(1), -3);
    ints(B, {12, 13});
    ASSERT_EQ(monadic(62), 0);
    EXPECT_EQ(z()->type, T_FLOAT);
    ints(B, {12});
    ASSERT_EQ(monadic(62), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(zi(0), 479001600);
    ints(B, {INF_INT});                                 // ends once infinite
    ASSERT_EQ(monadic(62), 0);
    EXPECT_EQ(zf(0), INFINITY);
    ints(B, {3, -1});
    EXPECT_EQ(monadic(62), 1);
    floats(B, {2.0});
    EXPECT_EQ(monadic(62), 1);
    ints(B, {1, 0});
    EXPECT_EQ(monadic(50), 1);
    EXPECT_EQ(monadic(58), 1);
    ints(B, {-1});
    ASSERT_EQ(monadic(58), 0);
    EXPECT_EQ(z()->type, T_COMPLEX);
    EXPECT_EQ(zf(1), 3.141592653589793);
    ints(B, {5, -3, 0});
    ASSERT_EQ(monadic(48), 0);
    EXPECT_EQ(zi(1), -1);
    chars(B, "x");
    EXPECT_EQ(monadic(46), 1);
}

TEST(ScalarMonadic, ComplexItems) {
    start();
    complexes(B, {0, 1});
    ASSERT_EQ(monadic(50), 0);
    EXPECT_EQ(zf(0), 0.0);
    EXPECT_EQ(zf(1), -1.0);
    complexes(B, {0, 0, 3, 4});
    EXPECT_EQ(monadic(50), 1);                          // like the real 0
    EXPECT_EQ(monadic(58), 1);
    EXPECT_EQ(monadic(62), 43);
    ASSERT_EQ(monadic(48), 0);
    EXPECT_EQ(zf(0), 0.0);
    EXPECT_EQ(zf(2), 0.6);
    ASSERT_EQ(monadic(60), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(zi(1), 5);
    complexes(B, {1.5, 1.6});
    ASSERT_EQ(monadic(54), 0);                          // complex floor
    EXPECT_EQ(zf(0), 1.0);
    EXPECT_EQ(zf(1), 2.0);
}

TEST(ScalarCompare, NumbersNullsAndMixedTypes) {
    start();
    ints(A, {1});
    floats(B, {1.0});
    ASSERT_EQ(compare(P_EQUAL), 0);
    EXPECT_EQ(z()->type, T_BOOL);
    EXPECT_EQ(zi(0), 1);
    floats(A, {NAN, NAN, 1});
    floats(B, {NAN, 1, NAN});
    ASSERT_EQ(compare(P_EQUAL), 0);
    EXPECT_EQ(zi(0), 1);
    EXPECT_EQ(zi(1), 0);
    ASSERT_EQ(compare(P_LESS), 0);
    EXPECT_EQ(zi(0) + zi(1) + zi(2), 0);
    ASSERT_EQ(compare(P_LESS_EQ), 0);
    EXPECT_EQ(zi(0) + zi(1) + zi(2), 3);
    ints(A, {NULL_INT});
    floats(B, {NAN});
    ASSERT_EQ(compare(P_EQUAL), 0);
    EXPECT_EQ(zi(0), 0);
    ints(A, {(1LL << 53) + 1});                         // integers compare exactly
    ints(B, {1LL << 53});
    ASSERT_EQ(compare(P_GREATER), 0);
    EXPECT_EQ(zi(0), 1);
    floats(A, {1.5});
    ints(B, {1, 2});
    ASSERT_EQ(compare(P_GREATER_EQ), 0);
    EXPECT_EQ(zi(0), 1);
    EXPECT_EQ(zi(1), 0);

    chars(A, "ab");
    ints(B, {97, 98});
    ASSERT_EQ(compare(P_EQUAL), 0);
    EXPECT_EQ(zi(0) + zi(1), 0);
    ASSERT_EQ(compare(P_NOT_EQUAL), 0);
    EXPECT_EQ(zi(0) + zi(1), 2);
    EXPECT_EQ(compare(P_LESS), 1);
    chars(A, "\xc8");                                   // codes above 127 order first
    chars(B, "a");
    ASSERT_EQ(compare(P_LESS), 0);
    EXPECT_EQ(zi(0), 1);
    complexes(A, {2, 0});
    ints(B, {2});
    ASSERT_EQ(compare(P_EQUAL), 0);
    EXPECT_EQ(zi(0), 1);
    EXPECT_EQ(compare(P_LESS), 1);
    chars(B, "c");
    ASSERT_EQ(compare(P_NOT_EQUAL), 0);
    EXPECT_EQ(zi(0), 1);
    ints(A, {0, 0}, T_LIST);
    EXPECT_EQ(compare(P_EQUAL), 1);
}

// The array kernels must agree with the item kernels on every path: both
// operands full, either one repeated, and results written over an operand.
TEST(ScalarKernels, ArraysAgreeWithItems) {
    start();
    const i64 n = 9000;   // past the 64 KB arena limit too
    std::vector<i64> x(n), y(n), z(n);
    std::vector<double> fx(n), fy(n), fz(n);
    for (i64 i = 0; i < n; i++) {
        x[i] = (i * 7919) % 2001 - 1000;
        y[i] = (i * 104729) % 37 - 18;
        if (i % 500 == 0) x[i] = INF_INT - i;
        fx[i] = x[i] / 7.0;
        fy[i] = i % 11 == 0 ? NAN : y[i] / 3.0;
    }
    for (i64 code : {P_PLUS, P_MINUS, P_TIMES, P_MAX, P_MIN, P_RESIDUE}) {
        ASSERT_EQ(int_dyadic_array(code, n, z.data(), x.data(), 0, y.data(), 0), 0);
        for (i64 i = 0; i < n; i++) ASSERT_EQ(z[i], int_dyadic_kernel(code, x[i], y[i])) << code << " " << i;
        ASSERT_EQ(int_dyadic_array(code, n, z.data(), x.data() + 3, 1, y.data(), 0), 0);
        for (i64 i = 0; i < n; i++) ASSERT_EQ(z[i], int_dyadic_kernel(code, x[3], y[i])) << code;
    }
    for (i64 code : {P_PLUS, P_MINUS, P_TIMES, P_DIVIDE, P_MAX, P_MIN, P_POWER, P_LOG, P_RESIDUE}) {
        ASSERT_EQ(float_dyadic_array(code, n, fz.data(), fx.data(), 0, fy.data() + 5, 1), 0);
        for (i64 i = 0; i < n; i++) {
            double want = float_dyadic_kernel(code, fx[i], fy[5]);
            ASSERT_TRUE(fz[i] == want || (fz[i] != fz[i] && want != want)) << code << " " << i;
        }
    }
    std::vector<i64> acc = y;   // accumulate in place, as reduce along the first axis does
    ASSERT_EQ(int_dyadic_array(P_PLUS, n, acc.data(), y.data(), 0, acc.data(), 0), 0);
    ASSERT_EQ(int_dyadic_array(P_MINUS, n, acc.data(), acc.data(), 0, y.data(), 0), 0);
    EXPECT_EQ(acc, y);
    EXPECT_EQ(int_dyadic_array(P_DIVIDE, n, z.data(), x.data(), 0, y.data(), 0), 1);

    double a = 1.0, b = 1.0 + 1e-14, c = 1e-14, zero = 0.0;
    i64 r[2];
    float_compare_array(P_EQUAL, 1, r, &a, 1, &b, 1, 1);
    float_compare_array(P_EQUAL, 1, r + 1, &zero, 1, &c, 1, 1);
    EXPECT_EQ(r[0], 1);
    EXPECT_EQ(r[1], 0);
    float_compare_array(P_EQUAL, 1, r, &a, 1, &b, 1, 0);
    EXPECT_EQ(r[0], 0);
}

TEST(ScalarItems, FactorialCircleAndLiterals) {
    start();
    EXPECT_EQ(factorial_double(0), 1.0);
    EXPECT_EQ(factorial_double(170) < INFINITY, true);
    EXPECT_EQ(factorial_double(INF_INT), INFINITY);
    EXPECT_DOUBLE_EQ(circle_function(-5, 1.0), std::asinh(1.0));
    EXPECT_EQ(circle_function(1, 3.141592653589793), 0.0);  // below 1e-13
    EXPECT_EQ(circle_function(9, 1.0), 0.0);
    EXPECT_EQ(printed, "Debug[vpfn1:2285] not implemented yet!\n\n");
    double zz[2] = {0, 2}, r[2];
    complex_circle(r, -11, zz);
    EXPECT_EQ(r[0], -2.0);
    EXPECT_EQ(r[1], 0.0);
}

// The slot of the global variable `name` (made when missing).
static i64 global_slot(const char *name) {
    i64 g = lookup_name(name, 'G');
    if (g < 0) g = add_name_entry(name, 'G');
    return global_name_table[g].index;
}

// An enumeration over the symbol-vector domain named `domain`: the domain
// is found by that name, whatever the reference word holds.
static void enumeration(i64 slot, const char *domain, std::vector<i64> positions) {
    i64 *p = (i64 *)put(slot, T_ENUM, (i64)positions.size(), 1);
    p[0] = intern_symbol(domain);
    p[1] = -1;
    for (size_t i = 0; i < positions.size(); i++) p[2 + i] = positions[i];
}

TEST(ScalarCompare, EnumerationsCompareByTheirDomainItems) {
    start();
    const i64 D = global_slot("dom");
    ints(D, {50, 60, 70}, T_SYMBOL);
    enumeration(A, "dom", {0, 2, 1, 7});
    ints(B, {50, 70, 80, 60}, T_SYMBOL);
    ASSERT_EQ(compare(P_EQUAL), 0);
    EXPECT_EQ(z()->type, T_BOOL);
    EXPECT_EQ(zi(0) + zi(1), 2);
    EXPECT_EQ(zi(2), 0);
    EXPECT_EQ(zi(3), 0);                                // outside the domain
    ints(B, {60}, T_SYMBOL);
    ASSERT_EQ(prim_compare(P_NOT_EQUAL, Z, -1, B, -1, A), 0);
    EXPECT_EQ(z()->count, 4);
    EXPECT_EQ(zi(0) + zi(1) + zi(2) + zi(3), 3);
    ints(B, {50, 70, 80, 60});                          // other underlying type
    ASSERT_EQ(compare(P_EQUAL), 0);
    EXPECT_EQ(zi(0) + zi(1) + zi(2) + zi(3), 0);
    EXPECT_EQ(compare(P_LESS), 1);
    ints(B, {1, 2});
    EXPECT_EQ(compare(P_EQUAL), 3);
    ints(B, {1, 2, 3, 4}, T_INT, 2, 2);
    EXPECT_EQ(compare(P_EQUAL), 2);
}

