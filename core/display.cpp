// Display of values: number and element texts, vectors with line breaking
// and item limits, arrays with aligned columns, nested lists with their
// '<' markers, dictionaries, tables, keyed tables and enumerations. Every
// line is built in a growable buffer and sent whole through vek_puts.
#include "errors.h"
#include "display.h"
#include "valueops.h"
#include "tables.h"
#include "output.h"
#include "symbols.h"
#include "timecode.h"
#include "keyed.h"
#include "arena.h"
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

i64 display_indent = 0;
unsigned char first_item_flag = 0;


// ---- Growable text ----------------------------------------------------------------

struct Text { char *p; i64 len, cap; };

static void text_reserve(Text *t, i64 extra) {
    if (t->len + extra + 1 <= t->cap) return;
    i64 cap = t->cap ? t->cap : 256;
    while (cap < t->len + extra + 1) cap *= 2;
    char *p = (char *)realloc(t->p, (size_t)cap);
    if (!p) { fputs("* insufficient memery to allocate. *\n", stdout); exit(1); }
    t->p = p;
    t->cap = cap;
}
static void text_add(Text *t, const char *s, i64 n) {
    if (n <= 0) return;
    text_reserve(t, n);
    memcpy(t->p + t->len, s, (size_t)n);
    t->len += n;
    t->p[t->len] = 0;
}
static void text_str(Text *t, const char *s) { text_add(t, s, (i64)strlen(s)); }
static void text_fill(Text *t, char c, i64 n) {
    if (n <= 0) return;
    text_reserve(t, n);
    memset(t->p + t->len, c, (size_t)n);
    t->len += n;
    t->p[t->len] = 0;
}
static void text_emit(Text *t) {
    if (t->len > 0) vek_puts(t->p);
    t->len = 0;
    if (t->p) t->p[0] = 0;
}
static void text_free(Text *t) { free(t->p); t->p = nullptr; t->len = t->cap = 0; }

// ---- Shared state and small helpers ----------------------------------------------------

static i64 capped_indent() { return display_indent < DISPLAY_PREFIX_MAX ? display_indent : DISPLAY_PREFIX_MAX; }

// The prefix of a continuation line: the indent, then six blanks.
static void continuation_prefix(Text *t) { text_fill(t, ' ', capped_indent() + 6); }

static void print_hint(Text *t, i64 left_out) {
    char b[96];
    snprintf(b, sizeof b, "\n%s <%lld more>, TRY []<-v to output all %s", "...", (long long)left_out, "...");
    text_str(t, b);
}

void reset_error_state() {
    error_number = 0;
    display_indent = 0;
}

i64 print_precision() {
    ValueDescriptor *d = &value_slot_table[PRINT_PRECISION_SLOT];
    i64 pp = 10;
    if (d->rank >= 0 && d->count >= 1 && (d->type == T_INT || d->type == T_BOOL)) {
        const i64 *p = (const i64 *)value_data(d);
        if (p) pp = p[0];
    }
    if (pp < 1) pp = 1;
    if (pp > 800) pp = 800;
    return pp;
}

static const void *data_of(const ValueDescriptor *d) {
    return value_data(const_cast<ValueDescriptor *>(d));
}

// ---- Number texts ---------------------------------------------------------------------

i64 format_integer(i64 x, char *buffer) {
    if (x == INT64_MAX) return (i64)strlen(strcpy(buffer, "0w"));
    if (x == -INT64_MAX) return (i64)strlen(strcpy(buffer, "_0w"));
    if (x == INT64_MIN) return (i64)strlen(strcpy(buffer, "0n"));
    int n = snprintf(buffer, 32, "%lld", (long long)x);
    if (buffer[0] == '-') buffer[0] = '_';
    return n;
}

// Rewrites the exponent digits from position `from` without leading zeros.
static i64 strip_exponent_zeros(char *b, i64 at, i64 from) {
    i64 k = from;
    while (b[k] == '0' && b[k + 1] != 0) k++;
    i64 n = (i64)strlen(b + k);
    memmove(b + at, b + k, (size_t)n + 1);
    return at + n;
}

