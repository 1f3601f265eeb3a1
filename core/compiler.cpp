// The statement compiler: reads one statement left to right, making
// constants, variables and applications as it meets them, and at each
// closing point links the pending pieces from the right, so every function
// takes everything to its right as its right operand. Branch statements
// ("->") become branch entries. The compiled form is described in compiler.h.
#include "errors.h"
#include "compiler.h"
#include "lexer.h"
#include "scan.h"
#include "tables.h"
#include "names.h"
#include "symbols.h"
#include "arena.h"
#include "storage.h"
#include <cstring>
#include <cstdlib>
#include <cmath>

i64 compiled_root = -1, compiled_start = -1;

enum : i64 { WAITING = -2 };   // right operand of a function not yet linked

// A growable array; the compiler's stacks never have a fixed depth.
template <class T> struct Grow {
    T *v = nullptr;
    i64 n = 0, cap = 0;
    bool push(const T &x) {
        if (n == cap) {
            i64 c = cap ? cap * 2 : 32;
            T *nv = (T *)realloc(v, c * sizeof(T));
            if (!nv) return false;
            v = nv; cap = c;
        }
        v[n++] = x;
        return true;
    }
    T &top() { return v[n - 1]; }
};

// An open parenthesis, index bracket or table-constructor section.
struct Group {
    char kind;          // '(' list or group, '[' index, 'T' constructor body, 'K' its keys
    i64 marker;         // position in `pending` of this group's -1 marker
    i64 items_start;    // first item of this group in `items`
    i64 semis;          // ';' seen
    i64 node;           // '[': the code-1 node; 'T': the key chain (-1 none)
    i64 pos;            // where it opened
};

static struct Compiler {
    char *s = nullptr;          // private copy of the statement, NUL at its end
    i64 cap = 0;
    char *cls = nullptr;        // class string
    i64 row, line_no, io_slot;
    bool value;                 // a value stands to the left
    bool after_dot;             // the dot primitive was just read
    bool each_dyadic;           // a dyadic each waits for its function
    i64 niladic_node;           // a result-less niladic call, which must stand alone
    Grow<i64> pending;
    Grow<Group> groups;
    Grow<i64> items;
} C;

static int cerr(int number, i64 pos) {
    parse_error_position = pos;
    error_number = number;
    return number;
}

static int table_full() { return error_number ? (int)error_number : (int)(error_number = VEK_TABLE_FULL); }

static int push_pending(i64 node) { return C.pending.push(node) ? 0 : cerr(VEK_WS_FULL, scan_pos); }

// ---- Nodes and applications -----------------------------------------------------

static i64 new_node(char kind, i64 index, i64 pos, i64 local = -1) {
    i64 n = alloc_table_entry('N', -1);
    if (n < 0) { table_full(); parse_error_position = pos; return -1; }
    ParseNode *p = &parse_node_table[n];
    p->kind = kind; p->index = index; p->parent = -1; p->local = local; p->pos = pos;
    return n;
}

static void set_parent(i64 node, i64 parent) { if (node >= 0) parse_node_table[node].parent = parent; }

static i64 new_apply(char kind, i64 code, i64 left, i64 right, i64 pos) {
    i64 e = alloc_table_entry('E', -1);
    if (e < 0) { table_full(); parse_error_position = pos; return -1; }
    i64 n = new_node('F', e, pos);
    if (n < 0) return -1;
    expr_entry_table[e] = {kind, code, left, right};
    set_parent(left, n);
    if (right >= 0) set_parent(right, n);
    return n;
}

static ExprEntry *entry_of(i64 node) {
    const ParseNode *p = &parse_node_table[node];
    return p->kind == 'F' ? &expr_entry_table[p->index] : nullptr;
}

static bool is_waiting(i64 node) {
    const ExprEntry *e = node >= 0 ? entry_of(node) : nullptr;
    return e && e->right == WAITING;
}

static i64 node_code(i64 node) {
    const ExprEntry *e = entry_of(node);
    return e && e->kind == 'P' ? e->code : -1;
}

static i64 pop_value() { return C.pending.v[--C.pending.n]; }

// Pushes a finished value, or fails when one already stands to the left.
static int push_value(i64 node, int error_if_value, i64 pos) {
    if (C.value) return cerr(error_if_value, pos);
    if (node < 0) return (int)error_number;
    int r = push_pending(node);
    C.value = true;
    return r;
}

// Links the pending nodes above `marker` from the right; the remaining
// node (or -1 when the segment is empty) goes to *out, and the segment is
// emptied down to its marker.
static int link_segment(i64 marker, i64 *out) {
    i64 top = C.pending.n - 1;
    *out = -1;
    if (top == marker) return 0;
    i64 right = C.pending.v[top];
    if (is_waiting(right)) return cerr(VEK_VALENCE, parse_node_table[right].pos);
    for (i64 i = top - 1; i > marker; i--) {
        i64 f = C.pending.v[i];
        if (!is_waiting(f)) return cerr(VEK_SYNTAX, parse_node_table[f].pos);
        entry_of(f)->right = right;
        set_parent(right, f);
        right = f;
    }
    C.pending.n = marker + 1;
    *out = right;
    return 0;
}

// ;(i1, ;(i2, ... ;(in, END))) with END a 'V' node of slot 0.
static int build_chain(const i64 *list, i64 n, i64 pos, i64 *out) {
    i64 right = new_node('V', LIST_END_SLOT, pos);
    if (right < 0) return (int)error_number;
    for (i64 i = n - 1; i >= 0; i--) {
        right = new_apply('P', 2, list[i], right, parse_node_table[list[i]].pos);
        if (right < 0) return (int)error_number;
    }
    *out = right;
    return 0;
}

