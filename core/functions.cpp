// The function text store: FunctionText records and their three line lists,
// the brace listing, the mapping from a translated line back to the line
// the user typed, the functions a header line makes, and direct
// definitions.
#include "errors.h"
#include "functions.h"
#include "lexer.h"
#include "scan.h"
#include "textlines.h"
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "names.h"
#include "output.h"

// ---- Records ----------------------------------------------------------------------

int init_function_text(FunctionText *ft, const char *name)
{
    if (strlen(name) > (size_t)FUNCTION_NAME_MAX) return (int)(error_number = VEK_DEFN);
    ft->reserved = 0;
    strcpy(ft->name, name);
    ft->typed = new_text_line();
    ft->fresh = new_text_line();
    ft->work = new_text_line();
    ft->cursor = ft->typed;
    ft->typed_count = ft->fresh_count = ft->work_count = 0;
    return 0;
}

FunctionText *new_function_text(const char *name)
{
    FunctionText *ft = (FunctionText *)calloc(1, sizeof(FunctionText));
    if (!ft) { fputs("* no sufficient memory *\n", stdout); exit(1); }
    if (init_function_text(ft, name)) { free(ft); return nullptr; }
    return ft;
}

void free_function_text(FunctionText *ft)
{
    if (!ft) return;
    if (ft->typed) free_text_lines(ft->typed);
    if (ft->fresh) free_text_lines(ft->fresh);
    if (ft->work) free_text_lines(ft->work);
    free(ft);
}

FunctionText *function_text_of(i64 row)
{
    if (row < FIRST_USER_FUNCTION || row > lstfx || row >= FUNCTION_CAP) return nullptr;
    return function_table[row].text;
}

// ---- Lines --------------------------------------------------------------------------

static const char *line_text(const TextLine *t) { return t && t->text ? t->text : ""; }

int set_header_line(FunctionText *ft, const char *header)
{
    if (strlen(header) > (size_t)FUNCTION_LINE_MAX) return (int)(error_number = VEK_DEFN);
    if (!ft->typed) ft->typed = new_text_line();
    TextLine *t = ensure_text_line(ft->typed, 0);
    set_text_line(t, header);
    t->line = 0;
    if (ft->typed_count < 1) ft->typed_count = 1;
    return 0;
}

int set_typed_line(FunctionText *ft, i64 i, const char *text)
{
    if (i < 1) return (int)(error_number = VEK_DOMAIN);
    if (strlen(text) > (size_t)FUNCTION_LINE_MAX) return (int)(error_number = VEK_DEFN);
    if (!ft->typed) ft->typed = new_text_line();
    TextLine *t = ensure_text_line(ft->typed, i);
    set_text_line(t, text);
    t->line = i;
    ft->cursor = t;
    ft->typed_count = i + 1;
    return 0;
}

int append_typed_line(FunctionText *ft, const char *text)
{
    return set_typed_line(ft, ft->typed_count < 1 ? 1 : ft->typed_count, text);
}

// Cuts leading and trailing blanks and a "//" comment outside quotes.
static std::string trim_comment(const char *text)
{
    const char *p = skip_blanks(text);
    size_t end = (size_t)comment_start(p);
    while (end > 0 && (p[end - 1] == ' ' || p[end - 1] == '\t' || p[end - 1] == '\r' ||
                       p[end - 1] == '\n'))
        end--;
    return std::string(p, end);
}

i64 copy_nonblank_lines(TextLine *dst, const TextLine *src, i64 n)
{
    const TextLine *s = src->next;
    TextLine *d = dst;
    i64 appended = 0;
    for (i64 i = 0; i < n && s; i++, s = s->next) {
        const char *text = line_text(s);
        if (strlen(text) > (size_t)FUNCTION_LINE_MAX) { error_number = VEK_DEFN; return -1; }
        std::string t = trim_comment(text);
        if (t.empty()) continue;
        if (!d->next) d->next = new_text_line();
        d = d->next;
        set_text_line(d, t.c_str());
        d->line = i;
        appended++;
    }
    return appended;
}

int rebuild_fresh_lines(FunctionText *ft)
{
    if (!ft->fresh) ft->fresh = new_text_line();
    i64 n = copy_nonblank_lines(ft->fresh, ft->typed, ft->typed_count);
    if (n < 0) return (int)error_number;
    ft->fresh_count = n;
    ft->work_count = 0;
    return 0;
}

