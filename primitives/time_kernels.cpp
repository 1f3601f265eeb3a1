// Whole-array kernels of time arithmetic (see time_kernels.h).
//
// Dates are held as yyyymmdd, so moving one by days means turning it into a
// day number and back. Both directions count as the closed form of
// core/timecode.cpp does (four-year cycles from 1896-03-01, stepping over
// the missing 29 Februaries of 1900 and 2100). On processors with AVX2 the
// kernels below compute it eight dates at a time in 32-bit lanes, every
// division by a constant done as a multiplication and a shift (one in
// single precision); the multipliers are exact over the ranges that valid
// dates produce, and the unit tests compare the kernels with the closed
// form on every date.
#pragma GCC optimize("O3")
#include "primitives/time_kernels.h"
#include "core/timecode.h"
#include <cstdint>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

typedef uint32_t u32;
typedef uint64_t u64;

// The cycle-day constants of core/timecode.cpp.
enum : u32 { CYCLE_DAY_ZERO = 1400, MISSING_1900 = 1460, MISSING_2100 = 74510 };

static bool count_in_reach(i64 k) { return k > -(LAST_DAY_NUMBER + 1) && k < LAST_DAY_NUMBER + 1; }

// One item through the closed form; false when it is not the plain case.
static bool add_days_item(i64 date, i64 count, bool negate, i64 *out) {
    i64 day = date_to_day_number(date);
    if (day < 0 || !count_in_reach(count)) return false;
    i64 moved = day_number_to_date(negate ? day - count : day + count);
    if (moved < 0) return false;
    *out = moved;
    return true;
}

// A datetime whose time of day stays within its day needs only its date
// checked; one that crosses midnight moves through day numbers.
bool move_datetime(double value, i64 ms, double *out) {
    const i64 reach = (LAST_DAY_NUMBER + 1) * MS_PER_DAY;
    if (!(value >= 0 && value < 9007199254740992.0) || ms <= -reach || ms >= reach) return false;
    i64 x = (i64)value;
    i64 date = x / MS_PER_DAY, of_day = x % MS_PER_DAY + ms;
    if ((double)x != value || !date_encoding_is_valid(date)) return false;
    if (of_day >= 0 && of_day < MS_PER_DAY) {
        *out = value + (double)ms;   // whole numbers below 2^53 add exactly
        return true;
    }
    i64 days = of_day >= 0 ? of_day / MS_PER_DAY : -((MS_PER_DAY - 1 - of_day) / MS_PER_DAY);
    i64 moved = day_number_to_date(date_to_day_number(date) + days);
    if (moved < 0) return false;
    *out = (double)moved * (double)MS_PER_DAY + (double)(of_day - days * MS_PER_DAY);
    return true;
}

static bool add_ms_item(double value, i64 ms, bool negate, double *out) {
    return !time_is_null(ms) && move_datetime(value, negate ? -ms : ms, out);
}

static bool date_difference_item(i64 a, i64 b, i64 *out) {
    i64 da = date_to_day_number(a), db = date_to_day_number(b);
    if (da < 0 || db < 0) return false;
    *out = da - db;
    return true;
}

#if defined(__x86_64__)
#define AVX2 __attribute__((target("avx2"))) static inline
typedef __m256i V;

// Constants as eight lanes in memory, read as memory operands. They are
// deliberately not const: a known constant the compiler rebuilds in a
// register each time it runs out of registers, which costs more than the
// whole lane arithmetic of some steps.
struct alignas(32) Lanes { u32 v[8]; };
template <u32 C> struct LaneConstant { static Lanes lanes; };
template <u32 C> Lanes LaneConstant<C>::lanes = {{C, C, C, C, C, C, C, C}};
template <u32 C> AVX2 V lanes_of() { return _mm256_load_si256((const V *)LaneConstant<C>::lanes.v); }
#define K(c) lanes_of<(u32)(c)>()

