// The one-time set-up of the interpreter's tables with the predefined
// names, the built-in functions and constants, the system variables, and
// the workspace clear that returns every table to that state.
#include "workspace.h"
#include "tables.h"
#include "arena.h"
#include "calls.h"
#include "errors.h"
#include "evaluator.h"
#include "lexer.h"
#include "symbols.h"
#include "valueops.h"
#include "platform/platform.h"
#include "storage.h"
#include <cstdio>
#include <cstring>
#include <cmath>

static const char *const predefined_names[PREDEFINED_NAMES] = {
    "[]IO", "[]OF", "[]AV", "[]LX", "[]RL", "[]PP",
    "key", "value", "xkey", "cols", "meta", "keys", "fkeys", "do", "like"};
static const i64 predefined_slots[6] = {SLOT_IO, SLOT_OF, SLOT_AV, SLOT_LX, SLOT_RL, SLOT_PP};
static const i64 builtin_valence[BUILTIN_FUNCTIONS] = {1, 1, 2, 1, 1, 1, 1, 1, 2};

// ---- Entries only the clear resets --------------------------------------------------

static void reset_parse_node(ParseNode *n) {
    n->kind = 0;
    n->index = n->w2 = n->w3 = 0;
    n->parent = n->local = n->pos = -1;
}

static void reset_branch(BranchEntry *b) {
    b->false_target = b->true_target = b->list_start = -1;
    b->w3 = b->w4 = b->w5 = 0;
}

// ---- One-time set-up ---------------------------------------------------------------

static void write_predefined_names() {
    for (i64 i = 0; i < PREDEFINED_NAMES; i++) {
        NameEntry *e = &global_name_table[i];
        reset_name_entry(e);
        snprintf(e->name, sizeof e->name, "%s", predefined_names[i]);
        if (i < 6) { e->kind = 'V'; e->index = predefined_slots[i]; }
        else { e->kind = 'F'; e->index = i - 6; }
    }
    for (i64 f = 0; f < BUILTIN_FUNCTIONS; f++) {
        FunctionEntry *fe = &function_table[f];
        memset(fe, 0, sizeof *fe);
        fe->valence = builtin_valence[f];
        fe->result = -2;
        fe->header_start = fe->header_end = -1;
        fe->last_node = -1;
        fe->global_name = 6 + f;
    }
}

static void *zeroed_block(i64 bytes) {
    void *p = platform_zeroed_pages((size_t)bytes);
    return p ? p : checked_calloc(1, bytes);
}

void init_interpreter_tables() {
    init_char_classes();
    // The arena and the shape pool are mapped as zero pages and never
    // written in bulk: a fresh interpreter touches only what it uses.
    if (!arena_base) arena_base = (char *)zeroed_block(ARENA_BYTES);
    if (!value_slot_table) {
        value_slot_table = (ValueDescriptor *)checked_calloc(SLOT_COUNT, sizeof(ValueDescriptor));
        constants_table = (ValueDescriptor *)checked_calloc(CONSTANT_CAP, sizeof(ValueDescriptor));
        parse_node_table = (ParseNode *)checked_calloc(PARSE_NODE_CAP, sizeof(ParseNode));
        expr_entry_table = (ExprEntry *)checked_calloc(EXPR_ENTRY_CAP, sizeof(ExprEntry));
        branch_table = (BranchEntry *)checked_calloc(BRANCH_CAP, sizeof(BranchEntry));
        function_table = (FunctionEntry *)checked_calloc(FUNCTION_CAP, sizeof(FunctionEntry));
        global_name_table = (NameEntry *)checked_calloc(GLOBAL_NAME_CAP, sizeof(NameEntry));
        local_name_table = (NameEntry *)checked_calloc(LOCAL_NAME_CAP, sizeof(NameEntry));
        dfxstack_table = (DfxEntry *)checked_calloc(DFXSTACK_CAP, sizeof(DfxEntry));
        shape_pool = (i64 *)zeroed_block(SHAPE_POOL_CAP * sizeof(i64));
        long_name_pool = (char *)checked_calloc(LONG_NAME_CAP, 1);
        reserved_table = (i64(*)[8])checked_calloc(RESERVED_CAP, 8 * sizeof(i64));
    }
    lstndx = lstvx = lstcx = lstgx = lstnx = nxtglx = lsttnam = dfxstack = -1;
    symbol_table.last = -1;
    overflow_count = 0;
    lstbrx = 0;
    branch_table[0] = {-1, 0, -1, 0, 0, 0};
    lstvxend = LOCALS_TOP;
    si_depth = -1;
    lstfx = 99;
    predefined_name_count = PREDEFINED_NAMES;
    builtin_function_count = BUILTIN_FUNCTIONS;
    lstgx = PREDEFINED_NAMES - 1;
    write_predefined_names();
    clear_workspace(0);
    new_scratch_list();
}

// ---- Built-in constants and system variables -----------------------------------------

static void set_constant(i64 c, i64 type, i64 rank, i64 w2, i64 w3, i64 count) {
    ValueDescriptor *d = &constants_table[c];
    memset(d, 0, sizeof *d);
    d->type = type;
    d->rank = rank;
    d->dim0 = w2;
    d->dim1 = w3;
    d->count = count;
    if (count == 1 && rank <= 1) d->data = &d->dim0;
}

static void set_float_constant(i64 c, double value) {
    ValueDescriptor *d = &constants_table[c];
    memset(d, 0, sizeof *d);
    d->type = T_FLOAT;
    memcpy(&d->dim0, &value, sizeof value);
}

