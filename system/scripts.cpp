// Script files: reading a ".vkp" file into a line list, the line runner
// (statements, system commands, "{" definitions, function blocks between
// "@." lines and variable blocks between "&" lines), and the )OUT writer.
// What the writer produces reads back to the same values: floats with the
// digits they need, quotes doubled, symbols quoted when they must be.
#include "core/errors.h"
#include "system/scripts.h"
#include "system/file_replace.h"
#include "system/commands.h"
#include "core/timecode.h"
#include "core/session.h"
#include "core/names.h"
#include "core/symbols.h"
#include "core/lexer.h"
#include "core/scan.h"
#include "core/valueops.h"
#include "core/keyed.h"
#include "primitives/keyed.h"
#include "primitives/query.h"
#include "platform/platform.h"
#include <cstring>
#include <cstdlib>
#include <cmath>
#include <climits>
#include <clocale>
#include <locale.h>
#include <string>
#include <vector>
#include <deque>
#include <new>
#include <unistd.h>
#include <sys/stat.h>
#include "core/arena.h"
#include "core/interrupt.h"
#include "core/output.h"
#include "core/workspace.h"
#include "core/functions.h"
#include "core/textlines.h"

enum : size_t { SCRIPT_CHECK_BLOCK = 1 << 16 };

unsigned char report_once;
unsigned char script_quiet;
static int script_depth;

// ---- Trimming helpers -----------------------------------------------------------
void trim_right(char *text) {
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\r' || text[n - 1] == '\n')) n--;
    text[n] = 0;
}

void print_file_not_found() { vek_puts("file not found\n"); }

// ---- Reading a file line by line --------------------------------------------------------
// A script file is read a line at a time as the run reaches it, so a script
// of any size needs memory only for the lines still in use. It was read
// once before the run began (check_script_file), so a line the reader
// refuses is found before anything ran or was cleared. A line longer
// than SCRIPT_LINE_MAX, a read error, or memory the system cannot give ends
// the reading; the run then stops there with "reading file error".
struct ScriptSource {
    FILE *file;
    bool failed = false, ended = false;
    std::string raw;

    // The next line as a new node (trailing blanks, tabs and CR cut; a NUL
    // ends its stored text), or null at the end or on a failure.
    TextLine *next_line() {
        if (failed || ended) return nullptr;
        try {
            return read_line();
        } catch (const std::bad_alloc &) {
            failed = true;
            return nullptr;
        }
    }

private:
    TextLine *read_line() {
        raw.clear();
        int c;
        bool any = false;
        while ((c = getc(file)) != EOF) {
            any = true;
            if (c == '\n') break;
            if ((i64)raw.size() >= SCRIPT_LINE_MAX) { failed = true; return nullptr; }
            raw.push_back((char)c);
        }
        if (c == EOF) {
            if (ferror(file)) { failed = true; return nullptr; }
            ended = true;
            if (!any) return nullptr;
        }
        raw.push_back(0);
        trim_right(raw.data());
        size_t n = strlen(raw.data());
        TextLine *t = (TextLine *)calloc(1, sizeof(TextLine));
        char *text = (char *)malloc(n + 1);
        if (!t || !text) {
            free(t);
            free(text);
            failed = true;
            return nullptr;
        }
        memcpy(text, raw.data(), n + 1);
        t->text = text;
        t->capacity = (i64)n;
        t->line = -1;
        return t;
    }
};

// ---- Number and element text -------------------------------------------------------------
static locale_t c_numeric_locale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    return loc;
}

static std::string format_int_text(i64 v) {
    if (v == INT64_MIN) return "0n";
    if (v == INT64_MAX) return "0w";
    if (v == -INT64_MAX) return "_0w";
    char buf[32];
    snprintf(buf, sizeof buf, "%lld", (long long)v);
    if (buf[0] == '-') buf[0] = '_';
    return buf;
}

// The shortest "%.*g" text (at least 15 digits) that reads back exactly.
static std::string format_float_text(double v) {
    if (std::isnan(v)) return "0nf";
    if (std::isinf(v)) return v > 0 ? "0wf" : "_0wf";
    locale_t old = uselocale(c_numeric_locale());
    char buf[64];
    for (int p = 15; p <= 17; p++) {
        snprintf(buf, sizeof buf, "%.*g", p, v);
        if (strtod(buf, nullptr) == v) break;
    }
    uselocale(old);
    std::string out;
    for (size_t i = 0; buf[i]; i++) {
        char c = buf[i];
        if (c == '-') out += '_';
        else if (c == '+') continue;
        else if ((c == 'e') && buf[i + 1]) {
            out += 'e';
            size_t j = i + 1;
            if (buf[j] == '-') { out += '_'; j++; }
            else if (buf[j] == '+') j++;
            while (buf[j] == '0' && buf[j + 1]) j++;
            out += buf + j;
            break;
        } else out += c;
    }
    return out;
}

