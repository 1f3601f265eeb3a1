// The primitive registry: one handler per prim_code and valence, filled by
// each primitive family's registration function, and the dispatch that
// turns a missing handler into its error number.
#include "primitives.h"
#include "core/session.h"
#include "core/valueops.h"

static PrimHandler handlers[PRIM_CODE_CAP][2];
static IndexHandler index_hook;
static IndexedAssignHandler indexed_assign_hook;
static EachHandler each_hook;
static TableConstructorHandler table_hook;
static PrimHandler builtin_hooks[9];
static bool registered;

// Families are optional at link time: a family not yet built is skipped.
#pragma weak register_scalar_primitives
#pragma weak register_reduce_scan_primitives
#pragma weak register_products_primitives
#pragma weak register_structural_primitives
#pragma weak register_index_primitives
#pragma weak register_search_primitives
#pragma weak register_grade_primitives
#pragma weak register_encode_primitives
#pragma weak register_random_primitives
#pragma weak register_format_primitives
#pragma weak register_logical_primitives
#pragma weak register_group_primitives
#pragma weak register_dict_primitives
#pragma weak register_table_primitives
#pragma weak register_time_primitives
#pragma weak register_query_primitives
#pragma weak register_system_functions_primitives

// Handlers the evaluator itself provides; a family may replace them.
void register_evaluator_primitives();

void register_primitive(i64 code, int valence, PrimHandler h) {
    if (code < 0 || code >= PRIM_CODE_CAP || valence < 1 || valence > 2) return;
    handlers[code][valence - 1] = h;
}

void register_primitive_range(i64 first, i64 last, int valence, PrimHandler h) {
    for (i64 c = first; c <= last; c++) register_primitive(c, valence, h);
}

void register_bracket_index(IndexHandler h) { index_hook = h; }
void register_indexed_assign(IndexedAssignHandler h) { indexed_assign_hook = h; }
void register_each(EachHandler h) { each_hook = h; }
void register_table_constructor(TableConstructorHandler h) { table_hook = h; }
void register_builtin_function(i64 index, PrimHandler h) {
    if (index >= 0 && index < 9) builtin_hooks[index] = h;
}

void register_all_primitives() {
    if (registered) return;
    registered = true;
    register_evaluator_primitives();
    void (*families[])() = {
        register_scalar_primitives, register_reduce_scan_primitives, register_products_primitives,
        register_structural_primitives, register_index_primitives, register_search_primitives,
        register_grade_primitives, register_encode_primitives, register_random_primitives,
        register_format_primitives, register_logical_primitives, register_group_primitives,
        register_dict_primitives, register_table_primitives, register_time_primitives,
        register_query_primitives, register_system_functions_primitives,
    };
    for (auto f : families)
        if (f) f();
}

PrimHandler find_primitive(i64 code, int valence) {
    register_all_primitives();
    if (code < 0 || code >= PRIM_CODE_CAP || valence < 1 || valence > 2) return nullptr;
    return handlers[code][valence - 1];
}

IndexHandler bracket_index_handler() { register_all_primitives(); return index_hook; }
IndexedAssignHandler indexed_assign_handler() { register_all_primitives(); return indexed_assign_hook; }
EachHandler each_handler() { register_all_primitives(); return each_hook; }
TableConstructorHandler table_constructor_handler() { register_all_primitives(); return table_hook; }
PrimHandler builtin_function_handler(i64 index) {
    register_all_primitives();
    return (index >= 0 && index < 9) ? builtin_hooks[index] : nullptr;
}

// The error of a code that has no handler for this valence.
static int missing_handler_error(i64 code, int valence) {
    if (valence == 2 && code >= 758 && code <= 799) return 1;
    if (valence == 2 && code >= 601 && code <= 657) return 15;
    if (valence == 2 && code == 752) return 1;
    return 43;
}

int dispatch_primitive(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    int valence = (lc < 0 && lv < 0) ? 1 : 2;
    // system functions keep their code with a left argument: they are not
    // outer products, whatever is registered over that range
    if (valence == 2 && code >= 601 && code <= 657) return error_number = 15;
    PrimHandler h = find_primitive(code, valence);
    if (!h) return error_number = missing_handler_error(code, valence);
    int rc_ = h(code, result_slot, lc, lv, rc, rv);
    if (rc_) error_number = rc_;
    return rc_;
}
