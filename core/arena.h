// The two-ended value arena, heap trailers, large blocks (chunks), the
// scratch list and checked system-heap allocation.
#pragma once
#include "value.h"

struct HeapBlockTrailer {   // 32 bytes after each heap-end block
    ValueDescriptor *owner;
    i64 size;
    i64 refcount;
    unsigned char in_use;
    unsigned char pad[7];
};
static_assert(sizeof(HeapBlockTrailer) == 32, "trailer is 32 bytes");

struct ChunkHeader {        // 40 bytes before each large block's data
    void *self;
    i64 size;
    i64 refcount;
    ChunkHeader *next, *prev;
};
static_assert(sizeof(ChunkHeader) == 40, "chunk header is 40 bytes");

extern char *arena_base;
extern i64 stacktop;         // next free offset of the stack end
extern i64 r15;              // lowest used offset of the heap end
extern void *alloc_result;
extern i64 last_alloc_size;
extern ChunkHeader *chunk_list_head;

// The arena's ends meet even after compaction: not an error, the caller
// takes a large block instead (storage.h says so to the user first).
enum : int { ARENA_FULL = -1 };
// Storage for count items of type for descriptor d: at the heap end (with
// its trailer; d is the owner, a heap slot's or a constant's descriptor,
// and its own block is reused when live, unshared and big enough) or at
// the stack end (zeroed, no trailer). Data over LARGE_BLOCK_LIMIT takes a
// large block. Afterwards alloc_result points at the data. Returns 0, an
// error number (6 "workspace full" when memory cannot be had), or
// ARENA_FULL with nothing done.
int alloc_heap_block(ValueDescriptor *d, i64 type, i64 count);
int alloc_stack_block(ValueDescriptor *d, i64 type, i64 count);
// Gives d a large block of size bytes instead (realloc_as_chunk), a char
// block ending in NUL and a list's zeroed; zero_all zeroes any type.
int take_large_block(ValueDescriptor *d, i64 type, i64 size, bool zero_all);
i64 adjust_refcount(ValueDescriptor *d, i64 delta);
int realloc_as_chunk(ValueDescriptor *d, i64 size);
// Set by a kernel around the allocation of a result it writes in full: a
// reused large block is then not zeroed first.
extern bool chunk_fully_written;
void *new_chunk(i64 size);
// The size of the large block whose data starts at data (its capacity as
// the chunk list counts it).
i64 chunk_bytes(const void *data);
// A large block the system cannot give, or one past the value memory limit
// below, is error 6 for the allocation paths and sets allocation_failed,
// never the end of the process; the file readers raise allocation_may_fail
// around their work and read allocation_failed afterwards.
extern bool allocation_may_fail;
extern bool allocation_failed;
// A large block outside the chunk list, for values staged by a reader
// before they replace the workspace: null when there is no memory. Freed
// like any chunk (release_descriptor); a clear does not see it until
// link_unlinked_chunk puts it in the list.
void *new_unlinked_chunk(i64 size);
void link_unlinked_chunk(void *data);
// Zeroes the whole arena, giving its pages back to the system.
void wipe_arena();
void release_slot(i64 slot);
// Whoever copies a descriptor that holds a heap-end block to a new place
// (and zeroes the old one) calls this so compaction finds the new owner.
void adopt_block(ValueDescriptor *d);
void release_descriptor(ValueDescriptor *d);
// Gives up a value whose list block lies on the stack end together with the
// blocks its items hold. Only while the stack end still holds the list.
void release_stack_value(ValueDescriptor *d);
void compact_heap();
// Called after every compaction, when heap blocks may have moved: whoever
// keeps data addresses outside the descriptors that own them (the operand
// views) registers to read them again. At most four; false when full.
typedef void (*CompactionListener)();
bool add_compaction_listener(CompactionListener listener);
void reset_stack();           // stacktop = 0, frees large blocks held by stack slots
bool in_arena(const void *p);
bool in_heap_end(const void *p);

// A block of n items freed with the scratch list after the primitive;
// nullptr (and error_number 6) when the memory cannot be had.
void *scratch_alloc(i64 type, i64 n);
void free_scratch();
void new_scratch_list();
void new_chunk_list();
void free_chunks_keep_head();

// Blocks of the interpreter's own tables: a refusal ends the process.
void *checked_malloc(i64 size);
void *checked_calloc(i64 count, i64 size);

// Memory whose size user values decide (large blocks, scratch blocks and
// the work blocks of primitives) is counted against one limit, by default
// half the physical memory; past it an allocation fails and the statement
// answers workspace full. A limit of 0 or less restores the default.
void set_value_memory_limit(i64 bytes);
i64 value_memory_limit();
i64 value_memory_used();
// What is left under the limit.
i64 value_memory_room();
// Counts bytes against the limit (false when they do not fit); return
// gives them back.
bool value_memory_reserve(i64 bytes);
void value_memory_return(i64 bytes);
// malloc within the limit (nullptr when over it or refused); value_free
// takes the same size back.
void *value_malloc(i64 size);
void value_free(void *p, i64 size);

extern const double complex_one[2];
extern const double complex_zero[2];
