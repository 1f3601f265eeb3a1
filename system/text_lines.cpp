// Values as lines of text.
//
// Ledger
// - s +. x: s is one character, or the symbol `csv (a comma). Lines:
//   a simple scalar or vector gives one line per item; a simple array of
//   rank 2 or more one line per position along the last axis, joining the
//   items at that position in order; a list of columns one line per row; a
//   table its column names, then one line per row. Columns are simple
//   vectors, lists of texts or enumerations, cells as the table display
//   shows them. Refuses: a symbol other than `csv (1), a separator of more
//   or fewer than one character (2), a separator of another type (7); a
//   column of another kind (7), of rank above 1 (2), columns of different
//   lengths (3); a list of rank above 1 (2); a dictionary, keyed table or
//   enumeration (7).
// - h << x lines: a scalar or vector on one line (characters as they are,
//   other items one blank apart), a matrix a line per row, higher ranks
//   their planes with an empty line between them; a list its items in
//   turn; a table or keyed table its names and rows with tabs between the
//   cells. Refuses a dictionary or enumeration (7).
// Fast path: items are appended straight into one growing text.
#include "system/text_lines.h"
#include "system/export.h"
#include "system/files.h"
#include "primitives/prim.h"
#include "core/keyed.h"
#include "core/display.h"
#include "core/symbols.h"
#include "core/valueops.h"
#include <cstring>
#include <vector>

// ---- Item texts -------------------------------------------------------------------------

// Appends item i of a simple value or enumeration as the display writes it.
// backquote: symbols of simple values; cells of tables and columns are bare.
static void append_item(std::string *out, const ValueDescriptor *d, i64 i, bool backquote) {
    const void *p = value_data(const_cast<ValueDescriptor *>(d));
    if (d->type == T_CHAR) {
        out->push_back(((const char *)p)[i]);
        return;
    }
    char b[ELEMENT_TEXT_MAX];
    if (d->type == T_SYMBOL) {
        const SymbolNode *node = symbol_node(((const i64 *)p)[i]);
        if (!node) {
            if (backquote) out->push_back('`');
            return;
        }
        i64 n = backquote ? format_symbol_quoted(node, b) : quote_symbol_name(node, b);
        out->append(b, (size_t)n);
        return;
    }
    i64 n = element_text(d, i, b, -1);
    out->append(b, (size_t)n);
}

// Appends cell r of a column: a simple vector (a scalar repeats), a list of
// texts or an enumeration.
static void append_cell(std::string *out, const ValueDescriptor *col, i64 r) {
    if (col->type == T_LIST) {
        const ValueDescriptor *item = &((const ValueDescriptor *)col->data)[r];
        i64 n = item->count;
        if (n > 0) out->append((const char *)value_data(const_cast<ValueDescriptor *>(item)), (size_t)n);
        return;
    }
    append_item(out, col, col->count == 1 ? 0 : r, false);
}

// ---- Columns ---------------------------------------------------------------------------------

static bool is_text_list(const ValueDescriptor *d) {
    if (d->type != T_LIST) return false;
    const ValueDescriptor *items = (const ValueDescriptor *)d->data;
    for (i64 i = 0; i < d->count; i++)
        if (items[i].type != T_CHAR || items[i].rank > 1) return false;
    return true;
}

// A value that can stand as a column of cells: 0, 7 or 2.
static int column_kind(const ValueDescriptor *d) {
    if (!is_simple_type(d->type) && d->type != T_ENUM && !is_text_list(d)) return fail(VEK_TYPE);
    if (d->rank > 1) return fail(VEK_RANK);
    return 0;
}

// One line per row of columns, cells joined by sep.
static void column_lines(const std::vector<const ValueDescriptor *> &cols, i64 rows, char sep,
                         std::vector<std::string> *lines) {
    for (i64 r = 0; r < rows; r++) {
        std::string line;
        for (size_t k = 0; k < cols.size(); k++) {
            if (k) line.push_back(sep);
            append_cell(&line, cols[k], r);
        }
        lines->push_back(std::move(line));
    }
}

static int list_column_lines(const ValueDescriptor *x, char sep, std::vector<std::string> *lines) {
    if (x->rank > 1) return fail(VEK_RANK);
    std::vector<const ValueDescriptor *> cols;
    const ValueDescriptor *items = (const ValueDescriptor *)x->data;
    for (i64 k = 0; k < x->count; k++) {
        if (items[k].rank < 0) return fail(VEK_VALUE);
        if (column_kind(&items[k])) return (int)error_number;
        if (k > 0 && items[k].count != items[0].count) return fail(VEK_LENGTH);
        cols.push_back(&items[k]);
    }
    column_lines(cols, cols.empty() ? 0 : cols[0]->count, sep, lines);
    return 0;
}

