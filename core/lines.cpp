// The lines of a defined function: the line loop with its branches and the
// trace of executed lines, and the lean walk of simple statements. See
// lines.h.
#include "lines.h"
#include "arena.h"
#include "calls.h"
#include "compiler.h"
#include "dispatch.h"
#include "errors.h"
#include "evaluator.h"
#include "interrupt.h"
#include "valueops.h"
#include "platform/platform.h"
#include <cstdlib>

// ---- The lean walk ----------------------------------------------------------------------
// Statements made only of names, constants, assignments to a name or to
// one item of a name, indexing by one index, and applications of functions
// that have a single-item path (the body of most loops). On its first run such a statement's tree is laid out once as a
// short list of steps in the order the full walk evaluates it (the right
// operand first), so later runs need neither the checks of node kinds and
// indexes nor the general application path for single items, and single
// items on the way need no temporaries. Whatever is not a single item, and
// every failure, goes to the primitive's own handler exactly as in the full
// walk. The decision and the steps are kept with the statement, whose list
// is rebuilt whenever its function is compiled, so they live exactly as
// long as the nodes they read.

enum : i64 {
    // Far below the full walk's nesting limit, so that limit is never
    // what stops a lean statement.
    LEAN_DEPTH_MAX = 32,
    LEAN_STEPS_MAX = 32,
    STACK_MARGIN = 1 << 20,
};

// Where a step finds an operand.
enum : char { FROM_NONE, FROM_CONSTANT, FROM_NAME, FROM_STEP };
// What a step does: apply a function, assign to a name, check that an
// operand holds a value (a right operand, before the left one is
// evaluated), pick an item by one index (left: the array, right: the
// index) or assign one at an index (left: the index, right: the value).
enum : char { STEP_APPLY, STEP_ASSIGN, STEP_CHECK, STEP_INDEX, STEP_INDEX_ASSIGN };

struct LeanStep {
    char kind, left_from, right_from;
    i64 left, right;      // constant, name node or step, by *_from
    i64 node;             // the application: where a failure is reported
    i64 code;
    i64 target;           // an assignment's name node; for an application, the
                          // name its value is assigned to at once (or -1)
    i64 assign_node;      // that assignment's node
    // The application's single-item path. The families register theirs
    // once, before any statement runs, so it is looked up once.
    SingleItemHandler single;
};

struct LeanProgram {
    i64 count;
    // The condition of a conditional branch that ends in a not, as the
    // translator writes a loop's test ->(~c)/L: a c that is one boolean
    // decides the branch by its opposite, without the not.
    bool folds_not;
    bool hides_value;     // it assigns: its value is never shown
    LeanStep steps[LEAN_STEPS_MAX];
};

// ---- Laying out a statement ---------------------------------------------------------

static bool node_in_table(i64 node) { return node >= 0 && node <= lstndx && node < PARSE_NODE_CAP; }

static bool add_step(LeanProgram *p, const LeanStep &step, char *from, i64 *at) {
    if (p->count >= LEAN_STEPS_MAX) return false;
    p->steps[p->count] = step;
    *from = FROM_STEP;
    *at = p->count++;
    return true;
}

static bool elided_mark(i64 node) {
    return node_in_table(node) && parse_node_table[node].kind == 'V' && parse_node_table[node].index == LIST_END_SLOT;
}

// A constant or a name (not the mark of an elided index): its place.
static bool leaf(i64 node, char *from, i64 *at) {
    if (!node_in_table(node) || elided_mark(node)) return false;
    const ParseNode *n = &parse_node_table[node];
    if (n->kind == 'C' && n->index >= 0 && n->index < CONSTANT_CAP) {
        *from = FROM_CONSTANT;
        *at = n->index;
        return true;
    }
    if (n->kind != 'V') return false;
    *from = FROM_NAME;
    *at = node;
    return true;
}

