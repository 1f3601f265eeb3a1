// The display of values built directly as descriptors: arrays with aligned
// columns, row and plane limits, empty arrays, dictionaries, tables, keyed
// tables, enumerations, deep nesting and the output slots.
#include "interpreter_fixture.h"
#include <algorithm>
#include <clocale>
#include <cstring>
#include <string>
#include <vector>
#include "core/value.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/symbols.h"
#include "core/valueops.h"
#include "core/display.h"
#include "core/output.h"

#define shown captured_output()

class DisplayTest : public InterpreterFixture {
protected:
    static ValueDescriptor syms(std::vector<const char *> names) {
        ValueDescriptor d = vec(T_SYMBOL, (i64)names.size());
        for (size_t i = 0; i < names.size(); i++) ((i64 *)value_data(&d))[i] = intern_symbol(names[i]);
        return d;
    }
    static ValueDescriptor pair(i64 type, i64 form, ValueDescriptor a, ValueDescriptor b) {
        ValueDescriptor d;
        memset(&d, 0, sizeof d);
        d.type = type;
        d.rank = 1;
        d.count = 2;
        d.spare = form;
        EXPECT_EQ(alloc_descriptor_data(&d, 0), 0);
        ((ValueDescriptor *)d.data)[0] = a;
        ((ValueDescriptor *)d.data)[1] = b;
        fix_inline_pointer(&((ValueDescriptor *)d.data)[0]);
        fix_inline_pointer(&((ValueDescriptor *)d.data)[1]);
        return d;
    }
    static ValueDescriptor table(ValueDescriptor names, std::vector<ValueDescriptor> cols) {
        ValueDescriptor c = list(cols);
        c.spare = cols.empty() ? 0 : cols[0].count;   // the row count
        return pair(T_TABLE, 0, names, c);
    }
    static ValueDescriptor matrix(ValueDescriptor d, i64 rows, i64 cols) {
        d.rank = 2;
        d.dim0 = rows;
        d.dim1 = cols;
        return d;
    }
    static std::string show(const ValueDescriptor &d) {
        shown.clear();
        EXPECT_EQ(display_descriptor(&d, 0, 0), 0);
        return shown;
    }
};

TEST_F(DisplayTest, NumberTexts) {
    char b[ELEMENT_TEXT_MAX];
    format_float(1e-05, b);  EXPECT_STREQ(b, "1e_5");
    format_float(1e20, b);   EXPECT_STREQ(b, "1e20");
    format_float(-2.5, b);   EXPECT_STREQ(b, "_2.5");
    format_float(-1e-300, b); EXPECT_STREQ(b, "_1e_300");
    format_float(float_nan, b); EXPECT_STREQ(b, "0nf");
    format_float(-float_infinity, b); EXPECT_STREQ(b, "_0wf");
    format_integer(INT64_MIN, b); EXPECT_STREQ(b, "0n");
    format_integer(INT64_MAX, b); EXPECT_STREQ(b, "0w");
    format_integer(-INT64_MAX, b); EXPECT_STREQ(b, "_0w");
    format_integer(-3, b); EXPECT_STREQ(b, "_3");
    // a locale with a decimal comma changes nothing
    if (setlocale(LC_NUMERIC, "de_DE.UTF-8") || setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        format_float(2.5, b);
        EXPECT_STREQ(b, "2.5");
        setlocale(LC_NUMERIC, "C");
    }
    double z[2] = {1.5, -2};
    format_complex(z, b); EXPECT_STREQ(b, "1.5j_2");
    double n[2] = {float_nan, 1};
    format_complex(n, b); EXPECT_STREQ(b, "0nj");
}

TEST_F(DisplayTest, FloatColumnsAlignOnThePoint) {
    EXPECT_EQ(show(matrix(floats({1.5, 10.25, 100}), 3, 1)), "  1.5 \n 10.25\n100   \n");
    EXPECT_EQ(show(matrix(ints({1, 100, 20, 3}), 2, 2)), " 1 100\n20   3\n");
    EXPECT_EQ(show(matrix(syms({"a", "bcd", "ef", "g"}), 2, 2)), "`a  `bcd\n`ef `g  \n");
    EXPECT_EQ(show(matrix(chars("abcdef"), 2, 3)), "abc\ndef\n");
}