static bool is_chain_link(i64 node) { return node >= 0 && node_code(node) == P_LIST; }

static bool is_list_end(i64 node) {
    const ParseNode *p = &parse_node_table[node];
    return p->kind == 'V' && p->index == LIST_END_SLOT;
}

// A strand-assignment target: a chain whose items are all variables.
static bool is_variable_chain(i64 node) {
    if (!is_chain_link(node)) return false;
    while (is_chain_link(node)) {
        const ExprEntry *e = entry_of(node);
        if (parse_node_table[e->left].kind != 'V' || is_list_end(e->left)) return false;
        node = e->right;
    }
    return is_list_end(node);
}

// ---- Index origin and axes -----------------------------------------------------

static int index_origin(i64 *io) {
    i64 slot = C.io_slot >= 0 && C.io_slot < SLOT_COUNT ? C.io_slot : SLOT_IO;
    const ValueDescriptor *d = &value_slot_table[slot];
    bool scalar = d->rank == 0 || (d->rank == 1 && d->count == 1);
    if ((d->type != T_BOOL && d->type != T_INT) || !scalar || (d->dim0 != 0 && d->dim0 != 1))
        return 24;
    *io = d->dim0;
    return 0;
}

// The axis form of the primitive `base` (one whose row takes an axis: with
// a left argument compress, expand, catenate or rotate, without one
// reverse) from the bracket at scan_pos.
static int read_axis(i64 base, i64 *code) {
    i64 open = scan_pos, p = skip_blanks(C.s, open + 1, BLANKS_ONLY);
    if (C.s[p] == '-') C.s[p] = '_';       // a minus here is the negative sign
    if (!(C.s[p] >= '0' && C.s[p] <= '9') && C.s[p] != '_') return cerr(VEK_AXIS_RESTRICTION, p);
    scan_pos = p;
    i64 k;
    int r = scan_numeric_vector(C.s, &k);
    if (r) return cerr(VEK_AXIS_RESTRICTION, p);
    const ValueDescriptor *d = &constants_table[k];
    if (d->count != 1 || (d->type != T_INT && d->type != T_FLOAT)) return cerr(VEK_AXIS_RESTRICTION, p);
    double a;
    if (d->type == T_INT) a = (double)d->dim0; else memcpy(&a, &d->dim0, 8);
    scan_pos = skip_blanks(C.s, scan_pos, BLANKS_ONLY);
    if (C.s[scan_pos] != ']') return cerr(VEK_RBRACKET_EXPECTED, scan_pos);
    scan_pos++;
    i64 io;
    if ((r = index_origin(&io))) return cerr(r, p);
    if (!std::isfinite(a)) return cerr(VEK_AXIS_RESTRICTION, p);
    double dist = a - (double)io;
    if (a == std::floor(a)) {
        if (dist <= -1) return cerr(VEK_AXIS_SPEC, p);
        if (dist > 5) return cerr(VEK_AXIS_RESTRICTION, p);
        i64 ax = (i64)dist;
        switch (base) {
        case P_CATENATE: *code = catenate_axis_code(ax); return 0;
        case P_ROTATE: *code = rotate_axis_code(ax); return 0;
        case P_REVERSE: *code = reverse_axis_code(ax); return 0;
        case P_REPLICATE: if (ax) return cerr(VEK_NOT_IMPLEMENTED, p); *code = P_REPLICATE_FIRST; return 0;   // no replicate along axes 2..6
        default: if (ax) return cerr(VEK_NOT_IMPLEMENTED, p); *code = P_EXPAND_FIRST; return 0;               // nor expand
        }
    }
    if (base == P_CATENATE && dist > -1) {
        i64 c = laminate_code((i64)std::ceil(dist));
        if (c > P_LAMINATE_AXIS_LAST) return cerr(VEK_NOT_IMPLEMENTED, p);
        *code = c;
        return 0;
    }
    return cerr(dist <= -1 ? 28 : 27, p);
}

// ---- Primitive symbols -------------------------------------------------------------

// f' of reduce and scan: a glyph whose dyadic meaning is a scalar function
// counts in that meaning however it was read (`<` as less, not grade up);
// any other in its own (the dyadic code of a pair). None above 700.
static int reduce_operand(Token tok, i64 *f) {
    i64 d = glyph_dyadic_code(tok);
    if (code_is_scalar(d)) { *f = d; return 0; }
    if (token_code_table[tok] < 0 || token_code_table[tok] > 700) return 16;
    *f = token_dyadic_code(tok);
    return 0;
}

// After f and ':' a scalar function or membership makes an inner product
// f:g of the dyadic code f; else ':' stays.
static bool read_inner_product(i64 f, i64 *code) {
    i64 save = scan_pos;
    if (C.s[save] != ':') return false;
    scan_pos = save + 1;
    if (class_of(C.s[scan_pos]) != 'P') { scan_pos = save; return false; }
    Token g_tok = primitive_token_code(C.s, 1);
    i64 g = token_dyadic_code(g_tok);
    if (g == P_MEMBER || code_is_scalar(g)) {
        scan_pos++;
        *code = inner_code(f, g);
        return true;
    }
    scan_pos = save;
    return false;
}

static int compile_assignment(i64 pos) {
    if (!C.value) return cerr(VEK_SYNTAX, pos);
    i64 target = pop_value();
    const ParseNode *t = &parse_node_table[target];
    i64 code = node_code(target);
    bool ok = t->kind == 'V' || t->kind == 'Z' || code == P_INDEX || code == P_EXECUTE || is_variable_chain(target);
    if (!ok) return cerr(VEK_SYNTAX, pos);
    i64 n = new_apply('P', P_ASSIGN, target, WAITING, pos);
    if (n < 0) return (int)error_number;
    C.value = false;
    return push_pending(n);
}

