// The ")" dispatcher and the system commands: workspace name, listings,
// clearing, the table counters, the state indicator, saving and loading,
// scripts, the library directory, timing and the PCRE2 self test.
#include "core/errors.h"
#include "system/commands.h"
#include "system/scripts.h"
#include "system/workspace_file.h"
#include "core/lexer.h"
#include "core/scan.h"
#include "core/session.h"
#include "core/arena.h"
#include "core/names.h"
#include "core/symbols.h"
#include "core/functions.h"
#include "core/calls.h"
#include "core/evaluator.h"
#include "core/output.h"
#include "core/workspace.h"
#include "core/storage.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <strings.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>
#include <algorithm>
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

char workspace_name[FILE_PATH_MAX + 1];


// ---- Small text helpers --------------------------------------------------------
static void uppercase_in_place(char *p) {
    for (; *p; p++)
        if (*p >= 'a' && *p <= 'z') *p = (char)(*p - 'a' + 'A');
}

// A name at the start of text (letter, then letters, digits, '_'; a
// trailing '_' dropped) into out (NAME_MAX + 1 bytes). Returns the position
// after the name and the blanks behind it, or -1 when no name starts there.
static i64 scan_word(const char *text, char *out) {
    i64 i = 0;
    if (!((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z'))) return -1;
    while (text[i] && (isalnum((unsigned char)text[i]) || text[i] == '_')) i++;
    i64 n = i;
    if (n > 1 && text[n - 1] == '_') n--;
    if (n > NAME_MAX) n = NAME_MAX;
    memcpy(out, text, n);
    out[n] = 0;
    return skip_blanks(text, i);
}

// ---- make_file_path --------------------------------------------------------------
int make_file_path(const char *argument, char *path_out, const char *default_ext) {
    path_out[0] = 0;
    argument = skip_blanks(argument);
    // Cut a "//" comment that stands outside quotes, then trailing blanks.
    std::string arg(argument, (size_t)comment_start(argument));
    while (!arg.empty() && (arg.back() == ' ' || arg.back() == '\t')) arg.pop_back();
    if (arg.empty()) return (int)(error_number = VEK_PATH);
    std::string path;
    if (arg[0] == '\'') {
        size_t n = arg.size();
        if (n < 2 || arg[n - 1] != '\'' || arg[n - 2] == '\'') return (int)(error_number = VEK_PATH);
        path = arg.substr(1, n - 2);
    } else {
        size_t end = 0;
        int depth = 0;
        while (end < arg.size()) {
            char c = arg[end];
            if (c == '\'') { end = skip_quoted(arg, end); continue; }
            if (c == '[') depth++;
            else if (c == ']' && depth > 0) depth--;
            else if (depth == 0 && c == ' ') break;
            end++;
        }
        path = std::string(library_path) + "/" + arg.substr(0, end);
        if (arg.find('.') == std::string::npos) path += std::string(".") + default_ext;
    }
    if (path.empty() || path.size() > (size_t)FILE_PATH_MAX) return (int)(error_number = VEK_PATH);
    memcpy(path_out, path.c_str(), path.size() + 1);
    return 0;
}

// The last component of a path.
static const char *file_name_of(const char *path) {
    const char *base = strrchr(path, '/');
    return base ? base + 1 : path;
}

bool file_name_has_control_character(const char *path) {
    for (const char *c = file_name_of(path); *c; c++)
        if ((unsigned char)*c < 32 || *c == 127) return true;
    return false;
}

void set_workspace_name_from_path(const char *path) {
    const char *base = file_name_of(path);
    size_t n = strcspn(base, ".");
    if (n > FILE_PATH_MAX) n = FILE_PATH_MAX;
    memcpy(workspace_name, base, n);
    workspace_name[n] = 0;
}

void print_file_time(const char *path) {
    struct stat st;
    if (stat(path, &st) != 0) return;
    time_t t = st.st_mtime;
    struct tm local, utc;
    localtime_r(&t, &local);
    gmtime_r(&t, &utc);
    int zone = local.tm_hour - utc.tm_hour;
    if (zone > 12) zone -= 24;
    if (zone < -12) zone += 24;
    vek_printf("%d.%02d.%02d %02d:%02d:%02d (gmt%d)", local.tm_year + 1900, local.tm_mon + 1,
               local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, zone);
}

// ---- The commands -------------------------------------------------------------------
static int cmd_wsid(char *arg) {
    arg = skip_blanks(arg);
    if (!*arg) {
        vek_printf("%s\n", workspace_name[0] ? workspace_name : "CLEAR WS");
        return 0;
    }
    if (!is_valid_identifier(arg)) { report_error(VEK_ILLEGAL_NAME); return (int)(error_number = VEK_ILLEGAL_NAME); }
    if (strlen(arg) > (size_t)WORKSPACE_NAME_MAX) { report_error(VEK_WSID_LENGTH); return (int)(error_number = VEK_WSID_LENGTH); }
    vek_printf("was %s\n", workspace_name[0] ? workspace_name : "CLEAR WS");
    strcpy(workspace_name, arg);
    return 0;
}

static int list_kind(char *arg, char kind) {
    char prefix[NAME_MAX + 1] = "";
    if (scan_word(skip_blanks(arg), prefix) < 0) prefix[0] = 0;
    list_names(prefix, kind, 1);
    return 0;
}
static int cmd_fns(char *arg) { return list_kind(arg, 'F'); }
static int cmd_vars(char *arg) { return list_kind(arg, 'V'); }

static bool has_suffix(const std::string &s, const char *suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

static int cmd_lib(char *arg) {
    arg = skip_blanks(arg);
    DIR *dir = opendir(library_path);
    if (!dir) {
        vek_puts("error in )lib\n");
        return (int)(error_number = VEK_DOMAIN);
    }
    std::vector<std::string> found;
    size_t plen = strlen(arg);
    while (struct dirent *e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() < 5 || !(has_suffix(name, ".vkp") || has_suffix(name, ".txt"))) continue;
        if (plen && strncasecmp(name.c_str(), arg, plen) != 0) continue;
        found.push_back(name);
    }
    closedir(dir);
    // Directory order differs between file systems: sort for a stable listing.
    std::sort(found.begin(), found.end(), [](const std::string &a, const std::string &b) {
        int c = strcasecmp(a.c_str(), b.c_str());
        return c != 0 ? c < 0 : a < b;
    });
    std::vector<const char *> names;
    for (auto &s : found) names.push_back(s.c_str());
    print_name_array(names.data(), (i64)names.size(), 3, 1);
    return 0;
}

static int cmd_clear(char *) {
    workspace_name[0] = 0;
    clear_workspace(1);
    return 0;
}

static int cmd_pwd(char *) {
    std::vector<char> buf(4096);
    if (getcwd(buf.data(), buf.size())) vek_printf("%s\n", buf.data());
    return 0;
}

// The typed line that a state-indicator or trace line number (a line of
// the translated function) came from, so a line that a control structure
// or label was rewritten from shows as the user typed it.
static const char *typed_source_line(const FunctionText *ft, i64 work_line) {
    const char *s = source_line_for_work_line(ft, work_line, nullptr);
    return s ? s : "";
}

static int cmd_si(char *) {
    for (i64 i = si_depth; i >= 0 && i < SI_CAP; i--) {
        i64 f = state_indicator[i].function;
        if (f < 0) { vek_puts("*\n"); continue; }
        if (f >= FUNCTION_CAP || is_query_function(f)) continue;
        const FunctionText *ft = function_table[f].text;
        if (!ft) continue;
        vek_printf("%s[%lld] %s\n", ft->name, (long long)state_indicator[i].line,
                   typed_source_line(ft, state_indicator[i].line));
    }
    return 0;
}

static int cmd_sic(char *) {
    clear_state_indicator();
    return 0;
}

static int cmd_gc(char *) {
    compact_heap();
    return 0;
}

static int cmd_index(char *) {
    vek_printf("lstvx=%6lld, lstgx=%5lld, lstfndx=%5lld, nxtglx=%6lld, lstndx=%6lld\n",
               (long long)lstvx, (long long)lstgx, (long long)lstfndx, (long long)nxtglx, (long long)lstndx);
    vek_printf("lstvx=%6d, lstgx=%5d, lstfndx=%5d, nxtglx=%6d, lstndx=%6d\n", 25480, 2048, 32768, 6553600, 262144);
    vek_puts("\n");
    vek_printf("lstcx=%5lld, lstnx=%5lld, lstfx=%5lld, lstbrx=%5lld, ET.sidx=%5lld\n",
               (long long)lstcx, (long long)lstnx, (long long)lstfx, (long long)lstbrx, (long long)si_depth);
    vek_printf("lstcx=%5d, lstnx=%5d, lstfx=%5d, lstbrx=%5d, ET.sidx=%5d\n", 16384, 10240, 512, 12288, 256);
    vek_puts("\n");
    vek_printf("lstvxend=%5lld, lsttnam=%5lld, dfxstack=%5lld, overflow=%5lld\n",
               (long long)lstvxend, (long long)lsttnam, (long long)dfxstack, (long long)overflow_count);
    vek_printf("lstvxend=%5d, lsttnam=%5d, dfxstack=%5d, overflow=%5d\n", 23460, 10240, 4096, 1024);
    vek_puts("\n");
    i64 total = print_chunk_list();
    vek_printf("  r15=%5lld, stacktop=%5lld, Allocate=%lld\n", (long long)r15, (long long)stacktop, (long long)total);
    vek_puts("\n");
    vek_printf("symbols: max=%5lld, used=%5lld\n", (long long)symbol_table.capacity, (long long)(symbol_table.last + 1));
    vek_puts("---the end of )index---\n");
    return 0;
}

static int cmd_trace(char *arg) {
    arg = skip_blanks(arg);
    i64 n = 20;
    if (*arg && strspn(arg, "0123456789") == strlen(arg)) {
        i64 v = strlen(arg) > 6 ? 100 : atoll(arg);
        if (v != 0) n = std::min<i64>(v, 100);
    }
    const i64 *rec = suspension_record;
    i64 f = suspension_count > 0 ? rec[0] : -1;
    if (f < FIRST_USER_FUNCTION || f >= FUNCTION_CAP || !function_table[f].text || is_query_function(f)) {
        vek_puts("nothing here\n");
    } else {
        const FunctionText *ft = function_table[f].text;
        i64 recorded = std::max<i64>(0, std::min<i64>(suspension_count - 3, 99));
        vek_printf("name[%4lld]: %s\ntotal lines: %3lld", (long long)f, ft->name, (long long)rec[2]);
        vek_puts(" step    line  content\n");
        i64 c = std::min(n, recorded);
        // The newest c steps, oldest first; the first three rows stay out.
        for (i64 k = 3; k < c; k++) {
            i64 idx = recorded - c + k;
            i64 line = rec[3 + idx];
            const char *text = line >= 0 ? typed_source_line(ft, line) : "";
            char row[81];   // a row is cut to 80 characters
            snprintf(row, sizeof row, "[%4lld]  [%3lld]  %s", (long long)(idx + 1), (long long)line, text);
            vek_printf("%s\n", row);
        }
    }
    vek_puts("--trace--version--0.02a--\n");
    return 0;
}

static int cmd_save(char *arg) {
    arg = skip_blanks(arg);
    char path[FILE_PATH_MAX + 1];
    if (!*arg) {
        if (!workspace_name[0]) { report_error(VEK_CLEAR_NOT_SAVED); return 1; }
        std::string p = std::string(library_path) + "/" + workspace_name + ".vek";
        if (p.size() > (size_t)FILE_PATH_MAX) { report_error(VEK_PATH); return 1; }
        strcpy(path, p.c_str());
    } else if (make_file_path(arg, path, "vek")) {
        report_error(VEK_PATH);
        return 1;
    } else if (file_name_has_control_character(path)) {
        report_error(VEK_ILLEGAL_NAME);
        return 1;
    }
    int rc = save_workspace_file(path);
    if (rc) { report_error(rc); return 1; }
    set_workspace_name_from_path(path);
    print_file_time(path);
    vek_printf(" %s\n", workspace_name);
    return 0;
}

static int cmd_load(char *arg) {
    arg = skip_blanks(arg);
    if (!*arg) { report_error(VEK_FILE_NAME_REQUIRED); return 1; }
    char path[FILE_PATH_MAX + 1];
    if (make_file_path(arg, path, "vek")) { report_error(VEK_PATH); return 1; }
    // The reader checks the whole file before it clears anything, so a bad
    // or missing file leaves the current workspace as it was.
    int rc = load_workspace_file(path);
    if (rc) { report_error(rc); return 1; }
    set_workspace_name_from_path(path);
    vek_puts("saved ");
    print_file_time(path);
    vek_puts("\n");
    if (value_slot_table[SLOT_LX].rank >= 0 && value_slot_table[SLOT_LX].count >= 1) {
        static const char latent[] = "!.[]LX";
        execute_immediate_line(latent, (int64_t)sizeof latent);
    }
    return 0;
}

static int cmd_fload(char *arg) { return load_script_file(arg, 0); }
static int cmd_fcopy(char *arg) { return load_script_file(arg, 1); }

static void dump_slot_value(i64 slot) {
    ValueDescriptor *d = &value_slot_table[slot];
    if (d->rank < 0 || d->count <= 0) {
        vek_printf("targ=%lld , type=%lld, dim=%lld , lgth=%lld\n", (long long)slot, (long long)d->type,
                   (long long)d->rank, (long long)d->count);
        return;
    }
    i64 cols = d->count;
    if (d->rank == 2) {
        vek_printf("dim0=%lld, dim1=%lld\n", (long long)d->dim0, (long long)d->dim1);
        cols = d->dim1 > 0 ? d->dim1 : 1;
    }
    void *data = value_data(d);
    std::string out;
    char item[64];
    for (i64 i = 0; i < d->count; i++) {
        if (d->rank == 2 && i % cols == 0) out += "\n";
        switch (d->type) {
        case T_BOOL: case T_INT: case T_SYMBOL: case T_MONTH: case T_DATE: case T_MINUTE: case T_SECOND: case T_TIME:
            snprintf(item, sizeof item, " %lld", (long long)((i64 *)data)[i]); break;
        case T_FLOAT: case T_DATETIME: snprintf(item, sizeof item, " %.15f", ((double *)data)[i]); break;
        case T_CHAR: snprintf(item, sizeof item, "%c", ((char *)data)[i]); break;
        case T_COMPLEX:
            snprintf(item, sizeof item, " %.3fj%0.3f", ((double *)data)[2 * i], ((double *)data)[2 * i + 1]); break;
        default: item[0] = 0; i = d->count; break;
        }
        out += item;
    }
    vek_printf("%s\n", out.c_str());
}

static int cmd_ask(char *arg) {
    char name[NAME_MAX + 3];
    arg = skip_blanks(arg);
    // A system variable: "[]" and its name, as the name tables hold it.
    bool system = arg[0] == '[' && arg[1] == ']';
    if (system) {
        name[0] = '[';
        name[1] = ']';
    }
    if (scan_word(system ? arg + 2 : arg, system ? name + 2 : name) < 0) return 0;
    if (si_depth >= 0) {
        for (i64 k = dfxstack; k >= 0; k--) {
            i64 local = dfxstack_table[k].name;
            if (local < 0 || local > lstnx) continue;
            if (name_entry_equals(&local_name_table[local], name)) {
                i64 slot = local_name_table[local].index;
                if (slot >= 0 && slot < SLOT_COUNT) { dump_slot_value(slot); return 0; }
            }
        }
    }
    i64 g = lookup_name(name, 'G');
    if (g >= 0)
        vek_printf("%s, gname=%lld, val=%c, tag=%lld\n", name, (long long)g, global_name_table[g].kind,
                   (long long)global_name_table[g].index);
    return 0;
}

static int cmd_dir(char *arg) {
    arg = skip_blanks(arg);
    if (!*arg) { vek_printf("%s\n", library_path); return 0; }
    DIR *dir = strlen(arg) < sizeof library_path ? opendir(arg) : nullptr;
    if (!dir) { vek_puts("incorrect path, please check the it.\n"); return 0; }
    closedir(dir);
    vek_printf("Old path: %s\n", library_path);
    strcpy(library_path, arg);
    return 0;
}

static int64_t monotonic_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static int cmd_time(char *arg) {
    int64_t start = monotonic_ms();
    unsigned char outer = prompt_suppress;
    prompt_suppress = 1;
    execute_input_line(arg);
    prompt_suppress = outer;
    if (error_number == 0) vek_printf("%lldms\n", (long long)(monotonic_ms() - start));
    return (int)error_number;
}

static int cmd_like(char *) {
    static const char *const pairs[8][2] = {
        {"h.*$", "how"}, {"h.*$", "hercules"}, {".*h$", "wealth"}, {".*h.*$", "flight"},
        {"J.ne.*$", "Jones"}, {"J.ne.*$", "Joynes"}, {".*[^0-9]$", "M26d"}, {".*[^0-9]$", "Joe999"}};
    for (auto &p : pairs) {
        int code;
        PCRE2_SIZE offset;
        pcre2_code *re = pcre2_compile((PCRE2_SPTR)p[0], PCRE2_ZERO_TERMINATED, 0, &code, &offset, nullptr);
        if (!re) {
            PCRE2_UCHAR msg[256];
            pcre2_get_error_message(code, msg, sizeof msg);
            printf("PCRE2 compilation failed at offset %d: %s\n", (int)offset, (char *)msg);
            fflush(stdout);
            vek_puts("failed1\n");
            continue;
        }
        pcre2_match_data *md = pcre2_match_data_create_from_pattern(re, nullptr);
        int rc = pcre2_match(re, (PCRE2_SPTR)p[1], strlen(p[1]), 0, 0, md, nullptr);
        if (rc >= 0) {
            PCRE2_SIZE *ov = pcre2_get_ovector_pointer(md);
            printf("Match succeed at offset %d\n\n", (int)ov[0]);
            fflush(stdout);
        } else {
            vek_puts("failed2\n");
        }
        pcre2_match_data_free(md);
        pcre2_code_free(re);
    }
    return 0;
}

static int cmd_off(char *) {
    fflush(stdout);
    exit(0);
}

static int cmd_nothing(char *) { return 0; }
static int cmd_ck(char *) { vek_puts("Check code here.\n"); return 0; }
static int cmd_pt(char *) {
    char zero[64];
    snprintf(zero, sizeof zero, "%.17f", 0.0);
    vek_printf("Debug[%s:%4d] %s\n", "vcmd", 1508, zero);
    return 0;
}

// ---- Dispatcher -------------------------------------------------------------------------
// Argument rules: 'A' the text is the argument, 'X' text after the word is
// error 71, 'I' text is ignored. 'R': the command's result becomes error_number.
struct CommandWord {
    const char *word;
    char rule;
    bool result_is_error;
    int (*run)(char *arg);
};

static const CommandWord command_words[] = {
    {"WSID", 'A', false, cmd_wsid},   {"OFF", 'X', false, cmd_off},     {"FNS", 'A', false, cmd_fns},
    {"VARS", 'A', false, cmd_vars},   {"LIB", 'A', false, cmd_lib},     {"CLEAR", 'X', false, cmd_clear},
    {"IF", 'I', false, cmd_nothing},  {"PWD", 'X', false, cmd_pwd},     {"SI", 'X', false, cmd_si},
    {"SIC", 'X', false, cmd_sic},     {"SU", 'X', false, cmd_nothing},  {"MF", 'X', false, cmd_nothing},
    {"GC", 'X', false, cmd_gc},       {"INDEX", 'X', false, cmd_index}, {"TRACE", 'A', false, cmd_trace},
    {"SAVE", 'A', true, cmd_save},    {"LOAD", 'A', true, cmd_load},    {"FLOAD", 'A', true, cmd_fload},
    {"FCOPY", 'A', true, cmd_fcopy},  {"OUT", 'A', true, cmd_out},      {"ASK", 'A', true, cmd_ask},
    {"OPEN", 'X', false, cmd_nothing}, {"ST", 'I', false, cmd_nothing}, {"PT", 'X', false, cmd_pt},
    {"CK", 'I', false, cmd_ck},       {"DIR", 'A', false, cmd_dir},     {"LIKE", 'I', false, cmd_like},
    {"TIME", 'A', false, cmd_time},
};

int system_command(char *text) {
    // commands show and save the tables as lines leave them
    drop_kept_compilations();
    error_number = 0;
    char word[NAME_MAX + 1];
    i64 after = scan_word(text, word);
    if (after < 0) { report_error(VEK_BAD_COMMAND); return (int)(error_number = VEK_BAD_COMMAND); }
    uppercase_in_place(word);
    char *arg = text + after;
    bool has_text = *arg != 0;
    for (const CommandWord &c : command_words) {
        if (strcmp(word, c.word) != 0) continue;
        if (c.rule == 'X' && has_text) { report_error(VEK_BAD_COMMAND); return (int)(error_number = VEK_BAD_COMMAND); }
        int rc = c.run(arg);
        if (c.result_is_error) error_number = rc;
        return (int)error_number;
    }
    report_error(VEK_BAD_COMMAND);
    return (int)(error_number = VEK_BAD_COMMAND);
}
