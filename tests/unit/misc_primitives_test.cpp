// Encode and decode, roll, deal, the inverse and format on arrays of rank
// 2 and more (planted straight into variables), the generator against a
// plain step-by-step form of it, and the clock.
#include "interpreter_fixture.h"
#include <cmath>
#include <set>
#include "core/dispatch.h"
#include "core/names.h"
#include "core/symbols.h"
#include "primitives/random.h"

class MiscPrimitives : public InterpreterFixture {
protected:
    // A global variable `name` holding an array of the given shape.
    static i64 plant(const char *name, ValueDescriptor d, std::vector<i64> shape) {
        std::string line = std::string(name) + "<-0";
        run(line.c_str());
        i64 slot = resolve_value_index(name);
        EXPECT_GE(slot, FIRST_GLOBAL_SLOT);
        d.rank = (i64)shape.size();
        if (d.rank >= 2) {
            d.dim0 = shape[0];
            if (d.rank == 2) d.dim1 = shape[1];
            else EXPECT_EQ(shape_pool_append(shape.data() + 1, d.rank - 1, &d.dim1), 0);
        }
        EXPECT_EQ(assign_to_slot(slot, &d), 0);
        return slot;
    }
    static i64 plant_ints(const char *name, std::vector<i64> xs, std::vector<i64> shape, i64 type = T_INT) {
        ValueDescriptor d = ints(xs);
        d.type = type;
        return plant(name, d, shape);
    }
    static i64 plant_floats(const char *name, std::vector<double> xs, std::vector<i64> shape) {
        return plant(name, floats(xs), shape);
    }
    // The display of `name` and of its format must be the same text.
    static void expect_format_reads_as_display(const char *name) {
        std::string shown = run(name);
        std::string formatted = run((std::string("+.") + name).c_str());
        EXPECT_EQ(formatted, shown) << name;
    }
    static const ValueDescriptor *slot_value(i64 slot) { return &value_slot_table[slot]; }
    static double float_at(i64 slot, i64 i) { return ((double *)value_data(&value_slot_table[slot]))[i]; }
    static i64 int_at(i64 slot, i64 i) { return ((i64 *)value_data(&value_slot_table[slot]))[i]; }
};

// ---- Decode and encode --------------------------------------------------------------------

TEST_F(MiscPrimitives, DecodeOfMatricesCombinesEveryRowWithEveryColumn) {
    plant_ints("r", {2, 2, 2, 10, 10, 10}, {2, 3});
    plant_ints("d", {1, 0, 1, 1, 0, 1, 1, 0, 1, 1, 0, 1}, {3, 4});
    EXPECT_EQ(run("r>.d"), "  5  3   6   5\n101 11 110 101\n");
    plant_ints("x", {1, 2}, {2, 1});
    EXPECT_EQ(run("x>.1 2 3"), "Error: length error\n      x>.1 2 3\n       ^\n");
    // a 1-by-1 radix matrix is a single element and extends
    plant_ints("one", {10}, {1, 1});
    EXPECT_EQ(run("one>.1 2 3"), "123\n");
}

TEST_F(MiscPrimitives, EncodeWithARadixMatrixGivesDigitsDownTheFirstAxis) {
    // columns: radices 2 2 2 and 10 10 10
    plant_ints("r", {2, 10, 2, 10, 2, 10}, {3, 2});
    run("z<-r<.5 123");
    i64 z = resolve_value_index("z");
    ASSERT_EQ(slot_value(z)->rank, 3);
    EXPECT_EQ(slot_value(z)->count, 12);
    std::vector<i64> want = {1, 0, 0, 1, 0, 1, 0, 2, 1, 1, 5, 3};
    for (i64 i = 0; i < 12; i++) EXPECT_EQ(int_at(z, i), want[i]) << i;
    EXPECT_EQ(run("r>.z"), "Error: length error\n      r>.z\n       ^\n");
}

TEST_F(MiscPrimitives, DecodeUndoesEncodeOverTheWholeIntegerRange) {
    std::vector<i64> values = {0, 1, -1, 12345, -98765, INT64_MAX, INT64_MIN + 1, INT64_MIN};
    plant_ints("v", values, {(i64)values.size()});
    plant_ints("r", {0, 7, -3, 1000}, {4});
    run("z<-r>.r<.v");
    i64 z = resolve_value_index("z");
    for (size_t i = 0; i < values.size(); i++) EXPECT_EQ(int_at(z, (i64)i), values[i]) << i;
}

// ---- The generator, roll and deal ----------------------------------------------------------

// The generator written out step by step, without the folded modulus.
static i64 reference_draw(i64 n, i64 origin, i64 *seed) {
    i64 s = ((*seed % RANDOM_MODULUS) + RANDOM_MODULUS) % RANDOM_MODULUS;
    *seed = (i64)(((__int128)s * RANDOM_MULTIPLIER) % RANDOM_MODULUS);
    if (*seed == 0) *seed = RANDOM_MULTIPLIER;
    return origin + (i64)((double)*seed / 2147483647.0 * (double)n);
}

