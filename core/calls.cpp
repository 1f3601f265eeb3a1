// The defined-function runtime. A call pushes a state-indicator entry and a
// frame on dfxstack_table, binds the body's free names to their newest
// binding and gives the header's names fresh local slots below lstvxend,
// runs the compiled lines under their branch entries, hands the result over
// and unbinds. A failure leaves every active call suspended with its frame.
//
// Frame layout on dfxstack_table: a marker (name -1, slot = the state-
// indicator position of the call that pushed it), then one entry per header
// name with its own local slot (consecutive slots counting down), then one
// entry per free body name with the binding it got. Frames own consecutive
// blocks of local slots, the oldest frame the highest, and a frame's own run
// ends at the first entry that does not continue the count; bind_frame keeps
// one unused slot below every frame so that no binding can continue it. So
// the table alone says which entry owns a frame and which slots it holds:
// "->", )SIC and a clear pop exactly what was pushed, also after a workspace
// was saved and loaded with suspended calls.
#include "errors.h"
#include "calls.h"
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "compiler.h"
#include "control.h"
#include "evaluator.h"
#include "functions.h"
#include "lexer.h"
#include "names.h"
#include "runstate.h"
#include "valueops.h"
#include "arena.h"
#include "interrupt.h"
#include "lines.h"
#include "textlines.h"

i64 call_nesting = 0;
i64 suspension_record[SUSPENSION_WORDS];
i64 suspension_count = 0;
static bool suspension_taken = false;


void mark_suspension_record_empty() { suspension_taken = false; }

// ---- Per-line statement lists -----------------------------------------------------

void free_function_lines(i64 row)
{
    FunctionEntry *f = &function_table[row];
    if (f->line_lists) {
        i64 n = f->line_counts ? f->line_counts[0] : 0;
        for (i64 i = 0; i <= n; i++) {
            StatementNode *s = f->line_lists[i];
            while (s) {
                StatementNode *next = s->next;
                free_lean_program(s);
                free(s);
                s = next;
            }
        }
    }
    free(f->line_lists);
    free(f->line_counts);
    f->line_lists = nullptr;
    f->line_counts = nullptr;
}

// line_counts[0] holds the number of lines; line_counts[i] the statements of line i.
static void alloc_function_lines(i64 row, i64 n)
{
    FunctionEntry *f = &function_table[row];
    f->line_counts = (i64 *)checked_calloc(n + 1, sizeof(i64));
    f->line_lists = (StatementNode **)checked_calloc(n + 1, sizeof(StatementNode *));
    f->line_counts[0] = n;
}

static int append_statement(i64 row, i64 line, i64 root, i64 start, i64 branch, i64 offset)
{
    FunctionEntry *f = &function_table[row];
    if (!f->line_lists || line < 1 || line > f->line_counts[0]) return (int)(error_number = VEK_DOMAIN);
    StatementNode *s = (StatementNode *)checked_calloc(1, sizeof(StatementNode));
    s->root = root;
    s->start = start;
    s->branch = branch;
    s->offset = offset;
    StatementNode **tail = &f->line_lists[line];
    while (*tail) tail = &(*tail)->next;
    *tail = s;
    f->line_counts[line]++;
    return 0;
}

int append_function_line_node(i64 row, i64 line, i64 root, i64 start, i64 branch)
{
    return append_statement(row, line, root, start, branch, 0);
}

// ---- Compiled-form cache ---------------------------------------------------------------
// A function is compiled afresh when its text, the set of global functions
// (names, valences, results) or the index origin changed since its last
// compilation; otherwise the compiled lines are reused. This keeps repeated
// calls from later statements from filling the node, name and constant
// tables, and spares the translation on every statement.

struct CompiledForm {
    bool valid;
    uint64_t text_hash, env_hash;
    i64 io_value;
    i64 words[8];       // header/body ranges, nodes, result, valence
    i64 ends[5];        // lstnx, lstndx, lstfndx, lstbrx, lstcx after compiling
    std::vector<i64> local_nodes;   // variable nodes that name a local entry
    std::vector<i64> global_of;     // per body name: the global entry it was last bound to
};
static CompiledForm compiled_forms[FUNCTION_CAP];

