// The structural primitives on values no primitive makes yet, built here
// straight from descriptors: lists of rank 2, dictionaries, tables and
// keyed tables.
#include "shaped_fixture.h"

// A table of `rows` rows whose columns have the given types, straight from
// descriptors (names as given, so repeats are possible).
static int make_table_value(i64 slot, i64 type, i64 rows, i64 columns, const i64 *names, const i64 *column_types) {
    if (rows < 0 || columns < 0) return (int)(error_number = 1);
    ValueDescriptor t;
    memset(&t, 0, sizeof t);
    t.type = type;
    t.rank = 1;
    t.count = 2;
    int heap = is_heap_slot(slot);
    if (alloc_descriptor_data(&t, heap)) return error_number;
    ValueDescriptor *half = (ValueDescriptor *)t.data;
    half[0].type = T_SYMBOL;
    half[0].rank = 1;
    half[0].count = half[0].dim0 = columns;
    if (alloc_descriptor_data(&half[0], heap)) return error_number;
    for (i64 k = 0; k < columns; k++) ((i64 *)value_data(&half[0]))[k] = names ? names[k] : 0;
    half[1].type = T_LIST;
    half[1].rank = 1;
    half[1].count = columns;
    if (alloc_descriptor_data(&half[1], heap)) return error_number;
    half[1].dim0 = columns;
    half[1].spare = rows;    // the columns' list carries the row count
    for (i64 k = 0; k < columns; k++) {
        ValueDescriptor *col = &((ValueDescriptor *)half[1].data)[k];
        col->type = column_types[k];
        col->rank = 1;
        col->count = col->dim0 = rows;
        if (data_bytes(col->type, rows) < 0) return (int)(error_number = 6);
        if (alloc_descriptor_data(col, heap)) return error_number;
    }
    ValueDescriptor old = value_slot_table[slot];
    value_slot_table[slot] = t;
    free_value(&old);
    return 0;
}


class ShapeOfValues : public ShapedFixture {
protected:
    static ValueDescriptor *var(const char *name) {
        return &value_slot_table[global_name_table[lookup_name(name, 'G')].index];
    }
    // A table of `rows` rows and `columns` integer columns into variable name.
    static void make_table(const char *name, i64 rows, i64 columns) {
        run((std::string(name) + "<-0").c_str());
        std::vector<i64> names(columns, 0), types(columns, T_INT);
        i64 slot = global_name_table[lookup_name(name, 'G')].index;
        ASSERT_EQ(make_table_value(slot, T_TABLE, rows, columns, names.data(), types.data()), 0);
    }
    // A pair value (dictionary form 1, keyed table form 2) of copies of the
    // two halves into variable name.
    static void make_pair(const char *name, i64 form, const ValueDescriptor &first, const ValueDescriptor &second) {
        run((std::string(name) + "<-0").c_str());
        ValueDescriptor d;
        memset(&d, 0, sizeof d);
        d.type = T_DICT;
        d.rank = 1;
        d.count = 2;
        d.spare = form;
        ASSERT_EQ(alloc_descriptor_data(&d, 1), 0);
        ValueDescriptor *half = (ValueDescriptor *)d.data;
        ASSERT_EQ(copy_value_checked(&half[0], &first, 1), 0);
        ASSERT_EQ(copy_value_checked(&half[1], &second, 1), 0);
        ValueDescriptor *slot = var(name);
        free_value(slot);
        *slot = d;
    }
};

// A general list of rank 2 is reversed item by item along either axis.
TEST_F(ShapeOfValues, ReverseOfAListMatrix) {
    run("l<-(1;2;3 4;5)");
    shape_as("l", {2, 2});
    EXPECT_EQ(run(",.$l"), "2 1 5 3 4\n");
    EXPECT_EQ(run(",.$.l"), "3 4 5 1 2\n");
}

TEST_F(ShapeOfValues, KeyedValuesAnswerTheirOwnCounts) {
    make_table("tb", 5, 3);
    EXPECT_EQ(run("#tb"), "5\n");
    EXPECT_EQ(run("^tb"), "3\n");
    EXPECT_EQ(run(":tb"), "92\n");

    make_pair("d", 1, ints({10, 20, 30}), ints({1, 2, 3}));
    EXPECT_EQ(run("#d"), "3\n");
    EXPECT_EQ(run("^d"), "3\n");
    EXPECT_EQ(run(":d"), "91\n");

    make_table("k", 4, 1);
    make_table("v", 4, 2);
    make_pair("kt", 2, *var("k"), *var("v"));
    EXPECT_EQ(run("#kt"), "4\n");
    EXPECT_EQ(run("^kt"), "3\n");
    var("kt")->spare = 3;
    EXPECT_EQ(run("^kt"), "Error: domain error\n      ^kt\n      ^\n");
}

// Dictionaries and tables have no order of items to reverse, no first
// item, and are not leaves of a raze.
TEST_F(ShapeOfValues, KeyedValuesRefusedWhereItemsAreTaken) {
    make_pair("d", 1, ints({10, 20, 30}), ints({1, 2, 3}));
    make_table("tb", 2, 2);
    EXPECT_EQ(run("$d"), "Error: domain error\n      $d\n      ^\n");
    EXPECT_EQ(run("$.tb"), "Error: domain error\n      $.tb\n      ^\n");
    EXPECT_EQ(run("^.d"), "Error: domain error\n      ^.d\n      ^\n");
    run("l<-(1 2;d)");
    EXPECT_EQ(run(",.l"), "Error: domain error\n      ,.l\n      ^\n");
    run("l<-(1 2;(3;tb))");
    EXPECT_EQ(run(",.l"), "Error: domain error\n      ,.l\n      ^\n");
    // values that are not a general list: no dictionary to read
    EXPECT_EQ(run("d[1]"), "Error: domain error\n      d[1]\n       ^\n");
    EXPECT_EQ(run("d[1]<-0"), "Error: domain error\n      d[1]<-0\n          ^\n");
    EXPECT_EQ(run("d[1;1]<-0"), "Error: rank error\n      d[1;1]<-0\n            ^\n");
}
