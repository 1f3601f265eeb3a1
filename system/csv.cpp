// The CSV loader.
//
// Ledger
// - []CSV (file; letters), (file; letters; header) or (file; letters;
//   header; separator): a table with one column per field, column k of the
//   type of letter k. With two items the first line is the header, with
//   three or four only when the third is "true"; the separator is a comma
//   unless the fourth item gives one. Without a header the columns are
//   named c0, c1, ...
// - A UTF-8 byte-order mark at the start of the file is skipped.
// - A record is a line; a line break inside double quotes belongs to the
//   cell. Inside quotes two quotes are one quote character; a quote outside
//   them opens a quoted part. Blanks, tabs and carriage returns at a
//   record's ends are dropped (unless one of them is the separator).
// - Cells by type: B the leading integer is not 0 (an empty cell is 0); I
//   the leading 64-bit integer ("0n" "0w" "_0w" too), the null when there
//   is none or it does not fit; E the leading number, NaN when none; C the
//   first character, a blank for an empty cell; S the text as a symbol; L
//   the text; D "2024.05.17" or "5/17/2024"; M, U, V, T, Z their text forms;
//   a time cell that is no valid value is the null.
// - Refuses: an argument list of the wrong shape or types, a letter that
//   names no type, a quote or line end as separator, more fields than
//   letters (48); a name whose extension is not "csv" (36 after "only csv
//   file is allowed."); a file that cannot be opened or is not a regular
//   file (36 after "file not found"); no lines, lines with different field
//   counts (1, the counts shown), a quote left open at the end, a symbol
//   longer than 127 characters (1); a read that failed (301); a table, or
//   one record, larger than the room values have (6).
// Fast paths: the file is read twice in 4 MB blocks (to count, then to
// store; the interrupt is looked at between blocks); records are cut with
// memchr; cells are read in place and stored straight into the typed
// column vectors, and the texts of a column are gathered one after the
// other, then copied once, into the column's block.
#include "system/csv.h"
#include "core/scan.h"
#include "system/files.h"
#include "system/scripts.h"
#include "system/file_replace.h"
#include "primitives/prim.h"
#include "primitives/keyed.h"
#include "core/arena.h"
#include "core/output.h"
#include "core/symbols.h"
#include "core/text_lists.h"
#include "core/timecode.h"
#include "core/valueops.h"
#include "core/interrupt.h"
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <unistd.h>
#include <vector>

enum : size_t { CSV_BLOCK = 1 << 22 };
enum : i64 { TIME_CELL_MAX = 32 };

static const i64 INT_NULL = INT64_MIN;

// ---- Records ------------------------------------------------------------------------------------

// A file read in large blocks and handed out one record at a time.
// Its buffer is counted against the memory values may take.
struct RecordReader {
    FILE *file = nullptr;
    char *buf = nullptr;
    size_t capacity = 0, start = 0, end = 0;   // unread bytes are [start, end)
    size_t first_block = CSV_BLOCK;            // a small file needs no more than itself
    bool eof = false, read_failed = false, no_memory = false, open_quote = false, interrupted = false;
    ~RecordReader() {
        free(buf);
        value_memory_return((i64)capacity);
    }
};

// Spreadsheet programs often begin a file with the UTF-8 byte-order mark;
// left in place it would become part of the first column's name.
static void skip_byte_order_mark(FILE *f) {
    unsigned char mark[3];
    if (fread(mark, 1, 3, f) != 3 || memcmp(mark, "\xEF\xBB\xBF", 3) != 0) rewind(f);
}

// Back to the first record (behind a byte-order mark) for a new pass.
static void rewind_reader(RecordReader *r) {
    rewind(r->file);
    skip_byte_order_mark(r->file);
    r->start = r->end = 0;
    r->eof = r->read_failed = r->open_quote = false;
}

