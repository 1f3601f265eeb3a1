// The evaluator: the tree walk over parse nodes and application entries,
// the prim_code dispatch, assignment, list and index frames, evaluator
// temporaries, the display decision, and the runners that compile a text
// statement by statement (immediate lines, executed text).
#include "errors.h"
#include "evaluator.h"
#include "platform/platform.h"
#include "valueops.h"
#include "display.h"
#include "arena.h"
#include "interrupt.h"
#include "tables.h"
#include "runstate.h"
#include "compiler.h"
#include "calls.h"
#include "names.h"
#include "dispatch.h"
#include "output.h"
#include <cstring>
#include <vector>

i64 executed_value_state = 0;
i64 eval_temp_counter = 17;
i64 current_root_node = -1;
i64 current_io_slot = 1;

enum : i64 {
    WALK_DEPTH_MAX = 128,      // nesting of pending applications
    FRAME_OPERANDS_MAX = 4096, // operands of one list or index frame
    IO_SLOT = 1,
    RL_SLOT = 23463,
    PP_SLOT = 23464,
};

static int statement_depth = 0;    // run_statement calls now active
i64 temporaries_high = 17;         // highest temporary taken in this statement


// ---- Temporaries ----------------------------------------------------------------

int take_temporary(i64 *counter, i64 *slot) {
    i64 next = *counter < FIRST_TEMP_SLOT ? FIRST_TEMP_SLOT : *counter + 1;
    if (next > LAST_TEMP_SLOT) return fail(VEK_DOMAIN);
    *counter = next;
    if (next > temporaries_high) temporaries_high = next;
    ValueDescriptor *d = &value_slot_table[next];
    // A large block left by an earlier line of a function body is given up;
    // stack data of earlier statements is simply forgotten.
    if (d->capacity > 0 && d->data && !in_arena(d->data) && d->data != (void *)&d->dim0) free_value(d);
    memset(d, 0, sizeof *d);
    d->rank = -1;
    *slot = next;
    return 0;
}

void release_temporaries_above(i64 from) {
    if (temporaries_high <= from) return;   // nothing was taken above it
    i64 first = from < FIRST_TEMP_SLOT ? FIRST_TEMP_SLOT : from + 1;
    for (i64 s = first; s <= temporaries_high && s <= LAST_TEMP_SLOT; s++) {
        ValueDescriptor *d = &value_slot_table[s];
        if (d->capacity > 0 && d->data && d->data != (void *)&d->dim0 && !in_heap_end(d->data))
            release_stack_value(d);
        memset(d, 0, sizeof *d);
        d->rank = -1;
    }
    // everything above `from` is clean now: the next release starts lower
    if (temporaries_high > from) temporaries_high = from < 17 ? 17 : from;
}

// ---- Operand frames on the shape pool ------------------------------------------------

int push_operand_frame(i64 count, const i64 *cs, const i64 *vs, i64 *frame) {
    if (count < 0) return fail(VEK_DOMAIN);
    i64 need = 2 + 2 * count;
    if (nxtglx + 1 + need > SHAPE_POOL_CAP) return fail(VEK_GLIST_FULL);
    i64 base = nxtglx + 1;
    shape_pool[base] = count;
    shape_pool[base + 1] = nxtglx;
    for (i64 k = 0; k < count; k++) {
        shape_pool[base + 2 + k] = cs[k];
        shape_pool[base + 2 + count + k] = vs[k];
    }
    nxtglx = base + need - 1;
    *frame = base;
    return 0;
}

// Only the topmost frame is given back: a dimension list appended above it
// meanwhile belongs to a value and must not become free space.
void pop_operand_frame(i64 frame) {
    if (frame < 0 || frame + 1 >= SHAPE_POOL_CAP) return;
    i64 end = frame + 2 + 2 * shape_pool[frame] - 1;
    if (nxtglx == end && shape_pool[frame + 1] < frame) nxtglx = shape_pool[frame + 1];
}

// ---- State of nested runs ---------------------------------------------------------------

void save_evaluator_state(EvaluatorState *s) {
    s->stacktop = stacktop;
    s->temps = eval_temp_counter;
    s->error_number = error_number;
    s->error_position = error_position;
    s->executed_value_state = executed_value_state;
    s->nxtglx = nxtglx;
    s->root = current_root_node;
}

void restore_evaluator_state(const EvaluatorState *s, int restore_error) {
    release_temporaries_above(s->temps);
    if (stacktop > s->stacktop) stacktop = s->stacktop;
    eval_temp_counter = s->temps;
    if (restore_error) {
        error_number = s->error_number;
        error_position = s->error_position;
    }
    executed_value_state = s->executed_value_state;
    current_root_node = s->root;
}

// Compiled marks: a function that is running (or suspended on the state
// indicator) keeps its compiled lines; only the others are compiled afresh.
void clear_compiled_marks() {
    if (statement_depth > 1 || call_nesting > 0) return;
    for (i64 f = FIRST_USER_FUNCTION; f <= lstfx && f < FUNCTION_CAP; f++) {
        bool active = false;
        for (i64 k = 0; k <= si_depth + pending_si_entries && k < SI_CAP; k++)
            if (state_indicator[k].function == f) { active = true; break; }
        if (!active) function_table[f].compiled = 0;
    }
}

// ---- The walk ----------------------------------------------------------------------------