// The local-name counters before the first compilation since the compiled
// forms were last given up (-2: none since).
static i64 compile_name_mark = -2, compile_pool_mark = -1;

static void forget_compiled_forms()
{
    for (CompiledForm &c : compiled_forms) c.valid = false;
}

// Compile names that suspended calls still had bound when their line ended:
// the entries above held_names_from up to held_names_to (-1: none). They go
// once those calls are gone, unless names were made above them since.
static i64 held_names_from = -1, held_names_to = -1;

static i64 newest_bound_name(i64 floor)
{
    for (i64 i = 0; i <= dfxstack && i < DFXSTACK_CAP; i++)
        if (dfxstack_table[i].name > floor) floor = dfxstack_table[i].name;
    return floor;
}

static void drop_local_names_above(i64 floor)
{
    for (i64 i = floor + 1; i <= lstnx && i < LOCAL_NAME_CAP; i++) {
        memset(&local_name_table[i], 0, sizeof(NameEntry));
        local_name_table[i].index = local_name_table[i].continuation = -1;
    }
    if (lstnx > floor) lstnx = floor;
}

// Called when frames were popped, between lines: without this a session
// that leaves a failing call suspended and clears it again and again fills
// the local name table.
static void release_held_names()
{
    if (held_names_to < 0 || lstnx != held_names_to || compile_name_mark != -2) return;
    i64 floor = newest_bound_name(held_names_from);
    drop_local_names_above(floor);
    if (floor > held_names_from) held_names_to = floor;
    else held_names_from = held_names_to = -1;
}

// The names a compilation made (labels, header and body names) are made
// again by the next one, so once the compiled forms are given up they are
// reclaimed, down to the newest name a suspended call still has bound.
static void reclaim_compile_names()
{
    if (compile_name_mark == -2) return;
    i64 floor = newest_bound_name(compile_name_mark);
    i64 pool_floor = compile_pool_mark;
    for (i64 g = 0; g <= lstgx && g < GLOBAL_NAME_CAP; g++)
        if (global_name_table[g].continuation > pool_floor) pool_floor = LONG_NAME_CAP;
    for (i64 i = 0; i <= floor && i < LOCAL_NAME_CAP; i++)
        if (local_name_table[i].continuation > pool_floor) pool_floor = LONG_NAME_CAP;
    drop_local_names_above(floor);
    if (pool_floor < LONG_NAME_CAP && lsttnam > pool_floor) {
        memset(long_name_pool + pool_floor + 1, 0, (size_t)(lsttnam - pool_floor));
        lsttnam = pool_floor;
    }
    if (floor > compile_name_mark) {
        // a range held before, right below, is held on together with this one
        if (held_names_to < 0 || held_names_to != compile_name_mark) held_names_from = compile_name_mark;
        held_names_to = floor;
    }
    compile_name_mark = -2;
}

bool compiled_forms_above(i64 nodes, i64 entries, i64 branches, i64 constants)
{
    for (const CompiledForm &c : compiled_forms)
        if (c.valid && (c.ends[1] > nodes || c.ends[2] > entries || c.ends[3] > branches || c.ends[4] > constants))
            return true;
    return false;
}

void invalidate_compiled_functions()
{
    forget_compiled_forms();
    if (call_nesting == 0) reclaim_compile_names();
}

static uint64_t hash_bytes(uint64_t h, const void *p, size_t n)
{
    const unsigned char *b = (const unsigned char *)p;
    for (size_t i = 0; i < n; i++) h = (h ^ b[i]) * 1099511628211ull;
    return h;
}

static uint64_t text_hash(const FunctionText *ft)
{
    uint64_t h = 14695981039346656037ull;
    const TextLine *t = ft->typed ? ft->typed->next : nullptr;
    for (i64 i = 0; i < ft->typed_count && t; i++, t = t->next) {
        if (t->text) h = hash_bytes(h, t->text, strlen(t->text));
        h = hash_bytes(h, "\n", 1);
    }
    return hash_bytes(h, &ft->typed_count, sizeof ft->typed_count);
}

