// Start-up of the console program against CPython's: each run starts the
// program, which reads ")OFF" (Python: an empty program, without site
// packages) and ends. Prints the best wall time of each, the peak resident
// size, and the ratios.
//   startup_bench [runs]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include "harness.h"

static Run best_of(char *const argv[], const char *input, int runs)
{
    Run best = {1e300, 0};
    for (int r = 0; r < runs; r++) {
        Run x = run_child(argv, input);
        if (x.ms < best.ms) best.ms = x.ms;
        if (x.peak_kb > best.peak_kb) best.peak_kb = x.peak_kb;
    }
    return best;
}

int main(int argc, char **argv)
{
    int runs = (int)argument(argc, argv, 1, 20);
    std::string console = console_program();
    char *vek_argv[] = {console.data(), nullptr};
    Run vek = best_of(vek_argv, ")OFF\n", runs);
    printf("start-up, best of %d: vek-console %.2f ms, peak %.1f MB", runs, vek.ms, vek.peak_kb / 1024.0);
    char python[] = "/usr/bin/python3", isolated[] = "-I", nosite[] = "-S", command[] = "-c", empty[] = "";
    char *py_argv[] = {python, isolated, nosite, command, empty, nullptr};
    if (access(python, X_OK) == 0) {
        Run py = best_of(py_argv, "", runs);
        printf("   python %.2f ms, peak %.1f MB   ratio %.2f time, %.2f memory", py.ms, py.peak_kb / 1024.0,
               vek.ms / py.ms, (double)vek.peak_kb / (double)py.peak_kb);
    }
    printf("\n");
    return 0;
}
