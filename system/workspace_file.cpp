// The workspace file writer and reader. After a five-line text header and
// the version words come the tables in a fixed order, each as its counter
// (a 4-byte little-endian word) and its records. Records that held machine
// addresses are written with indexes instead, and every value (variables,
// constants, locals, system variables, list items) is a slot item: its
// descriptor followed by exactly its data bytes. The file ends with a check
// word over every byte before it, which the format date of the header
// announces: files of the earlier date may lack it.
//
// Both directions stream through a small buffer. The reader checks every
// count against what is left of the file before it takes memory for it,
// reads values straight into the blocks they will live in, and checks the
// whole image (names, functions, state indicator, frames and every value)
// before the workspace is touched: a file it refuses leaves the workspace
// as it was. The writer runs the same checks first and refuses to write
// what the reader would refuse.
#include "core/errors.h"
#include "system/workspace_file.h"
#include "system/file_replace.h"
#include "core/output.h"
#include "core/arena.h"
#include "core/symbols.h"
#include "core/valueops.h"
#include "core/calls.h"
#include "core/functions.h"
#include "core/keyed.h"
#include "core/text_lists.h"
#include "primitives/keyed.h"
#include "core/interrupt.h"
#include "core/timecode.h"
#include "core/workspace.h"
#include "core/storage.h"
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <cerrno>
#include <new>
#include <string>
#include <vector>
#include <unistd.h>
#include <sys/stat.h>

static const char *const HEADER_RULE = "****************************************************";
enum : i64 {
    SLOT_ITEM_NONE = 0, SLOT_ITEM_INLINE = 1, SLOT_ITEM_DATA = 2,
    VALUE_DEPTH_MAX = 64, VALUE_RANK_MAX = 64, VALUE_COUNT_MAX = (i64)1 << 40,
    SAVED_NAME_MAX = 119, TEXT_LINE_MAX = 1 << 24, HEADER_LINE_MAX = 5120,
    FUNCTION_LINE_LIMIT = 1 << 20,   // far above any function's line count
    SYMBOL_COUNT_MAX = (i64)1 << 26,
    IO_BUFFER = 1 << 16, CHECK_BYTES = 8,
    FILE_BLOCK = 1 << 22,   // the most read or written between looks at the interrupt
};

static inline void copy_bytes(void *dst, const void *src, size_t n) {
    if (n) memcpy(dst, src, n);
}

static uint64_t load_le64(const unsigned char *b) {
    uint64_t w = 0;
    for (int i = 0; i < 8; i++) w |= (uint64_t)b[i] << (8 * i);
    return w;
}

// ---- The check word ------------------------------------------------------------------
// Each step maps the running value one to one for a given word, and the
// word one to one for a given value, so a file that differs in any one
// byte (or word) always gives another check word.
struct FileCheck {
    uint64_t h = 0x6a09e667f3bcc908ull, total = 0;
    unsigned char tail[8];
    int n = 0;
    static uint64_t step(uint64_t h, uint64_t w) {
        h = (h ^ w) * 0x9e3779b97f4a7c15ull;
        return h ^ (h >> 31);
    }
    void add(const void *p, size_t len) {
        const unsigned char *b = (const unsigned char *)p;
        total += len;
        while (len && n) {
            tail[n++] = *b++;
            len--;
            if (n == 8) { h = step(h, load_le64(tail)); n = 0; }
        }
        for (; len >= 8; b += 8, len -= 8) h = step(h, load_le64(b));
        while (len) { tail[n++] = *b++; len--; }
    }
    uint64_t value() const {
        unsigned char last[8] = {0};
        copy_bytes(last, tail, (size_t)n);
        return step(step(h, load_le64(last)), total);
    }
};

// ---- What a workspace holds, wherever it is ----------------------------------------
// The checks below read the tables through this view: the live tables when
// writing, the reader's staged image when reading.
struct WorkspaceView {
    const NameEntry *locals, *globals;
    i64 lstnx, lstgx;
    const FunctionEntry *functions;   // text words: the texts
    i64 lstfx;
    const i64 *shapes;
    i64 nxtglx;
    const SIEntry *si;
    i64 sidx;
    const DfxEntry *dfx;
    i64 dfxstack;
    const char *long_names;
    i64 lsttnam;
    i64 symbol_count;
    // The values of the slots a workspace holds: []IO, the five system
    // variables from SLOT_OF, the globals from FIRST_GLOBAL_SLOT to lstvx,
    // the locals from lstvxend below LOCALS_TOP; the constants from 21.
    const ValueDescriptor *io_v, *system_v, *globals_v, *locals_v, *constants_v;
    i64 lstvx, lstvxend, lstcx;
};

static WorkspaceView live_view() {
    return WorkspaceView{local_name_table, global_name_table, lstnx, lstgx, function_table, lstfx,
                         shape_pool, nxtglx, state_indicator, si_depth, dfxstack_table, dfxstack,
                         long_name_pool, lsttnam, symbol_table.last + 1, &value_slot_table[SLOT_IO],
                         &value_slot_table[SLOT_OF], &value_slot_table[FIRST_GLOBAL_SLOT],
                         &value_slot_table[lstvxend], &constants_table[21], lstvx, lstvxend, lstcx};
}

// The value of slot s, or null for a slot the workspace does not hold.
static const ValueDescriptor *view_slot(const WorkspaceView &v, i64 s) {
    if (s == SLOT_IO) return v.io_v;
    if (s >= SLOT_OF && s <= SLOT_PP) return &v.system_v[s - SLOT_OF];
    if (s >= FIRST_GLOBAL_SLOT && s <= v.lstvx) return &v.globals_v[s - FIRST_GLOBAL_SLOT];
    if (s >= v.lstvxend && s < LOCALS_TOP) return &v.locals_v[s - v.lstvxend];
    return nullptr;
}

static bool in_slot_ranges(i64 s, const WorkspaceView &v) { return view_slot(v, s) != nullptr; }

static bool is_item_type(i64 t) { return t == T_LIST || t == T_DICT || t == T_TABLE; }

static i64 item_count(const ValueDescriptor *d) {
    if (d->type == T_LIST) return d->count;
    if (d->type == T_DICT || d->type == T_TABLE) return 2;
    return -1;
}

