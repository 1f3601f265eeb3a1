// Times membership, index-of, grade, distinct and group through their
// handlers on 1,000,000-item vectors, and runs the numpy and pandas script
// on the same cases when python3 has them, printing both and the ratio
// (Vek's time over theirs: below 1 is faster).
//   search_bench [items] [repeats]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>
#include "harness.h"

static const i64 X = 100, Y = 101, F = 102, K = 103, UX = 104;

// The peer script's data: integers in 0..n-1, floats in 0..n, keys in
// 0..999, and x without its repeats (in order of first appearance).
static void fill_operands(i64 n) {
    std::mt19937_64 rng(7);
    i64 *x = (i64 *)make_value(X, T_INT, 1, n), *y = (i64 *)make_value(Y, T_INT, 1, n);
    i64 *k = (i64 *)make_value(K, T_INT, 1, n);
    double *f = (double *)make_value(F, T_FLOAT, 1, n);
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
    i64 *u = (i64 *)make_value(UX, T_INT, 1, (i64)unique.size());
    std::copy(unique.begin(), unique.end(), u);
}

int main(int argc, char **argv) {
    auto [n, repeat] = begin_bench(argc, argv, 1000000, 7);
    fill_operands(n);
    const std::vector<Case> cases = {
        {"index_of", P_INDEX_OF, UX, Y},         {"member", P_MEMBER, X, Y},
        {"grade_float", P_GRADE_UP, -1, F},      {"grade_int", P_GRADE_UP, -1, X},
        {"distinct", P_DISTINCT, -1, X},         {"group", P_GROUP, -1, K},
    };
    PeerTimes peer = peer_times(BENCH_DIR "/pandas_search.py", "%lld %d", (long long)n, repeat);
    printf("%lld items, best of %d (ms)\n", (long long)n, repeat);
    run_cases(cases, repeat, "peer", peer);
    return 0;
}