// The header line and the rows of a table or keyed table.
static int table_lines(const ValueDescriptor *x, char sep, std::vector<std::string> *lines) {
    TableParts t;
    if (table_parts(x, &t)) return (int)error_number;
    std::string header;
    char b[SYMBOL_NAME_MAX + 4];
    for (size_t k = 0; k < t.names.size(); k++) {
        if (k) header.push_back(sep);
        const SymbolNode *node = symbol_node(t.names[k]);
        if (node) header.append(b, (size_t)quote_symbol_name(node, b));
    }
    lines->push_back(std::move(header));
    column_lines(t.columns, t.rows, sep, lines);
    return 0;
}

// ---- s +. x -------------------------------------------------------------------------------------

static int separator_of(i64 c, i64 v, char *sep) {
    Operand s;
    if (read_operand(&s, c, v)) return VEK_VALUE;
    if (s.type == T_SYMBOL) {
        if (s.count != 1 || s.rank > 1 || strcmp(symbol_text(s.int_at(0)), "csv") != 0) return fail(VEK_DOMAIN);
        *sep = ',';
        return 0;
    }
    if (s.type != T_CHAR) return fail(VEK_TYPE);
    if (s.count != 1 || s.rank > 1) return fail(VEK_RANK);
    *sep = s.chars()[0];
    return 0;
}

// A simple array of rank 2 or more: line i joins the items whose last
// index is i.
static void last_axis_lines(const ValueDescriptor *x, char sep, std::vector<std::string> *lines) {
    i64 n = value_dimension(x, x->rank - 1);
    if (n <= 0) return;
    i64 per_line = x->count / n;
    for (i64 i = 0; i < n; i++) {
        std::string line;
        for (i64 k = 0; k < per_line; k++) {
            if (k) line.push_back(sep);
            append_item(&line, x, k * n + i, true);
        }
        lines->push_back(std::move(line));
    }
}

int to_text_lines(i64, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    char sep;
    if (separator_of(lc, lv, &sep)) return (int)error_number;
    Operand xo;
    if (read_operand(&xo, rc, rv)) return VEK_VALUE;
    const ValueDescriptor *x = xo.desc();
    std::vector<std::string> lines;
    if (is_simple_type(x->type)) {
        if (x->rank <= 1) {
            for (i64 i = 0; i < x->count; i++) {
                std::string line;
                append_item(&line, x, i, true);
                lines.push_back(std::move(line));
            }
        } else {
            last_axis_lines(x, sep, &lines);
        }
    } else if (x->type == T_LIST) {
        if (list_column_lines(x, sep, &lines)) return (int)error_number;
    } else if (x->type == T_TABLE) {
        if (table_lines(x, sep, &lines)) return (int)error_number;
    } else if (x->type == T_DICT || x->type == T_ENUM) {
        return fail(VEK_TYPE);
    }
    std::vector<std::string_view> views(lines.begin(), lines.end());
    return store_text_list(slot, views.data(), (i64)views.size());
}

// ---- h << x ---------------------------------------------------------------------------------------

// Items [first, first + n) on one line: characters as they are, any other
// items one blank apart.
static void append_run(std::string *out, const ValueDescriptor *x, i64 first, i64 n) {
    for (i64 i = 0; i < n; i++) {
        if (i && x->type != T_CHAR) out->push_back(' ');
        append_item(out, x, first + i, true);
    }
    out->push_back('\n');
}

int value_lines_text(const ValueDescriptor *x, std::string *out) {
    if (x->rank < 0) return fail(VEK_VALUE);
    if (is_simple_type(x->type)) {
        if (x->rank <= 1) {
            append_run(out, x, 0, x->count);
            return 0;
        }
        i64 cols = value_dimension(x, x->rank - 1), rows = value_dimension(x, x->rank - 2);
        i64 plane = rows * cols;
        i64 planes = plane > 0 ? x->count / plane : 0;
        for (i64 p = 0; p < planes; p++) {
            if (p) out->push_back('\n');
            for (i64 r = 0; r < rows; r++) append_run(out, x, p * plane + r * cols, cols);
        }
        return 0;
    }
    if (x->type == T_LIST) {
        const ValueDescriptor *items = (const ValueDescriptor *)x->data;
        for (i64 i = 0; i < x->count; i++)
            if (value_lines_text(&items[i], out)) return (int)error_number;
        return 0;
    }
    if (x->type == T_TABLE || is_keyed_table(x)) {
        std::vector<std::string> lines;
        if (table_lines(x, '\t', &lines)) return (int)error_number;
        for (const std::string &l : lines) {
            out->append(l);
            out->push_back('\n');
        }
        return 0;
    }
    return fail(VEK_TYPE);
}