struct Walk {
    i64 io_slot;
    i64 depth;
    i64 fail_node;
    const char *stack_limit;   // below it too little stack is left (null: unknown)
};

static int eval_node(Walk *w, i64 node, i64 *c, i64 *v);

static bool node_ok(i64 node) { return node >= 0 && node <= lstndx && node < PARSE_NODE_CAP; }

static inline ValueDescriptor *ref_desc(i64 c, i64 v) {
    if (c >= 0) return c < CONSTANT_CAP ? &constants_table[c] : nullptr;
    return v >= 0 && v < SLOT_COUNT ? &value_slot_table[v] : nullptr;
}

// A slot that was never given a value (the output targets among them) is
// empty: a rank of 0 needs exactly one item.
static bool is_defined(i64 c, i64 v) {
    ValueDescriptor *d = ref_desc(c, v);
    return d && d->rank >= 0 && !(d->rank == 0 && d->count != 1);
}

static bool is_list_chain(i64 node) {
    if (!node_ok(node) || parse_node_table[node].kind != 'F') return false;
    const ExprEntry *e = &expr_entry_table[parse_node_table[node].index];
    return e->kind == 'P' && e->code == P_LIST;
}

static bool is_chain_end(i64 node) {
    return node_ok(node) && parse_node_table[node].kind == 'V' && parse_node_table[node].index == LIST_END_SLOT;
}

// The items of a list chain ;(i1, ;(i2, ... ;(in, END))), in order.
static int chain_items(i64 node, i64 *items, i64 *count) {
    *count = 0;
    while (is_list_chain(node)) {
        const ExprEntry *e = &expr_entry_table[parse_node_table[node].index];
        if (*count >= FRAME_OPERANDS_MAX) return fail(VEK_STACK_FULL);
        items[(*count)++] = e->left;
        node = e->right;
    }
    if (node >= 0 && !is_chain_end(node)) {       // a last item that is not the end marker
        if (*count >= FRAME_OPERANDS_MAX) return fail(VEK_STACK_FULL);
        items[(*count)++] = node;
    }
    return 0;
}

// The number of items chain_items finds.
static i64 chain_length(i64 node) {
    i64 n = 0;
    for (; is_list_chain(node) && n <= FRAME_OPERANDS_MAX; n++)
        node = expr_entry_table[parse_node_table[node].index].right;
    return n + (node >= 0 && !is_chain_end(node) ? 1 : 0);
}

// Work words of one application: on the stack for the short lists of most
// lines, from the heap only for long ones, so a loop allocates nothing.
// (Not scratch: the nested applications free the scratch list as they go.)
struct WorkWords {
    enum { SMALL = 48 };
    i64 small[SMALL];
    std::vector<i64> big;
    i64 *get(i64 n) {
        if (n <= SMALL) return small;
        big.resize((size_t)n);
        return big.data();
    }
};

// Evaluates the items of a chain (right to left) into an operand frame.
static int eval_chain(Walk *w, i64 node, i64 *frame, i64 *count) {
    i64 n = chain_length(node);
    if (n > FRAME_OPERANDS_MAX) return fail(VEK_STACK_FULL);
    WorkWords room;
    i64 *items = room.get(3 * n);
    i64 *cs = items + n, *vs = items + 2 * n;
    if (chain_items(node, items, count)) return error_number;
    for (i64 k = *count - 1; k >= 0; k--) {
        if (is_chain_end(items[k]) && parse_node_table[items[k]].index == LIST_END_SLOT) {
            cs[k] = -1;                  // an elided index position
            vs[k] = 0;
            continue;
        }
        if (eval_node(w, items[k], &cs[k], &vs[k])) return error_number;
    }
    return push_operand_frame(*count, cs, vs, frame);
}

static void frame_ref(i64 frame, i64 k, i64 *c, i64 *v) {
    i64 n = shape_pool[frame];
    *c = shape_pool[frame + 2 + k];
    *v = shape_pool[frame + 2 + n + k];
}

// A general list of the frame's operands, item k a deep copy of operand k.
static int build_list(i64 result, i64 frame, i64 n) {
    for (i64 k = 0; k < n; k++) {
        i64 c, v;
        frame_ref(frame, k, &c, &v);
        if (!(c < 0 && v == 0) && !is_defined(c, v)) return fail(VEK_VALUE);
    }
    ValueDescriptor list;
    memset(&list, 0, sizeof list);
    list.type = T_LIST;
    list.rank = 1;
    list.count = list.dim0 = n;
    if (alloc_descriptor_data(&list, 0)) return error_number;
    for (i64 k = 0; k < n; k++) {
        i64 c, v;
        frame_ref(frame, k, &c, &v);
        if (fetch_operand_value(&((ValueDescriptor *)list.data)[k], c, v, 0)) return error_number;
    }
    ValueDescriptor *r = &value_slot_table[result];
    *r = list;
    return 0;
}

// ---- Applications -------------------------------------------------------------------------

static int new_result(i64 *slot) { return take_temporary(&eval_temp_counter, slot); }

// How a call gives the temporaries counter back. The lines of a defined
// function ran walks of their own, whose temporaries are all dropped; a
// primitive's handler may keep temporaries it took (executed text), so the
// counter is only raised back to where the call found it.
enum TempsAfterCall { TEMPS_RAISED, TEMPS_RESET };