// Reads one number of the script form at *p: '_' for minus, digits, one
// '.', an exponent with an optional '+' or '_' sign; also 0n 0w _0w and
// their float forms 0nf 0wf _0wf. Returns false when the text is not one.
static bool scan_script_number(const char *&p, bool want_float, i64 *iv, double *fv) {
    const char *s = p;
    bool neg = false;
    if (*s == '_') { neg = true; s++; }
    if (s[0] == '0' && (s[1] == 'n' || s[1] == 'w')) {
        bool null = s[1] == 'n';
        s += 2;
        bool f = false;
        if (*s == 'f') { f = true; s++; }
        if (null && neg) return false;
        if (f && !want_float) return false;
        if (want_float) *fv = null ? NAN : (neg ? -INFINITY : INFINITY);
        else *iv = null ? INT64_MIN : (neg ? -INT64_MAX : INT64_MAX);
        p = s;
        return true;
    }
    if (!isdigit((unsigned char)*s)) return false;
    std::string text = neg ? "-" : "";
    bool is_float = false;
    while (isdigit((unsigned char)*s)) text += *s++;
    if (*s == '.') {
        is_float = true;
        text += *s++;
        while (isdigit((unsigned char)*s)) text += *s++;
    }
    if (*s == 'e' || *s == 'E') {
        is_float = true;
        text += 'e';
        s++;
        if (*s == '+') s++;
        else if (*s == '_') { text += '-'; s++; }
        if (!isdigit((unsigned char)*s)) return false;
        while (isdigit((unsigned char)*s)) text += *s++;
    }
    if (want_float) {
        *fv = strtod_l(text.c_str(), nullptr, c_numeric_locale());
    } else {
        if (is_float) return false;
        errno = 0;
        long long v = strtoll(text.c_str(), nullptr, 10);
        if (errno) return false;
        *iv = v;
    }
    p = s;
    return true;
}

// Time values in their text forms, read back with the literal's checks.
static std::string format_time_text(i64 type, i64 v) {
    char buf[80];
    format_time_value(v, type, buf);
    return buf;
}

static std::string format_datetime_text(double v) {
    char buf[80];
    format_datetime_value(v, buf);
    return buf;
}

static bool scan_time_text(const char *&p, i64 type, i64 *iv, double *fv) {
    i64 n = read_time_text(p, type, iv, fv);
    if (n < 0) return false;
    p += n;
    return true;
}

// Symbols: a backquote and the name; a name holding a blank, a quote, a
// backquote or a control character is quoted with inner quotes doubled.
static std::string format_symbol_text(i64 number) {
    const char *name = symbol_text(number);
    bool quote = false;
    for (const char *c = name; *c; c++)
        if (*c == ' ' || *c == '\'' || *c == '`' || (unsigned char)*c < 32) quote = true;
    if (!quote) return std::string("`") + name;
    std::string out = "`'";
    for (const char *c = name; *c; c++) {
        if (*c == '\'') out += '\'';
        out += *c;
    }
    return out + "'";
}

static bool scan_symbol_text(const char *&p, i64 *number) {
    const char *s = p;
    if (*s != '`') return false;
    s++;
    std::string name;
    if (*s == '\'') {
        s++;
        for (;; s++) {
            if (!*s) return false;
            if (*s == '\'') {
                if (s[1] == '\'') { name += '\''; s++; continue; }
                s++;
                break;
            }
            name += *s;
        }
    } else {
        while (*s && *s != ' ' && *s != '\t' && *s != '`') name += *s++;
    }
    i64 n = intern_symbol(name.c_str());
    if (n < 0) return false;
    *number = n;
    p = s;
    return true;
}

// ---- Writing ---------------------------------------------------------------------------------
// Beyond the type letters: J complex; Y a dictionary or keyed table (its
// one dimension the form), A a table (its one dimension the row count),
// each followed by its two halves as blocks; N an enumeration, its domain's
// name on the first value line, then its positions.
static const char BLOCK_LETTERS[] = "BIECJSLMDZUVTYAN";

static char block_letter(i64 type) {
    if (type == T_COMPLEX) return 'J';
    if (type == T_DICT) return 'Y';
    if (type == T_TABLE) return 'A';
    if (type == T_ENUM) return 'N';
    char c = type_letter(type);
    return c == 'Q' ? 0 : c;
}

static i64 block_type(char letter) {
    if (letter == 'J') return T_COMPLEX;
    if (letter == 'Y') return T_DICT;
    if (letter == 'A') return T_TABLE;
    if (letter == 'N') return T_ENUM;
    if (!strchr(BLOCK_LETTERS, letter)) return -1;
    return type_from_letter(letter);
}

// Values the format has no block for (undefined ones, dictionaries and
// tables whose parts do not fit together, lists holding such) are not
// written at all.
static bool has_block(const ValueDescriptor *d) {
    if (d->rank < 0 || !block_letter(d->type)) return false;
    if (d->type == T_ENUM) return d->rank == 1;
    bool pair = d->type == T_DICT || d->type == T_TABLE;
    if (d->type != T_LIST && !pair) return true;
    if (d->rank != 1 || (pair && !keyed_value_sound(d))) return false;
    const ValueDescriptor *items = (const ValueDescriptor *)d->data;
    for (i64 i = 0; i < (pair ? 2 : d->count); i++)
        if (!has_block(&items[i])) return false;
    return true;
}

static std::string element_text(const ValueDescriptor *d, const void *data, i64 i) {
    switch (d->type) {
    case T_BOOL: case T_INT: return format_int_text(((const i64 *)data)[i]);
    case T_FLOAT: return format_float_text(((const double *)data)[i]);
    case T_COMPLEX:
        return format_float_text(((const double *)data)[2 * i]) + "j" + format_float_text(((const double *)data)[2 * i + 1]);
    case T_SYMBOL: return format_symbol_text(((const i64 *)data)[i]);
    case T_ENUM: return format_int_text(((const i64 *)data)[i]);
    case T_DATETIME: return format_datetime_text(((const double *)data)[i]);
    default: return format_time_text(d->type, ((const i64 *)data)[i]);
    }
}

