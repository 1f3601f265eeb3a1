// Session line entry: trimming and dispatch of a typed line, immediate
// execution with the error report and caret, the line "->", the brace
// command and the start-up text.
#include "session.h"
#include "output.h"
#include "lexer.h"
#include "scan.h"
#include "errors.h"
#include "tables.h"
#include "arena.h"
#include "names.h"
#include "symbols.h"
#include "evaluator.h"
#include "calls.h"
#include "functions.h"
#include "platform/platform.h"
#include "dispatch.h"
#include "runstate.h"
#include "workspace.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <clocale>

char library_path[120] = "";

static const char PROMPT[] = "      ";

static void print_blanks(i64 n) {
    if (n <= 0) return;
    char *b = (char *)checked_malloc(n + 1);
    memset(b, ' ', (size_t)n);
    b[n] = 0;
    session_print(b);
    free(b);
}

// ---- Error report --------------------------------------------------------------------

void report_error(int64_t number) {
    if (number == 36) { vek_puts("\n"); return; }
    const char *m = error_message(number);
    vek_printf("Error: %s\n", m ? m : "");
}

static void report_immediate_failure(const char *line) {
    report_error(error_number);
    vek_printf("%s%s\n", PROMPT, line);
    vek_puts(PROMPT);
    print_blanks(error_position);
    vek_puts("^\n");
}

static void report_function_failure(i64 f, i64 line) {
    const char *name = name_text_by_index(function_table[f].global_name, 'G');
    char namebuf[NAME_MAX + 1];
    snprintf(namebuf, sizeof namebuf, "%s", name);
    report_error(error_number);
    int prefix = snprintf(nullptr, 0, "%s[%lld]  ", namebuf, (long long)line);
    if (error_position < 0) error_position = 0;
    error_position += prefix;
    FunctionText *text = function_table[f].text;
    const char *source = "";
    if (text) {
        if (error_number == 26) source = old_line_text(text, line);
        else source = source_line_for_work_line(text, line, &error_position);
    }
    vek_printf("%s[%lld]  %s\n", namebuf, (long long)line, source ? source : "");
    if (line < 0) return;
    print_blanks(error_position);
    vek_puts("^\n");
}

// ---- Immediate execution ----------------------------------------------------------------

static int run_immediate(const char *text, int64_t length) {
    error_position = -1;
    error_number = 0;
    pending_si_entries = 1;
    pending_newline = 0;
    if (si_depth + 1 >= SI_CAP && !make_state_indicator_room()) {
        error_number = VEK_TABLE_FULL;
        error_position = 0;
        report_immediate_failure(text);
        return -1;
    }
    state_indicator[si_depth + 1] = {-1, 0};
    mark_suspension_record_empty();
    i64 len = length > 0 ? length - 1 : 0;
    i64 names_before = lstgx;
    if (immediate_depth == 1) line_names_start = lstgx;
    int rc = parse_and_run_text(text, len, -1, 0, 0, 0, &error_position, 1);
    if (immediate_depth == 1) release_unused_names(names_before);
    if (rc == 0 && error_number == 0) {
        if (pending_newline) { vek_puts("\n"); pending_newline = 0; }
        return 0;
    }
    if (error_number == 0) error_number = rc;
    if (error_position < 0) error_position = 0;
    // An output line left open by [) is closed first, or the report would
    // be glued to the value shown.
    if (pending_newline) { vek_puts("\n"); pending_newline = 0; }
    si_depth += pending_si_entries;
    if (si_depth >= SI_CAP) si_depth = SI_CAP - 1;
    i64 f = state_indicator[si_depth].function, line = state_indicator[si_depth].line;
    if (f < 0 || f >= FUNCTION_CAP) report_immediate_failure(text);
    else if (is_query_function(f)) {
        // The layer's own calls are of no use to the user: they are unwound
        // with their locals, and the state indicator keeps the user's.
        vek_puts("error in `do statement\n");
        pop_frames_above(innermost_user_frame());
    } else {
        report_function_failure(f, line);
    }
    return -1;
}

// A run nested in a running statement (the line runner, )LOAD's []LX) keeps
// the outer run's stack end, temporaries, error state and state-indicator
// entries, and puts its own entries above them.
int execute_immediate_line(const char *text, int64_t length) {
    line_start_clock = platform_monotonic_ms();
    if (immediate_depth == 0) {
        immediate_depth++;
        int r = run_immediate(text, length);
        immediate_depth--;
        reset_stack();
        return r;
    }
    EvaluatorState saved;
    save_evaluator_state(&saved);
    i64 depth = si_depth, pending = pending_si_entries;
    si_depth += pending_si_entries;
    immediate_depth++;
    int r = run_immediate(text, length);
    immediate_depth--;
    si_depth = depth;
    pending_si_entries = pending;
    restore_evaluator_state(&saved, 1);
    return r;
}

// ---- The line "->" -----------------------------------------------------------------------

static bool only_blanks(const char *s) { return !*skip_blanks(s); }