// The entry of an application node, or null.
static const ExprEntry *entry_of(i64 node) {
    if (!node_in_table(node) || parse_node_table[node].kind != 'F') return nullptr;
    i64 k = parse_node_table[node].index;
    return k >= 0 && k <= lstfndx && k < EXPR_ENTRY_CAP ? &expr_entry_table[k] : nullptr;
}

static bool lay_out(LeanProgram *p, i64 node, i64 depth, char *from, i64 *at);

// x[i] with x a constant or a name and i one index (not a list of them):
// the index is evaluated first, as in the full walk.
static bool lay_out_index(LeanProgram *p, const ExprEntry *e, i64 node, i64 depth, char *from, i64 *at) {
    LeanStep step = {STEP_INDEX, FROM_NONE, FROM_NONE, -1, -1, node, P_INDEX, -1, -1, nullptr};
    const ExprEntry *list = entry_of(e->right);
    if (list && list->kind == 'P' && list->code == P_LIST) return false;
    if (!leaf(e->left, &step.left_from, &step.left) || elided_mark(e->right)) return false;
    if (!lay_out(p, e->right, depth + 1, &step.right_from, &step.right)) return false;
    return add_step(p, step, from, at);
}

// x[i]<-value with x a name and i a constant or a name.
static bool lay_out_indexed_assignment(LeanStep *step, i64 target) {
    const ExprEntry *t = entry_of(target);
    if (!t || t->kind != 'P' || t->code != P_INDEX) return false;
    if (!node_in_table(t->left) || parse_node_table[t->left].kind != 'V') return false;
    step->kind = STEP_INDEX_ASSIGN;
    step->target = t->left;
    return leaf(t->right, &step->left_from, &step->left);
}

// Appends the steps of node's tree; *from and *at say where its value is.
// False when the tree is not lean.
static bool lay_out(LeanProgram *p, i64 node, i64 depth, char *from, i64 *at) {
    if (!node_in_table(node) || depth > LEAN_DEPTH_MAX) return false;
    const ParseNode *n = &parse_node_table[node];
    if (n->kind == 'C') {
        if (n->index < 0 || n->index >= CONSTANT_CAP) return false;
        *from = FROM_CONSTANT;
        *at = n->index;
        return true;
    }
    if (n->kind == 'V') {
        *from = FROM_NAME;
        *at = node;
        return true;
    }
    if (n->kind != 'F' || n->index < 0 || n->index > lstfndx || n->index >= EXPR_ENTRY_CAP) return false;
    const ExprEntry *e = &expr_entry_table[n->index];
    if (e->kind != 'P') return false;
    if (e->code == P_INDEX) return lay_out_index(p, e, node, depth, from, at);
    LeanStep step = {STEP_APPLY, FROM_NONE, FROM_NONE, -1, -1, node, e->code, -1, -1, nullptr};
    if (!lay_out(p, e->right, depth + 1, &step.right_from, &step.right)) return false;
    if (e->code == P_ASSIGN) {
        if (node_in_table(e->left) && parse_node_table[e->left].kind == 'V') {
            // name<-f ...: the application assigns its value itself
            LeanStep *made = step.right_from == FROM_STEP ? &p->steps[step.right] : nullptr;
            if (made && made->kind == STEP_APPLY && made->target < 0) {
                made->target = e->left;
                made->assign_node = node;
                *from = FROM_STEP;
                *at = step.right;
                return true;
            }
            step.kind = STEP_ASSIGN;
            step.target = e->left;
            step.assign_node = node;
        } else if (!lay_out_indexed_assignment(&step, e->left)) return false;
        return add_step(p, step, from, at);
    }
    step.single = e->right >= 0 ? single_item_handler(e->code, e->left < 0 ? 1 : 2) : nullptr;
    if (!step.single) return false;
    if (e->left >= 0) {
        if (step.right_from != FROM_STEP && node_in_table(e->left) && parse_node_table[e->left].kind == 'F') {
            LeanStep check = {STEP_CHECK, FROM_NONE, step.right_from, -1, step.right, node, 0, -1, -1, nullptr};
            char f;
            i64 a;
            if (!add_step(p, check, &f, &a)) return false;
        }
        if (!lay_out(p, e->left, depth + 1, &step.left_from, &step.left)) return false;
    }
    return add_step(p, step, from, at);
}

