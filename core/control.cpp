// The control-structure translator. A function's lines (without blanks and
// comments) are rewritten into plain statements: every structured form
// becomes generated labels "L<n>" and branches, case arms labels "CS<n>",
// and the vector form of for three hidden variables idx_vN, idx_lN, idx_iN
// that are appended to the header as locals, so that recursive calls and
// nested loops never share them. A generated name never takes a number whose
// name the user already wrote in the function.
#include "errors.h"
#include "control.h"
#include "scan.h"
#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include "textlines.h"

namespace {

struct Loop { i64 exit_label, next_label; };

// Translator state: global, reset for each function.
struct Translator {
    const std::vector<std::string> *in;
    std::vector<TranslatedLine> *out;
    i64 cur;                 // input line being translated
    size_t pos;              // position in it
    i64 label_counter, case_counter, loop_var_counter;
    std::vector<Loop> loops;
    int failed;
    std::unordered_set<std::string> user_names;
    std::string header_locals;
};

Translator tr;

const char *LOOP_VARIABLE_ALPHABET =
    "_0123456789ABCDEFGHIJKLMNOPQRSUVWXYZabcdefghijklmnopqrsuvwxyz";

bool is_name_char(char c) { return isalnum((unsigned char)c) || c == '_'; }

const std::string &line() { return (*tr.in)[tr.cur]; }
char ch() { return tr.pos < line().size() ? line()[tr.pos] : 0; }

using ::skip_blanks;
void skip_blanks() { tr.pos = skip_blanks(line(), tr.pos); }

bool at_line_end() { skip_blanks(); return tr.pos >= line().size(); }

void fail() { tr.failed = 1; }

std::string trim(const std::string &s)
{
    size_t a = skip_blanks(s, 0), b = s.size();
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) b--;
    return s.substr(a, b - a);
}

// The keyword w as a whole word at p.
bool word_at(const std::string &s, size_t p, const char *w)
{
    size_t n = strlen(w);
    if (s.compare(p, n, w) != 0) return false;
    if (p > 0 && is_name_char(s[p - 1])) return false;
    return p + n >= s.size() || !is_name_char(s[p + n]);
}

// Every identifier the user wrote (outside quotes), so generated names avoid them.
void collect_user_names()
{
    tr.user_names.clear();
    for (const std::string &s : *tr.in) {
        size_t p = 0;
        while (p < s.size()) {
            if (s[p] == '\'') { p = skip_quoted(s, p); continue; }
            if (isalpha((unsigned char)s[p])) {
                size_t b = p;
                while (p < s.size() && is_name_char(s[p])) p++;
                tr.user_names.insert(s.substr(b, p - b));
                continue;
            }
            p++;
        }
    }
}

bool user_wrote(const std::string &name) { return tr.user_names.count(name) != 0; }

i64 new_label()
{
    do tr.label_counter++; while (user_wrote("L" + std::to_string(tr.label_counter)));
    return tr.label_counter;
}

i64 new_case_number()
{
    do tr.case_counter++; while (user_wrote("CS" + std::to_string(tr.case_counter)));
    return tr.case_counter;
}

i64 new_loop_variable_number()
{
    for (;;) {
        std::string n = std::to_string(++tr.loop_var_counter);
        if (!user_wrote("idx_v" + n) && !user_wrote("idx_l" + n) && !user_wrote("idx_i" + n))
            return tr.loop_var_counter;
    }
}

std::string label(i64 n) { return "L" + std::to_string(n); }

void emit(const std::string &text) { tr.out->push_back({text, tr.cur}); }

// Moves to the next input line; a leading "name:" becomes a line of its own
// when split_label is set. False when there is no further line.
bool advance_line(bool split_label)
{
    if (tr.cur + 1 >= (i64)tr.in->size()) return false;
    tr.cur++;
    tr.pos = 0;
    if (!split_label) return true;
    const std::string &s = line();
    size_t p = skip_blanks(s, 0);
    if (p < s.size() && isalpha((unsigned char)s[p])) {
        size_t b = p;
        while (p < s.size() && isalnum((unsigned char)s[p])) p++;
        if (p < s.size() && s[p] == ':') {
            emit(s.substr(b, p - b) + ":");
            tr.pos = p + 1;
        }
    }
    return true;
}

