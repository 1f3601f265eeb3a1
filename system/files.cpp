// The file-handle system functions and their neighbours.
//
// Ledger
// - []open name: opens the file for writing (created or emptied) in the
//   lowest free entry of the handle table; the handle is 1000 + the entry.
//   Only a regular file or a terminal is opened, never waiting for one.
//   Refuses: no name or not a text (1), every one of the 1000 entries open
//   (350), a file that cannot be opened or is another kind (76).
// - []close h: 0 when h was an open handle (now closed and free), 1 for
//   anything else. A close that could not write the last bytes: 300.
// - h << x: writes x's lines (system/text_lines.h) and flushes them, so a
//   full disk shows at the write that met it. Result: a 0-by-0 integer
//   matrix. Refuses: h not one integer (1), h not open (351), a value that
//   has no lines (7), a write that failed (300).
// - []get name: the file's lines as a list of texts, without the newline
//   and a carriage return before it; a last line without a newline counts;
//   every byte value is kept. Only a regular file is read, as far as its
//   size when opened. Refuses: not a text (7), a file that cannot be opened
//   or is not a regular file (76), one that cannot be read (301), one larger
//   than the room values have (6, before any of it is read).
// - []CR name: the typed lines of a defined function as a character
//   matrix; an empty argument or any other name gives a 0-by-0 matrix.
//   Refuses: a character matrix or a symbol that is not a scalar (2), other
//   types (7).
// - []AI 2: milliseconds since the current input line began (monotonic
//   clock). Refuses: not boolean or integer (7), not one item (1), another
//   value (43).
// - []FX x: does nothing and has no value.
// - []XD and []XC: 46.
// Fast paths: []get reads the file in large blocks and cuts lines with
// memchr; the texts are copied once, into their own blocks.
#include "system/files.h"
#include "system/csv.h"
#include "system/export.h"
#include "system/text_lines.h"
#include "primitives/prim.h"
#include "core/arena.h"
#include "core/functions.h"
#include "core/names.h"
#include "core/session.h"
#include "core/symbols.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "core/interrupt.h"
#include "system/file_replace.h"
#include "platform/platform.h"
#include "core/runstate.h"
#include "core/textlines.h"
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

enum : i64 { FIRST_HANDLE = 1000, READ_BLOCK = 1 << 22 };

// ---- Paths -----------------------------------------------------------------------------------

std::string resolve_file_path(std::string_view name) {
    if (name.find('/') != std::string_view::npos || !library_path[0]) return std::string(name);
    std::string path = library_path;
    path += '/';
    path += name;
    return path;
}

FileNameParts split_file_name(std::string_view path) {
    FileNameParts parts;
    size_t slash = path.rfind('/');
    std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = last.rfind('.');
    if (dot != std::string_view::npos && last.size() - dot - 1 <= 9) {
        parts.extension = std::string(last.substr(dot + 1));
        parts.base = std::string(last.substr(0, dot));
        parts.has_extension = true;
    } else {
        parts.base = std::string(last);
    }
    return parts;
}

// ---- Operands and results ------------------------------------------------------------------

bool operand_text(i64 c, i64 v, std::string *out, bool nul_free) {
    Operand x;
    if (read_operand(&x, c, v)) return false;
    if (x.type != T_CHAR || x.rank > 1) return false;
    out->assign(x.count > 0 ? x.chars() : "", (size_t)(x.count > 0 ? x.count : 0));
    return !nul_free || out->find('\0') == std::string::npos;
}

static void store_in_slot(i64 slot, ValueDescriptor *built) {
    ValueDescriptor old = value_slot_table[slot];
    value_slot_table[slot] = *built;
    fix_inline_pointer(&value_slot_table[slot]);
    free_value(&old);
}

int store_text_list(i64 slot, const std::string_view *texts, i64 n) {
    i64 bytes = (i64)sizeof(ValueDescriptor) * n;
    for (i64 i = 0; i < n; i++) bytes += (i64)texts[i].size() + 48;
    if (bytes > value_memory_room()) return fail(VEK_WS_FULL);
    ValueDescriptor list;
    memset(&list, 0, sizeof list);
    list.type = T_LIST;
    list.rank = 1;
    list.count = list.dim0 = n;
    if (alloc_descriptor_data(&list, 1)) return (int)error_number;
    for (i64 i = 0; i < n; i++) {
        ValueDescriptor *item = &((ValueDescriptor *)list.data)[i];
        item->type = T_CHAR;
        item->rank = 1;
        item->count = item->dim0 = (i64)texts[i].size();
        if (alloc_descriptor_data(item, 1)) {
            free_value(&list);
            return (int)error_number;
        }
        if (item->count) memcpy(value_data(item), texts[i].data(), texts[i].size());
    }
    store_in_slot(slot, &list);
    return 0;
}