// The end of every call: the counter given back, a failure stored, and
// after a success the scratch blocks freed.
static inline int finish_call(int x, i64 saved, TempsAfterCall temps) {
    if (temps == TEMPS_RESET || eval_temp_counter < saved) eval_temp_counter = saved;
    if (x) return fail(x);
    free_scratch();
    return 0;
}

// One application: a fresh temporary for the result, the call into it,
// and on success the result's slot as the application's value. A quick
// path that computes the result without allocating (true when it did)
// skips the call and has nothing to give back.
struct NoQuickPath { bool operator()(i64) const { return false; } };

template <class Call, class Quick = NoQuickPath>
static inline int apply_into_result(i64 *c, i64 *v, TempsAfterCall temps, Call call, Quick quick = {}) {
    i64 result;
    if (new_result(&result)) return error_number;
    if (!quick(result)) {
        i64 saved = eval_temp_counter;
        if (finish_call(call(result), saved, temps)) return error_number;
    }
    *c = -1;
    *v = result;
    return 0;
}

int apply_primitive(i64 code, i64 result, i64 lc, i64 lv, i64 rc, i64 rv) {
    i64 saved = eval_temp_counter;
    return finish_call(dispatch_primitive(code, result, lc, lv, rc, rv), saved, TEMPS_RAISED);
}

// A line of keyboard input as a char vector.
static int read_input_line(i64 result) {
    enum { INPUT_CAP = 5120 };
    char *buf = (char *)scratch_alloc(T_CHAR, INPUT_CAP);
    if (!buf) return error_number;
    i64 n = ask_input_string ? ask_input_string("", buf, INPUT_CAP) : 0;
    if (n < 0) n = 0;
    if (n >= INPUT_CAP) n = INPUT_CAP - 1;
    while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n')) n--;
    ValueDescriptor d;
    memset(&d, 0, sizeof d);
    d.type = T_CHAR;
    d.rank = 1;
    d.count = d.dim0 = n;
    if (alloc_descriptor_data(&d, 0)) return error_number;
    if (n > 0) memcpy(value_data(&d), buf, (size_t)n);
    value_slot_table[result] = d;
    fix_inline_pointer(&value_slot_table[result]);
    return 0;
}

// Checks a value for []RL and []PP: a single boolean or integer of at least 1.
static int check_system_value(i64 slot, const ValueDescriptor *s) {
    if (slot != RL_SLOT && slot != PP_SLOT) return 0;
    if (s->type != T_INT && s->type != T_BOOL) return fail(VEK_TYPE);
    if (s->count != 1) return fail(VEK_LENGTH);
    if (*(const i64 *)value_data(const_cast<ValueDescriptor *>(s)) < 1) return fail(VEK_VALUE);
    return 0;
}

int assign_name(i64 slot, i64 c, i64 v) {
    ValueDescriptor *s = ref_desc(c, v);
    if (!s || s->rank < 0) return fail(VEK_VALUE);
    if (slot < 0 || slot >= SLOT_COUNT || slot == LIST_END_SLOT) return fail(VEK_SYNTAX);
    if (check_system_value(slot, s)) return error_number;
    // []IO lives in a stack slot that outlasts every statement: only a value
    // held inline in the descriptor can be kept there
    if (slot == IO_SLOT && !is_inline_value(s)) return fail(VEK_IO);
    if (assign_to_slot(slot, s)) return error_number;
    if (slot == SLOT_OUT || slot == SLOT_OUT_OPEN) {
        int e = display_value(0, slot);
        if (slot == SLOT_OUT_OPEN) {
            // the open slot is shown once; its data need not stay
            free_value(&value_slot_table[SLOT_OUT_OPEN]);
        }
        if (e) return fail(e);
    }
    return 0;
}

static int assign_strand(Walk *w, i64 target, i64 c, i64 v) {
    std::vector<i64> buffer(3 * FRAME_OPERANDS_MAX);
    i64 *items = buffer.data();
    i64 n;
    if (chain_items(target, items, &n)) return error_number;
    i64 *slots = items + FRAME_OPERANDS_MAX;
    for (i64 k = 0; k < n; k++) {
        if (!node_ok(items[k])) return fail(VEK_DOMAIN);
        const ParseNode *p = &parse_node_table[items[k]];
        if (p->kind != 'V' || !is_heap_slot(p->index)) return fail(VEK_DOMAIN);
        slots[k] = p->index;
    }
    ValueDescriptor *s = ref_desc(c, v);
    if (!s || s->rank < 0) return fail(VEK_VALUE);
    if (s->type != T_LIST) return fail(VEK_DOMAIN);
    if (s->count != n) return fail(VEK_LENGTH);
    (void)w;
    // (x;y)<-x: the first assignment would free the list still being read
    ValueDescriptor own;
    for (i64 k = 0; k < n; k++)
        if (c < 0 && slots[k] == v) {
            if (copy_value_checked(&own, s, 0)) return error_number;
            s = &own;
            break;
        }
    // each target is assigned as by a plain assignment, so the checks of
    // the system variables among them hold; the first failure stops the rest
    for (i64 k = 0; k < n; k++) {
        ValueDescriptor *item = &((ValueDescriptor *)s->data)[k];
        if (check_system_value(slots[k], item)) return error_number;
        if (assign_to_slot(slots[k], item)) return error_number;
    }
    return 0;
}