// A time item whose text reads back as the same item.
static bool time_item_reads_back(i64 type, const void *data, i64 i) {
    std::string text = type == T_DATETIME ? format_datetime_text(((const double *)data)[i])
                                          : format_time_text(type, ((const i64 *)data)[i]);
    const char *p = text.c_str();
    i64 iv = 0;
    double fv = 0;
    if (!scan_time_text(p, type, &iv, &fv) || *p) return false;
    if (type == T_DATETIME) return memcmp(&fv, &((const double *)data)[i], sizeof fv) == 0;
    return iv == ((const i64 *)data)[i];
}

// Whether a value with a block reads back as written: the block reader's
// limits on nesting, rank and item count, booleans 0 or 1, text and symbols
// without the line breaks that would split their lines, time items whose
// text stands for them.
static bool block_reads_back(const ValueDescriptor *d, int depth) {
    if (depth > SCRIPT_DEPTH_MAX || d->rank > SCRIPT_RANK_MAX || d->count > SCRIPT_COUNT_MAX) return false;
    if (d->type == T_DICT || d->type == T_TABLE)
        return block_reads_back(pair_half(d, 0), depth + 1) && block_reads_back(pair_half(d, 1), depth + 1);
    // An enumeration's positions are integers; its domain's name has a line.
    if (d->type == T_ENUM) return !strchr(symbol_text(enum_domain_name(d)), '\n');
    const void *data = value_data((ValueDescriptor *)d);
    for (i64 i = 0; i < d->count; i++) {
        const i64 w = d->type == T_CHAR || d->type == T_LIST ? 0 : ((const i64 *)data)[i];
        switch (d->type) {
        case T_LIST:
            if (!block_reads_back(&((const ValueDescriptor *)data)[i], depth + 1)) return false;
            break;
        case T_BOOL:
            if (w != 0 && w != 1) return false;
            break;
        case T_CHAR: {
            char c = ((const char *)data)[i];
            if (c == '\n' || c == 0) return false;
            break;
        }
        case T_SYMBOL:
            if (strchr(symbol_text(w), '\n')) return false;
            break;
        case T_MONTH: case T_DATE: case T_DATETIME: case T_MINUTE: case T_SECOND: case T_TIME:
            if (!time_item_reads_back(d->type, data, i)) return false;
            break;
        default: break;
        }
    }
    return true;
}

static i64 per_line(i64 type) {
    switch (type) {
    case T_FLOAT: case T_COMPLEX: return 500;
    case T_BOOL: case T_INT: case T_SYMBOL: return 450;
    default: return 30;
    }
}

// Text on its way to a file, written out in pieces.
struct ScriptSink {
    FILE *file;
    std::string text;
    bool failed = false;
    void put(const std::string &s) {
        text += s;
        if (text.size() >= 65536) flush();
    }
    void flush() {
        if (!text.empty() && fwrite(text.data(), 1, text.size(), file) != text.size()) failed = true;
        text.clear();
    }
};

// "&name" (or nothing for a list item), the letter, the rank and the
// dimensions, then the values and the closing "&".
static void write_block(ScriptSink &out, const ValueDescriptor *d, const char *name) {
    char head[64];
    std::string line = name ? std::string("&") + name : std::string();
    snprintf(head, sizeof head, "%s%c %lld", name ? " " : "", block_letter(d->type), (long long)d->rank);
    line += head;
    if (d->type == T_DICT || d->type == T_TABLE) {
        out.put(line + " " + std::to_string((long long)(d->type == T_DICT ? d->spare : table_rows(d))) + "\n");
        for (int k = 0; k < 2; k++) write_block(out, pair_half(d, k), nullptr);
        out.put("&\n");
        return;
    }
    for (i64 k = 0; k < d->rank; k++) line += " " + std::to_string((long long)value_dimension(d, k));
    out.put(line + "\n");
    const void *data = value_data((ValueDescriptor *)d);
    if (d->type == T_ENUM) {
        out.put(format_symbol_text(enum_domain_name(d)) + "\n");
        data = enum_positions(d);
    }
    if (d->type == T_LIST) {
        for (i64 i = 0; i < d->count; i++) write_block(out, &((const ValueDescriptor *)data)[i], nullptr);
    } else if (d->type == T_CHAR) {
        const char *s = (const char *)data;
        for (i64 i = 0; i < d->count; i += 3000) {
            line = "'";
            for (i64 k = i; k < d->count && k < i + 3000; k++) {
                if (s[k] == '\'') line += '\'';
                line += s[k];
            }
            out.put(line + "'\n");
        }
    } else {
        i64 n = per_line(d->type);
        line.clear();
        for (i64 i = 0; i < d->count; i++) {
            line += element_text(d, data, i);
            bool end = i % n == n - 1 || i == d->count - 1;
            line += end ? "\n" : " ";
            if (end) {
                out.put(line);
                line.clear();
            }
        }
    }
    out.put("&\n");
}

int write_variable_text(i64 slot, const char *name, FILE *file) {
    const ValueDescriptor *d = &value_slot_table[slot];
    if (!has_block(d)) return 0;
    // What the reader would refuse or read otherwise is not written.
    if (!block_reads_back(d, 0)) return (int)(error_number = VEK_WRITE_FILE);
    ScriptSink out{file};
    write_block(out, d, name);
    out.flush();
    return out.failed ? (int)(error_number = VEK_PATH) : 0;
}

// A line that begins with "@." would end the block early when read back.
static bool function_block_reads_back(const FunctionText *ft) {
    const TextLine *t = ft->typed ? ft->typed->next : nullptr;
    for (i64 i = 0; i < ft->typed_count && t; i++, t = t->next) {
        const char *s = skip_blanks(t->text ? t->text : "");
        if (i > 0 && s[0] == '@' && s[1] == '.') return false;
    }
    return true;
}