// The text inside the parenthesis opened just before pos; pos ends after
// its ")". Quoted text and bracket groups are skipped.
bool take_parenthesised(std::string *inner)
{
    const std::string &s = line();
    size_t p = tr.pos;
    int depth = 1;
    while (p < s.size()) {
        char c = s[p];
        if (c == '\'') { p = skip_quoted(s, p); continue; }
        if (c == '(' || c == '[') depth++;
        else if (c == ')' || c == ']') {
            if (--depth == 0) {
                if (c != ')') break;
                *inner = s.substr(tr.pos, p - tr.pos);
                tr.pos = p + 1;
                return true;
            }
        }
        p++;
    }
    fail();
    return false;
}

// Splits text at each c that stands outside quotes, parentheses and brackets.
std::vector<std::string> split_top_level(const std::string &s, char c, size_t limit)
{
    std::vector<std::string> parts;
    size_t b = 0, p = 0;
    int depth = 0;
    while (p < s.size()) {
        char d = s[p];
        if (d == '\'') { p = skip_quoted(s, p); continue; }
        if (d == '(' || d == '[') depth++;
        else if (d == ')' || d == ']') depth--;
        else if (d == c && depth == 0 && parts.size() + 1 < limit) {
            parts.push_back(s.substr(b, p - b));
            b = p + 1;
        }
        p++;
    }
    parts.push_back(s.substr(b));
    return parts;
}

void translate_statement();

// A single statement, or a "{ }" block over one or more lines.
void translate_block()
{
    while (at_line_end())
        if (!advance_line(true)) { fail(); return; }
    if (ch() != '{') { translate_statement(); return; }
    tr.pos++;
    for (;;) {
        if (at_line_end()) {
            if (!advance_line(true)) { fail(); return; }
            continue;
        }
        if (ch() == '}') { tr.pos++; return; }
        translate_statement();
        if (tr.failed) return;
    }
}

void translate_if()
{
    std::string cond;
    if (!take_parenthesised(&cond)) return;
    i64 la = new_label();
    emit("->(~" + cond + ")/" + label(la));
    translate_block();
    if (tr.failed) return;
    i64 lb = new_label();
    size_t placeholder = tr.out->size();
    emit("  ");
    emit(label(la) + ":");
    bool has_else = false;
    if (!at_line_end()) {
        if (word_at(line(), tr.pos, "else")) has_else = true;
    } else if (tr.cur + 1 < (i64)tr.in->size()) {
        const std::string &next = (*tr.in)[tr.cur + 1];
        size_t p = next.find_first_not_of(" \t");
        if (p != std::string::npos && word_at(next, p, "else")) {
            advance_line(false);
            skip_blanks();
            has_else = true;
        }
    }
    if (!has_else) return;
    tr.pos += 4;
    translate_block();
    if (tr.failed) return;
    (*tr.out)[placeholder].text = "->" + label(lb);
    emit(label(lb) + ":");
}

void translate_while()
{
    std::string cond;
    if (!take_parenthesised(&cond)) return;
    i64 la = new_label(), lb = new_label();
    tr.loops.push_back({lb, la});
    emit(label(la) + ":->(~" + cond + ")/" + label(lb));
    translate_block();
    if (tr.failed) return;
    emit("->" + label(la));
    emit(label(lb) + ":");
    tr.loops.pop_back();
}

