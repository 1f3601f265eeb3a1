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
#include <string>
#include <unistd.h>
#include "harness.h"
#include "core/session.h"

static uint64_t seed = 7;
static uint64_t next() { return next_state(seed) >> 17; }

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

// Best of `repeat` runs of a shell command; -1 when it fails.
static double best_command(const std::string &command, int repeat) {
    bool failed = false;
    double best = best_ms(repeat, [&] { failed = failed || system(command.c_str()) != 0; });
    return failed ? -1 : best;
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
    long long rows = argument(argc, argv, 1, 1000000);
    int repeat = (int)argument(argc, argv, 2, 3);
    char tmpl[] = "/tmp/vek_csv_bench_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    make_file(dir + "/bench.csv", rows);
    start_quiet();
    snprintf(library_path, sizeof library_path, "%s", dir.c_str());
    double load = best_line_ms("t<-[]CSV ('bench';'IESDL')", repeat);
    double write = best_line_ms("[]write 't.csv'", repeat);
    std::string sqlite = "sqlite3 :memory: 'CREATE TABLE t(i INTEGER, f REAL, s TEXT, d TEXT, t TEXT);' "
                         "'.import --csv --skip 1 " + dir + "/bench.csv t' >/dev/null 2>&1";
    double lite = access("/usr/bin/sqlite3", X_OK) == 0 ? best_command(sqlite, repeat) : -1;
    PeerTimes pandas = peer_times(BENCH_DIR "/pandas_csv.py", "%s/bench.csv %s/pandas.csv %d", dir.c_str(),
                                  dir.c_str(), repeat);
    printf("%lld rows, best of %d (ms)\n%-6s %10s   %-8s %10s %8s\n", rows, repeat, "case", "vek", "peer", "peer",
           "ratio");
    report("load", load, lite, "sqlite3", 1.0);
    report("load", load, pandas.count("read") ? pandas["read"] : -1, "pandas", 2.0);
    report("write", write, pandas.count("write") ? pandas["write"] : -1, "pandas", 1.5);
    std::string clean = "rm -rf " + dir;
    if (system(clean.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());
    return 0;
}
