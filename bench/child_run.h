// Runs a child program with text on its standard input and its output
// discarded, and reports its wall time and peak resident size: the
// benchmarks that measure whole processes share it.
#pragma once
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

struct Run { double ms; long peak_kb; };

// Runs argv with `input` on its standard input and its output discarded.
static Run run_once(char *const argv[], const char *input)
{
    int in[2];
    if (pipe(in) != 0) exit(1);
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        close(in[0]);
        close(in[1]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execv(argv[0], argv);
        _exit(127);
    }
    close(in[0]);
    if (write(in[1], input, strlen(input)) < 0) {}
    close(in[1]);
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s did not end cleanly\n", argv[0]);
        exit(1);
    }
    return {ms, usage.ru_maxrss};
}