static bool valid_type(i64 t) {
    return (t >= T_BOOL && t <= T_TIME) || t == T_ENUM || t == T_DICT || t == T_TABLE;
}

static const ValueDescriptor *items_of(const ValueDescriptor *d) {
    return (const ValueDescriptor *)d->data;
}

// The product of a value's dimensions, -1 when a dimension is negative,
// the shape runs past the shape pool, or the product overflows.
static i64 shape_count(const ValueDescriptor *d, const WorkspaceView &v) {
    if (d->rank == 0) return 1;
    if (d->rank == 1) return d->dim0;
    i64 dims[VALUE_RANK_MAX];
    dims[0] = d->dim0;
    if (d->rank == 2) {
        dims[1] = d->dim1;
    } else {
        i64 s = d->dim1;
        if (s < 0 || s > v.nxtglx || d->rank - 1 > v.nxtglx - s + 1) return -1;
        for (i64 k = 1; k < d->rank; k++) dims[k] = v.shapes[s + k - 1];
        if (s + d->rank - 1 > v.nxtglx || v.shapes[s + d->rank - 1] != -1) return -1;
    }
    i64 n = 1;
    for (i64 k = 0; k < d->rank; k++) {
        if (dims[k] < 0) return -1;
        if (dims[k] > 0 && n > VALUE_COUNT_MAX / dims[k]) return -1;
        n *= dims[k];
    }
    return n;
}

static bool value_sound(const ValueDescriptor *d, const WorkspaceView &v, int depth);

// Dictionaries, keyed tables and tables: their halves fit together as the
// keyed values' own check asks, and hold together themselves.
static bool pair_sound(const ValueDescriptor *d, const WorkspaceView &v, int depth) {
    if (d->rank != 1 || d->count != 2 || !d->data || !keyed_value_sound(d)) return false;
    return value_sound(pair_half(d, 0), v, depth + 1) && value_sound(pair_half(d, 1), v, depth + 1);
}

// An enumeration names its domain by a symbol (found by that name when it
// is used: positions the domain no longer holds are shown as positions),
// and its positions are positions.
static bool enum_sound(const ValueDescriptor *d, const WorkspaceView &v) {
    i64 name = enum_domain_name(d);
    if (d->rank != 1 || name < 0 || name >= v.symbol_count) return false;
    if (d->count == 0) return true;
    if (d->spare != name) return false;
    const i64 *w = enum_positions(d);
    for (i64 i = 0; i < d->count; i++)
        if (w[i] < 0) return false;
    return true;
}

// An item of a time type as the system makes them: a valid value (its
// month 1 to 12, its day one its month has, its time within a day), the
// null, or the 0 that take and expand pad with.
static bool time_item_sound(i64 type, i64 w) {
    if (type == T_DATETIME) {
        double x;
        memcpy(&x, &w, sizeof x);
        i64 day, ms;
        return x != x || x == 0 || datetime_to_day_ms(x, &day, &ms);
    }
    return w == TIME_NULL || w == 0 || time_encoding_is_valid(type, w);
}

// A value holds together: a known type, a shape that gives its item count,
// booleans that are 0 or 1, symbols the symbol table holds, time items in
// their ranges, items that hold together.
static bool value_sound(const ValueDescriptor *d, const WorkspaceView &v, int depth) {
    if (d->rank < 0) return true;
    if (depth > VALUE_DEPTH_MAX || !valid_type(d->type) || d->rank > VALUE_RANK_MAX || d->count < 0 ||
        d->count > VALUE_COUNT_MAX)
        return false;
    if (is_inline_value(d)) {
        if (d->type == T_BOOL) return d->dim0 == 0 || d->dim0 == 1;
        if (d->type == T_SYMBOL) return d->dim0 >= 0 && d->dim0 < v.symbol_count;
        if (is_time_type(d->type)) return time_item_sound(d->type, d->dim0);
        return true;
    }
    if (d->type == T_DICT || d->type == T_TABLE) return pair_sound(d, v, depth);
    if (shape_count(d, v) != d->count) return false;
    if (d->count > 0 && !d->data) return false;
    if (d->type == T_ENUM) return enum_sound(d, v);
    if (d->count == 0) return true;
    const i64 *w = (const i64 *)d->data;
    switch (d->type) {
    case T_BOOL:
        for (i64 i = 0; i < d->count; i++)
            if (w[i] != 0 && w[i] != 1) return false;
        return true;
    case T_SYMBOL:
        for (i64 i = 0; i < d->count; i++)
            if (w[i] < 0 || w[i] >= v.symbol_count) return false;
        return true;
    case T_LIST:
        for (i64 i = 0; i < d->count; i++)
            if (!value_sound(&items_of(d)[i], v, depth + 1)) return false;
        return true;
    default:
        if (is_time_type(d->type))
            for (i64 i = 0; i < d->count; i++)
                if (!time_item_sound(d->type, w[i])) return false;
        return true;
    }
}

static bool valid_name_entry(const NameEntry &e, i64 long_names_end) {
    if (memchr(e.name, 0, sizeof e.name) == nullptr) return false;
    if (e.continuation != -1 && (e.continuation < 0 || e.continuation > long_names_end)) return false;
    return true;
}

static bool names_sound(const WorkspaceView &v) {
    // The rest of a long name is read up to its NUL, so the pool ends with one.
    if (v.lsttnam >= 0 && v.long_names[v.lsttnam] != 0) return false;
    // A local name's index is the slot it is bound to (a label's: its line).
    for (i64 i = 0; i <= v.lstnx; i++) {
        const NameEntry &e = v.locals[i];
        if (!valid_name_entry(e, v.lsttnam)) return false;
        i64 limit = e.kind == 'L' ? (i64)FUNCTION_LINE_LIMIT : (i64)SLOT_COUNT;
        if (e.index < -1 || e.index >= limit) return false;
    }
    for (i64 g = 0; g <= v.lstgx; g++) {
        const NameEntry &e = v.globals[g];
        if (!valid_name_entry(e, v.lsttnam)) return false;
        if (e.kind == 'V' && !in_slot_ranges(e.index, v)) return false;
        if (e.kind == 'F' && !((e.index >= 0 && e.index < BUILTIN_FUNCTIONS) ||
                               (e.index >= FIRST_USER_FUNCTION && e.index <= v.lstfx)))
            return false;
        // A free entry keeps the value slot its next variable takes.
        if (e.kind == 0 && e.index != -1 && !(e.index >= FIRST_GLOBAL_SLOT && e.index <= v.lstvx)) return false;
        if (e.kind != 0 && e.kind != 'V' && e.kind != 'F') return false;
        // The system variables and built-in functions are the program's own:
        // a clear keeps them, so a file must not rename or rebind them.
        const NameEntry &own = global_name_table[g];
        if (g < PREDEFINED_NAMES && (strcmp(e.name, own.name) != 0 || e.kind != own.kind ||
                                     e.index != own.index || e.continuation != own.continuation))
            return false;
    }
    return true;
}