// The index lists of A[I;J;...] evaluated into an operand frame of n
// entries; an elided list is (-1, 0).
static int eval_index_lists(Walk *w, i64 node, i64 *frame, i64 *n) {
    if (is_list_chain(node)) return eval_chain(w, node, frame, n) ? (int)error_number : 0;
    i64 ic = -1, iv = 0;
    if (!is_chain_end(node) && eval_node(w, node, &ic, &iv)) return (int)error_number;
    if (push_operand_frame(1, &ic, &iv, frame)) return (int)error_number;
    *n = 1;
    return 0;
}

// Applications that hold work words stay out of line: inlined into the
// recursive walk, their room would be taken at every level of it.
[[gnu::noinline]] static int assign_indexed_target(Walk *w, i64 target, i64 bc, i64 bv) {
    const ExprEntry *e = &expr_entry_table[parse_node_table[target].index];
    if (!node_ok(e->left) || parse_node_table[e->left].kind != 'V') return fail(VEK_SYNTAX);
    i64 slot = parse_node_table[e->left].index;
    if (!is_defined(-1, slot)) return fail(VEK_VALUE);
    IndexedAssignHandler h = indexed_assign_handler();
    i64 frame, n;
    if (eval_index_lists(w, e->right, &frame, &n)) return error_number;
    if (!h) { pop_operand_frame(frame); return fail(VEK_NOT_IMPLEMENTED); }
    i64 ic, iv;
    frame_ref(frame, 0, &ic, &iv);
    i64 rest = n - 1;
    WorkWords room;
    i64 *rc = room.get(2 * (rest + 1));
    i64 *rv = rc + rest + 1;
    for (i64 k = 0; k < rest; k++) frame_ref(frame, n - 1 - k, &rc[k], &rv[k]);
    i64 saved = eval_temp_counter;
    int r = h(slot, ic, iv, rc, rv, rest, bc, bv, w->io_slot);
    pop_operand_frame(frame);
    return finish_call(r, saved, TEMPS_RAISED);
}

static int apply_assignment(Walk *w, const ExprEntry *e, i64 *c, i64 *v) {
    i64 rc, rv;
    if (eval_node(w, e->right, &rc, &rv)) return error_number;
    if (!is_defined(rc, rv)) return fail(VEK_VALUE);
    i64 target = e->left;
    if (!node_ok(target)) return fail(VEK_SYNTAX);
    const ParseNode *t = &parse_node_table[target];
    if (t->kind == 'V') {
        if (assign_name(t->index, rc, rv)) return error_number;
        if (t->index == SLOT_OUT || t->index == SLOT_OUT_OPEN) { *c = rc; *v = rv; }
        else { *c = -1; *v = t->index; }
        return 0;
    }
    if (t->kind == 'F' && is_list_chain(target)) {
        if (assign_strand(w, target, rc, rv)) return error_number;
        *c = rc; *v = rv;
        return 0;
    }
    if (t->kind == 'F' && expr_entry_table[t->index].kind == 'P' && expr_entry_table[t->index].code == P_INDEX) {
        if (assign_indexed_target(w, target, rc, rv)) return error_number;
        *c = rc; *v = rv;
        return 0;
    }
    if (t->kind == 'F') return fail(VEK_NOT_IMPLEMENTED);
    return fail(VEK_SYNTAX);
}

[[gnu::noinline]] static int apply_index(Walk *w, const ExprEntry *e, i64 *c, i64 *v) {
    i64 frame, n;
    if (eval_index_lists(w, e->right, &frame, &n)) return error_number;
    i64 ac, av;
    // the frame is given back on every way out, or the shape pool would keep it
    if (eval_node(w, e->left, &ac, &av)) { pop_operand_frame(frame); return error_number; }
    if (!is_defined(ac, av)) { pop_operand_frame(frame); return fail(VEK_VALUE); }
    IndexHandler h = bracket_index_handler();
    int r = apply_into_result(c, v, TEMPS_RAISED, [&](i64 result) -> int {
        i64 ic, iv;
        frame_ref(frame, 0, &ic, &iv);
        if (h) {
            i64 rest = n - 1;
            WorkWords room;
            i64 *rc = room.get(2 * (rest + 1));
            i64 *rv = rc + rest + 1;
            for (i64 k = 0; k < rest; k++) frame_ref(frame, n - 1 - k, &rc[k], &rv[k]);
            return h(result, ac, av, ic, iv, rc, rv, rest, w->io_slot);
        }
        if (n == 1) return dispatch_primitive(P_INDEX, result, ac, av, ic, iv);
        return VEK_NOT_IMPLEMENTED;
    });
    pop_operand_frame(frame);
    return r;
}

