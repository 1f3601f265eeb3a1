// libFuzzer target: the fuzzer's bytes are a script file read and run by
// the line runner, as )FCOPY does. Lines that would end the process or
// write files are the session's concern, so the script text is filtered
// the same way as the session target's. Loops may run for ever: the
// runaway guard interrupts them.
#include "system/startup.h"
#include "core/tables.h"
#include "core/arena.h"
#include "system/scripts.h"
#include "fuzz_limits.h"
#include "core/workspace.h"
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

static void discard(const char *) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir;
    if (dir.empty()) {
        start_fuzz_interpreter(discard);
        dir = use_scratch_library("sc");
    }
    // Commands inside a script reach the dispatcher; keep those that would
    // exit, write files or change directories out of the input.
    std::string text((const char *)data, size);
    std::string kept;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t i = line.find_first_not_of(" \t");
        // the file functions write where a name points and read devices
        // that never end
        bool files = false;
        for (const char *word : {"open", "write", "get", "CSV"}) files = files || line.find(word) != std::string::npos;
        if ((i == std::string::npos || line[i] != ')') && !files) kept += line + "\n";
        start = end + 1;
    }
    std::string path = std::string(dir) + "/f.vkp";
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(kept.data(), 1, kept.size(), f);
    fclose(f);
    char arg[] = "f";
    arm_runaway_guard(RUNAWAY_MS);
    load_script_file(arg, 1);
    disarm_runaway_guard();
    clear_workspace(0);
    check_value_memory_count();
    return 0;
}
