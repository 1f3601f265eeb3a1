// Runs the examples of one help document and checks that they answer as
// the document shows them:
//   help_examples FIXTURE_DIR DOCUMENT.md
// The document's fenced blocks run in order in one fresh session, whose
// library directory is a scratch copy of FIXTURE_DIR (the files that the
// examples read). The fence's info string, which no reader sees, says what
// a block is:
//   (none)    a session: a line that begins with the six-blank prompt is
//             typed, the lines after it are what it prints (the line right
//             after an "Error:" line is the failing line that the report
//             repeats, not a typed one); blanks at line ends do not count
//   vkp       a script file: loaded with )FLOAD, it must load without error
//   not-run   shown only, never run
#include "session_capture.h"
#include "system/library_path.h"
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

namespace fs = std::filesystem;

static const char PROMPT[] = "      ";

struct Block {
    std::string kind;
    std::vector<std::string> lines;
    int first_line;   // line number of the first line inside the fence
};

static bool starts_with(const std::string &s, const char *p) { return s.rfind(p, 0) == 0; }

static std::string trim_end(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.pop_back();
    return s;
}

static std::vector<Block> read_blocks(const char *path, bool *ok) {
    std::vector<Block> blocks;
    std::ifstream in(path);
    *ok = (bool)in;
    if (!in) fprintf(stderr, "%s: cannot read the document\n", path);
    std::string line;
    bool inside = false;
    for (int n = 1; std::getline(in, line); n++) {
        if (!starts_with(line, "```")) {
            if (inside) blocks.back().lines.push_back(line);
            continue;
        }
        if (inside) {
            inside = false;
            continue;
        }
        inside = true;
        blocks.push_back({trim_end(line.substr(3)), {}, n + 1});
    }
    if (inside) {
        fprintf(stderr, "%s:%d: block not closed\n", path, blocks.back().first_line - 1);
        *ok = false;
    }
    return blocks;
}

// The text a session prints, as lines without their trailing blanks.
static std::vector<std::string> printed_lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(trim_end(text.substr(at, nl - at)));
        at = nl + 1;
    }
    return lines;
}

static std::string joined(const std::vector<std::string> &lines) {
    std::string s;
    for (const auto &l : lines) s += l + "\n";
    return s;
}

// A session block: each typed line runs and must print what follows it.
static int run_session(const Block &b, const char *doc) {
    int failures = 0;
    size_t i = 0;
    if (!b.lines.empty() && !starts_with(b.lines[0], PROMPT)) {
        fprintf(stderr, "%s:%d: a session block must begin with a typed line (six blanks)\n", doc, b.first_line);
        return 1;
    }
    while (i < b.lines.size()) {
        std::string typed = b.lines[i].substr(6);
        int at = b.first_line + (int)i;
        std::vector<std::string> want;
        for (i++; i < b.lines.size(); i++) {
            bool repeated = !want.empty() && starts_with(want.back(), "Error:");
            if (starts_with(b.lines[i], PROMPT) && !repeated) break;
            want.push_back(trim_end(b.lines[i]));
        }
        std::vector<std::string> got = printed_lines(session_capture::run_line(typed));
        if (got != want) {
            failures++;
            fprintf(stderr, "%s:%d: '%s'\n--- the document shows\n%s--- the session prints\n%s---\n", doc, at,
                    typed.c_str(), joined(want).c_str(), joined(got).c_str());
        }
    }
    return failures;
}

// A script block: written to a file in the library and loaded from there.
static int run_script(const Block &b, const char *doc, const fs::path &dir) {
    fs::path file = dir / ("block" + std::to_string(b.first_line) + ".vkp");
    std::ofstream(file) << joined(b.lines);
    std::string got = session_capture::run_line(")FLOAD '" + file.string() + "'");
    if (got.find("Error:") == std::string::npos) return 0;
    fprintf(stderr, "%s:%d: the script does not load\n%s---\n", doc, b.first_line, got.c_str());
    return 1;
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: help_examples FIXTURE_DIR DOCUMENT.md\n");
        return 2;
    }
    const char *doc = argv[2];
    bool ok;
    std::vector<Block> blocks = read_blocks(doc, &ok);
    if (!ok) return 1;
    std::string pattern = (fs::temp_directory_path() / "vek-help-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        perror("mkdtemp");
        return 1;
    }
    fs::path dir = pattern;
    std::error_code ec;
    fs::copy(argv[1], dir, fs::copy_options::recursive, ec);
    if (ec || chdir(dir.c_str()) != 0) {
        fprintf(stderr, "cannot lay out the library %s: %s\n", dir.c_str(), ec.message().c_str());
        return 1;
    }
    session_capture::start_session();
    set_library_path(dir.string());
    int passed = 0, failed = 0;
    for (const Block &b : blocks) {
        int failures;
        if (b.kind.empty()) failures = run_session(b, doc);
        else if (b.kind == "vkp") failures = run_script(b, doc, dir);
        else if (b.kind == "not-run") continue;
        else {
            fprintf(stderr, "%s:%d: unknown kind of block '%s'\n", doc, b.first_line - 1, b.kind.c_str());
            failures = 1;
        }
        failures ? failed++ : passed++;
    }
    fs::remove_all(dir, ec);
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
