// Times SQL statements through `do` on a 1,000,000-row table (a symbol key
// of 1,000 values, two float columns) and runs the peer script on data of
// the same shape, printing both and the ratio:
//   group   SELECT s<-SUM v BY k FROM t        SELECT k,sum(v) FROM t GROUP BY k
//   where   EXEC k,v,w FROM t WHERE v>0.5, w<0.2   ... WHERE v>0.5 AND w<0.2
//   small   EXEC k,v FROM s WHERE v>1 on a three-row table, per statement
// sqlite3 runs on an in-memory database with the rows already inserted;
// pandas groups a categorical key and filters by a mask. Each case has a
// row per peer: NAME_sqlite3 and NAME_pandas.
//   query_bench [rows] [repeats]
#include <cstdio>
#include <cstdlib>
#include <string>
#include "harness.h"
#include "core/symbols.h"

static uint64_t seed = 7;
static uint64_t next() { return next_state(seed) >> 17; }

static void make_data(i64 n) {
    i64 symbols[1000];
    for (int i = 0; i < 1000; i++) {
        char name[16];
        snprintf(name, sizeof name, "k%d", i);
        symbols[i] = intern_symbol(name);
    }
    i64 *k = (i64 *)make_global("kk", T_SYMBOL, n);
    double *v = (double *)make_global("vv", T_FLOAT, n), *w = (double *)make_global("ww", T_FLOAT, n);
    for (i64 i = 0; i < n; i++) {
        k[i] = symbols[next() % 1000];
        v[i] = (double)(next() % 1000000) / 1e6;
        w[i] = (double)(next() % 1000000) / 1e6;
    }
}

// Best of `repeat` runs of `times` statements, in milliseconds per statement.
static double best_per_statement(const char *line, int repeat, int times) {
    return best_ms(repeat, [&] { for (int i = 0; i < times; i++) run_line(line); }) / times;
}

int main(int argc, char **argv) {
    auto [n, repeat] = begin_bench(argc, argv, 1000000, 5);
    make_data(n);
    run_line("t<-([] k<-kk; v<-vv; w<-ww)");
    run_line("s<-([] k<-`a`b`c; v<-1 2 3.5)");
    run_line("do 'EXEC k FROM s'");   // loads the layer
    struct { const char *name, *line; int times; } cases[] = {
        {"group", "r<-do 'SELECT s<-SUM v BY k FROM t'", 1},
        {"where", "r<-do 'EXEC k,v,w FROM t WHERE v>0.5, w<0.2'", 1},
        {"small", "r<-do 'EXEC k,v FROM s WHERE v>1'", 200},
    };
    PeerTimes peer = peer_times(BENCH_DIR "/peer_query.py", "%lld %d", (long long)n, repeat);
    printf("%lld rows, best of %d (ms)\n", (long long)n, repeat);
    print_head("peer");
    for (const auto &c : cases) {
        double t = best_per_statement(c.line, repeat, c.times);
        for (const char *p : {"sqlite3", "pandas"}) print_row((std::string(c.name) + "_" + p).c_str(), t, peer);
    }
    // A line compiles the layer's functions it calls afresh; within one line
    // (a loop in a defined function) they are compiled once.
    run_line("{many: i<-0; while (i<x) { r<-do 'EXEC k,v FROM s WHERE v>1'; i<-i+1 }; i}");
    double line = best_per_statement("r<-do 'EXEC k,v FROM s WHERE v>1'", repeat, 200);
    double loop = best_line_ms("many 1000", repeat) / 1000;
    printf("small statements: %.0f per second as session lines, %.0f per second in a function's loop\n",
           1000.0 / line, 1000.0 / loop);
    return 0;
}