static int empty_matrix(i64 slot, i64 type) {
    Shape s;
    s.rank = 2;
    Result z;
    return begin_result(&z, slot, type, s);
}

// ---- Handles ------------------------------------------------------------------------------------

static bool entry_open(i64 k) {
    void *p = file_handle_table[k];
    return p && p != (void *)-1;
}

FILE *handle_stream(i64 handle) {
    i64 k = handle - FIRST_HANDLE;
    if (k < 0 || k >= FILE_HANDLE_CAP || !entry_open(k)) return nullptr;
    return (FILE *)file_handle_table[k];
}

bool write_and_flush(FILE *file, const char *bytes, size_t n) {
    bool ok = n == 0 || fwrite(bytes, 1, n, file) == n;
    ok = fflush(file) == 0 && ok;
    if (ferror(file)) {
        clearerr(file);   // the next write is judged on its own
        ok = false;
    }
    return ok;
}

static int sf_open(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    std::string name;
    if (!operand_text(rc, rv, &name) || name.empty()) return fail(VEK_DOMAIN);
    i64 k = 0;
    while (k < FILE_HANDLE_CAP && entry_open(k)) k++;
    if (k == FILE_HANDLE_CAP) return fail(VEK_TOO_MANY_FILES);
    if (name.find('\0') != std::string::npos) return fail(VEK_PATH);
    int fd = open_file_to_write(resolve_file_path(name).c_str(), true);
    FILE *f = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!f) {
        if (fd >= 0) close(fd);
        return fail(VEK_PATH);
    }
    file_handle_table[k] = f;
    if (k >= open_file_count) open_file_count = k + 1;
    return result_int(slot, T_INT, FIRST_HANDLE + k);
}

static int sf_close(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    Operand h;
    if (read_operand(&h, rc, rv)) return VEK_VALUE;
    i64 k = h.type == T_INT && h.count == 1 ? h.int_at(0) - FIRST_HANDLE : -1;
    if (k < 0 || k >= FILE_HANDLE_CAP || !entry_open(k)) return result_int(slot, T_BOOL, 1);
    FILE *f = (FILE *)file_handle_table[k];
    file_handle_table[k] = (void *)-1;
    bool failed = ferror(f) != 0;
    failed = fclose(f) != 0 || failed;
    if (failed) return fail(VEK_WRITE_FILE);
    return result_int(slot, T_BOOL, 0);
}

static int write_handle(i64, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand h;
    if (read_operand(&h, lc, lv)) return VEK_VALUE;
    if (h.type != T_INT || h.count != 1) return fail(VEK_DOMAIN);
    FILE *f = handle_stream(h.int_at(0));
    if (!f) return fail(VEK_NOT_OPENED);
    Operand x;
    if (read_operand(&x, rc, rv)) return VEK_VALUE;
    std::string text;
    if (value_lines_text(x.desc(), &text)) return (int)error_number;
    if (!write_and_flush(f, text.data(), text.size())) return fail(VEK_WRITE_FILE);
    return empty_matrix(slot, T_INT);
}

// ---- []get ---------------------------------------------------------------------------------------

// A regular file's bytes, in a block counted against the memory values
// may take.
struct FileBytes {
    char *data = nullptr;
    i64 size = 0, capacity = 0;
    ~FileBytes() { value_free(data, capacity); }
};

// The whole of a regular file, read in large blocks; the interrupt is
// looked at between them. 0, 76 (no such file, or not a regular file: a
// device or pipe could be endless or wait for ever), 301, 6 for a file
// larger than the room values have, or the interrupt's error.
static int read_whole_file(const std::string &path, FileBytes *out) {
    int64_t size = 0;
    bool not_regular = false;
    int fd = open_regular_file(path.c_str(), &size, &not_regular);
    if (fd < 0) return fail(VEK_PATH);
    // The size the file had when opened: bytes added since are not read.
    out->data = (char *)value_malloc(size);
    if (!out->data) {
        close(fd);
        return fail(VEK_WS_FULL);
    }
    out->capacity = size;
    int e = 0;
    while (out->size < size && !e) {
        if (interrupt_requested_between_blocks()) { e = fail(INTERRUPT_ERROR); break; }
        size_t want = (size_t)std::min<i64>(READ_BLOCK, size - out->size);
        ssize_t n = read(fd, out->data + out->size, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) e = fail(VEK_READ_FILE);
        if (n <= 0) break;   // shorter now than when opened
        out->size += n;
    }
    close(fd);
    return e;
}