const char *work_line_text(const FunctionText *ft, i64 i)
{
    if (i < 0 || i >= ft->work_count) return "";
    return line_text(text_line_at(ft->work, i));
}

const char *old_line_text(const FunctionText *ft, i64 i)
{
    if (i < 0 || i >= ft->typed_count) return ft->name;
    return skip_blanks(line_text(text_line_at(ft->typed, i)));
}

i64 typed_line_for_work_line(const FunctionText *ft, i64 i)
{
    i64 fresh_index = i;
    if (ft->work_count > 0) {
        if (i < 0 || i >= ft->work_count) i = 0;
        const TextLine *w = text_line_at(ft->work, i);
        fresh_index = w ? w->line : 0;
    }
    if (fresh_index < 0 || fresh_index >= ft->fresh_count) fresh_index = 0;
    const TextLine *f = text_line_at(ft->fresh, fresh_index);
    i64 typed = f ? f->line : 0;
    return typed >= 0 && typed < ft->typed_count ? typed : 0;
}

// Position of the first '-' outside quotes, or -1.
static i64 first_minus_outside_quotes(const char *s)
{
    for (i64 i = 0; s[i];) {
        if (s[i] == '\'') { i = skip_quoted(s, i); continue; }
        if (s[i] == '-') return i;
        i++;
    }
    return -1;
}

const char *source_line_for_work_line(const FunctionText *ft, i64 i, i64 *column)
{
    if (i < 0) return skip_blanks(line_text(text_line_at(ft->fresh, 0)));
    const char *source = old_line_text(ft, typed_line_for_work_line(ft, i));
    if (!column || ft->work_count <= 0) return source;
    std::string work = work_line_text(ft, i < ft->work_count ? i : 0);
    i64 minus = first_minus_outside_quotes(work.c_str());
    if (minus >= 0 && work.compare(minus, 4, "->(~") == 0) {
        *column -= minus + 4;
        work = work.substr(minus + 4);
    }
    if (work == source) return source;
    // A translated condition ends at the ")/" the translator added.
    size_t cut = work.rfind(")/");
    std::string key = cut != std::string::npos ? work.substr(0, cut) : work;
    const char *found = key.empty() ? nullptr : strstr(source, key.c_str());
    if (!found && cut != std::string::npos) found = strstr(source, work.c_str());
    if (found) *column += found - source;
    if (*column < 0) *column = 0;
    return source;
}

// ---- Listing ----------------------------------------------------------------------

void print_function_listing(const FunctionText *ft, const char *name)
{
    if (is_query_function_name(name)) {
        vek_printf("`%s is a reserved function.\n", name);
        return;
    }
    i64 digits = 1;
    for (i64 n = ft->typed_count; n >= 10; n /= 10) digits++;
    i64 len = (i64)strlen(name);
    std::string title(10 - len / 2 > 0 ? 10 - len / 2 : 0, '-');
    title += name;
    while ((i64)title.size() < 20) title += '-';
    vek_printf("%s\n", title.c_str());
    const TextLine *t = ft->typed ? ft->typed->next : nullptr;
    for (i64 i = 0; i < ft->typed_count; i++) {
        vek_printf("[%*lld]%*c%s\n", (int)digits, (long long)i, (int)(4 - digits), ' ',
                   line_text(t));
        if (t) t = t->next;
    }
    vek_printf("%s\n", std::string(20, '-').c_str());
}

// ---- Functions made from a header line ---------------------------------------------

static i64 new_function_record(i64 g, const char *name, const char *header) {
    i64 f = global_name_table[g].index;
    i64 rc = parse_function_header(name, f, header, (i64)strlen(header));
    if (rc) return -1;
    FunctionText *text = new_function_text(name);
    if (!text) return -1;
    set_header_line(text, header);
    function_table[f].text = text;
    return f;
}