static int compile_primitive() {
    i64 pos = scan_pos;
    bool left = C.value, dyadic = left || C.each_dyadic;
    Token tok = primitive_token_code(C.s, dyadic);
    scan_pos++;
    // brackets, ';' and the []names are read where they stand, never here
    if (tok == TOK_NONE || tok == TOK_INDEX || tok == TOK_LIST || tok == TOK_SYSTEM_NAME || tok == TOK_OPEN_OUTPUT)
        return cerr(VEK_SYNTAX, pos);
    if (tok == TOK_ASSIGN) return compile_assignment(pos);
    if (tok == TOK_BRANCH) return cerr(VEK_BRANCH_RESTRICTION, pos);
    i64 code = token_code_table[tok];
    bool takes_axis = token_takes_axis(tok);
    bool axis_here = C.s[scan_pos] == '[' && C.s[scan_pos + 1] != ']';
    if (dyadic) {
        code = token_dyadic_code(tok);
        i64 base = code;
        if (code_is_scalar(code)) read_inner_product(code, &code);
        if (takes_axis && axis_here) {
            int r = read_axis(base, &code);
            if (r) return r;
        }
    } else if (tok == TOK_EACH) {
        code = P_EACH;
    } else if ((C.s[scan_pos] == '/' && C.s[scan_pos + 1] != '/') || C.s[scan_pos] == '\\') {
        i64 f;
        if (reduce_operand(tok, &f)) return cerr(VEK_SYNTAX, pos);
        bool reduce = C.s[scan_pos] == '/';
        scan_pos++;
        bool first_axis = C.s[scan_pos] == '.';
        if (first_axis) scan_pos++;
        code = reduce ? reduce_code(f, first_axis) : scan_code(f, first_axis);
    } else if (code_is_dyadic_only(code)) {
        return cerr(VEK_LEFT_MISSING, pos);
    } else if (takes_axis && axis_here) {
        if (!code_takes_axis(code)) return cerr(VEK_SYNTAX, scan_pos);   // ravel takes none
        int r = read_axis(code, &code);
        if (r) return r;
    }
    C.each_dyadic = tok == TOK_EACH && left;
    i64 l = left ? pop_value() : -1;
    i64 n = new_apply('P', code, l, WAITING, pos);
    if (n < 0) return (int)error_number;
    C.value = false;
    return push_pending(n);
}

// ---- Names ---------------------------------------------------------------------------

static bool in_constructor() {
    for (i64 i = 0; i < C.groups.n; i++)
        if (C.groups.v[i].kind == 'T' || C.groups.v[i].kind == 'K') return true;
    return false;
}

static bool at_constructor_item_start() {
    if (!C.groups.n) return false;
    const Group &g = C.groups.top();
    return (g.kind == 'T' || g.kind == 'K') && C.pending.n - 1 == g.marker;
}

static int variable_node(const OperandRef &op, i64 pos, i64 *node) {
    *node = new_node('V', op.index, pos, op.local);
    return *node < 0 ? (int)error_number : 0;
}

// A column name of a table constructor: c<-value, or a lone c meaning c<-c.
static int compile_column_name(i64 pos) {
    if (C.value) return cerr(VEK_NAME_LETTER, pos);
    if (scan_identifier(C.s) < 0) return cerr(VEK_PARSE, pos);
    i64 after = scan_pos;
    i64 sym = intern_symbol(token_buf);
    if (sym < 0) return cerr(VEK_PARSE, pos);
    i64 c = alloc_table_entry('C', -1);
    if (c < 0) return cerr(table_full(), pos);
    ValueDescriptor *d = &constants_table[c];
    d->type = T_SYMBOL; d->rank = 0; d->dim0 = sym; d->count = 1; d->data = &d->dim0;
    i64 z = new_node('Z', c, pos);
    if (z < 0) return (int)error_number;
    char next = C.s[after];
    char close = C.groups.top().kind == 'K' ? ']' : ')';
    if (next == '<' && C.s[after + 1] == '-') return push_value(z, 8, pos);
    if (next != ';' && next != close) return cerr(VEK_SYNTAX, after);
    OperandRef op;
    scan_pos = pos;
    int r = resolve_name_operand(C.s, C.cls, &op, C.row, 0, 0);
    if (r) return cerr(r, pos);
    if (op.kind != OPERAND_VARIABLE && op.kind != OPERAND_LOCAL) return cerr(VEK_SYNTAX, pos);
    i64 v;
    if ((r = variable_node(op, pos, &v))) return r;
    scan_pos = after;
    i64 n = new_apply('P', P_ASSIGN, z, v, pos);
    return push_value(n, 8, pos);
}

// In x"f y the each entry holds x, and the function after it is dyadic.
static bool after_dyadic_each() {
    if (C.value || C.pending.n == 0 || C.pending.v[C.pending.n - 1] < 0) return false;
    const ExprEntry *e = entry_of(C.pending.v[C.pending.n - 1]);
    return e && e->kind == 'P' && e->code == P_EACH && e->left >= 0;
}

