// The workspace file writer and reader. After a five-line text header and
// the version words come the tables in a fixed order, each as its counter
// (a 4-byte little-endian word) and its records. Records that held machine
// addresses are written with indexes instead, and every value (variables,
// constants, locals, system variables, list items) is a slot item: its
// descriptor followed by exactly its data bytes. Reading parses and checks
// the whole file into a staging image first and touches the workspace only
// when everything is sound.
#include "system/workspace_file.h"
#include "system/file_replace.h"
#include "core/session.h"
#include "core/arena.h"
#include "core/symbols.h"
#include "core/valueops.h"
#include "core/calls.h"
#include "core/functions.h"
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>
#include <set>
#include <unistd.h>
#include <sys/stat.h>

static const char *const HEADER_RULE = "****************************************************";
enum : i64 {
    SLOT_ITEM_NONE = 0, SLOT_ITEM_INLINE = 1, SLOT_ITEM_DATA = 2,
    VALUE_DEPTH_MAX = 64, SAVED_NAME_MAX = 119, TEXT_LINE_MAX = 1 << 24,
    FUNCTION_LINE_LIMIT = 1 << 20,   // far above any function's line count
};

// memcpy that accepts the null data of an empty table.
static inline void copy_bytes(void *dst, const void *src, size_t n) {
    if (n) memcpy(dst, src, n);
}

// ---- Writing -------------------------------------------------------------------------
struct Writer {
    std::string out;
    bool too_deep = false;   // a value nested deeper than the reader takes
    void word(i64 v) {
        uint32_t u = (uint32_t)(int32_t)v;
        for (int i = 0; i < 4; i++) out += (char)((u >> (8 * i)) & 0xff);
    }
    void bytes(const void *p, size_t n) {
        if (n) out.append((const char *)p, n);
    }
    void i64s(const i64 *p, i64 n) {   // 8-byte words, little-endian
        for (i64 i = 0; i < n; i++)
            for (int b = 0; b < 8; b++) out += (char)(((uint64_t)p[i] >> (8 * b)) & 0xff);
    }
};

static i64 item_count(const ValueDescriptor *d) {
    if (d->type == T_LIST) return d->count;
    if (d->type == T_DICT || d->type == T_TABLE) return 2;
    return -1;
}