static void lean_walk_decide(StatementNode *s) {
    LeanProgram p;
    p.count = 0;
    char from;
    i64 at;
    s->lean = -1;
    if (s->root < 0 || !lay_out(&p, s->root, 0, &from, &at) || from != FROM_STEP) return;
    const LeanStep &last = p.steps[p.count - 1];
    const BranchEntry *b = s->branch > 0 && s->branch < BRANCH_CAP ? &branch_table[s->branch] : nullptr;
    p.hides_value = last.kind == STEP_INDEX_ASSIGN || last.target >= 0;
    p.folds_not = b && b->true_target != BRANCH_TO_VALUE && b->false_target >= 0 && last.kind == STEP_APPLY &&
                  last.code == P_NOT && last.left_from == FROM_NONE && last.target < 0;
    s->program = (LeanProgram *)malloc(sizeof p);
    if (!s->program) return;
    *s->program = p;
    s->lean = 1;
}


// A lean statement takes fewer temporaries than the full walk (at most one
// per step, at most 32 steps, and what a general handler takes for
// itself), so it runs only with this many free; otherwise the full walk
// fails where it always did.
enum : i64 { LEAN_TEMPORARIES = 128 };

static inline bool takes_lean_walk(StatementNode *s, i64 temps) {
    if (!single_item_paths_allowed) return false;
    if (s->lean == 0) lean_walk_decide(s);
    return s->lean > 0 && temps < (i64)LAST_TEMP_SLOT - LEAN_TEMPORARIES;
}

void free_lean_program(StatementNode *s) {
    free(s->program);
    s->program = nullptr;
    s->lean = 0;
}

// ---- Running the steps ------------------------------------------------------------------
// A value on the way is a descriptor: a constant, a value slot, or a single
// item held in the walk, which goes into an evaluator temporary only when
// something needs it in a slot.

static inline const ValueDescriptor *fetch(char from, i64 at, const ValueDescriptor *const *values) {
    if (from == FROM_STEP) return values[at];
    if (from == FROM_CONSTANT) return &constants_table[at];
    i64 slot = parse_node_table[at].index;
    return slot >= 0 && slot < SLOT_COUNT ? &value_slot_table[slot] : nullptr;
}

static inline bool holds_value(const ValueDescriptor *d) { return d && d->rank >= 0; }

static bool is_constant(const ValueDescriptor *d) { return d >= constants_table && d < constants_table + CONSTANT_CAP; }
static bool is_slot(const ValueDescriptor *d) { return d >= value_slot_table && d < value_slot_table + SLOT_COUNT; }

// The reference (c, v) of a value; a held item is put in a temporary first.
static int reference_of(const ValueDescriptor **d, i64 *c, i64 *v) {
    if (is_constant(*d)) {
        *c = *d - constants_table;
        *v = -1;
        return 0;
    }
    *c = -1;
    if (is_slot(*d)) {
        *v = *d - value_slot_table;
        return 0;
    }
    if (take_temporary(&eval_temp_counter, v)) return (int)error_number;
    ValueDescriptor *t = &value_slot_table[*v];
    *t = **d;
    t->data = &t->dim0;    // held values are all single items
    *d = t;
    return 0;
}

// The general path of one application, as the full walk takes it.
static int apply_handler(i64 code, const ValueDescriptor **out, const ValueDescriptor *l, const ValueDescriptor *r) {
    i64 lc = -1, lv = -1, rc, rv, result;
    if (reference_of(&r, &rc, &rv) || (l && reference_of(&l, &lc, &lv))) return (int)error_number;
    if (take_temporary(&eval_temp_counter, &result)) return (int)error_number;
    *out = &value_slot_table[result];
    return apply_primitive(code, result, lc, lv, rc, rv);
}

