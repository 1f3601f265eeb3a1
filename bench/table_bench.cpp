// Times table statements through the session entry on 1,000,000-row data
// and runs the pandas script on the same shapes when python3 with pandas is
// there, printing both and the ratio:
//   build   ([] a<-a; b<-b; c<-c; d<-d)      DataFrame of four columns
//   select  t[?m] (half the rows by a mask)   boolean indexing
//   lookup  kt[q], 100,000 keys of 1,000,000  Index.get_indexer
//   join    t ,. kt2[t.k], 1,000 keys         merge(how="left")
//   table_bench [rows] [repeats]
#include <cstdio>
#include <cstdlib>
#include "harness.h"

// A global variable of n items of type, its items to be filled.
static uint64_t seed = 7;
static uint64_t next() { return next_state(seed) >> 17; }

static void make_data(i64 n) {
    i64 *a = (i64 *)make_global("a", T_INT, n), *c = (i64 *)make_global("c", T_INT, n);
    double *b = (double *)make_global("b", T_FLOAT, n);
    i64 *d = (i64 *)make_global("d", T_BOOL, n), *m = (i64 *)make_global("m", T_BOOL, n);
    i64 *keys = (i64 *)make_global("ks", T_INT, n);
    double *vals = (double *)make_global("vals", T_FLOAT, n);
    for (i64 i = 0; i < n; i++) {
        a[i] = i;
        b[i] = (double)(next() % 1000000) / 1e6;
        c[i] = (i64)(next() % 1000);
        d[i] = (i64)(next() & 1);
        m[i] = (i64)(next() & 1);
        keys[i] = i;
        vals[i] = b[i];
    }
    for (i64 i = n - 1; i > 0; i--) {   // a permutation of 0..n-1
        i64 j = (i64)(next() % (uint64_t)(i + 1)), t = keys[i];
        keys[i] = keys[j];
        keys[j] = t;
    }
    i64 *q = (i64 *)make_global("q", T_INT, 100000);
    for (i64 i = 0; i < 100000; i++) q[i] = (i64)(next() % (uint64_t)n);
    i64 *sk = (i64 *)make_global("sk", T_INT, 1000);
    double *sw = (double *)make_global("sw", T_FLOAT, 1000);
    for (i64 i = 0; i < 1000; i++) { sk[i] = i; sw[i] = (double)i / 7; }
}

int main(int argc, char **argv) {
    auto [n, repeat] = begin_bench(argc, argv, 1000000, 7);
    make_data(n);
    run_line("[]IO<-0");
    run_line("t<-([] a<-a; b<-b; c<-c; d<-d)");
    run_line("kt<-([k<-ks] v<-vals)");
    run_line("t2<-([] a<-a; k<-c)");
    run_line("kt2<-([k<-sk] w<-sw)");
    struct { const char *name, *line; } cases[] = {
        {"build", "r<-([] a<-a; b<-b; c<-c; d<-d)"},
        {"select", "r<-t[?m]"},
        {"lookup", "r<-kt[q]"},
        {"join", "r<-t2 ,. kt2[t2.k]"},
    };
    PeerTimes pandas = peer_times(BENCH_DIR "/pandas_tables.py", "%lld %d", (long long)n, repeat);
    printf("%lld rows, best of %d (ms)\n", (long long)n, repeat);
    print_head("pandas");
    for (const auto &c : cases) print_row(c.name, best_line_ms(c.line, repeat), pandas);
    return 0;
}
