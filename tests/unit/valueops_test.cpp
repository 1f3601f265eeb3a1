// Value operations and operand binding: demotion, match, copy and sharing
// on assignment, list items across compaction, and the operand registers
// (scalar marks, dimensions, refresh after compaction).
#include "interpreter_fixture.h"
#include <cmath>
#include <cstring>
#include <string>
#include <vector>
#include "core/arena.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "core/operands.h"

class ValueOpsTest : public InterpreterFixture {
protected:
    static i64 global(const ValueDescriptor &d) {
        i64 s = alloc_table_entry('V', -1);
        EXPECT_EQ(assign_to_slot(s, &d), 0);
        return s;
    }
    static i64 int_at(i64 slot, i64 i) { return ((i64 *)value_data(&value_slot_table[slot]))[i]; }
};

TEST_F(ValueOpsTest, FloatsDemoteOnlyWhenWholeAndSmall) {
    i64 a = global(floats({1.0, 2.0, 3.0}));
    ASSERT_EQ(demote_float_to_int(-1, a), 0);
    EXPECT_EQ(value_slot_table[a].type, T_INT);
    EXPECT_EQ(int_at(a, 2), 3);

    i64 b = global(floats({1.5, 2.0}));
    demote_float_to_int(-1, b);
    EXPECT_EQ(value_slot_table[b].type, T_FLOAT);

    for (double x : {3e9, -2147483648.0, 0.9995, std::nan("")}) {
        i64 c = global(floats({x, 1.0}));
        demote_float_to_int(-1, c);
        EXPECT_EQ(value_slot_table[c].type, T_FLOAT) << x;
    }
    i64 e = global(floats({-2147483647.0, 2147483647.0}));
    demote_float_to_int(-1, e);
    EXPECT_EQ(value_slot_table[e].type, T_INT);
    EXPECT_EQ(int_at(e, 0), -2147483647);

    ValueDescriptor z = vec(T_COMPLEX, 2);
    double *p = (double *)z.data;
    p[0] = 4; p[1] = 0; p[2] = -5; p[3] = 0;
    ASSERT_EQ(demote_descriptor(&z), 0);
    EXPECT_EQ(z.type, T_INT);
    EXPECT_EQ(((i64 *)z.data)[1], -5);

    // constants stay as compiled
    i64 k = alloc_table_entry('C', -1);
    constants_table[k] = floats({4.0, 5.0});
    demote_float_to_int(k, -1);
    EXPECT_EQ(constants_table[k].type, T_FLOAT);
    memset(&constants_table[k], 0, sizeof(ValueDescriptor));
    lstcx--;
}

TEST_F(ValueOpsTest, DemotingASharedBlockLeavesTheOtherOwnerAlone) {
    std::vector<double> xs(10000, 2.0);
    ValueDescriptor big = floats(xs);
    i64 a = global(big);
    free_value(&big);
    i64 b = alloc_table_entry('V', -1);
    ASSERT_EQ(assign_to_slot(b, &value_slot_table[a]), 0);
    ASSERT_EQ(value_slot_table[a].data, value_slot_table[b].data);   // shared large block
    ASSERT_EQ(demote_float_to_int(-1, b), 0);
    EXPECT_EQ(value_slot_table[b].type, T_INT);
    EXPECT_EQ(value_slot_table[a].type, T_FLOAT);
    EXPECT_EQ(((double *)value_slot_table[a].data)[9999], 2.0);
    EXPECT_NE(value_slot_table[a].data, value_slot_table[b].data);
}

TEST_F(ValueOpsTest, SmallValuesAreCopiedOnAssignment) {
    i64 a = global(ints({1, 2, 3}));
    i64 b = alloc_table_entry('V', -1);
    ASSERT_EQ(assign_to_slot(b, &value_slot_table[a]), 0);
    EXPECT_NE(value_slot_table[a].data, value_slot_table[b].data);
    ValueDescriptor seven = ints({7});
    ASSERT_EQ(assign_to_slot(a, &seven), 0);
    EXPECT_EQ(int_at(b, 2), 3);
    EXPECT_EQ(value_slot_table[a].data, (void *)&value_slot_table[a].dim0);
    EXPECT_EQ(assign_to_slot(b, &value_slot_table[alloc_table_entry('V', -1)]), 4);
}

