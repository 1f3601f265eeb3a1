// libFuzzer target: the fuzzer's bytes are a workspace file handed to the
// reader. A refused file must leave the loaded workspace untouched, so a
// known variable is set before and checked after every refused load.
#include "core/session.h"
#include "core/tables.h"
#include "system/workspace_file.h"
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

static void discard(const char *) {}
static std::string captured;
static void capture(const char *t) { captured += t; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static char path[64];
    if (!path[0]) {
        session_print = discard;
        init_interpreter();
        snprintf(path, sizeof path, "/tmp/vek-fuzz-ws-%d.vek", (int)getpid());
    }
    FILE *f = fopen(path, "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    char set[] = "keep<-1 2 3";
    execute_input_line(set);
    if (load_workspace_file(path) != 0) {
        captured.clear();
        session_print = capture;
        char show[] = "keep";
        execute_input_line(show);
        session_print = discard;
        if (captured.rfind("1 2 3\n", 0) != 0) abort();   // a refused load lost data
    }
    clear_workspace(0);
    return 0;
}