static uint64_t environment_hash()
{
    uint64_t h = 14695981039346656037ull;
    for (i64 g = 0; g <= lstgx && g < GLOBAL_NAME_CAP; g++) {
        const NameEntry *e = &global_name_table[g];
        if (e->kind != 'F') continue;
        i64 f = e->index;
        i64 words[4] = {g, f, -1, -1};
        if (f >= 0 && f < FUNCTION_CAP) {
            words[2] = function_table[f].valence;
            words[3] = function_table[f].result >= 0 ? 1 : function_table[f].result;
        }
        h = hash_bytes(h, words, sizeof words);
    }
    return h;
}

static i64 io_value_of(i64 io_slot)
{
    const ValueDescriptor *d = &value_slot_table[io_slot];
    if ((d->type == T_INT || d->type == T_BOOL) && is_inline_value(d)) return d->dim0;
    return -1;
}

static void record_words(const FunctionEntry *f, i64 *w)
{
    w[0] = f->header_start; w[1] = f->header_end;
    w[2] = f->body_start;   w[3] = f->body_end;
    w[4] = f->first_node;   w[5] = f->last_node;
    w[6] = f->result;       w[7] = f->valence;
}

static bool compiled_form_current(i64 row, i64 io_slot)
{
    const CompiledForm &c = compiled_forms[row];
    const FunctionEntry *f = &function_table[row];
    if (!c.valid || !f->line_lists || !f->text) return false;
    i64 w[8];
    record_words(f, w);
    if (memcmp(w, c.words, sizeof w) != 0) return false;
    if (lstnx < c.ends[0] || lstndx < c.ends[1] || lstfndx < c.ends[2] || lstbrx < c.ends[3] ||
        lstcx < c.ends[4])
        return false;
    return c.io_value == io_value_of(io_slot) && c.text_hash == text_hash(f->text) &&
           c.env_hash == environment_hash();
}

static void remember_compiled_form(i64 row, i64 io_slot)
{
    CompiledForm &c = compiled_forms[row];
    const FunctionEntry *f = &function_table[row];
    record_words(f, c.words);
    c.ends[0] = lstnx; c.ends[1] = lstndx; c.ends[2] = lstfndx;
    c.ends[3] = lstbrx; c.ends[4] = lstcx;
    c.io_value = io_value_of(io_slot);
    c.text_hash = text_hash(f->text);
    c.env_hash = environment_hash();
    c.local_nodes.clear();
    for (i64 n = f->first_node; n >= 0 && n <= f->last_node && n < PARSE_NODE_CAP; n++) {
        const ParseNode *p = &parse_node_table[n];
        if (p->kind == 'V' && p->local >= 0 && p->local < LOCAL_NAME_CAP) c.local_nodes.push_back(n);
    }
    c.global_of.assign(f->body_end > f->body_start ? f->body_end - f->body_start : 0, -1);
    c.valid = true;
}

// ---- Compilation ---------------------------------------------------------------------------

static int compile_failure(i64 level, i64 row, i64 line, int rc)
{
    if (level >= 0 && level < SI_CAP) state_indicator[level] = {row, line};
    if (error_position < 0) error_position = 0;
    return (int)(error_number = rc);
}

// Compiles the statements of one work line into line `line` of row.
static int compile_line(i64 row, i64 line, const char *text, i64 io_slot)
{
    i64 len = (i64)strlen(text);
    i64 pos = 0;
    while (pos < len) {
        CompiledStatement cs = {-1, -1, -1};
        error_number = 0;
        int rc = compile_statement(text + pos, len - pos, row, line, 0, io_slot, &cs);
        if (rc || error_number) {
            if (error_position < 0) error_position = pos + get_error_position();
            return rc ? rc : (int)error_number;
        }
        if (cs.root >= 0 || cs.branch >= 0)
            append_statement(row, line, cs.root, cs.start, cs.branch, pos);
        i64 used = get_scan_position();
        pos += (used > 0 ? used : 0) + 1;
    }
    return 0;
}

