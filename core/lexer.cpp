// The lexer: character classes, primitive tokens, names and []names, the
// literal scanners that make constants, and the whole-line helpers.
#include "errors.h"
#include "lexer.h"
#include "scan.h"
#include "tables.h"
#include "arena.h"
#include "symbols.h"
#include "timecode.h"
#include "storage.h"
#include <cstring>
#include <cstdlib>
#include <cmath>
#include <climits>
#include <locale.h>

char char_class[256];
unsigned char symbol_char_set[256];
i64 scan_pos = 0;
char token_buf[TOKEN_BUF_SIZE];
i64 parse_error_position = 0;
const char *current_name = token_buf;
i64 system_name_entry = -1;

i64 get_scan_position() { return scan_pos; }
i64 get_error_position() { return parse_error_position; }


// ---- Character classes ------------------------------------------------------

void init_symbol_char_set() {
    memset(symbol_char_set, 0, sizeof symbol_char_set);
    for (const char *p = "+&?*%#$^!,/\\\"=@:->|._~<"; *p; p++)
        symbol_char_set[(unsigned char)*p] = 1;
}

void init_char_classes() {
    memset(char_class, 'X', sizeof char_class);
    for (int c = 'A'; c <= 'Z'; c++) char_class[c] = 'A';
    for (int c = 'a'; c <= 'z'; c++) char_class[c] = 'A';
    for (int c = '0'; c <= '9'; c++) char_class[c] = 'N';
    auto set = [](const char *chars, char cls) {
        for (const char *p = chars; *p; p++) char_class[(unsigned char)*p] = cls;
    };
    set("_", 'M');
    set("!\"#$%&*+,-/<=>?@\\^|~", 'P');
    set("'`", 'Q');
    set("([", 'D');
    set(")]", 'T');
    set(".", 'O');
    set(":", 'J');
    set(";", 'E');
    set("{}", 'C');
    init_symbol_char_set();
}

static bool is_digit(char c) { return c >= '0' && c <= '9'; }
static bool is_letter(char c) { return class_of(c) == 'A'; }
static bool is_name_char(char c) { return is_letter(c) || is_digit(c) || c == '_'; }

// ---- Primitive tokens ---------------------------------------------------------

// The longest glyph of the code table that begins at scan_pos and is read
// in this context (glyph_starts lists the two-character glyphs first).
Token primitive_token_code(const char *line, int dyadic) {
    unsigned char c = (unsigned char)line[scan_pos];
    if (c >= 128) return TOK_NONE;
    char n = c ? line[scan_pos + 1] : 0;
    const GlyphStart &g = glyph_starts[c];
    int side = dyadic ? CTX_DYADIC : CTX_MONADIC;
    for (int k = 0; k < g.count; k++) {
        const GlyphEntry &e = g.entries[k];
        if ((e.second && e.second != n) || !(e.context & side)) continue;
        if (e.second) scan_pos++;      // a digraph leaves scan_pos on its second character
        return (Token)e.token;
    }
    return TOK_NONE;
}

// ---- Names -------------------------------------------------------------------

// Copies line[from, to) into token_buf; false (error 42) when too long.
static bool copy_token(const char *line, i64 from, i64 to) {
    if (to - from > TOKEN_BUF_SIZE - 1) { fail(VEK_PARSE); return false; }
    memcpy(token_buf, line + from, to - from);
    token_buf[to - from] = 0;
    return true;
}

i64 scan_identifier(const char *line) {
    i64 p = scan_pos, q = p;
    while (is_name_char(line[q])) q++;
    while (q > p && line[q - 1] == '_') q--;      // a trailing '_' is no part of a name
    if (!copy_token(line, p, q)) return -1;
    q = skip_blanks(line, q, BLANKS_ONLY);
    scan_pos = q;
    return q;
}

bool is_label_prefix(const char *line, const char *classes, i64 pos) {
    (void)classes;
    if (!is_letter(line[pos])) return false;
    while (is_name_char(line[pos])) pos++;
    pos = skip_blanks(line, pos, BLANKS_ONLY);
    return line[pos] == ':';
}