static int compile_function_name(const OperandRef &op, i64 pos) {
    const FunctionEntry *fe = &function_table[op.index];
    i64 valence = fe->valence;
    if (valence == 0) {
        if (C.value) return cerr(VEK_PARSE, pos);
        i64 n = new_apply('D', op.index, -1, -1, pos);
        if (n < 0) return (int)error_number;
        if (fe->result == -1) C.niladic_node = n;
        return push_value(n, 42, pos);
    }
    if (valence != 1 + (C.value || after_dyadic_each() ? 1 : 0)) return cerr(VEK_VALENCE, pos);
    i64 l = C.value ? pop_value() : -1;
    i64 n = new_apply('D', op.index, l, WAITING, pos);
    if (n < 0) return (int)error_number;
    C.value = false;
    return push_pending(n);
}

static int compile_name() {
    i64 pos = scan_pos;
    if (C.after_dot) {
        C.after_dot = false;
        i64 c;
        int r = make_symbol_constant(C.s, &c);
        if (r) return cerr(r, pos);
        return push_value(new_node('C', c, pos), 42, pos);
    }
    if (at_constructor_item_start()) return compile_column_name(pos);
    if (in_constructor() && C.value) return cerr(VEK_NAME_LETTER, pos);
    OperandRef op;
    int r = resolve_name_operand(C.s, C.cls, &op, C.row, 0, 0);
    if (r) return cerr(r, pos);
    if (op.kind == OPERAND_LABEL) return cerr(VEK_NAME_EXPECTED, pos);
    if (op.kind == OPERAND_FUNCTION) return compile_function_name(op, pos);
    if (C.value) return cerr(VEK_PARSE, pos);
    i64 v;
    if ((r = variable_node(op, pos, &v))) return r;
    return push_value(v, 42, pos);
}

// ---- Literals --------------------------------------------------------------------------

static int compile_literal(char cls) {
    i64 pos = scan_pos, c;
    int r;
    if (cls == 'N' || cls == 'M') {
        if (C.value) return cerr(VEK_MISSING_FUNCTION, pos);
        r = scan_numeric_vector(C.s, &c);
        if (r) return cerr(r, parse_error_position > pos ? parse_error_position : pos);
    } else {
        if (C.value) return cerr(VEK_NAME_LETTER, pos);
        if (C.s[pos] == '`') r = scan_symbol_literal(C.s, &c);
        else if (C.after_dot) r = make_symbol_constant(C.s, &c);
        else r = scan_char_constant(C.s, &c);
        if (r) return cerr(r, parse_error_position > pos ? parse_error_position : pos);
        C.after_dot = false;
    }
    return push_value(new_node('C', c, pos), 14, pos);
}

// n#_ : a one-item list holding an empty integer vector.
static int compile_empty_item_list(i64 pos) {
    i64 top = C.pending.n ? C.pending.top() : -1;
    if (C.value || top < 0 || !is_waiting(top) || node_code(top) != P_RESHAPE) return cerr(VEK_SYNTAX, pos);
    i64 c = alloc_table_entry('C', -1);
    if (c < 0) return cerr(table_full(), pos);
    constants_table[c].type = T_LIST;
    int r = alloc_slot_bytes(c, T_LIST, 1);
    if (r) return cerr(r, pos);
    ValueDescriptor *d = &constants_table[c];
    d->type = T_LIST; d->rank = 1; d->dim0 = 1; d->count = 1;
    if (!d->data) d->data = alloc_result;
    ValueDescriptor *item = (ValueDescriptor *)d->data;
    memset(item, 0, sizeof *item);
    item->type = T_INT; item->rank = 1;
    scan_pos = pos + 1;
    return push_value(new_node('C', c, pos), 16, pos);
}

// ---- Brackets ---------------------------------------------------------------------------

static int open_group(char kind, i64 pos, i64 node) {
    if (!C.pending.push(-1)) return cerr(VEK_WS_FULL, pos);
    Group g = {kind, C.pending.n - 1, C.items.n, 0, node, pos};
    if (!C.groups.push(g)) return cerr(VEK_WS_FULL, pos);
    C.value = false;
    return 0;
}

static int compile_system_name(i64 pos) {
    scan_pos = pos + 2;
    OperandRef op;
    int r = resolve_system_name_operand(C.s, &op, C.row);
    if (r == 1) return cerr(VEK_NOT_IMPLEMENTED, pos);
    if (r) return cerr(r, pos);
    if (op.kind != OPERAND_FUNCTION) {
        if (C.value) return cerr(VEK_PARSE, pos);
        i64 v;
        if ((r = variable_node(op, pos, &v))) return r;
        return push_value(v, 42, pos);
    }
    if (op.index == SF_TS || op.index == SF_INPUT)
        return push_value(C.value ? -1 : new_apply('P', op.index, -1, -1, pos), 42, pos);
    i64 l = C.value ? pop_value() : -1;
    i64 n = new_apply('P', op.index, l, WAITING, pos);
    if (n < 0) return (int)error_number;
    C.value = false;
    return push_pending(n);
}