TEST_F(DisplayTest, RowLimitPlanesAndEmptyArrays) {
    std::vector<i64> xs(31);
    for (i64 i = 0; i < 31; i++) xs[i] = i;
    std::string out = show(matrix(ints(xs), 31, 1));
    EXPECT_NE(out.find("\n29\n... <1 more>, TRY []<-v to output all ...\n"), std::string::npos);
    EXPECT_EQ(out.find("30\n"), std::string::npos);

    ValueDescriptor cube = ints({1, 2, 3, 4, 5, 6, 7, 8});
    i64 rest[2] = {2, 2}, start;
    ASSERT_EQ(shape_pool_append(rest, 2, &start), 0);
    cube.rank = 3;
    cube.dim0 = 2;
    cube.dim1 = start;
    EXPECT_EQ(show(cube), "1 2\n3 4\n\n5 6\n7 8\n");

    ValueDescriptor e = vec(T_INT, 0);
    EXPECT_EQ(show(matrix(e, 3, 0)), "\n\n\n");
    EXPECT_EQ(show(matrix(e, 0, 3)), "\n");
    EXPECT_EQ(show(e), "\n");
}

TEST_F(DisplayTest, EmptyArrayWithHugeDimensionsDoesNotOverflow) {
    ValueDescriptor e = vec(T_INT, 0);
    i64 rest[3] = {INT64_MAX / 2, 4, 0}, start;
    ASSERT_EQ(shape_pool_append(rest, 3, &start), 0);
    e.rank = 4;
    e.dim0 = INT64_MAX / 2;
    e.dim1 = start;
    std::string out = show(e);
    EXPECT_GT(out.size(), 0u);
    EXPECT_EQ(out.find_first_not_of('\n'), std::string::npos);
}

TEST_F(DisplayTest, DictionaryTableAndKeyedTable) {
    ValueDescriptor dict = pair(T_DICT, 1, syms({"a", "bb"}), list({ints({1}), ints({2, 3})}));
    EXPECT_EQ(show(dict), "a | 1\nbb| 2 3\n");

    ValueDescriptor t = table(syms({"name", "qty"}), {list({chars("apple"), chars("fig")}), ints({3, 10})});
    EXPECT_EQ(show(t), "name  qty\n---------\napple 3  \nfig   10 \n");

    ValueDescriptor kt = pair(T_DICT, 2, table(syms({"k"}), {ints({1, 2})}),
                              table(syms({"v"}), {syms({"x", "yy"})}));
    EXPECT_EQ(show(kt), "k| v \n-|---\n1| x \n2| yy\n");

    ValueDescriptor bad = pair(T_DICT, 3, ints({1}), ints({2}));
    shown.clear();
    EXPECT_EQ(display_descriptor(&bad, 0, 0), 1);
}

TEST_F(DisplayTest, TablesStopAtThirtyRowsAndEmptyTablesShowTheirHeader) {
    std::vector<i64> xs(40, 7);
    std::string out = show(table(syms({"c"}), {ints(xs)}));
    EXPECT_NE(out.find("\n... <10 more>, TRY []<-v to output all ...\n"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2 + 30 + 1);
    EXPECT_EQ(show(table(syms({"ab", "c"}), {vec(T_INT, 0), vec(T_INT, 0)})), "ab c\n----\n");
}

TEST_F(DisplayTest, EnumerationShowsDomainItemsFoundByName) {
    run("colour<-`red`green`blue");
    ValueDescriptor e;
    memset(&e, 0, sizeof e);
    e.type = T_ENUM;
    e.rank = 1;
    e.count = e.dim0 = 3;
    ASSERT_EQ(alloc_descriptor_data(&e, 0), 0);
    i64 *w = (i64 *)e.data;
    w[0] = intern_symbol("colour");
    w[1] = 12345;                    // never read: the domain is found by its name
    w[2] = 2; w[3] = 0; w[4] = 9;    // 9 lies outside the domain
    EXPECT_EQ(show(e), "`colour:`blue `red 9\n");
    run("colour<-1");                // no longer a domain: positions show
    EXPECT_EQ(show(e), "`colour:2 0 9\n");
}

TEST_F(DisplayTest, NestedListsAndDeepNesting) {
    ValueDescriptor inner = list({ints({1, 2}), ints({3})});
    EXPECT_EQ(show(list({inner, ints({4})})), "<<1 2\n <3\n<4\n");

    // a list item never borrows the slot after the globals
    i64 probe = lstvx + 1;
    ValueDescriptor keep = ints({42, 43});
    value_slot_table[probe] = keep;
    show(list({ints({1}), ints({2, 3})}));
    EXPECT_EQ(value_slot_table[probe].count, 2);
    EXPECT_EQ(((i64 *)value_slot_table[probe].data)[1], 43);

    ValueDescriptor deep = ints({5, 6});
    for (int k = 0; k < 45; k++) deep = list({deep, ints({k})});
    std::string out = show(deep);
    EXPECT_NE(out.find("5 6"), std::string::npos);
    size_t longest_prefix = 0, at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        size_t blanks = out.find_first_not_of(' ', at) - at;
        if (blanks > longest_prefix) longest_prefix = blanks;
        at = end + 1;
    }
    EXPECT_LE(longest_prefix, (size_t)DISPLAY_PREFIX_MAX);

    ValueDescriptor deeper = ints({7});
    for (int k = 0; k < 3000; k++) deeper = list({deeper});
    out = show(deeper);
    EXPECT_NE(out.find("...\n"), std::string::npos);
    EXPECT_EQ(out.find('7'), std::string::npos);

    ValueDescriptor odd;
    memset(&odd, 0, sizeof odd);
    odd.type = 15;
    odd.rank = 1;
    odd.count = 3;
    EXPECT_EQ(show(odd), "\n");

    ValueDescriptor m = matrix(list({ints({1}), ints({2})}), 1, 2);
    EXPECT_EQ(show(m), "Debug[vpfn1: 193] error in typ6 output\n");
}

