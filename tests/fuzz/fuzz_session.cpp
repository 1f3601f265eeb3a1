// libFuzzer target: the fuzzer's bytes are a session of typed lines, split
// at newlines and run one by one; the workspace is cleared between inputs.
// Commands that would end the process, wait for a person or write files are
// skipped: they are tested by the transcripts, not by random input. Loops
// may run for ever: the runaway guard interrupts them.
#include "system/startup.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/arena.h"
#include "fuzz_limits.h"
#include "core/output.h"
#include "core/workspace.h"
#include <cstdint>
#include <cstring>
#include <cctype>
#include <string>
#include <unistd.h>

static void discard(const char *) {}
static int64_t no_input(const char *, char *buf, int64_t) { buf[0] = 0; return 0; }

static bool allowed_command(const std::string &line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
    if (i >= line.size() || line[i] != ')') return true;
    std::string word;
    for (i++; i < line.size() && isalpha((unsigned char)line[i]); i++)
        word += (char)toupper((unsigned char)line[i]);
    static const char *safe[] = {"FNS", "VARS", "SI", "SIC", "INDEX", "CLEAR", "WSID", "GC",
                                 "TRACE", "PWD", "MF", "SU", "IF", "CK", "PT", "ST", nullptr};
    for (int k = 0; safe[k]; k++)
        if (word == safe[k]) return true;
    return false;
}

// The file functions write where a name points (a name holding '/' is used
// as it stands) and read devices that never end: lines naming them are left
// to the transcripts and to the CSV target.
static bool touches_files(const std::string &line) {
    for (const char *word : {"open", "write", "get", "CSV"})
        if (line.find(word) != std::string::npos) return true;
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = false;
    if (!started) {
        ask_input_string = no_input;
        start_fuzz_interpreter(discard);
        strcpy(library_path, "/nonexistent-vek-fuzz");
        started = true;
    }
    arm_runaway_guard(RUNAWAY_MS);
    std::string text((const char *)data, size);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.size() < 4096 && line.find('\0') == std::string::npos && allowed_command(line) && !touches_files(line)) {
            std::string buf = line;
            execute_input_line(buf.data());
        }
        start = end + 1;
    }
    disarm_runaway_guard();
    clear_workspace(0);
    check_value_memory_count();
    return 0;
}