// A name that is none of the system variables the assignment checks.
static inline bool plain_variable(i64 slot) { return is_heap_slot(slot) && slot != SLOT_RL && slot != SLOT_PP; }

static int assign_step(const LeanStep *step, const ValueDescriptor *r, const ValueDescriptor **out) {
    i64 slot = parse_node_table[step->target].index;
    if (!(plain_variable(slot) && assign_inline_item(&value_slot_table[slot], r))) {
        i64 rc, rv;
        if (reference_of(&r, &rc, &rv) || assign_name(slot, rc, rv)) return (int)error_number;
    }
    *out = slot == SLOT_OUT || slot == SLOT_OUT_OPEN ? r : &value_slot_table[slot];
    return 0;
}

// The reference of an operand as the full walk passes it (a name bound to
// no slot included); a held item is put in a temporary first.
static int source_reference(char from, i64 at, const ValueDescriptor *const *values, i64 *c, i64 *v) {
    if (from == FROM_CONSTANT) { *c = at; *v = -1; return 0; }
    if (from == FROM_NAME) { *c = -1; *v = parse_node_table[at].index; return 0; }
    const ValueDescriptor *d = values[at];
    return reference_of(&d, c, v);
}

// The full walk keeps one index in an operand frame on the shape pool
// while it is used; it fails with 9 when the frame does not fit.
static bool index_frame_fits() { return nxtglx + 1 + 4 <= SHAPE_POOL_CAP; }

// A[I] as the full walk takes it: the index (already evaluated), its
// frame, then the array, which must hold a value.
static int index_step(const LeanStep *step, const ValueDescriptor **values, i64 k, ValueDescriptor *item) {
    if (!index_frame_fits()) return fail(VEK_GLIST_FULL);
    const ValueDescriptor *a = fetch(step->left_from, step->left, values);
    if (!holds_value(a)) return fail(VEK_VALUE);
    const ValueDescriptor *i = fetch(step->right_from, step->right, values);
    SingleIndexHandler single = single_index_handler();
    if (single && holds_value(i) && is_inline_value(i) && single(a, i, current_io_slot, item)) {
        values[k] = item;
        return 0;
    }
    i64 ac, av, ic, iv, frame, result;
    if (source_reference(step->right_from, step->right, values, &ic, &iv) ||
        source_reference(step->left_from, step->left, values, &ac, &av))
        return (int)error_number;
    if (push_operand_frame(1, &ic, &iv, &frame)) return (int)error_number;
    if (take_temporary(&eval_temp_counter, &result)) {
        pop_operand_frame(frame);
        return (int)error_number;
    }
    values[k] = &value_slot_table[result];
    IndexHandler h = bracket_index_handler();
    int r = h ? h(result, ac, av, ic, iv, nullptr, nullptr, 0, current_io_slot)
              : dispatch_primitive(P_INDEX, result, ac, av, ic, iv);
    pop_operand_frame(frame);
    if (r) return fail(r);
    free_scratch();
    return 0;
}

// A[I]<-B as the full walk takes it: B (already evaluated) must hold a
// value, then A, then the index goes into its frame. The statement's value
// is B.
static int index_assign_step(const LeanStep *step, const ValueDescriptor **values, i64 k) {
    const ValueDescriptor *b = fetch(step->right_from, step->right, values);
    if (!holds_value(b)) return fail(VEK_VALUE);
    i64 slot = parse_node_table[step->target].index;
    if (slot < 0 || slot >= SLOT_COUNT || value_slot_table[slot].rank < 0) return fail(VEK_VALUE);
    if (!index_frame_fits()) return fail(VEK_GLIST_FULL);
    IndexedAssignHandler h = indexed_assign_handler();
    if (!h) return fail(VEK_NOT_IMPLEMENTED);
    const ValueDescriptor *i = fetch(step->left_from, step->left, values);
    values[k] = b;
    SingleIndexedAssignHandler single = single_indexed_assign_handler();
    if (single && holds_value(i) && is_inline_value(i) && is_inline_value(b) && single(slot, i, b, current_io_slot))
        return 0;
    i64 ic, iv, bc, bv, frame;
    if (source_reference(step->right_from, step->right, values, &bc, &bv) ||
        source_reference(step->left_from, step->left, values, &ic, &iv))
        return (int)error_number;
    values[k] = bc >= 0 ? &constants_table[bc] : &value_slot_table[bv];
    if (push_operand_frame(1, &ic, &iv, &frame)) return (int)error_number;
    int r = h(slot, ic, iv, nullptr, nullptr, 0, bc, bv, current_io_slot);
    pop_operand_frame(frame);
    if (r) return fail(r);
    free_scratch();
    return 0;
}