AVX2 V add(V a, V b) { return _mm256_add_epi32(a, b); }
AVX2 V sub(V a, V b) { return _mm256_sub_epi32(a, b); }
AVX2 V either(V a, V b) { return _mm256_or_si256(a, b); }
AVX2 V both(V a, V b) { return _mm256_and_si256(a, b); }
#define MUL(a, c) _mm256_mullo_epi32(a, K(c))
// For lanes below 2^16 and c below 2^16: the low 16 bits of a * c, and
// (a * c) >> (16 + s).
#define MUL16(a, c) _mm256_mullo_epi16(a, K(c))
#define MULHI16(a, c, s) _mm256_srli_epi32(_mm256_mulhi_epu16(a, K(c)), s)
// All ones where a > c: as signed numbers, and as unsigned ones.
#define GREATER(a, c) _mm256_cmpgt_epi32(a, K(c))
#define ABOVE(a, c) _mm256_cmpeq_epi32(_mm256_max_epu32(a, K((c) + 1)), a)
#define EQUAL(a, c) _mm256_cmpeq_epi32(a, K(c))

// Day numbers of eight dates (low words in v, high words in hi); lanes that
// are not valid dates are marked in bad.
AVX2 V day_numbers(V v, V hi, V *bad) {
    V w = sub(v, K(19000000));                         // 101 .. 2001231 when valid
    V q = MULHI16(_mm256_srli_epi32(w, 5), 53688, 8);  // years since 1900: w / 10000
    V md = sub(w, MUL(q, 10000));                      // month * 100 + day
    V m = MULHI16(md, 41944, 6);                       // md / 100
    V d = sub(md, MUL16(m, 100));
    V early = _mm256_cmpgt_epi32(K(3), m);             // January, February: all ones
    V years = add(q, add(K(4), early));                // March-based years from 1896
    V months = add(sub(m, K(3)), both(early, K(12)));
    V c = add(_mm256_srli_epi32(MUL(years, 1461), 2), MULHI16(add(MUL16(months, 153), K(2)), 52429, 2));
    c = add(c, sub(d, K(1)));
    // month lengths: 30 or 31 by the month's parity (flipped from August
    // on); February 28, or 29 when the year is a multiple of 4 other than
    // 1900 and 2100
    V length = add(K(30), both(_mm256_xor_si256(m, _mm256_srli_epi32(m, 3)), K(1)));
    V leap = _mm256_andnot_si256(either(EQUAL(q, 0), EQUAL(q, 200)), EQUAL(both(q, K(3)), 0));
    V february_cut = sub(K(2), _mm256_srli_epi32(leap, 31));   // 2, or 1 in a leap year
    length = sub(length, both(EQUAL(m, 2), february_cut));
    // once w is in range, every field is a small number and signed tests do
    V wrong = either(hi, ABOVE(sub(w, K(101)), 2001130));
    wrong = either(wrong, either(_mm256_cmpgt_epi32(K(101), md), GREATER(md, 1231)));
    wrong = either(wrong, either(EQUAL(m, 0), GREATER(m, 12)));
    wrong = either(wrong, either(EQUAL(d, 0), _mm256_cmpgt_epi32(d, length)));
    *bad = either(*bad, wrong);
    // c - zero - (c > missing 1900) - (c > missing 2100); the masks are -1
    return add(add(sub(c, K(CYCLE_DAY_ZERO)), GREATER(c, MISSING_1900)), GREATER(c, MISSING_2100));
}

// Dates (yyyymmdd) of eight day numbers in 1..LAST_DAY_NUMBER.
AVX2 V dates_of(V day) {
    V c = add(day, K(CYCLE_DAY_ZERO));
    c = sub(c, GREATER(c, MISSING_1900 - 1));
    c = sub(c, GREATER(c, MISSING_2100 - 1));
    V c4 = add(_mm256_slli_epi32(c, 2), K(3));
    // c4 / 1461 in single precision: c4 is below 2^19 and its remainder is
    // at least 3, far beyond the rounding error
    V years = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(c4), _mm256_set1_ps(1.0f / 1461.0f)));
    V day_of_year = _mm256_srli_epi32(sub(c4, MUL(years, 1461)), 2);
    // months from March above bit 16, the day of the month below it
    V n = add(MUL(day_of_year, 2141), K(1305));
    V months = _mm256_srli_epi32(n, 16);
    V d = add(MULHI16(both(n, K(0xFFFF)), 62690, 11), K(1));   // (n mod 2^16) / 2141
    V late = GREATER(months, 9);                                // January, February
    V m = sub(add(months, K(3)), both(late, K(12)));
    V y = sub(add(K(1896), years), late);
    return add(add(MUL(y, 10000), MUL16(m, 100)), d);
}