// Pops the innermost function entry (passing over query-layer entries) with
// its frame, and the immediate entry below it when that is its line's; an
// immediate entry on top goes alone.
int pop_state_indicator(const char *rest) {
    if (si_depth < 0 || !only_blanks(rest)) return 0;
    i64 k = si_depth;
    if (state_indicator[k].function < 0) {
        pop_frames_above(k - 1);
        return 0;
    }
    while (k >= 0 && state_indicator[k].function >= 0 && is_query_function(state_indicator[k].function)) k--;
    if (k < 0) { pop_frames_above(-1); return 0; }
    i64 new_depth = k - 1;
    if (state_indicator[k].function >= 0 && k >= 1 && state_indicator[k - 1].function < 0) new_depth = k - 2;
    if (new_depth < -1) new_depth = -1;
    pop_frames_above(new_depth);
    return 0;
}

// ---- Brace command -----------------------------------------------------------------------------

static i64 scan_brace_name(const char *text, i64 pos, char *name) {
    i64 n = 0;
    unsigned char c = (unsigned char)text[pos];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) { name[0] = 0; return pos; }
    while (true) {
        c = (unsigned char)text[pos];
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) break;
        if (n < NAME_MAX) name[n++] = (char)c;
        pos++;
    }
    while (n > 0 && name[n - 1] == '_') n--;
    name[n] = 0;
    return pos;
}

void brace_command(const char *text, int echo) {
    i64 pos = skip_blanks(text, 0);
    char name[NAME_MAX + 1];
    pos = scan_brace_name(text, pos, name);
    i64 after = skip_blanks(text, pos);
    if (name[0] && text[after] == '}' && only_blanks(text + after + 1)) {
        i64 g = lookup_name(name, 'G');
        if (g >= 0 && global_name_table[g].kind == 'F') {
            i64 f = global_name_table[g].index;
            if (f >= BUILTIN_FUNCTIONS) {
                if (function_table[f].text) print_function_listing(function_table[f].text, name);
            } else if (echo) {
                vek_printf("%s\n", name);
            }
            return;
        }
        vek_printf("%s\n", name);
        error_number = VEK_DOMAIN;
        return;
    }
    if (text[after] == ':') {
        char defined[NAME_MAX + 1] = "";
        int rc = convert_direct_definition(text, defined);
        if (rc == 0 && error_number == 0) {
            if (echo) vek_printf("%s\n", defined);
            return;
        }
        if (!rc) rc = (int)error_number;
        // A name too long for a function and a full function table are
        // said at the session; other failures show the empty line. The
        // line runner turns any failure of a script's definition into its
        // own error.
        if (echo && (rc == 3 || rc == 84)) {
            report_error(rc);
            error_number = rc;
            return;
        }
        vek_puts("\n");
        error_number = echo ? 0 : rc;
        return;
    }
    vek_puts("\n");
    error_number = VEK_RANK;
}

// ---- Line dispatch -------------------------------------------------------------------------------

void execute_input_line(char *text) {
    char *line = text;
    trim_line_comment(&line);
    if (!line[0]) {
        // nothing runs
    } else if (line[0] == '@' && line[1] == '.') {
        if (open_script_editor_with_text) open_script_editor_with_text(line);
    } else if (line[0] == '{') {
        brace_command(line + 1, 1);
    } else if (line[0] == ')') {
        if (system_command_hook) system_command_hook(line + 1);
    } else if (line[0] == '-' && line[1] == '>') {
        pop_state_indicator(line + 2);
    } else {
        execute_immediate_line(line, (int64_t)strlen(line) + 1);
    }
    if (!prompt_suppress) vek_puts(PROMPT);
}

// ---- Start-up -------------------------------------------------------------------------------------

void print_session_start() {
    vek_printf("Vek %s %s\n", "0.3", "<linux64>");
    char user[1024];
    platform_user_name(user, sizeof user);
    vek_printf("%s %lld cores %lldMB", user, (long long)platform_processor_count(),
               (long long)platform_physical_memory_mb());
    char address[64];
    if (platform_first_ipv4(address, sizeof address)) vek_printf(" %s", address);
    vek_puts(" (2015.08.10)\n");
    vek_printf("%sCLEAR WS\n\n", PROMPT);
    if (!quiet_start) vek_puts(PROMPT);
}

int (*system_command_hook)(char *text) = nullptr;

void init_interpreter() {
    // Without the families every primitive would answer "not yet
    // implemented": a program that forgot start_interpreter must not run.
    if (!register_families) {
        fprintf(stderr, "init_interpreter: no primitive families (call start_interpreter)\n");
        abort();
    }
    ensure_primitives_registered();
    setlocale(LC_NUMERIC, "C");
    quiet_start = 0;
    print_session_start();
    new_chunk_list();
    float_nan = std::nan("");
    float_infinity = HUGE_VAL;
    open_file_count = 0;
    for (i64 i = 0; i < FILE_HANDLE_CAP; i++) file_handle_table[i] = (void *)-1;
    init_symbol_table();
    name_trie_init();
    si_depth = -1;
    lstvxend = LOCALS_TOP;
    lstfx = FIRST_USER_FUNCTION - 1;
    init_interpreter_tables();
}