int compile_function(i64 row, i64 k, i64 io_slot)
{
    i64 level = si_depth + k + 1;
    FunctionEntry *f = &function_table[row];
    FunctionText *ft = f->text;
    error_position = -1;
    compiled_forms[row].valid = false;
    if (compile_name_mark == -2) {
        compile_name_mark = lstnx;
        compile_pool_mark = lsttnam;
    }
    free_function_lines(row);
    i64 g = f->global_name;
    if (g < 0 || g > lstgx || global_name_table[g].kind != 'F' || global_name_table[g].index != row)
        return compile_failure(level, row, 0, 80);
    if (!ft) return compile_failure(level, row, 0, 81);
    if (rebuild_fresh_lines(ft)) return compile_failure(level, row, 0, 23);
    i64 failing = 0;
    if (translate_control_structures(ft, &failing)) {
        const TextLine *t = text_line_at(ft->fresh, failing);
        error_position = 0;
        return compile_failure(level, row, t ? t->line : 0, 26);
    }
    i64 n = ft->work_count - 1;
    if (n < 0) return compile_failure(level, row, 0, 81);
    alloc_function_lines(row, n);
    f->body_start = lstnx;
    if (collect_function_labels(ft->work->next, ft->work_count))
        return compile_failure(level, row, 0, (int)error_number);
    const char *header = work_line_text(ft, 0);
    char name[NAME_MAX + 1];
    snprintf(name, sizeof name, "%s", name_text_by_index(g, 'G'));
    int rc = parse_function_header(name, row, header, (i64)strlen(header));
    if (rc) return compile_failure(level, row, 0, rc);
    f->first_branch = lstbrx + 1;
    f->first_node = lstndx + 1;
    std::string joined;
    for (i64 line = 1; line <= n; line++) {
        joined += work_line_text(ft, line);
        if (line < n && has_open_parenthesis(joined.c_str())) continue;
        rc = compile_line(row, line, joined.c_str(), io_slot);
        joined.clear();
        if (rc) {
            f->last_node = lstndx;
            f->body_end = lstnx;
            return compile_failure(level, row, line, rc);
        }
    }
    f->last_node = lstndx;
    f->body_end = lstnx;
    remember_compiled_form(row, io_slot);
    return 0;
}

// ---- Binding ----------------------------------------------------------------------------------

// Points every variable node of the compiled body at the slot its name is
// bound to now.
static void rebind_nodes(i64 row)
{
    for (i64 n : compiled_forms[row].local_nodes) {
        ParseNode *p = &parse_node_table[n];
        const NameEntry *e = &local_name_table[p->local];
        if (e->kind == 'V' && e->index >= 0) p->index = e->index;
    }
}

static bool is_header_name(const FunctionEntry *f, i64 i)
{
    return f->header_end >= 0 && i > f->header_start && i <= f->header_end;
}

static void mark_undefined(i64 slot)
{
    release_slot(slot);
    value_slot_table[slot].rank = -1;
}

// The position of the newest frame marker, or -1.
static i64 top_frame_marker()
{
    for (i64 i = dfxstack; i >= 0; i--)
        if (dfxstack_table[i].name < 0) return i;
    return -1;
}

// Restores the bindings of the frame now on top and rebinds its function.
static void restore_top_frame()
{
    i64 m = top_frame_marker();
    if (m < 0) return;
    for (i64 i = m + 1; i <= dfxstack; i++) {
        i64 n = dfxstack_table[i].name;
        if (n >= 0 && n < LOCAL_NAME_CAP) local_name_table[n].index = dfxstack_table[i].slot;
    }
    i64 level = dfxstack_table[m].slot;
    i64 row = level < SI_CAP ? state_indicator[level].function : -1;
    // Nodes of a form given up may belong to other statements by now; the
    // next call of that function compiles and binds afresh anyway.
    if (row >= FIRST_USER_FUNCTION && row <= lstfx && compiled_forms[row].valid) rebind_nodes(row);
}