static int apply_each(Walk *w, const ExprEntry *e, i64 *c, i64 *v) {
    i64 fn = e->right;
    if (!node_ok(fn) || parse_node_table[fn].kind != 'F') return fail(VEK_DOMAIN);
    const ExprEntry *f = &expr_entry_table[parse_node_table[fn].index];
    // in x "f y the left operand is written before the each symbol, so the
    // compiler gives it to the each entry, not to f
    i64 left = f->left >= 0 ? f->left : e->left;
    i64 rc = -1, rv = -1, lc = -1, lv = -1;
    if (f->right >= 0 && eval_node(w, f->right, &rc, &rv)) return error_number;
    if (f->right >= 0 && !is_defined(rc, rv)) return fail(VEK_VALUE);
    if (left >= 0 && eval_node(w, left, &lc, &lv)) return error_number;
    if (left >= 0 && !is_defined(lc, lv)) return fail(VEK_VALUE);
    ValueDescriptor *r = ref_desc(rc, rv);
    bool monadic = left < 0;
    if (monadic && !(r && r->type == T_LIST)) {
        // each of a simple value applies the function as it stands
        if (f->kind == 'D')
            return apply_into_result(c, v, TEMPS_RESET, [&](i64 result) {
                return call_defined_function(f->code, lc, lv, rc, rv, result, eval_temp_counter);
            });
        return apply_into_result(c, v, TEMPS_RAISED, [&](i64 result) {
            return dispatch_primitive(f->code, result, lc, lv, rc, rv);
        });
    }
    EachHandler h = each_handler();
    if (!h) return fail(VEK_NOT_IMPLEMENTED);
    return apply_into_result(c, v, TEMPS_RAISED, [&](i64 result) {
        return h((char)f->kind, f->code, result, lc, lv, rc, rv);
    });
}

// Evaluates an application's operands, the right one first; each must hold
// a value. An absent operand stays (-1, -1).
static int eval_operands(Walk *w, const ExprEntry *e, i64 *lc, i64 *lv, i64 *rc, i64 *rv) {
    *rc = *rv = *lc = *lv = -1;
    if (e->right >= 0) {
        if (eval_node(w, e->right, rc, rv)) return (int)error_number;
        if (!is_defined(*rc, *rv)) return fail(VEK_VALUE);
    }
    if (e->left >= 0) {
        if (eval_node(w, e->left, lc, lv)) return (int)error_number;
        if (!is_defined(*lc, *lv)) return fail(VEK_VALUE);
    }
    return 0;
}

static int apply_defined(Walk *w, const ExprEntry *e, i64 *c, i64 *v) {
    i64 rc, rv, lc, lv;
    if (eval_operands(w, e, &lc, &lv, &rc, &rv)) return error_number;
    return apply_into_result(c, v, TEMPS_RESET, [&](i64 result) -> int {
        if (e->code >= 0 && e->code < BUILTIN_FUNCTIONS) {
            PrimHandler h = builtin_function_handler(e->code);
            return h ? h(e->code, result, lc, lv, rc, rv) : VEK_NOT_IMPLEMENTED;
        }
        return call_defined_function(e->code, lc, lv, rc, rv, result, eval_temp_counter);
    });
}

// Operands that are single items held inline go through their primitive's
// single-item path, when it has one and takes them: the result item is
// written straight into the result slot.
static bool apply_single_item(i64 code, i64 result, i64 lc, i64 lv, i64 rc, i64 rv) {
    int valence = lc < 0 && lv < 0 ? 1 : 2;
    SingleItemHandler h = single_item_handler(code, valence);
    if (!h) return false;
    const ValueDescriptor *r = ref_desc(rc, rv), *l = valence == 2 ? ref_desc(lc, lv) : nullptr;
    if (!r || !is_inline_value(r) || (valence == 2 && (!l || !is_inline_value(l)))) return false;
    return h(code, l, r, &value_slot_table[result]);
}

static int apply_plain(Walk *w, const ExprEntry *e, i64 *c, i64 *v) {
    i64 rc, rv, lc, lv;
    if (eval_operands(w, e, &lc, &lv, &rc, &rv)) return error_number;
    auto single_item = [&](i64 result) {
        return e->right >= 0 && apply_single_item(e->code, result, lc, lv, rc, rv);
    };
    return apply_into_result(c, v, TEMPS_RAISED, [&](i64 result) -> int {
        if (e->code == SF_INPUT && e->left < 0) return read_input_line(result);
        // niladic system functions ([]TS) take no operand
        if (e->right < 0 && e->left < 0) return dispatch_primitive(e->code, result, -1, -1, -1, -1);
        return dispatch_primitive(e->code, result, lc, lv, rc, rv);
    }, single_item);
}

// A monadic transpose application (&.y), or an inner product application.
static bool is_entry_node(i64 node, bool (*test)(const ExprEntry *)) {
    if (!node_ok(node) || parse_node_table[node].kind != 'F') return false;
    i64 idx = parse_node_table[node].index;
    return idx >= 0 && idx <= lstfndx && idx < EXPR_ENTRY_CAP && test(&expr_entry_table[idx]);
}

static bool transpose_entry(const ExprEntry *e) { return e->kind == 'P' && e->code == P_TRANSPOSE && e->left < 0; }
static bool inner_entry(const ExprEntry *e) { return e->kind == 'P' && is_inner_code(e->code) && e->left >= 0; }

// x f:g &.y hands y itself to the product, to be read along its last axis,
// and &.(x f:g y) asks for the product transposed: neither transpose is
// built as a value of its own.
static int apply_inner(Walk *w, i64 node, int flags, i64 *c, i64 *v) {
    const ExprEntry *e = &expr_entry_table[parse_node_table[node].index];
    ExprEntry operands = *e;
    if (is_entry_node(e->right, transpose_entry)) {
        flags |= INNER_TRANSPOSED_RIGHT;
        operands.right = expr_entry_table[parse_node_table[e->right].index].right;
    }
    i64 rc, rv, lc, lv;
    if (eval_operands(w, &operands, &lc, &lv, &rc, &rv)) return error_number;
    return apply_into_result(c, v, TEMPS_RAISED, [&](i64 result) {
        return inner_product_handler()(e->code, result, lc, lv, rc, rv, flags);
    });
}

