// libFuzzer target: SQL statements through `do` against a fixed set of
// tables. Each line of the input is one statement, handed to `do` as a
// text; the statements share session lines, as many as a line holds (see
// run_statements). The tables (columns of the simple types, texts, dates and times, a
// keyed table, an enumeration column and an empty table) are built and the
// query layer is loaded once per process; after every input that start
// workspace is put back (start_workspace.h), so an input that redefines or
// erases a table, changes []IO, defines a function or leaves one suspended
// leaves nothing for the next. The library directory holds the library's
// own "standard" script, which the layer copies when it loads.
#include "system/startup.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/arena.h"
#include "core/names.h"
#include "fuzz_limits.h"
#include "start_workspace.h"
#include "core/output.h"
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

static void discard(const char *) {}
static int64_t no_input(const char *, char *buf, int64_t) { buf[0] = 0; return 0; }

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

static StartWorkspace start_ws;

static void build_start_workspace() {
    ask_input_string = no_input;
    start_fuzz_interpreter(discard);
    std::string dir = use_scratch_library("do");
    std::string cmd = "cp '" VEK_SOURCE_DIR "/library/standard.vkp' " + dir;
    if (system(cmd.c_str()) != 0) abort();
    for (const char *line : tables) run(line);
    run("r<-do 'EXEC a FROM t'");   // loads the layer
    if (!query_layer_loaded) abort();
    save_start_workspace(&start_ws, dir + "/start.vek");
}

// Statements run as few session lines as they can, since every line
// compiles the layer's functions afresh, and that is much of what a
// statement costs (a line of many statements takes half the time of as
// many lines). A statement that fails ends its
// line, as it would a line typed at the session, and the statements after
// it go on in a new line. Each statement of a line is followed by setting
// a counter to its number, so the counter tells where a line stopped.
enum : size_t { LINE_TEXT_MAX = 4000 };
static const char done_counter[] = "fz__done";

static std::string counter_line(i64 k) {
    return std::string(done_counter) + "<-" + (k < 0 ? "_" + std::to_string(-k) : std::to_string(k));
}

static i64 statements_done() {
    i64 g = lookup_name(done_counter, 'G');
    if (g < 0 || global_name_table[g].kind != 'V') return -1;
    const ValueDescriptor *d = &value_slot_table[global_name_table[g].index];
    return d->rank >= 0 && d->type == T_INT && is_inline_value(d) ? d->dim0 : -1;
}

static void run_statements(const std::vector<std::string> &calls) {
    i64 next = 0, n = (i64)calls.size();
    while (next < n) {
        std::string line = counter_line(next - 1);
        i64 k = next;
        for (; k < n && (k == next || line.size() + calls[k].size() < LINE_TEXT_MAX); k++)
            line += ";" + calls[k] + ";" + counter_line(k);
        run(line);
        i64 done = statements_done();
        // all done, or the one after the last done failed
        next = done == k - 1 || done < next - 1 || done >= k ? k : done + 2;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = false;
    if (!started) {
        build_start_workspace();
        started = true;
    }
    arm_runaway_guard(RUNAWAY_MS);
    std::string text((const char *)data, size);
    std::vector<std::string> calls;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string statement = text.substr(start, end - start);
        if (statement.size() < 2000 && !writes_files(statement)) calls.push_back("r<-do " + literal(statement));
        start = end + 1;
    }
    run_statements(calls);
    run("r");
    disarm_runaway_guard();
    restore_start_workspace(&start_ws);
    check_value_memory_count();
    return 0;
}