int write_function_block(const FunctionText *ft, FILE *file) {
    if (!function_block_reads_back(ft)) return (int)(error_number = VEK_WRITE_FILE);
    const TextLine *t = ft->typed ? ft->typed->next : nullptr;
    std::string out = "@.";
    for (i64 i = 0; i < ft->typed_count && t; i++, t = t->next) {
        out += t->text ? t->text : "";
        out += "\n";
    }
    out += "@.\n\n";
    if (fwrite(out.data(), 1, out.size(), file) != out.size()) return (int)(error_number = VEK_PATH);
    return 0;
}

static bool is_listed_function(i64 f) {
    return f >= FIRST_USER_FUNCTION && f <= lstfx && function_table[f].text && !is_query_function(f);
}

// Writes one global name's object; 300 for one that would not read back.
static int out_object(i64 g, const char *name, FILE *f) {
    if (global_name_table[g].kind == 'F') return write_function_block(function_table[global_name_table[g].index].text, f);
    return write_variable_text(global_name_table[g].index, name, f);
}

int cmd_out(char *argument) {
    char path[FILE_PATH_MAX + 1];
    char *p = skip_blanks(argument);
    std::string first;
    // A quoted full path may hold blanks: it ends at its closing quote.
    while (*p && !is_blank(*p)) {
        char *past = *p == '\'' ? p + skip_quoted(p, 0) : p + 1;
        first.append(p, past);
        p = past;
    }
    if (make_file_path(first.c_str(), path, "vkp")) { report_error(VEK_PATH); return 76; }
    if (file_name_has_control_character(path)) { report_error(VEK_ILLEGAL_NAME); return VEK_ILLEGAL_NAME; }
    // Written beside the target and renamed over it: a failed )OUT leaves
    // the last good script in place.
    FileReplacement out;
    if (!open_replacement(&out, path)) { report_error(VEK_PATH); return (int)(error_number = VEK_PATH); }
    FILE *f = out.file;
    error_number = 0;
    int refused = 0;
    bool echoed = false;
    p = skip_blanks(p);
    if (!*p) {
        for (i64 fx = FIRST_USER_FUNCTION; fx <= lstfx && !refused; fx++)
            if (is_listed_function(fx)) refused = write_function_block(function_table[fx].text, f) == 300;
        for (i64 g = PREDEFINED_NAMES; g <= lstgx && !refused; g++) {
            if (global_name_table[g].kind != 'V') continue;
            char name[NAME_MAX + 1];
            name_entry_text(&global_name_table[g], name);
            refused = write_variable_text(global_name_table[g].index, name, f) == 300;
        }
    } else {
        // Each name is echoed as it is written, so an unknown name's
        // message follows the names before it on the same line.
        bool stopped = false;
        while (*p && !refused) {
            std::string name;
            while (*p && *p != ' ' && *p != '\t') name += *p++;
            p = skip_blanks(p);
            i64 g = lookup_name(name.c_str(), 'G');
            bool ok = g >= PREDEFINED_NAMES;
            if (ok && global_name_table[g].kind == 'F') ok = is_listed_function(global_name_table[g].index);
            else if (ok && global_name_table[g].kind != 'V') ok = false;
            if (!ok) {
                vek_printf("invalid name found: %s\n", name.c_str());
                error_number = VEK_REPORTED;
                stopped = true;
                break;
            }
            if (out_object(g, name.c_str(), f) == 300) { refused = 1; break; }
            vek_printf(echoed ? " %s" : "%s", name.c_str());
            echoed = true;
        }
        if (!stopped && !refused) vek_puts("\n");
    }
    // An object the reader would not read back as it is stops the write
    // before the file replaces anything.
    if (refused) {
        abandon_replacement(&out);
        if (echoed) vek_puts("\n");
        report_error(VEK_WRITE_FILE);
        return (int)(error_number = VEK_WRITE_FILE);
    }
    // A write that failed anywhere (a full disk shows only at the close)
    // is reported once; the file cannot be trusted.
    if (!commit_replacement(&out)) {
        report_error(VEK_PATH);
        error_number = VEK_PATH;
    }
    return (int)error_number;
}

// ---- Reading blocks ----------------------------------------------------------------------------
// A value read from a block, held in system-heap memory until it is copied
// into its slot.
struct BlockValue {
    ValueDescriptor d{};
    std::vector<char> bytes;
    std::vector<BlockValue> items;
    std::vector<ValueDescriptor> item_descriptors;
};

struct BlockCursor {
    TextLine *line;   // the current line
    i64 index;        // its number in the run (0-based)
    TextLine *last = nullptr;   // the line before it
    // A run of a file: lines are read as the cursor reaches them, and the
    // ones before `keep` (or, without it, before `last`) are freed.
    TextLine *head = nullptr;
    ScriptSource *source = nullptr;
    TextLine *keep = nullptr;
    bool done() const { return line == nullptr; }
    void next() {
        if (source && !line->next) line->next = source->next_line();
        last = line;
        line = line->next;
        index++;
        if (source) forget_old_lines();
    }
    void forget_old_lines() {
        TextLine *stop = keep ? keep : last;
        while (head->next && head->next != stop && head->next != last && head->next != line) {
            TextLine *t = head->next;
            head->next = t->next;
            t->next = nullptr;
            free_text_lines(t);
        }
    }
    std::string text() const {
        std::string s = line->text ? line->text : "";
        size_t a = s.find_first_not_of(" \t");
        s = a == std::string::npos ? std::string() : s.substr(a);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
        return s;
    }
};