// One section of a table constructor: each column is name<-value with a
// 'Z' name; the values are evaluated right to left like any list.
static int eval_columns(Walk *w, i64 chain, std::vector<i64> &names, std::vector<i64> &cs,
                        std::vector<i64> &vs) {
    if (chain < 0) return 0;
    std::vector<i64> items(FRAME_OPERANDS_MAX);
    i64 n;
    if (is_list_chain(chain)) {
        if (chain_items(chain, items.data(), &n)) return error_number;
    } else { items[0] = chain; n = 1; }
    size_t base = names.size();
    names.resize(base + n);
    cs.resize(base + n);
    vs.resize(base + n);
    for (i64 k = n - 1; k >= 0; k--) {
        i64 col = items[k];
        if (!node_ok(col) || parse_node_table[col].kind != 'F') return fail(VEK_SYNTAX);
        const ExprEntry *e = &expr_entry_table[parse_node_table[col].index];
        if (e->kind != 'P' || e->code != P_ASSIGN || !node_ok(e->left) || parse_node_table[e->left].kind != 'Z')
            return fail(VEK_SYNTAX);
        const ValueDescriptor *sym = operand_ref(parse_node_table[e->left].index, -1);
        if (!sym || sym->type != T_SYMBOL) return fail(VEK_DOMAIN);
        names[base + k] = *(const i64 *)value_data(const_cast<ValueDescriptor *>(sym));
        if (eval_node(w, e->right, &cs[base + k], &vs[base + k])) return error_number;
        if (!is_defined(cs[base + k], vs[base + k])) return fail(VEK_VALUE);
    }
    return 0;
}

static int apply_table_constructor(Walk *w, const ExprEntry *e, i64 *c, i64 *v) {
    std::vector<i64> names, cs, vs;
    if (eval_columns(w, e->right, names, cs, vs)) return error_number;
    std::vector<i64> knames, kcs, kvs;
    if (eval_columns(w, e->left, knames, kcs, kvs)) return error_number;
    knames.insert(knames.end(), names.begin(), names.end());
    kcs.insert(kcs.end(), cs.begin(), cs.end());
    kvs.insert(kvs.end(), vs.begin(), vs.end());
    TableConstructorHandler h = table_constructor_handler();
    if (!h) return fail(VEK_NOT_IMPLEMENTED);
    return apply_into_result(c, v, TEMPS_RAISED, [&](i64 result) {
        return h(result, knames.data(), kcs.data(), kvs.data(), (i64)knames.size(),
                 (i64)(knames.size() - names.size()));
    });
}

static int apply_node(Walk *w, i64 node, i64 *c, i64 *v) {
    i64 idx = parse_node_table[node].index;
    if (idx < 0 || idx > lstfndx || idx >= EXPR_ENTRY_CAP) return fail(VEK_SYNTAX);
    const ExprEntry *e = &expr_entry_table[idx];
    if (e->kind == 'D') return apply_defined(w, e, c, v);
    switch (e->code) {
    case P_ASSIGN: return apply_assignment(w, e, c, v);
    case P_INDEX: return apply_index(w, e, c, v);
    case P_LIST: {
        i64 frame, n;
        if (eval_chain(w, node, &frame, &n)) return error_number;
        int r = apply_into_result(c, v, TEMPS_RAISED, [&](i64 result) { return build_list(result, frame, n); });
        pop_operand_frame(frame);
        return r;
    }
    case P_EACH: return apply_each(w, e, c, v);
    case P_TABLE_CONSTRUCTOR: return apply_table_constructor(w, e, c, v);
    default:
        if ((e->code == P_TRANSPOSE || is_inner_code(e->code)) && inner_product_handler()) {
            if (transpose_entry(e) && is_entry_node(e->right, inner_entry))
                return apply_inner(w, e->right, INNER_TRANSPOSED_RESULT, c, v);
            if (inner_entry(e)) return apply_inner(w, node, 0, c, v);
        }
        return apply_plain(w, e, c, v);
    }
}

// Enough stack for whatever a primitive or the display does below a node.
enum : size_t { STACK_MARGIN = 1 << 20 };

static int eval_node(Walk *w, i64 node, i64 *c, i64 *v) {
    if (!node_ok(node)) return fail(VEK_SYNTAX);
    const ParseNode *p = &parse_node_table[node];
    switch (p->kind) {
    case 'C': case 'Z': *c = p->index; *v = -1; return 0;
    case 'V': *c = -1; *v = p->index; return 0;
    case 'F': {
        // A function calling itself through long lines nests the walk
        // deeper than the state indicator's limit can see: stop before the
        // stack ends.
        char here;
        if (&here < w->stack_limit) return fail(VEK_STACK_FULL);
        if (w->depth >= WALK_DEPTH_MAX) { w->fail_node = node; return fail(VEK_STACK_FULL); }
        if (interrupt_requested()) { w->fail_node = node; return fail(INTERRUPT_ERROR); }
        w->depth++;
        int r = apply_node(w, node, c, v);
        w->depth--;
        if (r && w->fail_node < 0) w->fail_node = node;
        return r;
    }
    default: return fail(VEK_SYNTAX);
    }
}

// Runs when a walk ends, whatever its outcome: the place for work that must
// follow every walk. Nothing needs it yet.
void evaluator_end_hook() {}

