// Times bracket indexing, interval and where through their handlers on
// 10,000,000-item values against numpy (fancy indexing, arange,
// flatnonzero) in the same run, and a defined function that assigns
// 100,000 items of a 1,000,000-item vector one at a time.
//   index_bench [items] [picks] [repeats]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include "core/arena.h"
#include "core/dispatch.h"
#include "core/session.h"
#include "core/tables.h"
#include "system/startup.h"

static const i64 X = 100, POSITIONS = 101, MASK = 102, COUNT = 103;
static const i64 RESULT = FIRST_TEMP_SLOT;

static double now_ms() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static i64 *make_vector(i64 slot, i64 type, i64 n) {
    value_slot_table[slot].type = type;
    if (alloc_slot_value(slot, type, n == 1 ? 0 : 1, n)) exit(1);
    set_slot_shape(slot, n == 1 ? 0 : 1, n, n, 0);
    return (i64 *)value_data(&value_slot_table[slot]);
}

static void fill_operands(i64 n, i64 picks) {
    i64 *x = make_vector(X, T_INT, n), *p = make_vector(POSITIONS, T_INT, picks), *m = make_vector(MASK, T_BOOL, n);
    uint64_t s = 7;
    auto next = [&] { return s = s * 6364136223846793005ULL + 1442695040888963407ULL; };
    for (i64 i = 0; i < n; i++) x[i] = (i64)(next() >> 40) % 2000000 - 1000000;
    for (i64 i = 0; i < picks; i++) p[i] = 1 + (i64)((next() >> 16) % (uint64_t)n);   // origin 1
    for (i64 i = 0; i < n; i++) m[i] = (i64)(next() >> 63);
    *make_vector(COUNT, T_INT, 1) = n;
}

struct Case { const char *name; i64 code, left, right; };

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

static std::map<std::string, double> numpy_times(i64 n, i64 picks, int repeat) {
    std::map<std::string, double> times;
    char command[512];
    const char *python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    snprintf(command, sizeof command, "%s %s %lld %lld %d 2>/dev/null", python, NUMPY_SCRIPT, (long long)n,
             (long long)picks, repeat);
    FILE *p = popen(command, "r");
    if (!p) return times;
    char name[64];
    double ms;
    while (fscanf(p, "%63s %lf", name, &ms) == 2) times[name] = ms;
    pclose(p);
    return times;
}

static std::string output;
static void capture(const char *text) { output += text; }

static void run(const char *line) {
    std::string buf = line;
    output.clear();
    execute_input_line(buf.data());
}

// A function loop of single-item assignments: the vector is copied once
// (the argument is shared with the caller), then written in place.
static double assignment_loop(i64 items, i64 assignments) {
    run("{fill: i<-0; while (i<y) { x[i+1]<-i; i<-i+1 }; x}");
    char line[128];
    snprintf(line, sizeof line, "v<-!%lld", (long long)items);
    run(line);
    snprintf(line, sizeof line, "r<-%lld fill v", (long long)assignments);
    double t = now_ms();
    run(line);
    double dt = now_ms() - t;
    run("r[1 2 100000 100001]");
    std::string want = "0 1 99999 100001";
    if (output.find(want) == std::string::npos) {
        fprintf(stderr, "assignment loop gave %s\n", output.c_str());
        exit(1);
    }
    return dt;
}

int main(int argc, char **argv) {
    i64 n = argc > 1 ? atoll(argv[1]) : 10000000;
    i64 picks = argc > 2 ? atoll(argv[2]) : 1000000;
    int repeat = argc > 3 ? atoi(argv[3]) : 7;
    session_print = capture;
    quiet_start = 1;
    start_interpreter();
    fill_operands(n, picks);
    const Case cases[] = {
        {"gather", P_INDEX, X, POSITIONS},
        {"interval", P_INTERVAL, -1, COUNT},
        {"where", P_WHERE, -1, MASK},
    };
    std::map<std::string, double> numpy = numpy_times(n, picks, repeat);
    printf("%lld items, %lld picks, best of %d (ms)\n%-12s %10s %10s %8s\n", (long long)n, (long long)picks, repeat,
           "case", "vek", "numpy", "ratio");
    for (const Case &c : cases) {
        double t = best_of(c, repeat);
        auto it = numpy.find(c.name);
        if (it == numpy.end()) printf("%-12s %10.2f %10s %8s\n", c.name, t, "-", "-");
        else printf("%-12s %10.2f %10.2f %8.2f\n", c.name, t, it->second, t / it->second);
    }
    double loop = 1e300;
    for (int r = 0; r < 3; r++) {
        double t = assignment_loop(1000000, 100000);
        if (t < loop) loop = t;
    }
    printf("assignment loop: 100000 single-item assignments into 1000000 items in %.3f s\n", loop / 1000);
    return 0;
}