static int compile_opener() {
    i64 pos = scan_pos;
    const char *s = C.s;
    if (s[pos] == '(') {
        if (C.value) return cerr(VEK_PAREN_MISSING_FUNCTION, pos);
        if (s[pos + 1] == ')') {
            i64 c = alloc_table_entry('C', -1);
            if (c < 0) return cerr(table_full(), pos);
            ValueDescriptor *d = &constants_table[c];
            d->type = T_LIST; d->rank = 1; d->dim0 = 0; d->count = 0;
            scan_pos = pos + 2;
            return push_value(new_node('C', c, pos), 19, pos);
        }
        if (s[pos + 1] == '[') {
            if (in_constructor()) return cerr(VEK_SYNTAX, pos);
            int r = open_group('T', pos, -1);
            if (!r) r = open_group('K', pos + 1, -1);
            scan_pos = skip_blanks(s, pos + 2, BLANKS_ONLY);
            return r;
        }
        int r = open_group('(', pos, -1);
        scan_pos = skip_blanks(s, pos + 1, BLANKS_ONLY);
        return r;
    }
    // '['
    if (s[pos + 1] == ']' && C.value && class_of(s[pos + 2]) != 'A') {
        // x[] : one elided position
        i64 n = new_apply('P', P_INDEX, pop_value(), -1, pos);
        if (n < 0) return (int)error_number;
        i64 e = new_node('V', LIST_END_SLOT, pos + 1);
        if (e < 0) return (int)error_number;
        entry_of(n)->right = e;
        set_parent(e, n);
        scan_pos = pos + 2;
        C.value = false;
        return push_value(n, 16, pos);
    }
    if (s[pos + 1] == ']') {
        if ((class_of(s[pos + 2]) == 'A')) return compile_system_name(pos);
        scan_pos = pos + 2;
        if (s[pos + 2] == '<' && s[pos + 3] == '-')
            return push_value(new_node('V', SLOT_OUT, pos), 42, pos);
        return push_value(C.value ? -1 : new_apply('P', SF_INPUT, -1, -1, pos), 42, pos);
    }
    if (s[pos + 1] == ')') {
        scan_pos = pos + 2;
        return push_value(new_node('V', SLOT_OUT_OPEN, pos), 42, pos);
    }
    if (!C.value) return cerr(VEK_SYNTAX, pos);
    i64 n = new_apply('P', P_INDEX, pop_value(), WAITING, pos);
    if (n < 0) return (int)error_number;
    scan_pos = pos + 1;
    return open_group('[', pos, n);
}

// The item just finished in the innermost group (at ';' or its closer).
static int finish_item(const Group &g, i64 pos, i64 *item) {
    int r = link_segment(g.marker, item);
    if (r) return r;
    if (*item >= 0) {
        if ((g.kind == 'T' || g.kind == 'K') &&
            !(node_code(*item) == P_ASSIGN && parse_node_table[entry_of(*item)->left].kind == 'Z'))
            return cerr(VEK_SYNTAX, parse_node_table[*item].pos);
        return 0;
    }
    if (g.kind == '[') {
        *item = new_node('V', LIST_END_SLOT, pos);   // an elided position
        return *item < 0 ? (int)error_number : 0;
    }
    return 0;
}

static int compile_semicolon() {
    i64 pos = scan_pos;
    if (!C.groups.n) return cerr(VEK_SYNTAX, pos);
    Group &g = C.groups.top();
    i64 item;
    int r = finish_item(g, pos, &item);
    if (r) return r;
    if (item < 0) return cerr(VEK_SYNTAX, pos);
    if (!C.items.push(item)) return cerr(VEK_WS_FULL, pos);
    g.semis++;
    C.value = false;
    scan_pos = skip_blanks(C.s, pos + 1, BLANKS_ONLY);
    return 0;
}

// Collects the group's items (with the last one) into a chain.
static int group_chain(const Group &g, i64 last, i64 pos, i64 *out) {
    if (last >= 0 && !C.items.push(last)) return cerr(VEK_WS_FULL, pos);
    i64 n = C.items.n - g.items_start;
    int r = n ? build_chain(C.items.v + g.items_start, n, pos, out) : 0;
    if (!n) *out = -1;
    C.items.n = g.items_start;
    return r;
}

static int compile_closer() {
    i64 pos = scan_pos;
    char close = C.s[pos];
    if (!C.groups.n) return cerr(VEK_UNPAIRED, pos);
    Group g = C.groups.top();
    char want = g.kind == '(' || g.kind == 'T' ? ')' : ']';
    if (close != want) return cerr(VEK_UNPAIRED, pos);
    i64 last;
    int r = finish_item(g, pos, &last);
    if (r) return r;
    if (last < 0 && g.semis && g.kind != '[') return cerr(VEK_SYNTAX, pos);
    i64 result = -1;
    if (g.kind == '(') {
        if (last < 0) return cerr(VEK_DOMAIN, pos);
        if (g.semis) r = group_chain(g, last, pos, &result);
        else result = last;
    } else if (g.kind == '[') {
        i64 right = last;
        if (g.semis) r = group_chain(g, last, pos, &right);
        if (r) return r;
        entry_of(g.node)->right = right;
        set_parent(right, g.node);
        result = g.node;
    } else {
        r = group_chain(g, last, pos, &result);
    }
    if (r) return r;
    C.groups.n--;
    C.pending.n = g.marker;
    scan_pos = pos + 1;
    if (g.kind == 'K') {
        // Keys done; the constructor body follows in the enclosing group.
        C.groups.top().node = result;
        C.value = false;
        scan_pos = skip_blanks(C.s, scan_pos, BLANKS_ONLY);
        return 0;
    }
    if (g.kind == 'T') {
        if (result < 0 && g.node < 0) return cerr(VEK_SYNTAX, pos);
        result = new_apply('P', P_TABLE_CONSTRUCTOR, g.node, result, g.pos);
        if (result < 0) return (int)error_number;
    }
    C.value = false;
    return push_value(result, 16, pos);
}

// ---- Expression scan ----------------------------------------------------------------

