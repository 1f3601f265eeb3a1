// Times time arithmetic through the scalar functions' handler on
// 10,000,000-item vectors (dates, times of day, datetimes; a single count
// or a count per item), and runs numpy's datetime64 plus timedelta64 on the
// same cases when python3 with numpy is there, printing both and the ratio.
//   time_bench [items] [repeats]
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>
#include "core/arena.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/timecode.h"
#include "primitives/scalar.h"

static const i64 DATES = 100, DATES2 = 101, COUNTS = 102, TIMES = 103, STAMPS = 104, FIVE = 105, HOUR = 106;
static const i64 RESULT = FIRST_TEMP_SLOT;

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void *make_vector(i64 slot, i64 type, i64 n) {
    value_slot_table[slot].type = type;
    if (alloc_slot_value(slot, type, n == 1 ? 0 : 1, n)) exit(1);
    set_slot_shape(slot, n == 1 ? 0 : 1, n, n, 0);
    return value_data(&value_slot_table[slot]);
}

static uint64_t seed = 7;
static i64 next_random(i64 below) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return (i64)((seed >> 33) % (uint64_t)below);
}

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

struct Case { const char *name; i64 code; i64 left, right; };

static double best_of(const Case &c, int repeat) {
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        reset_stack();
        double t = now_ms();
        int e = scalar_dyadic(c.code, RESULT, -1, c.left, -1, c.right);
        double dt = now_ms() - t;
        if (e) { fprintf(stderr, "%s failed: %d\n", c.name, e); exit(1); }
        if (dt < best) best = dt;
    }
    return best;
}

static std::map<std::string, double> numpy_times(i64 n, int repeat) {
    std::map<std::string, double> times;
    char command[512];
    const char *python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    snprintf(command, sizeof command, "%s %s %lld %d 2>/dev/null", python, NUMPY_SCRIPT, (long long)n, repeat);
    FILE *p = popen(command, "r");
    if (!p) return times;
    char name[64];
    double ms;
    while (fscanf(p, "%63s %lf", name, &ms) == 2) times[name] = ms;
    pclose(p);
    return times;
}

static void print_line(const char *text) { fputs(text, stdout); }

int main(int argc, char **argv) {
    i64 n = argc > 1 ? atoll(argv[1]) : 10000000;
    int repeat = argc > 2 ? atoi(argv[2]) : 7;
    session_print = print_line;
    init_interpreter_tables();
    fill_operands(n);
    const Case cases[] = {
        {"date_plus_count", P_PLUS, DATES, FIVE},
        {"date_plus_counts", P_PLUS, DATES, COUNTS},
        {"date_minus_date", P_MINUS, DATES, DATES2},
        {"time_plus_count", P_PLUS, TIMES, FIVE},
        {"datetime_plus_count", P_PLUS, STAMPS, HOUR},
    };
    std::map<std::string, double> numpy = numpy_times(n, repeat);
    printf("%lld items, best of %d (ms)\n%-22s %10s %10s %8s\n", (long long)n, repeat, "case", "vek", "numpy", "ratio");
    for (const Case &c : cases) {
        double t = best_of(c, repeat);
        auto it = numpy.find(c.name);
        if (it == numpy.end()) printf("%-22s %10.2f %10s %8s\n", c.name, t, "-", "-");
        else printf("%-22s %10.2f %10.2f %8.2f\n", c.name, t, it->second, t / it->second);
    }
    return 0;
}