void translate_for()
{
    std::string inner;
    if (!take_parenthesised(&inner)) return;
    std::vector<std::string> head = split_top_level(inner, ':', 2);
    if (head.size() != 2) { fail(); return; }
    std::string var = trim(head[0]);
    if (var.empty()) { fail(); return; }
    for (char c : var)
        if (!is_loop_variable_char(c)) { fail(); return; }
    std::vector<std::string> parts = split_top_level(head[1], ';', 4);
    for (std::string &p : parts) p = trim(p);
    for (const std::string &p : parts)
        if (p.empty() || parts.size() > 3) { fail(); return; }
    if (parts.size() >= 2) {
        const std::string &start = parts[0], &limit = parts[1];
        std::string step = parts.size() == 3 ? parts[2] : "1";
        emit(var + "<-(" + start + ")-" + step);
        i64 la = new_label(), lb = new_label();
        tr.loops.push_back({lb, la});
        emit(label(la) + ":->((" + limit + ")<" + var + "<-" + var + "+" + step + ")/" + label(lb));
        translate_block();
        if (tr.failed) return;
        emit("->" + label(la));
        emit(label(lb) + ":");
        tr.loops.pop_back();
        return;
    }
    std::string n = std::to_string(new_loop_variable_number());
    std::string v = "idx_v" + n, l = "idx_l" + n, i = "idx_i" + n;
    tr.header_locals += ";" + v + ";" + l + ";" + i;
    i64 la = new_label(), ls = new_label(), le = new_label();
    tr.loops.push_back({le, ls});
    emit("->(0=" + l + "<-#" + v + "<-" + parts[0] + ")/" + label(le));
    emit(i + "<-0");
    emit(label(la) + ":" + var + "<-" + v + "[" + i + "+[]IO]");
    translate_block();
    if (tr.failed) return;
    emit(label(ls) + ":->(" + l + ">" + i + "<-" + i + "+1)/" + label(la));
    emit(label(le) + ":");
    tr.loops.pop_back();
}

// Length of the number (or strand of numbers), quoted string, symbol or name at p.
size_t literal_length(const std::string &s, size_t p)
{
    size_t b = p;
    char c = p < s.size() ? s[p] : 0;
    if (c == '\'') return skip_quoted(s, p) - b;
    if (c == '`') {
        while (p < s.size() && s[p] == '`') {
            p++;
            while (p < s.size() && (is_name_char(s[p]) || s[p] == '.')) p++;
        }
        return p - b;
    }
    auto number_start = [&](size_t q) {
        return q < s.size() && (isdigit((unsigned char)s[q]) ||
                                ((s[q] == '_' || s[q] == '.') && q + 1 < s.size() &&
                                 isdigit((unsigned char)s[q + 1])));
    };
    if (number_start(p)) {
        for (;;) {
            while (p < s.size() && (is_name_char(s[p]) || s[p] == '.')) p++;
            size_t q = skip_blanks(s, p, BLANKS_ONLY);
            if (q == p || !number_start(q)) break;
            p = q;
        }
        return p - b;
    }
    if (isalpha((unsigned char)c)) {
        while (p < s.size() && is_name_char(s[p])) p++;
        return p - b;
    }
    return 0;
}

// Next line of a case body; arm values are never taken for labels.
bool case_next_nonblank()
{
    while (at_line_end())
        if (!advance_line(false)) { fail(); return false; }
    return true;
}

void translate_case()
{
    std::string expr;
    if (!take_parenthesised(&expr)) return;
    i64 lend = new_label();
    if (at_line_end()) {
        if (!case_next_nonblank()) return;
    }
    if (ch() != '{') { fail(); return; }
    tr.pos++;
    std::string pending;     // label of the next arm's test
    bool any_arm = false, else_seen = false;
    for (;;) {
        if (!case_next_nonblank()) return;
        if (ch() == '}') { tr.pos++; break; }
        if (else_seen) { fail(); return; }
        if (word_at(line(), tr.pos, "else")) {
            if (!any_arm) { fail(); return; }
            emit("->" + label(lend));
            emit(pending + ":");
            tr.pos += 4;
            else_seen = true;
            translate_block();
            if (tr.failed) return;
            continue;
        }
        size_t n = literal_length(line(), tr.pos);
        if (n == 0) { fail(); return; }
        std::string value = line().substr(tr.pos, n);
        tr.pos += n;
        skip_blanks();
        if (ch() != ':') { fail(); return; }
        tr.pos++;
        std::string prefix;
        if (any_arm) {
            emit("->" + label(lend));
            prefix = pending + ":";
        }
        pending = "CS" + std::to_string(new_case_number());
        emit(prefix + "->(~(" + expr + ")?" + value + ")/" + pending);
        any_arm = true;
        translate_block();
        if (tr.failed) return;
    }
    if (!any_arm) { fail(); return; }
    if (!else_seen) {
        emit("->" + label(lend));
        emit(pending + ":");
    }
    emit(label(lend) + ":");
}

