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
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>
#include "system/startup.h"
#include "core/arena.h"
#include "core/names.h"
#include "core/session.h"
#include "core/tables.h"

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static std::string printed;
static void keep_print(const char *text) { printed += text; }

// A global variable of n items of type, its items to be filled.
static void *global_vector(const char *name, i64 type, i64 n) {
    i64 g = lookup_name(name, 'G');
    if (g < 0) g = add_name_entry(name, 'G');
    i64 slot = global_name_table[g].index;
    value_slot_table[slot].type = type;
    if (alloc_slot_value(slot, type, 1, n)) exit(1);
    set_slot_shape(slot, 1, n, n, 0);
    return value_data(&value_slot_table[slot]);
}

static uint64_t seed = 7;
static uint64_t next() {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return seed >> 17;
}

static void make_data(i64 n) {
    i64 *a = (i64 *)global_vector("a", T_INT, n), *c = (i64 *)global_vector("c", T_INT, n);
    double *b = (double *)global_vector("b", T_FLOAT, n);
    i64 *d = (i64 *)global_vector("d", T_BOOL, n), *m = (i64 *)global_vector("m", T_BOOL, n);
    i64 *keys = (i64 *)global_vector("ks", T_INT, n);
    double *vals = (double *)global_vector("vals", T_FLOAT, n);
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
    i64 *q = (i64 *)global_vector("q", T_INT, 100000);
    for (i64 i = 0; i < 100000; i++) q[i] = (i64)(next() % (uint64_t)n);
    i64 *sk = (i64 *)global_vector("sk", T_INT, 1000);
    double *sw = (double *)global_vector("sw", T_FLOAT, 1000);
    for (i64 i = 0; i < 1000; i++) { sk[i] = i; sw[i] = (double)i / 7; }
}

static void run(const char *line) {
    std::string text = line;
    printed.clear();
    execute_input_line(text.data());
    if (printed.find("Error") != std::string::npos) {
        fprintf(stderr, "%s failed:\n%s\n", line, printed.c_str());
        exit(1);
    }
}

static double best_of(const char *line, int repeat) {
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        double t = now_ms();
        run(line);
        double dt = now_ms() - t;
        if (dt < best) best = dt;
    }
    return best;
}

static std::map<std::string, double> pandas_times(i64 n, int repeat) {
    std::map<std::string, double> times;
    char command[512];
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

int main(int argc, char **argv) {
    i64 n = argc > 1 ? atoll(argv[1]) : 1000000;
    int repeat = argc > 2 ? atoi(argv[2]) : 7;
    session_print = keep_print;
    start_interpreter();
    make_data(n);
    run("[]IO<-0");
    run("t<-([] a<-a; b<-b; c<-c; d<-d)");
    run("kt<-([k<-ks] v<-vals)");
    run("t2<-([] a<-a; k<-c)");
    run("kt2<-([k<-sk] w<-sw)");
    struct Case { const char *name, *line; } cases[] = {
        {"build", "r<-([] a<-a; b<-b; c<-c; d<-d)"},
        {"select", "r<-t[?m]"},
        {"lookup", "r<-kt[q]"},
        {"join", "r<-t2 ,. kt2[t2.k]"},
    };
    std::map<std::string, double> peer = pandas_times(n, repeat);
    printf("%lld rows, best of %d (ms)\n%-10s %10s %10s %8s\n", (long long)n, repeat, "case", "vek", "pandas", "ratio");
    for (const Case &c : cases) {
        double t = best_of(c.line, repeat);
        auto it = peer.find(c.name);
        if (it == peer.end()) printf("%-10s %10.2f %10s %8s\n", c.name, t, "-", "-");
        else printf("%-10s %10.2f %10.2f %8.2f\n", c.name, t, it->second, t / it->second);
    }
    return 0;
}
