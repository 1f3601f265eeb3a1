// Membership, index-of, grade, distinct and group: the fast searches and
// sorts against plain loops on random inputs of many sizes and spans, and
// the cases transcripts cannot build (matrices, keys near the old table
// markers, the tolerant table).
#include "interpreter_fixture.h"
#include "primitives/search.h"
#include "primitives/hashing.h"
#include "core/dispatch.h"
#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace {

const i64 A = FIRST_TEMP_SLOT + 10, B = FIRST_TEMP_SLOT + 11, Z = FIRST_TEMP_SLOT + 12;
const double NaN = std::nan("");
const i64 SIZES[] = {0, 1, 2, 3, 5, 8, 31, 32, 33, 64, 65, 200, 1000, 3000, 20000};

class SearchTest : public InterpreterFixture {
protected:
    std::mt19937_64 rng{20240517};

    i64 below(i64 n) { return (i64)(rng() % (u_int64_t)n); }

    // A value in a slot: rank 1 unless rows > 0 (a matrix of rows x count/rows).
    static void *put(i64 slot, i64 type, i64 count, i64 rows = 0) {
        i64 rank = rows > 0 ? 2 : 1;
        value_slot_table[slot].type = type;
        EXPECT_EQ(alloc_slot_value(slot, type, rank, count), 0);
        set_slot_shape(slot, rank, count, rows, rows > 0 ? count / rows : 0);
        return value_data(&value_slot_table[slot]);
    }
    static void put_ints(i64 slot, const std::vector<i64> &v, i64 type = T_INT, i64 rows = 0) {
        i64 *p = (i64 *)put(slot, type, (i64)v.size(), rows);
        std::copy(v.begin(), v.end(), p);
    }
    static void put_floats(i64 slot, const std::vector<double> &v) {
        double *p = (double *)put(slot, T_FLOAT, (i64)v.size());
        std::copy(v.begin(), v.end(), p);
    }
    static const i64 *result_ints() { return (const i64 *)value_data(&value_slot_table[Z]); }
    static std::vector<i64> result() {
        const ValueDescriptor *d = &value_slot_table[Z];
        return std::vector<i64>(result_ints(), result_ints() + d->count);
    }

    // Integer keys: a small span, the full 64-bit range, or a set that
    // holds 0, the integer marker pattern and the ends of the range.
    std::vector<i64> words(i64 n, int kind) {
        static const i64 special[] = {0, 0x80000001, 0x7FFFFFFF, INT64_MIN, INT64_MAX, -1, 1, 0x80000000LL};
        std::vector<i64> v(n);
        i64 span = 1 + below(2 * n + 3);
        for (i64 &x : v) {
            if (kind == 0) x = below(span) - span / 3;
            else if (kind == 1) x = (i64)rng();
            else x = special[below(8)];
        }
        return v;
    }
    std::vector<double> doubles(i64 n) {
        static const double special[] = {0.0, -0.0, NaN, INFINITY, -INFINITY, 1.0, -1.0, 2.5, 1e300, 4.9e-324};
        std::vector<double> v(n);
        for (double &x : v) x = below(3) == 0 ? special[below(10)] : (double)(below(2 * n + 5) - n);
        return v;
    }
};

// ---- Membership and index-of -----------------------------------------------------------------------

