// Bracket indexing and indexed assignment (primitives/indexing.cpp).
#pragma once
#include "core/dispatch.h"

// Dictionaries, tables, keyed tables and enumerations are indexed, and
// assigned into, by the dictionary family: it registers its handlers here.
// Until it has, such values answer "primitive function not yet implemented".
void register_keyed_index(IndexHandler h);
void register_keyed_assign(IndexedAssignHandler h);

// A[I;J;...] into result_slot and A[I;J;...]<-B into the variable in
// target_slot, with the operand conventions of core/dispatch.h.
int index_value(i64 result_slot, i64 ac, i64 av, i64 ic, i64 iv, const i64 *rest_c,
                const i64 *rest_v, i64 rest, i64 io_slot);
int assign_indexed(i64 target_slot, i64 ic, i64 iv, const i64 *rest_c, const i64 *rest_v,
                   i64 rest, i64 bc, i64 bv, i64 io_slot);
