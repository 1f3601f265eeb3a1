// Line overhead of defined functions against CPython, in one run: a while
// loop counting to 1,000,000 (three executed lines per iteration), and a
// loop that reads and writes one item of a 1,000,000-item vector per
// iteration. Prints Vek's time, the peer's and their ratio.
//   while_loop [iterations] [repeats]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "harness.h"

// One timed run of `line`, in milliseconds; its output must be `expect`.
static double timed_line(const char *line, const std::string &expect)
{
    double t = now_ms();
    const std::string &printed = run_line(line);
    double ms = now_ms() - t;
    std::string got = printed;
    while (!got.empty() && (got.back() == ' ' || got.back() == '\n')) got.pop_back();
    got.erase(0, std::min(got.size(), got.find_first_not_of(' ')));
    if (got != expect) {
        fprintf(stderr, "%s gave %s, not %s\n", line, got.c_str(), expect.c_str());
        exit(1);
    }
    return ms;
}

int main(int argc, char **argv)
{
    long long n = argument(argc, argv, 1, 1000000);
    int repeat = (int)argument(argc, argv, 2, 5);
    start_quiet();
    run_line("{count: i<-0; while (i<x) i<-i+1; i}");
    run_line("{bump: i<-1; n<-^x; while (i<=n) { x[i]<-x[i]+1; i<-i+1 }; x[n]}");
    std::string make = "v<-!" + std::to_string(n), count = "count " + std::to_string(n);
    run_line(make.c_str());
    // The peer and Vek take turns, so both meet the same load on the machine.
    PeerTimes peer;
    double count_ms = 1e300, bump_ms = 1e300;
    for (int r = 0; r < repeat; r++) {
        for (const auto &[name, ms] : peer_times(BENCH_DIR "/python_loops.py", "%lld 1", n))
            if (!peer.count(name) || ms < peer[name]) peer[name] = ms;
        count_ms = std::min(count_ms, timed_line(count.c_str(), std::to_string(n)));
        // !n counts from 1 under the default origin: the last item ends as n+1
        bump_ms = std::min(bump_ms, timed_line("bump v", std::to_string(n + 1)));
    }
    printf("%lld iterations, best of %d (ms)\n", n, repeat);
    print_head("python");
    print_row("while_loop", count_ms, peer);
    print_row("index_loop", bump_ms, peer);
    return 0;
}