TEST_F(SearchTest, ExactKernelsAgreeWithPlainScans) {
    for (i64 n : SIZES)
        for (i64 m : {(i64)0, (i64)1, (i64)4, (i64)5, n, 2 * n + 7}) {
            for (int kind = 0; kind < 3; kind++) {
                std::vector<i64> list = words(n, kind), items = words(m, kind);
                for (i64 &x : items)
                    if (n && below(2)) x = list[below(n)];
                std::vector<i64> found(m), at(m);
                ASSERT_EQ(member_words(items.data(), m, list.data(), n, found.data()), 0);
                ASSERT_EQ(index_of_words(list.data(), n, items.data(), m, 1, at.data()), 0);
                for (i64 i = 0; i < m; i++) {
                    i64 p = std::find(list.begin(), list.end(), items[i]) - list.begin();
                    ASSERT_EQ(found[i], p < n) << "n=" << n << " m=" << m << " kind=" << kind;
                    ASSERT_EQ(at[i], 1 + p) << "n=" << n << " m=" << m << " kind=" << kind;
                }
            }
            std::vector<double> list = doubles(n), items = doubles(m);
            std::vector<i64> found(m), at(m), tolerant(m);
            ASSERT_EQ(member_floats(items.data(), m, list.data(), n, found.data()), 0);
            ASSERT_EQ(index_of_floats_exact(list.data(), n, items.data(), m, 0, at.data()), 0);
            // whole numbers, zeros, infinities and NaN: tolerance changes nothing
            ASSERT_EQ(index_of_floats(list.data(), n, items.data(), m, 0, tolerant.data()), 0);
            for (i64 i = 0; i < m; i++) {
                i64 p = std::find_if(list.begin(), list.end(), [&](double x) { return x == items[i]; }) - list.begin();
                ASSERT_EQ(found[i], p < n) << n << " " << m;
                ASSERT_EQ(at[i], p) << n << " " << m;
                ASSERT_EQ(tolerant[i], p) << n << " " << m;
            }
            std::string text(n, 0), sought(m, 0);
            for (char &c : text) c = (char)below(below(2) ? 256 : 4);
            for (char &c : sought) c = (char)below(below(2) ? 256 : 4);
            ASSERT_EQ(member_chars(sought.data(), m, text.data(), n, found.data()), 0);
            ASSERT_EQ(index_of_chars(text.data(), n, sought.data(), m, 1, at.data()), 0);
            for (i64 i = 0; i < m; i++) {
                i64 p = (i64)std::min(text.find(sought[i]), (size_t)n);
                ASSERT_EQ(found[i], p < n);
                ASSERT_EQ(at[i], 1 + p);
            }
            std::vector<double> pairs(2 * n), wanted(2 * m);
            for (double &x : pairs) x = doubles(1)[0];
            for (double &x : wanted) x = doubles(1)[0];
            ASSERT_EQ(member_pairs(wanted.data(), m, pairs.data(), n, found.data()), 0);
            ASSERT_EQ(index_of_pairs(pairs.data(), n, wanted.data(), m, 0, at.data()), 0);
            for (i64 i = 0; i < m; i++) {
                i64 p = 0;
                while (p < n && !(pairs[2 * p] == wanted[2 * i] && pairs[2 * p + 1] == wanted[2 * i + 1])) p++;
                ASSERT_EQ(found[i], p < n);
                ASSERT_EQ(at[i], p);
            }
        }
}

// A table that took a slot holding 0x80000001 for empty would overwrite a
// key stored there: every key, marker patterns included, stays found.
TEST_F(SearchTest, EveryKeyStaysFoundInLargeTables) {
    i64 n = (1 << 21) + 5;
    std::vector<i64> list(n);
    for (i64 i = 0; i < n; i++) list[i] = (i64)((u_int64_t)(i + 1) * 0x9E3779B97F4A7C15ull);
    list[7] = 0x80000001;               // 2147483649
    list[n - 1] = 0;
    std::vector<i64> items = {0x80000001, 0, list[n / 2], 12345};
    for (i64 k = 0; k < 100; k++) items.push_back(list[below(n)]);
    std::vector<i64> at(items.size()), found(items.size());
    ASSERT_EQ(index_of_words(list.data(), n, items.data(), (i64)items.size(), 0, at.data()), 0);
    ASSERT_EQ(member_words(items.data(), (i64)items.size(), list.data(), n, found.data()), 0);
    EXPECT_EQ(at[0], 7);
    EXPECT_EQ(at[1], n - 1);
    EXPECT_EQ(at[2], n / 2);
    EXPECT_EQ(at[3], n);
    EXPECT_EQ(found[3], 0);
    for (size_t k = 4; k < items.size(); k++) EXPECT_EQ(list[at[k]], items[k]);
}