static int compile_dot() {
    i64 pos = scan_pos;
    const char *s = C.s;
    if (s[pos + 1] == ':') {
        if (!C.value) return cerr(VEK_UNDER_CONSTRUCTION, pos);
        scan_pos = pos + 2;
        i64 f = class_of(s[scan_pos]) == 'P' ? token_dyadic_code(primitive_token_code(s, 1)) : -1;
        if (!code_is_scalar(f)) return cerr(VEK_OUTER_NOT_DYADIC, pos + 2);
        scan_pos++;
        i64 n = new_apply('P', outer_code(f), pop_value(), WAITING, pos);
        if (n < 0) return (int)error_number;
        C.value = false;
        return push_pending(n);
    }
    if (C.value && (class_of(s[pos + 1]) == 'A' || s[pos + 1] == '\'')) {
        i64 n = new_apply('P', P_DOT, pop_value(), WAITING, pos);
        if (n < 0) return (int)error_number;
        C.value = false;
        C.after_dot = true;
        scan_pos = pos + 1;
        return push_pending(n);
    }
    return cerr(VEK_SYNTAX, pos);
}

static int scan_one_token() {
    i64 pos = scan_pos;
    char c = C.s[pos];
    unsigned char u = (unsigned char)c;
    if (u < 32 || u > 126) return cerr(VEK_SYNTAX, pos);
    char cls = class_of(c);
    if (cls != 'P' && cls != 'J' && cls != 'X') C.each_dyadic = false;
    switch (cls) {
    case 'X':
        if (c == ' ') { scan_pos++; return 0; }
        return cerr(VEK_SYNTAX, pos);
    case 'N': return compile_literal('N');
    case 'M':
        if (C.s[pos + 1] >= '0' && C.s[pos + 1] <= '9') return compile_literal('M');
        if (C.s[pos + 1] == '.') return compile_primitive();
        return compile_empty_item_list(pos);
    case 'Q': return compile_literal('Q');
    case 'A': return compile_name();
    case 'P': case 'J': return compile_primitive();
    case 'O': return compile_dot();
    case 'D': return compile_opener();
    case 'E': return compile_semicolon();
    case 'T': return compile_closer();
    default: return cerr(VEK_SYNTAX, pos);
    }
}

// Compiles C.s[from..) up to its NUL; the root goes to *root (-1 if empty).
static int compile_expression(i64 from, i64 *root) {
    C.pending.n = 0; C.groups.n = 0; C.items.n = 0;
    C.value = C.after_dot = C.each_dyadic = false;
    C.niladic_node = -1;
    if (!C.pending.push(-1)) return cerr(VEK_WS_FULL, from);
    scan_pos = from;
    while (C.s[scan_pos]) {
        if (C.s[scan_pos] == '/' && C.s[scan_pos + 1] == '/') break;
        int r = scan_one_token();
        if (r) return r;
    }
    if (C.groups.n) {
        const Group &g = C.groups.top();
        return cerr(g.kind == '(' || g.kind == 'T' ? 22 : 21, g.pos);
    }
    if (C.after_dot) return cerr(VEK_SYNTAX, scan_pos);
    int r = link_segment(0, root);
    if (r) return r;
    if (C.niladic_node >= 0 && *root != C.niladic_node)
        return cerr(VEK_PARSE, parse_node_table[C.niladic_node].pos);
    return 0;
}

// Compiles the range [from, to) of the statement as an expression.
static int compile_range(i64 from, i64 to, i64 *root) {
    char saved = C.s[to];
    C.s[to] = 0;
    int r = compile_expression(from, root);
    C.s[to] = saved;
    return r;
}

// ---- Branch statements -----------------------------------------------------------

static bool at_end(i64 p) { return !C.s[p] || (C.s[p] == '/' && C.s[p + 1] == '/'); }
static bool name_char(char c) { return class_of(c) == 'A' || class_of(c) == 'N' || c == '_'; }

// The line of a label of the function being compiled, or -1.
static i64 label_line(i64 p, i64 *after) {
    i64 q = p;
    while (name_char(C.s[q])) q++;
    i64 e = q;
    while (e > p && C.s[e - 1] == '_') e--;
    if (e == p || e - p > 127) return -1;
    char name[128];
    memcpy(name, C.s + p, e - p);
    name[e - p] = 0;
    i64 k = find_label_name(name, C.row);
    if (k < 0 || local_name_table[k].kind != 'L') return -1;
    *after = q;
    return local_name_table[k].index;
}

// A target list: labels or 0 separated by ','. Ends at the end of the
// statement (or a comment) or, when bracketed, at ')'. Targets go to list.
static int read_targets(i64 p, bool bracketed, Grow<i64> *list, i64 *end) {
    for (;;) {
        p = skip_blanks(C.s, p, BLANKS_ONLY);
        i64 t, after = p + 1;
        if (C.s[p] == '0' && !name_char(C.s[p + 1])) t = 0;
        else if (class_of(C.s[p]) == 'A' && (t = label_line(p, &after)) >= 0) {}
        else return cerr(VEK_BRANCH_FORMAT, p);
        if (!list->push(t)) return cerr(VEK_WS_FULL, p);
        p = skip_blanks(C.s, after, BLANKS_ONLY);
        if (C.s[p] == ',') { p++; continue; }
        if (bracketed ? C.s[p] == ')' : at_end(p)) { *end = p; return 0; }
        return cerr(VEK_BRANCH_FORMAT, p);
    }
}

// Records the targets: the first is true (or false for '!.'), the next line
// the other; further targets go to overflow_table, ended by -1.
static int store_targets(BranchEntry *b, const Grow<i64> &t, bool first_is_false, i64 pos) {
    i64 next = C.line_no + 1;
    if (first_is_false) { b->false_target = t.v[0]; b->true_target = next; }
    else { b->true_target = t.v[0]; b->false_target = next; }
    if (t.n < 2) return 0;
    if (overflow_count + t.n > OVERFLOW_CAP) return cerr(VEK_TABLE_FULL, pos);
    b->list_start = overflow_count;
    for (i64 i = 1; i < t.n; i++) overflow_table[overflow_count++] = t.v[i];
    overflow_table[overflow_count++] = -1;
    return 0;
}

