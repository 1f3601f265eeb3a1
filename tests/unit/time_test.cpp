// The time encoding and kernels against plain references: day numbers
// against counting the calendar day by day, the vector kernels against the
// calendar and the clock on every date, odd and null items, the slash-date
// reader, and the nulls' texts.
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <vector>
#include "core/codes.h"
#include "core/timecode.h"
#include "primitives/time.h"
#include "primitives/time_kernels.h"

// Every valid date, in order, by stepping the calendar one day at a time.
static std::vector<i64> every_date() {
    std::vector<i64> dates;
    for (i64 y = 1900, m = 1, d = 1; y <= 2100;) {
        dates.push_back(y * 10000 + m * 100 + d);
        if (++d > month_length(y, m)) { d = 1; if (++m > 12) { m = 1; y++; } }
    }
    return dates;
}

TEST(TimeDayNumbers, CountTheCalendarBothWays) {
    std::vector<i64> dates = every_date();
    ASSERT_EQ((i64)dates.size(), LAST_DAY_NUMBER);
    for (i64 k = 0; k < (i64)dates.size(); k++) {
        ASSERT_EQ(date_to_day_number(dates[k]), k + 1) << dates[k];
        ASSERT_EQ(day_number_to_date(k + 1), dates[k]) << k + 1;
    }
    for (i64 bad : {20230229LL, 19000229LL, 21000229LL, 20241301LL, 20240100LL, 18991231LL, 21010101LL, 0LL, -1LL})
        EXPECT_EQ(date_to_day_number(bad), -1) << bad;
    EXPECT_EQ(date_to_day_number(TIME_NULL), -1);
    EXPECT_EQ(day_number_to_date(0), -1);
    EXPECT_EQ(day_number_to_date(LAST_DAY_NUMBER + 1), -1);
}

// One date moved by a count of days through the day numbers checked above:
// false when the date or the result is not valid or either is the null.
static bool date_plus(i64 date, i64 count, bool negate, i64 *out) {
    if (time_is_null(date) || time_is_null(count)) return false;
    i64 day = date_to_day_number(date);
    if (negate) count = -count;
    if (day < 0 || count < -LAST_DAY_NUMBER || count > LAST_DAY_NUMBER) return false;
    *out = day_number_to_date(day + count);
    return *out >= 0;
}

// The kernel answers true exactly when every item is a valid date whose
// result is valid, and then agrees with the calendar.
static void expect_kernel_matches_items(const std::vector<i64> &t, const std::vector<i64> &k, bool ks, bool negate) {
    i64 n = (i64)t.size();
    std::vector<i64> fast(n), slow(n);
    bool plain = add_days_array(n, fast.data(), t.data(), false, k.data(), ks, negate);
    bool all_valid = true;
    for (i64 i = 0; i < n; i++) all_valid = date_plus(t[i], k[ks ? 0 : i], negate, &slow[i]) && all_valid;
    ASSERT_EQ(plain, all_valid);
    if (plain) { ASSERT_EQ(fast, slow); }
}

TEST(TimeKernels, DatesAgreeWithTheCalendarOnEveryDate) {
    std::vector<i64> dates = every_date();
    for (i64 count : {0LL, 1LL, -1LL, 28LL, 59LL, -366LL, 1461LL, 36524LL})
        expect_kernel_matches_items(dates, {count}, true, count < 0);
    std::vector<i64> counts(dates.size());
    for (size_t i = 0; i < counts.size(); i++) counts[i] = (i64)(i * 7919 % 4001) - 2000;
    // the first and last dates leave the range with some of these counts
    std::vector<i64> middle(dates.begin() + 3000, dates.end() - 3000);
    counts.resize(middle.size());
    expect_kernel_matches_items(middle, counts, false, false);
    expect_kernel_matches_items(middle, counts, false, true);
}