// Eight 64-bit items as their low and high 32-bit words, in the lane
// order that the unpacking in days_loop restores.
AVX2 void split_words(const i64 *p, V *lo, V *hi) {
    __m256 a = _mm256_castsi256_ps(_mm256_loadu_si256((const V *)p));
    __m256 b = _mm256_castsi256_ps(_mm256_loadu_si256((const V *)(p + 4)));
    *lo = _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    *hi = _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}

// Eight counts as 32-bit lanes; one beyond the reach of any valid result
// is marked in bad.
AVX2 V count_lanes(const i64 *p, V *bad) {
    V lo, hi;
    split_words(p, &lo, &hi);
    V wide = _mm256_cmpeq_epi32(_mm256_srai_epi32(lo, 31), hi);   // lo's sign fills hi
    V near = _mm256_cmpeq_epi32(ABOVE(add(lo, K(1 << 20)), (1 << 21) - 1), _mm256_setzero_si256());
    *bad = either(*bad, _mm256_andnot_si256(both(wide, near), K(0xFFFFFFFF)));
    return lo;
}

// Eight items at a time; TS, KS: the dates, the counts are one item.
template <bool TS, bool KS>
__attribute__((target("avx2"))) static i64 days_loop(i64 n, i64 *z, const i64 *t, const i64 *k, bool negate, V *bad) {
    V zero = _mm256_setzero_si256();
    V t_lo = _mm256_set1_epi32((int)(u32)t[0]), t_hi = _mm256_set1_epi32((int)(u32)((u64)t[0] >> 32));
    V count = _mm256_set1_epi32((int)(negate ? -k[0] : k[0]));   // within reach: checked by the caller
    i64 i = 0;
    for (; i + 8 <= n; i += 8) {
        if (!TS) split_words(t + i, &t_lo, &t_hi);
        V day = day_numbers(t_lo, t_hi, bad);
        if (KS) day = add(day, count);
        else day = negate ? sub(day, count_lanes(k + i, bad)) : add(day, count_lanes(k + i, bad));
        *bad = either(*bad, ABOVE(sub(day, K(1)), LAST_DAY_NUMBER - 1));
        V r = dates_of(day);
        _mm256_storeu_si256((V *)(z + i), _mm256_unpacklo_epi32(r, zero));
        _mm256_storeu_si256((V *)(z + i + 4), _mm256_unpackhi_epi32(r, zero));
    }
    return i;
}

__attribute__((target("avx2"))) static bool add_days_avx2(i64 n, i64 *z, const i64 *t, bool ts,
                                                          const i64 *k, bool ks, bool negate) {
    if (ks && !count_in_reach(k[0])) return false;
    V bad = _mm256_setzero_si256();
    i64 done = ts ? (ks ? days_loop<true, true>(n, z, t, k, negate, &bad) : days_loop<true, false>(n, z, t, k, negate, &bad))
                  : (ks ? days_loop<false, true>(n, z, t, k, negate, &bad) : days_loop<false, false>(n, z, t, k, negate, &bad));
    if (!_mm256_testz_si256(bad, bad)) return false;
    for (i64 i = done; i < n; i++)
        if (!add_days_item(t[ts ? 0 : i], k[ks ? 0 : i], negate, &z[i])) return false;
    return true;
}