i64 define_function_from_header(const char *header) {
    char name[NAME_MAX + 1];
    int rc = parse_header_name(header, name);
    if (rc) { error_number = rc; return -1; }
    i64 g = lookup_name(name, 'G');
    if (g >= 0 && global_name_table[g].kind == 'F' && global_name_table[g].index >= FIRST_USER_FUNCTION) {
        i64 f = global_name_table[g].index;
        if (parse_function_header(name, f, header, (i64)strlen(header))) return -1;
        return f;
    }
    if (g >= 0 && global_name_table[g].kind == 'V') {
        if (value_slot_table[global_name_table[g].index].rank != -1) return -1;
        i64 f = alloc_table_entry('F', -1);
        if (f < 0) return -1;
        i64 old_slot = global_name_table[g].index;
        global_name_table[g].kind = 'F';
        global_name_table[g].index = f;
        function_table[f].global_name = g;
        i64 r = new_function_record(g, name, header);
        if (r < 0) {
            global_name_table[g].kind = 'V';
            global_name_table[g].index = old_slot;
            if (f == lstfx) lstfx--;
        }
        return r;
    }
    i64 saved_g = lstgx, saved_f = lstfx, saved_pool = lsttnam;
    g = add_name_entry(name, 'F');
    if (g < 0) return -1;
    i64 r = new_function_record(g, name, header);
    if (r < 0) {
        memset(&global_name_table[g], 0, sizeof(NameEntry));
        global_name_table[g].index = global_name_table[g].continuation = -1;
        lstgx = saved_g;
        lstfx = saved_f;
        lsttnam = saved_pool;
    }
    return r;
}

// ---- Direct definitions -------------------------------------------------------------

bool is_control_keyword(const char *name)
{
    static const char *words[] = {"case", "else", "for", "if", "while"};
    for (const char *w : words)
        if (strcmp(name, w) == 0) return true;
    return false;
}

i64 scan_leading_name(const char *line, const char **name)
{
    static char buffer[FUNCTION_NAME_MAX + 9];
    i64 p = skip_blanks(line, 0);
    buffer[0] = 0;
    if (name) *name = buffer;
    if (!isalpha((unsigned char)line[p])) return 0;
    i64 n = 0;
    while (isalnum((unsigned char)line[p]) || line[p] == '_') {
        if (n < FUNCTION_NAME_MAX + 1) buffer[n++] = line[p];
        p++;
    }
    while (n > 0 && buffer[n - 1] == '_') n--;
    buffer[n] = 0;
    return skip_blanks(line, p);
}

namespace {

struct DirectBody {
    std::vector<std::string> statements;
    std::vector<std::string> locals;
    std::vector<std::string> labels;
    bool uses_x = false, uses_y = false, uses_z = false;
};

bool is_global_function(const char *name)
{
    i64 g = lookup_name(name, 'G');
    return g >= 0 && global_name_table[g].kind == 'F';
}

void add_local(DirectBody &b, const std::string &name, const char *fname)
{
    if (name == fname || is_control_keyword(name.c_str())) return;
    for (const std::string &l : b.locals)
        if (l == name) return;
    for (const std::string &l : b.labels)
        if (l == name) return;   // a local of that name would hide the label
    if (is_global_function(name.c_str())) return;
    b.locals.push_back(name);
}

// A name right after a '.' is a column or key name (x.name) unless that
// '.' is the second character of a primitive such as "+." or "&.".
bool follows_dot_access(const std::string &s, size_t b0)
{
    if (b0 == 0 || s[b0 - 1] != '.') return false;
    if (b0 < 2) return true;
    char c = s[b0 - 2];
    // A trailing '_' is never part of a name, so "_." is always a primitive.
    return strchr("!#$%&*+/\\,<>?^_|~", c) == nullptr;
}

// Classifies the names of one statement; quoted text is skipped whole.
void classify_names(DirectBody &b, const std::string &s, const char *fname)
{
    size_t p = skip_blanks(s, 0, BLANKS_ONLY);
    if (s.compare(p, 4, "[]IO") == 0) add_local(b, "[]IO", fname);
    while (p < s.size()) {
        char c = s[p];
        if (c == '\'') {
            p = skip_quoted(s, p);
            continue;
        }
        if (c == '`') {               // a symbol, not a name
            p++;
            while (p < s.size() && (isalnum((unsigned char)s[p]) || s[p] == '_')) p++;
            continue;
        }
        if (c == '[' && p + 1 < s.size() && (s[p + 1] == ']' || s[p + 1] == ')')) {
            p += 2;                   // system names and the open-line slot
            while (p < s.size() && isalnum((unsigned char)s[p])) p++;
            continue;
        }
        if (isdigit((unsigned char)c) || (c == '.' && p + 1 < s.size() && isdigit((unsigned char)s[p + 1]))) {
            while (p < s.size() && (isalnum((unsigned char)s[p]) || s[p] == '.' || s[p] == '_'))
                p++;
            continue;
        }
        if (isalpha((unsigned char)c)) {
            size_t b0 = p;
            while (p < s.size() && (isalnum((unsigned char)s[p]) || s[p] == '_')) p++;
            size_t e = p;
            while (e > b0 && s[e - 1] == '_') e--;
            std::string name = s.substr(b0, e - b0);
            if (follows_dot_access(s, b0)) continue;  // column or key name
            if (name == "x") b.uses_x = true;
            else if (name == "y") b.uses_y = true;
            else if (name == "z") b.uses_z = true;
            else add_local(b, name, fname);
            continue;
        }
        p++;
    }
}

// Splits the body at ';' outside parentheses, brackets and quotes.
int split_direct_body(const std::string &body, DirectBody &b)
{
    int depth = 0, brackets = 0;   // "(x]" balances neither
    size_t start = 0, p = 0;
    while (p <= body.size()) {
        char c = p < body.size() ? body[p] : ';';
        if (c == '\'') {
            bool closed;
            p = skip_quoted(body, p, &closed);
            if (!closed) return 1;
            continue;
        }
        if (c == '(') depth++;
        else if (c == '[') brackets++;
        else if (c == ')') { if (--depth < 0) return 1; }
        else if (c == ']') { if (--brackets < 0) return 1; }
        else if (c == ';' && depth == 0 && brackets == 0) {
            std::string st = body.substr(start, p - start);
            while (!st.empty() && (st.back() == ' ' || st.back() == '\t')) st.pop_back();
            b.statements.push_back(st);
            p = skip_blanks(body, p + 1);
            start = p;
            continue;
        }
        p++;
    }
    return depth != 0 || brackets != 0 ? 1 : 0;
}

}  // namespace