static bool parse_block_header(const char *&p, i64 *type, i64 *rank, std::vector<i64> &dims, i64 *count) {
    p = skip_blanks(p);
    *type = block_type(*p);
    if (*type < 0) return false;
    p++;
    p = skip_blanks(p);
    i64 r;
    if (!scan_script_number(p, false, &r, nullptr) || r < 0 || r > SCRIPT_RANK_MAX) return false;
    *rank = r;
    if ((*type == T_LIST || *type > T_TIME) && r != 1) return false;
    i64 n = 1;
    dims.clear();
    for (i64 k = 0; k < r; k++) {
        p = skip_blanks(p);
        i64 v;
        if (!scan_script_number(p, false, &v, nullptr) || v < 0) return false;
        if (v > 0 && n > SCRIPT_COUNT_MAX / v) return false;
        n *= v;
        dims.push_back(v);
    }
    p = skip_blanks(p);
    if (*p) return false;
    *count = n;
    return true;
}

static bool read_block_value(BlockCursor &cur, i64 type, i64 rank, const std::vector<i64> &dims, i64 count,
                             BlockValue &out, int depth);

static void set_shape(ValueDescriptor &d, i64 rank, const std::vector<i64> &dims, i64 count) {
    d.rank = rank;
    d.count = count;
    if (rank == 1) d.dim0 = count;
    if (rank >= 2) { d.dim0 = dims[0]; d.dim1 = dims[1]; }
}

// Reads the value lines of a block (the cursor stands on the line after
// its header) up to and including the closing "&".
static bool read_block_value(BlockCursor &cur, i64 type, i64 rank, const std::vector<i64> &dims, i64 count,
                             BlockValue &out, int depth) {
    if (depth > SCRIPT_DEPTH_MAX) return false;
    out.d = ValueDescriptor{};
    out.d.type = type;
    if (type == T_DICT || type == T_TABLE) {
        // the form or row count, then the two halves
        i64 word = count;
        if (!read_block_value(cur, T_LIST, 1, std::vector<i64>{2}, 2, out, depth)) return false;
        out.d.type = type;
        if (type == T_DICT) out.d.spare = word;
        else out.items[1].d.spare = word;
        return true;
    }
    if (type == T_ENUM) {
        // the domain's name, then the positions as integers
        while (!cur.done() && cur.text().empty()) cur.next();
        if (cur.done()) return false;
        std::string h = cur.text();
        const char *p = h.c_str();
        i64 name;
        if (!scan_symbol_text(p, &name) || *p) return false;
        cur.next();
        BlockValue positions;
        if (!read_block_value(cur, T_INT, 1, dims, count, positions, depth)) return false;
        out.bytes.assign(data_bytes(T_ENUM, count), 0);
        if (count) {
            memcpy(out.bytes.data(), &name, 8);
            memcpy(out.bytes.data() + 16, positions.bytes.data(), 8 * count);
        }
        out.d.spare = name;
        set_shape(out.d, rank, dims, count);
        return true;
    }
    if (type == T_LIST) {
        // Items are added as they are read: the header's count is only a
        // claim until the lines bear it out.
        for (i64 i = 0; i < count; i++) {
            while (!cur.done() && cur.text().empty()) cur.next();
            if (cur.done()) return false;
            std::string h = cur.text();
            const char *p = h.c_str();
            i64 t, r, n;
            std::vector<i64> ds;
            if (!parse_block_header(p, &t, &r, ds, &n)) return false;
            cur.next();
            out.items.emplace_back();
            if (!read_block_value(cur, t, r, ds, n, out.items.back(), depth + 1)) return false;
        }
        while (!cur.done() && cur.text().empty()) cur.next();
        if (cur.done() || cur.text()[0] != '&') return false;
        cur.next();
        set_shape(out.d, rank, dims, count);
        return true;
    }
    i64 size = data_bytes(type, count);
    // The data grows with the elements read, so a header that claims more
    // than the lines hold costs no memory.
    auto room_for = [&](i64 n) {
        i64 need = data_bytes(type, n);
        if ((i64)out.bytes.size() < need)
            out.bytes.resize((size_t)std::min(size, std::max(need, 2 * (i64)out.bytes.size())));
    };
    i64 got = 0;
    for (;; cur.next()) {
        if (cur.done()) return false;
        std::string s = cur.text();
        if (s.empty()) continue;
        if (s[0] == '&') {
            // A short value is reported at its closing line, not the next one.
            if (got != count) return false;
            cur.next();
            break;
        }
        if (type == T_CHAR) {
            if (s.size() < 2 || s[0] != '\'' || s.back() != '\'') return false;
            for (size_t k = 1; k + 1 < s.size(); k++) {
                if (s[k] == '\'' && k + 2 < s.size() && s[k + 1] == '\'') k++;
                if (got >= count) return false;
                room_for(got + 1);
                out.bytes[got++] = s[k];
            }
            continue;
        }
        if (s.back() == '\\') s.pop_back();
        const char *p = s.c_str();
        for (;;) {
            p = skip_blanks(p);
            if (!*p) break;
            if (got >= count) return false;
            room_for(got + 1);
            bool ok;
            i64 *iv = (i64 *)out.bytes.data();
            double *fv = (double *)out.bytes.data();
            switch (type) {
            case T_BOOL: ok = scan_script_number(p, false, &iv[got], nullptr) && (iv[got] == 0 || iv[got] == 1); break;
            case T_INT: ok = scan_script_number(p, false, &iv[got], nullptr); break;
            case T_FLOAT: ok = scan_script_number(p, true, nullptr, &fv[got]); break;
            case T_COMPLEX:
                ok = scan_script_number(p, true, nullptr, &fv[2 * got]) && *p++ == 'j' &&
                     scan_script_number(p, true, nullptr, &fv[2 * got + 1]);
                break;
            case T_SYMBOL: ok = scan_symbol_text(p, &iv[got]); break;
            default: ok = scan_time_text(p, type, &iv[got], &fv[got]); break;
            }
            if (!ok || (*p && *p != ' ' && *p != '\t')) return false;
            got++;
        }
    }
    if (got != count) return false;
    out.bytes.resize(size > 0 ? (size_t)size : 0);
    set_shape(out.d, rank, dims, count);
    return true;
}

