// Line overhead of defined functions against CPython, in one run: a while
// loop counting to 1,000,000 (three executed lines per iteration), and a
// loop that reads and writes one item of a 1,000,000-item vector per
// iteration. Prints Vek's time, the peer's and their ratio.
//   while_loop [iterations] [repeats]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>
#include <string>
#include <unistd.h>
#include "system/startup.h"
#include "core/session.h"

static std::string output;
static void capture(const char *text) { output += text; }

static void run(const char *line)
{
    char buf[4096];
    snprintf(buf, sizeof buf, "%s", line);
    output.clear();
    execute_input_line(buf);
}

static std::string trimmed_output()
{
    std::string s = output;
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n')) s.pop_back();
    size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? "" : s.substr(first);
}

// Best of `repeat` runs of `line`, in milliseconds; the output must be `expect`.
static double best_ms(const char *line, const std::string &expect, int repeat)
{
    double best = 1e300;
    for (int r = 0; r < repeat; r++) {
        auto t0 = std::chrono::steady_clock::now();
        run(line);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (trimmed_output() != expect) {
            fprintf(stderr, "%s gave %s, not %s\n", line, trimmed_output().c_str(), expect.c_str());
            exit(1);
        }
        if (ms < best) best = ms;
    }
    return best;
}

static std::map<std::string, double> python_times(long long n, int repeat)
{
    std::map<std::string, double> times;
    char command[512];
    // Debian's interpreter, when another python3 comes first on the path
    const char *python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    snprintf(command, sizeof command, "%s %s %lld %d 2>/dev/null", python, PYTHON_SCRIPT, n, repeat);
    FILE *p = popen(command, "r");
    if (!p) return times;
    char name[64];
    double ms;
    while (fscanf(p, "%63s %lf", name, &ms) == 2) times[name] = ms;
    pclose(p);
    return times;
}

static void report(const char *name, double vek, const std::map<std::string, double> &peer)
{
    auto at = peer.find(name);
    if (at == peer.end()) {
        printf("%-11s vek %8.2f ms   python -\n", name, vek);
        return;
    }
    printf("%-11s vek %8.2f ms   python %8.2f ms   ratio %.2f\n", name, vek, at->second, vek / at->second);
}

int main(int argc, char **argv)
{
    long long n = argc > 1 ? atoll(argv[1]) : 1000000;
    int repeat = argc > 2 ? atoi(argv[2]) : 5;
    session_print = capture;
    quiet_start = 1;
    start_interpreter();
    run("{count: i<-0; while (i<x) i<-i+1; i}");
    run("{bump: i<-1; n<-^x; while (i<=n) { x[i]<-x[i]+1; i<-i+1 }; x[n]}");
    char line[128];
    snprintf(line, sizeof line, "v<-!%lld", n);
    run(line);
    // The peer and Vek take turns, so both meet the same load on the machine.
    std::map<std::string, double> peer;
    double count_ms = 1e300, bump_ms = 1e300;
    snprintf(line, sizeof line, "count %lld", n);
    for (int r = 0; r < repeat; r++) {
        for (const auto &[name, ms] : python_times(n, 1))
            if (!peer.count(name) || ms < peer[name]) peer[name] = ms;
        count_ms = std::min(count_ms, best_ms(line, std::to_string(n), 1));
        // !n counts from 1 under the default origin: the last item ends as n+1
        bump_ms = std::min(bump_ms, best_ms("bump v", std::to_string(n + 1), 1));
    }
    printf("%lld iterations, best of %d\n", n, repeat);
    report("while_loop", count_ms, peer);
    report("index_loop", bump_ms, peer);
    return 0;
}