// ---- Quoted text and character constants ---------------------------------------------

int scan_quoted_string(const char *text, char *buf, i64 *pos, int copy, i64 *count) {
    char q = text[0];
    i64 i = 1, n = 0;
    for (;;) {
        char c = text[i];
        if (c == 0 || c == '\n' || c == '\r') return fail(VEK_UNPAIRED);
        if (c == q) {
            if (text[i + 1] != q) break;
            i++;
        }
        if (copy && buf) buf[n] = c;
        n++;
        i++;
    }
    if (copy && buf) buf[n] = 0;
    if (pos) *pos += i + 1;
    if (count) *count = n;
    return 0;
}

// A new constant entry, or an error.
static int new_constant(i64 *c) {
    i64 k = alloc_table_entry('C', -1);
    if (k < 0) return error_number ? (int)error_number : fail(VEK_WS_FULL);
    *c = k;
    return 0;
}

// Gives constant c storage for n items of type; the descriptor words are
// set whether or not the allocator fills them.
static int give_constant_storage(i64 c, i64 type, i64 n) {
    ValueDescriptor *d = &constants_table[c];
    d->type = type;
    int r = alloc_slot_bytes(c, type, n);
    if (r) return fail(r);
    d = &constants_table[c];
    d->type = type; d->rank = 1; d->dim0 = n; d->count = n;
    if (!d->data) d->data = alloc_result;
    if (!d->data) return fail(VEK_WS_FULL);
    return 0;
}

static void set_scalar_constant(i64 c, i64 type, i64 item) {
    ValueDescriptor *d = &constants_table[c];
    d->type = type; d->rank = 0; d->dim0 = item; d->dim1 = 0;
    d->count = 1; d->capacity = 0; d->data = &d->dim0;
}

int scan_char_constant(const char *line, i64 *constant) {
    i64 p = scan_pos, n = 0, c = -1;
    if (line[p] != '\'') return fail(VEK_PARSE);
    int r = scan_quoted_string(line + p, nullptr, nullptr, 0, &n);
    if (r) return r;
    if ((r = new_constant(&c))) return r;
    if (n == 0) {
        ValueDescriptor *d = &constants_table[c];
        d->type = T_CHAR; d->rank = 1; d->dim0 = 0; d->count = 0;
    } else {
        char *text = (char *)checked_malloc(n + 1);
        scan_quoted_string(line + p, text, &p, 1, &n);
        if (n == 1) {
            set_scalar_constant(c, T_CHAR, (unsigned char)text[0]);
        } else if ((r = give_constant_storage(c, T_CHAR, n))) {
            free(text);
            return r;
        } else {
            memcpy(constants_table[c].data, text, n);
        }
        free(text);
    }
    if (n == 0) p += 2;
    p = skip_blanks(line, p);
    scan_pos = p;
    *constant = c;
    return 0;
}

// ---- Numeric and time literals -------------------------------------------------------

struct Literal {
    i64 start, end;     // text, the leading '_' included
    i64 type;
    bool negative;
    char null_kind;     // 'n', 'w' or 0
    bool exponent;
};

static i64 skip_digits(const char *s, i64 q) { while (is_digit(s[q])) q++; return q; }

