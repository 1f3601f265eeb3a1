// Whole-array kernels of time arithmetic (see time_kernels.h).
//
// Dates are held as yyyymmdd, so moving one by days means turning it into a
// day number and back. Both directions are the closed form of
// core/timecode.cpp (four-year cycles counted from 1896-03-01, stepping over
// the missing 29 Februaries of 1900 and 2100). On processors with AVX2 the
// kernel below computes it eight dates at a time in 32-bit lanes, with
// every division by a constant done as a multiplication and a shift; the
// multipliers are exact over the ranges that valid dates produce, and the
// unit tests compare the kernel with the closed form on every date.
#pragma GCC optimize("O3")
#include "primitives/time_kernels.h"
#include "core/timecode.h"
#include <cstdint>
#include <immintrin.h>

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

#if defined(__x86_64__)
#define AVX2 __attribute__((target("avx2"))) static inline
typedef __m256i V;

AVX2 V k32(u32 c) { return _mm256_set1_epi32((int)c); }
AVX2 V add(V a, V b) { return _mm256_add_epi32(a, b); }
AVX2 V sub(V a, V b) { return _mm256_sub_epi32(a, b); }
AVX2 V mul(V a, u32 c) { return _mm256_mullo_epi32(a, k32(c)); }
// For lanes below 2^16 and c below 2^16: the low 16 bits of a * c, and
// (a * c) >> (16 + s).
AVX2 V mul16(V a, u32 c) { return _mm256_mullo_epi16(a, k32(c)); }
AVX2 V mulhi16(V a, u32 c, int s) { return _mm256_srli_epi32(_mm256_mulhi_epu16(a, k32(c)), s); }
// All ones where a > c, as unsigned numbers.
AVX2 V above(V a, u32 c) { return _mm256_cmpeq_epi32(_mm256_max_epu32(a, k32(c + 1)), a); }
AVX2 V equal(V a, u32 c) { return _mm256_cmpeq_epi32(a, k32(c)); }
AVX2 V either(V a, V b) { return _mm256_or_si256(a, b); }
AVX2 V both(V a, V b) { return _mm256_and_si256(a, b); }

// Day numbers of eight dates (low words in v, high words in hi); lanes that
// are not valid dates are marked in bad.
AVX2 V day_numbers(V v, V hi, V *bad) {
    V w = sub(v, k32(19000000));                       // 101 .. 2001231 when valid
    V q = mulhi16(_mm256_srli_epi32(w, 5), 53688, 8);  // years since 1900: w / 10000
    V md = sub(w, mul(q, 10000));                      // month * 100 + day
    V m = mulhi16(md, 41944, 6);                       // md / 100
    V d = sub(md, mul16(m, 100));
    V early = _mm256_cmpgt_epi32(k32(3), m);           // January, February: all ones
    V years = add(q, add(k32(4), early));              // March-based years from 1896
    V months = add(sub(m, k32(3)), both(early, k32(12)));
    V c = add(_mm256_srli_epi32(mul(years, 1461), 2), mulhi16(add(mul16(months, 153), k32(2)), 52429, 2));
    c = add(c, sub(d, k32(1)));
    // month lengths: 30 or 31 by the month's parity (flipped from August
    // on); February 28, or 29 when the year is a multiple of 4 other than
    // 1900 and 2100
    V length = add(k32(30), both(_mm256_xor_si256(m, _mm256_srli_epi32(m, 3)), k32(1)));
    V leap = _mm256_andnot_si256(either(equal(q, 0), equal(q, 200)), equal(both(q, k32(3)), 0));
    V february_cut = _mm256_sub_epi32(k32(2), _mm256_srli_epi32(leap, 31));   // 2, or 1 in a leap year
    length = sub(length, both(equal(m, 2), february_cut));
    V day_minus_1 = sub(d, k32(1));
    V wrong = either(either(hi, above(sub(w, k32(101)), 2001130)), above(sub(md, k32(101)), 1130));
    wrong = either(wrong, above(sub(m, k32(1)), 11));
    wrong = either(wrong, _mm256_cmpeq_epi32(_mm256_max_epu32(day_minus_1, length), day_minus_1));
    *bad = either(*bad, wrong);
    // c - zero - (c > missing 1900) - (c > missing 2100); the masks are -1
    return add(add(sub(c, k32(CYCLE_DAY_ZERO)), above(c, MISSING_1900)), above(c, MISSING_2100));
}