static i64 text_line_count(const FunctionText *ft) {
    i64 n = ft->typed_count;
    if (ft->fresh_count > n) n = ft->fresh_count;
    if (ft->work_count > n) n = ft->work_count;
    return n;
}

static bool functions_sound(const WorkspaceView &v) {
    for (i64 f = FIRST_USER_FUNCTION; f <= v.lstfx; f++) {
        const FunctionEntry &e = v.functions[f];
        if (e.global_name < -1 || e.global_name > v.lstgx) return false;
        // The argument names a call binds: valence, first right name and
        // the count of names a header "f(a;b;c)" gives.
        if (e.text && (e.valence < 0 || e.valence > 2 || e.right_count < 0 || e.right_count > LOCAL_NAME_CAP ||
                       e.right_arg > LOCAL_NAME_CAP - e.right_count))
            return false;
        if (e.text && ((e.valence >= 1 && e.right_arg < 0) || (e.valence == 2 && e.left_arg < 0))) return false;
        // A call's names are reclaimed after the statement while the record
        // keeps its ranges until the next compilation, so a range may lie
        // past lstnx; only the table's bounds matter here.
        for (i64 w : {e.result, e.left_arg, e.right_arg, e.header_start, e.header_end, e.body_start, e.body_end})
            if (w < -1 || w >= LOCAL_NAME_CAP) return false;
    }
    return true;
}

// Each state-indicator entry is a session line or a line of a user
// function that has a text; each frame marker names an entry.
static bool calls_sound(const WorkspaceView &v) {
    for (i64 i = 0; i <= v.sidx; i++) {
        i64 f = v.si[i].function, line = v.si[i].line;
        if (f == -1) continue;
        if (f < FIRST_USER_FUNCTION || f > v.lstfx || !v.functions[f].text) return false;
        if (line < 0 || line > text_line_count(v.functions[f].text)) return false;
    }
    for (i64 i = 0; i <= v.dfxstack; i++) {
        i64 name = v.dfx[i].name, slot = v.dfx[i].slot;
        if (name == -1) {
            if (slot < 0 || slot > v.sidx) return false;
        } else if (name < 0 || name > v.lstnx || !(slot == -1 || in_slot_ranges(slot, v))) {
            return false;
        }
    }
    return true;
}

// The system variables hold what their assignment lets them hold: []IO
// one item (its value is checked where it is used), []RL and []PP one
// boolean or integer of at least 1. A clear sets all three.
static bool system_variables_sound(const WorkspaceView &v) {
    // []IO lives in a slot that outlasts every statement only inline.
    if (v.io_v->rank < 0 || !is_inline_value(v.io_v)) return false;
    for (i64 s : {SLOT_RL, SLOT_PP}) {
        const ValueDescriptor *d = view_slot(v, s);
        if (d->rank < 0 || (d->type != T_INT && d->type != T_BOOL) || d->count != 1 || !d->data ||
            *(const i64 *)d->data < 1)
            return false;
    }
    return true;
}

static bool values_sound(const WorkspaceView &v) {
    if (!system_variables_sound(v)) return false;
    for (i64 s = 0; s < SLOT_COUNT; s++) {
        const ValueDescriptor *d = view_slot(v, s);
        if (d && !value_sound(d, v, 0)) return false;
    }
    for (i64 c = 21; c <= v.lstcx; c++)
        if (!value_sound(&v.constants_v[c - 21], v, 0)) return false;
    return true;
}

static bool workspace_sound(const WorkspaceView &v) {
    return names_sound(v) && functions_sound(v) && calls_sound(v) && values_sound(v);
}

// ---- Writing -------------------------------------------------------------------------
struct Writer {
    FILE *file;
    std::vector<char> buffer;
    size_t used = 0;
    bool failed = false, interrupted = false;
    FileCheck check;
    explicit Writer(FILE *f) : file(f), buffer(IO_BUFFER) {}
    // The interrupt is looked at before each block goes out.
    void put(const void *p, size_t n) {
        const char *b = (const char *)p;
        while (n && !failed) {
            if (interrupt_requested()) interrupted = failed = true;
            size_t k = n < FILE_BLOCK ? n : (size_t)FILE_BLOCK;
            if (!failed && fwrite(b, 1, k, file) != k) failed = true;
            b += k;
            n -= k;
        }
    }
    void flush() {
        if (used) put(buffer.data(), used);
        used = 0;
    }
    void raw(const void *p, size_t n) {
        if (used + n > buffer.size()) {
            flush();
            if (n >= buffer.size()) {
                put(p, n);
                return;
            }
        }
        copy_bytes(buffer.data() + used, p, n);
        used += n;
    }
    void bytes(const void *p, size_t n) {
        check.add(p, n);
        raw(p, n);
    }
    void word(i64 v) {
        uint32_t u = (uint32_t)(int32_t)v;
        unsigned char b[4];
        for (int i = 0; i < 4; i++) b[i] = (unsigned char)((u >> (8 * i)) & 0xff);
        bytes(b, 4);
    }
    void i64s(const void *p, i64 n) {   // 8-byte words, little-endian
        const i64 *w = (const i64 *)p;
        unsigned char b[8 * 64];
        for (i64 i = 0; i < n;) {
            i64 k = 0;
            for (; k < 64 && i < n; k++, i++)
                for (int j = 0; j < 8; j++) b[8 * k + j] = (unsigned char)(((uint64_t)w[i] >> (8 * j)) & 0xff);
            bytes(b, (size_t)(8 * k));
        }
    }
    void finish() {
        uint64_t c = check.value();
        unsigned char b[CHECK_BYTES];
        for (int i = 0; i < CHECK_BYTES; i++) b[i] = (unsigned char)((c >> (8 * i)) & 0xff);
        raw(b, CHECK_BYTES);
        flush();
    }
};