i64 format_float(double x, char *buffer) {
    if (std::isnan(x)) return (i64)strlen(strcpy(buffer, "0nf"));
    if (std::isinf(x)) return (i64)strlen(strcpy(buffer, x > 0 ? "0wf" : "_0wf"));
    // the text of "%.*g" in the C locale whatever the user's: '.' is the
    // decimal point (and to_chars writes it several times faster)
    std::to_chars_result end =
        std::to_chars(buffer, buffer + ELEMENT_TEXT_MAX - 1, x, std::chars_format::general, (int)print_precision());
    *end.ptr = 0;
    for (i64 k = 0; buffer[k]; k++) {
        if (buffer[k] == '-') {
            buffer[k] = '_';
            if (k > 0 && buffer[k - 1] == 'e') return strip_exponent_zeros(buffer, k + 1, k + 1);
        } else if (buffer[k] == '+') {
            return strip_exponent_zeros(buffer, k, k + 1);
        }
    }
    return (i64)strlen(buffer);
}

i64 format_complex(const double *z, char *buffer) {
    if (std::isnan(z[0])) return (i64)strlen(strcpy(buffer, "0nj"));
    if (std::isinf(z[0])) return (i64)strlen(strcpy(buffer, z[0] > 0 ? "0wj" : "_0wj"));
    i64 n = format_float(z[0], buffer);
    if (z[1] != 0.0) {
        buffer[n++] = 'j';
        n += format_float(z[1], buffer + n);
    }
    return n;
}

// ---- Time texts -------------------------------------------------------------------------

static i64 time_text(i64 v, i64 type, char *b) { return format_time_value(v, type, b); }

static i64 datetime_text(double v, char *b) {
    if (!datetime_is_null(v) && (!std::isfinite(v) || std::fabs(v) > 9.0e17)) return format_float(v, b);
    return format_datetime_value(v, b);
}

// ---- Element texts ---------------------------------------------------------------------

static i64 symbol_text_into(i64 number, char *b, bool quoted) {
    const SymbolNode *node = symbol_node(number);
    if (!node) { if (quoted) { b[0] = '`'; b[1] = 0; return 1; } b[0] = 0; return 0; }
    i64 n = quoted ? format_symbol_quoted(node, b) : quote_symbol_name(node, b);
    b[n] = 0;
    return n;
}

static i64 enum_item_text(const ValueDescriptor *d, i64 i, char *b, bool backquote);

// The text of element i without padding; symbols with a backquote when
// `quoted` (vectors, matrices, scalars), bare otherwise (cells, entries).
static i64 raw_element_text(const ValueDescriptor *d, i64 i, char *b, bool quoted) {
    const void *p = data_of(d);
    b[0] = 0;
    if (!p) return 0;
    switch (d->type) {
    case T_BOOL: case T_INT: return format_integer(((const i64 *)p)[i], b);
    case T_FLOAT: return format_float(((const double *)p)[i], b);
    case T_CHAR: b[0] = ((const char *)p)[i]; b[1] = 0; return 1;
    case T_COMPLEX: return format_complex(&((const double *)p)[2 * i], b);
    case T_SYMBOL: return symbol_text_into(((const i64 *)p)[i], b, quoted);
    case T_MONTH: case T_DATE: case T_MINUTE: case T_SECOND: case T_TIME:
        return time_text(((const i64 *)p)[i], d->type, b);
    case T_DATETIME: return datetime_text(((const double *)p)[i], b);
    case T_ENUM: return enum_item_text(d, i, b, quoted);
    default: return 0;
    }
}

i64 element_text(const ValueDescriptor *d, i64 i, char *buffer, i64 width) {
    i64 n = raw_element_text(d, i, buffer, false);
    if (width > n && width < ELEMENT_TEXT_MAX) {
        memset(buffer + n, ' ', (size_t)(width - n));
        n = width;
        buffer[n] = 0;
    }
    return n;
}

