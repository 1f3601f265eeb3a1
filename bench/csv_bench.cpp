// Times loading and writing a CSV file of typed columns (integer, float,
// symbol, date, text; a tenth of the texts quoted with a comma and doubled
// quotes) through the session entry, and the peers on the same file:
// sqlite3's .import into a typed table and pandas read_csv with the types
// given (dates parsed by their format) and to_csv. Prints the times and the
// ratios against the targets: load within sqlite3's time and twice pandas',
// writing within 1.5 times pandas'.
//   csv_bench [rows] [repeats]
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>
#include "system/startup.h"
#include "core/session.h"

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static uint64_t seed = 7;
static uint64_t next() {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return seed >> 17;
}

static void make_file(const std::string &path, long long rows) {
    static const char *words[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta", "iota", "kappa"};
    FILE *f = fopen(path.c_str(), "w");
    if (!f) { perror(path.c_str()); exit(1); }
    fputs("i,f,s,d,t\n", f);
    char b[64];
    for (long long r = 0; r < rows; r++) {
        long long i = (long long)(next() % 2000000000001ULL) - 1000000000000LL;
        double x = (double)(next() % 1000000007) / 1000007.0;
        char *end = std::to_chars(b, b + sizeof b, x).ptr;
        *end = 0;
        std::string text;
        for (int w = 0, n = 1 + (int)(next() % 4); w < n; w++) text += std::string(w ? " " : "") + words[next() % 10];
        if (r % 10 == 0) text = "\"" + text + ", with \"\"quote\"\"\"";
        fprintf(f, "%lld,%s,sym%d,%04d.%02d.%02d,%s\n", i, b, (int)(next() % 1000), 1990 + (int)(next() % 41),
                1 + (int)(next() % 12), 1 + (int)(next() % 28), text.c_str());
    }
    fclose(f);
}

static std::string printed;
static void keep_print(const char *text) { printed += text; }

static void run(const char *line) {
    std::string text = line;
    printed.clear();
    execute_input_line(text.data());
    if (printed.find("Error") != std::string::npos) {
        fprintf(stderr, "%s failed:\n%s\n", line, printed.c_str());
        exit(1);
    }
}

static double best_vek(const char *line, int repeat) {
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        double t = now_ms();
        run(line);
        double dt = now_ms() - t;
        best = dt < best ? dt : best;
    }
    return best;
}

static double best_command(const std::string &command, int repeat) {
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        double t = now_ms();
        if (system(command.c_str()) != 0) return -1;
        double dt = now_ms() - t;
        best = dt < best ? dt : best;
    }
    return best;
}

static std::map<std::string, double> pandas_times(const std::string &dir, int repeat) {
    std::map<std::string, double> times;
    char command[1024];
    const char *python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    snprintf(command, sizeof command, "%s %s %s/bench.csv %s/pandas.csv %d 2>/dev/null", python, PANDAS_SCRIPT,
             dir.c_str(), dir.c_str(), repeat);
    FILE *p = popen(command, "r");
    if (!p) return times;
    char name[64];
    double ms;
    while (fscanf(p, "%63s %lf", name, &ms) == 2) times[name] = ms;
    pclose(p);
    return times;
}

static void report(const char *name, double vek, double peer, const char *peer_name, double target) {
    if (peer <= 0) {
        printf("%-6s %10.1f   %-8s %10s %8s\n", name, vek, peer_name, "-", "-");
        return;
    }
    double ratio = vek / peer;
    printf("%-6s %10.1f   %-8s %10.1f %8.2f  (target %.1f: %s)\n", name, vek, peer_name, peer, ratio, target,
           ratio <= target ? "met" : "MISSED");
}

int main(int argc, char **argv) {
    long long rows = argc > 1 ? atoll(argv[1]) : 1000000;
    int repeat = argc > 2 ? atoi(argv[2]) : 3;
    char tmpl[] = "/tmp/vek_csv_bench_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    make_file(dir + "/bench.csv", rows);
    session_print = keep_print;
    quiet_start = 1;
    start_interpreter();
    snprintf(library_path, sizeof library_path, "%s", dir.c_str());
    double load = best_vek("t<-[]CSV ('bench';'IESDL')", repeat);
    double write = best_vek("[]write 't.csv'", repeat);
    std::string sqlite = "sqlite3 :memory: 'CREATE TABLE t(i INTEGER, f REAL, s TEXT, d TEXT, t TEXT);' "
                         "'.import --csv --skip 1 " + dir + "/bench.csv t' >/dev/null 2>&1";
    double lite = access("/usr/bin/sqlite3", X_OK) == 0 ? best_command(sqlite, repeat) : -1;
    std::map<std::string, double> pandas = pandas_times(dir, repeat);
    printf("%lld rows, best of %d (ms)\n%-6s %10s   %-8s %10s %8s\n", rows, repeat, "case", "vek", "peer", "peer", "ratio");
    report("load", load, lite, "sqlite3", 1.0);
    report("load", load, pandas.count("read") ? pandas["read"] : -1, "pandas", 2.0);
    report("write", write, pandas.count("write") ? pandas["write"] : -1, "pandas", 1.5);
    std::string clean = "rm -rf " + dir;
    if (system(clean.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());
    return 0;
}