// Points the descriptors of a block value at their data (bottom up).
static int finish_block_value(BlockValue &v, i64 rank, const std::vector<i64> &dims) {
    ValueDescriptor &d = v.d;
    if (rank > 2) {
        i64 start;
        if (int rc = shape_pool_append(dims.data() + 1, rank - 1, &start)) return rc;
        d.dim1 = start;
    }
    if (d.type == T_LIST || d.type == T_DICT || d.type == T_TABLE) {
        v.item_descriptors.resize(v.items.size());
        for (size_t i = 0; i < v.items.size(); i++) {
            std::vector<i64> ds;
            for (i64 k = 0; k < v.items[i].d.rank; k++) ds.push_back(value_dimension(&v.items[i].d, k));
            if (int rc = finish_block_value(v.items[i], v.items[i].d.rank, ds)) return rc;
            v.item_descriptors[i] = v.items[i].d;
            fix_inline_pointer(&v.item_descriptors[i]);
        }
        d.data = v.items.empty() ? nullptr : v.item_descriptors.data();
        d.capacity = 0;
        return 0;
    }
    if (d.count == 1 && d.rank <= 1 && is_simple_type(d.type)) {
        if (d.type == T_COMPLEX) memcpy(&d.dim0, v.bytes.data(), 16);
        else if (d.type == T_CHAR) d.dim0 = (unsigned char)v.bytes[0];
        else memcpy(&d.dim0, v.bytes.data(), 8);
        d.data = &d.dim0;
        return 0;
    }
    d.data = d.count > 0 ? v.bytes.data() : nullptr;
    return 0;
}

// Stores a read value under its global name: the name's own slot, or a new
// global variable. Returns 0 or 1.
static int store_block_value(const char *name, BlockValue &v, i64 rank, const std::vector<i64> &dims) {
    i64 g = lookup_name(name, 'G');
    if (g >= 0 && (g < PREDEFINED_NAMES || global_name_table[g].kind != 'V')) return 1;
    if (g >= 0) {
        i64 s = global_name_table[g].index;
        if (s < FIRST_GLOBAL_SLOT || s > lstvx) return 1;
    }
    i64 nxt = nxtglx;
    if (finish_block_value(v, rank, dims)) { shape_pool_truncate(nxt); return 1; }
    if (!keyed_value_sound(&v.d)) return 1;
    if (g < 0) {
        g = add_name_entry(name, 'G');
        if (g < 0) return 1;
    }
    fix_inline_pointer(&v.d);
    if (assign_to_slot(global_name_table[g].index, &v.d)) return 1;
    return 0;
}

static int read_variable_block(BlockCursor &cur) {
    std::string h = cur.text();
    const char *p = h.c_str() + 1;
    p = skip_blanks(p);
    if (!isalpha((unsigned char)*p)) return 1;
    std::string name;
    while (isalnum((unsigned char)*p) || *p == '_') name += *p++;
    while (name.size() > 1 && name.back() == '_') name.pop_back();
    if (name.size() > (size_t)NAME_MAX) return 1;
    i64 type, rank, count;
    std::vector<i64> dims;
    if (!parse_block_header(p, &type, &rank, dims, &count)) return 1;
    cur.next();
    BlockValue v;
    if (!read_block_value(cur, type, rank, dims, count, v, 0)) return 1;
    return store_block_value(name.c_str(), v, rank, dims);
}

// Rebuilds the typed and the non-blank lists of a function's text.
static void set_function_lines(FunctionText *ft, const std::vector<std::string> &lines) {
    if (ft->typed) free_text_lines(ft->typed);
    if (ft->fresh) free_text_lines(ft->fresh);
    ft->typed = new_text_line();
    ft->fresh = new_text_line();
    TextLine *t = ft->typed, *f = ft->fresh;
    i64 fresh = 0;
    for (size_t i = 0; i < lines.size(); i++) {
        t = append_text_line(t, lines[i].c_str());
        t->line = (i64)i;
        std::vector<char> buf(lines[i].begin(), lines[i].end());
        buf.push_back(0);
        char *s = buf.data();
        if (trim_line_comment(&s) > 0) {
            f = append_text_line(f, s);
            f->line = (i64)i;
            fresh++;
        }
    }
    ft->cursor = t;
    ft->typed_count = (i64)lines.size();
    ft->fresh_count = fresh;
}