// The number of local slots the frame at marker m owns, its slots counting
// down from hi - 1.
static i64 own_slot_count(i64 m, i64 hi)
{
    i64 n = 0;
    for (i64 i = m + 1; i <= dfxstack && dfxstack_table[i].name >= 0; i++, n++)
        if (dfxstack_table[i].slot != hi - 1 - n) break;
    return n;
}

// The marker of the top frame and the count of its own slots, found by
// walking the frames from the oldest, whose slots start below LOCALS_TOP.
static i64 top_frame(i64 *own)
{
    i64 hi = LOCALS_TOP, m = -1;
    *own = 0;
    for (i64 i = 0; i <= dfxstack; i++) {
        if (dfxstack_table[i].name >= 0) continue;
        m = i;
        *own = own_slot_count(i, hi);
        hi -= *own;
    }
    return m;
}

// Pops the frame on top: releases its local slots, gives them back to
// lstvxend and restores the frame below.
static void pop_top_frame()
{
    i64 own;
    i64 m = top_frame(&own);
    if (m < 0) { dfxstack = -1; return; }
    for (i64 i = m + own; i > m; i--) {
        i64 slot = dfxstack_table[i].slot;
        if (slot == lstvxend && slot < LOCALS_TOP) {
            mark_undefined(slot);
            lstvxend++;
        }
    }
    dfxstack = m - 1;
    restore_top_frame();
}

// The global entry of a free body name (made when missing). The entry found
// last time is checked first: global names are never moved, only reset.
static i64 global_entry_of(i64 row, i64 k, const char *name)
{
    std::vector<i64> &cache = compiled_forms[row].global_of;
    if (k >= 0 && k < (i64)cache.size()) {
        i64 g = cache[k];
        if (g >= 0 && g <= lstgx && name_entry_equals(&global_name_table[g], name)) return g;
    }
    i64 g = lookup_name(name, 'G');
    if (g < 0) g = add_name_entry(name, 'G');
    if (g >= 0 && k >= 0 && k < (i64)cache.size()) cache[k] = g;
    return g;
}

// Binds function row's names for a call at state-indicator position level.
static int bind_frame(i64 row, i64 level, i64 *io_slot)
{
    FunctionEntry *f = &function_table[row];
    i64 header_count = f->header_end >= 0 ? f->header_end - f->header_start : 0;
    i64 body_count = f->body_end > f->body_start ? f->body_end - f->body_start : 0;
    if (dfxstack + 1 + body_count + header_count >= DFXSTACK_CAP) return (int)(error_number = VEK_TABLE_FULL);
    // One slot stays unused below the new frame (see the frame layout).
    if (lstvxend - header_count - 1 <= lstvx) return (int)(error_number = VEK_TABLE_FULL);
    dfxstack_table[++dfxstack] = {-1, level};
    for (i64 i = f->header_end; header_count > 0 && i > f->header_start; i--) {
        i64 slot = --lstvxend;
        mark_undefined(slot);
        local_name_table[i].index = slot;
        dfxstack_table[++dfxstack] = {i, slot};
    }
    for (i64 i = f->body_start + 1; i <= f->body_end; i++) {
        NameEntry *e = &local_name_table[i];
        if (e->kind != 'V' || is_header_name(f, i)) continue;
        char name[NAME_MAX + 1];
        name_entry_text(e, name);
        i64 slot;
        i64 d = lookup_name(name, 'D');
        if (d >= 0) {
            slot = dfxstack_table[d].slot;
        } else {
            i64 gx = global_entry_of(row, i - f->body_start - 1, name);
            if (gx < 0) { pop_top_frame(); return (int)(error_number ? error_number : 84); }
            if (global_name_table[gx].kind != 'V') { pop_top_frame(); return (int)(error_number = VEK_VAR_IS_FUNCTION); }
            slot = global_name_table[gx].index;
        }
        e->index = slot;
        dfxstack_table[++dfxstack] = {i, slot};
    }
    rebind_nodes(row);
    i64 io = lookup_name("[]IO", 'D');
    *io_slot = io >= 0 ? dfxstack_table[io].slot : SLOT_IO;
    return 0;
}