// ---- Enumerations -----------------------------------------------------------------------

// An enumeration item is the domain item at its position, resolved by the
// domain's name; a position outside the domain (or no domain at all) shows
// as the position itself.
static i64 domain_item_text(const ValueDescriptor *dom, i64 pos, char *b, bool backquote) {
    if (!dom || pos < 0 || pos >= dom->count) return format_integer(pos, b);
    return raw_element_text(dom, pos, b, backquote);
}

static i64 enum_item_text(const ValueDescriptor *d, i64 i, char *b, bool backquote) {
    return domain_item_text(enum_domain(d), enum_positions(d)[i], b, backquote);
}

static void show_enumeration(Text *t, const ValueDescriptor *d) {
    char b[ELEMENT_TEXT_MAX];
    symbol_text_into(enum_domain_name(d), b, true);
    text_str(t, b);
    text_str(t, ":");
    i64 line_start = 0;
    const ValueDescriptor *dom = enum_domain(d);
    for (i64 i = 0; i < d->count; i++) {
        i64 n = domain_item_text(dom, enum_positions(d)[i], b, true);
        if (i > 0) {
            if (t->len - line_start + 1 + n > DISPLAY_LINE_WIDTH + 1) {
                text_str(t, "\n");
                line_start = t->len;
                continuation_prefix(t);
            } else text_str(t, " ");
        }
        text_add(t, b, n);
    }
}

// ---- Vectors ------------------------------------------------------------------------------

static void show_vector(Text *t, const ValueDescriptor *d, i64 slot) {
    char b[ELEMENT_TEXT_MAX];
    i64 shown = d->count;
    if (d->type != T_COMPLEX && slot != SLOT_OUT && shown > DISPLAY_ITEM_LIMIT) shown = DISPLAY_ITEM_LIMIT;
    i64 line_start = 0;                  // the marker or indent already in t counts
    i64 items_on_line = 0;
    for (i64 i = 0; i < shown; i++) {
        i64 n = raw_element_text(d, i, b, true);
        i64 len = t->len - line_start;
        if (items_on_line > 0 && len + 1 + n >= DISPLAY_LINE_WIDTH) {
            text_str(t, "\n");
            line_start = t->len;
            continuation_prefix(t);
            items_on_line = 0;
        } else if (items_on_line > 0) text_str(t, " ");
        text_add(t, b, n);
        items_on_line++;
    }
    if (shown < d->count) print_hint(t, d->count - shown);
}

// Characters in lines: the first takes `first`, each continuation `rest`.
static void show_char_run(Text *t, const char *p, i64 n, i64 first, i64 rest) {
    i64 take = n < first ? n : first;
    text_add(t, p, take);
    for (i64 at = take; at < n; at += rest) {
        text_str(t, "\n");
        continuation_prefix(t);
        text_add(t, p + at, (n - at) < rest ? (n - at) : rest);
    }
}

static void show_char_vector(Text *t, const ValueDescriptor *d, i64 slot) {
    i64 shown = d->count;
    if (slot != SLOT_OUT && shown > DISPLAY_CHAR_LIMIT) shown = DISPLAY_CHAR_LIMIT;
    i64 ind = capped_indent();
    show_char_run(t, (const char *)data_of(d), shown, DISPLAY_LINE_WIDTH - ind, DISPLAY_WIDTH_LIMIT - ind);
    if (shown < d->count) print_hint(t, d->count - shown);
}

// ---- Arrays -------------------------------------------------------------------------------

struct ColumnWidths { i64 *front, *back; };

// Text in front of the '.', and from the '.' on (empty when there is none).
static i64 float_front_length(const char *b, i64 n) {
    const char *dot = strchr(b, '.');
    return dot ? (i64)(dot - b) : n;
}