TEST_F(MiscPrimitives, RollFollowsTheGeneratorItemByItem) {
    const i64 n = 50000;
    std::vector<i64> bounds(n);
    for (i64 i = 0; i < n; i++) bounds[i] = 1 + (i * 7919) % 1000003;
    plant_ints("b", bounds, {100, n / 100});
    for (i64 start : {(i64)16807, (i64)1, (i64)2147483646, (i64)2147483647 * 5, (i64)4000000000000000007}) {
        value_slot_table[SLOT_RL].dim0 = start;
        run("z<-?.b");
        i64 z = resolve_value_index("z");
        ASSERT_EQ(slot_value(z)->count, n);
        EXPECT_EQ(slot_value(z)->rank, 2);
        i64 seed = start;
        for (i64 i = 0; i < n; i++) {
            i64 want = reference_draw(bounds[i], 1, &seed);
            ASSERT_EQ(int_at(z, i), want) << "seed " << start << " item " << i;
        }
        EXPECT_EQ(value_slot_table[SLOT_RL].dim0, seed);
    }
}

TEST_F(MiscPrimitives, RandomNextMatchesTheReferenceFromAnySeed) {
    for (i64 start : {(i64)1, (i64)16807, (i64)2147483647, (i64)INT64_MAX, (i64)-5}) {
        i64 a = start, b = start;
        for (int i = 0; i < 1000; i++) {
            i64 got = random_next(1000000007, 0, &a);
            ASSERT_EQ(got, reference_draw(1000000007, 0, &b)) << start;
            ASSERT_GE(got, 0);
            ASSERT_LT(got, 1000000007);
        }
    }
}

TEST_F(MiscPrimitives, DealDrawsLikeTheRejectionOfRepeatsAndStaysDistinct) {
    value_slot_table[SLOT_RL].dim0 = 987654321;
    run("z<-3000?.4000");
    i64 z = resolve_value_index("z");
    ASSERT_EQ(slot_value(z)->count, 3000);
    i64 seed = 987654321;
    std::vector<i64> drawn;
    while (drawn.size() < 3000) {
        i64 d = reference_draw(4000, 1, &seed);
        bool again = false;
        for (i64 e : drawn) again = again || e == d;
        if (!again) drawn.push_back(d);
    }
    for (i64 i = 0; i < 3000; i++) ASSERT_EQ(int_at(z, i), drawn[i]) << i;
    EXPECT_EQ(value_slot_table[SLOT_RL].dim0, seed);
    // every number of the range, once
    run("w<-500?.500");
    i64 w = resolve_value_index("w");
    std::set<i64> seen;
    for (i64 i = 0; i < 500; i++) seen.insert(int_at(w, i));
    EXPECT_EQ(seen.size(), 500u);
    EXPECT_EQ(*seen.begin(), 1);
    EXPECT_EQ(*seen.rbegin(), 500);
}

// ---- The inverse -------------------------------------------------------------------------------

TEST_F(MiscPrimitives, InverseOfMatrices) {
    plant_ints("d", {2, 0, 0, 4}, {2, 2});
    EXPECT_EQ(run("#.d"), "0.5 0   \n0   0.25\n");
    plant_ints("i", {1, 0, 0, 1}, {2, 2}, T_BOOL);
    run("z<-#.i");
    EXPECT_EQ(slot_value(resolve_value_index("z"))->type, T_INT);
    EXPECT_EQ(run("z"), "1 0\n0 1\n");
    // rows that are not columns: the transposes around the solver matter
    plant_ints("u", {1, 2, 0, 1}, {2, 2});
    EXPECT_EQ(run("#.u"), "1 _2\n0  1\n");
}

TEST_F(MiscPrimitives, InverseTimesTheMatrixIsTheIdentity) {
    const i64 n = 7;
    std::vector<double> a(n * n);
    for (i64 i = 0; i < n * n; i++) a[i] = std::sin((double)i * 1.7) * 10 + (i % (n + 1) == 0 ? 20 : 0);
    i64 m = plant_floats("m", a, {n, n});
    run("m<-#.m");     // the operand is the result's own variable
    for (i64 i = 0; i < n; i++)
        for (i64 j = 0; j < n; j++) {
            double s = 0;
            for (i64 k = 0; k < n; k++) s += a[i * n + k] * float_at(m, k * n + j);
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
        }
}

TEST_F(MiscPrimitives, InverseRefusesSingularAndNonSquareMatrices) {
    plant_ints("s", {1, 2, 2, 4}, {2, 2});
    EXPECT_EQ(run("#.s"), "Error: domain error\n      #.s\n      ^\n");
    plant_ints("r", {1, 2, 3, 4, 5, 6}, {2, 3});
    EXPECT_EQ(run("#.r"), "Error: domain error\n      #.r\n      ^\n");
    plant_ints("z", {0}, {1, 1});
    EXPECT_EQ(run("#.z"), "Error: domain error\n      #.z\n      ^\n");
    plant_ints("c", {1, 2, 3, 4, 5, 6, 7, 8}, {2, 2, 2});
    EXPECT_EQ(run("#.c"), "Error: domain error\n      #.c\n      ^\n");
    EXPECT_EQ(run("s"), "1 2\n2 4\n");     // the operand is left as it was
}