static void write_slot_item(Writer &w, const ValueDescriptor *d) {
    ValueDescriptor copy = *d;
    copy.capacity = 0;
    copy.data = nullptr;
    void *data = d->rank >= 0 ? value_data((ValueDescriptor *)d) : nullptr;
    i64 tag = !data ? SLOT_ITEM_NONE : is_inline_value(d) ? SLOT_ITEM_INLINE : SLOT_ITEM_DATA;
    w.i64s(&copy, 7);
    w.i64s(&tag, 1);
    if (tag != SLOT_ITEM_DATA) return;
    i64 n = item_count(d);
    if (n >= 0) {
        for (i64 i = 0; i < n; i++) write_slot_item(w, &((const ValueDescriptor *)data)[i]);
    } else {
        w.bytes(data, (size_t)data_bytes(d->type, d->count));
    }
}

static void write_function_text(Writer &w, const FunctionText *ft) {
    char head[200];
    snprintf(head, sizeof head, "%s %lld %lld %lld %lld ", ft->name, (long long)ft->reserved,
             (long long)ft->typed_count, (long long)ft->fresh_count, (long long)ft->work_count);
    w.bytes(head, strlen(head));
    const TextLine *lists[3] = {ft->typed, ft->fresh, ft->work};
    i64 counts[3] = {ft->typed_count, ft->fresh_count, ft->work_count};
    for (int k = 0; k < 3; k++) {
        const TextLine *t = lists[k] ? lists[k]->next : nullptr;
        for (i64 i = 0; i < counts[k]; i++) {
            const char *s = t && t->text ? t->text : "";
            w.word(t ? t->line : -1);
            w.word((i64)strlen(s));   // the text itself, never the spare buffer
            w.bytes(s, strlen(s));
            if (t) t = t->next;
        }
    }
}

// The function texts obey the reader's limits: a name it takes and lines
// of at most TEXT_LINE_MAX bytes.
static bool texts_writable() {
    for (i64 f = FIRST_USER_FUNCTION; f <= lstfx; f++) {
        const FunctionText *ft = function_table[f].text;
        if (!ft) continue;
        size_t n = strlen(ft->name);
        if (n == 0 || n > SAVED_NAME_MAX || strchr(ft->name, ' ')) return false;
        if (ft->typed_count > 999999999 || ft->fresh_count > 999999999 || ft->work_count > 999999999) return false;
        const TextLine *lists[3] = {ft->typed, ft->fresh, ft->work};
        i64 counts[3] = {ft->typed_count, ft->fresh_count, ft->work_count};
        for (int k = 0; k < 3; k++) {
            const TextLine *t = lists[k] ? lists[k]->next : nullptr;
            for (i64 i = 0; i < counts[k] && t; i++, t = t->next)
                if (t->text && strlen(t->text) > (size_t)TEXT_LINE_MAX) return false;
        }
    }
    return symbol_table.last + 1 <= SYMBOL_COUNT_MAX;
}

static void write_body(Writer &w) {
    w.word(ARENA_BYTES);
    w.word(lstnx);
    w.bytes(local_name_table, sizeof(NameEntry) * (lstnx + 1));
    w.word(lstgx);
    w.bytes(global_name_table, sizeof(NameEntry) * (lstgx + 1));
    w.word(lstfx);
    for (i64 f = 0; f <= lstfx; f++) {
        FunctionEntry e = function_table[f];
        i64 words[17];
        copy_bytes(words, &e, sizeof words);
        words[10] = 0;                      // compiled again on the next call
        words[14] = e.text ? 1 : 0;         // the text follows in its own item
        words[15] = words[16] = 0;
        w.i64s(words, 17);
    }
    w.word(lstndx);
    w.i64s(parse_node_table, 7 * (lstndx + 1));
    w.word(lstfndx);
    w.i64s(expr_entry_table, 4 * (lstfndx + 1));
    w.word(lstbrx);
    w.i64s(branch_table, 6 * (lstbrx + 1));
    w.word(overflow_count);
    w.i64s(overflow_table, overflow_count + 1);
    w.word(nxtglx);
    if (nxtglx >= 0) w.i64s(shape_pool, nxtglx + 1);
    w.word(si_depth);
    if (si_depth >= 0) w.i64s(state_indicator, 2 * (si_depth + 1));
    w.word(lsttnam);
    if (lsttnam >= 0) w.bytes(long_name_pool, lsttnam + 1);
    w.word(symbol_table.last);
    for (i64 i = 0; i <= symbol_table.last; i++) {
        const char *s = symbol_text(i);
        w.word((i64)strlen(s) + 1);
        w.bytes(s, strlen(s) + 1);
    }
    w.word(reserved_count);
    w.i64s(reserved_table, 8 * reserved_count);
    w.word(0);   // no raw heap image: every value is written as a slot item
    write_slot_item(w, &value_slot_table[SLOT_IO]);
    w.word(PREDEFINED_NAMES);
    w.word(PREDEFINED_NAMES - BUILTIN_FUNCTIONS);
    for (i64 s = SLOT_OF; s <= SLOT_PP; s++) write_slot_item(w, &value_slot_table[s]);
    w.word(lstvx);
    for (i64 s = FIRST_GLOBAL_SLOT; s <= lstvx; s++) write_slot_item(w, &value_slot_table[s]);
    w.word(lstcx);
    for (i64 c = 21; c <= lstcx; c++) write_slot_item(w, &constants_table[c]);
    w.word(LOCALS_TOP);
    w.word(LOCALS_TOP - lstvxend);
    for (i64 s = lstvxend; s < LOCALS_TOP; s++) write_slot_item(w, &value_slot_table[s]);
    for (i64 f = FIRST_USER_FUNCTION; f <= lstfx; f++)
        if (function_table[f].text) write_function_text(w, function_table[f].text);
    w.word(dfxstack);
    if (dfxstack >= 0) w.i64s(dfxstack_table, 2 * (dfxstack + 1));
    w.word(suspension_count);
    w.i64s(suspension_record, suspension_count);
}