// The operator before a target list at p: 1 for '/' '#', 2 for '^.' and
// '!.' (their length), 0 for none. *is_false for '!.'.
static int target_operator(i64 p, bool *is_false) {
    *is_false = false;
    if (C.s[p] == '/' && C.s[p + 1] != '/') return 1;
    if (C.s[p] == '#') return 1;
    if (C.s[p] == '^' && C.s[p + 1] == '.') return 2;
    if (C.s[p] == '!' && C.s[p + 1] == '.') { *is_false = true; return 2; }
    return 0;
}

// condition [from, op) followed by an operator and a target list.
static int conditional_branch(BranchEntry *b, i64 from, i64 op, i64 *root) {
    bool is_false;
    int len = target_operator(op, &is_false);
    if (!len) return cerr(VEK_BRANCH_FORMAT, op);
    Grow<i64> t;
    i64 end;
    int r = read_targets(op + len, false, &t, &end);
    if (!r) r = store_targets(b, t, is_false, op);
    free(t.v);
    if (r) return r;
    return compile_range(from, op, root);
}

// After a label or 0 (target T): nothing, or one of the idioms.
static int branch_idioms(BranchEntry *b, i64 T, i64 p, i64 *root) {
    p = skip_blanks(C.s, p, BLANKS_ONLY);
    b->true_target = T;
    if (at_end(p)) return 0;
    const char *s = C.s;
    i64 io;
    if (s[p] == '*' && s[p + 1] == '!') {
        if (index_origin(&io)) return cerr(VEK_IO, p);
        b->false_target = C.line_no + 1;
        if (io == 0) b->true_target = 0;
        return compile_range(p + 2, (i64)strlen(s), root);
    }
    if (s[p] == '*') {
        if (T != 0) b->false_target = 0;
        return compile_range(p + 1, (i64)strlen(s), root);
    }
    if (s[p] == '+' && s[p + 1] == '!') {
        if (index_origin(&io) || io != 0) return cerr(VEK_BRANCH_FORMAT, p);
        b->false_target = C.line_no + 1;
        return compile_range(p + 2, (i64)strlen(s), root);
    }
    if (s[p] == ',') return compile_range(s[p + 1] == '#' ? p + 2 : p + 1, (i64)strlen(s), root);
    return cerr(VEK_BRANCH_FORMAT, p);
}

// The first operator at or after p, outside quotes and groups, that is
// followed by a valid target list; -1 when none.
static i64 find_condition_end(i64 p) {
    while (C.s[p] && !at_end(p)) {
        char c = C.s[p];
        if (c == '\'' || c == '(' || c == '[') { i64 q = p; skip_quoted_or_group(C.s, &q); p = q > p ? q : p + 1; continue; }
        bool f;
        int len = target_operator(p, &f);
        if (len) {
            Grow<i64> t;
            i64 end, saved_error = error_number, saved_pos = parse_error_position;
            int r = read_targets(p + len, false, &t, &end);
            free(t.v);
            error_number = saved_error; parse_error_position = saved_pos;
            if (!r) return p;
        }
        p++;
    }
    return -1;
}

static int branch_on_name(BranchEntry *b, i64 p, i64 *root) {
    i64 after_label, line = label_line(p, &after_label);
    if (line >= 0) return branch_idioms(b, line, after_label, root);
    OperandRef op;
    scan_pos = p;
    int r = resolve_name_operand(C.s, C.cls, &op, C.row, 0, 1);
    if (r) return cerr(r, p);
    i64 after = skip_blanks(C.s, scan_pos, BLANKS_ONLY);
    if (op.kind == OPERAND_LABEL) return branch_idioms(b, op.index, after, root);
    i64 whole = (i64)strlen(C.s);
    if (C.s[after] == '[' || (at_end(after) && op.kind != OPERAND_FUNCTION)) {
        b->true_target = BRANCH_TO_VALUE;
        return compile_range(p, whole, root);
    }
    if (at_end(after)) return cerr(VEK_BRANCH_FORMAT, p);
    if (op.kind != OPERAND_FUNCTION) return conditional_branch(b, p, after, root);
    i64 op_pos = find_condition_end(after);
    if (op_pos < 0) return cerr(VEK_BRANCH_FORMAT, after);
    return conditional_branch(b, p, op_pos, root);
}

static int branch_on_parenthesis(BranchEntry *b, i64 p, i64 *root) {
    const char *s = C.s;
    i64 q = skip_blanks(C.s, p + 1, BLANKS_ONLY), dummy;
    i64 close = p;
    skip_quoted_or_group(s, &close);
    bool zero = s[q] == '0' && !name_char(s[q + 1]);
    i64 last = (i64)strlen(s);
    while (last > 0 && s[last - 1] == ' ') last--;
    bool bracketed = (class_of(s[q]) == 'A' && label_line(q, &dummy) >= 0) ||
                     (zero && last > 0 && s[last - 1] == ']');
    if (!bracketed) {
        if (close <= p || s[close - 1] != ')') return cerr(VEK_RPAREN_EXPECTED, p);
        for (i64 i = p + 1; i < close - 1;) {
            char c = s[i];
            if (c == ';') return cerr(VEK_FUNCTION_NAME_EXPECTED, i);
            if (c == '\'' || c == '(' || c == '[') { i64 k = i; skip_quoted_or_group(s, &k); i = k > i ? k : i + 1; }
            else i++;
        }
        return conditional_branch(b, p, skip_blanks(C.s, close, BLANKS_ONLY), root);
    }
    Grow<i64> t;
    i64 end;
    int r = read_targets(p + 1, true, &t, &end);
    if (!r && s[end + 1] != '[') r = cerr(VEK_BRANCH_FORMAT, end + 1);
    i64 open = end + 1, shut = open;
    if (!r) {
        skip_quoted_or_group(s, &shut);
        if (shut <= open + 1 || s[shut - 1] != ']') r = cerr(VEK_UNPAIRED, open);
        else if (!at_end(skip_blanks(C.s, shut, BLANKS_ONLY))) r = cerr(VEK_BRANCH_FORMAT, skip_blanks(C.s, shut, BLANKS_ONLY));
    }
    if (!r) {
        if (t.n == 2) { b->false_target = t.v[0]; b->true_target = t.v[1]; }
        else r = store_targets(b, t, false, p);
    }
    free(t.v);
    if (r) return r;
    return compile_range(open + 1, shut - 1, root);
}