TEST_F(ValueOpsTest, ListItemsSurviveCompaction) {
    i64 l = global(list({ints({1, 2, 3}), chars("hello"), list({ints({9, 8})})}));
    // garbage below the list, then compaction moves everything up
    for (int k = 0; k < 50; k++) {
        i64 g = global(ints({k, k, k, k}));
        ValueDescriptor one = ints({0});
        assign_to_slot(g, &one);
    }
    compact_heap();
    i64 copy = alloc_table_entry('V', -1);
    ASSERT_EQ(assign_to_slot(copy, &value_slot_table[l]), 0);
    const ValueDescriptor *items = (const ValueDescriptor *)value_slot_table[copy].data;
    EXPECT_EQ(((const i64 *)items[0].data)[2], 3);
    EXPECT_EQ(std::string((const char *)items[1].data, 5), "hello");
    const ValueDescriptor *inner = (const ValueDescriptor *)items[2].data;
    EXPECT_EQ(((const i64 *)inner[0].data)[1], 8);
    EXPECT_TRUE(values_match(&value_slot_table[l], &value_slot_table[copy]));
}

TEST_F(ValueOpsTest, MatchIsExactAndDeep) {
    ValueDescriptor a = floats({1, std::nan("")});
    EXPECT_FALSE(values_match(&a, &a));
    ValueDescriptor x = list({ints({1, 2}), chars("ab")});
    ValueDescriptor y = list({ints({1, 2}), chars("ab")});
    ValueDescriptor z = list({ints({1, 2}), chars("ac")});
    EXPECT_TRUE(values_match(&x, &y));
    EXPECT_FALSE(values_match(&x, &z));
    ValueDescriptor i1 = ints({1});
    ValueDescriptor f1 = floats({1.0});
    EXPECT_FALSE(values_match(&i1, &f1));
    ValueDescriptor m1 = ints({1, 2, 3, 4}), m2 = ints({1, 2, 3, 4});
    m1.rank = 2; m1.dim0 = 2; m1.dim1 = 2;
    EXPECT_FALSE(values_match(&m1, &m2));
    ValueDescriptor e;
    memset(&e, 0, sizeof e);
    e.type = T_ENUM;
    e.rank = 1;
    EXPECT_TRUE(values_match(&e, &e));   // empty enumerations of one domain
    ValueDescriptor e2 = e;
    e2.spare = 5;                        // another domain name
    EXPECT_FALSE(values_match(&e, &e2));
    EXPECT_TRUE(floats_equal_tol(1, 1 + 1e-14));
    EXPECT_FALSE(floats_equal_tol(0, 1e-14));
}

TEST_F(ValueOpsTest, TypeLettersRoundTrip) {
    const char *letters = "BIECSLMDZUVT";
    i64 types[] = {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12};
    for (int k = 0; k < 12; k++) {
        EXPECT_EQ(type_letter(types[k]), letters[k]);
        EXPECT_EQ(type_from_letter(letters[k]), types[k]);
    }
    EXPECT_EQ(type_letter(4), 'Q');
    EXPECT_EQ(type_letter(91), 'Q');
    EXPECT_EQ(type_from_letter('Q'), -1);
    EXPECT_EQ(type_from_letter('x'), -1);
}

TEST_F(ValueOpsTest, FetchElementAndNulls) {
    ValueDescriptor r;
    ValueDescriptor d = vec(T_DATE, 2);
    EXPECT_EQ(fetch_element(&r, &d, 0, 0), 1);
    ValueDescriptor i = ints({5, 6});
    ASSERT_EQ(fetch_element(&r, &i, 1, 0), 0);
    EXPECT_EQ(*(i64 *)value_data(&r), 6);
    EXPECT_EQ(fetch_element(&r, &i, 2, 0), 25);
}

TEST_F(ValueOpsTest, ShapePoolReportsFull) {
    i64 saved = nxtglx;
    nxtglx = SHAPE_POOL_CAP - 3;
    i64 words[4] = {1, 2, 3, 4}, start;
    EXPECT_EQ(shape_pool_append(words, 4, &start), 9);
    EXPECT_EQ(nxtglx, SHAPE_POOL_CAP - 3);
    nxtglx = saved;
}