static int read_function_block(BlockCursor &cur) {
    std::string header = cur.text().substr(2);
    size_t a = header.find_first_not_of(" \t");
    header = a == std::string::npos ? std::string() : header.substr(a);
    cur.next();
    while (!header.empty() && header.back() == '\\') {
        header.pop_back();
        if (cur.done()) return 2;
        header += cur.text();
        cur.next();
    }
    std::vector<std::string> lines{header};
    for (;; cur.next()) {
        if (cur.done()) return 2;
        std::string s = cur.text();
        if (s.compare(0, 2, "@.") == 0) { cur.next(); break; }
        lines.push_back(cur.line->text ? cur.line->text : "");
    }
    i64 f = define_function_from_header(header.c_str());
    if (f < FIRST_USER_FUNCTION || f >= FUNCTION_CAP || !function_table[f].text) {
        error_number = 0;
        return 2;
    }
    set_function_lines(function_table[f].text, lines);
    function_table[f].compiled = 0;
    return 0;
}

static bool starts_variable_block(const std::string &s) {
    if (s.empty() || s[0] != '&') return false;
    size_t k = s.find_first_not_of(" \t", 1);
    return k != std::string::npos && isalpha((unsigned char)s[k]);
}

// Reads blocks one after another: -1 at a line that starts none, 0 at the
// end of the lines, 1 for a bad variable block, 2 for a bad function block.
static int read_object_block(BlockCursor &cur) {
    for (;;) {
        while (!cur.done() && cur.text().empty()) cur.next();
        if (cur.done()) return 0;
        std::string s = cur.text();
        int rc;
        if (s.compare(0, 2, "@.") == 0) rc = read_function_block(cur);
        else if (starts_variable_block(s)) rc = read_variable_block(cur);
        else return -1;
        if (rc) return rc;
    }
}

// ---- The line runner -----------------------------------------------------------------------------
void echo_error_line(const char *line, i64 prefix_length) {
    i64 room = 104 - prefix_length;
    i64 n = (i64)strlen(line);
    if (n < room) vek_printf("%s\n", line);
    else vek_printf("%.*s...\n", (int)(room > 0 ? room : 0), line);
}

// Reports the failure of a run at line `index` (0-based): errors 82, 83 and
// a file that cannot be read are reported here (once per run), the others
// were reported by whatever ran the line; then the location lines.
static int script_failure(const TextLine *line, i64 index, const char *path) {
    i64 err = error_number;
    if (script_quiet) return (int)err;
    if ((err == 82 || err == 83 || err == 301) && report_once) {
        report_error(err);
        report_once = 0;
    }
    if (path) {
        char prefix[40];
        snprintf(prefix, sizeof prefix, "[*ln%lld] ", (long long)(index + 1));
        vek_puts(prefix);
        echo_error_line(line && line->text ? line->text : "", (i64)strlen(prefix));
        vek_printf("-->(%s)\n", path);
    }
    error_number = err;
    return (int)err;
}

static std::string trimmed_line(const TextLine *t) {
    std::vector<char> buf;
    const char *s = t->text ? t->text : "";
    buf.assign(s, s + strlen(s) + 1);
    char *p = buf.data();
    trim_line_comment(&p);
    return p;
}

// Reads the object blocks at the cursor (read_object_block). Memory the
// system cannot give for a value, and a file that cannot be read on, are
// the file's failure: 3.
static int read_blocks(BlockCursor &cur) {
    allocation_may_fail = true;
    allocation_failed = false;
    int rc;
    try {
        rc = read_object_block(cur);
    } catch (const std::bad_alloc &) {
        rc = 3;
    }
    allocation_may_fail = false;
    if (allocation_failed || (cur.source && cur.source->failed)) rc = 3;
    return rc;
}

// A statement with open parentheses goes on in the lines after it; false
// when it grows past what a line may hold or the file fails before its end.
static bool join_statement(BlockCursor &cur, std::string &joined) {
    while (has_open_parenthesis(joined.c_str()) && !cur.done()) {
        joined += trimmed_line(cur.line);
        cur.next();
        if ((i64)joined.size() > SCRIPT_LINE_MAX) return false;
    }
    return !(cur.source && cur.source->failed);
}

static int run_script(TextLine *head, ScriptSource *source, const char *path) {
    report_once = 1;
    error_number = 0;
    BlockCursor cur{head ? head->next : nullptr, 0};
    cur.head = head;
    cur.source = source;
    if (source && !cur.line) cur.line = head->next = source->next_line();
    while (!cur.done()) {
        TextLine *line = cur.line;
        i64 index = cur.index;
        cur.keep = line;
        std::string s = trimmed_line(line);
        if (s.empty()) { cur.next(); continue; }
        if (s.compare(0, 2, "@.") == 0 || starts_variable_block(s)) {
            cur.keep = nullptr;
            int rc = read_blocks(cur);
            if (rc == 1) error_number = VEK_GET_VARIABLE;
            else if (rc == 2) error_number = VEK_GET_FUNCTION;
            else if (rc == 3) error_number = VEK_READ_FILE;
            if (rc <= 0) continue;
            // Where reading stopped; at the end of the lines, the last one.
            line = cur.done() ? cur.last : cur.line;
            index = cur.done() ? cur.index - 1 : cur.index;
        } else if (s[0] == '{') {
            cur.next();
            std::vector<char> buf(s.begin() + 1, s.end());
            buf.push_back(0);
            brace_command(buf.data(), 0);
            if (error_number) error_number = VEK_GET_FUNCTION;
        } else {
            if (!script_quiet) vek_printf("      %s\n", line->text ? line->text : "");
            cur.next();
            if (s[0] == ')') {
                std::vector<char> buf(s.begin() + 1, s.end());
                buf.push_back(0);
                system_command(buf.data());
            } else {
                std::string joined = s;
                if (join_statement(cur, joined)) execute_immediate_line(joined.c_str(), (int64_t)joined.size() + 1);
                else error_number = VEK_READ_FILE;
            }
        }
        if (!error_number) continue;
        return script_failure(line, index, path);
    }
    if (source && source->failed) {
        error_number = VEK_READ_FILE;
        return script_failure(nullptr, cur.index, path);
    }
    if (path && !script_quiet) {
        vek_puts("saved ");
        print_file_time(path);
        vek_puts("\n");
    }
    return 0;
}