// Moves the unread bytes to the front and reads more behind them; a full
// buffer (one record longer than it) is doubled. false at the end.
static bool refill(RecordReader *r) {
    if (r->eof) return false;
    if (interrupt_requested_between_blocks()) { r->interrupted = true; r->eof = true; return false; }
    if (r->start > 0) {
        memmove(r->buf, r->buf + r->start, r->end - r->start);
        r->end -= r->start;
        r->start = 0;
    }
    if (r->end == r->capacity) {
        size_t grown = r->capacity ? 2 * r->capacity : r->first_block;
        // one record larger than values may take is refused before the
        // system is asked for it
        if (!value_memory_reserve((i64)(grown - r->capacity))) { r->no_memory = true; r->eof = true; return false; }
        char *p = (char *)realloc(r->buf, grown);
        if (!p) {
            value_memory_return((i64)(grown - r->capacity));
            r->no_memory = true;
            r->eof = true;
            return false;
        }
        r->buf = p;
        r->capacity = grown;
    }
    size_t n = fread(r->buf + r->end, 1, r->capacity - r->end, r->file);
    if (n == 0) {
        r->eof = true;
        r->read_failed = ferror(r->file) != 0;
        return false;
    }
    r->end += n;
    return true;
}

// The next record [*b, *e), its newline left out; false when none is left.
// A newline between double quotes belongs to the record.
static bool next_record(RecordReader *r, const char **b, const char **e) {
    bool quoted = false;
    size_t scanned = 0;   // bytes of this record already searched
    for (;;) {
        char *p = r->buf + r->start + scanned, *stop = r->buf + r->end;
        while (p < stop) {
            char *nl = (char *)memchr(p, '\n', (size_t)(stop - p));
            char *seg_end = nl ? nl : stop;
            for (char *q = (char *)memchr(p, '"', (size_t)(seg_end - p)); q;
                 q = (char *)memchr(q + 1, '"', (size_t)(seg_end - q - 1)))
                quoted = !quoted;
            if (!nl) { p = stop; break; }
            if (!quoted) {
                *b = r->buf + r->start;
                *e = nl;
                r->start = (size_t)(nl - r->buf) + 1;
                return true;
            }
            p = nl + 1;
        }
        scanned = (size_t)(p - (r->buf + r->start));
        if (!refill(r)) break;
    }
    if (r->start >= r->end) return false;
    r->open_quote = quoted;
    *b = r->buf + r->start;
    *e = r->buf + r->end;
    r->start = r->end;
    return true;
}

static inline bool edge_blank(char c, char sep) { return (c == ' ' || c == '\t' || c == '\r') && c != sep; }

static void trim_record(const char **b, const char **e, char sep) {
    while (*b < *e && edge_blank(**b, sep)) ++*b;
    while (*e > *b && edge_blank((*e)[-1], sep)) --*e;
}

i64 count_csv_fields(const char *b, const char *e, char sep) {
    i64 n = 1;
    if (!memchr(b, '"', (size_t)(e - b))) {
        for (const char *p = b; p < e; p++) n += *p == sep;
        return n;
    }
    bool quoted = false;
    for (const char *p = b; p < e; p++) {
        if (*p == '"') quoted = !quoted;
        else if (*p == sep && !quoted) n++;
    }
    return n;
}

// ---- Cells --------------------------------------------------------------------------------------------

struct Cell {
    const char *b, *e;
    bool quoted;   // holds a double quote: the text must be taken out
};

static void split_cells(const char *b, const char *e, char sep, std::vector<Cell> *cells) {
    cells->clear();
    const char *p = b;
    for (;;) {
        const char *start = p;
        bool quoted = false, inside = false;
        while (p < e) {
            char c = *p;
            if (c == '"') { quoted = true; inside = !inside; }
            else if (c == sep && !inside) break;
            p++;
        }
        cells->push_back({start, p, quoted});
        if (p >= e) return;
        p++;
    }
}

// The text of a quoted cell: a quote outside quotes opens them, inside
// them two quotes are one quote character and one quote closes them.
static void unquote(const Cell &c, std::string *out) {
    out->clear();
    bool inside = false;
    for (const char *p = c.b; p < c.e; p++) {
        if (*p != '"') { out->push_back(*p); continue; }
        if (inside && p + 1 < c.e && p[1] == '"') { out->push_back('"'); p++; continue; }
        inside = !inside;
    }
}

