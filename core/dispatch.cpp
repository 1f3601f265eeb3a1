// The dispatch table: one handler per operation code and valence, filled
// by each primitive family's registration, and the dispatch that turns a
// missing handler into its error number.
#include "dispatch.h"
#include "errors.h"

struct HandlerEntry { PrimHandler handler; PrimFamily family; };
SingleItemHandler single_item_table[PRIM_CODE_CAP][2];
static HandlerEntry handlers[PRIM_CODE_CAP][2];
static IndexHandler index_hook;
static IndexedAssignHandler indexed_assign_hook;
static EachHandler each_hook;
static InnerProductHandler inner_hook;
static TableConstructorHandler table_hook;
static PrimHandler builtin_hooks[9];
static PrimFamily registering = FAM_NONE;
static bool registered;

void (*register_families)() = nullptr;

void begin_family_registration(PrimFamily f) { registering = f; }

void register_primitive(i64 code, int valence, PrimHandler h) {
    if (code < 0 || code >= PRIM_CODE_CAP || valence < 1 || valence > 2) return;
    handlers[code][valence - 1] = {h, h ? registering : FAM_NONE};
    // a handler registered anew brings its own single-item path, if any
    single_item_table[code][valence - 1] = nullptr;
}

void register_single_item(i64 code, int valence, SingleItemHandler h) {
    if (code < 0 || code >= PRIM_CODE_CAP || valence < 1 || valence > 2) return;
    single_item_table[code][valence - 1] = h;
}

void register_primitive_range(i64 first, i64 last, int valence, PrimHandler h) {
    for (i64 c = first; c <= last; c++) register_primitive(c, valence, h);
}

static SingleIndexHandler single_index_hook;
static SingleIndexedAssignHandler single_indexed_assign_hook;

// A handler registered anew brings its own single-item path, if any.
void register_bracket_index(IndexHandler h) { index_hook = h; single_index_hook = nullptr; }
void register_indexed_assign(IndexedAssignHandler h) { indexed_assign_hook = h; single_indexed_assign_hook = nullptr; }
void register_single_index(SingleIndexHandler h) { single_index_hook = h; }
void register_single_indexed_assign(SingleIndexedAssignHandler h) { single_indexed_assign_hook = h; }

bool single_item_paths_allowed = true;

SingleIndexHandler single_index_handler() { return single_item_paths_allowed ? single_index_hook : nullptr; }
SingleIndexedAssignHandler single_indexed_assign_handler() {
    return single_item_paths_allowed ? single_indexed_assign_hook : nullptr;
}
void register_each(EachHandler h) { each_hook = h; }
void register_inner_product(InnerProductHandler h) { inner_hook = h; }
void register_table_constructor(TableConstructorHandler h) { table_hook = h; }
void register_builtin_function(i64 index, PrimHandler h) {
    if (index >= 0 && index < 9) builtin_hooks[index] = h;
}

void ensure_primitives_registered() {
    if (registered || !register_families) return;
    registered = true;
    register_families();
    registering = FAM_NONE;
}

PrimHandler find_primitive(i64 code, int valence) {
    ensure_primitives_registered();
    if (code < 0 || code >= PRIM_CODE_CAP || valence < 1 || valence > 2) return nullptr;
    return handlers[code][valence - 1].handler;
}

PrimFamily registered_family(i64 code, int valence) {
    ensure_primitives_registered();
    if (code < 0 || code >= PRIM_CODE_CAP || valence < 1 || valence > 2) return FAM_NONE;
    return handlers[code][valence - 1].family;
}

IndexHandler bracket_index_handler() { ensure_primitives_registered(); return index_hook; }
IndexedAssignHandler indexed_assign_handler() { ensure_primitives_registered(); return indexed_assign_hook; }
EachHandler each_handler() { ensure_primitives_registered(); return each_hook; }
InnerProductHandler inner_product_handler() { ensure_primitives_registered(); return inner_hook; }
TableConstructorHandler table_constructor_handler() { ensure_primitives_registered(); return table_hook; }
PrimHandler builtin_function_handler(i64 index) {
    ensure_primitives_registered();
    return (index >= 0 && index < 9) ? builtin_hooks[index] : nullptr;
}

// The error of a code that has no handler for this valence.
static int missing_handler_error(i64 code, int valence) {
    if (valence == 2 && code >= 758 && code <= 799) return VEK_DOMAIN;
    if (valence == 2 && code == P_EACH) return VEK_DOMAIN;
    return VEK_NOT_IMPLEMENTED;
}

int dispatch_primitive(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    int valence = (lc < 0 && lv < 0) ? 1 : 2;
    // system functions keep their code with a left argument: they are not
    // outer products, whatever is registered over that range
    if (valence == 2 && is_system_function_code(code)) return fail(VEK_VALENCE);
    PrimHandler h = find_primitive(code, valence);
    if (!h) return fail(missing_handler_error(code, valence));
    int e = h(code, result_slot, lc, lv, rc, rv);
    if (e) error_number = e;
    return e;
}