// a - b in days, eight at a time.
template <bool AS, bool BS>
__attribute__((target("avx2"))) static i64 difference_loop(i64 n, i64 *z, const i64 *a, const i64 *b, V *bad) {
    V a_lo = _mm256_set1_epi32((int)(u32)a[0]), a_hi = _mm256_set1_epi32((int)(u32)((u64)a[0] >> 32));
    V b_lo = _mm256_set1_epi32((int)(u32)b[0]), b_hi = _mm256_set1_epi32((int)(u32)((u64)b[0] >> 32));
    i64 i = 0;
    for (; i + 8 <= n; i += 8) {
        if (!AS) split_words(a + i, &a_lo, &a_hi);
        if (!BS) split_words(b + i, &b_lo, &b_hi);
        V r = sub(day_numbers(a_lo, a_hi, bad), day_numbers(b_lo, b_hi, bad));
        V sign = _mm256_srai_epi32(r, 31);
        _mm256_storeu_si256((V *)(z + i), _mm256_unpacklo_epi32(r, sign));
        _mm256_storeu_si256((V *)(z + i + 4), _mm256_unpackhi_epi32(r, sign));
    }
    return i;
}

__attribute__((target("avx2"))) static bool date_difference_avx2(i64 n, i64 *z, const i64 *a, bool as,
                                                                 const i64 *b, bool bs) {
    V bad = _mm256_setzero_si256();
    i64 done = as ? (bs ? difference_loop<true, true>(n, z, a, b, &bad) : difference_loop<true, false>(n, z, a, b, &bad))
                  : (bs ? difference_loop<false, true>(n, z, a, b, &bad) : difference_loop<false, false>(n, z, a, b, &bad));
    if (!_mm256_testz_si256(bad, bad)) return false;
    for (i64 i = done; i < n; i++)
        if (!date_difference_item(a[as ? 0 : i], b[bs ? 0 : i], &z[i])) return false;
    return true;
}

// Datetimes and one count, eight at a time: split into date and time of
// day in double precision (a wrong split shows as a time of day outside the
// day and sends the array to the item path), dates checked by the day
// number kernel, and the count added where the time stays within its day;
// the few items that cross midnight are moved one by one.
__attribute__((target("avx2"))) static bool add_ms_avx2(i64 n, double *z, const double *t, i64 ms) {
    const __m256d day = _mm256_set1_pd((double)MS_PER_DAY), per_day = _mm256_set1_pd(1.0 / (double)MS_PER_DAY);
    const __m256d half = _mm256_set1_pd(0.5 / (double)MS_PER_DAY), count = _mm256_set1_pd((double)ms);
    const __m256d zero = _mm256_setzero_pd(), reach = _mm256_set1_pd(9007199254740992.0);
    __m256d odd = _mm256_setzero_pd();
    V bad = _mm256_setzero_si256();
    i64 i = 0;
    for (; i + 8 <= n; i += 8) {
        __m128i dates[2];
        int crossing = 0;
        for (int h = 0; h < 2; h++) {
            __m256d v = _mm256_loadu_pd(t + i + 4 * h);
            __m256d date = _mm256_floor_pd(_mm256_add_pd(_mm256_mul_pd(v, per_day), half));
            __m256d of_day = _mm256_sub_pd(v, _mm256_mul_pd(date, day));
            __m256d moved = _mm256_add_pd(of_day, count);
            // not a whole number within reach, or split wrongly (NaN fails every test)
            __m256d plain = _mm256_and_pd(_mm256_cmp_pd(v, zero, _CMP_GE_OQ), _mm256_cmp_pd(v, reach, _CMP_LT_OQ));
            plain = _mm256_and_pd(plain, _mm256_cmp_pd(_mm256_floor_pd(v), v, _CMP_EQ_OQ));
            plain = _mm256_and_pd(plain, _mm256_cmp_pd(of_day, zero, _CMP_GE_OQ));
            plain = _mm256_and_pd(plain, _mm256_cmp_pd(of_day, day, _CMP_LT_OQ));
            odd = _mm256_or_pd(odd, _mm256_xor_pd(plain, _mm256_castsi256_pd(K(0xFFFFFFFF))));
            __m256d within = _mm256_and_pd(_mm256_cmp_pd(moved, zero, _CMP_GE_OQ), _mm256_cmp_pd(moved, day, _CMP_LT_OQ));
            crossing |= (_mm256_movemask_pd(within) ^ 15) << (4 * h);
            _mm256_storeu_pd(z + i + 4 * h, _mm256_add_pd(v, count));
            dates[h] = _mm256_cvttpd_epi32(_mm256_and_pd(date, plain));
        }
        day_numbers(_mm256_set_m128i(dates[1], dates[0]), _mm256_setzero_si256(), &bad);
        for (int j = 0; crossing; j++, crossing >>= 1)
            if ((crossing & 1) && !move_datetime(t[i + j], ms, &z[i + j])) return false;
    }
    if (!_mm256_testz_si256(bad, bad) || !_mm256_testz_pd(odd, odd)) return false;
    for (; i < n; i++)
        if (!move_datetime(t[i], ms, &z[i])) return false;
    return true;
}