TEST_F(SearchTest, FloatsSpreadOverTheTableAndMarkerPatternsAreKeys) {
    // whole numbers share their low bits; the old float table hashed by
    // those and piled them up in one slot
    i64 n = 200000;
    std::vector<double> list(n), items(n);
    for (i64 i = 0; i < n; i++) list[i] = items[n - 1 - i] = (double)(i * 1024);
    double marker;
    u_int64_t bits = 0x4B2000000A5BAA4Eull;
    memcpy(&marker, &bits, 8);
    list[5] = marker;
    items[0] = marker;
    std::vector<i64> at(n);
    ASSERT_EQ(index_of_floats(list.data(), n, items.data(), n, 0, at.data()), 0);
    EXPECT_EQ(at[0], 5);
    for (i64 i = 1; i < n; i++)
        if (n - 1 - i != 5) {
            ASSERT_EQ(at[i], n - 1 - i);
        }
}

// Values equal only within the tolerance: a scan finds the first; the
// table finds one only on its own probe path, unless it is still being
// filled when the item is sought.
TEST_F(SearchTest, TolerantIndexDependsOnTheFormAsDocumented) {
    u_int64_t bits;
    double a = 1000.0;
    memcpy(&bits, &a, 8);
    bits |= 1023;                       // last value before a new hash block
    memcpy(&a, &bits, 8);
    double b = std::nextafter(a, 2000.0);
    ASSERT_TRUE(floats_equal_tol(a, b));
    std::vector<double> list = {a};
    for (int k = 0; k < 600; k++) list.push_back(5000.0 + k);
    i64 n = (i64)list.size();
    std::vector<i64> at(2);
    double small_list[] = {a, 3.0};
    ASSERT_EQ(index_of_floats(small_list, 2, &b, 1, 0, at.data()), 0);
    EXPECT_EQ(at[0], 0);
    double sought_first[] = {b, 7.0};
    ASSERT_EQ(index_of_floats(list.data(), n, sought_first, 2, 0, at.data()), 0);
    EXPECT_EQ(at[0], 0);                // found while the table fills
    double sought_later[] = {7.0, b};
    ASSERT_EQ(index_of_floats(list.data(), n, sought_later, 2, 0, at.data()), 0);
    EXPECT_EQ(at[1], n);                // a's entry lies on another path
    double same_block[] = {7.0, std::nextafter(list[1], 1e9)};
    ASSERT_EQ(index_of_floats(list.data(), n, same_block, 2, 0, at.data()), 0);
    EXPECT_EQ(at[1], 1);
}

TEST_F(SearchTest, MatricesKeepTheirShapes) {
    put_ints(A, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, T_INT, 3);
    put_ints(B, {2, 4, 6, 8, 10, 12, 14});
    ASSERT_EQ(dispatch_primitive(P_MEMBER, Z, -1, A, -1, B), 0);
    const ValueDescriptor *z = &value_slot_table[Z];
    EXPECT_EQ(z->type, T_BOOL);
    EXPECT_EQ(z->rank, 2);
    EXPECT_EQ(z->dim0, 3);
    EXPECT_EQ(z->dim1, 4);
    EXPECT_EQ(result(), (std::vector<i64>{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}));
    // index-of looks the matrix's items up and keeps its shape
    ASSERT_EQ(dispatch_primitive(P_INDEX_OF, Z, -1, B, -1, A), 0);
    EXPECT_EQ(z->rank, 2);
    EXPECT_EQ(result(), (std::vector<i64>{8, 1, 8, 2, 8, 3, 8, 4, 8, 5, 8, 6}));
    EXPECT_EQ(dispatch_primitive(P_INDEX_OF, Z, -1, A, -1, B), VEK_RANK);
}

TEST_F(SearchTest, EnumerationsAreRefusedWhereNoRuleCoversThem) {
    put_ints(A, {1, 2});
    put(B, T_ENUM, 2);
    EXPECT_EQ(dispatch_primitive(P_MEMBER, Z, -1, A, -1, B), VEK_DOMAIN);
    EXPECT_EQ(dispatch_primitive(P_MEMBER, Z, -1, B, -1, A), VEK_DOMAIN);
    EXPECT_EQ(dispatch_primitive(P_INDEX_OF, Z, -1, A, -1, B), VEK_DOMAIN);
    EXPECT_EQ(dispatch_primitive(P_DISTINCT, Z, -1, -1, -1, B), VEK_DOMAIN);
    EXPECT_EQ(dispatch_primitive(P_GROUP, Z, -1, -1, -1, B), VEK_DOMAIN);
}