// Decides the type and extent of the literal at p without converting it.
// 0, 1 when none starts there, or 42 for a malformed one.
static int classify_literal(const char *s, i64 p, Literal *lit) {
    i64 q = p;
    *lit = {p, p, T_INT, false, 0, false};
    if (s[q] == '_') { lit->negative = true; q++; }
    if (!is_digit(s[q])) return 1;
    if (s[q] == '0' && (s[q + 1] == 'n' || s[q + 1] == 'w')) {
        lit->null_kind = s[q + 1];
        q += 2;
        if (s[q] == 'f') { lit->type = T_FLOAT; q++; }
        else if (s[q] == 'j') { lit->type = T_COMPLEX; q++; }
        lit->end = q;
        return 0;
    }
    q = skip_digits(s, q);
    bool exponent = false;
    if (s[q] == '.' && is_digit(s[q + 1])) {
        q = skip_digits(s, q + 1);
        lit->type = T_FLOAT;
        if (s[q] == '.' && is_digit(s[q + 1])) {
            q = skip_digits(s, q + 1);
            lit->type = T_DATE;
            if (s[q] == 'T') {
                // hh:mm:ss with optional .fff; any break is malformed
                lit->type = T_DATETIME;
                q++;
                for (int part = 0; part < 3; part++) {
                    if (!is_digit(s[q])) return 42;
                    q = skip_digits(s, q);
                    if (part < 2) { if (s[q] != ':') return 42; q++; }
                }
                if (s[q] == '.') {
                    if (!is_digit(s[q + 1])) return 42;
                    q = skip_digits(s, q + 1);
                }
            }
        } else if (s[q] == 'm') {
            lit->type = T_MONTH;
            q++;
        } else if (s[q] == 'e' || s[q] == 'E') {
            exponent = true;
        }
    } else if (s[q] == 'e' || s[q] == 'E') {
        exponent = true;
        lit->type = T_FLOAT;
    } else if (s[q] == ':' && is_digit(s[q + 1])) {
        q = skip_digits(s, q + 1);
        lit->type = T_MINUTE;
        if (s[q] == ':' && is_digit(s[q + 1])) {
            q = skip_digits(s, q + 1);
            lit->type = T_SECOND;
            if (s[q] == '.' && is_digit(s[q + 1])) {
                q = skip_digits(s, q + 1);
                lit->type = T_TIME;
            }
        }
    }
    if (exponent) {
        q++;
        if (s[q] == '_' || s[q] == '+') q++;
        if (!is_digit(s[q])) return 42;
        q = skip_digits(s, q);
        lit->exponent = true;
        if (q - p > EXPONENT_TEXT_MAX) return 42;
    }
    lit->end = q;
    return 0;
}

static bool is_time_type(i64 t) { return t >= T_MONTH && t <= T_TIME; }
static bool is_plain_null(const Literal *lit) { return lit->null_kind == 'n' && lit->type == T_INT; }

// Numbers never depend on the user's locale.
static double c_strtod(const char *text) {
    static locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
    return c_locale ? strtod_l(text, nullptr, c_locale) : strtod(text, nullptr);
}

// The literal's text as the C library reads it: '_' becomes '-'.
static double literal_double(const char *s, const Literal *lit) {
    i64 n = lit->end - lit->start;
    char small[128];
    char *text = n < (i64)sizeof small ? small : (char *)checked_malloc(n + 1);
    for (i64 i = 0; i < n; i++) {
        char c = s[lit->start + i];
        text[i] = c == '_' ? '-' : c;
    }
    text[n] = 0;
    double v = c_strtod(text);
    if (text != small) free(text);
    return v;
}

static double null_double(const Literal *lit) {
    if (lit->null_kind == 'n') return float_nan;
    return lit->negative ? -float_infinity : float_infinity;
}

// The integer value of the digits; 42 on overflow of 64 bits.
static int literal_integer(const char *s, const Literal *lit, i64 *out) {
    if (lit->null_kind == 'n') { *out = INT64_MIN; return 0; }
    if (lit->null_kind == 'w') { *out = lit->negative ? -INT64_MAX : INT64_MAX; return 0; }
    uint64_t v = 0;
    for (i64 q = lit->start + (lit->negative ? 1 : 0); q < lit->end; q++) {
        uint64_t d = (uint64_t)(s[q] - '0');
        if (v > ((uint64_t)INT64_MAX - d) / 10) return 42;
        v = v * 10 + d;
    }
    *out = lit->negative ? -(i64)v : (i64)v;
    return 0;
}