// The real part of a complex text, up to its 'j'; "0nj", "0wj" and "_0wj"
// (a real part that is not a number) count whole.
static i64 complex_front_length(const char *b, i64 n) {
    const char *j = strchr(b, 'j');
    if (!j || j[1] == 0) return n;
    return (i64)(j - b);
}

// Per column of the last axis: for floats the widths in front of and from
// the '.', for complex numbers of the real and the imaginary part, for
// integers and symbols the text width (in front). The widths take memory
// like a value's (counted against its limit); 6 when it cannot be had.
static void free_column_widths(ColumnWidths *w, i64 cols) {
    value_free(w->front, (cols + 1) * (i64)sizeof(i64));
    value_free(w->back, (cols + 1) * (i64)sizeof(i64));
}

static int layout_numeric_columns(const ValueDescriptor *d, i64 cols, ColumnWidths *out) {
    ColumnWidths w;
    i64 bytes = (cols + 1) * (i64)sizeof(i64);
    w.front = (i64 *)value_malloc(bytes);
    w.back = w.front ? (i64 *)value_malloc(bytes) : nullptr;
    if (!w.back) { free_column_widths(&w, cols); return error_number = 6; }
    memset(w.front, 0, (size_t)bytes);
    memset(w.back, 0, (size_t)bytes);
    char b[ELEMENT_TEXT_MAX];
    for (i64 i = 0; i < d->count; i++) {
        i64 c = i % cols;
        i64 n = raw_element_text(d, i, b, true);
        i64 front = n, back = 0;
        if (d->type == T_FLOAT) { front = float_front_length(b, n); back = n - front; }
        else if (d->type == T_COMPLEX) { front = complex_front_length(b, n); back = n - front; }
        if (front > w.front[c]) w.front[c] = front;
        if (back > w.back[c]) w.back[c] = back;
    }
    *out = w;
    return 0;
}

static void show_array_element(Text *t, const ValueDescriptor *d, i64 i, i64 c, const ColumnWidths *w) {
    char b[ELEMENT_TEXT_MAX];
    i64 n = raw_element_text(d, i, b, true);
    switch (d->type) {
    case T_BOOL: case T_INT:
        text_fill(t, ' ', w->front[c] - n);
        text_add(t, b, n);
        break;
    case T_FLOAT: case T_COMPLEX: {
        i64 front = n;
        if (d->type == T_FLOAT) front = float_front_length(b, n);
        else front = complex_front_length(b, n);
        text_fill(t, ' ', w->front[c] - front);
        text_add(t, b, n);
        text_fill(t, ' ', w->back[c] - (n - front));
        break;
    }
    case T_SYMBOL:
        text_add(t, b, n);
        text_fill(t, ' ', w->front[c] - n);
        break;
    default: text_add(t, b, n); break;
    }
}

// A line of an array after the first: for a list item it carries the prefix.
static void array_newline(Text *t, bool item) {
    text_str(t, "\n");
    if (item) text_fill(t, ' ', capped_indent());
}

static int display_array(Text *t, const ValueDescriptor *d, int source, i64 slot) {
    i64 cols = value_dimension(d, d->rank - 1);
    i64 rows = value_dimension(d, d->rank - 2);
    if (rows <= 0 || cols <= 0 || rows > d->count / cols) return 0;   // shape and count disagree
    i64 planes = d->count / (rows * cols);
    i64 shown_rows = (rows <= DISPLAY_ROW_LIMIT || slot == SLOT_OUT) ? rows : DISPLAY_ROW_LIMIT;
    bool item = source == 2;
    bool numeric = d->type == T_BOOL || d->type == T_INT || d->type == T_FLOAT ||
                   d->type == T_COMPLEX || d->type == T_SYMBOL;
    ColumnWidths w = {nullptr, nullptr};
    if (numeric && layout_numeric_columns(d, cols, &w)) return error_number;
    i64 ind = capped_indent();
    char b[ELEMENT_TEXT_MAX];
    for (i64 p = 0; p < planes; p++) {
        if (p > 0) { array_newline(t, false); array_newline(t, item); }
        for (i64 r = 0; r < shown_rows; r++) {
            if (r > 0) array_newline(t, item);
            i64 base = (p * rows + r) * cols;
            if (d->type == T_CHAR) {
                show_char_run(t, (const char *)data_of(d) + base, cols, DISPLAY_LINE_WIDTH - ind,
                              DISPLAY_WIDTH_LIMIT - ind);
                continue;
            }
            i64 line_start = t->len - ind;
            for (i64 c = 0; c < cols; c++) {
                i64 n;
                if (numeric) n = w.front[c] + w.back[c];
                else n = raw_element_text(d, base + c, b, true);
                if (c > 0) {
                    if (t->len - line_start + 1 + n > DISPLAY_LINE_WIDTH) {
                        text_str(t, "\n");
                        line_start = t->len;
                        continuation_prefix(t);
                    } else text_str(t, " ");
                }
                if (numeric) show_array_element(t, d, base + c, c, &w);
                else text_add(t, b, n);
            }
        }
        if (shown_rows < rows) print_hint(t, rows - shown_rows);
    }
    free_column_widths(&w, cols);
    return 0;
}

