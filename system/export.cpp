// Tables written to files.
//
// Ledger
// - []write name: the variable named by the file's base name (a bound name
//   of an active function first, then a global) is written to the file, as
//   text with tabs, CSV (extension "csv"), XML ("xml") or JSON ("json").
//   The variable is checked before the file is touched, and the file is
//   replaced only when every byte was written. Result: the argument text.
//   Refuses: not a text (7), a name with no value (4), a value that is not a
//   table or keyed table (99), a damaged table (1), a file that cannot be
//   opened or is neither a regular file nor a terminal (76), a write or
//   close that failed (300). An interrupt stops the write between blocks;
//   the file then stays as it was.
// - Layouts (key columns first): text and CSV a line of names, then a line
//   per row; XML "<vek>", a "<row>" line per row with an element per
//   column, "</vek>" (nothing escaped); JSON {"vek":[, an object per row,
//   ]}.
// - Cells: integers with '_' for minus and "0n" "0w" "_0w"; floats in the
//   shortest text that reads back exactly; a float NaN and the empty symbol
//   as nothing; time values in their text forms ("0n" for the null). Text
//   and CSV quote a cell holding the separator, a quote, a line break, or a
//   blank or tab at either end, doubling inner quotes; JSON escapes quotes,
//   backslashes, control characters and bytes that are not UTF-8.
// Fast path: cells are appended to one buffer that goes out in large
// writes; numbers are formatted without printf.
#include "system/export.h"
#include "system/files.h"
#include "system/file_replace.h"
#include "primitives/prim.h"
#include "primitives/keyed.h"
#include "core/display.h"
#include "core/names.h"
#include "core/symbols.h"
#include "core/timecode.h"
#include "core/valueops.h"
#include "core/interrupt.h"
#include <charconv>
#include <cmath>
#include <cstring>

enum : size_t { WRITE_BLOCK = 1 << 20 };

// ---- Reading tables ---------------------------------------------------------------------------

static void add_table_columns(const ValueDescriptor *t, TableParts *out) {
    const i64 *names = symbols_of(pair_half(t, 0));
    const ValueDescriptor *cols = list_items(table_columns(t));
    for (i64 k = 0; k < table_columns(t)->count; k++) {
        out->names.push_back(names[k]);
        out->columns.push_back(&cols[k]);
    }
}

int table_parts(const ValueDescriptor *v, TableParts *out) {
    *out = TableParts();
    if (v->rank < 0) return fail(VEK_VALUE);
    if (v->type != T_TABLE && !is_keyed_table(v)) return fail(VEK_TYPE);
    if (!keyed_value_sound(v)) return fail(VEK_DOMAIN);
    if (v->type == T_TABLE) {
        add_table_columns(v, out);
    } else {
        add_table_columns(pair_half(v, 0), out);
        add_table_columns(pair_half(v, 1), out);
    }
    out->rows = keyed_row_count(v);
    return 0;
}

int export_mode_of(const std::string &extension, bool has_extension) {
    if (!has_extension) return EXPORT_TEXT;
    if (extension == "csv") return EXPORT_CSV;
    if (extension == "xml") return EXPORT_XML;
    if (extension == "json") return EXPORT_JSON;
    return EXPORT_TEXT;
}

// ---- Number texts -------------------------------------------------------------------------------

void append_integer(std::string *out, i64 x) {
    if (x == INT64_MIN) { out->append("0n"); return; }
    if (x == INT64_MAX) { out->append("0w"); return; }
    if (x == -INT64_MAX) { out->append("_0w"); return; }
    char b[24];
    char *end = std::to_chars(b, b + sizeof b, x).ptr;
    if (b[0] == '-') b[0] = '_';
    out->append(b, (size_t)(end - b));
}

void append_exact_float(std::string *out, double x) {
    if (std::isnan(x)) return;
    if (std::isinf(x)) { out->append(x > 0 ? "0wf" : "_0wf"); return; }
    char b[64];
    char *end = std::to_chars(b, b + sizeof b, x).ptr;
    for (char *p = b; p < end; p++) {
        if (*p == '-') { out->push_back('_'); continue; }
        if (*p != 'e') { out->push_back(*p); continue; }
        // the exponent as the display writes it: no '+', no leading zeros
        out->push_back('e');
        p++;
        if (*p == '-') out->push_back('_');
        if (*p == '-' || *p == '+') p++;
        while (p + 1 < end && *p == '0') p++;
        out->append(p, (size_t)(end - p));
        break;
    }
}