static void trim_blanks(const char **p, const char **e) {
    *p = skip_blanks(*p, BLANKS_AND_TABS, *e);
    while (*e > *p && ((*e)[-1] == ' ' || (*e)[-1] == '\t')) --*e;
}

// A leading sign: '-' or '_' for minus, '+'. Returns true for minus.
static bool read_sign(const char **p, const char *e) {
    if (*p < e && (**p == '-' || **p == '_')) { ++*p; return true; }
    if (*p < e && **p == '+') ++*p;
    return false;
}

i64 read_integer_cell(const char *text, i64 length) {
    const char *p = text, *e = text + length;
    p = skip_blanks(p, BLANKS_AND_TABS, e);
    bool minus = read_sign(&p, e);
    if (e - p >= 2 && p[0] == '0' && p[1] == 'w') return minus ? -INT64_MAX : INT64_MAX;
    if (e - p >= 2 && p[0] == '0' && p[1] == 'n') return INT_NULL;
    uint64_t v = 0;
    const char *digits = p;
    for (; p < e && *p >= '0' && *p <= '9'; p++) {
        uint64_t d = (uint64_t)(*p - '0');
        if (v > (UINT64_MAX - d) / 10) return INT_NULL;
        v = v * 10 + d;
    }
    if (p == digits) return INT_NULL;
    if (minus) return v > (uint64_t)INT64_MAX + 1 ? INT_NULL : (i64)(0 - v);
    return v > (uint64_t)INT64_MAX ? INT_NULL : (i64)v;
}

// A number too large or too small for from_chars still has a value.
static double read_out_of_range(const char *text) {
    static locale_t c_numeric = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
    return c_numeric ? strtod_l(text, nullptr, c_numeric) : strtod(text, nullptr);
}

double read_float_cell(const char *text, i64 length) {
    const char *p = text, *e = text + length;
    p = skip_blanks(p, BLANKS_AND_TABS, e);
    bool minus = read_sign(&p, e);
    double nan = std::nan("");
    if (e - p >= 2 && p[0] == '0' && p[1] == 'w') return minus ? -HUGE_VAL : HUGE_VAL;
    if (e - p >= 2 && p[0] == '0' && p[1] == 'n') return nan;
    char b[64];
    i64 n = 0;
    for (; p < e && n < (i64)sizeof b - 1; p++) b[n++] = *p == '_' ? '-' : *p;
    b[n] = 0;
    double x;
    auto r = std::from_chars(b, b + n, x);
    if (r.ec == std::errc::result_out_of_range) x = read_out_of_range(b);
    else if (r.ec != std::errc()) return nan;
    return minus ? -x : x;
}