// ---- Nested one-line forms -------------------------------------------------------------------

static void nested_form(Text *t, const ValueDescriptor *d) {
    char b[ELEMENT_TEXT_MAX];
    if (d->rank < 0) return;
    if (d->type == T_LIST) {
        const ValueDescriptor *items = (const ValueDescriptor *)d->data;
        if (d->count == 1 && items) { nested_form(t, &items[0]); return; }
        text_str(t, "(");
        for (i64 k = 0; k < d->count && items; k++) {
            if (k > 0) text_str(t, ";");
            nested_form(t, &items[k]);
        }
        text_str(t, ")");
        return;
    }
    if (d->type == T_CHAR && !(d->count == 1 && d->rank == 0)) {
        text_str(t, "'");
        const char *p = (const char *)data_of(d);
        if (p) text_add(t, p, d->count);
        text_str(t, "'");
        return;
    }
    if (d->type == T_DICT || d->type == T_TABLE) return;
    for (i64 k = 0; k < d->count; k++) {
        if (k > 0) text_str(t, " ");
        i64 n = raw_element_text(d, k, b, false);
        text_add(t, b, n);
    }
}

i64 display_width(const ValueDescriptor *d, i64 depth) {
    if (d->rank < 0) return 0;
    if (depth > 0 || d->type == T_LIST) {
        if (d->type == T_LIST && depth == 0) {
            i64 best = 0;
            const ValueDescriptor *items = (const ValueDescriptor *)d->data;
            for (i64 k = 0; k < d->count && items; k++) {
                i64 n = display_width(&items[k], 1);
                if (n > best) best = n;
            }
            return best;
        }
        Text t = {nullptr, 0, 0};
        nested_form(&t, d);
        i64 n = t.len;
        text_free(&t);
        return n;
    }
    char b[ELEMENT_TEXT_MAX];
    i64 best = 0;
    for (i64 k = 0; k < d->count; k++) {
        i64 n = d->type == T_CHAR ? 1 : raw_element_text(d, k, b, false);
        if (n > best) best = n;
    }
    return best;
}

// ---- Dictionaries, tables, keyed tables ----------------------------------------------------------

static i64 pair_form(const ValueDescriptor *d) {
    if (d->spare == 1 || d->spare == 2) return d->spare;
    return d->dim0;
}

// One entry of a key or value list: simple lists by element text, general
// lists by their one-line form.
static void list_entry(Text *t, const ValueDescriptor *list, i64 i, i64 width) {
    i64 start = t->len;
    if (list->type == T_LIST) {
        const ValueDescriptor *items = (const ValueDescriptor *)list->data;
        if (items) nested_form(t, &items[i]);
    } else {
        char b[ELEMENT_TEXT_MAX];
        text_add(t, b, raw_element_text(list, i, b, false));
    }
    text_fill(t, ' ', width - (t->len - start));
}

