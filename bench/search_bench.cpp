// Times membership, index-of, grade, distinct and group through their
// handlers on 1,000,000-item vectors, and runs the numpy and pandas script
// on the same cases when python3 has them, printing both and the ratio
// (Vek's time over theirs: below 1 is faster).
//   search_bench [items] [repeats]
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>
#include "core/arena.h"
#include "core/dispatch.h"
#include "core/session.h"
#include "core/tables.h"
#include "system/startup.h"

static const i64 X = 100, Y = 101, F = 102, K = 103, UX = 104;
static const i64 RESULT = FIRST_TEMP_SLOT;

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void *make_vector(i64 slot, i64 type, i64 n) {
    value_slot_table[slot].type = type;
    if (alloc_slot_value(slot, type, 1, n)) exit(1);
    set_slot_shape(slot, 1, n, n, 0);
    return value_data(&value_slot_table[slot]);
}

// The numpy script's data: integers in 0..n-1, floats in 0..n, keys in
// 0..999, and x without its repeats (in order of first appearance).
static void fill_operands(i64 n) {
    std::mt19937_64 rng(7);
    i64 *x = (i64 *)make_vector(X, T_INT, n), *y = (i64 *)make_vector(Y, T_INT, n);
    i64 *k = (i64 *)make_vector(K, T_INT, n);
    double *f = (double *)make_vector(F, T_FLOAT, n);
    std::vector<char> seen(n);
    std::vector<i64> unique;
    for (i64 i = 0; i < n; i++) {
        x[i] = (i64)(rng() % (uint64_t)n);
        y[i] = (i64)(rng() % (uint64_t)n);
        k[i] = (i64)(rng() % 1000);
        f[i] = (double)(rng() >> 11) / 9007199254740992.0 * (double)n;
        if (!seen[x[i]]) {
            seen[x[i]] = 1;
            unique.push_back(x[i]);
        }
    }
    i64 *u = (i64 *)make_vector(UX, T_INT, (i64)unique.size());
    std::copy(unique.begin(), unique.end(), u);
}

struct Case { const char *name; i64 code; i64 left, right; };

static double best_of(const Case &c, int repeat) {
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        reset_stack();
        double t = now_ms();
        int e = dispatch_primitive(c.code, RESULT, -1, c.left, -1, c.right);
        double dt = now_ms() - t;
        if (e) { fprintf(stderr, "%s failed: %d\n", c.name, e); exit(1); }
        if (dt < best) best = dt;
    }
    return best;
}

static std::map<std::string, double> peer_times(i64 n, int repeat) {
    std::map<std::string, double> times;
    char command[512];
    // The system interpreter carries the distribution's numpy and pandas
    // even when another python3 comes first on the path.
    const char *python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    snprintf(command, sizeof command, "%s %s %lld %d 2>/dev/null", python, PANDAS_SCRIPT, (long long)n, repeat);
    FILE *p = popen(command, "r");
    if (!p) return times;
    char name[64];
    double ms;
    while (fscanf(p, "%63s %lf", name, &ms) == 2) times[name] = ms;
    pclose(p);
    return times;
}

static void discard(const char *) {}

int main(int argc, char **argv) {
    i64 n = argc > 1 ? atoll(argv[1]) : 1000000;
    int repeat = argc > 2 ? atoi(argv[2]) : 7;
    session_print = discard;
    start_interpreter();
    fill_operands(n);
    const Case cases[] = {
        {"index_of", P_INDEX_OF, UX, Y},         {"member", P_MEMBER, X, Y},
        {"grade_float", P_GRADE_UP, -1, F},      {"grade_int", P_GRADE_UP, -1, X},
        {"distinct", P_DISTINCT, -1, X},         {"group", P_GROUP, -1, K},
    };
    std::map<std::string, double> peer = peer_times(n, repeat);
    printf("%lld items, best of %d (ms)\n%-14s %10s %10s %8s\n", (long long)n, repeat, "case", "vek", "peer",
           "ratio");
    for (const Case &c : cases) {
        double t = best_of(c, repeat);
        auto it = peer.find(c.name);
        if (it == peer.end()) printf("%-14s %10.2f %10s %8s\n", c.name, t, "-", "-");
        else printf("%-14s %10.2f %10.2f %8.2f\n", c.name, t, it->second, t / it->second);
    }
    return 0;
}
