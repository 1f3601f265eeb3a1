// The dispatch table from operation code to handler. Each primitive family
// registers its handlers by code and valence (primitives/families.cpp lists
// the families); the evaluator dispatches through this table. A code whose
// family registered nothing answers "primitive function not yet
// implemented" (or the error its row in the table of primitives implies).
#pragma once
#include "value.h"
#include "codes.h"

// A handler computes into value slot result_slot and returns an error number
// (0 on success). Operand references: constant c when c >= 0, else value
// slot v. A monadic call passes lc = -1, lv = -1.
typedef int (*PrimHandler)(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);

enum : i64 { PRIM_CODE_CAP = 10000 };   // codes 0..9999 (inner product tops at 100*99+99)

// valence 1 monadic, 2 dyadic. A later registration replaces an earlier one.
void register_primitive(i64 code, int valence, PrimHandler h);
// Registers `h` for every code first..last.
void register_primitive_range(i64 first, i64 last, int valence, PrimHandler h);
// The handler for code and valence, or null.
PrimHandler find_primitive(i64 code, int valence);
// A single-item path beside a handler: the operands (the right one alone
// for a monadic code) are simple items held inline in their descriptors.
// It either writes the result item into *z (a descriptor of its own, held
// inline) and returns true, or returns false, and the handler runs as
// usual: every error and every unusual case is the handler's.
typedef bool (*SingleItemHandler)(i64 code, const ValueDescriptor *l, const ValueDescriptor *r,
                                  ValueDescriptor *z);
void register_single_item(i64 code, int valence, SingleItemHandler h);
// The single-item path of code and valence, or null. Read on every
// application, so it does not wait for the families to register: until
// they have, there is none, and the handler's lookup registers them.
extern SingleItemHandler single_item_table[PRIM_CODE_CAP][2];
// Cleared, no single-item path is taken, nor the lean walk of function
// lines: every application goes to its handler (the tests compare the two).
extern bool single_item_paths_allowed;
inline SingleItemHandler single_item_handler(i64 code, int valence) {
    if (!single_item_paths_allowed) return nullptr;
    return code >= 0 && code < PRIM_CODE_CAP ? single_item_table[code][valence - 1] : nullptr;
}
// The family whose registration gave code its handler (FAM_NONE: none).
PrimFamily registered_family(i64 code, int valence);
// Runs code on the operands; a code without a handler gives 43 (dyadic
// 758..799: 1). A dyadic system-function code (601..657) is always 15, even
// where an outer product is registered over 501..750. Stores error_number.
int dispatch_primitive(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);

// The slot of the []IO in force for the statement now running: the walk
// sets it (slot 1 unless an active function localises []IO).
extern i64 current_io_slot;

// ---- Applications the walk reaches other than by a plain code ----------------
// Bracket indexing A[I;J;...] (code 1): I the first-axis list, then the
// lists of the other axes, the last axis first; rest = number of lists - 1.
// An elided list is (-1, 0).
typedef int (*IndexHandler)(i64 result_slot, i64 ac, i64 av, i64 ic, i64 iv,
                            const i64 *rest_c, const i64 *rest_v, i64 rest, i64 io_slot);
// Indexed assignment A[I;J;...] <- B into the variable in target_slot.
typedef int (*IndexedAssignHandler)(i64 target_slot, i64 ic, i64 iv, const i64 *rest_c,
                                    const i64 *rest_v, i64 rest, i64 bc, i64 bv, i64 io_slot);
// Each: kind 'P' (code = prim_code) or 'D' (code = function index); lc = -1
// for a monadic application.
typedef int (*EachHandler)(char kind, i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
// Table constructor ([k<-a] c<-b; d): count columns in order, the first
// key_count of them key columns; names are symbol numbers, values operand
// references.
typedef int (*TableConstructorHandler)(i64 result_slot, const i64 *names, const i64 *cs,
                                       const i64 *vs, i64 count, i64 key_count);
// Inner product with what the walk found beside it: a monadic transpose of
// its right operand (the operand comes untransposed, to be read along its
// last axis) or around the product (the result is wanted transposed).
// Transposing reverses all axes; the result equals the plain composition.
enum : int { INNER_TRANSPOSED_RIGHT = 1, INNER_TRANSPOSED_RESULT = 2 };
typedef int (*InnerProductHandler)(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv, int flags);
// Their single-item paths, beside the handlers (the contract of
// SingleItemHandler): a[i] of a vector a and one index item i, into *z; and
// a[i]<-b into the variable in slot, done in place (true) or left alone.
typedef bool (*SingleIndexHandler)(const ValueDescriptor *a, const ValueDescriptor *i, i64 io_slot,
                                   ValueDescriptor *z);
typedef bool (*SingleIndexedAssignHandler)(i64 slot, const ValueDescriptor *i, const ValueDescriptor *b,
                                           i64 io_slot);
void register_single_index(SingleIndexHandler h);
void register_single_indexed_assign(SingleIndexedAssignHandler h);
SingleIndexHandler single_index_handler();
SingleIndexedAssignHandler single_indexed_assign_handler();
void register_bracket_index(IndexHandler h);
void register_indexed_assign(IndexedAssignHandler h);
void register_each(EachHandler h);
void register_inner_product(InnerProductHandler h);
void register_table_constructor(TableConstructorHandler h);
// The built-in functions 0..8 (key value xkey cols meta keys fkeys do like):
// the handler gets the function index as its code.
void register_builtin_function(i64 index, PrimHandler h);
IndexHandler bracket_index_handler();
IndexedAssignHandler indexed_assign_handler();
EachHandler each_handler();
InnerProductHandler inner_product_handler();
TableConstructorHandler table_constructor_handler();
PrimHandler builtin_function_handler(i64 index);

// ---- Filling the table -------------------------------------------------------------
// The family whose registration function runs now: registrations are
// recorded under it, so a test can check them against the table of
// primitives.
void begin_family_registration(PrimFamily f);
// Set before init_interpreter by the library's start-up (start_interpreter):
// fills the table with every family's handlers. Called once.
extern void (*register_families)();
void ensure_primitives_registered();