// The value of a time literal; 31 when the time readers refuse it.
static int literal_time(const char *s, const Literal *lit, i64 *ival, double *dval) {
    i64 n = lit->end - lit->start;
    const char *text = s + lit->start;
    if (lit->type == T_DATETIME) {
        bool with_ms = n == 23;
        if (parse_datetime_text(text, TIME_CHECK, n, with_ms) < 0) return 31;
        *dval = parse_datetime_text(text, TIME_VALUE, n, with_ms);
        return 0;
    }
    if (parse_time_text(text, lit->type, n, TIME_CHECK) < 0) return 31;
    *ival = parse_time_text(text, lit->type, n, TIME_VALUE);
    return 0;
}

// Converts a classified literal to target type into out (8 or 16 bytes).
static int convert_literal(const char *s, const Literal *lit, i64 target, void *out) {
    if (is_time_type(target) && is_plain_null(lit)) {
        // 0n among time literals is the null of their type
        if (target == T_DATETIME) memcpy(out, &float_nan, 8);
        else { i64 v = TIME_NULL; memcpy(out, &v, 8); }
        return 0;
    }
    if (is_time_type(lit->type)) {
        if (target != lit->type) return 42;
        i64 iv = 0; double dv = 0;
        int r = literal_time(s, lit, &iv, &dv);
        if (r) return r;
        if (target == T_DATETIME) memcpy(out, &dv, 8); else memcpy(out, &iv, 8);
        return 0;
    }
    if (target == T_INT) {
        i64 v;
        if (lit->type != T_INT || literal_integer(s, lit, &v)) return 42;
        memcpy(out, &v, 8);
        return 0;
    }
    double v = lit->null_kind ? null_double(lit) : literal_double(s, lit);
    if (target == T_FLOAT) { memcpy(out, &v, 8); return 0; }
    if (target == T_COMPLEX) {
        double pair[2] = {v, lit->null_kind ? v : 0.0};
        memcpy(out, pair, 16);
        return 0;
    }
    return 42;
}

// A literal possibly followed by 'j' and an imaginary part.
struct NumberLiteral { Literal real, imag; bool complex; i64 type, end; };

static int classify_number(const char *s, i64 p, NumberLiteral *nl) {
    int r = classify_literal(s, p, &nl->real);
    if (r) return r;
    nl->complex = false;
    nl->type = nl->real.type;
    nl->end = nl->real.end;
    if ((nl->type == T_INT || nl->type == T_FLOAT) && s[nl->end] == 'j') {
        r = classify_literal(s, nl->end + 1, &nl->imag);
        if (r == 1) return 42;
        if (r) return r;
        if (nl->real.null_kind || nl->imag.null_kind) return 42;
        if (nl->imag.type != T_INT && nl->imag.type != T_FLOAT) return 42;
        nl->complex = true;
        nl->type = T_COMPLEX;
        nl->end = nl->imag.end;
    }
    return 0;
}

static int convert_number(const char *s, const NumberLiteral *nl, i64 target, void *out) {
    if (!nl->complex) return convert_literal(s, &nl->real, target, out);
    if (target != T_COMPLEX) return 42;
    double pair[2];
    int r = convert_literal(s, &nl->real, T_FLOAT, &pair[0]);
    if (!r) r = convert_literal(s, &nl->imag, T_FLOAT, &pair[1]);
    if (!r) memcpy(out, pair, 16);
    return r;
}

static i64 item_bytes(i64 type) { return type == T_COMPLEX ? 16 : 8; }

static int strand_error(i64 at, int number) {
    scan_pos = parse_error_position = at;
    return fail(number);
}

