// The operators on values built straight in slots: matrices along both
// axes, rank 3, empty axes, the fast paths against the plain definitions,
// the transposed inner products, and each's use of stack space.
#include "interpreter_fixture.h"
#include <cmath>
#include <random>
#include "core/dispatch.h"
#include "primitives/products.h"
#include "primitives/reduce.h"
#include "primitives/scalar.h"
#include "core/names.h"

namespace {

const i64 A = FIRST_TEMP_SLOT + 10, B = A + 1, Z = A + 2;

class Operators : public InterpreterFixture {
protected:
    static void *put(i64 slot, i64 type, std::vector<i64> dims) {
        i64 count = 1;
        for (i64 d : dims) count *= d;
        i64 rank = (i64)dims.size();
        value_slot_table[slot].type = type;
        EXPECT_EQ(alloc_slot_value(slot, type, rank, count), 0);
        i64 d0 = rank ? dims[0] : count, d1 = rank == 2 ? dims[1] : 0;
        if (rank > 2) {
            EXPECT_EQ(shape_pool_append(dims.data() + 1, rank - 1, &d1), 0);
        }
        set_slot_shape(slot, rank, count, d0, d1);
        return value_data(&value_slot_table[slot]);
    }
    static void ints(i64 slot, std::vector<i64> dims, std::vector<i64> v, i64 type = T_INT) {
        i64 *p = (i64 *)put(slot, type, dims);
        for (size_t i = 0; i < v.size(); i++) p[i] = v[i];
    }
    static void floats(i64 slot, std::vector<i64> dims, std::vector<double> v) {
        double *p = (double *)put(slot, T_FLOAT, dims);
        for (size_t i = 0; i < v.size(); i++) p[i] = v[i];
    }
    static ValueDescriptor *z() { return &value_slot_table[Z]; }
    static i64 zi(i64 i) { return ((i64 *)value_data(z()))[i]; }
    static double zf(i64 i) { return ((double *)value_data(z()))[i]; }
    static std::vector<i64> zshape() {
        std::vector<i64> s;
        for (i64 k = 0; k < z()->rank; k++) s.push_back(value_dimension(z(), k));
        return s;
    }
    static std::vector<i64> zints() {
        std::vector<i64> v;
        for (i64 i = 0; i < z()->count; i++) v.push_back(zi(i));
        return v;
    }
    static int reduce(i64 f, bool first = false) { return op_reduce(reduce_code(f, first), Z, -1, A); }
    static int scan(i64 f, bool first = false) { return op_scan(scan_code(f, first), Z, -1, A); }
    static int inner(i64 f, i64 g, int flags = 0) { return op_inner_product(inner_code(f, g), Z, -1, A, -1, B, flags); }
    static int outer(i64 f) { return op_outer_product(outer_code(f), Z, -1, A, -1, B); }
};

TEST_F(Operators, MatricesAlongBothAxes) {
    ints(A, {2, 3}, {1, 2, 3, 4, 5, 6});
    ASSERT_EQ(reduce(P_PLUS), 0);
    EXPECT_EQ(zshape(), (std::vector<i64>{2}));
    EXPECT_EQ(zints(), (std::vector<i64>{6, 15}));
    ASSERT_EQ(reduce(P_PLUS, true), 0);
    EXPECT_EQ(zints(), (std::vector<i64>{5, 7, 9}));
    ASSERT_EQ(reduce(P_MINUS), 0);
    EXPECT_EQ(zints(), (std::vector<i64>{2, 5}));
    ASSERT_EQ(reduce(P_MINUS, true), 0);
    EXPECT_EQ(zints(), (std::vector<i64>{-3, -3, -3}));
    ASSERT_EQ(reduce(P_DIVIDE, true), 0);   // the float path along the first axis
    EXPECT_EQ(z()->type, T_FLOAT);
    EXPECT_DOUBLE_EQ(zf(0), 0.25);
    ASSERT_EQ(reduce(P_MAX, true), 0);
    EXPECT_EQ(zints(), (std::vector<i64>{4, 5, 6}));
    ASSERT_EQ(scan(P_PLUS), 0);
    EXPECT_EQ(zints(), (std::vector<i64>{1, 3, 6, 4, 9, 15}));
    ASSERT_EQ(scan(P_PLUS, true), 0);
    EXPECT_EQ(zints(), (std::vector<i64>{1, 2, 3, 5, 7, 9}));
    ASSERT_EQ(scan(P_MINUS, true), 0);
    EXPECT_EQ(zints(), (std::vector<i64>{1, 2, 3, -3, -3, -3}));
    ASSERT_EQ(scan(P_DIVIDE, true), 0);
    EXPECT_DOUBLE_EQ(zf(3), 0.25);

    floats(A, {2, 3}, {1, 2, NAN, 4, NAN, 6});
    ASSERT_EQ(reduce(P_PLUS, true), 0);     // a null in an earlier row is passed over
    EXPECT_EQ(zf(0), 5);
    EXPECT_TRUE(std::isnan(zf(1)));
    EXPECT_EQ(zf(2), 6);
    ASSERT_EQ(scan(P_MAX, true), 0);
    EXPECT_EQ(zf(3), 4);
    EXPECT_TRUE(std::isnan(zf(4)));
}

TEST_F(Operators, RankThreeKeepsItsOtherAxes) {
    std::vector<i64> v;
    for (i64 i = 1; i <= 12; i++) v.push_back(i);
    ints(A, {2, 2, 3}, v);
    ASSERT_EQ(reduce(P_PLUS), 0);
    EXPECT_EQ(zshape(), (std::vector<i64>{2, 2}));
    EXPECT_EQ(zints(), (std::vector<i64>{6, 15, 24, 33}));
    ASSERT_EQ(reduce(P_PLUS, true), 0);
    EXPECT_EQ(zshape(), (std::vector<i64>{2, 3}));
    EXPECT_EQ(zints(), (std::vector<i64>{8, 10, 12, 14, 16, 18}));
    ASSERT_EQ(scan(P_TIMES, true), 0);
    EXPECT_EQ(zshape(), (std::vector<i64>{2, 2, 3}));
    EXPECT_EQ(zi(6), 7);
    EXPECT_EQ(zi(11), 72);
    ints(B, {3}, {1, 0, 2});
    ASSERT_EQ(outer(P_TIMES), 0);
    EXPECT_EQ(zshape(), (std::vector<i64>{2, 2, 3, 3}));
    EXPECT_EQ(zi(12 * 3 - 1), 24);
    ints(B, {3, 2}, {1, 0, 0, 1, 1, 1});
    ASSERT_EQ(inner(P_PLUS, P_TIMES), 0);   // 2 2 3 +:* 3 2 gives 2 2 2
    EXPECT_EQ(zshape(), (std::vector<i64>{2, 2, 2}));
    EXPECT_EQ(zints(), (std::vector<i64>{4, 5, 10, 11, 16, 17, 22, 23}));
}

TEST_F(Operators, EmptyAxesGiveEveryIdentity) {
    const double inf = HUGE_VAL;
    struct { i64 f; double id; } table[] = {
        {P_PLUS, 0}, {P_MINUS, 0}, {P_RESIDUE, 0}, {P_LESS, 0}, {P_GREATER, 0}, {P_NOT_EQUAL, 0},
        {P_TIMES, 1}, {P_DIVIDE, 1}, {P_POWER, 1}, {P_BINOMIAL, 1}, {P_LESS_EQ, 1}, {P_GREATER_EQ, 1},
        {P_EQUAL, 1}, {P_MAX, -inf}, {P_MIN, inf},
    };
    for (auto &t : table) {
        ints(A, {3, 0}, {});
        ASSERT_EQ(reduce(t.f), 0) << t.f;
        ASSERT_EQ(z()->count, 3);
        if (std::isinf(t.id)) {
            EXPECT_EQ(z()->type, T_FLOAT);
            EXPECT_EQ(zf(2), t.id);
        } else {
            EXPECT_EQ(z()->type, T_INT) << t.f;
            EXPECT_EQ(zi(2), (i64)t.id) << t.f;
        }
    }
    ints(A, {0, 4}, {}, T_BOOL);
    ASSERT_EQ(reduce(P_AND, true), 0);
    EXPECT_EQ(zints(), (std::vector<i64>{1, 1, 1, 1}));
    ASSERT_EQ(reduce(P_OR, true), 0);
    EXPECT_EQ(zints(), (std::vector<i64>{0, 0, 0, 0}));
    for (i64 f : {P_NOR, P_NAND, P_LOG, P_CIRCLE}) {
        ints(A, {0}, {}, f == P_NOR || f == P_NAND ? T_BOOL : T_INT);
        EXPECT_EQ(reduce(f), VEK_DOMAIN) << f;
    }
    ints(A, {0}, {});
    ASSERT_EQ(reduce(P_PLUS), 0);
    EXPECT_EQ(z()->rank, 0);
    EXPECT_EQ(zi(0), 0);
    ASSERT_EQ(scan(P_PLUS), 0);
    EXPECT_EQ(z()->count, 0);

    // an empty inner axis gives the identity of f in every item
    ints(A, {2, 0}, {});
    ints(B, {0, 3}, {});
    ASSERT_EQ(inner(P_PLUS, P_TIMES), 0);
    EXPECT_EQ(zints(), (std::vector<i64>(6, 0)));
    ASSERT_EQ(inner(P_TIMES, P_PLUS), 0);
    EXPECT_EQ(zints(), (std::vector<i64>(6, 1)));
    ASSERT_EQ(inner(P_MAX, P_PLUS), 0);
    EXPECT_EQ(zf(5), -inf);
}

// The integer folds against the float fold from the right, then demoted.
TEST_F(Operators, IntegerFoldsGiveTheNumbersOfTheFloatFold) {
    std::mt19937_64 rng(5);
    for (i64 magnitude : {(i64)1000, (i64)1 << 40, (i64)1 << 52, (i64)1 << 62}) {
        for (i64 n : {1, 7, 300}) {
            std::vector<i64> v(n);
            for (i64 &x : v) x = (i64)(rng() % (uint64_t)magnitude) - magnitude / 2;
            ints(A, {n}, v);
            for (i64 f : {P_PLUS, P_MINUS, P_TIMES, P_MAX, P_MIN}) {
                double r = (double)v[n - 1];
                for (i64 i = n - 2; i >= 0; i--) r = float_dyadic_kernel(f, (double)v[i], r);
                ASSERT_EQ(reduce(f), 0);
                bool narrow = r == std::trunc(r) && std::fabs(r) <= 2147483647.0;
                if (narrow) {
                    ASSERT_EQ(z()->type, T_INT) << f << " " << n << " " << magnitude;
                    EXPECT_EQ(zi(0), (i64)r) << f;
                } else {
                    ASSERT_EQ(z()->type, T_FLOAT) << f << " " << n << " " << magnitude;
                    EXPECT_EQ(zf(0), r) << f << " " << n << " " << magnitude;
                }
            }
        }
    }
}

TEST_F(Operators, FloatFoldsKeepTheirOrderAndTheRightmostZero) {
    floats(A, {3}, {1, 1e16, -1e16});
    ASSERT_EQ(reduce(P_PLUS), 0);
    EXPECT_EQ(zi(0), 1);                       // 1 + (1e16 + -1e16)
    std::vector<double> v(40, -3.0);
    v[5] = -0.0;
    v[30] = 0.0;
    v[12] = NAN;
    floats(A, {40}, v);
    ASSERT_EQ(reduce(P_MAX), 0);
    EXPECT_EQ(zi(0), 0);
    v[5] = 0.0;
    v[30] = -0.0;
    floats(A, {40}, v);
    ASSERT_EQ(reduce(P_MAX), 0);
    ASSERT_EQ(z()->type, T_INT);               // -0 demotes to the integer 0
    v.assign(40, 2.5);
    v[39] = NAN;
    floats(A, {40}, v);
    ASSERT_EQ(reduce(P_MIN), 0);
    EXPECT_TRUE(std::isnan(zf(0)));            // the last item is never passed over
    v[39] = 7.5;
    v[3] = -1.5;
    v[20] = NAN;
    floats(A, {40}, v);
    ASSERT_EQ(reduce(P_MIN), 0);
    EXPECT_EQ(zf(0), -1.5);
}

TEST_F(Operators, LinearScansAgreeWithEveryPrefix) {
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> u(-100, 100);
    std::vector<double> v(200);
    for (double &x : v) x = u(rng);
    v[17] = NAN;
    v[0] = -0.0;
    floats(A, {200}, v);
    for (i64 f : {P_PLUS, P_TIMES, P_MAX, P_MIN}) {
        ASSERT_EQ(scan(f), 0);
        for (i64 p = 0; p < 200; p++) {
            double r = v[p];
            for (i64 i = p - 1; i >= 0; i--)
                if (v[i] == v[i]) r = float_dyadic_kernel(f, v[i], r);
            if (std::isnan(r)) { EXPECT_TRUE(std::isnan(zf(p))); continue; }
            if (f == P_MAX || f == P_MIN) {
                EXPECT_EQ(std::signbit(zf(p)), std::signbit(r)) << p;
            }
            EXPECT_NEAR(zf(p), r, std::fabs(r) * 1e-12) << f << " " << p;
        }
    }
    ints(A, {3}, {2147483647, 1, -5});
    ASSERT_EQ(scan(P_PLUS), 0);
    EXPECT_EQ(z()->type, T_FLOAT);
    EXPECT_EQ(zf(1), 2147483648.0);
    EXPECT_EQ(zf(0), 2147483647.0);
    ints(A, {3}, {(i64)1 << 62, 1, 1});
    ASSERT_EQ(scan(P_MINUS), 0);              // beyond 2^53 the alternating sum runs in floats
    EXPECT_EQ(zf(2), std::ldexp(1.0, 62));
}

TEST_F(Operators, LogicalFoldsLeaveTheirOperandAlone) {
    ints(A, {3}, {1, 0, 1});
    ASSERT_EQ(reduce(P_OR), 0);
    EXPECT_EQ(zi(0), 1);
    EXPECT_EQ(value_slot_table[A].type, T_INT);
    ASSERT_EQ(scan(P_AND), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(zints(), (std::vector<i64>{1, 0, 0}));
    ASSERT_EQ(scan(P_NAND), 0);                // 1, 1 nand 0, 1 nand (0 nand 1)
    EXPECT_EQ(zints(), (std::vector<i64>{1, 1, 0}));
    // the operand may be the result slot itself
    ints(A, {4}, {1, 2, 3, 4});
    ASSERT_EQ(op_reduce(reduce_code(P_PLUS, false), A, -1, A), 0);
    EXPECT_EQ(*(i64 *)value_data(&value_slot_table[A]), 10);
}

static double plain_dot(const std::vector<double> &a, const std::vector<double> &b, i64 i, i64 j, i64 k, i64 n) {
    double acc = 0;
    for (i64 p = 0; p < k; p++) {
        double t = a[i * k + p] * b[p * n + j];
        acc = acc + t;
    }
    return acc;
}

TEST_F(Operators, MatrixProductIsThePlainFoldBitForBit) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-1, 1);
    for (auto [m, k, n] : {std::tuple<i64, i64, i64>{37, 53, 29}, {5, 300, 9}, {1, 1, 1}, {130, 7, 17}}) {
        std::vector<double> a(m * k), b(k * n);
        for (double &x : a) x = u(rng);
        for (double &x : b) x = u(rng);
        floats(A, {m, k}, a);
        floats(B, {k, n}, b);
        ASSERT_EQ(inner(P_PLUS, P_TIMES), 0);
        for (i64 i = 0; i < m; i++)
            for (i64 j = 0; j < n; j++) ASSERT_EQ(zf(i * n + j), plain_dot(a, b, i, j, k, n)) << i << " " << j;
    }
    ints(A, {2, 3}, {1, 2, 3, 4, 5, 6});
    ints(B, {3, 2}, {1, 0, 0, 1, 1, 1});
    ASSERT_EQ(inner(P_PLUS, P_TIMES), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(zints(), (std::vector<i64>{4, 5, 10, 11}));
    ASSERT_EQ(inner(P_MAX, P_MINUS), 0);       // the general path
    EXPECT_EQ(zints(), (std::vector<i64>{2, 2, 5, 5}));
}

TEST_F(Operators, TransposedRightAndTransposedResult) {
    ints(A, {2, 3}, {1, 2, 3, 4, 5, 6});
    ints(B, {2, 3}, {1, 0, 1, 0, 1, 0});
    EXPECT_EQ(inner(P_PLUS, P_TIMES), VEK_LENGTH);
    ASSERT_EQ(inner(P_PLUS, P_TIMES, INNER_TRANSPOSED_RIGHT), 0);   // A +:* &.B
    EXPECT_EQ(zshape(), (std::vector<i64>{2, 2}));
    EXPECT_EQ(zints(), (std::vector<i64>{4, 2, 10, 5}));
    ints(B, {3, 2}, {1, 0, 0, 1, 1, 1});
    ASSERT_EQ(inner(P_PLUS, P_TIMES, INNER_TRANSPOSED_RESULT), 0);  // &.(A +:* B)
    EXPECT_EQ(zints(), (std::vector<i64>{4, 10, 5, 11}));
    // above rank 2 the transpose reverses every axis: B 2 2 3 read as 3 2 2
    std::vector<i64> v;
    for (i64 i = 0; i < 12; i++) v.push_back(i);
    ints(B, {2, 2, 3}, v);
    ints(A, {3}, {1, 10, 100});
    ASSERT_EQ(inner(P_PLUS, P_TIMES, INNER_TRANSPOSED_RIGHT), 0);
    EXPECT_EQ(zshape(), (std::vector<i64>{2, 2}));
    // item (i, j) sums A[p] * B[j; i; p] = 111 * (6j + 3i) + 210
    EXPECT_EQ(zints(), (std::vector<i64>{210, 876, 543, 1209}));
    ASSERT_EQ(inner(P_PLUS, P_TIMES, INNER_TRANSPOSED_RIGHT | INNER_TRANSPOSED_RESULT), 0);
    EXPECT_EQ(zints(), (std::vector<i64>{210, 543, 876, 1209}));
}

TEST_F(Operators, OuterProductIntegersAndFloats) {
    ints(A, {2}, {3, -4});
    ints(B, {3}, {1, 2, 2147483647});
    ASSERT_EQ(outer(P_TIMES), 0);              // beyond 32 bits: float, as demotion gives
    EXPECT_EQ(z()->type, T_FLOAT);
    EXPECT_EQ(zf(5), -4.0 * 2147483647.0);
    ints(B, {3}, {1, 2, 5});
    ASSERT_EQ(outer(P_TIMES), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(zints(), (std::vector<i64>{3, 6, 15, -4, -8, -20}));
    ASSERT_EQ(outer(P_DIVIDE), 0);
    EXPECT_EQ(z()->type, T_FLOAT);
    EXPECT_DOUBLE_EQ(zf(0), 3.0);
    ASSERT_EQ(outer(P_RESIDUE), 0);
    EXPECT_EQ(z()->type, T_INT);
    EXPECT_EQ(zi(3), -3);                      // -4 | 1
}

TEST_F(Operators, FullShapePoolIsGlistFull) {
    ints(A, {2, 2}, {1, 2, 3, 4});
    ints(B, {2}, {1, 2});
    i64 saved = nxtglx;
    nxtglx = SHAPE_POOL_CAP - 2;
    EXPECT_EQ(outer(P_PLUS), VEK_GLIST_FULL);
    nxtglx = saved;
    ASSERT_EQ(outer(P_PLUS), 0);
    EXPECT_EQ(zshape(), (std::vector<i64>{2, 2, 2}));
}

TEST_F(Operators, EachGivesBackTheStackOfEveryItem) {
    // x<-1000 lists of 100 integers, built in a global variable
    run("x<-0");
    i64 g = -1;
    for (i64 i = 0; i < GLOBAL_NAME_CAP; i++)
        if (name_entry_equals(&global_name_table[i], "x")) { g = i; break; }
    ASSERT_GE(g, 0);
    ValueDescriptor list = vec(T_LIST, 1000);
    for (i64 k = 0; k < 1000; k++) {
        ValueDescriptor item = vec(T_INT, 100);
        for (i64 i = 0; i < 100; i++) ((i64 *)item.data)[i] = k + i;
        ((ValueDescriptor *)list.data)[k] = item;
    }
    ASSERT_EQ(assign_to_slot(global_name_table[g].index, &list), 0);
    reset_stack();
    EachHandler each = each_handler();
    ASSERT_NE(each, nullptr);
    ASSERT_EQ(each('P', P_NEGATE, Z, -1, -1, -1, global_name_table[g].index), 0);
    // the results themselves and the list of them, and little else
    EXPECT_LT(stacktop, 1000 * 100 * 8 + 1000 * 64 + 65536);
    const ValueDescriptor *items = (const ValueDescriptor *)value_data(z());
    EXPECT_EQ(((const i64 *)items[999].data)[99], -1098);
    EXPECT_EQ(((const i64 *)items[0].data)[0], 0);
    ASSERT_EQ(each('P', scan_code(P_PLUS, false), Z, -1, -1, -1, global_name_table[g].index), 0);
    items = (const ValueDescriptor *)value_data(z());
    EXPECT_EQ(((const i64 *)items[1].data)[2], 1 + 2 + 3);
    EXPECT_EQ(each('P', P_EXECUTE, Z, -1, -1, -1, global_name_table[g].index), VEK_DOMAIN);
}

TEST_F(Operators, EachOverNestedLists) {
    EXPECT_EQ(run("\"^((1 2;3);(4;5;6);7)"), "2 3 1\n");
    // the inner each meets a list of lists: plus does not go into them
    EXPECT_EQ(run("\"+/\"((1 2;3);(4;5 6))"), "Error: domain error\n      \"+/\"((1 2;3);(4;5 6))\n         ^\n");
    EXPECT_EQ(run("(1 2;3)\"+((4;5);6)"), "Error: domain error\n      (1 2;3)\"+((4;5);6)\n             ^\n");
    EXPECT_EQ(run("(1 2;3)\"+(1 2;3)\"*(1;2)"), "<2 4\n<9\n");
    EXPECT_EQ(run("\"^(1 2;(3;4 5;6))"), "2 3\n");
    EXPECT_EQ(run("1 2\"+1 2 3"), "Error: length error\n      1 2\"+1 2 3\n         ^\n");
}

}  // namespace