TEST_F(DisplayTest, NestedItemsBreakWithinTheirIndent) {
    std::vector<i64> xs(60);
    for (i64 i = 0; i < 60; i++) xs[i] = 1000 + i;
    std::string out = show(list({ints(xs), ints({1})}));
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        EXPECT_LT(end - at, (size_t)DISPLAY_LINE_WIDTH);
        at = end + 1;
    }
    EXPECT_EQ(out.substr(0, 6), "<1000 ");
    EXPECT_NE(out.find("\n       10"), std::string::npos);   // indent 1 + six blanks
    // two levels down the marker is "<<": the first line holds 21 items
    out = show(list({list({ints(xs), ints({1})})}));
    EXPECT_EQ(out.find('\n'), (size_t)106);
}

TEST_F(DisplayTest, OutputSlotGivesUpItsBlockButNotTheVariables) {
    i64 var = alloc_table_entry('V', -1);
    std::vector<i64> xs(10000, 3);
    ValueDescriptor big = ints(xs);
    ASSERT_EQ(assign_to_slot(var, &big), 0);
    free_value(&big);
    ASSERT_EQ(assign_to_slot(SLOT_OUT, &value_slot_table[var]), 0);
    EXPECT_EQ(value_slot_table[SLOT_OUT].data, value_slot_table[var].data);
    EXPECT_EQ(adjust_refcount(&value_slot_table[var], 0), 2);
    shown.clear();
    ASSERT_EQ(display_value(0, SLOT_OUT), 0);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '3'), 10000);
    EXPECT_EQ(value_slot_table[SLOT_OUT].rank, -1);
    EXPECT_EQ(adjust_refcount(&value_slot_table[var], 0), 1);
    EXPECT_EQ(((i64 *)value_slot_table[var].data)[9999], 3);
    // a second display of the emptied slot is a value error, not a double free
    EXPECT_EQ(display_value(0, SLOT_OUT), 4);
}

TEST_F(DisplayTest, OpenSlotLeavesTheLineOpen) {
    ValueDescriptor v = ints({1, 2});
    pending_newline = 0;
    shown.clear();
    ASSERT_EQ(display_descriptor(&v, 0, SLOT_OUT_OPEN), 0);
    EXPECT_EQ(shown, "1 2");
    EXPECT_EQ(pending_newline, 1);
    pending_newline = 0;
}

TEST_F(DisplayTest, LargePrecisionIsNeverCut) {
    ValueDescriptor pp = ints({400});
    pp.rank = 0;
    fix_inline_pointer(&pp);
    value_slot_table[PRINT_PRECISION_SLOT] = pp;
    fix_inline_pointer(&value_slot_table[PRINT_PRECISION_SLOT]);
    std::string out = show(floats({0.1, 1e-300}));
    EXPECT_NE(out.find("0.1000000000000000055511151231257827"), std::string::npos);
    EXPECT_EQ(out.back(), '\n');
}