// Dates (yyyymmdd) of eight day numbers in 1..LAST_DAY_NUMBER.
AVX2 V dates_of(V day) {
    V c = add(day, k32(CYCLE_DAY_ZERO));
    c = sub(c, above(c, MISSING_1900 - 1));
    c = sub(c, above(c, MISSING_2100 - 1));
    V cycles = _mm256_srli_epi32(mul(c, 22967), 25);                        // c / 1461
    V c4 = add(_mm256_slli_epi32(sub(c, mul(cycles, 1461)), 2), k32(3));    // 4 * (c mod 1461) + 3
    V year = mulhi16(c4, 45934, 10);                                         // c4 / 1461
    V day_of_year = _mm256_srli_epi32(sub(c4, mul16(year, 1461)), 2);
    V months = mulhi16(add(mul16(day_of_year, 5), k32(2)), 54828, 7);        // / 153, from March
    V d = add(sub(day_of_year, mulhi16(add(mul16(months, 153), k32(2)), 52429, 2)), k32(1));
    V late = above(months, 9);                                              // January, February
    V m = sub(add(months, k32(3)), both(late, k32(12)));
    V y = sub(add(k32(1896), add(_mm256_slli_epi32(cycles, 2), year)), late);
    return add(add(mul(y, 10000), mul16(m, 100)), d);
}

// Eight 64-bit items as their low and high 32-bit words, in the lane
// order that unpack_low and unpack_high below restore.
AVX2 void split_words(const i64 *p, V *lo, V *hi) {
    __m256 a = _mm256_castsi256_ps(_mm256_loadu_si256((const V *)p));
    __m256 b = _mm256_castsi256_ps(_mm256_loadu_si256((const V *)(p + 4)));
    *lo = _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    *hi = _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}

// Counts as 32-bit lanes; a count beyond the reach of any valid result is
// marked in bad.
AVX2 V count_lanes(V lo, V hi, V *bad) {
    V wide = _mm256_cmpeq_epi32(_mm256_srai_epi32(lo, 31), hi);   // lo's sign fills hi
    V near = _mm256_cmpeq_epi32(above(add(lo, k32(1 << 20)), (1 << 21) - 1), _mm256_setzero_si256());
    *bad = either(*bad, _mm256_andnot_si256(both(wide, near), k32(0xFFFFFFFF)));
    return lo;
}

__attribute__((target("avx2"))) static bool add_days_avx2(i64 n, i64 *z, const i64 *t, bool ts,
                                                          const i64 *k, bool ks, bool negate) {
    V bad = _mm256_setzero_si256(), zero = _mm256_setzero_si256();
    V t_lo = k32((u32)t[0]), t_hi = k32((u32)((u64)t[0] >> 32));
    V k_lo = k32((u32)k[0]), k_hi = k32((u32)((u64)k[0] >> 32));
    if (ks && !count_in_reach(k[0])) return false;
    i64 i = 0;
    for (; i + 8 <= n; i += 8) {
        if (!ts) split_words(t + i, &t_lo, &t_hi);
        if (!ks) split_words(k + i, &k_lo, &k_hi);
        V count = count_lanes(k_lo, k_hi, &bad);
        V day = day_numbers(t_lo, t_hi, &bad);
        day = negate ? sub(day, count) : add(day, count);
        bad = either(bad, above(sub(day, k32(1)), LAST_DAY_NUMBER - 1));
        V r = dates_of(day);
        _mm256_storeu_si256((V *)(z + i), _mm256_unpacklo_epi32(r, zero));
        _mm256_storeu_si256((V *)(z + i + 4), _mm256_unpackhi_epi32(r, zero));
    }
    if (!_mm256_testz_si256(bad, bad)) return false;
    for (; i < n; i++)
        if (!add_days_item(t[ts ? 0 : i], k[ks ? 0 : i], negate, &z[i])) return false;
    return true;
}

static bool have_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
#else
static bool have_avx2() { return false; }
static bool add_days_avx2(i64, i64 *, const i64 *, bool, const i64 *, bool, bool) { return false; }
#endif

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
    if (ts && ks) return clock_loop<true, true>(n, z, t, k, negate, period);
    if (ts) return clock_loop<true, false>(n, z, t, k, negate, period);
    if (ks) return clock_loop<false, true>(n, z, t, k, negate, period);
    return clock_loop<false, false>(n, z, t, k, negate, period);
}