static int compile_branch(i64 p, CompiledStatement *out) {
    if (C.row < 0) return cerr(VEK_BRANCH_RESTRICTION, p);
    i64 k = alloc_table_entry('B', -1);
    if (k < 0) return cerr(table_full(), p);
    BranchEntry *b = &branch_table[k];
    b->false_target = b->true_target = b->list_start = -1;
    out->branch = k;
    i64 q = p + 2, root = -1;
    char c = C.s[q];
    int r;
    if (c == '0' && !name_char(C.s[q + 1])) r = branch_idioms(b, 0, q + 1, &root);
    else if (c == '\'') {
        scan_pos = q;
        i64 cst;
        r = scan_char_constant(C.s, &cst);
        if (r) return cerr(r, q);
        if (!at_end(skip_blanks(C.s, scan_pos, BLANKS_ONLY))) return cerr(VEK_BRANCH_RESTRICTION, scan_pos);
        root = new_node('C', cst, q);
        if (root < 0) return (int)error_number;
        b->true_target = BRANCH_TO_VALUE;
    }
    else if (class_of(c) == 'A') r = branch_on_name(b, q, &root);
    else if (c == '(') r = branch_on_parenthesis(b, q, &root);
    else return cerr(VEK_BRANCH_RESTRICTION, q);
    if (r) return r;
    out->root = root;
    return 0;
}

// ---- Statement -------------------------------------------------------------------

i64 find_statement_end(const char *line, i64 length, i64 from) {
    i64 depth = 0, p = from;
    while (p < length && line[p]) {
        char c = line[p];
        if (c == '\'') {
            p = skip_quoted(line, p, length);
            continue;
        }
        if (c == '/' && p + 1 < length && line[p + 1] == '/') break;
        if (c == '(' || c == '[') depth++;
        else if (c == ')' || c == ']') depth--;
        else if (c == ';' && depth <= 0) return p;
        p++;
    }
    while (p < length && line[p]) p++;
    return p;
}

// Copies the statement (up to its end) and its class string.
static bool take_statement(const char *line, i64 n) {
    if (n + 1 > C.cap) {
        i64 cap = n + 1 > 256 ? n + 1 : 256;
        char *s = (char *)realloc(C.s, cap), *k = s ? (char *)realloc(C.cls, cap) : nullptr;
        if (s) C.s = s;
        if (!s || !k) return false;
        C.cls = k;
        C.cap = cap;
    }
    memcpy(C.s, line, n);
    C.s[n] = 0;
    for (i64 i = 0; i < n; i++) C.cls[i] = class_of(C.s[i]);
    C.cls[n] = 0;
    return true;
}

// The start node: from the root down through right operands that are applications.
static i64 start_node(i64 root) {
    i64 n = root;
    while (n >= 0 && parse_node_table[n].kind == 'F') {
        i64 r = expr_entry_table[parse_node_table[n].index].right;
        if (r < 0 || parse_node_table[r].kind != 'F') break;
        n = r;
    }
    return n;
}

int compile_statement(const char *line, i64 length, i64 function_row, i64 line_number,
                      char terminator, i64 io_slot, CompiledStatement *out) {
    *out = {-1, -1, -1};
    compiled_root = compiled_start = -1;
    scan_pos = parse_error_position = 0;
    error_number = 0;
    C.row = function_row; C.line_no = line_number; C.io_slot = io_slot;
    i64 n = 0;
    while (n < length && line[n] && (!terminator || line[n] != terminator)) n++;
    i64 end = find_statement_end(line, n, 0);
    if (!take_statement(line, end)) return cerr(VEK_WS_FULL, 0);
    i64 p = skip_blanks(C.s, 0, BLANKS_ONLY);
    if (at_end(p)) { scan_pos = end; return 0; }
    if (function_row >= 0 && is_label_prefix(C.s, C.cls, p)) {
        OperandRef op;
        scan_pos = p;
        int r = resolve_name_operand(C.s, C.cls, &op, function_row, 1, 0);
        if (r) return cerr(r, p);
        while (C.s[p] != ':') p++;
        p = skip_blanks(C.s, p + 1, BLANKS_ONLY);
        if (at_end(p)) { scan_pos = end; return 0; }
    }
    int r;
    if (C.s[p] == '-' && C.s[p + 1] == '>') {
        r = compile_branch(p, out);
    } else {
        r = compile_expression(p, &out->root);
    }
    if (r) { out->root = -1; return r; }
    out->start = start_node(out->root);
    compiled_root = out->root;
    compiled_start = out->start;
    scan_pos = end;
    return 0;
}