TEST_F(SearchTest, TheResultSlotMayBeAnOperand) {
    put_ints(A, {5, 6, 7, 8});
    put_ints(B, {8, 5, 9});
    ASSERT_EQ(dispatch_primitive(P_INDEX_OF, B, -1, A, -1, B), 0);
    EXPECT_EQ(std::vector<i64>((i64 *)value_data(&value_slot_table[B]), (i64 *)value_data(&value_slot_table[B]) + 3),
              (std::vector<i64>{4, 1, 5}));
}

// ---- Grade ------------------------------------------------------------------------------------------

// The stable comparison sort the radix sort must match: NaN above every
// number, -0.0 equal to 0.0, chars as signed bytes.
template <class T>
static std::vector<i64> plain_grade(const std::vector<T> &v, bool down) {
    std::vector<i64> order(v.size());
    std::iota(order.begin(), order.end(), 0);
    auto rank = [](T x) -> double {
        if constexpr (std::is_same_v<T, char>) return (double)(signed char)x;
        else if constexpr (std::is_same_v<T, double>) return std::isnan(x) ? INFINITY : x;
        else return (double)x;
    };
    std::stable_sort(order.begin(), order.end(), [&](i64 i, i64 j) {
        T a = v[i], b = v[j];
        if constexpr (std::is_same_v<T, double>) {
            bool na = std::isnan(a), nb = std::isnan(b);
            if (na || nb) return down ? na && !nb : nb && !na;
            return down ? a > b : a < b;
        } else if constexpr (std::is_same_v<T, i64>) {
            return down ? a > b : a < b;
        } else return down ? rank(a) > rank(b) : rank(a) < rank(b);
    });
    for (i64 &p : order) p += 1;
    return order;
}

TEST_F(SearchTest, RadixGradeAgreesWithAStableComparisonSort) {
    for (i64 n : SIZES)
        for (int kind = 0; kind < 4; kind++)
            for (bool down : {false, true}) {
                i64 code = down ? P_GRADE_DOWN : P_GRADE_UP;
                if (kind < 3) {
                    std::vector<i64> v = words(n, kind);
                    put_ints(A, v);
                    ASSERT_EQ(dispatch_primitive(code, Z, -1, -1, -1, A), 0);
                    ASSERT_EQ(result(), plain_grade(v, down)) << n << " " << kind << " " << down;
                    for (i64 &x : v) x &= 1;
                    put_ints(A, v, T_BOOL);
                    ASSERT_EQ(dispatch_primitive(code, Z, -1, -1, -1, A), 0);
                    ASSERT_EQ(result(), plain_grade(v, down));
                } else {
                    std::vector<double> v = doubles(n);
                    for (double &x : v)
                        if (below(4) == 0) x = std::ldexp((double)(i64)rng(), -(int)below(80));
                    put_floats(A, v);
                    ASSERT_EQ(dispatch_primitive(code, Z, -1, -1, -1, A), 0);
                    ASSERT_EQ(result(), plain_grade(v, down)) << n << " " << down;
                    std::vector<char> c(n);
                    for (char &x : c) x = (char)below(kind == 3 && below(2) ? 256 : 3);
                    char *p = (char *)put(A, T_CHAR, n);
                    std::copy(c.begin(), c.end(), p);
                    ASSERT_EQ(dispatch_primitive(code, Z, -1, -1, -1, A), 0);
                    ASSERT_EQ(result(), plain_grade(c, down));
                }
            }
}

