// The row index and the key searches: slot counts, rows of every column
// kind, values that must be told apart or found alike, the errors of row
// lookups and the missing-key rule of every key type.
#include "interpreter_fixture.h"
#include "primitives/hash_index.h"
#include <cmath>

namespace {

class HashIndexTest : public InterpreterFixture {
protected:
    static ValueDescriptor typed(i64 type, std::vector<i64> xs) {
        ValueDescriptor d = ints(xs);
        d.type = type;
        return d;
    }
    static ValueDescriptor matrix(const char *text, i64 rows) {
        ValueDescriptor d = chars(text);
        d.rank = 2;
        d.dim1 = d.count / rows;
        d.dim0 = rows;
        return d;
    }
    static ValueDescriptor scalar(i64 type, i64 word) {
        ValueDescriptor d;
        memset(&d, 0, sizeof d);
        d.type = type;
        d.count = 1;
        d.dim0 = word;
        fix_inline_pointer(&d);
        return d;
    }
    static ValueDescriptor real(double x) {
        i64 w;
        memcpy(&w, &x, 8);
        return scalar(T_FLOAT, w);
    }
    static std::vector<i64> found(i64 *p, i64 n) { return std::vector<i64>(p, p + n); }
    // The row find_rows gives for one row value, or -1 when it finds none.
    static i64 row_of(const ValueDescriptor &cols, i64 rows, const ValueDescriptor &row) {
        i64 *out, count;
        int r = find_rows(&cols, rows, &row, &out, &count);
        if (r == VEK_VALUE_NOT_FOUND) return -1;
        EXPECT_EQ(r, 0);
        return r == 0 && count == 1 ? out[0] : -2;
    }
};

TEST_F(HashIndexTest, SlotCountsFollowThePrimesAndGoOnPastThem) {
    i64 s;
    ASSERT_EQ(hash_table_size(7, &s), 0);
    EXPECT_EQ(s, 34);
    ASSERT_EQ(hash_table_size(6, &s), 0);
    EXPECT_EQ(s, 14);
    ASSERT_EQ(hash_table_size(0, &s), 0);
    EXPECT_EQ(s, 14);
    ASSERT_EQ(hash_table_size(5614656, &s), 0);
    EXPECT_EQ(s, 2 * 5614657);
    // past the last listed prime: twice the first prime above the count
    ASSERT_EQ(hash_table_size(5614657, &s), 0);
    EXPECT_EQ(s, 2 * 5614673);
    ASSERT_EQ(hash_table_size(100000000, &s), 0);
    EXPECT_EQ(s, 2 * 100000007);
}

TEST_F(HashIndexTest, EveryRowOfEveryColumnKindIsFound) {
    // integer, float, text, symbol, char, char matrix, date and datetime
    // columns; rows 1 and 4 are equal, row 2 differs from row 1 in one
    // column only
    ValueDescriptor cols = list({ints({12, 21, 12, -5, 12}),
                                 floats({0.5, 0.5, 1e300, -0.0, 0.5}),
                                 list({chars("ab"), chars("ab"), chars(""), chars("x"), chars("ab")}),
                                 typed(T_SYMBOL, {3, 3, 4, 5, 3}),
                                 chars("aabca"),
                                 matrix("xyxyzzwwxy", 5),
                                 typed(T_DATE, {20230102, 20230102, 19000101, 21001231, 20230102}),
                                 floats({1.5e12, 1.5e12, -1.0, 0.0, 1.5e12})});
    ((ValueDescriptor *)cols.data)[7].type = T_DATETIME;
    HashIndex h;
    ASSERT_EQ(hash_index_build(&h, &cols, 5), 0);
    EXPECT_EQ(h.slot_count, 14);
    for (i64 r = 0; r < 5; r++) EXPECT_EQ(hash_find_row(&h, &cols, r), r == 4 ? 0 : r) << r;
    // the same rows given as values
    ValueDescriptor row = list({scalar(T_INT, 21), real(0.5), chars("ab"), scalar(T_SYMBOL, 3), scalar(T_CHAR, 'a'),
                                chars("xy"), scalar(T_DATE, 20230102), real(1.5e12)});
    ((ValueDescriptor *)row.data)[7].type = T_DATETIME;
    EXPECT_EQ(row_of(cols, 5, row), 1);
    // 12 and 21 print with the same characters and are still told apart
    ((ValueDescriptor *)row.data)[0].dim0 = 12;
    EXPECT_EQ(row_of(cols, 5, row), 0);
    ((ValueDescriptor *)row.data)[0].dim0 = -21;
    EXPECT_EQ(row_of(cols, 5, row), -1);
    ((ValueDescriptor *)row.data)[0].dim0 = 21;
    ((ValueDescriptor *)row.data)[4].dim0 = 'b';
    EXPECT_EQ(row_of(cols, 5, row), -1);
    // a text cell must be text, an element cell a single element
    ((ValueDescriptor *)row.data)[4].dim0 = 'a';
    ((ValueDescriptor *)row.data)[2] = ints({1});
    EXPECT_EQ(row_of(cols, 5, row), -1);
}

TEST_F(HashIndexTest, ZerosMatchAcrossSignsAndNaNMatchesNothing) {
    ValueDescriptor cols = list({floats({-0.0, NAN, 1.0, 1.0 + 2.2e-16})});
    HashIndex h;
    ASSERT_EQ(hash_index_build(&h, &cols, 4), 0);
    ValueDescriptor zero = list({real(0.0)}), nan = list({real(NAN)});
    EXPECT_EQ(row_of(cols, 4, zero), 0);
    EXPECT_EQ(row_of(cols, 4, nan), -1);
    EXPECT_EQ(hash_find_row(&h, &cols, 1), -1);
    // values that print alike at any precision short of 17 digits
    ValueDescriptor near = list({real(1.0 + 2.2e-16)});
    EXPECT_EQ(row_of(cols, 4, near), 3);
    // cells must be of the column's own type
    ValueDescriptor one = list({scalar(T_INT, 1)});
    EXPECT_EQ(row_of(cols, 4, one), -1);
}

TEST_F(HashIndexTest, ManyEqualAndNearlyEqualRowsKeepTheirOwnPlaces) {
    i64 n = 5000;
    ValueDescriptor a = vec(T_INT, n), b = vec(T_INT, n);
    for (i64 r = 0; r < n; r++) {
        ((i64 *)a.data)[r] = r % 7;       // few values: long runs of equal cells
        ((i64 *)b.data)[r] = r / 7;
    }
    ValueDescriptor cols = list({a, b});
    HashIndex h;
    ASSERT_EQ(hash_index_build(&h, &cols, n), 0);
    for (i64 r = 0; r < n; r++) ASSERT_EQ(hash_find_row(&h, &cols, r), r);
    // duplicated rows give the first of them
    ValueDescriptor twice = list({ints({4, 4, 9}), ints({1, 1, 2})});
    ASSERT_EQ(hash_index_build(&h, &twice, 3), 0);
    EXPECT_EQ(hash_find_row(&h, &twice, 1), 0);
}

TEST_F(HashIndexTest, OneItemColumnsStandForEveryRow) {
    ValueDescriptor cols = list({ints({1, 2, 3}), ints({9})});
    HashIndex h;
    ASSERT_EQ(hash_index_build(&h, &cols, 3), 0);
    ValueDescriptor row = list({scalar(T_INT, 3), scalar(T_INT, 9)});
    EXPECT_EQ(row_of(cols, 3, row), 2);
    EXPECT_TRUE(cells_equal(&cols, 2, &cols, 2));
}

TEST_F(HashIndexTest, FindRowsChecksEveryRowAndReportsWhatIsMissing) {
    ValueDescriptor cols = list({ints({1, 2, 3}), list({chars("a"), chars("b"), chars("c")}), floats({1, 2, 3})});
    i64 *out, count;
    ValueDescriptor one = list({scalar(T_INT, 2), chars("b"), real(2)});
    ASSERT_EQ(find_rows(&cols, 3, &one, &out, &count), 0);
    EXPECT_EQ(found(out, count), std::vector<i64>({1}));
    ValueDescriptor two = list({list({scalar(T_INT, 3), chars("c"), real(3)}), one});
    ASSERT_EQ(find_rows(&cols, 3, &two, &out, &count), 0);
    EXPECT_EQ(found(out, count), std::vector<i64>({2, 1}));
    // a later row with too few cells is refused, not read past its end
    ValueDescriptor ragged = list({one, list({scalar(T_INT, 3), chars("c")})});
    EXPECT_EQ(find_rows(&cols, 3, &ragged, &out, &count), VEK_LENGTH);
    ValueDescriptor short_row = list({scalar(T_INT, 2), chars("b")});
    EXPECT_EQ(find_rows(&cols, 3, &short_row, &out, &count), VEK_LENGTH);
    ValueDescriptor absent = list({scalar(T_INT, 2), chars("x"), real(2)});
    EXPECT_EQ(find_rows(&cols, 3, &absent, &out, &count), VEK_VALUE_NOT_FOUND);
    ValueDescriptor among = list({one, absent});
    EXPECT_EQ(find_rows(&cols, 3, &among, &out, &count), VEK_KEY_NOT_FOUND);
    // one column: each item of a list of cells is a row
    ValueDescriptor single = list({list({chars("b"), chars("a"), chars("b")})});
    ValueDescriptor texts = list({chars("b"), chars("a")});
    ASSERT_EQ(find_rows(&single, 3, &texts, &out, &count), 0);
    EXPECT_EQ(found(out, count), std::vector<i64>({0, 1}));
    // keys given plainly are looked up in the key column of their type
    ValueDescriptor keys = ints({3, 1});
    ASSERT_EQ(find_rows(&cols, 3, &keys, &out, &count), 0);
    EXPECT_EQ(found(out, count), std::vector<i64>({2, 0}));
    ValueDescriptor missing = ints({4});
    EXPECT_EQ(find_rows(&cols, 3, &missing, &out, &count), VEK_INDEX);
}

TEST_F(HashIndexTest, MissingKeysFollowTheCallersFlagForEveryType) {
    struct Case { ValueDescriptor keys, lookup; };
    std::vector<Case> cases = {
        {ints({5, -7, 5, 9}), ints({9, -7, 4})},
        {floats({0.5, -0.0, 1e300}), floats({1e300, 0.0, 0.25})},
        {chars("ab\nb"), chars("\naz")},
        {typed(T_SYMBOL, {2, 8}), typed(T_SYMBOL, {8, 3, 2})},
        {typed(T_TIME, {1000, 2000}), typed(T_TIME, {2000, 1000, 5})},
    };
    ((char *)cases[2].keys.data)[1] = 0;       // code 0 is a key like any other
    ((char *)cases[2].lookup.data)[1] = 0;
    const std::vector<i64> expected[] = {{3, 1, 4}, {2, 1, 3}, {2, 1, 4}, {1, 2, 0}, {1, 0, 2}};
    for (size_t k = 0; k < cases.size(); k++) {
        std::vector<i64> out(cases[k].lookup.count);
        ASSERT_EQ(key_positions(&cases[k].keys, &cases[k].lookup, 0, false, out.data()), 0) << k;
        EXPECT_EQ(out, expected[k]) << k;
        ASSERT_EQ(key_positions(&cases[k].keys, &cases[k].lookup, 1, false, out.data()), 0) << k;
        EXPECT_EQ(out[0], expected[k][0] + 1) << k;
        EXPECT_EQ(key_positions(&cases[k].keys, &cases[k].lookup, 0, true, out.data()), VEK_INDEX) << k;
    }
    std::vector<i64> out(3);
    ValueDescriptor a = ints({1}), b = floats({1});
    EXPECT_EQ(key_positions(&a, &b, 0, false, out.data()), VEK_INDEX);
}

TEST_F(HashIndexTest, KeyColumnsAreTriedByTheLookupsType) {
    ValueDescriptor keys = list({typed(T_SYMBOL, {4, 5}), ints({10, 20})});
    i64 *out, count;
    ValueDescriptor lookup = ints({20, 10});
    ASSERT_EQ(pair_find_rows(&keys, &lookup, 0, true, &out, &count), 0);
    EXPECT_EQ(found(out, count), std::vector<i64>({1, 0}));
    ValueDescriptor wrapped = list({typed(T_SYMBOL, {5})});
    ASSERT_EQ(pair_find_rows(&keys, &wrapped, 1, true, &out, &count), 0);
    EXPECT_EQ(found(out, count), std::vector<i64>({2}));
    ValueDescriptor texts = chars("a");
    EXPECT_EQ(pair_find_rows(&keys, &texts, 0, true, &out, &count), VEK_INDEX);
    ValueDescriptor nested = list({ints({1}), ints({2})});
    EXPECT_EQ(pair_find_rows(&keys, &nested, 0, true, &out, &count), VEK_DOMAIN);
    ValueDescriptor none = ints({});
    ASSERT_EQ(pair_find_rows(&keys, &none, 0, true, &out, &count), 0);
    EXPECT_EQ(count, 0);
    ValueDescriptor absent = ints({30});
    ASSERT_EQ(pair_find_rows(&keys, &absent, 0, false, &out, &count), 0);
    EXPECT_EQ(found(out, count), std::vector<i64>({2}));
    EXPECT_EQ(pair_find_rows_all(&keys, &absent, 0, &out, &count), VEK_INDEX);
    ValueDescriptor no_keys = ints({});
    EXPECT_EQ(pair_find_rows(&no_keys, &absent, 0, false, &out, &count), VEK_INDEX);
}

TEST_F(HashIndexTest, FindKey) {
    ValueDescriptor domain = typed(T_SYMBOL, {7, 3, 9});
    EXPECT_EQ(find_key(&domain, 9), 2);
    EXPECT_EQ(find_key(&domain, 4), -1);
}

}  // namespace