int scan_numeric_vector(const char *line, i64 *constant) {
    // Pass 1: classify every element and fix the strand's type.
    // Integer nulls may stand among time literals as the nulls of their type.
    i64 p = scan_pos, n = 0, type = -1, end = p;
    bool only_nulls = true;
    while (is_digit(line[p]) || line[p] == '_') {
        NumberLiteral nl;
        int r = classify_number(line, p, &nl);
        if (r == 1) break;
        if (r) return strand_error(p, r);
        bool null_item = !nl.complex && is_plain_null(&nl.real);
        if (type < 0) type = nl.type;
        else if (is_time_type(type)) {
            if (nl.type != type && !null_item) return strand_error(p, 42);
        } else if (is_time_type(nl.type)) {
            if (!only_nulls) return strand_error(p, 42);
            type = nl.type;
        } else if (nl.type > type) type = nl.type;
        only_nulls = only_nulls && null_item;
        n++;
        end = nl.end;
        p = skip_blanks(line, nl.end);
    }
    if (n == 0) return strand_error(scan_pos, 42);
    // Pass 2: convert into a buffer, so a bad element makes no constant.
    i64 size = item_bytes(type);
    unsigned char *values = (unsigned char *)checked_malloc(n * size);
    p = scan_pos;
    for (i64 i = 0; i < n; i++) {
        NumberLiteral nl;
        classify_number(line, p, &nl);
        int r = convert_number(line, &nl, type, values + i * size);
        if (r) { free(values); return strand_error(p, r); }
        p = skip_blanks(line, nl.end);
    }
    (void)end;
    int r = 0;
    i64 c = -1;
    if (n == 1 && type == T_INT) {
        // 0, 1 and 2 are the built-in constants 0, 1 and 3.
        i64 v;
        memcpy(&v, values, 8);
        if (v == 0 || v == 1 || v == 2) c = v == 2 ? 3 : v;
    }
    if (c < 0 && !(r = new_constant(&c))) {
        ValueDescriptor *d = &constants_table[c];
        if (n == 1) {
            d->type = type; d->rank = 0; d->count = 1; d->data = &d->dim0;
            memcpy(&d->dim0, values, size);
        } else if (!(r = give_constant_storage(c, type, n))) {
            memcpy(constants_table[c].data, values, n * size);
        }
    }
    free(values);
    if (r) return r;
    scan_pos = p;
    *constant = c;
    return 0;
}

// ---- Symbols ----------------------------------------------------------------------

i64 scan_symbol_chars(const char *text, i64 pos) {
    i64 q = pos;
    while (symbol_char_set[(unsigned char)text[q]]) q++;
    if (!copy_token(text, pos, q)) return -1;
    return q - pos;
}

// The name after one backquote at p into token_buf; returns the position
// after it, or -1 (error 42) for a name too long.
static i64 scan_one_symbol(const char *s, i64 p) {
    i64 q = p;
    if (is_letter(s[q]) || is_digit(s[q])) {
        while (is_name_char(s[q])) q++;
        return copy_token(s, p, q) ? q : -1;
    }
    if (s[q] == '\'') {
        // Up to the next quote or the end, outer blanks dropped.
        i64 a = q + 1, b = a;
        while (s[b] && s[b] != '\'') b++;
        q = s[b] ? b + 1 : b;
        i64 e = b;
        a = skip_blanks(s, a, BLANKS_ONLY, e);
        while (e > a && s[e - 1] == ' ') e--;
        return copy_token(s, a, e) ? q : -1;
    }
    if (symbol_char_set[(unsigned char)s[q]]) {
        i64 n = scan_symbol_chars(s, q);
        return n < 0 ? -1 : q + n;
    }
    token_buf[0] = 0;
    return q;
}

static int make_symbol_items(const i64 *numbers, i64 n, i64 *constant) {
    i64 c = -1;
    int r = new_constant(&c);
    if (r) return r;
    if (n == 1) set_scalar_constant(c, T_SYMBOL, numbers[0]);
    else if ((r = give_constant_storage(c, T_SYMBOL, n))) return r;
    else memcpy(constants_table[c].data, numbers, n * 8);
    *constant = c;
    return 0;
}

