// libFuzzer target: the fuzzer's bytes are a workspace file handed to the
// reader. A refused file must leave the loaded workspace untouched, so a
// known variable is set before and checked after every refused load. A
// file that loads is then used as a person would: the lists of names and
// the state indicator are shown, every variable is displayed and every
// function called (a loop in one is stopped by the runaway guard).
#include "system/startup.h"
#include "core/arena.h"
#include "fuzz_limits.h"
#include "core/session.h"
#include "core/tables.h"
#include "system/workspace_file.h"
#include "core/names.h"
#include "core/output.h"
#include "core/workspace.h"
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <string>
#include <unistd.h>

static void discard(const char *) {}
static std::string captured;
static void capture(const char *t) { captured += t; }

static void run_line(const char *text) {
    std::string buf = text;
    execute_input_line(buf.data());
}

// What a line prints, without the prompt.
static std::string shown(const char *line) {
    captured.clear();
    session_print = capture;
    run_line(line);
    session_print = discard;
    if (captured.size() >= 6 && captured.compare(captured.size() - 6, 6, "      ") == 0)
        captured.resize(captured.size() - 6);
    return captured;
}

// Names come from the file; only a plain name is typed, so a damaged entry
// cannot become a command.
static bool plain_name(const char *n) {
    if (!n || !isalpha((unsigned char)n[0])) return false;
    for (; *n; n++)
        if (!isalnum((unsigned char)*n) && *n != '_') return false;
    return true;
}

static void use_loaded_workspace() {
    run_line(")vars");
    run_line(")fns");
    run_line(")si");
    for (i64 g = PREDEFINED_NAMES; g <= lstgx && g < GLOBAL_NAME_CAP; g++)
        if (global_name_table[g].kind == 'V' && plain_name(name_text_by_index(g, 'G')))
            run_line(name_text_by_index(g, 'G'));
    for (i64 g = PREDEFINED_NAMES; g <= lstgx && g < GLOBAL_NAME_CAP; g++) {
        const NameEntry &e = global_name_table[g];
        if (e.kind != 'F' || e.index < FIRST_USER_FUNCTION || e.index >= FUNCTION_CAP) continue;
        const FunctionText *ft = function_table[e.index].text;
        std::string name = name_text_by_index(g, 'G');
        if (!ft || !plain_name(name.c_str())) continue;
        for (const char *form : {"%s", "%s 1", "1 %s 2"}) {
            char line[160];
            snprintf(line, sizeof line, form, name.c_str());
            run_line(line);
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static char path[64];
    if (!path[0]) {
        start_fuzz_interpreter(discard);
        snprintf(path, sizeof path, "/tmp/vek-fuzz-ws-%d.vek", (int)getpid());
    }
    FILE *f = fopen(path, "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    run_line("keep<-1 2 3");
    // The clear after the last input must have left nothing in the way.
    if (shown("keep") != "1 2 3\n") {
        fprintf(stderr, "workspace not clear before the load: keep shows [%s]\n", captured.c_str());
        abort();
    }
    if (load_workspace_file(path) != 0) {
        if (shown("keep") != "1 2 3\n") {   // a refused load lost data
            fprintf(stderr, "refused load changed keep: [%s]\n", captured.c_str());
            abort();
        }
    } else {
        arm_runaway_guard(RUNAWAY_MS);
        use_loaded_workspace();
        disarm_runaway_guard();
    }
    clear_workspace(0);
    check_value_memory_count();
    return 0;
}