int save_workspace_file(const char *path) {
    // A file the reader would refuse is not written at all, and never
    // replaces the last good one.
    if (!workspace_sound(live_view()) || !texts_writable()) return (int)(error_number = VEK_WRITE_FILE);
    FileReplacement out;
    if (!open_replacement(&out, path)) return (int)(error_number = VEK_WRITE_FILE);
    Writer w(out.file);
    std::string header = std::string(HEADER_RULE) + "\n*** Vek Software v0.3\n*** Workspace Format ver 6\n*** File: " +
                         path + "\n" + HEADER_RULE + "\n\n";
    w.bytes(header.data(), header.size());
    w.word(WORKSPACE_FORMAT_VERSION);
    w.word(WORKSPACE_FORMAT_DATE);
    write_body(w);
    w.finish();
    if (w.failed) {
        abandon_replacement(&out);
        return (int)(error_number = w.interrupted ? (int)INTERRUPT_ERROR : (int)VEK_WRITE_FILE);
    }
    if (!commit_replacement(&out)) return (int)(error_number = VEK_WRITE_FILE);
    return 0;
}

// ---- Reading --------------------------------------------------------------------------------
struct Reader {
    int fd;
    std::vector<char> buffer;
    size_t pos = 0, len = 0;
    i64 remaining;          // bytes of the file not yet taken
    bool failed = false, interrupted = false;
    FileCheck check;
    Reader(int f, i64 size) : fd(f), buffer(IO_BUFFER), remaining(size) {}

    // Reads up to n bytes from the file itself; false at its end, on an
    // error, or when an interrupt is pending.
    bool read_file(char *dst, size_t n, size_t *got) {
        if (interrupt_requested()) return interrupted = true, false;
        if (n > FILE_BLOCK) n = FILE_BLOCK;
        for (;;) {
            ssize_t r = read(fd, dst, n);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            *got = (size_t)r;
            return true;
        }
    }
    bool need(i64 n) {
        if (failed || n < 0 || n > remaining) { failed = true; return false; }
        return true;
    }
    void bytes(void *dst, i64 n) {
        if (!need(n)) return;
        char *out = (char *)dst;
        size_t left = (size_t)n;
        while (left) {
            if (pos == len) {
                size_t got;
                // A big piece goes straight to where it is wanted.
                if (left >= buffer.size()) {
                    if (!read_file(out, left, &got)) { failed = true; return; }
                    out += got;
                    left -= got;
                    continue;
                }
                if (!read_file(buffer.data(), buffer.size(), &got)) { failed = true; return; }
                pos = 0;
                len = got;
            }
            size_t k = len - pos < left ? len - pos : left;
            memcpy(out, buffer.data() + pos, k);
            pos += k;
            out += k;
            left -= k;
        }
        check.add(dst, (size_t)n);
        remaining -= n;
    }
    i64 word() {
        unsigned char b[4];
        bytes(b, 4);
        if (failed) return -1;
        uint32_t u = 0;
        for (int i = 0; i < 4; i++) u |= (uint32_t)b[i] << (8 * i);
        return (i64)(int32_t)u;
    }
    void i64s(void *dst, i64 n) {
        if (n < 0 || n > remaining / 8) { failed = true; return; }
        bytes(dst, 8 * n);
        unsigned char *b = (unsigned char *)dst;
        for (i64 i = 0; i < n && !failed; i++) {
            i64 v = (i64)load_le64(b + 8 * i);
            memcpy(b + 8 * i, &v, 8);
        }
    }
    // A count word in lo..hi; anything else marks the file damaged.
    i64 count(i64 lo, i64 hi) {
        i64 v = word();
        if (v < lo || v > hi) failed = true;
        return failed ? lo : v;
    }
    // A text line of the header, without its "\n".
    bool line(std::string &out) {
        out.clear();
        for (;;) {
            char c;
            bytes(&c, 1);
            if (failed) return false;
            if (c == '\n') return true;
            if (out.size() >= HEADER_LINE_MAX) return failed = true, false;
            out += c;
        }
    }
};

// Everything a file holds, checked before any of it is used. Values are
// staged in blocks outside the chunk list, function texts and symbols in
// records of their own; all of it is freed unless it was installed.
struct WorkspaceImage {
    i64 lstnx = -1, lstgx = -1, lstfx = -1, lstndx = -1, lstfndx = -1, lstbrx = 0, overflow = 0, nxtglx = -1;
    i64 sidx = -1, lsttnam = -1, reserved = 0, lstvx = FIRST_GLOBAL_SLOT - 1, lstcx = 20;
    i64 lstvxend = LOCALS_TOP, dfxstack = -1;
    std::vector<NameEntry> locals, globals;
    std::vector<FunctionEntry> functions;
    std::vector<i64> nodes, exprs, branches, overflow_words, shapes, reserved_words, suspension;
    std::vector<SIEntry> si;
    std::vector<DfxEntry> dfx;
    std::vector<char> long_names;
    SymbolTable symbols{nullptr, nullptr, 0, -1};
    // Staged values, laid out as in WorkspaceView.
    ValueDescriptor io{}, system[5]{};
    std::vector<ValueDescriptor> globals_v, locals_v, constants_v;
    bool installed = false;

    WorkspaceImage() {
        io.rank = -1;
        for (ValueDescriptor &d : system) d.rank = -1;
    }
    ~WorkspaceImage() {
        if (installed) return;
        release_descriptor(&io);
        for (ValueDescriptor &d : system) release_descriptor(&d);
        for (auto *list : {&globals_v, &locals_v, &constants_v})
            for (ValueDescriptor &d : *list) release_descriptor(&d);
        for (FunctionEntry &f : functions) free_function_text(f.text);
        free_staged_symbols(&symbols);
    }
    WorkspaceView view() const {
        return WorkspaceView{locals.data(), globals.data(), lstnx, lstgx, functions.data(), lstfx,
                             shapes.data(), nxtglx, si.data(), sidx, dfx.data(), dfxstack, long_names.data(),
                             lsttnam, symbols.last + 1, &io, system, globals_v.data(), locals_v.data(),
                             constants_v.data(), lstvx, lstvxend, lstcx};
    }
};