TEST_F(SearchTest, RowsGradeByTheirFirstDifferenceAndDownIsTheReverse) {
    // rows 1 and 2 equal and above row 3; row 4 has a NaN
    double *p = (double *)put(A, T_FLOAT, 8, 4);
    double rows[] = {2, 5, 2, 5, 1, 9, 2, NaN};
    std::copy(rows, rows + 8, p);
    ASSERT_EQ(dispatch_primitive(P_GRADE_UP, Z, -1, -1, -1, A), 0);
    EXPECT_EQ(result(), (std::vector<i64>{3, 1, 2, 4}));
    ASSERT_EQ(dispatch_primitive(P_GRADE_DOWN, Z, -1, -1, -1, A), 0);
    EXPECT_EQ(result(), (std::vector<i64>{4, 2, 1, 3}));
    put_ints(A, {}, T_INT, 3);          // 3 rows of no items
    ASSERT_EQ(dispatch_primitive(P_GRADE_UP, Z, -1, -1, -1, A), 0);
    EXPECT_EQ(result(), (std::vector<i64>{1, 2, 3}));
    char *c = (char *)put(A, T_CHAR, 6, 3);
    memcpy(c, "a\xc8" "aa" "\xc8z", 6);   // code 200 sorts below every ASCII code
    ASSERT_EQ(dispatch_primitive(P_GRADE_UP, Z, -1, -1, -1, A), 0);
    EXPECT_EQ(result(), (std::vector<i64>{3, 1, 2}));
}

// ---- Distinct and group ----------------------------------------------------------------------------

TEST_F(SearchTest, DistinctAndGroupAgreeWithPlainLoops) {
    for (i64 n : SIZES)
        for (int kind = 0; kind < 4; kind++) {
            std::vector<i64> v = words(n, kind == 3 ? 0 : kind);
            std::vector<double> f = doubles(n);
            bool floats = kind == 3;
            if (floats) put_floats(A, f);
            else put_ints(A, v);
            auto same = [&](i64 i, i64 j) { return floats ? f[i] == f[j] : v[i] == v[j]; };
            std::vector<i64> firsts, group_of(n);
            std::vector<std::vector<i64>> groups;
            for (i64 i = 0; i < n; i++) {
                size_t g = 0;
                while (g < firsts.size() && !same(firsts[g], i)) g++;
                if (g == firsts.size()) {
                    firsts.push_back(i);
                    groups.push_back({});
                }
                groups[g].push_back(i + 1);
            }
            ASSERT_EQ(dispatch_primitive(P_DISTINCT, Z, -1, -1, -1, A), 0);
            const ValueDescriptor *z = &value_slot_table[Z];
            ASSERT_EQ(z->count, (i64)firsts.size()) << n << " " << kind;
            for (size_t g = 0; g < firsts.size(); g++) {
                if (floats) ASSERT_EQ(float_word(((double *)value_data((ValueDescriptor *)z))[g]), float_word(f[firsts[g]]));
                else ASSERT_EQ(result_ints()[g], v[firsts[g]]);
            }
            ASSERT_EQ(dispatch_primitive(P_GROUP, Z, -1, -1, -1, A), 0);
            if (n < 2) continue;
            ASSERT_EQ(z->type, T_LIST);
            ASSERT_EQ(z->count, (i64)groups.size());
            for (size_t g = 0; g < groups.size(); g++) {
                ValueDescriptor *item = &((ValueDescriptor *)z->data)[g];
                ASSERT_EQ(item->rank, 1);
                const i64 *p = (const i64 *)value_data(item);
                ASSERT_EQ(std::vector<i64>(p, p + item->count), groups[g]);
            }
        }
}

TEST_F(SearchTest, GroupOfManyKeysFillsEveryGroup) {
    i64 n = 300000;
    std::vector<i64> v(n);
    for (i64 &x : v) x = below(1000);
    put_ints(A, v);
    ASSERT_EQ(dispatch_primitive(P_GROUP, Z, -1, -1, -1, A), 0);
    const ValueDescriptor *z = &value_slot_table[Z];
    i64 total = 0;
    for (i64 g = 0; g < z->count; g++) {
        ValueDescriptor *item = &((ValueDescriptor *)z->data)[g];
        const i64 *p = (const i64 *)value_data(item);
        for (i64 k = 0; k < item->count; k++) {
            ASSERT_EQ(v[p[k] - 1], v[p[0] - 1]);
            if (k) {
                ASSERT_LT(p[k - 1], p[k]);
            }
        }
        total += item->count;
    }
    EXPECT_EQ(total, n);
}

}  // namespace