int scan_symbol_literal(const char *line, i64 *constant) {
    i64 p = scan_pos, n = 0, cap = 8;
    i64 *numbers = (i64 *)checked_malloc(cap * 8);
    int r = 0;
    while (line[p] == '`') {
        i64 q = scan_one_symbol(line, p + 1);
        if (q < 0) { r = strand_error(p, 42); break; }
        i64 number = intern_symbol(token_buf);
        if (number < 0) { r = strand_error(p, error_number ? (int)error_number : 42); break; }
        if (n == cap) { cap *= 2; numbers = (i64 *)realloc(numbers, cap * 8); if (!numbers) { r = fail(VEK_WS_FULL); break; } }
        numbers[n++] = number;
        p = skip_blanks(line, q, BLANKS_ONLY);
    }
    if (!r && n == 0) r = strand_error(p, 42);
    if (!r) r = make_symbol_items(numbers, n, constant);
    free(numbers);
    if (!r) scan_pos = p;
    return r;
}

int make_symbol_constant(const char *line, i64 *constant) {
    i64 p = scan_pos;
    if (line[p] == '\'') {
        i64 n = 0;
        int r = scan_quoted_string(line + p, nullptr, nullptr, 0, &n);
        if (r) return r;
        if (n > TOKEN_BUF_SIZE - 1) return strand_error(p, 42);
        scan_quoted_string(line + p, token_buf, &p, 1, &n);
        p = skip_blanks(line, p, BLANKS_ONLY);
    } else if (is_letter(line[p])) {
        i64 save = scan_pos;
        if (scan_identifier(line) < 0) return strand_error(save, 42);
        p = scan_pos;
        scan_pos = save;
    } else {
        return strand_error(p, 42);
    }
    i64 number = intern_symbol(token_buf);
    if (number < 0) return strand_error(scan_pos, error_number ? (int)error_number : 42);
    i64 one[1] = {number};
    int r = make_symbol_items(one, 1, constant);
    if (!r) scan_pos = p;
    return r;
}

// ---- Whole-line helpers ---------------------------------------------------------------

// The one rule for comments: "//" outside single quotes (a doubled quote
// inside a quoted string closes and reopens it) ends the line.
i64 comment_start(const char *text) {
    i64 i = 0;
    while (text[i]) {
        if (text[i] == '\'') { i = skip_quoted(text, i); continue; }
        if (text[i] == '/' && text[i + 1] == '/') break;
        i++;
    }
    return i;
}

i64 strip_comment_crlf(char *text) {
    i64 end = comment_start(text);
    for (i64 i = 0; i < end; i++)
        if (text[i] == '\r' && text[i + 1] == '\n') { end = i; break; }
    text[end] = 0;
    return end;
}

i64 trim_line_comment(char **text) {
    char *t = skip_blanks(*text);
    t[comment_start(t)] = 0;
    i64 n = (i64)strlen(t);
    while (n > 0 && (t[n - 1] == ' ' || t[n - 1] == '\t' || t[n - 1] == '\r' || t[n - 1] == '\n')) n--;
    t[n] = 0;
    *text = t;
    return n;
}

void skip_quoted_or_group(const char *text, i64 *pos) {
    i64 p = *pos;
    char open = text[p];
    if (open == '\'') { *pos = skip_quoted(text, p); return; }
    if (open != '(' && open != '[') return;
    char close = open == '(' ? ')' : ']';
    i64 depth = 0;
    while (text[p]) {
        if (text[p] == '\'') { p = skip_quoted(text, p); continue; }
        if (text[p] == open) depth++;
        else if (text[p] == close && --depth == 0) { p++; break; }
        p++;
    }
    *pos = p;
}

bool has_open_parenthesis(const char *line) {
    i64 depth = 0;
    for (i64 p = 0; line[p];) {
        char c = line[p];
        if (c == '\'') { p = skip_quoted(line, p); continue; }
        if (c == '/' && line[p + 1] == '/') break;
        if (c == '(') depth++;
        else if (c == ')' && !(p > 0 && line[p - 1] == '[')) {
            if (depth == 0) return false;
            depth--;
        }
        p++;
    }
    return depth > 0;
}