static int display_dictionary(Text *t, const ValueDescriptor *d);
static int display_keyed_table(Text *t, const ValueDescriptor *d);

// Cell text of a table column: a general-list cell is its characters.
static void cell_text(Text *t, const ValueDescriptor *col, i64 row, i64 width) {
    i64 start = t->len;
    const ValueDescriptor c = *col;
    if (c.type == T_LIST) {
        const ValueDescriptor *items = (const ValueDescriptor *)c.data;
        if (items && row < c.count) {
            const ValueDescriptor *cell = &items[row];
            if (cell->type == T_CHAR) {
                const char *p = (const char *)data_of(cell);
                if (p) text_add(t, p, cell->count);
            } else nested_form(t, cell);
        }
    } else if (c.rank >= 0) {
        i64 r = c.count == 1 ? 0 : row;     // a one-item column stands for every row
        if (r < c.count) {
            char b[ELEMENT_TEXT_MAX];
            text_add(t, b, raw_element_text(&c, r, b, false));
        }
    }
    text_fill(t, ' ', width - (t->len - start));
}

static i64 cell_width(const ValueDescriptor *col, i64 row) {
    Text t = {nullptr, 0, 0};
    cell_text(&t, col, row, -1);
    i64 n = t.len;
    text_free(&t);
    return n;
}

struct TableView {
    const ValueDescriptor *names;   // symbol vector
    const ValueDescriptor *cols;    // columns
    i64 ncols, rows;
};

static int table_view(const ValueDescriptor *d, TableView *v) {
    if (!d || d->type != T_TABLE || !d->data) return error_number = VEK_DOMAIN;
    v->names = pair_half(d, 0);
    const ValueDescriptor *list = pair_half(d, 1);
    if (!v->names || !list || list->type != T_LIST || (list->count > 0 && !list->data) ||
        (v->names->count > 0 && !data_of(v->names)))
        return error_number = VEK_DOMAIN;
    v->cols = (const ValueDescriptor *)list->data;
    v->ncols = list->count < v->names->count ? list->count : v->names->count;
    v->rows = table_rows(d);
    return 0;
}

// Widens each width to the longest cell text of its column among the rows
// shown (a million-row table shows 30 and measures only those); returns
// the largest.
static i64 table_column_widths(const TableView *v, i64 *widths, i64 shown) {
    char b[ELEMENT_TEXT_MAX];
    i64 best = 0;
    for (i64 k = 0; k < v->ncols; k++) {
        i64 w = raw_element_text(v->names, k, b, false);
        for (i64 r = 0; r < shown; r++) {
            i64 n = cell_width(&v->cols[k], r);
            if (n > w) w = n;
        }
        widths[k] = w;
        if (w > best) best = w;
    }
    return best;
}

static void table_header(Text *t, const TableView *v, const i64 *w, bool lead_blank) {
    char b[ELEMENT_TEXT_MAX];
    for (i64 k = 0; k < v->ncols; k++) {
        if (k > 0 || lead_blank) text_str(t, " ");
        // padded here, not by element_text: a cell may be wider than b
        i64 n = raw_element_text(v->names, k, b, false);
        text_add(t, b, n);
        text_fill(t, ' ', w[k] - n);
    }
}

static void table_row(Text *t, const TableView *v, const i64 *w, i64 r, bool lead_blank) {
    for (i64 k = 0; k < v->ncols; k++) {
        if (k > 0 || lead_blank) text_str(t, " ");
        cell_text(t, &v->cols[k], r, w[k]);
    }
}