void pop_frames_above(i64 new_depth)
{
    if (new_depth < -1) new_depth = -1;
    for (;;) {
        i64 m = top_frame_marker();
        if (m < 0 || dfxstack_table[m].slot <= new_depth) break;
        pop_top_frame();
    }
    if (top_frame_marker() < 0) dfxstack = -1;
    for (i64 i = new_depth + 1; i <= si_depth && i < SI_CAP; i++) state_indicator[i] = {-1, -1};
    si_depth = new_depth < si_depth ? new_depth : si_depth;
    if (call_nesting == 0) release_held_names();
}

// An immediate entry with no function entry right above it is a session
// line that failed by itself: it holds nothing but its line in )SI. Such
// entries are dropped, oldest first, only when the state indicator has no
// room left; the entries above move down one place, and the frames that
// record their positions move with them. Entries of a line that is running
// are never bare. A run nested in a statement keeps the positions as they
// are, since its caller restores the depth it saw.
bool make_state_indicator_room()
{
    if (!state_indicator_may_shift()) return false;
    i64 top = si_depth < SI_CAP ? si_depth : SI_CAP - 1;
    for (i64 i = 0; i <= top; i++) {
        if (state_indicator[i].function != -1) continue;
        if (i < top && state_indicator[i + 1].function >= 0) continue;
        memmove(&state_indicator[i], &state_indicator[i + 1], (size_t)(SI_CAP - 1 - i) * sizeof(SIEntry));
        state_indicator[SI_CAP - 1] = {-1, -1};
        si_depth--;
        for (i64 m = 0; m <= dfxstack && m < DFXSTACK_CAP; m++)
            if (dfxstack_table[m].name < 0 && dfxstack_table[m].slot > i) dfxstack_table[m].slot--;
        return true;
    }
    return false;
}

i64 innermost_user_frame()
{
    i64 k = si_depth < SI_CAP ? si_depth : SI_CAP - 1;
    while (k >= 0 && is_query_function(state_indicator[k].function)) k--;
    return k;
}

void clear_state_indicator()
{
    pop_frames_above(-1);
    // Anything left below the frames (a damaged stack) goes too.
    for (i64 s = lstvxend > lstvx ? lstvxend : lstvx + 1; s < LOCALS_TOP; s++) mark_undefined(s);
    lstvxend = LOCALS_TOP;
    dfxstack = -1;
    si_depth = -1;
    call_nesting = 0;
}

// A workspace clear drops every user function: their compiled lines and
// texts are freed here, before the clear resets the function entries.
static void free_user_functions()
{
    for (i64 f = FIRST_USER_FUNCTION; f <= lstfx && f < FUNCTION_CAP; f++) {
        free_function_lines(f);
        free_function_text(function_table[f].text);
        function_table[f].text = nullptr;
    }
}

void reset_state_indicator()
{
    clear_state_indicator();
    free_user_functions();
    suspension_count = 0;
    suspension_taken = false;
    executed_value_state = 0;
    invalidate_compiled_functions();
    held_names_from = held_names_to = -1;   // the clear empties the table
}

// ---- Trace of executed lines ----------------------------------------------------------------

void fill_suspension_record(i64 row, i64 line, const LineTrace *t)
{
    if (suspension_taken) return;
    suspension_taken = true;
    suspension_record[0] = row;
    suspension_record[1] = line;
    suspension_record[2] = t ? t->executed : 0;
    i64 kept = t ? (t->executed < TRACE_RING - 1 ? t->executed : TRACE_RING - 1) : 0;
    for (i64 i = 0; i < kept; i++)
        suspension_record[3 + i] = t->ring[(t->executed - kept + i) % TRACE_RING];
    suspension_count = 3 + kept;
}


// ---- Calls -------------------------------------------------------------------------------------