int convert_direct_definition(const char *line, char *name_buffer)
{
    name_buffer[0] = 0;
    if (strlen(line) > (size_t)FUNCTION_LINE_MAX) return (int)(error_number = VEK_DOMAIN);
    std::string text = trim_comment(line);
    const char *fname = nullptr;
    i64 p = scan_leading_name(text.c_str(), &fname);
    if (p == 0 || text[p] != ':') return (int)(error_number = VEK_DOMAIN);
    if (strlen(fname) > (size_t)FUNCTION_NAME_MAX) return (int)(error_number = VEK_LENGTH);
    std::string name = fname;
    if (is_query_function_name(name.c_str())) {
        vek_printf("`%s is a reserved function.\n", name.c_str());
        return (int)(error_number = VEK_DOMAIN);
    }
    p = skip_blanks(text, p + 1);
    // The definition must be closed: "{f: x+10" is refused, not cut short.
    if (text.empty() || text.back() != '}') return (int)(error_number = VEK_DOMAIN);
    std::string body = text.substr(p, text.size() - 1 - p);
    DirectBody b;
    if (split_direct_body(body, b)) return (int)(error_number = VEK_DOMAIN);
    for (const std::string &s : b.statements) {
        const char *label = nullptr;
        i64 after = scan_leading_name(s.c_str(), &label);
        if (after > 0 && s[after] == ':') b.labels.push_back(label);
    }
    for (const std::string &s : b.statements) classify_names(b, s, name.c_str());
    if (!b.uses_z) b.statements.back() = "z<-" + b.statements.back();
    std::string header = "z<-";
    if (b.uses_x && b.uses_y) header += "y ";
    header += name;
    if (b.uses_x) header += " x";
    else if (b.uses_y) header += " y";
    for (const std::string &l : b.locals) header += ";" + l;
    if (header.size() > (size_t)FUNCTION_LINE_MAX) return (int)(error_number = VEK_DOMAIN);
    for (const std::string &s : b.statements)
        if (s.size() > (size_t)FUNCTION_LINE_MAX) return (int)(error_number = VEK_DOMAIN);

    error_number = 0;
    i64 row = define_function_from_header(header.c_str());
    if (row < 0) return (int)(error_number = error_number == 84 ? 84 : 1);
    error_number = 0;
    FunctionText *ft = function_table[row].text;
    if (!ft) {
        ft = new_function_text(name.c_str());
        if (!ft) return (int)(error_number = VEK_DOMAIN);
        function_table[row].text = ft;
    }
    if (set_header_line(ft, header.c_str())) return (int)(error_number = VEK_DOMAIN);
    ft->typed_count = 1;
    for (const std::string &s : b.statements)
        if (append_typed_line(ft, s.c_str())) return (int)(error_number = VEK_DOMAIN);
    if (rebuild_fresh_lines(ft)) return (int)(error_number = VEK_DOMAIN);
    function_table[row].compiled = 0;
    snprintf(name_buffer, FUNCTION_NAME_MAX + 1, "%s", name.c_str());
    return 0;
}