static int sf_get(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    std::string name;
    if (!operand_text(rc, rv, &name)) return fail(VEK_TYPE);
    if (name.find('\0') != std::string::npos) return fail(VEK_PATH);
    FileBytes text;
    if (read_whole_file(resolve_file_path(name), &text)) return (int)error_number;
    const char *begin = text.data, *end = begin + text.size;
    // The line list is counted against the limit too, before it is made.
    i64 n = 0;
    for (const char *p = begin; p < end; n++) {
        const char *nl = (const char *)memchr(p, '\n', (size_t)(end - p));
        p = nl ? nl + 1 : end;
    }
    i64 list_bytes = n * (i64)sizeof(std::string_view);
    if (!value_memory_reserve(list_bytes)) return fail(VEK_WS_FULL);
    std::vector<std::string_view> lines;
    lines.reserve((size_t)n);
    for (const char *p = begin; p < end;) {
        const char *nl = (const char *)memchr(p, '\n', (size_t)(end - p));
        const char *stop = nl ? nl : end;
        const char *line_end = nl && stop > p && stop[-1] == '\r' ? stop - 1 : stop;
        lines.emplace_back(p, (size_t)(line_end - p));
        p = nl ? nl + 1 : end;
    }
    int e = store_text_list(slot, lines.data(), n);
    value_memory_return(list_bytes);
    return e;
}

// ---- []CR ------------------------------------------------------------------------------------------

// The lines of a function's text as typed, header first; empty when the
// name is not a defined function of the user.
static std::vector<std::string> function_lines(const std::string &name) {
    std::vector<std::string> lines;
    i64 g = lookup_name(name.c_str(), 'G');
    if (g < 0 || global_name_table[g].kind != 'F') return lines;
    i64 f = global_name_table[g].index;
    if (f < FIRST_USER_FUNCTION || f >= FUNCTION_CAP || is_query_function(f)) return lines;
    FunctionText *ft = function_text_of(f);
    if (!ft) return lines;
    for (i64 i = 0; i < ft->typed_count; i++) {
        TextLine *t = text_line_at(ft->typed, i);
        lines.push_back(t && t->text ? t->text : "");
    }
    return lines;
}

static int sf_cr(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    Operand x;
    if (read_operand(&x, rc, rv)) return VEK_VALUE;
    std::string name;
    if (x.count == 0) return empty_matrix(slot, T_CHAR);
    if (x.type == T_CHAR) {
        if (x.rank > 1) return fail(VEK_RANK);
        name.assign(x.chars(), (size_t)x.count);
    } else if (x.type == T_SYMBOL) {
        if (x.rank != 0) return fail(VEK_RANK);
        name = symbol_text(x.int_at(0));
    } else {
        return fail(VEK_TYPE);
    }
    std::vector<std::string> lines = name.find('\0') == std::string::npos ? function_lines(name)
                                                                         : std::vector<std::string>();
    size_t width = 0;
    for (const std::string &l : lines) width = l.size() > width ? l.size() : width;
    if (lines.empty() || width == 0) return empty_matrix(slot, T_CHAR);
    Shape s;
    s.rank = 2;
    s.dims[0] = (i64)lines.size();
    s.dims[1] = (i64)width;
    Result z;
    if (begin_result(&z, slot, T_CHAR, s, nullptr, nullptr, true)) return (int)error_number;
    for (size_t r = 0; r < lines.size(); r++) {
        char *row = z.chars() + r * width;
        memset(row, ' ', width);
        memcpy(row, lines[r].data(), lines[r].size());
    }
    return 0;
}

// ---- []AI, []FX and the codes not provided ---------------------------------------------------------

static int sf_ai(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    Operand x;
    if (read_operand(&x, rc, rv)) return VEK_VALUE;
    if (!x.is_int_class()) return fail(VEK_TYPE);
    if (x.count != 1 || x.rank > 1) return fail(VEK_DOMAIN);
    if (x.int_at(0) != 2) return fail(VEK_NOT_IMPLEMENTED);
    return result_int(slot, T_INT, platform_monotonic_ms() - line_start_clock);
}

// No value: the walk shows nothing for it, and using it is a value error.
static int sf_fx(i64, i64 slot, i64, i64, i64, i64) {
    free_value(&value_slot_table[slot]);
    return 0;
}

static int sf_not_provided(i64, i64, i64, i64, i64, i64) { return fail(VEK_SYSVAR_NOT_IMPLEMENTED); }

void register_files_primitives() {
    register_primitive(SF_FX, 1, sf_fx);
    register_primitive(SF_CR, 1, sf_cr);
    register_primitive(SF_XD, 1, sf_not_provided);
    register_primitive(SF_XC, 1, sf_not_provided);
    register_primitive(SF_AI, 1, sf_ai);
    register_primitive(SF_CSV, 1, sf_csv);
    register_primitive(SF_OPEN, 1, sf_open);
    register_primitive(SF_CLOSE, 1, sf_close);
    register_primitive(SF_WRITE, 1, sf_write);
    register_primitive(SF_GET, 1, sf_get);
    register_primitive(P_WRITE_LINES, 2, to_text_lines);
    register_primitive(P_WRITE_HANDLE, 2, write_handle);
}