// ---- Format --------------------------------------------------------------------------------

TEST_F(MiscPrimitives, FormatOfMatricesReadsAsTheirDisplay) {
    plant_ints("i", {1, 100, 22, 3}, {2, 2});
    EXPECT_EQ(run("+.i"), " 1 100\n22   3\n");
    plant_ints("b", {1, 0, 0, 1, 1, 1}, {2, 3}, T_BOOL);
    plant_floats("f", {1.5, 2, 10.25, 100, 0.125, -3.5}, {3, 2});
    plant_ints("n", {INT64_MIN, 5, INT64_MAX, -INT64_MAX}, {2, 2});
    plant_ints("p", {1, 2, 3, 4, 5, 6, 70, 8, 9, 10, 11, 12}, {3, 2, 2});
    ValueDescriptor c = vec(T_COMPLEX, 4);
    double parts[] = {0.5, 1, 1, 2, 12.5, 3, 0, 0};
    memcpy(value_data(&c), parts, sizeof parts);
    plant("c", c, {2, 2});
    for (const char *name : {"i", "b", "f", "n", "p", "c"}) expect_format_reads_as_display(name);
    EXPECT_EQ(run("+.f"), " 1.5     2  \n10.25  100  \n 0.125  _3.5\n");
}

TEST_F(MiscPrimitives, FormatKeepsTheShapeAndWidensTheLastAxis) {
    plant_ints("p", {1, 2, 3, 4, 5, 6, 70, 8, 9, 10, 11, 12}, {3, 2, 2});
    run("z<-+.p");
    const ValueDescriptor *z = slot_value(resolve_value_index("z"));
    EXPECT_EQ(z->type, T_CHAR);
    ASSERT_EQ(z->rank, 3);
    EXPECT_EQ(value_dimension(z, 0), 3);
    EXPECT_EQ(value_dimension(z, 1), 2);
    EXPECT_EQ(value_dimension(z, 2), 5);
    EXPECT_EQ(std::string((const char *)value_data(const_cast<ValueDescriptor *>(z)), 30),
              " 1  2 3  4 5  670  8 9 1011 12");
    // a text of one character is still a vector
    run("one<-+.5");
    EXPECT_EQ(slot_value(resolve_value_index("one"))->rank, 1);
}

TEST_F(MiscPrimitives, FormatOfSymbolMatricesUsesTheBareNames) {
    ValueDescriptor s = ints({intern_symbol("a"), intern_symbol("bcd"), intern_symbol("ef"), intern_symbol("g")});
    s.type = T_SYMBOL;
    plant("s", s, {2, 2});
    EXPECT_EQ(run("+.s"), "a  bcd\nef g  \n");
    EXPECT_EQ(run("s"), "`a  `bcd\n`ef `g  \n");
}

TEST_F(MiscPrimitives, FormatOfTimeMatricesHoldsTextsOfAnyLength) {
    // minutes past a day write a longer text than the usual five characters
    plant_ints("m", {545, 6000, 61, 0}, {2, 2}, T_MINUTE);
    EXPECT_EQ(run("+.m"), "09:05 100:00\n01:01  00:00\n");
    plant_ints("d", {20240517, 19991231}, {2, 1}, T_DATE);
    EXPECT_EQ(run("+.d"), "2024.05.17\n1999.12.31\n");
}

TEST_F(MiscPrimitives, FormatOfAnEmptyMatrixIsAnEmptyVector) {
    plant_ints("e", {}, {3, 0});
    run("z<-+.e");
    const ValueDescriptor *z = slot_value(resolve_value_index("z"));
    EXPECT_EQ(z->type, T_CHAR);
    EXPECT_EQ(z->rank, 1);
    EXPECT_EQ(z->count, 0);
}

TEST_F(MiscPrimitives, FormatFollowsLargePrintPrecisions) {
    plant_floats("f", {1.0 / 3, 2.0 / 3}, {2, 1});
    run("[]PP<-1000");
    // every digit of the nearest doubles, the shorter text padded
    EXPECT_EQ(run("+.f"), "0.333333333333333314829616256247390992939472198486328125\n"
                          "0.66666666666666662965923251249478198587894439697265625 \n");
}

// ---- Boolean functions on arrays ----------------------------------------------------------------

TEST_F(MiscPrimitives, BooleanFunctionsAgreeShapes) {
    plant_ints("m", {1, 0, 1, 1}, {2, 2}, T_BOOL);
    EXPECT_EQ(run("m^1 0"), "Error: rank error\n      m^1 0\n       ^\n");
    plant_ints("w", {1, 0, 1, 1, 0, 0}, {2, 3}, T_BOOL);
    EXPECT_EQ(run("m&w"), "Error: length error\n      m&w\n       ^\n");
    EXPECT_EQ(run("m^0"), "0 0\n0 0\n");
    EXPECT_EQ(run("~m"), "0 1\n0 0\n");
}