// Copies the right argument into its one name, or item by item into the
// names of a header "f(a;b;c)".
static int bind_right_argument(const FunctionEntry *f, i64 rc, i64 rv)
{
    i64 first = f->right_arg;
    if (f->right_count <= 1) return copy_value_to_slot(local_name_table[first].index, rc, rv);
    const ValueDescriptor *d = operand_ref(rc, rv);
    if (!d || d->rank < 0) return (int)(error_number = VEK_VALUE);
    if (d->rank != 1 || d->count != f->right_count) return (int)(error_number = VEK_LENGTH);
    for (i64 i = 0; i < f->right_count; i++) {
        ValueDescriptor item;
        memset(&item, 0, sizeof item);
        if (fetch_element(&item, d, i, 1)) return (int)error_number;
        int r = assign_to_slot(local_name_table[first + i].index, &item);
        free_value(&item);
        if (r) return r;
    }
    return 0;
}

static int run_defined_function(i64 row, i64 lc, i64 lv, i64 rc, i64 rv, i64 result_slot, i64 temps)
{
    if (row < FIRST_USER_FUNCTION || row > lstfx || row >= FUNCTION_CAP)
        return (int)(error_number = VEK_GET_FUNCTION);
    i64 k = call_nesting + 1;
    if (call_level(k) >= SI_CAP && !make_state_indicator_room()) return (int)(error_number = VEK_TABLE_FULL);
    i64 level = call_level(k);
    FunctionEntry *f = &function_table[row];
    state_indicator[level] = {row, 0};
    i64 saved_pending = pending_si_entries;
    pending_si_entries = k + 1;
    call_nesting = k;
    auto failed = [&](int r) {
        call_nesting = k - 1;
        return r ? r : (int)(error_number ? error_number : 1);
    };
    i64 caller_io = lookup_name("[]IO", 'D');
    caller_io = caller_io >= 0 ? dfxstack_table[caller_io].slot : SLOT_IO;
    // Compiled nodes are reclaimed with the line that compiled them (the
    // forms are then given up), so a valid form is the only proof they exist.
    bool usable = compiled_forms[row].valid && f->line_lists &&
                  (f->compiled || compiled_form_current(row, caller_io));
    if (!usable) {
        int r = compile_function(row, k, caller_io);
        if (r) {
            fill_suspension_record(row, state_indicator[level].line, nullptr);
            return failed(r);
        }
        f = &function_table[row];
    }
    f->compiled = 1;
    i64 io_slot = SLOT_IO;
    error_number = 0;
    if (bind_frame(row, level, &io_slot)) {
        fill_suspension_record(row, 0, nullptr);
        return failed((int)error_number);
    }
    int r = 0;
    if (f->valence >= 1 && f->right_arg >= 0 && (rc >= 0 || rv >= 0))
        r = bind_right_argument(f, rc, rv);
    if (!r && f->valence == 2 && f->left_arg >= 0 && (lc >= 0 || lv >= 0))
        r = copy_value_to_slot(local_name_table[f->left_arg].index, lc, lv);
    if (r) {
        fill_suspension_record(row, 0, nullptr);
        return failed(r);
    }
    r = run_function_lines(row, k, io_slot, temps);
    if (r) return failed(r);
    level = call_level(k);
    if (f->result >= 0) {
        i64 slot = local_name_table[f->result].index;
        if (slot < 0 || value_slot_table[slot].rank < 0) {
            error_number = VEK_RESULT_REQUIRED;
            if (error_position < 0) error_position = 0;
            fill_suspension_record(row, state_indicator[level].line, nullptr);
            return failed(47);
        }
        if (result_slot >= 0 && copy_value_to_slot(result_slot, -1, slot)) return failed(0);
    } else if (result_slot >= 0 && result_slot < SLOT_COUNT) {
        mark_undefined(result_slot);   // no value: the caller sees rank -1
    }
    pop_top_frame();
    call_nesting = k - 1;
    pending_si_entries = saved_pending;
    error_number = 0;
    return 0;
}

// Text run by execute resolves its names by the bindings in force; a
// function it calls is compiled, and runs, by the rules of its own body.
int call_defined_function(i64 row, i64 lc, i64 lv, i64 rc, i64 rv, i64 result_slot, i64 temps)
{
    int saved = execute_flag;
    execute_flag = 0;
    int r = run_defined_function(row, lc, lv, rc, rv, result_slot, temps);
    execute_flag = saved;
    return r;
}
