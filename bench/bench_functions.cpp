// Line overhead of defined functions: a function whose while loop adds 1 to
// a counter 1,000,000 times (about 3,000,000 executed lines) must finish in
// well under a second.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
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

int main(int argc, char **argv)
{
    long long n = argc > 1 ? atoll(argv[1]) : 1000000;
    session_print = capture;
    quiet_start = 1;
    start_interpreter();
    run("{count: i<-0; while (i<x) i<-i+1; i}");
    char call[64];
    snprintf(call, sizeof call, "count %lld", n);
    auto t0 = std::chrono::steady_clock::now();
    run(call);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    while (!output.empty() && (output.back() == ' ' || output.back() == '\n')) output.pop_back();
    size_t first = output.find_first_not_of(' ');
    std::string result = first == std::string::npos ? "" : output.substr(first);
    printf("while_loop: %lld iterations in %.3f s (%.0f ns per iteration), result %s\n", n, s,
           s * 1e9 / (double)n, result.c_str());
    return result == std::to_string(n) && s < 1.0 ? 0 : 1;
}