// Room for the staged values of n slots, each undefined until read.
static void stage_slots(std::vector<ValueDescriptor> &list, i64 n) {
    list.assign((size_t)n, ValueDescriptor{});
    for (ValueDescriptor &d : list) d.rank = -1;
}

// Reads a slot item into d, its data into a block of its own. The shape
// and contents are checked with the whole image (values_sound).
static bool read_slot_item(Reader &r, ValueDescriptor *d, int depth) {
    if (depth > VALUE_DEPTH_MAX) return r.failed = true, false;
    i64 w[8];
    r.i64s(w, 8);
    if (r.failed) return false;
    copy_bytes(d, w, 56);
    d->data = nullptr;
    d->capacity = 0;
    i64 tag = w[7];
    if (d->rank < 0) return tag == SLOT_ITEM_NONE || (r.failed = true, false);
    if (!valid_type(d->type) || d->rank > VALUE_RANK_MAX || d->count < 0 || d->count > VALUE_COUNT_MAX)
        return r.failed = true, false;
    if (tag == SLOT_ITEM_NONE) return d->count == 0 || (r.failed = true, false);
    if (tag == SLOT_ITEM_INLINE) {
        if (!is_inline_value(d)) return r.failed = true, false;
        d->data = &d->dim0;
        return true;
    }
    if (tag != SLOT_ITEM_DATA || d->count == 0 || is_inline_value(d)) return r.failed = true, false;
    i64 n = item_count(d);
    // Every item takes 64 bytes of the file, every data byte one.
    i64 size = n >= 0 ? 64 * n : data_bytes(d->type, d->count);
    if (size <= 0 || (n >= 0 ? n > r.remaining / 64 : size > r.remaining)) return r.failed = true, false;
    void *block = new_unlinked_chunk(size);
    if (!block) return r.failed = true, false;
    d->data = block;
    d->capacity = size;
    if (n < 0) {
        r.bytes(block, size);
        return !r.failed;
    }
    ValueDescriptor *items = (ValueDescriptor *)block;
    for (i64 i = 0; i < n; i++) items[i].rank = -1;
    for (i64 i = 0; i < n; i++)
        if (!read_slot_item(r, &items[i], depth + 1)) return false;
    return true;
}

// Lines of a text record; null when memory runs out (a reader's failure,
// never the end of the process). A head node has no text.
static TextLine *staged_line(const char *text, i64 n, i64 number) {
    TextLine *t = (TextLine *)calloc(1, sizeof(TextLine));
    if (!t) return nullptr;
    t->capacity = -1;
    t->line = number;
    if (!text) return t;
    t->text = (char *)malloc((size_t)n + 1);
    if (!t->text) { free(t); return nullptr; }
    copy_bytes(t->text, text, (size_t)n);
    t->text[n] = 0;
    t->capacity = n;
    return t;
}

static bool read_function_text(Reader &r, FunctionText **out) {
    // "%s %lld %lld %lld %lld " then the three lists.
    std::string fields[5];
    for (int k = 0; k < 5; k++) {
        for (;;) {
            char c;
            r.bytes(&c, 1);
            if (r.failed) return false;
            if (c == ' ') break;
            fields[k] += c;
            if (fields[k].size() > SAVED_NAME_MAX) return r.failed = true, false;
        }
    }
    const std::string &name = fields[0];
    if (name.empty() || name.find('\0') != std::string::npos) return r.failed = true, false;
    i64 numbers[4];
    for (int k = 0; k < 4; k++) {
        const std::string &f = fields[k + 1];
        if (f.empty() || f.size() > 9 || f.find_first_not_of("-0123456789") != std::string::npos) return r.failed = true, false;
        numbers[k] = atoll(f.c_str());
        if (k > 0 && numbers[k] < 0) return r.failed = true, false;
    }
    FunctionText *ft = (FunctionText *)calloc(1, sizeof(FunctionText));
    if (!ft) return r.failed = true, false;
    *out = ft;
    copy_bytes(ft->name, name.c_str(), name.size() + 1);
    ft->reserved = numbers[0];
    TextLine **lists[3] = {&ft->typed, &ft->fresh, &ft->work};
    i64 *counts[3] = {&ft->typed_count, &ft->fresh_count, &ft->work_count};
    std::string text;
    for (int k = 0; k < 3; k++) {
        TextLine *tail = *lists[k] = staged_line(nullptr, 0, -1);
        if (!tail) return r.failed = true, false;
        if (numbers[k + 1] > r.remaining / 8) return r.failed = true, false;
        for (i64 i = 0; i < numbers[k + 1]; i++) {
            i64 line = r.word();
            i64 n = r.word();
            if (r.failed || n < 0 || n > TEXT_LINE_MAX || !r.need(n)) return r.failed = true, false;
            text.resize((size_t)n);
            r.bytes(text.data(), n);
            if (r.failed) return false;
            // A reader takes the text up to its first NUL.
            TextLine *t = staged_line(text.c_str(), (i64)strlen(text.c_str()), line);
            if (!t) return r.failed = true, false;
            tail = tail->next = t;
            ++*counts[k];
        }
        if (k == 0) ft->cursor = tail;
    }
    return true;
}

// A table of fixed records: its counter in lo..hi, then counter + 1 records.
template <typename T>
static i64 read_records(Reader &r, std::vector<T> &out, i64 lo, i64 hi, i64 words) {
    i64 last = r.count(lo, hi);
    if (r.failed || last + 1 > r.remaining / (8 * words)) return r.failed = true, lo;
    out.resize((size_t)(words * (last + 1) * 8 / (i64)sizeof(T)));
    r.i64s(out.data(), words * (last + 1));
    return last;
}