static void write_slot_item(Writer &w, const ValueDescriptor *d, int depth = 0) {
    if (depth > VALUE_DEPTH_MAX) { w.too_deep = true; return; }
    ValueDescriptor copy = *d;
    copy.capacity = 0;
    copy.data = nullptr;
    void *data = d->rank >= 0 ? value_data((ValueDescriptor *)d) : nullptr;
    i64 tag = !data ? SLOT_ITEM_NONE : is_inline_value(d) ? SLOT_ITEM_INLINE : SLOT_ITEM_DATA;
    w.i64s((const i64 *)&copy, 7);
    i64 t = tag;
    w.i64s(&t, 1);
    if (tag != SLOT_ITEM_DATA) return;
    i64 n = item_count(d);
    if (n >= 0) {
        for (i64 i = 0; i < n; i++) write_slot_item(w, &((const ValueDescriptor *)data)[i], depth + 1);
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
    w.i64s((const i64 *)parse_node_table, 7 * (lstndx + 1));
    w.word(lstfndx);
    w.i64s((const i64 *)expr_entry_table, 4 * (lstfndx + 1));
    w.word(lstbrx);
    w.i64s((const i64 *)branch_table, 6 * (lstbrx + 1));
    w.word(overflow_count);
    w.i64s(overflow_table, overflow_count + 1);
    w.word(nxtglx);
    if (nxtglx >= 0) w.i64s(shape_pool, nxtglx + 1);
    w.word(si_depth);
    if (si_depth >= 0) w.i64s((const i64 *)state_indicator, 2 * (si_depth + 1));
    w.word(lsttnam);
    if (lsttnam >= 0) w.bytes(long_name_pool, lsttnam + 1);
    w.word(symbol_table.last);
    for (i64 i = 0; i <= symbol_table.last; i++) {
        const char *s = symbol_text(i);
        w.word((i64)strlen(s) + 1);
        w.bytes(s, strlen(s) + 1);
    }
    w.word(reserved_count);
    w.i64s((const i64 *)reserved_table, 8 * reserved_count);
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
    if (dfxstack >= 0) w.i64s((const i64 *)dfxstack_table, 2 * (dfxstack + 1));
    w.word(suspension_count);
    w.i64s(suspension_record, suspension_count);
}

int save_workspace_file(const char *path) {
    Writer w;
    w.out = std::string(HEADER_RULE) + "\n*** Vek Software v0.3\n*** Workspace Format ver 6\n*** File: " + path + "\n" +
            HEADER_RULE + "\n\n";
    w.word(WORKSPACE_FORMAT_VERSION);
    w.word(WORKSPACE_FORMAT_DATE);
    write_body(w);
    // A file the reader would refuse must not replace the last good one.
    if (w.too_deep) return (int)(error_number = 300);
    FileReplacement out;
    if (!open_replacement(&out, path)) return (int)(error_number = 300);
    fwrite(w.out.data(), 1, w.out.size(), out.file);
    if (!commit_replacement(&out)) return (int)(error_number = 300);
    return 0;
}

// ---- Reading --------------------------------------------------------------------------------
struct Reader {
    const char *p, *end;
    bool failed = false;
    bool need(size_t n) {
        if (failed || (size_t)(end - p) < n) { failed = true; return false; }
        return true;
    }
    i64 word() {
        if (!need(4)) return -1;
        uint32_t u = 0;
        for (int i = 0; i < 4; i++) u |= (uint32_t)(unsigned char)p[i] << (8 * i);
        p += 4;
        return (i64)(int32_t)u;
    }
    void bytes(void *dst, size_t n) {
        if (!need(n)) return;
        copy_bytes(dst, p, n);
        p += n;
    }
    void i64s(i64 *dst, i64 n) {
        if (n < 0 || !need((size_t)n * 8)) { failed = true; return; }
        for (i64 i = 0; i < n; i++) {
            uint64_t u = 0;
            for (int b = 0; b < 8; b++) u |= (uint64_t)(unsigned char)p[b] << (8 * b);
            dst[i] = (i64)u;
            p += 8;
        }
    }
    // A count word in lo..hi; anything else marks the file damaged.
    i64 count(i64 lo, i64 hi) {
        i64 v = word();
        if (v < lo || v > hi) failed = true;
        return failed ? lo : v;
    }
};

struct SavedValue {
    ValueDescriptor d{};
    std::vector<char> bytes;
    std::vector<SavedValue> items;
    std::vector<ValueDescriptor> item_descriptors;
};

struct SavedText {
    std::string name;
    i64 reserved = 0;
    std::vector<std::pair<i64, std::string>> lists[3];
};

// Everything a file holds, checked before any of it is used.
struct WorkspaceImage {
    i64 lstnx, lstgx, lstfx, lstndx, lstfndx, lstbrx, overflow, nxtglx, sidx, lsttnam, reserved;
    std::vector<NameEntry> locals, globals;
    std::vector<i64> functions;   // 17 words each
    std::vector<i64> nodes, exprs, branches, overflow_words, shapes, si;
    std::vector<char> long_names;
    std::vector<std::string> symbols;
    std::vector<i64> reserved_words;
    SavedValue io, sysvars[5];
    i64 lstvx, lstcx, lstvxend;
    std::vector<SavedValue> globals_v, constants_v, locals_v;
    std::vector<SavedText> texts;   // one per function entry with a text
    i64 dfxstack;
    std::vector<i64> dfx, suspension;
};

static bool read_slot_item(Reader &r, SavedValue &v, const WorkspaceImage &img, int depth) {
    if (depth > VALUE_DEPTH_MAX) return r.failed = true, false;
    i64 w[8];
    r.i64s(w, 8);
    if (r.failed) return false;
    copy_bytes(&v.d, w, 56);
    v.d.data = nullptr;
    v.d.capacity = 0;
    i64 tag = w[7];
    ValueDescriptor &d = v.d;
    bool type_ok = (d.type >= 0 && d.type <= 12) || d.type == T_ENUM || d.type == T_DICT || d.type == T_TABLE;
    if (d.rank < 0) return tag == SLOT_ITEM_NONE || (r.failed = true, false);
    if (!type_ok || d.rank > VALUE_DEPTH_MAX || d.count < 0 || d.count > ((i64)1 << 40)) return r.failed = true, false;
    if (d.rank > 2 && (d.dim1 < 0 || d.dim1 > img.nxtglx)) return r.failed = true, false;
    if (tag == SLOT_ITEM_NONE) return d.count <= 0 || (r.failed = true, false);
    if (tag == SLOT_ITEM_INLINE) {
        if (!is_inline_value(&d)) return r.failed = true, false;
        d.data = &d.dim0;
        return true;
    }
    if (tag != SLOT_ITEM_DATA || d.count <= 0 || is_inline_value(&d)) return r.failed = true, false;
    i64 n = item_count(&d);
    if (n >= 0) {
        if (n > (r.end - r.p) / 64) return r.failed = true, false;
        v.items.resize(n);
        for (i64 i = 0; i < n; i++)
            if (!read_slot_item(r, v.items[i], img, depth + 1)) return false;
        return true;
    }
    i64 size = data_bytes(d.type, d.count);
    if (size < 0 || size > r.end - r.p) return r.failed = true, false;
    v.bytes.resize(size);
    r.bytes(v.bytes.data(), size);
    return !r.failed;
}

// Points the descriptors at their data once the tree no longer moves.
static void link_saved_value(SavedValue &v) {
    if (v.d.rank < 0) return;
    if (is_inline_value(&v.d)) { v.d.data = &v.d.dim0; return; }
    if (!v.items.empty()) {
        v.item_descriptors.resize(v.items.size());
        for (size_t i = 0; i < v.items.size(); i++) {
            link_saved_value(v.items[i]);
            v.item_descriptors[i] = v.items[i].d;
            fix_inline_pointer(&v.item_descriptors[i]);
        }
        v.d.data = v.item_descriptors.data();
    } else {
        v.d.data = v.bytes.empty() ? nullptr : v.bytes.data();
    }
}

static bool valid_name_entry(const NameEntry &e, i64 long_names_end) {
    if (memchr(e.name, 0, sizeof e.name) == nullptr) return false;
    if (e.continuation != -1 && (e.continuation < 0 || e.continuation > long_names_end)) return false;
    return true;
}

static bool read_function_text(Reader &r, SavedText &t) {
    // "%s %lld %lld %lld %lld " then the three lists.
    std::string fields[5];
    for (int k = 0; k < 5; k++) {
        while (r.need(1) && *r.p != ' ') {
            fields[k] += *r.p++;
            if (fields[k].size() > SAVED_NAME_MAX) return r.failed = true, false;
        }
        if (!r.need(1)) return false;
        r.p++;
    }
    t.name = fields[0];
    if (t.name.empty()) return r.failed = true, false;
    i64 counts[3];
    for (int k = 0; k < 4; k++) {
        const std::string &f = fields[k + 1];
        if (f.empty() || f.size() > 9 || f.find_first_not_of("-0123456789") != std::string::npos) return r.failed = true, false;
        i64 v = atoll(f.c_str());
        if (k == 0) t.reserved = v;
        else if (v < 0) return r.failed = true, false;
        else counts[k - 1] = v;
    }
    for (int k = 0; k < 3; k++) {
        if (counts[k] > (r.end - r.p) / 8) return r.failed = true, false;
        for (i64 i = 0; i < counts[k]; i++) {
            i64 line = r.word();
            i64 len = r.word();
            if (r.failed || len < 0 || len > TEXT_LINE_MAX || !r.need(len)) return r.failed = true, false;
            std::string s(r.p, len);
            r.p += len;
            t.lists[k].push_back({line, s.c_str()});
        }
    }
    return true;
}

static bool in_slot_ranges(i64 s, const WorkspaceImage &img) {
    return s == SLOT_IO || (s >= FIRST_GLOBAL_SLOT && s <= img.lstvx) || (s >= img.lstvxend && s < LOCALS_TOP) ||
           (s >= SLOT_OF && s <= SLOT_PP);
}

static bool parse_body(Reader &r, WorkspaceImage &img) {
    if (r.word() != ARENA_BYTES) r.failed = true;
    img.lstnx = r.count(-1, LOCAL_NAME_CAP - 1);
    img.locals.resize(img.lstnx + 1);
    r.bytes(img.locals.data(), sizeof(NameEntry) * img.locals.size());
    img.lstgx = r.count(PREDEFINED_NAMES - 1, GLOBAL_NAME_CAP - 1);
    img.globals.resize(img.lstgx + 1);
    r.bytes(img.globals.data(), sizeof(NameEntry) * img.globals.size());
    img.lstfx = r.count(FIRST_USER_FUNCTION - 1, FUNCTION_CAP - 1);
    img.functions.resize(17 * (img.lstfx + 1));
    r.i64s(img.functions.data(), (i64)img.functions.size());
    img.lstndx = r.count(-1, PARSE_NODE_CAP - 1);
    img.nodes.resize(7 * (img.lstndx + 1));
    r.i64s(img.nodes.data(), (i64)img.nodes.size());
    img.lstfndx = r.count(-1, EXPR_ENTRY_CAP - 1);
    img.exprs.resize(4 * (img.lstfndx + 1));
    r.i64s(img.exprs.data(), (i64)img.exprs.size());
    img.lstbrx = r.count(0, BRANCH_CAP - 1);
    img.branches.resize(6 * (img.lstbrx + 1));
    r.i64s(img.branches.data(), (i64)img.branches.size());
    img.overflow = r.count(0, OVERFLOW_CAP - 1);
    img.overflow_words.resize(img.overflow + 1);
    r.i64s(img.overflow_words.data(), img.overflow + 1);
    img.nxtglx = r.count(-1, SHAPE_POOL_CAP - 1);
    if (!r.failed && (img.nxtglx + 1) > (r.end - r.p) / 8) r.failed = true;
    if (r.failed) return false;
    img.shapes.resize(img.nxtglx + 1);
    r.i64s(img.shapes.data(), img.nxtglx + 1);
    img.sidx = r.count(-1, SI_CAP - 1);
    img.si.resize(2 * (img.sidx + 1));
    r.i64s(img.si.data(), (i64)img.si.size());
    img.lsttnam = r.count(-1, LONG_NAME_CAP - 1);
    img.long_names.resize(img.lsttnam + 1);
    r.bytes(img.long_names.data(), img.long_names.size());
    if (r.failed) return false;

    // Symbols: numbers must come back unchanged, so names are distinct and
    // symbol 0 is the empty one. The table grows to whatever count is saved.
    i64 u = r.count(0, (i64)1 << 26);
    if (r.failed || u + 1 > (r.end - r.p) / 5) return r.failed = true, false;
    std::set<std::string> seen;
    for (i64 i = 0; i <= u; i++) {
        i64 len = r.count(1, SYMBOL_NAME_MAX + 1);
        if (r.failed || !r.need(len) || r.p[len - 1] != 0 || memchr(r.p, 0, len - 1)) return r.failed = true, false;
        std::string s(r.p, len - 1);
        r.p += len;
        if ((i == 0) != s.empty() || !seen.insert(s).second) return r.failed = true, false;
        img.symbols.push_back(s);
    }
    img.reserved = r.count(0, RESERVED_CAP);
    if (r.failed || img.reserved * 64 > r.end - r.p) return r.failed = true, false;
    img.reserved_words.resize(8 * img.reserved);
    r.i64s(img.reserved_words.data(), 8 * img.reserved);
    if (r.word() != 0) r.failed = true;   // heap image: none in this format
    if (r.failed) return false;

    // The slot counters are needed to check references, so the value
    // sections are read first and the references checked afterwards.
    if (!read_slot_item(r, img.io, img, 0)) return false;
    if (r.word() != PREDEFINED_NAMES || r.word() != PREDEFINED_NAMES - BUILTIN_FUNCTIONS) r.failed = true;
    for (auto &v : img.sysvars)
        if (!read_slot_item(r, v, img, 0)) return false;
    img.lstvx = r.count(FIRST_GLOBAL_SLOT - 1, LOCALS_TOP - 1);
    if (r.failed) return false;
    img.globals_v.resize(img.lstvx - FIRST_GLOBAL_SLOT + 1);
    for (auto &v : img.globals_v)
        if (!read_slot_item(r, v, img, 0)) return false;
    img.lstcx = r.count(20, CONSTANT_CAP - 1);
    if (r.failed) return false;
    img.constants_v.resize(img.lstcx - 20);
    for (auto &v : img.constants_v)
        if (!read_slot_item(r, v, img, 0)) return false;
    if (r.word() != LOCALS_TOP) r.failed = true;
    i64 n = r.count(0, LOCALS_TOP - img.lstvx - 1);
    if (r.failed) return false;
    img.lstvxend = LOCALS_TOP - n;
    img.locals_v.resize(n);
    for (auto &v : img.locals_v)
        if (!read_slot_item(r, v, img, 0)) return false;
    for (i64 f = FIRST_USER_FUNCTION; f <= img.lstfx; f++) {
        if (!img.functions[17 * f + 14]) continue;
        img.texts.emplace_back();
        if (!read_function_text(r, img.texts.back())) return false;
    }
    img.dfxstack = r.count(-1, DFXSTACK_CAP - 1);
    img.dfx.resize(2 * (img.dfxstack + 1));
    r.i64s(img.dfx.data(), (i64)img.dfx.size());
    i64 m = r.count(0, SUSPENSION_WORDS);
    img.suspension.resize(m);
    r.i64s(img.suspension.data(), m);
    if (r.failed || r.p != r.end) return r.failed = true, false;

    // References between records. The rest of a long name is read up to
    // its NUL, so the pool must end with one.
    if (img.lsttnam >= 0 && img.long_names[img.lsttnam] != 0) return false;
    // A local name's index is the slot it is bound to (a label's: its line);
    // the session reads that slot when the name is used while suspended.
    for (auto &e : img.locals) {
        if (!valid_name_entry(e, img.lsttnam)) return false;
        i64 limit = e.kind == 'L' ? (i64)FUNCTION_LINE_LIMIT : (i64)SLOT_COUNT;
        if (e.index < -1 || e.index >= limit) return false;
    }
    for (i64 g = 0; g <= img.lstgx; g++) {
        const NameEntry &e = img.globals[g];
        if (!valid_name_entry(e, img.lsttnam)) return false;
        if (e.kind == 'V' && !in_slot_ranges(e.index, img)) return false;
        if (e.kind == 'F' && !((e.index >= 0 && e.index < BUILTIN_FUNCTIONS) ||
                               (e.index >= FIRST_USER_FUNCTION && e.index <= img.lstfx)))
            return false;
        if (e.kind != 0 && e.kind != 'V' && e.kind != 'F') return false;
        // The system variables and built-in functions are the program's own:
        // a clear keeps them, so a file must not rename or rebind them.
        const NameEntry &own = global_name_table[g];
        if (g < PREDEFINED_NAMES && (strcmp(e.name, own.name) != 0 || e.kind != own.kind ||
                                     e.index != own.index || e.continuation != own.continuation))
            return false;
    }
    for (i64 f = FIRST_USER_FUNCTION; f <= img.lstfx; f++) {
        const i64 *w = &img.functions[17 * f];
        if (w[13] < -1 || w[13] > img.lstgx) return false;
        // The argument names a call binds: valence, first right name and
        // the count of names a header "f(a;b;c)" gives.
        if (w[14] && (w[0] < 0 || w[0] > 2 || w[4] < 0 || w[4] > LOCAL_NAME_CAP || w[3] > LOCAL_NAME_CAP - w[4]))
            return false;
        if (w[14] && ((w[0] >= 1 && w[3] < 0) || (w[0] == 2 && w[2] < 0))) return false;
        // A call's names are reclaimed after the statement while the record
        // keeps its ranges until the next compilation, so a range may lie
        // past lstnx; only the table's bounds matter here.
        for (int k : {1, 2, 3, 5, 6, 7, 8})
            if (w[k] < -1 || w[k] >= LOCAL_NAME_CAP) return false;
    }
    for (i64 i = 0; i <= img.sidx; i++) {
        i64 f = img.si[2 * i];
        if (f != -1 && !(f >= FIRST_USER_FUNCTION && f <= img.lstfx && img.functions[17 * f + 14])) return false;
    }
    for (i64 i = 0; i <= img.dfxstack; i++) {
        i64 name = img.dfx[2 * i], slot = img.dfx[2 * i + 1];
        if (name < -1 || name > img.lstnx || slot < -1 || slot >= SLOT_COUNT) return false;
    }
    return true;
}

// Header: the rule lines and the version words. 0 or the error number.
static int parse_header(Reader &r) {
    if (r.end - r.p >= 5 && memcmp(r.p, "MyVeK", 5) == 0) return 302;
    if (r.end - r.p < 2 || memcmp(r.p, "**", 2) != 0) return 302;
    // Past the opening rule, lines up to the closing rule, then the empty line.
    auto next_line = [&r](const char **start) {
        const char *nl = (const char *)memchr(r.p, '\n', r.end - r.p);
        if (!nl) return false;
        *start = r.p;
        r.p = nl + 1;
        return true;
    };
    const char *line;
    if (!next_line(&line)) return 301;
    for (;;) {
        if (!next_line(&line)) return 301;
        if (r.p - line > 5 && memcmp(line, "*****", 5) == 0) break;
    }
    if (!next_line(&line)) return 301;
    i64 version = r.word(), date = r.word();
    if (r.failed) return 301;
    if (version < 0) return 302;
    if (version != WORKSPACE_FORMAT_VERSION) {
        vek_printf("Error: workspace version (%lld %lld), current (%lld %lld)", (long long)version, (long long)date,
                   (long long)WORKSPACE_FORMAT_VERSION, (long long)WORKSPACE_FORMAT_DATE);
        return 36;
    }
    return 0;
}

static TextLine *build_line_list(const std::vector<std::pair<i64, std::string>> &lines) {
    TextLine *head = new_text_line(), *t = head;
    for (auto &l : lines) {
        t = append_text_line(t, l.second.c_str());
        t->line = l.first;
    }
    return head;
}

static void install_value(ValueDescriptor *target, SavedValue &v, bool constant) {
    if (v.d.rank < 0) {
        *target = ValueDescriptor{};
        target->type = v.d.type;
        target->rank = -1;
        return;
    }
    link_saved_value(v);
    if (constant) {
        *target = ValueDescriptor{};
        copy_value_checked(target, &v.d, 1);
    } else {
        assign_to_slot(target - value_slot_table, &v.d);
    }
}

static void install_image(WorkspaceImage &img) {
    clear_workspace(1);
    copy_bytes(local_name_table, img.locals.data(), sizeof(NameEntry) * img.locals.size());
    lstnx = img.lstnx;
    copy_bytes(global_name_table, img.globals.data(), sizeof(NameEntry) * img.globals.size());
    lstgx = img.lstgx;
    size_t text_index = 0;
    std::vector<FunctionText *> texts(img.lstfx + 1, nullptr);
    for (i64 f = FIRST_USER_FUNCTION; f <= img.lstfx; f++) {
        if (!img.functions[17 * f + 14]) continue;
        SavedText &st = img.texts[text_index++];
        FunctionText *ft = (FunctionText *)checked_calloc(1, sizeof(FunctionText));
        init_function_text(ft, st.name.c_str());
        ft->reserved = st.reserved;
        TextLine **lists[3] = {&ft->typed, &ft->fresh, &ft->work};
        for (int k = 0; k < 3; k++) {
            if (*lists[k]) free_text_lines(*lists[k]);
            *lists[k] = build_line_list(st.lists[k]);
        }
        ft->cursor = ft->typed;
        while (ft->cursor->next) ft->cursor = ft->cursor->next;
        ft->typed_count = (i64)st.lists[0].size();
        ft->fresh_count = (i64)st.lists[1].size();
        ft->work_count = (i64)st.lists[2].size();
        texts[f] = ft;
    }
    for (i64 f = FIRST_USER_FUNCTION; f <= img.lstfx; f++) {
        copy_bytes(&function_table[f], &img.functions[17 * f], sizeof(FunctionEntry));
        function_table[f].compiled = 0;
        function_table[f].text = texts[f];
        function_table[f].line_counts = nullptr;
        function_table[f].line_lists = nullptr;
    }
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
    copy_bytes(state_indicator, img.si.data(), img.si.size() * 8);
    si_depth = img.sidx;
    copy_bytes(long_name_pool, img.long_names.data(), img.long_names.size());
    lsttnam = img.lsttnam;
    for (size_t i = 1; i < img.symbols.size(); i++) intern_symbol(img.symbols[i].c_str());
    copy_bytes(reserved_table, img.reserved_words.data(), img.reserved_words.size() * 8);
    reserved_count = img.reserved;

    install_value(&value_slot_table[SLOT_IO], img.io, false);
    for (int k = 0; k < 5; k++) install_value(&value_slot_table[SLOT_OF + k], img.sysvars[k], false);
    lstvx = img.lstvx;
    for (size_t i = 0; i < img.globals_v.size(); i++)
        install_value(&value_slot_table[FIRST_GLOBAL_SLOT + i], img.globals_v[i], false);
    lstcx = img.lstcx;
    for (size_t i = 0; i < img.constants_v.size(); i++) install_value(&constants_table[21 + i], img.constants_v[i], true);
    lstvxend = img.lstvxend;
    for (size_t i = 0; i < img.locals_v.size(); i++)
        install_value(&value_slot_table[img.lstvxend + i], img.locals_v[i], false);
    copy_bytes(dfxstack_table, img.dfx.data(), img.dfx.size() * 8);
    dfxstack = img.dfxstack;
    copy_bytes(suspension_record, img.suspension.data(), img.suspension.size() * 8);
    suspension_count = (i64)img.suspension.size();
    reset_stack();
    error_number = 0;
}

int load_workspace_file(const char *path) {
    FILE *f = fopen(path, "rb");
    if (!f) return (int)(error_number = 500);
    std::vector<char> data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    bool read_error = ferror(f);
    fclose(f);
    if (read_error) return (int)(error_number = 301);
    Reader r{data.data(), data.data() + data.size()};
    if (int rc = parse_header(r)) return (int)(error_number = rc);
    WorkspaceImage *img = new WorkspaceImage();
    bool ok = parse_body(r, *img) && !r.failed;
    if (ok) install_image(*img);
    delete img;
    return ok ? 0 : (int)(error_number = 301);
}