// A single boolean, as a branch condition reads it at once.
static bool one_boolean(const ValueDescriptor *d) {
    return d && d->type == T_BOOL && is_inline_value(d) && (d->dim0 == 0 || d->dim0 == 1);
}

// Runs the steps; on failure *failed is the node that failed. With fold, a
// final not of one boolean is left out: its operand is the value and
// *negated is set.
static int run_steps(const LeanProgram *p, bool fold, const ValueDescriptor **values, ValueDescriptor *items,
                     i64 *failed, bool *negated) {
    const i64 count = p->count, last = fold ? count - 1 : count;
    for (i64 k = 0; k < count; k++) {
        const LeanStep *step = &p->steps[k];
        *failed = step->node;
        if (interrupt_requested()) return fail(INTERRUPT_ERROR);
        if (k == last) {
            const ValueDescriptor *c = fetch(step->right_from, step->right, values);
            if (one_boolean(c)) {
                values[k] = c;
                *negated = true;
                return 0;
            }
        }
        if (step->kind == STEP_INDEX) {
            if (index_step(step, values, k, &items[k])) return (int)error_number;
            continue;
        }
        if (step->kind == STEP_INDEX_ASSIGN) {
            if (index_assign_step(step, values, k)) return (int)error_number;
            continue;
        }
        const ValueDescriptor *r = fetch(step->right_from, step->right, values);
        if (!holds_value(r)) return fail(VEK_VALUE);
        if (step->kind == STEP_CHECK) continue;
        if (step->kind == STEP_ASSIGN) values[k] = r;
        else {
            const ValueDescriptor *l = nullptr;
            if (step->left_from != FROM_NONE) {
                l = fetch(step->left_from, step->left, values);
                if (!holds_value(l)) return fail(VEK_VALUE);
            }
            if (is_inline_value(r) && (!l || is_inline_value(l)) && step->single(step->code, l, r, &items[k]))
                values[k] = &items[k];
            else if (apply_handler(step->code, &values[k], l, r))
                return (int)error_number;
        }
        if (step->target >= 0) {
            *failed = step->assign_node;
            if (assign_step(step, values[k], &values[k])) return (int)error_number;
        }
    }
    return 0;
}


// Where a lean statement keeps its values on the way; the line loop owns
// it, so a condition held there is read in place by the branch. With it
// the stack's limit, found once per call.
struct LeanRoom {
    const ValueDescriptor *values[LEAN_STEPS_MAX];
    ValueDescriptor items[LEAN_STEPS_MAX];
    const char *stack_limit;
};

// What a statement leaves: its value as a reference (c, v), or, for a
// branch condition of a lean statement, a single item held in its room
// (negated when it is the condition without its final not).
struct LeanValue {
    i64 c, v;
    const ValueDescriptor *held;
    bool negated;
};

enum LeanWant { VALUE_UNUSED, VALUE_IN_SLOT, VALUE_HELD };