int evaluate_tree(i64 root, i64 start, i64 temps, i64 mode, i64 io_slot,
                  i64 *rc, i64 *rv, i64 *fail_node) {
    (void)start;
    (void)mode;
    Walk w = {io_slot, 0, -1, platform_stack_limit(STACK_MARGIN)};
    eval_temp_counter = temps;
    // primitives read the origin in force through current_io_slot; a nested
    // walk (a function call, executed text) restores the outer one's
    i64 outer_io = current_io_slot;
    current_io_slot = io_slot;
    *rc = -1;
    *rv = -1;
    if (root < 0) { current_io_slot = outer_io; return 0; }
    int r = eval_node(&w, root, rc, rv);
    current_io_slot = outer_io;
    evaluator_end_hook();
    if (r) {
        if (error_number == 0) error_number = r;
        if (fail_node) *fail_node = w.fail_node >= 0 ? w.fail_node : root;
        return error_number;
    }
    return 0;
}

// ---- Display decision -----------------------------------------------------------------------

// Under )TIME nothing is shown, but a value that is not there still fails
// as it would at the session (the display finds it and shows nothing else).
int display_statement_value(i64 root, i64 c, i64 v) {
    if (!node_ok(root)) return 0;
    const ParseNode *p = &parse_node_table[root];
    if (p->kind == 'F') {
        const ExprEntry *e = &expr_entry_table[p->index];
        if (e->kind == 'D') {
            if (e->code >= FIRST_USER_FUNCTION && function_table[e->code].result == -1) return 0;
        } else {
            if (e->code == P_ASSIGN || e->code == P_NOOP || e->code == SF_FX) return 0;
            if (e->code == P_EXECUTE && (executed_value_state == 0 || !is_defined(c, v))) return 0;
        }
    }
    if (c >= 0) return display_value(1, c);
    if (v < 0) return 0;
    int r = display_value(0, v);
    if (r) return fail(r);
    return 0;
}

// ---- Statement runners ---------------------------------------------------------------------

static i64 io_slot_in_force() {
    // a []IO localised by an active call wins over the global one
    if (dfxstack < 0) return IO_SLOT;
    i64 k = lookup_name("[]IO", 'D');
    if (k < 0 || k > dfxstack) return IO_SLOT;
    i64 slot = dfxstack_table[k].slot;
    return (slot >= 0 && slot < SLOT_COUNT) ? slot : IO_SLOT;
}

int run_statement(i64 root, i64 start, i64 *fail_pos) {
    if (root < 0) return 0;
    bool nested = statement_depth > 0;
    EvaluatorState outer;
    save_evaluator_state(&outer);
    statement_depth++;
    reset_error_state();
    if (!nested) {
        reset_stack();
        temporaries_high = 17;
    }
    error_number = 0;
    executed_value_state = -1;
    current_root_node = root;
    clear_compiled_marks();
    i64 c, v, fail_node = -1;
    int r = evaluate_tree(root, start, nested ? outer.temps : 17, 0, io_slot_in_force(), &c, &v, &fail_node);
    if (!r) {
        r = display_statement_value(root, c, v);
        if (r) fail_node = root;
    }
    if (r && fail_pos) {
        i64 n = node_ok(fail_node) ? fail_node : root;
        *fail_pos = parse_node_table[n].pos;
    }
    statement_depth--;
    if (nested) {
        int e = error_number;
        restore_evaluator_state(&outer, 0);
        error_number = e;
    } else {
        eval_temp_counter = 17;
        executed_value_state = executed_value_state < 0 ? 0 : executed_value_state;
    }
    return r ? (error_number ? (int)error_number : r) : 0;
}

// Marks of the compiled tables taken before an immediate line, so what the
// line compiled is reclaimed once it ends.
struct CompileMark { i64 nodes, entries, branches, constants, overflow; };

static void take_compile_mark(CompileMark *m) {
    *m = {lstndx, lstfndx, lstbrx, lstcx, overflow_count};
}

static void rewind_tables(const CompileMark *m) {
    for (i64 k = m->constants + 1; k <= lstcx && k < CONSTANT_CAP; k++) free_value(&constants_table[k]);
    for (i64 k = m->constants + 1; k <= lstcx && k < CONSTANT_CAP; k++) memset(&constants_table[k], 0, sizeof(ValueDescriptor));
    if (lstcx > m->constants) lstcx = m->constants;
    if (lstndx > m->nodes) lstndx = m->nodes;
    if (lstfndx > m->entries) lstfndx = m->entries;
    if (lstbrx > m->branches) lstbrx = m->branches;
    if (overflow_count > m->overflow) overflow_count = m->overflow;
}

static void rewind_to_mark(const CompileMark *m) {
    rewind_tables(m);
    // functions compiled during the line referred to the reclaimed nodes
    invalidate_compiled_functions();
}

// ---- Compiled functions kept from line to line -------------------------------------------
// A line that compiled functions keeps what it compiled, so the next lines
// that call them (every `do` runs the same query functions) reuse their
// compiled forms instead of translating and compiling them again. Lines
// that compile nothing new give back their own part as before. What is
// kept is bounded: once a table is an eighth full, everything goes back
// to the counters before the first kept line. A system command gives it
// all back first, so `)INDEX` and a saved workspace see the tables as a
// line leaves them when nothing is kept.

static CompileMark kept_base;
static bool keeping = false;
static int immediate_runs = 0;