static bool read_body(Reader &r, WorkspaceImage &img, bool checked) {
    if (r.word() != ARENA_BYTES) r.failed = true;
    img.lstnx = r.count(-1, LOCAL_NAME_CAP - 1);
    if (r.failed || (img.lstnx + 1) * 32 > r.remaining) return r.failed = true, false;
    img.locals.resize(img.lstnx + 1);
    r.bytes(img.locals.data(), 32 * (img.lstnx + 1));
    img.lstgx = r.count(PREDEFINED_NAMES - 1, GLOBAL_NAME_CAP - 1);
    if (r.failed || (img.lstgx + 1) * 32 > r.remaining) return r.failed = true, false;
    img.globals.resize(img.lstgx + 1);
    r.bytes(img.globals.data(), 32 * (img.lstgx + 1));
    img.lstfx = read_records(r, img.functions, FIRST_USER_FUNCTION - 1, FUNCTION_CAP - 1, 17);
    if (r.failed) return false;
    // The text word says only whether a text follows; the rest is rebuilt.
    std::vector<bool> has_text(img.functions.size());
    for (size_t f = 0; f < img.functions.size(); f++) {
        FunctionEntry &e = img.functions[f];
        has_text[f] = e.text != nullptr;
        e.text = nullptr;
        e.compiled = 0;
        e.line_counts = nullptr;
        e.line_lists = nullptr;
    }
    img.lstndx = read_records(r, img.nodes, -1, PARSE_NODE_CAP - 1, 7);
    img.lstfndx = read_records(r, img.exprs, -1, EXPR_ENTRY_CAP - 1, 4);
    img.lstbrx = read_records(r, img.branches, 0, BRANCH_CAP - 1, 6);
    img.overflow = read_records(r, img.overflow_words, 0, OVERFLOW_CAP - 1, 1);
    img.nxtglx = read_records(r, img.shapes, -1, SHAPE_POOL_CAP - 1, 1);
    img.sidx = read_records(r, img.si, -1, SI_CAP - 1, 2);
    img.lsttnam = r.count(-1, LONG_NAME_CAP - 1);
    if (r.failed || img.lsttnam + 1 > r.remaining) return r.failed = true, false;
    img.long_names.resize(img.lsttnam + 1);
    r.bytes(img.long_names.data(), img.lsttnam + 1);
    if (r.failed) return false;

    // Symbols: numbers must come back unchanged, so names are distinct and
    // symbol 0 is the empty one.
    i64 u = r.count(0, SYMBOL_COUNT_MAX - 1);
    if (r.failed || u + 1 > r.remaining / 5) return r.failed = true, false;
    char name[SYMBOL_NAME_MAX + 1];
    for (i64 i = 0; i <= u; i++) {
        i64 len = r.count(1, SYMBOL_NAME_MAX + 1);
        if (r.failed) return false;
        r.bytes(name, len);
        if (r.failed || name[len - 1] != 0 || (i == 0) != (len == 1)) return r.failed = true, false;
        if (!stage_symbol(&img.symbols, name, len - 1)) return r.failed = true, false;
    }
    img.reserved = r.count(0, RESERVED_CAP);
    if (r.failed || img.reserved * 64 > r.remaining) return r.failed = true, false;
    img.reserved_words.resize(8 * img.reserved);
    r.i64s(img.reserved_words.data(), 8 * img.reserved);
    if (r.word() != 0) r.failed = true;   // heap image: none in this format
    if (r.failed) return false;

    if (!read_slot_item(r, &img.io, 0)) return false;
    if (r.word() != PREDEFINED_NAMES || r.word() != PREDEFINED_NAMES - BUILTIN_FUNCTIONS) r.failed = true;
    for (ValueDescriptor &d : img.system)
        if (!read_slot_item(r, &d, 0)) return false;
    // Every slot item takes at least 64 bytes of the file.
    img.lstvx = r.count(FIRST_GLOBAL_SLOT - 1, LOCALS_TOP - 1);
    if (r.failed || img.lstvx - FIRST_GLOBAL_SLOT + 1 > r.remaining / 64) return r.failed = true, false;
    stage_slots(img.globals_v, img.lstvx - FIRST_GLOBAL_SLOT + 1);
    for (ValueDescriptor &d : img.globals_v)
        if (!read_slot_item(r, &d, 0)) return false;
    img.lstcx = r.count(20, CONSTANT_CAP - 1);
    if (r.failed || img.lstcx - 20 > r.remaining / 64) return r.failed = true, false;
    stage_slots(img.constants_v, img.lstcx - 20);
    for (ValueDescriptor &d : img.constants_v)
        if (!read_slot_item(r, &d, 0)) return false;
    if (r.word() != LOCALS_TOP) r.failed = true;
    i64 n = r.count(0, LOCALS_TOP - img.lstvx - 1);
    if (r.failed || n > r.remaining / 64) return r.failed = true, false;
    img.lstvxend = LOCALS_TOP - n;
    stage_slots(img.locals_v, n);
    for (ValueDescriptor &d : img.locals_v)
        if (!read_slot_item(r, &d, 0)) return false;
    for (i64 f = FIRST_USER_FUNCTION; f <= img.lstfx; f++)
        if (has_text[f] && !read_function_text(r, &img.functions[f].text)) return false;
    img.dfxstack = read_records(r, img.dfx, -1, DFXSTACK_CAP - 1, 2);
    i64 m = r.count(0, SUSPENSION_WORDS);
    if (r.failed) return false;
    img.suspension.resize(m);
    r.i64s(img.suspension.data(), m);
    if (r.failed) return false;
    // The check word: a file whose header says so must end with it; one
    // written before it was added may end here.
    if (checked || r.remaining == CHECK_BYTES) {
        uint64_t expected = r.check.value();
        unsigned char b[CHECK_BYTES];
        r.bytes(b, CHECK_BYTES);
        if (r.failed || load_le64(b) != expected) return r.failed = true, false;
    }
    if (r.remaining != 0) return r.failed = true, false;
    return workspace_sound(img.view());
}

// Header: the rule lines and the version words. 0 or the error number;
// *checked when the file must end with its check word.
static int read_header(Reader &r, bool *checked) {
    // The opening rule, lines up to the closing rule, then the empty line.
    std::string line;
    bool whole = r.line(line);
    if (line.compare(0, 5, "MyVeK") == 0 || line.compare(0, 2, "**") != 0) return 302;
    if (!whole) return 301;
    for (;;) {
        if (!r.line(line)) return 301;
        if (line.size() >= 5 && line.compare(0, 5, "*****") == 0) break;
    }
    if (!r.line(line)) return 301;
    i64 version = r.word(), date = r.word();
    if (r.failed) return 301;
    if (version < 0) return 302;
    if (version != WORKSPACE_FORMAT_VERSION) {
        vek_printf("Error: workspace version (%lld %lld), current (%lld %lld)", (long long)version, (long long)date,
                   (long long)WORKSPACE_FORMAT_VERSION, (long long)WORKSPACE_FORMAT_DATE);
        return 36;
    }
    // The date tells whether the file ends with a check word; no other
    // file of this version was ever written.
    if (date != WORKSPACE_FORMAT_DATE && date != WORKSPACE_UNCHECKED_DATE) return 302;
    *checked = date == WORKSPACE_FORMAT_DATE;
    return 0;
}