// ---- Cells ------------------------------------------------------------------------------------------

// The text of cell r before any quoting.
static void append_cell_text(std::string *out, const ValueDescriptor *col, i64 r) {
    const void *p = value_data(const_cast<ValueDescriptor *>(col));
    char b[ELEMENT_TEXT_MAX];
    switch (col->type) {
    case T_BOOL: case T_INT: append_integer(out, ((const i64 *)p)[r]); return;
    case T_FLOAT: append_exact_float(out, ((const double *)p)[r]); return;
    case T_CHAR: out->push_back(((const char *)p)[r]); return;
    case T_SYMBOL: {
        const SymbolNode *node = symbol_node(((const i64 *)p)[r]);
        if (node) out->append(node->name, (size_t)node->length);
        return;
    }
    case T_MONTH: case T_DATE: case T_MINUTE: case T_SECOND: case T_TIME:
        out->append(b, (size_t)format_time_value(((const i64 *)p)[r], col->type, b));
        return;
    case T_DATETIME: {
        double v = ((const double *)p)[r];
        if (!std::isnan(v)) out->append(b, (size_t)format_datetime_value(v, b));
        return;
    }
    case T_LIST: {
        const ValueDescriptor *item = &((const ValueDescriptor *)col->data)[r];
        if (item->count > 0) out->append((const char *)value_data(const_cast<ValueDescriptor *>(item)), (size_t)item->count);
        return;
    }
    default: out->append(b, (size_t)element_text(col, r, b, -1)); return;
    }
}

// Text and CSV: a cell that would not read back as it stands goes between
// double quotes with its quotes doubled. The loader trims blanks at the
// ends of a line, so blanks at a cell's ends are protected too.
static bool needs_quotes(const std::string &text, char sep) {
    if (text.empty()) return false;
    char first = text.front(), last = text.back();
    if (first == ' ' || first == '\t' || last == ' ' || last == '\t') return true;
    for (char c : text)
        if (c == sep || c == '"' || c == '\n' || c == '\r') return true;
    return false;
}

static void append_delimited(std::string *out, const std::string &text, char sep) {
    if (!needs_quotes(text, sep)) { out->append(text); return; }
    out->push_back('"');
    for (char c : text) {
        if (c == '"') out->push_back('"');
        out->push_back(c);
    }
    out->push_back('"');
}

// Length of the UTF-8 sequence at p (at most n bytes), 0 when it is not one.
static size_t utf8_sequence(const unsigned char *p, size_t n) {
    unsigned char c = p[0];
    size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (c >= 0xF5 || len == 0 || len > n) return 0;
    for (size_t k = 1; k < len; k++)
        if ((p[k] & 0xC0) != 0x80) return 0;
    if (c == 0xE0 && p[1] < 0xA0) return 0;   // overlong
    if (c == 0xED && p[1] >= 0xA0) return 0;  // surrogates
    if (c == 0xF0 && p[1] < 0x90) return 0;   // overlong
    if (c == 0xF4 && p[1] >= 0x90) return 0;  // above U+10FFFF
    return len;
}

// A JSON string body: quotes, backslashes and controls escaped; a byte that
// is not part of UTF-8 is taken as Latin-1, so the file is always valid.
static void append_json_escaped(std::string *out, const char *s, size_t n) {
    static const char hex[] = "0123456789abcdef";
    const unsigned char *p = (const unsigned char *)s;
    for (size_t i = 0; i < n;) {
        unsigned char c = p[i];
        if (c >= 0x80) {
            size_t len = utf8_sequence(p + i, n - i);
            if (len) { out->append(s + i, len); i += len; continue; }
        }
        i++;
        switch (c) {
        case '"': out->append("\\\""); continue;
        case '\\': out->append("\\\\"); continue;
        case '\n': out->append("\\n"); continue;
        case '\r': out->append("\\r"); continue;
        case '\t': out->append("\\t"); continue;
        default: break;
        }
        if (c < 0x20 || c >= 0x80) {
            char u[7] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15], 0};
            out->append(u, 6);
        } else {
            out->push_back((char)c);
        }
    }
}

static std::string symbol_name(i64 number) {
    const SymbolNode *node = symbol_node(number);
    return node ? std::string(node->name, (size_t)node->length) : std::string();
}

