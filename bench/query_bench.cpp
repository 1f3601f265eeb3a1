// Times SQL statements through `do` on a 1,000,000-row table (a symbol key
// of 1,000 values, two float columns) and runs the peer script on data of
// the same shape, printing both and the ratio:
//   group   SELECT s<-SUM v BY k FROM t        SELECT k,sum(v) FROM t GROUP BY k
//   where   EXEC k,v,w FROM t WHERE v>0.5, w<0.2   ... WHERE v>0.5 AND w<0.2
//   small   EXEC k,v FROM s WHERE v>1 on a three-row table, per statement
// sqlite3 runs on an in-memory database with the rows already inserted;
// pandas groups a categorical key and filters by a mask.
//   query_bench [rows] [repeats]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>
#include "system/startup.h"
#include "core/arena.h"
#include "core/names.h"
#include "core/session.h"
#include "core/symbols.h"
#include "core/tables.h"

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static std::string printed;
static void keep_print(const char *text) { printed += text; }

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
    i64 symbols[1000];
    for (int i = 0; i < 1000; i++) {
        char name[16];
        snprintf(name, sizeof name, "k%d", i);
        symbols[i] = intern_symbol(name);
    }
    i64 *k = (i64 *)global_vector("kk", T_SYMBOL, n);
    double *v = (double *)global_vector("vv", T_FLOAT, n), *w = (double *)global_vector("ww", T_FLOAT, n);
    for (i64 i = 0; i < n; i++) {
        k[i] = symbols[next() % 1000];
        v[i] = (double)(next() % 1000000) / 1e6;
        w[i] = (double)(next() % 1000000) / 1e6;
    }
}

static void run(const char *line) {
    std::string text = line;
    printed.clear();
    execute_input_line(text.data());
    if (printed.find("Error") != std::string::npos || printed.find("error in") != std::string::npos) {
        fprintf(stderr, "%s failed:\n%s\n", line, printed.c_str());
        exit(1);
    }
}

static double best_of(const char *line, int repeat, int times = 1) {
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        double t = now_ms();
        for (int i = 0; i < times; i++) run(line);
        double dt = (now_ms() - t) / times;
        if (dt < best) best = dt;
    }
    return best;
}

static std::map<std::string, double> peer_times(i64 n, int repeat) {
    std::map<std::string, double> times;
    char command[512];
    const char *python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    snprintf(command, sizeof command, "%s %s %lld %d 2>/dev/null", python, PEER_SCRIPT, (long long)n, repeat);
    FILE *p = popen(command, "r");
    if (!p) return times;
    char name[64], peer[64];
    double ms;
    while (fscanf(p, "%63s %63s %lf", name, peer, &ms) == 3) times[std::string(name) + " " + peer] = ms;
    pclose(p);
    return times;
}

int main(int argc, char **argv) {
    i64 n = argc > 1 ? atoll(argv[1]) : 1000000;
    int repeat = argc > 2 ? atoi(argv[2]) : 5;
    session_print = keep_print;
    start_interpreter();
    make_data(n);
    run("t<-([] k<-kk; v<-vv; w<-ww)");
    run("s<-([] k<-`a`b`c; v<-1 2 3.5)");
    run("do 'EXEC k FROM s'");   // loads the layer
    struct Case { const char *name, *line; int times; } cases[] = {
        {"group", "r<-do 'SELECT s<-SUM v BY k FROM t'", 1},
        {"where", "r<-do 'EXEC k,v,w FROM t WHERE v>0.5, w<0.2'", 1},
        {"small", "r<-do 'EXEC k,v FROM s WHERE v>1'", 200},
    };
    std::map<std::string, double> peer = peer_times(n, repeat);
    printf("%lld rows, best of %d (ms)\n%-8s %10s %10s %8s %10s %8s\n", (long long)n, repeat, "case", "vek",
           "sqlite3", "ratio", "pandas", "ratio");
    for (const Case &c : cases) {
        double t = best_of(c.line, repeat, c.times);
        printf("%-8s %10.3f", c.name, t);
        for (const char *p : {"sqlite3", "pandas"}) {
            auto it = peer.find(std::string(c.name) + " " + p);
            if (it == peer.end()) printf(" %10s %8s", "-", "-");
            else printf(" %10.3f %8.2f", it->second, t / it->second);
        }
        printf("\n");
    }
    // A line compiles the layer's functions it calls afresh; within one line
    // (a loop in a defined function) they are compiled once.
    run("{many: i<-0; while (i<x) { r<-do 'EXEC k,v FROM s WHERE v>1'; i<-i+1 }; i}");
    double line = best_of("r<-do 'EXEC k,v FROM s WHERE v>1'", repeat, 200);
    double loop = best_of("many 1000", repeat) / 1000;
    printf("small statements: %.0f per second as session lines, %.0f per second in a function's loop\n",
           1000.0 / line, 1000.0 / loop);
    return 0;
}