int run_lines(TextLine *head, const char *path, i64 longest) {
    (void)longest;
    return run_script(head, nullptr, path);
}

int run_script_text(const char *text, i64 length) {
    TextLine *head = new_text_line(), *tail = head;
    i64 longest = 0, start = 0;
    std::string line;
    while (start <= length) {
        i64 end = start;
        while (end < length && text[end] != '\n') end++;
        i64 a = start, b = end;
        a = skip_blanks(text, a, BLANKS_AND_TABS, b);
        while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t' || text[b - 1] == '\r')) b--;
        line.assign(text + a, (size_t)(b - a));
        tail = append_text_line(tail, line.c_str());
        longest = std::max<i64>(longest, end - start);
        start = end + 1;
    }
    int rc = run_lines(head, nullptr, longest + 1);
    free_text_lines(head);
    return rc;
}

static bool file_exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The line that copies the library script "standard": from the library
// directory when it holds one, else the copy installed beside the program.
static std::string standard_copy_line() {
    const std::string plain = ")fcopy standard";
    char path[FILE_PATH_MAX + 1];
    i64 saved = error_number;
    bool in_library = make_file_path("standard", path, "vkp") == 0 && file_exists(path);
    error_number = saved;
    if (in_library) return plain;
    char dir[FILE_PATH_MAX + 1];
    if (!platform_program_directory(dir, sizeof dir)) return plain;
    std::string shipped = std::string(dir) + "/standard.vkp";
    if (shipped.size() + 2 > (size_t)FILE_PATH_MAX || shipped.find('\'') != std::string::npos ||
        !file_exists(shipped))
        return plain;
    return ")fcopy '" + shipped + "'";
}

static void discard_output(const char *) {}

// The layer's lines are run as they stand, untrimmed, so that its functions
// keep their text as written; every output, a report included, is dropped,
// and the first failure ends the run.
int load_query_script() {
    TextLine *head = new_text_line(), *tail = head;
    i64 longest = 0;
    for (const char *p = query_script_lines; *p;) {
        const char *end = strchr(p, '\n');
        if (!end) end = p + strlen(p);
        std::string line(p, (size_t)(end - p));
        if (line == ")fcopy standard") line = standard_copy_line();
        tail = append_text_line(tail, line.c_str());
        longest = std::max<i64>(longest, (i64)line.size());
        p = *end ? end + 1 : end;
    }
    void (*print)(const char *) = session_print;
    unsigned char quiet = script_quiet;
    session_print = discard_output;
    script_quiet = 1;
    int rc = run_lines(head, nullptr, longest);
    session_print = print;
    script_quiet = quiet;
    free_text_lines(head);
    return rc;
}

// Reads the whole file once, as the run will read it, and rewinds it: 0,
// or VEK_READ_FILE for a line longer than the reader takes or a read that
// failed, or the interrupt's error (looked at between blocks); *failing is
// then the number of lines before the one that failed.
static int check_script_file(FILE *f, i64 *failing) {
    std::vector<char> block(SCRIPT_CHECK_BLOCK);
    i64 lines = 0, length = 0;
    int e = 0;
    while (!e) {
        if (interrupt_requested()) { e = INTERRUPT_ERROR; break; }
        size_t n = fread(block.data(), 1, block.size(), f);
        if (n == 0) {
            if (ferror(f)) e = VEK_READ_FILE;
            break;
        }
        for (const char *p = block.data(), *end = p + n; p < end;) {
            const char *nl = (const char *)memchr(p, '\n', (size_t)(end - p));
            length += (nl ? nl : end) - p;
            if (length > SCRIPT_LINE_MAX) { e = VEK_READ_FILE; break; }
            if (!nl) break;
            lines++;
            length = 0;
            p = nl + 1;
        }
    }
    *failing = lines;
    rewind(f);
    return e;
}

int load_script_file(const char *argument, int copy) {
    char path[FILE_PATH_MAX + 1];
    if (make_file_path(argument, path, "vkp")) {
        if (!script_quiet) report_error(VEK_PATH);
        return 1;
    }
    // Only a regular file: a directory, device or pipe is no script.
    int64_t size = 0;
    bool not_regular = false;
    int fd = open_regular_file(path, &size, &not_regular);
    FILE *f = fd >= 0 ? fdopen(fd, "r") : nullptr;
    if (!f) {
        if (fd >= 0) close(fd);
        if (!script_quiet) report_error(VEK_BAD_PATH_OR_NAME);
        error_number = VEK_BAD_PATH_OR_NAME;
        return 1;
    }
    if (script_depth >= SCRIPT_NESTING_MAX) {
        fclose(f);
        if (!script_quiet) report_error(VEK_STACK_FULL);
        return (int)(error_number = VEK_STACK_FULL);
    }
    // A file the reader refuses is refused before anything runs or is
    // cleared, as a workspace is.
    i64 failing = 0;
    if (int e = check_script_file(f, &failing)) {
        fclose(f);
        error_number = e;
        report_once = 1;
        return script_failure(nullptr, failing, path);
    }
    if (!copy) clear_workspace(1);
    ScriptSource source{f};
    TextLine *head = new_text_line();
    script_depth++;
    int rc = run_script(head, &source, path);
    script_depth--;
    free_text_lines(head);
    fclose(f);
    return rc;
}