// One statement at pos. A plain statement runs to a "}", a whole word
// "else" or the end of the line; one that would consume nothing (a stray
// "else" or "}") is a structure error, so the translation always advances.
void translate_statement()
{
    if (at_line_end()) return;
    static const char *forms[] = {"case", "for", "if", "while"};
    for (const char *kw : forms) {
        if (!word_at(line(), tr.pos, kw)) continue;
        const std::string &s = line();
        size_t p = skip_blanks(s, tr.pos + strlen(kw));
        if (p >= s.size() || s[p] != '(') {
            if (s.compare(p, 2, "<-") == 0) break;   // a variable of that name
            fail();
            return;
        }
        tr.pos = p + 1;
        switch (kw[0]) {
        case 'c': translate_case(); break;
        case 'f': translate_for(); break;
        case 'i': translate_if(); break;
        default: translate_while(); break;
        }
        return;
    }
    const std::string &s = line();
    size_t p = tr.pos;
    while (p < s.size()) {
        char c = s[p];
        if (c == '\'') { p = skip_quoted(s, p); continue; }
        if (c == '`') {   // a symbol may be spelt "else"
            p++;
            while (p < s.size() && is_name_char(s[p])) p++;
            continue;
        }
        if (c == '}' || (c == 'e' && word_at(s, p, "else"))) break;
        p++;
    }
    std::string text = trim(s.substr(tr.pos, p - tr.pos));
    tr.pos = p;
    if (text.empty()) { fail(); return; }
    if (text == "break" || text == "continue") {
        if (tr.loops.empty()) { fail(); return; }
        const Loop &l = tr.loops.back();
        emit("->" + label(text[0] == 'b' ? l.exit_label : l.next_label));
        return;
    }
    emit(text);
}

}  // namespace

bool is_loop_variable_char(char c)
{
    return c != 0 && strchr(LOOP_VARIABLE_ALPHABET, c) != nullptr;
}

int translate_lines(const std::vector<std::string> &in, std::vector<TranslatedLine> &out,
                    i64 *failing_line)
{
    tr.in = &in;
    tr.out = &out;
    tr.cur = 0;
    tr.pos = 0;
    tr.label_counter = -1;
    tr.case_counter = rand() % 30 + 1;
    tr.loop_var_counter = rand() % 30 + 1;
    tr.loops.clear();
    tr.failed = 0;
    tr.header_locals.clear();
    out.clear();
    *failing_line = 0;
    if (in.empty()) return 0;
    collect_user_names();
    emit(in[0]);
    while (!tr.failed && advance_line(true)) {
        while (!tr.failed && !at_line_end()) translate_statement();
    }
    if (tr.failed) {
        *failing_line = tr.cur;
        out.clear();
        return (int)(error_number = VEK_STRUCTURE);
    }
    out[0].text += tr.header_locals;
    return 0;
}

int translate_control_structures(FunctionText *ft, i64 *failing_line)
{
    std::vector<std::string> in;
    i64 i = 0;
    for (TextLine *t = ft->fresh ? ft->fresh->next : nullptr; t && i < ft->fresh_count;
         t = t->next, i++)
        in.push_back(t->text ? t->text : "");
    std::vector<TranslatedLine> out;
    int rc = translate_lines(in, out, failing_line);
    if (rc) return rc;
    if (!ft->work) ft->work = new_text_line();
    for (size_t k = 0; k < out.size(); k++) {
        TextLine *t = ensure_text_line(ft->work, (i64)k);
        set_text_line(t, out[k].text.c_str());
        t->line = out[k].source;
    }
    ft->work_count = (i64)out.size();
    return 0;
}