// Copies of a rank-3 value share its dimension list: a loop over such
// values leaves the pool as it was. A list given back with the pool above
// it is stored afresh, not found again at its old place.
TEST_F(ValueOpsTest, DimensionListsAreStoredOnce) {
    ValueDescriptor d = vec(T_INT, 24);
    for (i64 i = 0; i < 24; i++) ((i64 *)d.data)[i] = i;
    i64 t = global(d);
    i64 dims[2] = {3, 4}, first, again;
    ASSERT_EQ(shape_pool_append(dims, 2, &first), 0);
    value_slot_table[t].rank = 3;
    value_slot_table[t].dim0 = 2;
    value_slot_table[t].dim1 = first;
    i64 used = nxtglx;
    i64 u = alloc_table_entry('V', -1);
    for (int k = 0; k < 1000; k++) ASSERT_EQ(assign_to_slot(u, &value_slot_table[t]), 0);
    ValueDescriptor copy;
    ASSERT_EQ(copy_value_checked(&copy, &value_slot_table[t], 0), 0);
    EXPECT_EQ(nxtglx, used);
    EXPECT_EQ(value_slot_table[u].dim1, first);
    EXPECT_EQ(value_dimension(&copy, 2), 4);

    shape_pool_truncate(first - 1);
    i64 other[3] = {7, 7, 7}, at;
    ASSERT_EQ(shape_pool_append(other, 3, &at), 0);
    EXPECT_EQ(at, first);
    ASSERT_EQ(shape_pool_append(dims, 2, &again), 0);
    EXPECT_EQ(again, first + 4);
    EXPECT_EQ(shape_pool[again + 1], 4);
}

// ---- Operand binding ---------------------------------------------------------------

TEST_F(ValueOpsTest, ViewsMarkSingleItemsAndDimensions) {
    i64 one = global(ints({7}));
    i64 empty = global(vec(T_INT, 0));
    Operand x, y;
    ASSERT_EQ(read_operand(&x, -1, one), 0);
    ASSERT_EQ(read_operand(&y, -1, empty), 0);
    EXPECT_TRUE(x.single);
    EXPECT_EQ(x.ints()[0], 7);
    EXPECT_FALSE(y.single);
    EXPECT_EQ(y.count, 0);
    EXPECT_EQ(y.data, nullptr);

    ValueDescriptor cube = ints(std::vector<i64>(24, 1));
    i64 rest[2] = {3, 4}, start;
    ASSERT_EQ(shape_pool_append(rest, 2, &start), 0);
    cube.rank = 3; cube.dim0 = 2; cube.dim1 = start;
    i64 c = global(cube);
    Operand z;
    ASSERT_EQ(read_operand(&z, -1, c), 0);
    EXPECT_EQ(z.dim(0), 2);
    EXPECT_EQ(z.dim(2), 4);
    Operand undefined;
    value_slot_table[FIRST_GLOBAL_SLOT + 900].rank = -1;
    EXPECT_EQ(read_operand(&undefined, -1, FIRST_GLOBAL_SLOT + 900), 4);
}

TEST_F(ValueOpsTest, CompactionRefreshesLiveViewsOfEveryType) {
    // garbage above, then a date vector and a datetime vector below it
    i64 g = global(ints({1, 2, 3, 4, 5, 6}));
    ValueDescriptor dates = vec(T_DATE, 3);
    ((i64 *)dates.data)[2] = 20240517;
    i64 d = global(dates);
    ValueDescriptor stamps = vec(T_DATETIME, 2);
    ((double *)stamps.data)[1] = 12345.0;
    i64 t = global(stamps);
    ValueDescriptor none = ints({0});
    assign_to_slot(g, &none);
    Operand l, r;
    ASSERT_EQ(read_operand(&l, -1, d), 0);
    ASSERT_EQ(read_operand(&r, -1, t), 0);
    const void *old_left = l.data;
    compact_heap();
    ASSERT_NE(value_slot_table[d].data, old_left);   // the block moved
    EXPECT_EQ(l.ints(), (i64 *)value_slot_table[d].data);
    EXPECT_EQ(l.ints()[2], 20240517);
    EXPECT_EQ(r.floats(), (double *)value_slot_table[t].data);
    EXPECT_EQ(r.floats()[1], 12345.0);
}

TEST_F(ValueOpsTest, PairsKeepTheirFormAndRowCountWhenCopied) {
    ValueDescriptor cols = list({ints({1, 2, 3})});
    cols.spare = 3;                      // the row count
    ValueDescriptor names = ints({0});
    names.type = T_SYMBOL;
    ValueDescriptor t = vec(T_TABLE, 0);
    t.count = 2;
    ASSERT_EQ(alloc_descriptor_data(&t, 0), 0);
    ((ValueDescriptor *)t.data)[0] = names;
    fix_inline_pointer(&((ValueDescriptor *)t.data)[0]);
    ((ValueDescriptor *)t.data)[1] = cols;
    ValueDescriptor d = t;
    d.type = T_DICT;
    d.spare = 2;                         // form in word 6: keyed
    i64 a = global(t), b = global(d);
    const ValueDescriptor *copied = (const ValueDescriptor *)value_slot_table[a].data;
    EXPECT_EQ(copied[1].spare, 3);
    EXPECT_EQ(copied[1].count, 1);
    EXPECT_EQ(value_slot_table[b].spare, 2);
    EXPECT_TRUE(values_match(&value_slot_table[a], &t));
}