static int run_lean_walk(const StatementNode *s, i64 temps, LeanWant want, LeanRoom *room,
                         LeanValue *out, i64 *fail_node) {
    const LeanProgram *p = s->program;
    const ValueDescriptor **values = room->values;
    eval_temp_counter = temps;
    out->c = out->v = -1;
    out->held = nullptr;
    out->negated = false;
    // as in the full walk, an application finds the stack nearly spent
    char here;
    i64 failed = -1, last = p->count - 1;
    bool fold = p->folds_not && want == VALUE_HELD;
    int r = &here < room->stack_limit ? fail(VEK_STACK_FULL) : run_steps(p, fold, values, room->items, &failed, &out->negated);
    if (!r && want != VALUE_UNUSED) {
        const ValueDescriptor *x = values[last];
        if (want == VALUE_HELD && !is_constant(x) && !is_slot(x)) out->held = x;
        else r = reference_of(&x, &out->c, &out->v);
    }
    if (r) {
        if (error_number == 0) error_number = r;
        if (fail_node) *fail_node = failed >= 0 ? failed : s->root;
        return (int)error_number;
    }
    return 0;
}

static bool is_integral_type(i64 t) { return t == T_BOOL || t == T_INT; }

static i64 element_as_int(const ValueDescriptor *d, i64 i)
{
    const void *p = is_inline_value(d) ? (const void *)&d->dim0 : d->data;
    return ((const i64 *)p)[i];
}

// Reads a condition item as 0 or 1; -1 when it is neither (type error).
static i64 condition_item(const ValueDescriptor *d, i64 i)
{
    if (d->type == T_FLOAT) {
        const void *p = is_inline_value(d) ? (const void *)&d->dim0 : d->data;
        double x = ((const double *)p)[i];
        return x == 0.0 ? 0 : x == 1.0 ? 1 : -1;
    }
    i64 v = element_as_int(d, i);
    return v == 0 || v == 1 ? v : -1;
}

enum : i64 { NEXT_LINE = -1, LEAVE = 0 };

// Decides where a branch statement goes: a line number, LEAVE, or NEXT_LINE.
// The condition is read, never demoted in place.
static int resolve_branch(const StatementNode *s, const LeanValue *x, i64 *target)
{
    i64 c = x->c, v = x->v;
    const BranchEntry *b = &branch_table[s->branch];
    if (s->branch == 0) { *target = LEAVE; return 0; }
    if (b->true_target != BRANCH_TO_VALUE && b->false_target < 0) {
        *target = b->true_target;
        return 0;
    }
    // a condition held as a single item is a number, never shown as a char
    const ValueDescriptor *d = x->held ? x->held : s->root >= 0 ? operand_ref(c, v) : nullptr;
    if (!d || d->rank < 0) return (int)(error_number = VEK_VALUE);
    // the test that ends most loops: one boolean item (its opposite when the not was left out)
    if (b->true_target != BRANCH_TO_VALUE && one_boolean(d)) {
        *target = (d->dim0 == 1) != x->negated ? b->true_target : b->false_target;
        return 0;
    }
    if (b->true_target == BRANCH_TO_VALUE) {
        if (d->type == T_CHAR) {
            int rc = display_statement_value(s->root, c, v);
            if (rc) return rc;
            *target = NEXT_LINE;
            return 0;
        }
        if (!is_integral_type(d->type)) return (int)(error_number = VEK_TYPE);
        if (d->count == 0) { *target = NEXT_LINE; return 0; }
        if (d->rank > 1 || d->count != 1) return (int)(error_number = VEK_BRANCH_RESTRICTION);
        i64 t = element_as_int(d, 0);
        *target = t < 0 ? NEXT_LINE : t;
        return 0;
    }
    if (d->rank > 1) return (int)(error_number = VEK_BRANCH_FORMAT);
    if (!is_integral_type(d->type) && d->type != T_FLOAT) return (int)(error_number = VEK_TYPE);
    for (i64 i = 0; i < d->count; i++)
        if (condition_item(d, i) < 0) return (int)(error_number = VEK_TYPE);
    if (d->count == 0) { *target = b->false_target; return 0; }
    if (d->count == 1) {
        *target = condition_item(d, 0) == 1 ? b->true_target : b->false_target;
        return 0;
    }
    i64 targets[OVERFLOW_CAP + 1];
    i64 n = 0;
    targets[n++] = b->true_target;
    for (i64 i = b->list_start; i >= 0 && i < OVERFLOW_CAP && overflow_table[i] != -1; i++)
        targets[n++] = overflow_table[i];
    if (d->count != n) return (int)(error_number = VEK_LENGTH);
    *target = b->false_target;
    for (i64 i = 0; i < n; i++)
        if (condition_item(d, i) == 1) { *target = targets[i]; break; }
    return 0;
}