// ---- Layouts ---------------------------------------------------------------------------------------

struct ExportWriter {
    FILE *file;
    std::string out;
    bool ok = true, interrupted = false;
    void drain(bool all) {
        if (!ok || (!all && out.size() < WRITE_BLOCK)) return;
        if (interrupt_requested_between_blocks()) { ok = false; interrupted = true; return; }
        if (!out.empty() && fwrite(out.data(), 1, out.size(), file) != out.size()) ok = false;
        out.clear();
    }
};

static void delimited_line(ExportWriter *w, const std::vector<std::string> &cells, char sep) {
    for (size_t k = 0; k < cells.size(); k++) {
        if (k) w->out.push_back(sep);
        append_delimited(&w->out, cells[k], sep);
    }
    w->out.push_back('\n');
}

static void write_rows(ExportWriter *w, const TableParts &t, int mode) {
    char sep = mode == EXPORT_CSV ? ',' : '\t';
    std::vector<std::string> names;
    for (i64 n : t.names) names.push_back(symbol_name(n));
    if (mode == EXPORT_TEXT || mode == EXPORT_CSV) delimited_line(w, names, sep);
    else if (mode == EXPORT_XML) w->out.append("<vek>\n");
    else w->out.append("{\"vek\":[\n");
    std::string cell;
    for (i64 r = 0; r < t.rows && w->ok; r++) {
        if (mode == EXPORT_XML) w->out.append("<row>");
        if (mode == EXPORT_JSON) w->out.push_back('{');
        for (size_t k = 0; k < t.columns.size(); k++) {
            cell.clear();
            append_cell_text(&cell, t.columns[k], r);
            if (mode == EXPORT_TEXT || mode == EXPORT_CSV) {
                if (k) w->out.push_back(sep);
                append_delimited(&w->out, cell, sep);
            } else if (mode == EXPORT_XML) {
                w->out.append("<").append(names[k]).append(">").append(cell);
                w->out.append("</").append(names[k]).append(">");
            } else {
                if (k) w->out.push_back(',');
                w->out.push_back('"');
                append_json_escaped(&w->out, names[k].data(), names[k].size());
                w->out.append("\":\"");
                append_json_escaped(&w->out, cell.data(), cell.size());
                w->out.push_back('"');
            }
        }
        if (mode == EXPORT_XML) w->out.append("</row>");
        if (mode == EXPORT_JSON) w->out.append(r + 1 < t.rows ? "}," : "}");
        w->out.push_back('\n');
        w->drain(false);
    }
    if (mode == EXPORT_XML) w->out.append("</vek>\n");
    if (mode == EXPORT_JSON) w->out.append("]}\n");
    w->drain(true);
}

int export_table(const ValueDescriptor *v, FILE *file, int mode) {
    TableParts t;
    int e = table_parts(v, &t);
    if (e == VEK_TYPE) return fail(VEK_UNDER_CONSTRUCTION);
    if (e) return e;
    ExportWriter w;
    w.file = file;
    write_rows(&w, t, mode);
    if (w.interrupted) return fail(INTERRUPT_ERROR);
    return w.ok ? 0 : fail(VEK_WRITE_FILE);
}

// ---- []write ------------------------------------------------------------------------------------------

int sf_write(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    std::string name;
    if (!operand_text(rc, rv, &name)) return fail(VEK_TYPE);
    if (name.find('\0') != std::string::npos) return fail(VEK_PATH);
    std::string path = resolve_file_path(name);
    FileNameParts parts = split_file_name(path);
    // the variable first: a name with no table must leave the file alone
    const ValueDescriptor *value = find_bound_value(parts.base.c_str());
    if (!value || value->rank < 0) return fail(VEK_VALUE);
    TableParts t;
    int e = table_parts(value, &t);
    if (e == VEK_TYPE) return fail(VEK_UNDER_CONSTRUCTION);
    if (e) return e;
    FileReplacement r;
    if (!open_replacement(&r, path.c_str())) return fail(VEK_PATH);
    e = export_table(value, r.file, export_mode_of(parts.extension, parts.has_extension));
    if (e) {
        abandon_replacement(&r);
        return fail(e);
    }
    if (!commit_replacement(&r)) return fail(VEK_WRITE_FILE);
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    return result_copy(slot, &y);
}
