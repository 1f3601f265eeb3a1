// Times time arithmetic through the scalar functions' handler on
// 10,000,000-item vectors (dates, times of day, datetimes; a single count
// or a count per item), and runs numpy's datetime64 plus timedelta64 on the
// same cases when python3 with numpy is there, printing both and the ratio.
//   time_bench [items] [repeats]
#include <cstdio>
#include <cstdlib>
#include "harness.h"
#include "core/timecode.h"
#include "primitives/scalar.h"

static const i64 DATES = 100, DATES2 = 101, COUNTS = 102, TIMES = 103, STAMPS = 104, FIVE = 105, HOUR = 106;

static uint64_t seed = 7;
static i64 next_random(i64 below) { return (i64)((next_state(seed) >> 33) % (uint64_t)below); }

static void fill_operands(i64 n) {
    i64 *dates = (i64 *)make_vector(DATES, T_DATE, n), *dates2 = (i64 *)make_vector(DATES2, T_DATE, n);
    i64 *counts = (i64 *)make_vector(COUNTS, T_INT, n), *times = (i64 *)make_vector(TIMES, T_TIME, n);
    double *stamps = (double *)make_vector(STAMPS, T_DATETIME, n);
    for (i64 i = 0; i < n; i++) {
        dates[i] = day_number_to_date(400 + next_random(72600));
        dates2[i] = day_number_to_date(400 + next_random(72600));
        counts[i] = next_random(730) - 365;
        times[i] = next_random(MS_PER_DAY);
        stamps[i] = (double)dates[i] * (double)MS_PER_DAY + (double)next_random(MS_PER_DAY);
    }
    *(i64 *)make_vector(FIVE, T_INT, 1) = 5;
    *(i64 *)make_vector(HOUR, T_INT, 1) = 3600000;
}

static int apply_scalar(const Case &c) { return scalar_dyadic(c.code, CASE_RESULT, -1, c.left, -1, c.right); }

int main(int argc, char **argv) {
    auto [n, repeat] = begin_bench(argc, argv, 10000000, 7);
    fill_operands(n);
    const std::vector<Case> cases = {
        {"date_plus_count", P_PLUS, DATES, FIVE},
        {"date_plus_counts", P_PLUS, DATES, COUNTS},
        {"date_minus_date", P_MINUS, DATES, DATES2},
        {"time_plus_count", P_PLUS, TIMES, FIVE},
        {"datetime_plus_count", P_PLUS, STAMPS, HOUR},
    };
    PeerTimes numpy = peer_times(BENCH_DIR "/numpy_time.py", "%lld %d", (long long)n, repeat);
    printf("%lld items, best of %d (ms)\n", (long long)n, repeat);
    run_cases(cases, repeat, "numpy", numpy, apply_scalar);
    return 0;
}
