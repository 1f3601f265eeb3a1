// Format: a value as characters, in the texts the display shows.
//
// Ledger
// - format (+. y): a char value is itself; a scalar or vector becomes the
//   texts of its items one blank apart; an array of rank 2 or more becomes
//   a char array of the same rank whose rows are the operand's rows laid
//   out in columns: numbers right-aligned (floats on their decimal points,
//   complex numbers on their 'j'), symbols as bare names left-aligned,
//   time values right-aligned in at least their type's usual width.
//   Numbers follow []PP and the display's forms ("_", "0n", "0w", "1e_5").
//   An empty value gives an empty char vector.
// Fast path: numbers are written straight into one growing text, and an
// array's item texts are made once for both its layout and its rows.
// Refuses with 1: general lists, dictionaries, tables, enumerations and
// every other type above the time types.
#include "prim.h"
#include "core/display.h"
#include "core/symbols.h"
#include <cstring>
#include <string>
#include <vector>

// Usual text widths of the time types, by type 7..12.
static const i64 time_widths[6] = {8, 10, 23, 5, 8, 12};

static bool is_time(i64 t) { return t >= T_MONTH && t <= T_TIME; }

// The text of item i: symbols by their bare names, everything else as the
// display writes an element.
static void append_item(std::string &out, const Operand &y, i64 i) {
    if (y.type == T_SYMBOL) {
        out += symbol_text(y.int_at(i));
        return;
    }
    char b[ELEMENT_TEXT_MAX];
    i64 n;
    if (y.type == T_FLOAT) n = format_float(y.floats()[y.single ? 0 : i], b);
    else if (y.is_int_class()) n = format_integer(y.int_at(i), b);
    else n = element_text(y.desc(), y.single ? 0 : i, b, -1);
    out.append(b, (size_t)n);
}

static int text_result(i64 result_slot, const std::string &text, Operand *y) {
    Result z;
    if (begin_vector(&z, result_slot, T_CHAR, (i64)text.size(), y, nullptr, true)) return (int)error_number;
    if (!text.empty()) memcpy(z.chars(), text.data(), text.size());
    return 0;
}

static int format_vector(i64 result_slot, Operand *y) {
    std::string out;
    out.reserve((size_t)y->count * 8);
    for (i64 i = 0; i < y->count; i++) {
        if (i) out += ' ';
        append_item(out, *y, i);
    }
    return text_result(result_slot, out, y);
}

// ---- Arrays --------------------------------------------------------------------------

// All item texts, one after the other; item i is text[at[i] .. at[i+1]).
struct ItemTexts {
    std::string text;
    std::vector<i64> at;
    const char *of(i64 i) const { return text.data() + at[i]; }
    i64 length(i64 i) const { return at[i + 1] - at[i]; }
};

// Where a text splits into its two aligned parts: at the '.' of a float
// (none: all in front), at the 'j' of a complex number (a real part that
// is not a number, "0nj", counts whole). Other types have one part.
static i64 front_length(i64 type, const char *p, i64 n) {
    if (type == T_FLOAT) {
        const char *dot = (const char *)memchr(p, '.', (size_t)n);
        return dot ? dot - p : n;
    }
    if (type == T_COMPLEX) {
        const char *j = (const char *)memchr(p, 'j', (size_t)n);
        return (j && j + 1 < p + n) ? j - p : n;
    }
    return n;
}

struct Columns {
    std::vector<i64> front, back;   // widths in front of and from the split
    i64 row_width = 0;
};

static void layout_columns(const ItemTexts &t, i64 type, i64 count, i64 cols, Columns *c) {
    c->front.assign((size_t)cols, is_time(type) ? time_widths[type - T_MONTH] : 0);
    c->back.assign((size_t)cols, 0);
    for (i64 i = 0; i < count; i++) {
        i64 k = i % cols, n = t.length(i), f = front_length(type, t.of(i), n);
        if (f > c->front[k]) c->front[k] = f;
        if (n - f > c->back[k]) c->back[k] = n - f;
    }
    c->row_width = cols - 1;
    for (i64 k = 0; k < cols; k++) c->row_width += c->front[k] + c->back[k];
}

// One item into its column: symbols pad on the right, everything else is
// aligned on its split and padded on both sides.
static char *write_item(char *w, const ItemTexts &t, i64 i, i64 type, i64 front, i64 back) {
    i64 n = t.length(i);
    if (type == T_SYMBOL) {
        memcpy(w, t.of(i), (size_t)n);
        memset(w + n, ' ', (size_t)(front - n));
        return w + front;
    }
    i64 f = front_length(type, t.of(i), n);
    memset(w, ' ', (size_t)(front - f));
    w += front - f;
    memcpy(w, t.of(i), (size_t)n);
    w += n;
    memset(w, ' ', (size_t)(back - (n - f)));
    return w + back - (n - f);
}

static int format_array(i64 result_slot, Operand *y) {
    Shape s;
    shape_of(&s, y);
    i64 cols = s.dims[s.rank - 1];
    ItemTexts t;
    t.at.reserve((size_t)y->count + 1);
    for (i64 i = 0; i < y->count; i++) {
        t.at.push_back((i64)t.text.size());
        append_item(t.text, *y, i);
    }
    t.at.push_back((i64)t.text.size());
    Columns c;
    layout_columns(t, y->type, y->count, cols, &c);
    s.dims[s.rank - 1] = c.row_width;
    Result z;
    if (begin_result(&z, result_slot, T_CHAR, s, y, nullptr, true)) return (int)error_number;
    if (c.row_width == 0) return 0;   // one column of empty symbols: rows of no characters, no block
    char *w = z.chars();
    for (i64 i = 0; i < y->count; i++) {
        i64 k = i % cols;
        if (k) *w++ = ' ';
        w = write_item(w, t, i, y->type, c.front[k], c.back[k]);
    }
    return 0;
}

static int prim_format(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (y.type > T_TIME || y.type == T_LIST) return fail(VEK_DOMAIN);
    if (y.type == T_CHAR) return result_copy(result_slot, &y);
    if (y.count == 0) return text_result(result_slot, std::string(), &y);
    if (y.rank <= 1) return format_vector(result_slot, &y);
    return format_array(result_slot, &y);
}

void register_format_primitives() {
    register_primitive(P_FORMAT, 1, prim_format);
}