static void link_value_blocks(ValueDescriptor *d) {
    if (d->rank < 0 || d->capacity <= 0 || !d->data || is_inline_value(d)) return;
    link_unlinked_chunk(d->data);
    if (is_item_type(d->type)) {
        ValueDescriptor *items = (ValueDescriptor *)d->data;
        for (i64 i = 0; i < item_count(d); i++) link_value_blocks(&items[i]);
    }
}

// Puts a staged value in its place. A small simple value of a variable
// goes to the arena as any assignment would put it, while the arena has
// room; every other value keeps the block it was read into.
static void install_value(ValueDescriptor *target, ValueDescriptor *v, bool heap, i64 *arena_room) {
    *target = *v;
    *v = ValueDescriptor{};
    v->rank = -1;
    if (target->rank < 0 || is_inline_value(target)) {
        fix_inline_pointer(target);
        return;
    }
    i64 size = target->capacity;
    i64 need = ((size + 7) & ~(i64)7) + (i64)sizeof(HeapBlockTrailer);
    if (heap && !is_item_type(target->type) && size <= LARGE_BLOCK_LIMIT && need < *arena_room) {
        void *staged = target->data;
        target->data = nullptr;
        target->capacity = 0;
        if (alloc_heap_slot(target - value_slot_table, target->type, target->count) == 0 && target->data) {
            memcpy(target->data, staged, (size_t)size);
            ValueDescriptor block{};
            block.capacity = size;
            block.data = staged;
            release_descriptor(&block);
            *arena_room -= need;
            return;
        }
        target->data = staged;
        target->capacity = size;
    }
    link_value_blocks(target);
    gather_own_texts_within(target);   // a text column shared again by its copies
}

static void install_image(WorkspaceImage &img) {
    clear_workspace(1);
    copy_bytes(local_name_table, img.locals.data(), sizeof(NameEntry) * img.locals.size());
    lstnx = img.lstnx;
    copy_bytes(global_name_table, img.globals.data(), sizeof(NameEntry) * img.globals.size());
    lstgx = img.lstgx;
    for (i64 f = FIRST_USER_FUNCTION; f <= img.lstfx; f++) function_table[f] = img.functions[f];
    lstfx = img.lstfx;
    copy_bytes(parse_node_table, img.nodes.data(), img.nodes.size() * 8);
    lstndx = img.lstndx;
    copy_bytes(expr_entry_table, img.exprs.data(), img.exprs.size() * 8);
    lstfndx = img.lstfndx;
    copy_bytes(branch_table, img.branches.data(), img.branches.size() * 8);
    lstbrx = img.lstbrx;
    copy_bytes(overflow_table, img.overflow_words.data(), img.overflow_words.size() * 8);
    overflow_count = img.overflow;
    copy_bytes(shape_pool, img.shapes.data(), img.shapes.size() * 8);
    shape_pool_truncate(-1);      // lists stored before the load are gone
    nxtglx = img.nxtglx;
    copy_bytes(state_indicator, img.si.data(), img.si.size() * sizeof(SIEntry));
    si_depth = img.sidx;
    copy_bytes(long_name_pool, img.long_names.data(), img.long_names.size());
    lsttnam = img.lsttnam;
    adopt_staged_symbols(&img.symbols);
    copy_bytes(reserved_table, img.reserved_words.data(), img.reserved_words.size() * 8);
    reserved_count = img.reserved;

    i64 arena_room = r15 - stacktop;
    auto install_slot = [&](i64 s, ValueDescriptor *v) {
        install_value(&value_slot_table[s], v, is_heap_slot(s), &arena_room);
    };
    install_slot(SLOT_IO, &img.io);
    for (i64 k = 0; k < 5; k++) install_slot(SLOT_OF + k, &img.system[k]);
    lstvx = img.lstvx;
    for (i64 s = FIRST_GLOBAL_SLOT; s <= img.lstvx; s++) install_slot(s, &img.globals_v[s - FIRST_GLOBAL_SLOT]);
    lstvxend = img.lstvxend;
    for (i64 s = img.lstvxend; s < LOCALS_TOP; s++) install_slot(s, &img.locals_v[s - img.lstvxend]);
    lstcx = img.lstcx;
    for (i64 c = 21; c <= img.lstcx; c++) install_value(&constants_table[c], &img.constants_v[c - 21], false, &arena_room);
    copy_bytes(dfxstack_table, img.dfx.data(), img.dfx.size() * sizeof(DfxEntry));
    dfxstack = img.dfxstack;
    copy_bytes(suspension_record, img.suspension.data(), img.suspension.size() * 8);
    suspension_count = (i64)img.suspension.size();
    img.installed = true;
    reset_stack();
    error_number = 0;
}

static int read_workspace(int fd, i64 size) {
    Reader r(fd, size);
    bool checked = false;
    int rc = read_header(r, &checked);
    WorkspaceImage img;
    if (!rc && (!read_body(r, img, checked) || r.failed)) rc = 301;
    if (r.interrupted) return INTERRUPT_ERROR;
    if (rc) return rc;
    install_image(img);
    return 0;
}

int load_workspace_file(const char *path) {
    int64_t size = 0;
    bool not_regular = false;
    int fd = open_regular_file(path, &size, &not_regular);
    if (fd < 0) return (int)(error_number = not_regular ? 301 : 500);
    int rc;
    // Memory the system cannot give while reading is the file's failure.
    try {
        rc = read_workspace(fd, size);
    } catch (const std::bad_alloc &) {
        rc = 301;
    }
    close(fd);
    return rc ? (int)(error_number = rc) : 0;
}
