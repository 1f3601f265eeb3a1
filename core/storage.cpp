// Storage for value slots and constants. The arena answers ARENA_FULL when
// its ends still meet after compaction; that is no error: the user is told
// in one line and the value takes a large block instead.
#include "storage.h"
#include "arena.h"
#include "errors.h"
#include "output.h"
#include "tables.h"

static int heap_block_or_large(ValueDescriptor *d, i64 type, i64 count, i64 who) {
    int r = alloc_heap_block(d, type, count);
    if (r != ARENA_FULL) return r;
    vek_printf("dectp,r = %lld, vx=%lld", (long long)count, (long long)who);
    vek_puts("\n");
    return take_large_block(d, type, data_bytes(type, count), false);
}

int alloc_heap_slot(i64 slot, i64 type, i64 count) {
    return heap_block_or_large(&value_slot_table[slot], type, count, slot);
}

int alloc_slot_bytes(i64 constant, i64 type, i64 count) {
    return heap_block_or_large(&constants_table[constant], type, count, constant);
}

int alloc_stack_slot(i64 slot, i64 type, i64 count) {
    ValueDescriptor *d = &value_slot_table[slot];
    int r = alloc_stack_block(d, type, count);
    if (r != ARENA_FULL) return r;
    vek_printf("inctp,r = %lld, vx=%lld\n", (long long)count, (long long)slot);
    return take_large_block(d, type, data_bytes(type, count), true);
}

// A failure (workspace full) leaves the slot's value as it was.
int alloc_slot_value(i64 slot, i64 type, i64 rank, i64 count) {
    if (slot < 0 || slot >= SLOT_COUNT) return error_number = VEK_DOMAIN;
    ValueDescriptor *d = &value_slot_table[slot];
    const ValueDescriptor before = *d;
    d->type = type;
    d->rank = rank;
    d->count = count;
    if (count <= 0 || (rank <= 1 && count == 1 && is_simple_type(type))) {
        adjust_refcount(d, -1);
        d->capacity = 0;
        d->data = count == 1 ? (void *)&d->dim0 : nullptr;
        alloc_result = d->data;
        return 0;
    }
    if (!(is_heap_slot(slot) ? alloc_heap_slot(slot, type, count) : alloc_stack_slot(slot, type, count))) return 0;
    d->type = before.type;
    d->rank = before.rank;
    d->count = before.count;
    return error_number;
}

void set_slot_shape(i64 slot, i64 rank, i64 count, i64 d0, i64 d1) {
    ValueDescriptor *d = &value_slot_table[slot];
    d->rank = rank;
    d->count = count;
    if (rank == 1 && count != 1) d->dim0 = count;
    else if (rank >= 2) { d->dim0 = d0; d->dim1 = d1; }
    if (rank >= 2 || count != 1 || !is_simple_type(d->type)) d->data = alloc_result;
    else d->data = &d->dim0;
}

i64 print_chunk_list() {
    i64 total = 0, n = 0;
    for (ChunkHeader *c = chunk_list_head ? chunk_list_head->next : nullptr; c; c = c->next) {
        vek_printf("%lld ", (long long)c->size);
        total += c->size;
        n++;
    }
    vek_printf("%lld chunks\n", (long long)n);
    return total;
}