TEST(TimeKernels, AnyOddItemSendsTheArrayToTheItemPath) {
    std::vector<i64> base(19, 20240517), one = {1};
    const i64 odds[] = {TIME_NULL, 20230229, 21001231, 0, 20240517 + ((i64)1 << 32), -20240517};
    for (i64 odd : odds)
        for (size_t at = 0; at < base.size(); at++) {
            std::vector<i64> t = base;
            t[at] = odd;
            expect_kernel_matches_items(t, one, true, false);
        }
    const i64 counts[] = {TIME_NULL, INT64_MAX, (i64)1 << 20, -((i64)1 << 20), (i64)1 << 32, LAST_DAY_NUMBER};
    for (i64 count : counts)
        for (size_t at = 0; at < base.size(); at++) {
            std::vector<i64> k(base.size(), 1);
            k[at] = count;
            expect_kernel_matches_items(base, k, false, false);
        }
}

TEST(TimeKernels, NoInvalidNumberPassesAsADate) {
    // Every number around the valid range, eight at a time: the kernel
    // accepts exactly the valid dates and moves them by 0 to themselves.
    std::vector<i64> t(8), z(8), zero = {0};
    for (i64 v = 18990000; v < 21020000; v += 8) {
        for (i64 j = 0; j < 8; j++) t[j] = v + j;
        bool valid = true;
        for (i64 j = 0; j < 8; j++) valid = valid && time_encoding_is_valid(T_DATE, t[j]);
        ASSERT_EQ(add_days_array(8, z.data(), t.data(), false, zero.data(), true, false), valid) << v;
        if (valid) { ASSERT_EQ(z, t); }
    }
}

TEST(TimeKernels, DatetimesAgreeWithTheItemPath) {
    std::vector<i64> dates = every_date();
    std::vector<double> t;
    const i64 times[] = {0, 1, 3600000, 43200000, MS_PER_DAY - 3600000, MS_PER_DAY - 1};
    for (size_t i = 0; i < dates.size(); i += 5)
        t.push_back((double)dates[i] * (double)MS_PER_DAY + (double)times[i % 6]);
    std::vector<double> fast(t.size()), slow(t.size());
    const i64 counts[] = {0, 1, -1, 3600000, -3600000, 86400000, -3 * MS_PER_DAY - 7, 1000 * MS_PER_DAY};
    for (i64 count : counts) {
        bool all_valid = true;
        for (size_t i = 0; i < t.size(); i++) all_valid = move_datetime(t[i], count, &slow[i]) && all_valid;
        ASSERT_EQ(add_ms_array((i64)t.size(), fast.data(), t.data(), false, &count, true, false), all_valid) << count;
        if (all_valid) { ASSERT_EQ(fast, slow) << count; }
    }
    // one odd item anywhere sends the array to the item path
    const double day = (double)MS_PER_DAY;
    double odds[] = {std::nan(""), 0.5, -1.0, 20230229.0 * day, 21001231.0 * day + day, 9007199254740992.0, 1e300};
    std::vector<double> base(t.begin() + 1000, t.begin() + 1019);
    i64 one = 1;
    for (double odd : odds)
        for (size_t at = 0; at < base.size(); at++) {
            std::vector<double> v = base, z(v.size());
            v[at] = odd;
            EXPECT_FALSE(add_ms_array((i64)v.size(), z.data(), v.data(), false, &one, true, false)) << odd << " " << at;
        }
}

TEST(TimeKernels, ClockTypesWrapAroundTheDay) {
    const i64 periods[] = {1440, 86400, MS_PER_DAY};
    for (i64 period : periods) {
        std::vector<i64> t = {0, 1, period - 1, period / 2, 7, 0, period - 2, 3, 11}, z(t.size());
        const i64 counts[] = {0, 1, -1, period - 1, 1 - period, 3 * period + 5, -12345, INT64_MAX, INT64_MIN + 1};
        for (i64 count : counts) {
            ASSERT_TRUE(add_clock_array((i64)t.size(), z.data(), t.data(), false, &count, true, false, period));
            for (size_t i = 0; i < t.size(); i++) {
                i64 around = (t[i] + count % period) % period;
                ASSERT_EQ(z[i], around < 0 ? around + period : around);
            }
        }
        // a null count, a count vector beyond a day, an item that is no time
        i64 null = TIME_NULL;
        EXPECT_FALSE(add_clock_array((i64)t.size(), z.data(), t.data(), false, &null, true, false, period));
        std::vector<i64> far(t.size(), 1);
        far[8] = period;
        EXPECT_FALSE(add_clock_array((i64)t.size(), z.data(), t.data(), false, far.data(), false, true, period));
        t[4] = period;
        i64 one = 1;
        EXPECT_FALSE(add_clock_array((i64)t.size(), z.data(), t.data(), false, &one, true, false, period));
    }
}