static int fail_at_line(i64 k, i64 row, i64 line, const LineTrace *t)
{
    state_indicator[call_level(k)] = {row, line};
    fill_suspension_record(row, line, t);
    return (int)error_number;
}

static int run_lines(i64 row, i64 k, i64 io_slot, i64 temps);

int run_function_lines(i64 row, i64 k, i64 io_slot, i64 temps)
{
    // The handlers read the origin in force through current_io_slot: it is
    // this call's while its lines run (a full walk sets its own and puts
    // this one back), and the caller's again afterwards.
    i64 outer_io = current_io_slot;
    current_io_slot = io_slot;
    int r = run_lines(row, k, io_slot, temps);
    current_io_slot = outer_io;
    return r;
}

static int run_lines(i64 row, i64 k, i64 io_slot, i64 temps)
{
    FunctionEntry *f = &function_table[row];
    i64 n = f->line_counts ? f->line_counts[0] : 0;
    LineTrace trace;
    trace.executed = 0;
    i64 ring_at = 0;    // executed % TRACE_RING, kept without dividing
    i64 saved_stacktop = stacktop;
    LeanRoom room;
    room.stack_limit = platform_stack_limit(STACK_MARGIN);
    i64 line = 1;
    while (line >= 1 && line <= n) {
        state_indicator[call_level(k)].line = line;
        if (interrupt_requested()) {
            error_number = INTERRUPT_ERROR;
            if (error_position < 0) error_position = 0;
            return fail_at_line(k, row, line, &trace);
        }
        trace.ring[ring_at] = line;
        ring_at = ring_at + 1 == TRACE_RING ? 0 : ring_at + 1;
        trace.executed++;
        i64 next = line + 1;
        for (StatementNode *s = f->line_lists[line]; s; s = s->next) {
            i64 failed_node = -1;
            LeanValue x = {-1, -1, nullptr, false};   // the statement's value
            bool shown = true;   // an assignment shows nothing: its display is not even asked
            if (s->root >= 0) {
                error_number = 0;
                int rc;
                if (takes_lean_walk(s, temps)) {
                    shown = !s->program->hides_value;
                    LeanWant want = s->branch >= 0 ? VALUE_HELD : shown ? VALUE_IN_SLOT : VALUE_UNUSED;
                    rc = run_lean_walk(s, temps, want, &room, &x, &failed_node);
                } else rc = evaluate_tree(s->root, s->start, temps, 0, io_slot, &x.c, &x.v, &failed_node);
                if (rc || error_number) {
                    if (!error_number) error_number = rc;
                    if (error_position < 0) {
                        i64 at = failed_node >= 0 && failed_node < PARSE_NODE_CAP
                                     ? parse_node_table[failed_node].pos : 0;
                        error_position = s->offset + (at > 0 ? at : 0);
                    }
                    return fail_at_line(k, row, line, &trace);
                }
            }
            if (s->branch < 0) {
                if (s->root >= 0 && shown && display_statement_value(s->root, x.c, x.v)) {
                    if (error_position < 0) error_position = s->offset;
                    return fail_at_line(k, row, line, &trace);
                }
                continue;
            }
            i64 target;
            if (resolve_branch(s, &x, &target)) {
                if (error_position < 0) error_position = s->offset;
                return fail_at_line(k, row, line, &trace);
            }
            next = target == NEXT_LINE ? line + 1 : target;
            break;
        }
        // this line's temporaries are done with, and so are the blocks they hold
        if (temporaries_taken_above(temps)) release_temporaries_above(temps);
        stacktop = saved_stacktop;
        line = next;
    }
    return 0;
}