static int display_table(Text *t, const ValueDescriptor *d, i64 slot) {
    TableView v;
    if (table_view(d, &v)) return error_number;
    i64 *w = (i64 *)calloc((size_t)v.ncols + 1, sizeof(i64));
    i64 shown = (v.rows <= DISPLAY_ROW_LIMIT || slot == SLOT_OUT) ? v.rows : DISPLAY_ROW_LIMIT;
    table_column_widths(&v, w, shown);
    table_header(t, &v, w, false);
    i64 rule = v.ncols > 0 ? v.ncols - 1 : 0;
    for (i64 k = 0; k < v.ncols; k++) rule += w[k];
    text_str(t, "\n");
    text_fill(t, '-', rule < DISPLAY_RULE_MAX ? rule : DISPLAY_RULE_MAX);
    for (i64 r = 0; r < shown; r++) {
        text_str(t, "\n");
        table_row(t, &v, w, r, false);
    }
    if (shown < v.rows) print_hint(t, v.rows - shown);
    free(w);
    return 0;
}

static int display_keyed_table(Text *t, const ValueDescriptor *d) {
    TableView kv, vv;
    if (table_view(pair_half(d, 0), &kv) || table_view(pair_half(d, 1), &vv)) return error_number = VEK_DOMAIN;
    i64 *kw = (i64 *)calloc((size_t)kv.ncols + 1, sizeof(i64));
    i64 *vw = (i64 *)calloc((size_t)vv.ncols + 1, sizeof(i64));
    table_column_widths(&kv, kw, kv.rows);
    table_column_widths(&vv, vw, vv.rows);
    table_header(t, &kv, kw, false);
    text_str(t, "|");
    table_header(t, &vv, vw, true);
    i64 bar = kv.ncols > 0 ? kv.ncols - 1 : 0, rule = kv.ncols + vv.ncols;
    for (i64 k = 0; k < kv.ncols; k++) { bar += kw[k]; rule += kw[k]; }
    for (i64 k = 0; k < vv.ncols; k++) rule += vw[k];
    if (rule > DISPLAY_RULE_MAX) rule = DISPLAY_RULE_MAX;
    text_str(t, "\n");
    for (i64 k = 0; k < rule; k++) text_str(t, k == bar ? "|" : "-");
    i64 rows = kv.rows > vv.rows ? kv.rows : vv.rows;
    for (i64 r = 0; r < rows; r++) {
        text_str(t, "\n");
        table_row(t, &kv, kw, r, false);
        text_str(t, "|");
        table_row(t, &vv, vw, r, true);
    }
    free(kw);
    free(vw);
    return 0;
}

static int display_dictionary(Text *t, const ValueDescriptor *d) {
    i64 form = pair_form(d);
    if (form == 2) return display_keyed_table(t, d);
    if (form != 1 || !d->data) return error_number = VEK_DOMAIN;
    const ValueDescriptor *keys = pair_half(d, 0), *vals = pair_half(d, 1);
    i64 kw = display_width(keys, 0);
    for (i64 i = 0; i < keys->count; i++) {
        if (i > 0) text_str(t, "\n");
        list_entry(t, keys, i, kw);
        text_str(t, "| ");
        if (i < vals->count) list_entry(t, vals, i, -1);
    }
    return 0;
}

// ---- The entry point ------------------------------------------------------------------------

static void item_marker(Text *t) {
    i64 ind = capped_indent();
    if (first_item_flag) {
        if (ind <= 1) text_str(t, "<");
        else { text_fill(t, ' ', ind - 2); text_str(t, "<<"); }
    } else {
        text_fill(t, ' ', ind - 1);
        text_str(t, "<");
    }
}

static const i64 EMPTY_LINES_MAX = 1000000;

// Lines of an empty array: the product of the dimensions before the first
// zero one, saturated instead of overflowing.
static i64 empty_array_lines(const ValueDescriptor *d) {
    i64 lines = 1;
    for (i64 k = 0; k < d->rank; k++) {
        i64 n = value_dimension(d, k);
        if (n <= 0) break;
        if (lines > EMPTY_LINES_MAX / n) return EMPTY_LINES_MAX;
        lines *= n;
    }
    return lines;
}

// Kept out of display_descriptor so the frames of a deep nesting stay small.
static __attribute__((noinline)) void single_element(Text *t, const ValueDescriptor *d) {
    char b[ELEMENT_TEXT_MAX];
    text_add(t, b, raw_element_text(d, 0, b, true));
}