// Exactly n digits at p; their value, or -1.
static i64 digits_value(const char *p, int n) {
    i64 v = 0;
    for (int i = 0; i < n; i++) {
        if (p[i] < '0' || p[i] > '9') return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

i64 read_time_cell(const char *text, i64 length, i64 type) {
    const char *p = text, *e = text + length;
    trim_blanks(&p, &e);
    i64 n = e - p;
    if (n == 0 || n >= TIME_CELL_MAX) return TIME_NULL;
    if (type == T_DATE) {
        if (memchr(p, '/', (size_t)n)) return parse_slash_date(p, n);
        if (n == 10 && p[4] == '.' && p[7] == '.') {   // the common form, read directly
            i64 fields[3] = {digits_value(p, 4), digits_value(p + 5, 2), digits_value(p + 8, 2)};
            if (fields[0] < 0 || fields[1] < 0 || fields[2] < 0 || !time_value_is_valid(T_DATE, fields))
                return TIME_NULL;
            return join_time_value(T_DATE, fields);
        }
    }
    char b[TIME_CELL_MAX];
    memcpy(b, p, (size_t)n);
    b[n] = 0;
    i64 v = TIME_NULL;
    double unused;
    return read_time_text(b, type, &v, &unused) == n ? v : TIME_NULL;
}

double read_datetime_cell(const char *text, i64 length) {
    const char *p = text, *e = text + length;
    trim_blanks(&p, &e);
    i64 n = e - p;
    double nan = std::nan("");
    if (n == 0 || n >= TIME_CELL_MAX) return nan;
    char b[TIME_CELL_MAX];
    memcpy(b, p, (size_t)n);
    b[n] = 0;
    i64 unused;
    double v = nan;
    return read_time_text(b, T_DATETIME, &unused, &v) == n ? v : nan;
}

// ---- Columns ------------------------------------------------------------------------------------------

// The texts of a text column are gathered one after the other while the
// file is read, then made into one list whose texts live in its own block.
// The bytes count against the memory values may take.
struct TextStage {
    char *bytes = nullptr;
    i64 used = 0, room = 0;
    i64 *ends = nullptr;     // one per row
    i64 rows = 0;
    TextStage() = default;
    TextStage(const TextStage &) = delete;
    TextStage &operator=(const TextStage &) = delete;
    ~TextStage() {
        value_free(bytes, room);
        value_free(ends, 8 * rows);
    }
    int start(i64 n) {
        ends = (i64 *)value_malloc(8 * n);
        if (!ends && n > 0) return fail(VEK_WS_FULL);
        rows = n;
        return 0;
    }
    int add(i64 row, const char *t, i64 n) {
        if (used + n > room) {
            i64 grown = room ? 2 * room : 1 << 16;
            while (grown < used + n) grown *= 2;
            char *p = (char *)value_malloc(grown);
            if (!p) return fail(VEK_WS_FULL);
            if (used) memcpy(p, bytes, (size_t)used);
            value_free(bytes, room);
            bytes = p;
            room = grown;
        }
        if (n) memcpy(bytes + used, t, (size_t)n);
        used += n;
        ends[row] = used;
        return 0;
    }
};

struct Column {
    i64 type;
    void *data;   // the cells: typed items
    TextStage *texts;   // a text column's texts, gathered
};

static int store_cell(const Column &c, i64 row, const char *t, i64 n) {
    switch (c.type) {
    case T_BOOL: {
        i64 v = n ? read_integer_cell(t, n) : 0;
        ((i64 *)c.data)[row] = v != 0 && v != INT_NULL;
        return 0;
    }
    case T_INT: ((i64 *)c.data)[row] = read_integer_cell(t, n); return 0;
    case T_FLOAT: ((double *)c.data)[row] = read_float_cell(t, n); return 0;
    case T_CHAR: ((char *)c.data)[row] = n ? t[0] : ' '; return 0;
    case T_SYMBOL: {
        i64 s = intern_symbol_n(t, n);
        if (s < 0) return fail(VEK_DOMAIN);
        ((i64 *)c.data)[row] = s;
        return 0;
    }
    case T_LIST: return c.texts->add(row, t, n);
    case T_DATETIME: ((double *)c.data)[row] = read_datetime_cell(t, n); return 0;
    default: ((i64 *)c.data)[row] = read_time_cell(t, n, c.type); return 0;
    }
}

// ---- The table -----------------------------------------------------------------------------------------

// A table of one column per type, `rows` cells each, names to be filled.
static int new_csv_table(ValueDescriptor *t, const std::vector<i64> &types, i64 rows) {
    if (new_table(t, (i64)types.size(), rows)) return (int)error_number;
    ValueDescriptor *cols = list_items(table_columns(t));
    for (size_t k = 0; k < types.size(); k++) {
        ValueDescriptor *c = &cols[k];
        int e = types[k] == T_LIST ? new_list(c, 0) : new_vector(c, types[k], rows);   // texts come at the end
        if (e) return e;
        if (is_inline_value(c)) c->dim0 = 0;   // one cell, written in place
    }
    return 0;
}

static std::vector<Column> table_columns_of(ValueDescriptor *t, const std::vector<i64> &types,
                                           std::vector<TextStage> &texts) {
    std::vector<Column> cols;
    ValueDescriptor *list = list_items(table_columns(t));
    for (size_t k = 0; k < types.size(); k++) {
        ValueDescriptor *d = &list[k];
        cols.push_back({types[k], d->type == T_LIST ? nullptr : value_data(d), &texts[k]});
    }
    return cols;
}

// The gathered texts become the text columns.
static int store_texts(ValueDescriptor *t, std::vector<TextStage> &texts, i64 rows) {
    ValueDescriptor *list = list_items(table_columns(t));
    for (size_t k = 0; k < texts.size(); k++) {
        if (list[k].type != T_LIST) continue;
        free_value(&list[k]);
        if (texts_from_bytes(&list[k], texts[k].bytes, texts[k].ends, rows)) return (int)error_number;
    }
    return 0;
}

// Bytes the columns will take, checked against the memory values may take.
static int check_table_size(const std::vector<i64> &types, i64 rows) {
    i64 per_row = 0;
    for (i64 t : types) per_row += t == T_CHAR ? 1 : t == T_LIST ? (i64)sizeof(ValueDescriptor) : 8;
    i64 limit = value_memory_room();
    if (per_row > 0 && rows > limit / per_row) return fail(VEK_WS_FULL);
    return 0;
}

// ---- Loading -------------------------------------------------------------------------------------------

static int reader_error(const RecordReader *r) {
    if (r->interrupted) return fail(INTERRUPT_ERROR);
    if (r->no_memory) return fail(VEK_WS_FULL);
    if (r->read_failed) return fail(VEK_READ_FILE);
    if (r->open_quote) return fail(VEK_DOMAIN);
    return 0;
}

// First pass: every record's field count. *records, *fields.
static int count_records(RecordReader *r, char sep, i64 *records, i64 *fields) {
    const char *b, *e;
    *records = 0;
    *fields = 0;
    while (next_record(r, &b, &e)) {
        trim_record(&b, &e, sep);
        i64 n = count_csv_fields(b, e, sep);
        if (*records > 0 && n != *fields) {
            vek_printf("line(%lld),offset(%lld)\n", (long long)*fields, (long long)n);
            vek_puts("rows don't have same cols.\n");
            return fail(VEK_DOMAIN);
        }
        *fields = n;
        ++*records;
    }
    if (reader_error(r)) return (int)error_number;
    if (*records == 0) return fail(VEK_DOMAIN);
    return 0;
}

// The cells of one record, quotes taken out where there are any, handed to
// store(k, text, length).
template <class Store>
static int each_cell(const std::vector<Cell> &cells, std::string *scratch, Store store) {
    for (size_t k = 0; k < cells.size(); k++) {
        const Cell &c = cells[k];
        int e;
        if (c.quoted) {
            unquote(c, scratch);
            e = store(k, scratch->data(), (i64)scratch->size());
        } else {
            e = store(k, c.b, (i64)(c.e - c.b));
        }
        if (e) return e;
    }
    return 0;
}

// Second pass: the header's names and every cell. The file may have changed
// since the first pass: a record that does not fit is refused.
static int fill_table(RecordReader *r, ValueDescriptor *t, const std::vector<i64> &types, bool header,
                      char sep, i64 rows) {
    std::vector<TextStage> texts(types.size());
    for (size_t k = 0; k < types.size(); k++)
        if (types[k] == T_LIST && texts[k].start(rows)) return (int)error_number;
    std::vector<Column> cols = table_columns_of(t, types, texts);
    i64 *names = symbols_of(pair_half(t, 0));
    std::vector<Cell> cells;
    cells.reserve(types.size());
    std::string scratch;
    const char *b, *e;
    i64 row = header ? -1 : 0;
    while (next_record(r, &b, &e)) {
        trim_record(&b, &e, sep);
        split_cells(b, e, sep, &cells);
        if (cells.size() != types.size() || row >= rows) return fail(VEK_DOMAIN);
        int x;
        if (row < 0) {
            x = each_cell(cells, &scratch, [&](size_t k, const char *s, i64 n) {
                i64 sym = intern_symbol_n(s, n);
                if (sym < 0) return fail(VEK_DOMAIN);
                names[k] = sym;
                return 0;
            });
        } else {
            x = each_cell(cells, &scratch, [&](size_t k, const char *s, i64 n) { return store_cell(cols[k], row, s, n); });
        }
        if (x) return x;
        row++;
    }
    if (reader_error(r)) return (int)error_number;
    if (row != rows) return fail(VEK_DOMAIN);
    return store_texts(t, texts, rows);
}

static void default_names(ValueDescriptor *t, i64 ncols) {
    i64 *names = symbols_of(pair_half(t, 0));
    char b[32];
    for (i64 k = 0; k < ncols; k++) {
        snprintf(b, sizeof b, "c%lld", (long long)k);
        names[k] = intern_symbol(b);
    }
}

static int load_records(RecordReader *r, i64 slot, const std::string &letters, bool header, char sep) {
    i64 records, fields;
    if (count_records(r, sep, &records, &fields)) return (int)error_number;
    if (fields > (i64)letters.size()) return fail(VEK_CSV_ARGUMENT);
    std::vector<i64> types;
    for (i64 k = 0; k < fields; k++) types.push_back(type_from_letter(letters[(size_t)k]));
    i64 rows = records - (header ? 1 : 0);
    if (check_table_size(types, rows)) return (int)error_number;
    Built t;
    if (new_csv_table(&t.d, types, rows)) return (int)error_number;
    if (!header) default_names(&t.d, fields);
    rewind_reader(r);
    if (fill_table(r, &t.d, types, header, sep, rows)) return (int)error_number;
    return store_built(slot, &t);
}

int load_csv(i64 slot, const std::string &path, const std::string &letters, bool header, char sep) {
    RecordReader r;
    // Only a regular file: a device or pipe could be endless or wait for ever.
    int64_t size = 0;
    bool not_regular = false;
    int fd = path.find('\0') == std::string::npos ? open_regular_file(path.c_str(), &size, &not_regular) : -1;
    r.file = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (!r.file) {
        if (fd >= 0) close(fd);
        print_file_not_found();
        return fail(VEK_REPORTED);
    }
    if (size >= 0 && (uint64_t)size < CSV_BLOCK) r.first_block = (size_t)size < 4096 ? 4096 : (size_t)size + 1;
    rewind_reader(&r);
    int e = load_records(&r, slot, letters, header, sep);
    fclose(r.file);
    return e;
}

// ---- []CSV ------------------------------------------------------------------------------------------------

static bool item_text(const ValueDescriptor *item, std::string *out) {
    if (item->type != T_CHAR || item->rank < 0 || item->rank > 1) return false;
    i64 n = item->count;
    out->assign(n > 0 ? (const char *)value_data(const_cast<ValueDescriptor *>(item)) : "", (size_t)(n > 0 ? n : 0));
    return true;
}

static bool letters_valid(const std::string &letters) {
    for (char c : letters)
        if (type_from_letter(c) < 0) return false;
    return true;
}

// The path with ".csv" added when the file name has no '.'; empty when its
// extension is another.
static std::string csv_path(const std::string &name) {
    std::string path = resolve_file_path(name);
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ".csv";
    return path.compare(dot + 1, std::string::npos, "csv") == 0 ? path : std::string();
}

int sf_csv(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    Operand x;
    if (read_operand(&x, rc, rv)) return VEK_VALUE;
    if (x.type != T_LIST || x.rank != 1 || x.count < 2 || x.count > 4) return fail(VEK_CSV_ARGUMENT);
    const ValueDescriptor *items = x.items();
    std::string name, letters, flag, separator = ",";
    if (!item_text(&items[0], &name) || !item_text(&items[1], &letters)) return fail(VEK_CSV_ARGUMENT);
    if (x.count >= 3 && !item_text(&items[2], &flag)) return fail(VEK_CSV_ARGUMENT);
    if (x.count == 4 && (!item_text(&items[3], &separator) || separator.size() != 1)) return fail(VEK_CSV_ARGUMENT);
    char sep = separator[0];
    if (sep == '"' || sep == '\n' || sep == '\r' || !letters_valid(letters)) return fail(VEK_CSV_ARGUMENT);
    bool header = x.count == 2 || flag == "true";
    std::string path = csv_path(name);
    if (path.empty()) {
        vek_puts("only csv file is allowed.");
        return fail(VEK_REPORTED);
    }
    return load_csv(slot, path, letters, header, sep);
}