static bool kept_within_bounds() {
    return lstndx < PARSE_NODE_CAP / 8 && lstfndx < EXPR_ENTRY_CAP / 8 && lstbrx < BRANCH_CAP / 8 &&
           lstcx < CONSTANT_CAP / 8 && lstnx < LOCAL_NAME_CAP / 8 && overflow_count < OVERFLOW_CAP / 8;
}

void drop_kept_compilations() {
    // only between lines: a running statement's nodes lie above the base
    if (!keeping || immediate_runs > 0 || statement_depth > 0 || call_nesting > 0) return;
    keeping = false;
    rewind_to_mark(&kept_base);
}

void forget_kept_compilations() { keeping = false; }

static void end_outermost_line(const CompileMark *m) {
    bool roomy = kept_within_bounds();
    if (roomy && compiled_forms_above(m->nodes, m->entries, m->branches, m->constants)) {
        if (!keeping) kept_base = *m;
        keeping = true;
    } else if (keeping && roomy) {
        rewind_tables(m);   // the forms kept so far lie below this line's mark
    } else if (keeping) {
        drop_kept_compilations();
    } else {
        rewind_to_mark(m);
    }
}

int parse_and_run_text(const char *text, i64 length, i64 row, i64 col, int flag,
                       i64 context, i64 *error_pos, int immediate) {
    (void)flag;
    (void)context;
    bool outermost = immediate && immediate_runs == 0 && statement_depth == 0 && call_nesting == 0;
    CompileMark mark;
    if (outermost) take_compile_mark(&mark);
    immediate_runs += immediate ? 1 : 0;
    i64 pos = 0;
    int result = 0;
    while (pos < length && text[pos]) {
        CompiledStatement cs = {-1, -1, -1};
        i64 io = immediate ? io_slot_in_force() : IO_SLOT;
        int e = compile_statement(text + pos, length - pos, row, col, 0, io, &cs);
        if (e) {
            if (error_pos && *error_pos < 0) *error_pos = pos + get_error_position();
            result = error_number = e;
            break;
        }
        i64 used = get_scan_position();
        if (immediate) {
            i64 fp = 0;
            e = run_statement(cs.root, cs.start, &fp);
            if (e) {
                if (error_pos && *error_pos < 0) *error_pos = pos + fp;
                result = e;
                break;
            }
        } else if (row >= 0 && (cs.root >= 0 || cs.branch >= 0)) {
            e = append_function_line_node(row, col, cs.root, cs.start, cs.branch);
            if (e) { result = e; break; }
        }
        pos += used + 1;
    }
    immediate_runs -= immediate ? 1 : 0;
    if (outermost) end_outermost_line(&mark);
    return result;
}

int execute_text_as_function(const char *text, i64 length, i64 io_slot, i64 *rc, i64 *rv) {
    *rc = -1;
    *rv = -1;
    executed_value_state = 0;
    i64 saved_root = current_root_node;
    i64 pos = 0;
    int result = 0;
    while (pos < length && text[pos]) {
        CompiledStatement cs = {-1, -1, -1};
        int e = compile_statement(text + pos, length - pos, -1, 0, 0, io_slot, &cs);
        if (e) { result = e; break; }
        i64 used = get_scan_position();
        if (cs.root >= 0) {
            i64 c, v, fail_node;
            i64 temps = eval_temp_counter;
            current_root_node = cs.root;
            e = evaluate_tree(cs.root, cs.start, temps, 0, io_slot, &c, &v, &fail_node);
            if (e) { result = e; executed_value_state = 0; break; }
            const ParseNode *p = &parse_node_table[cs.root];
            bool assignment = p->kind == 'F' && expr_entry_table[p->index].kind == 'P' &&
                              expr_entry_table[p->index].code == P_ASSIGN;
            bool no_result = p->kind == 'F' && expr_entry_table[p->index].kind == 'D' &&
                             expr_entry_table[p->index].code >= FIRST_USER_FUNCTION &&
                             function_table[expr_entry_table[p->index].code].result == -1;
            if (assignment || no_result || !is_defined(c, v)) executed_value_state = 0;
            else {
                executed_value_state = c >= 0 ? 2 : 1;
                *rc = c;
                *rv = v;
            }
        }
        pos += used + 1;
    }
    current_root_node = saved_root;
    if (result) error_number = result;
    return result;
}

int execute_text_into(i64 result, const char *text, i64 length, i64 io_slot) {
    // Each level takes process stack: text that executes itself would
    // otherwise recurse until the stack ran out.
    static i64 depth = 0;
    if (depth >= SI_CAP) return fail(VEK_STACK_FULL);
    i64 c, v;
    int saved_flag = execute_flag;
    execute_flag = 1;
    depth++;
    int e = execute_text_as_function(text, length, io_slot, &c, &v);
    depth--;
    execute_flag = saved_flag;
    if (e) return e;
    if (executed_value_state == 0) return 0;
    i64 state = executed_value_state;
    if (copy_value_to_slot(result, c, v)) return (int)error_number;
    executed_value_state = state;
    return 0;
}

// ---- Handlers the evaluator provides ------------------------------------------------------------

// Dyadic #. : succeeds without computing or storing a result.
static int prim_noop(i64, i64, i64, i64, i64, i64) { return 0; }

void register_evaluator_primitives() {
    register_primitive(P_NOOP, 2, prim_noop);
}