static bool have_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
#else
static bool have_avx2() { return false; }
static bool add_days_avx2(i64, i64 *, const i64 *, bool, const i64 *, bool, bool) { return false; }
static bool date_difference_avx2(i64, i64 *, const i64 *, bool, const i64 *, bool) { return false; }
static bool add_ms_avx2(i64, double *, const double *, i64) { return false; }
#endif

bool add_ms_array(i64 n, double *z, const double *t, bool ts, const i64 *k, bool ks, bool negate) {
    const i64 reach = (LAST_DAY_NUMBER + 1) * MS_PER_DAY;
    if (n >= 8 && !ts && ks && have_avx2() && k[0] > -reach && k[0] < reach)
        return add_ms_avx2(n, z, t, negate ? -k[0] : k[0]);
    for (i64 i = 0; i < n; i++)
        if (!add_ms_item(t[ts ? 0 : i], k[ks ? 0 : i], negate, &z[i])) return false;
    return true;
}

bool date_difference_array(i64 n, i64 *z, const i64 *a, bool as, const i64 *b, bool bs) {
    if (n >= 8 && have_avx2()) return date_difference_avx2(n, z, a, as, b, bs);
    for (i64 i = 0; i < n; i++)
        if (!date_difference_item(a[as ? 0 : i], b[bs ? 0 : i], &z[i])) return false;
    return true;
}

bool add_days_array(i64 n, i64 *z, const i64 *t, bool ts, const i64 *k, bool ks, bool negate) {
    if (n >= 8 && have_avx2()) return add_days_avx2(n, z, t, ts, k, ks, negate);
    for (i64 i = 0; i < n; i++)
        if (!add_days_item(t[ts ? 0 : i], k[ks ? 0 : i], negate, &z[i])) return false;
    return true;
}

// ---- Clock types ---------------------------------------------------------------------------
// t in 0..period-1 and a count in -(period-1)..period-1 give a sum in
// -(period-1)..2*period-2, brought back into the day by one correction.
template <bool TS, bool KS>
static bool clock_loop(i64 n, i64 *z, const i64 *t, const i64 *k, bool negate, i64 period) {
    u64 bad = 0, p = (u64)period;
    for (i64 i = 0; i < n; i++) {
        u64 a = (u64)t[TS ? 0 : i], b = (u64)k[KS ? 0 : i];
        bad |= (u64)(a >= p) | (u64)(b + (p - 1) > 2 * p - 2);
        i64 s = (i64)(negate ? a - b : a + b);
        s += s < 0 ? period : 0;
        s -= s >= period ? period : 0;
        z[i] = s;
    }
    return bad == 0;
}

bool add_clock_array(i64 n, i64 *z, const i64 *t, bool ts, const i64 *k, bool ks, bool negate, i64 period) {
    i64 within_day;
    if (ks) {
        // one count: only its remainder matters
        if (time_is_null(k[0])) return false;
        within_day = k[0] % period;
        k = &within_day;
    }
    if (ts && ks) return clock_loop<true, true>(n, z, t, k, negate, period);
    if (ts) return clock_loop<true, false>(n, z, t, k, negate, period);
    if (ks) return clock_loop<false, true>(n, z, t, k, negate, period);
    return clock_loop<false, false>(n, z, t, k, negate, period);
}