TEST(TimeItems, OddItemsFailAndNullsGiveTheNull) {
    auto add = [](i64 op, i64 type, i64 value, i64 count, i64 *z) {
        return add_to_time_array(op, type, 1, z, &value, true, &count, true);
    };
    auto difference = [](i64 type, i64 a, i64 b, i64 *z) { return time_difference_array(type, 1, z, &a, true, &b, true); };
    i64 z;
    EXPECT_EQ(add(P_MINUS, T_MONTH, 190001, 1, &z), TIME_STATUS_INVALID);
    ASSERT_EQ(add(P_MINUS, T_MONTH, 190002, 1, &z), 0);
    EXPECT_EQ(z, 190001);
    EXPECT_EQ(add(P_MINUS, T_DATE, 20240517, INT64_MIN + 1, &z), TIME_STATUS_INVALID);
    ASSERT_EQ(add(P_MINUS, T_DATE, 20240517, TIME_NULL, &z), 0);
    EXPECT_EQ(z, TIME_NULL);
    EXPECT_EQ(difference(T_DATE, 0, 20240517, &z), TIME_STATUS_INVALID);   // a fill item is no date
    ASSERT_EQ(difference(T_TIME, TIME_NULL, 5, &z), 0);
    EXPECT_EQ(z, TIME_NULL);
    double dt = join_datetime_value(std::vector<i64>{2024, 5, 17, 23, 0, 0, 0}.data()), moved, nan = std::nan("");
    i64 hour = 3600000, one = 1;
    ASSERT_EQ(add_to_time_array(P_PLUS, T_DATETIME, 1, &moved, &dt, true, &hour, true), 0);
    EXPECT_EQ(moved, join_datetime_value(std::vector<i64>{2024, 5, 18, 0, 0, 0, 0}.data()));
    ASSERT_EQ(time_difference_array(T_DATETIME, 1, &moved, &nan, true, &dt, true), 0);
    EXPECT_TRUE(std::isnan(moved));
    double half = 0.5;
    EXPECT_EQ(add_to_time_array(P_PLUS, T_DATETIME, 1, &moved, &half, true, &one, true), TIME_STATUS_INVALID);
}

TEST(TimeTexts, SlashDatesAreValidatedAndNullsReadBack) {
    auto slash = [](const char *s) { return parse_slash_date(s, (i64)strlen(s)); };
    EXPECT_EQ(slash("5/17/2024"), 20240517);
    EXPECT_EQ(slash(" 12/31/2100 "), 21001231);
    EXPECT_EQ(slash("02/29/2000"), 20000229);
    for (const char *bad : {"2/29/2023", "13/1/2024", "0/1/2024", "1/32/2024", "1/1/24", "1/1/20245", "1/1/2024x",
                            "", "1//2024", "001/1/2024", "1/1/1899", "-1/1/2024", "1 /1/2024"})
        EXPECT_EQ(slash(bad), TIME_NULL) << bad;
    EXPECT_EQ(parse_slash_date("5/17/2024", 8), TIME_NULL);   // a cut text is not read past its end

    char b[64];
    for (i64 type : {T_MONTH, T_DATE, T_MINUTE, T_SECOND, T_TIME}) {
        EXPECT_EQ(format_time_value(TIME_NULL, type, b), 2);
        EXPECT_STREQ(b, "0n");
        i64 v = 0;
        double f = 0;
        EXPECT_EQ(read_time_text("0n 1", type, &v, &f), 2);
        EXPECT_EQ(v, TIME_NULL);
    }
    EXPECT_EQ(format_datetime_value(std::nan(""), b), 2);
    EXPECT_STREQ(b, "0n");
    double f = 0;
    EXPECT_EQ(read_time_text("0n", T_DATETIME, nullptr, &f), 2);
    EXPECT_TRUE(std::isnan(f));
    i64 v;
    EXPECT_EQ(read_time_text("0n", T_INT, &v, &f), -1);
}