// slot: SLOT_OUT when the list is shown in full, its items with it.
static int show_list(const ValueDescriptor *d, i64 slot) {
    if (d->rank >= 2) {
        vek_printf("Debug[%s:%4d] %s\n", "vpfn1", 193, "error in typ6 output");
        return 0;
    }
    const ValueDescriptor *items = (const ValueDescriptor *)d->data;
    if (display_indent >= DISPLAY_DEPTH_MAX) {
        // a value nested this deep is not walked further: the process stack
        // must not run out on it
        Text t = {nullptr, 0, 0};
        text_fill(&t, ' ', capped_indent());
        text_str(&t, "...\n");
        text_emit(&t);
        text_free(&t);
        return 0;
    }
    display_indent++;
    unsigned char saved_first = first_item_flag;
    int rc = 0;
    for (i64 k = 0; k < d->count && items; k++) {
        first_item_flag = k == 0;
        ValueDescriptor item = items[k];     // private: no slot is borrowed or cleared
        fix_inline_pointer(&item);
        rc = display_descriptor(&item, 2, slot == SLOT_OUT ? SLOT_OUT : 0);
        if (rc) break;
    }
    first_item_flag = saved_first;
    display_indent--;
    return rc;
}

int display_descriptor(const ValueDescriptor *dd, int source, i64 slot) {
    if (!dd || dd->rank < 0) return 4;
    if (prompt_suppress) return 0;
    ValueDescriptor d = *dd;
    fix_inline_pointer(&d);
    if (d.type == T_LIST) {
        if (d.count == 0) {
            Text t = {nullptr, 0, 0};
            if (source == 2) item_marker(&t);
            text_str(&t, "\n");
            text_emit(&t);
            text_free(&t);
            return 0;
        }
        return show_list(&d, slot);
    }
    Text t = {nullptr, 0, 0};
    int rc = 0;
    if (source == 2) item_marker(&t);
    else text_fill(&t, ' ', capped_indent());
    if (d.type == T_DICT || d.type == T_TABLE) {
        if (source == 2) text_str(&t, "\n");
        rc = d.type == T_TABLE ? display_table(&t, &d, slot) : display_dictionary(&t, &d);
    } else if (d.type == T_ENUM) {
        show_enumeration(&t, &d);
    } else if ((d.type > T_TIME && d.type != T_ENUM) || d.type < 0) {
        // types no operation makes: the closing newline alone
    } else if (d.count <= 0) {
        if (d.rank >= 2) text_fill(&t, '\n', empty_array_lines(&d) - 1);
    } else if (d.rank <= 1 && d.count == 1 && d.type != T_COMPLEX) {
        single_element(&t, &d);
    } else if (d.rank <= 1) {
        if (d.type == T_CHAR) show_char_vector(&t, &d, slot);
        else show_vector(&t, &d, slot);
    } else {
        rc = display_array(&t, &d, source, slot);
    }
    if (rc) { text_free(&t); return rc; }
    if (slot == SLOT_OUT_OPEN) pending_newline = 1;
    else { text_str(&t, "\n"); pending_newline = 0; }
    text_emit(&t);
    text_free(&t);
    return 0;
}

int display_value(int source, i64 index) {
    ValueDescriptor *d = nullptr;
    if (source == 1) d = (index >= 0 && index < CONSTANT_CAP) ? &constants_table[index] : nullptr;
    else d = (index >= 0 && index < SLOT_COUNT) ? &value_slot_table[index] : nullptr;
    if (!d || d->rank < 0) {
        if (source != 1) error_number = VEK_VALUE;
        return 4;
    }
    i64 slot = source == 1 ? 0 : index;
    int rc = display_descriptor(d, source, slot);
    if (source != 1 && index == SLOT_OUT) {
        // the output slot's data is given up once shown, and the slot emptied
        free_value(&value_slot_table[SLOT_OUT]);
    }
    return rc;
}