static void set_inline_int(i64 slot, i64 rank, i64 value) {
    ValueDescriptor *d = &value_slot_table[slot];
    memset(d, 0, sizeof *d);
    d->type = T_INT;
    d->rank = rank;
    d->count = 1;
    d->dim0 = value;
    d->data = &d->dim0;
}

static void build_atomic_vector() {
    ValueDescriptor *d = &value_slot_table[SLOT_AV];
    memset(d, 0, sizeof *d);
    d->type = T_CHAR;
    alloc_slot_value(SLOT_AV, T_CHAR, 1, 256);
    set_slot_shape(SLOT_AV, 1, 256, 256, 0);
    char *p = (char *)d->data;
    for (int i = 0; i < 256; i++) p[i] = (i >= 33 && i <= 127) ? (char)i : ' ';
    p[256] = 0;
}

static void set_system_variables() {
    ValueDescriptor *of = &value_slot_table[SLOT_OF];
    memset(of, 0, sizeof *of);
    of->rank = -1;
    ValueDescriptor *lx = &value_slot_table[SLOT_LX];
    memset(lx, 0, sizeof *lx);
    lx->type = T_INT;
    lx->rank = 1;
    set_inline_int(SLOT_RL, 1, 16807);
    set_inline_int(SLOT_PP, 1, 10);
}

// The clear has already dropped the whole heap end and frees every chunk
// afterwards, so the old values are forgotten, not released one by one.
void init_builtin_constants() {
    for (i64 s = 0; s <= lstvx && s < SLOT_COUNT; s++) memset(&value_slot_table[s], 0, sizeof(ValueDescriptor));
    for (i64 s = 0; s < 18; s++) memset(&value_slot_table[s], 0, sizeof(ValueDescriptor));
    for (i64 s = SLOT_OF; s < SLOT_OF + 14; s++) memset(&value_slot_table[s], 0, sizeof(ValueDescriptor));
    for (i64 s = FIRST_TEMP_SLOT; s <= LAST_TEMP_SLOT; s++) memset(&value_slot_table[s], 0, sizeof(ValueDescriptor));
    build_atomic_vector();
    set_inline_int(SLOT_IO, 0, 1);
    lstvx = 17;
    for (i64 c = 21; c <= lstcx && c < CONSTANT_CAP; c++) memset(&constants_table[c], 0, sizeof(ValueDescriptor));
    set_constant(0, T_INT, 0, 0, 0, 1);
    set_constant(1, T_INT, 0, 1, 0, 1);
    set_constant(2, T_INT, 1, 0, 0, 0);
    set_constant(3, T_INT, 0, 2, 0, 1);
    set_constant(4, T_INT, 0, -1, 0, 1);
    set_constant(5, T_INT, 1, 0, 1, 0);
    set_constant(6, T_INT, 1, 2, 1, 0);
    set_constant(7, T_INT, 0, 32, 0, 0);
    set_float_constant(16, -std::ldexp(1.0, 252));
    set_float_constant(17, std::ldexp(1.0, 252));
    set_constant(18, T_INT, 1, 1, 1, 0);
    set_constant(19, T_BOOL, 0, 0, 0, 0);
    set_constant(20, T_BOOL, 0, 1, 0, 0);
    lstcx = 20;
}

// ---- Workspace clear -----------------------------------------------------------------

void clear_workspace(int wipe) {
    forget_kept_compilations();
    reset_state_indicator();
    si_depth = -1;
    r15 = ARENA_BYTES;
    error_number = 0;
    stacktop = 0;
    if (wipe) wipe_arena();
    for (i64 i = 0; i <= lstndx && i < PARSE_NODE_CAP; i++) reset_parse_node(&parse_node_table[i]);
    lstndx = -1;
    for (i64 i = PREDEFINED_NAMES; i <= lstgx && i < GLOBAL_NAME_CAP; i++) reset_name_entry(&global_name_table[i]);
    lstgx = PREDEFINED_NAMES - 1;
    for (i64 i = 0; i <= lstnx && i < LOCAL_NAME_CAP; i++) reset_name_entry(&local_name_table[i]);
    lstnx = -1;
    for (i64 i = FIRST_USER_FUNCTION; i <= lstfx && i < FUNCTION_CAP; i++) reset_function_entry(&function_table[i]);
    lstfx = FIRST_USER_FUNCTION - 1;
    for (i64 i = 0; i <= lstfndx && i < EXPR_ENTRY_CAP; i++) expr_entry_table[i] = {0, 0, 0, 0};
    lstfndx = -1;
    for (i64 i = 0; i < SI_CAP; i++) state_indicator[i] = {-1, -1};
    si_depth = -1;
    init_builtin_constants();
    lstvxend = LOCALS_TOP;
    clear_symbol_table();
    for (i64 i = 1; i <= lstbrx && i < BRANCH_CAP; i++) reset_branch(&branch_table[i]);
    lstbrx = 0;
    memset(overflow_table, 0, sizeof overflow_table);
    overflow_count = 0;
    platform_zero_pages(shape_pool, SHAPE_POOL_CAP * sizeof(i64));
    shape_pool_truncate(-1);
    memset(long_name_pool, 0, LONG_NAME_CAP);
    lsttnam = -1;
    dfxstack = -1;
    symbol_table.last = -1;
    intern_symbol("");
    branch_table[0] = {-1, 0, -1, 0, 0, 0};
    set_system_variables();
    reserved_count = 0;
    query_layer_loaded = 0;
    free_chunks_keep_head();
    for (i64 i = 0; i < FILE_HANDLE_CAP; i++) {
        if (file_handle_table[i] && file_handle_table[i] != (void *)-1) fclose((FILE *)file_handle_table[i]);
        file_handle_table[i] = (void *)-1;
    }
    open_file_count = 0;
}
