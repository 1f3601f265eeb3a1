// Display, value operations and the each operand: complex columns whose
// real part starts with a zero, lists sent to the full output slot, long
// table cells, tolerant equality of infinities and the left operand of each.
#include "interpreter_fixture.h"
#include <cstring>
#include <string>
#include <vector>
#include "core/value.h"
#include "core/tables.h"
#include "core/symbols.h"
#include "core/valueops.h"
#include "core/display.h"
#include "core/dispatch.h"

class ValuesDisplayTest : public InterpreterFixture {
protected:
    static ValueDescriptor complexes(std::vector<double> parts) {
        ValueDescriptor d = vec(T_COMPLEX, (i64)parts.size() / 2);
        for (size_t i = 0; i < parts.size(); i++) ((double *)value_data(&d))[i] = parts[i];
        return d;
    }
    static std::string show(const ValueDescriptor &d, i64 slot = 0) {
        captured_output().clear();
        EXPECT_EQ(display_descriptor(&d, 0, slot), 0);
        return captured_output();
    }
};

TEST_F(ValuesDisplayTest, ComplexColumnsAlignWhateverTheRealPart) {
    // 0j1 over 10j2: the 'j' of both rows in one column
    ValueDescriptor m = complexes({0, 1, 10, 2});
    m.rank = 2;
    m.dim0 = 2;
    m.dim1 = 1;
    EXPECT_EQ(show(m), " 0j1\n10j2\n");
    ValueDescriptor n = complexes({0.5, 1, 1, 2, 12.5, 3, 0, 0});
    n.rank = 2;
    n.dim0 = 2;
    n.dim1 = 2;
    EXPECT_EQ(show(n), " 0.5j1 1j2\n12.5j3 0  \n");
}

TEST_F(ValuesDisplayTest, FullOutputSlotShowsListItemsInFull) {
    std::vector<i64> xs(101, 7);
    ValueDescriptor l = list({ints(xs), ints({1})});
    std::string cut = show(l);
    EXPECT_NE(cut.find("<1 more>"), std::string::npos);
    std::string full = show(l, SLOT_OUT);
    EXPECT_EQ(full.find("more>"), std::string::npos);
    size_t sevens = 0;
    for (char c : full) sevens += c == '7';
    EXPECT_EQ(sevens, 101u);
}

TEST_F(ValuesDisplayTest, LongTableCellsKeepTheHeaderAligned) {
    std::string longtext(1500, 'x');
    ValueDescriptor names = vec(T_SYMBOL, 2);
    ((i64 *)value_data(&names))[0] = intern_symbol("a");
    ((i64 *)value_data(&names))[1] = intern_symbol("b");
    ValueDescriptor cols = list({list({chars(longtext.c_str())}), ints({5})});
    cols.spare = 1;
    ValueDescriptor t;
    memset(&t, 0, sizeof t);
    t.type = T_TABLE;
    t.rank = 1;
    t.count = 2;
    ASSERT_EQ(alloc_descriptor_data(&t, 0), 0);
    ((ValueDescriptor *)t.data)[0] = names;
    ((ValueDescriptor *)t.data)[1] = cols;
    fix_inline_pointer(&((ValueDescriptor *)t.data)[0]);
    std::string out = show(t);
    size_t header_end = out.find('\n');
    ASSERT_NE(header_end, std::string::npos);
    // "a" padded to the cell width, one blank, "b"
    EXPECT_EQ(header_end, 1500u + 2u);
    EXPECT_EQ(out.substr(1500, 2), " b");
}

TEST_F(ValuesDisplayTest, TolerantEqualityOfInfinities) {
    EXPECT_TRUE(floats_equal_tol(float_infinity, float_infinity));
    EXPECT_TRUE(floats_equal_tol(-float_infinity, -float_infinity));
    EXPECT_FALSE(floats_equal_tol(float_infinity, -float_infinity));
    EXPECT_FALSE(floats_equal_tol(float_infinity, 1e308));
    EXPECT_FALSE(floats_equal_tol(float_nan, float_nan));
    EXPECT_TRUE(floats_equal_tol(1.0, 1.0 + 1e-14));
    EXPECT_FALSE(floats_equal_tol(0.0, 1e-14));
}

// What the walk handed to the each operator.
static i64 each_seen[4];
static char each_kind;
static i64 each_code, each_left_count, each_left_last;
static int record_each(char kind, i64 code, i64 result, i64 lc, i64 lv, i64 rc, i64 rv) {
    each_kind = kind;
    each_code = code;
    each_seen[0] = lc; each_seen[1] = lv; each_seen[2] = rc; each_seen[3] = rv;
    // the line's constants are gone once it ends: read the left one now
    ValueDescriptor *l = operand_ref(lc, lv);
    each_left_count = l && l->rank >= 0 ? l->count : -1;
    each_left_last = each_left_count > 0 ? ((i64 *)value_data(l))[each_left_count - 1] : -1;
    ValueDescriptor r;
    memset(&r, 0, sizeof r);
    r.type = T_INT;
    r.count = 1;
    r.dim0 = 9;
    fix_inline_pointer(&r);
    return assign_to_slot(result, &r);
}

TEST_F(ValuesDisplayTest, EachReceivesTheLeftOperandWrittenBeforeIt) {
    EachHandler saved = each_handler();
    register_each(record_each);
    for (i64 &w : each_seen) w = -7;
    std::string out = run("1 2 \"+ (3;4)");
    EXPECT_EQ(out, "9\n");
    EXPECT_EQ(each_kind, 'P');
    EXPECT_EQ(each_code, 45);
    EXPECT_EQ(each_left_count, 2);
    EXPECT_EQ(each_left_last, 2);
    // monadic each of a list: no left operand at all
    for (i64 &w : each_seen) w = -7;
    EXPECT_EQ(run("\"-(3;4)"), "9\n");
    EXPECT_EQ(each_seen[0], -1);
    EXPECT_EQ(each_code, 46);
    register_each(saved);
}

