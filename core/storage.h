// Storage for value slots and constants: a block at the arena's heap end
// (slots 18..23479 and constants) or stack end (every other slot), and,
// when the arena's ends meet even after compaction, a large block after a
// notice line ("dectp,r = count, vx=slot" or "inctp,..."). Also the chunk
// list as )INDEX shows it.
#pragma once
#include "value.h"

// The caller has stored the type in the slot; this stores rank and count
// and gives the slot storage for count items: none for an inline scalar
// (data = the slot's word 2) or for count 0 (alloc_result null). Afterwards
// alloc_result points at the data. Returns 0 or an error number; a failure
// (workspace full) leaves the slot's value as it was.
int alloc_slot_value(i64 slot, i64 type, i64 rank, i64 count);
// rank 0, or rank 1 with count 1: rank and count only; rank 1: dim0 =
// count; rank 2 or more: dim0 = d0, dim1 = d1; then data = alloc_result.
void set_slot_shape(i64 slot, i64 rank, i64 count, i64 d0, i64 d1);
// The two storage paths of alloc_slot_value.
int alloc_heap_slot(i64 slot, i64 type, i64 count);
int alloc_stack_slot(i64 slot, i64 type, i64 count);
// The heap-end storage of constant entry `constant`.
int alloc_slot_bytes(i64 constant, i64 type, i64 count);

// Prints each large block's size and a blank, then "<n> chunks"; returns
// the sum of their sizes (the Allocate figure of )INDEX).
i64 print_chunk_list();
