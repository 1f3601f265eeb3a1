// What the transcripts cannot write: values planted straight into
// variables (the ends of the integer range, minutes past a day), the
// generator against a plain step-by-step form of it, and the inverse
// checked by its product.
#include "interpreter_fixture.h"
#include <cmath>
#include <set>
#include "core/dispatch.h"
#include "core/names.h"
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
    static const ValueDescriptor *slot_value(i64 slot) { return &value_slot_table[slot]; }
    static double float_at(i64 slot, i64 i) { return ((double *)value_data(&value_slot_table[slot]))[i]; }
    static i64 int_at(i64 slot, i64 i) { return ((i64 *)value_data(&value_slot_table[slot]))[i]; }
};

// ---- Decode and encode --------------------------------------------------------------------

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

// k ?. n drawn by the plain rejection of repeats.
static std::vector<i64> reference_deal(i64 k, i64 n, i64 *seed) {
    std::vector<i64> drawn;
    while ((i64)drawn.size() < k) {
        i64 d = reference_draw(n, 1, seed);
        bool again = false;
        for (i64 e : drawn) again = again || e == d;
        if (!again) drawn.push_back(d);
    }
    return drawn;
}

TEST_F(MiscPrimitives, DealDrawsLikeTheRejectionOfRepeats) {
    // a range small enough for a bit per number, and one that needs the hash set
    for (i64 n : {(i64)4000, (i64)600000}) {
        value_slot_table[SLOT_RL].dim0 = 987654321;
        run(("z<-3000?." + std::to_string(n)).c_str());
        i64 z = resolve_value_index("z");
        ASSERT_EQ(slot_value(z)->count, 3000);
        i64 seed = 987654321;
        std::vector<i64> want = reference_deal(3000, n, &seed);
        for (i64 i = 0; i < 3000; i++) ASSERT_EQ(int_at(z, i), want[i]) << n << " " << i;
        EXPECT_EQ(value_slot_table[SLOT_RL].dim0, seed);
    }
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

// ---- Format --------------------------------------------------------------------------------

TEST_F(MiscPrimitives, FormatOfTimeMatricesHoldsTextsOfAnyLength) {
    // minutes past a day write a longer text than the usual five characters
    plant_ints("m", {545, 6000, 61, 0}, {2, 2}, T_MINUTE);
    EXPECT_EQ(run("+.m"), "09:05 100:00\n01:01  00:00\n");
}

// The four boolean functions, two without symbols of their own, on boolean
// vectors (one loop per function) against integer vectors of 0 and 1 (the
// item-by-item path).
TEST_F(MiscPrimitives, BooleanFunctionsOfVectorsMatchTheItemByItemPath) {
    std::vector<i64> a = {0, 0, 1, 1, 1, 0}, b = {0, 1, 0, 1, 1, 1};
    i64 ab = plant_ints("ab", a, {6}, T_BOOL), bb = plant_ints("bb", b, {6}, T_BOOL);
    i64 ai = plant_ints("ai", a, {6}), bi = plant_ints("bi", b, {6});
    const i64 z = FIRST_TEMP_SLOT + 50;
    for (i64 code : {(i64)P_OR, (i64)P_AND, (i64)P_NOR, (i64)P_NAND}) {
        std::vector<i64> fast, slow;
        ASSERT_EQ(dispatch_primitive(code, z, -1, ab, -1, bb), 0);
        for (i64 i = 0; i < 6; i++) fast.push_back(((const i64 *)value_data(&value_slot_table[z]))[i]);
        EXPECT_EQ(value_slot_table[z].type, T_BOOL);
        ASSERT_EQ(dispatch_primitive(code, z, -1, ai, -1, bi), 0);
        for (i64 i = 0; i < 6; i++) slow.push_back(((const i64 *)value_data(&value_slot_table[z]))[i]);
        EXPECT_EQ(fast, slow) << code;
    }
    reset_stack();
}
