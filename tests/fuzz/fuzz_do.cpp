// libFuzzer target: SQL statements through `do` against a fixed set of
// tables. Each line of the input is one statement, handed to `do` as a
// text. The tables (columns of the simple types, texts, dates and times, a
// keyed table, an enumeration column and an empty table) are built afresh
// for every input, and the workspace is cleared after it, so the query
// layer loads again each time as it does after )clear. The library
// directory holds the library's own "standard" script, which the layer
// copies when it loads.
#include "system/startup.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/arena.h"
#include "fuzz_limits.h"
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

static void discard(const char *) {}

static void run(const std::string &line) {
    std::string buf = line;
    execute_input_line(buf.data());
}

// The statement as a text literal: quotes doubled; bytes a session line
// cannot hold (NUL, line ends) become blanks.
static std::string literal(const std::string &text) {
    std::string q = "'";
    for (char c : text) {
        if (c == 0 || c == '\r') c = ' ';
        q += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return q + "'";
}

// A statement can carry any text into the layer (LOAD TABLE runs its
// argument): those naming the functions that write files, where a name
// holding '/' points anywhere, are left out.
static bool writes_files(const std::string &statement) {
    for (const char *word : {"write", "open", "<<"})
        if (statement.find(word) != std::string::npos) return true;
    return false;
}

static const char *const tables[] = {
    "t<-([] a<-1 2 3 4; i<-5 6 7 8; n<-1 2 3 4; b<-(1 0 1 1)>0; k<-`a`b`a`c; s<-`apple`bee`ant`cow; "
    "v<-1.5 2 3 4; f<-0.5 _1.5 0nf 2.5; c<-'xyzx'; x<-('ab';'a,b';'';'say \"hi\"'); "
    "d<-2024.01.02 2024.02.03 2024.03.04 2025.01.01; m<-10:20 11:30 12:40 0n; g<-`p`q`p`q)",
    "u<-([] g<-`p`q`r; w<-10 20 30)",
    "kt<-([id<-`p`q`r] name<-('pp';'qq';'rr'); w<-1 2 3)",
    "dom<-`x`y`z",
    "e<-([] f<-`dom:`x`y`z`x; h<-4 3 2 1)",
    "empty<-([] a<-0#1; s<-0#`a)",
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = false;
    if (!started) {
        start_fuzz_interpreter(discard);
        std::string cmd = "cp '" VEK_SOURCE_DIR "/library/standard.vkp' " + use_scratch_library("do");
        if (system(cmd.c_str()) != 0) abort();
        started = true;
    }
    arm_runaway_guard(RUNAWAY_MS * 4);   // the layer loads first
    for (const char *line : tables) run(line);
    std::string text((const char *)data, size);
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string statement = text.substr(start, end - start);
        if (statement.size() < 2000 && !writes_files(statement)) run("r<-do " + literal(statement));
        start = end + 1;
    }
    run("r");
    disarm_runaway_guard();
    clear_workspace(0);
    check_value_memory_count();
    return 0;
}
