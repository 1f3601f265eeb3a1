// Runs a transcript file: "=== name" starts a case, "> line" is a line as
// typed, other lines are the exact output expected for the line before them
// (the six-blank prompt that ends each line's output is implied), "## " a
// comment. Each case runs in a forked child so it starts from a fresh
// interpreter and a crash fails only that case.
#include "session_capture.h"
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <fstream>
#include <unistd.h>
#include <sys/wait.h>

struct Step { std::string input; std::vector<std::string> expected; int lineno; };
struct Case { std::string name; std::vector<Step> steps; };

static std::vector<Case> read_cases(const char *path) {
    std::vector<Case> cases;
    std::ifstream in(path);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        n++;
        if (line.rfind("=== ", 0) == 0) { cases.push_back({line.substr(4), {}}); continue; }
        if (line.rfind("## ", 0) == 0 || line == "##") continue;
        if (cases.empty()) continue;
        if (line.rfind("> ", 0) == 0 || line == ">") {
            cases.back().steps.push_back({line.size() > 2 ? line.substr(2) : "", {}, n});
            continue;
        }
        if (!cases.back().steps.empty()) cases.back().steps.back().expected.push_back(line);
    }
    // Blank lines just before the next case or at the end separate cases.
    for (auto &c : cases)
        if (!c.steps.empty())
            while (!c.steps.back().expected.empty() && c.steps.back().expected.back().empty())
                c.steps.back().expected.pop_back();
    return cases;
}

// Runs one case in this (child) process; prints differences to stderr.
static int run_case(const Case &c, const char *file) {
    session_capture::start_session();
    int failures = 0;
    for (const Step &s : c.steps) {
        std::string got = session_capture::run_line(s.input);
        std::string want;
        for (const auto &e : s.expected) want += e + "\n";
        if (got != want) {
            failures++;
            fprintf(stderr, "%s:%d: case '%s', line '%s'\n--- expected\n%s--- got\n%s---\n",
                    file, s.lineno, c.name.c_str(), s.input.c_str(), want.c_str(), got.c_str());
        }
    }
    return failures;
}

int main(int argc, char **argv) {
    if (argc < 2) { fprintf(stderr, "usage: transcript_runner FILE.vt [CASE]\n"); return 2; }
    auto cases = read_cases(argv[1]);
    int passed = 0, failed = 0;
    for (const Case &c : cases) {
        if (argc > 2 && c.name != argv[2]) continue;
        fflush(stdout); fflush(stderr);
        pid_t pid = fork();
        if (pid == 0) _exit(run_case(c, argv[1]) ? 1 : 0);
        int status = 0;
        waitpid(pid, &status, 0);
        bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!ok && !WIFEXITED(status))
            fprintf(stderr, "%s: case '%s' crashed (signal %d)\n", argv[1], c.name.c_str(), WTERMSIG(status));
        else if (!ok && WEXITSTATUS(status) != 1)
            fprintf(stderr, "%s: case '%s' exited with %d\n", argv[1], c.name.c_str(), WEXITSTATUS(status));
        ok ? passed++ : failed++;
    }
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
