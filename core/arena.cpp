// The two-ended value arena (heap end with trailers from the top, stack end
// from the bottom), its compaction, the large-block (chunk) list, the
// scratch list and checked system-heap allocation.
//
// Rules kept here:
// - every arena block is a multiple of 8 bytes, so items and trailers stay
//   aligned and the compaction walk can step by the stored size;
// - only heap-end blocks have a trailer and a reference count; stack blocks
//   vanish when stacktop is reset;
// - a descriptor whose capacity is positive and whose data lies outside the
//   arena holds a chunk (a ChunkHeader sits right before its data).
#include "errors.h"
#include "arena.h"
#include "tables.h"
#include "platform/platform.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#include <map>

char *arena_base = nullptr;
i64 stacktop = 0;
i64 r15 = ARENA_BYTES;
void *alloc_result = nullptr;
i64 last_alloc_size = 0;
ChunkHeader *chunk_list_head = nullptr;

const double complex_one[2] = {1.0, 0.0};
const double complex_zero[2] = {0.0, 0.0};

struct ScratchNode { void *block; i64 size; ScratchNode *next; };
static ScratchNode *scratch_head = nullptr;
static ScratchNode *scratch_tail = nullptr;

static const i64 TRAILER = (i64)sizeof(HeapBlockTrailer);
static const i64 CHUNK_HEADER = (i64)sizeof(ChunkHeader);

// ---- Checked system-heap allocation ----------------------------------------
// The interpreter's own fixed tables end the process when the system will
// not give them memory: nothing could run without them.

static void allocation_exit(const char *message) {
    printf("%s\n", message);
    fflush(stdout);
    exit(1);
}

void *checked_malloc(i64 size) {
    if (size < 0) allocation_exit("* size negative in allocate. *");
    void *p = malloc(size > 0 ? (size_t)size : 1);
    if (!p) allocation_exit("* insufficient memery to allocate. *");
    return p;
}

void *checked_calloc(i64 count, i64 size) {
    if (count < 0 || size < 0) allocation_exit("* size negative in allocate. *");
    if (size > 0 && count > INT64_MAX / size) allocation_exit("* insufficient memery to allocate. *");
    void *p = calloc(count > 0 ? (size_t)count : 1, size > 0 ? (size_t)size : 1);
    if (!p) allocation_exit("* insufficient memery to allocate. *");
    return p;
}

// ---- Value memory ------------------------------------------------------------
// Large blocks and scratch blocks have sizes that user values decide. They
// share one limit, so that a statement asking for more fails with
// workspace full: the system would grant nearly any request and then end
// the process (or another one) when the pages are first written.

static i64 memory_limit = 0;   // 0: not set yet, taken from the machine
static i64 memory_used = 0;

static i64 default_memory_limit() {
    i64 mb = platform_physical_memory_mb();
    return mb > 0 ? mb / 2 * 1048576 : INT64_MAX;
}

void set_value_memory_limit(i64 bytes) { memory_limit = bytes > 0 ? bytes : default_memory_limit(); }

i64 value_memory_limit() {
    if (memory_limit == 0) memory_limit = default_memory_limit();
    return memory_limit;
}

i64 value_memory_used() { return memory_used; }

i64 value_memory_room() { return value_memory_limit() - memory_used; }

static void release_spare_chunks();

// Counts size against the limit; false when it does not fit even after the
// kept spare blocks are given back.
bool value_memory_reserve(i64 size) {
    if (size > value_memory_limit() - memory_used) release_spare_chunks();
    if (size > value_memory_limit() - memory_used) return false;
    memory_used += size;
    return true;
}

void value_memory_return(i64 size) { memory_used -= size; }

void *value_malloc(i64 size) {
    if (size < 0 || !value_memory_reserve(size)) return nullptr;
    void *p = malloc(size > 0 ? (size_t)size : 1);
    if (!p) value_memory_return(size);
    return p;
}

void value_free(void *p, i64 size) {
    if (!p) return;
    free(p);
    value_memory_return(size);
}

// ---- Where a descriptor's data lives ----------------------------------------

bool in_arena(const void *p) {
    const char *c = (const char *)p;
    return arena_base && c >= arena_base && c < arena_base + ARENA_BYTES;
}

bool in_heap_end(const void *p) {
    return in_arena(p) && (const char *)p - arena_base >= r15;
}

static i64 round8(i64 n) { return (n + 7) & ~(i64)7; }

static bool holds_block(const ValueDescriptor *d) {
    return d->capacity > 0 && d->data && d->data != (const void *)&d->dim0;
}

static HeapBlockTrailer *trailer_of(const ValueDescriptor *d) {
    return (HeapBlockTrailer *)((char *)d->data + d->capacity);
}

static ChunkHeader *chunk_of(const void *data) {
    return (ChunkHeader *)((char *)data - CHUNK_HEADER);
}

static bool is_item_type(i64 type) { return type == T_LIST || type == T_DICT || type == T_TABLE; }

// The arena is one big allocation of fresh pages: zeroing it by handing
// the whole pages back costs neither time nor resident memory, where a
// memset would touch every page of it.
void wipe_arena() {
    if (!arena_base) return;
    uintptr_t start = (uintptr_t)arena_base, end = start + ARENA_BYTES;
    uintptr_t page = (uintptr_t)sysconf(_SC_PAGESIZE);
    uintptr_t first = (start + page - 1) & ~(page - 1), last = end & ~(page - 1);
    if (last <= first || madvise((void *)first, last - first, MADV_DONTNEED) != 0) {
        memset(arena_base, 0, ARENA_BYTES);
        return;
    }
    memset(arena_base, 0, first - start);
    memset((void *)last, 0, end - last);
}

// ---- Chunk list --------------------------------------------------------------

void new_chunk_list() {
    if (chunk_list_head) return;
    // A fixed threshold: glibc would otherwise raise it after each freed big
    // block, and big results would come from the heap and need a memset.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    chunk_list_head = (ChunkHeader *)checked_calloc(1, CHUNK_HEADER);
    chunk_list_head->self = chunk_list_head;
}

// The last chunk of each size in the list: a new chunk goes right after the
// last one of its size or below, found without walking the list (a list
// value holds one chunk per big item, so there may be many of one size).
static std::map<i64, ChunkHeader *> last_of_size;

static void unlink_chunk(ChunkHeader *h) {
    auto at = last_of_size.find(h->size);
    if (at != last_of_size.end() && at->second == h) {
        if (h->prev && h->prev != chunk_list_head && h->prev->size == h->size) at->second = h->prev;
        else last_of_size.erase(at);
    }
    if (h->prev) h->prev->next = h->next;
    if (h->next) h->next->prev = h->prev;
    h->next = h->prev = nullptr;
}

static void link_chunk(ChunkHeader *h) {
    auto above = last_of_size.upper_bound(h->size);
    ChunkHeader *at = above == last_of_size.begin() ? chunk_list_head : std::prev(above)->second;
    h->prev = at;
    h->next = at->next;
    if (at->next) at->next->prev = h;
    at->next = h;
    last_of_size[h->size] = h;
}

enum : i64 { HUGE_PAGE_WORTHWHILE = 4 << 20, HUGE_PAGE = 2 << 20 };

static void advise_huge_pages(void *p, i64 bytes) {
    uintptr_t start = ((uintptr_t)p + HUGE_PAGE - 1) & ~(uintptr_t)(HUGE_PAGE - 1);
    uintptr_t end = ((uintptr_t)p + (uintptr_t)bytes) & ~(uintptr_t)(HUGE_PAGE - 1);
    if (end > start) madvise((void *)start, end - start, MADV_HUGEPAGE);
}

// ---- Spare chunks -------------------------------------------------------------------
// A statement over big vectors frees its big temporaries at the end and asks
// for blocks of the same sizes in the next one. Freshly mapped pages cost a
// fault on first touch, which for a simple kernel takes longer than the
// work, so a few freed big blocks are kept and handed out again. A reused
// block is zeroed like a fresh one unless the caller said it will write
// every byte (chunk_fully_written). The blocks freed last are the ones the
// next statement asks for again: a block freed when every place is taken
// (or the total would pass its bound) takes the place of the oldest.

bool chunk_fully_written = false;

enum : i64 { SPARE_SLOTS = 8, SPARE_MIN = 1 << 20, SPARE_TOTAL_MAX = (i64)512 << 20 };
static ChunkHeader *spare_chunk[SPARE_SLOTS];
static i64 spare_bytes[SPARE_SLOTS];   // usable data bytes of each spare
static i64 spare_age[SPARE_SLOTS];     // when each was kept: the lowest is the oldest
static i64 spare_clock = 0;

static void free_chunk_memory(ChunkHeader *h) {
    i64 size = h->size;
    free(h->self);
    value_memory_return(size + CHUNK_HEADER);
}

static void release_chunk_memory(ChunkHeader *h) {
    if (h->size < SPARE_MIN || h->size > SPARE_TOTAL_MAX) {
        free_chunk_memory(h);
        return;
    }
    for (;;) {
        i64 total = 0;
        int empty = -1, oldest = -1;
        for (int i = 0; i < SPARE_SLOTS; i++) {
            total += spare_bytes[i];
            if (!spare_chunk[i]) empty = i;
            else if (oldest < 0 || spare_age[i] < spare_age[oldest]) oldest = i;
        }
        if (empty >= 0 && total + h->size <= SPARE_TOTAL_MAX) {
            spare_chunk[empty] = h;
            spare_bytes[empty] = h->size;
            spare_age[empty] = ++spare_clock;
            return;
        }
        free_chunk_memory(spare_chunk[oldest]);
        spare_chunk[oldest] = nullptr;
        spare_bytes[oldest] = 0;
    }
}

static void release_spare_chunks() {
    for (int i = 0; i < SPARE_SLOTS; i++)
        if (spare_chunk[i]) {
            free(spare_chunk[i]);
            value_memory_return(spare_bytes[i] + CHUNK_HEADER);
            spare_chunk[i] = nullptr;
            spare_bytes[i] = 0;
        }
}

// The smallest spare that holds size bytes without wasting over a quarter.
static ChunkHeader *take_spare_chunk(i64 size) {
    int best = -1;
    for (int i = 0; i < SPARE_SLOTS; i++)
        if (spare_chunk[i] && spare_bytes[i] >= size && spare_bytes[i] - size <= spare_bytes[i] / 4 &&
            (best < 0 || spare_bytes[i] < spare_bytes[best]))
            best = i;
    if (best < 0) return nullptr;
    ChunkHeader *h = spare_chunk[best];
    value_memory_return(spare_bytes[best] - size);   // counted from now on as a block of size
    spare_chunk[best] = nullptr;
    spare_bytes[best] = 0;
    if (!chunk_fully_written) memset((char *)h + CHUNK_HEADER, 0, (size_t)size);
    return h;
}

bool allocation_may_fail = false;
bool allocation_failed = false;

// Zeroed by calloc: a block of a megabyte or more is always fresh pages
// from the system (see new_chunk_list), which cost no memset, and huge
// pages cut the page faults of a first write over it. Null when the system
// has no memory for it or it would pass the value memory limit.
static ChunkHeader *fresh_chunk(i64 size) {
    if (size <= 0 || size > INT64_MAX - CHUNK_HEADER) return nullptr;
    if (!value_memory_reserve(size + CHUNK_HEADER)) return nullptr;
    ChunkHeader *h = (ChunkHeader *)calloc(1, (size_t)(size + CHUNK_HEADER));
    if (!h) {
        value_memory_return(size + CHUNK_HEADER);
        return nullptr;
    }
    if (size >= HUGE_PAGE_WORTHWHILE) advise_huge_pages(h, size + CHUNK_HEADER);
    h->self = h;
    h->size = size;
    h->refcount = 1;
    return h;
}

// A new chunk goes before the first chunk of larger size, so equal sizes
// keep their order of arrival.
void *new_chunk(i64 size) {
    if (size <= 0) allocation_exit("size <=0 in allocate is not allowed");
    if (size > INT64_MAX - CHUNK_HEADER) return nullptr;
    new_chunk_list();
    ChunkHeader *h = take_spare_chunk(size);
    if (h) {
        h->self = h;
        h->size = size;
        h->refcount = 1;
    } else if (!(h = fresh_chunk(size))) {
        allocation_failed = true;
        return nullptr;
    }
    link_chunk(h);
    return (char *)h + CHUNK_HEADER;
}

i64 chunk_bytes(const void *data) { return chunk_of(data)->size; }

void *new_unlinked_chunk(i64 size) {
    ChunkHeader *h = fresh_chunk(size);
    return h ? (char *)h + CHUNK_HEADER : nullptr;
}

void link_unlinked_chunk(void *data) {
    new_chunk_list();
    link_chunk(chunk_of(data));
}

void free_chunks_keep_head() {
    if (!chunk_list_head) return;
    ChunkHeader *c = chunk_list_head->next;
    while (c) {
        ChunkHeader *next = c->next;
        release_chunk_memory(c);
        c = next;
    }
    chunk_list_head->next = nullptr;
    last_of_size.clear();
}

// ---- Reference counts ------------------------------------------------------------

// Counts live only in heap-end trailers and chunk headers; stack-end data
// has neither, so it reports -1 and is never written through.
i64 adjust_refcount(ValueDescriptor *d, i64 delta) {
    if (!holds_block(d)) return -1;
    if (in_arena(d->data)) {
        if (!in_heap_end(d->data)) return -1;
        HeapBlockTrailer *t = trailer_of(d);
        if ((char *)t + TRAILER > arena_base + ARENA_BYTES || !t->in_use) return -1;
        t->refcount += delta;
        if (t->refcount <= 0) { t->refcount = 0; t->in_use = 0; }
        return t->refcount;
    }
    ChunkHeader *h = chunk_of(d->data);
    h->refcount += delta;
    if (h->refcount <= 0) {
        unlink_chunk(h);
        release_chunk_memory(h);
        return 0;
    }
    return h->refcount;
}

void adopt_block(ValueDescriptor *d) {
    if (holds_block(d) && in_heap_end(d->data)) trailer_of(d)->owner = d;
}

// Gives up this descriptor's hold on its block. The allocation paths use it
// after the caller stored the new type, so it cannot tell what the block held.
static void drop_block(ValueDescriptor *d) { adjust_refcount(d, -1); }

// An item's data in the arena may be stack-end data of a line already over,
// since overrun by the heap end: only a trailer that names the item itself
// proves the block is the item's.
static bool item_owns_block(const ValueDescriptor *item) {
    if (!in_arena(item->data)) return true;
    if (!in_heap_end(item->data)) return false;
    const HeapBlockTrailer *t = trailer_of(item);
    return (const char *)t + TRAILER <= arena_base + ARENA_BYTES && t->owner == item;
}

// Gives up a whole value: the items of a list whose block dies with it are
// given up too.
static void drop_value(ValueDescriptor *d) {
    if (!holds_block(d)) return;
    if (is_item_type(d->type) && (in_heap_end(d->data) || !in_arena(d->data))) {
        i64 r = in_arena(d->data) ? trailer_of(d)->refcount : chunk_of(d->data)->refcount;
        if (r == 1) {
            ValueDescriptor *items = (ValueDescriptor *)d->data;
            i64 n = d->capacity / (i64)sizeof(ValueDescriptor);
            for (i64 i = 0; i < n; i++)
                if (holds_block(&items[i]) && item_owns_block(&items[i])) drop_value(&items[i]);
        }
    }
    adjust_refcount(d, -1);
}

void release_descriptor(ValueDescriptor *d) {
    drop_value(d);
    memset(d, 0, sizeof *d);
}

// A list on the stack end owns its items (a stack block is never shared):
// the blocks they hold are given up with it, and those of lists on the
// stack end among them.
static void drop_stack_items(ValueDescriptor *d) {
    if (!is_item_type(d->type) || !holds_block(d) || !in_arena(d->data) || in_heap_end(d->data)) return;
    ValueDescriptor *items = (ValueDescriptor *)d->data;
    i64 n = d->capacity / (i64)sizeof(ValueDescriptor);
    for (i64 i = 0; i < n; i++) {
        ValueDescriptor *item = &items[i];
        if (!holds_block(item)) continue;
        if (in_arena(item->data) && !in_heap_end(item->data)) drop_stack_items(item);
        else if (item_owns_block(item)) drop_value(item);
    }
}

void release_stack_value(ValueDescriptor *d) {
    drop_stack_items(d);
    release_descriptor(d);
}

void release_slot(i64 slot) {
    if (slot < 0 || slot >= SLOT_COUNT) return;
    release_descriptor(&value_slot_table[slot]);
}

// ---- Compaction ----------------------------------------------------------------

enum { COMPACTION_LISTENERS_MAX = 4 };
static CompactionListener compaction_listeners[COMPACTION_LISTENERS_MAX];
static int compaction_listener_count = 0;

bool add_compaction_listener(CompactionListener listener) {
    for (int i = 0; i < compaction_listener_count; i++)
        if (compaction_listeners[i] == listener) return true;
    if (compaction_listener_count == COMPACTION_LISTENERS_MAX) return false;
    compaction_listeners[compaction_listener_count++] = listener;
    return true;
}

// Blocks are walked from the top down; a block may hold descriptors (a
// list's items) that own blocks further down, so each move is remembered
// and an owner address inside a moved range is translated before use.
struct BlockMove { char *old_start, *old_end; i64 delta; };

static ValueDescriptor *translate_owner(ValueDescriptor *owner, BlockMove *moves, i64 n) {
    char *p = (char *)owner;
    // moves are in descending address order
    i64 lo = 0, hi = n - 1;
    while (lo <= hi) {
        i64 mid = (lo + hi) / 2;
        if (p >= moves[mid].old_end) hi = mid - 1;
        else if (p < moves[mid].old_start) lo = mid + 1;
        else return (ValueDescriptor *)(p + moves[mid].delta);
    }
    return owner;
}

static bool descriptor_table_holds(const ValueDescriptor *p) {
    return (p >= value_slot_table && p < value_slot_table + SLOT_COUNT) ||
           (p >= constants_table && p < constants_table + CONSTANT_CAP);
}

// The owner recorded in a trailer should point at the block; when it does
// not (a descriptor was copied elsewhere), the slot and constant tables are
// searched for the descriptor that does.
static ValueDescriptor *find_owner(ValueDescriptor *owner, char *data) {
    bool readable = descriptor_table_holds(owner) || in_arena(owner);
    if (owner && readable && owner->data == data) return owner;
    if (owner && !readable && owner->data == data) return owner;   // item of a chunk list
    for (i64 i = 0; i < SLOT_COUNT; i++)
        if (value_slot_table[i].data == data) return &value_slot_table[i];
    for (i64 i = 0; i < CONSTANT_CAP; i++)
        if (constants_table[i].data == data) return &constants_table[i];
    return nullptr;
}

// Items of a moved list whose blocks lie above it were placed already and
// still name the items' old addresses: point those trailers at the items.
// Blocks below are yet to come and find their owner through the moves.
static void follow_moved_items(char *old_data, char *new_data, i64 size) {
    ValueDescriptor *items = (ValueDescriptor *)new_data;
    for (i64 k = 0; k < size / (i64)sizeof(ValueDescriptor); k++) {
        ValueDescriptor *was = (ValueDescriptor *)old_data + k;
        if (!holds_block(&items[k]) || !in_heap_end(items[k].data)) continue;
        if ((char *)items[k].data < new_data + size + TRAILER) continue;
        HeapBlockTrailer *t = trailer_of(&items[k]);
        if ((char *)t + TRAILER <= arena_base + ARENA_BYTES && t->owner == was) t->owner = &items[k];
    }
}

static bool heap_chain_valid() {
    i64 pos = ARENA_BYTES;
    while (pos > r15) {
        HeapBlockTrailer *t = (HeapBlockTrailer *)(arena_base + pos - TRAILER);
        i64 size = t->size;
        if (size < 0 || (size & 7) || pos - TRAILER - size < r15) return false;
        pos -= TRAILER + size;
    }
    return pos == r15;
}

void compact_heap() {
    if (r15 >= ARENA_BYTES) { r15 = ARENA_BYTES; return; }
    if (!heap_chain_valid()) {
        fprintf(stderr, "compact_heap: heap end damaged, left as it is\n");
        return;
    }
    i64 cap = 64, n = 0;
    BlockMove *moves = (BlockMove *)checked_malloc(cap * (i64)sizeof(BlockMove));
    i64 pos = ARENA_BYTES, write = ARENA_BYTES;
    while (pos > r15) {
        HeapBlockTrailer *t = (HeapBlockTrailer *)(arena_base + pos - TRAILER);
        i64 size = t->size;
        char *old_data = arena_base + pos - TRAILER - size;
        pos -= TRAILER + size;
        if (!t->in_use) continue;
        char *new_data = arena_base + write - TRAILER - size;
        ValueDescriptor *owner = find_owner(translate_owner(t->owner, moves, n), old_data);
        if (new_data != old_data) {
            if (owner) owner->data = new_data;
            memmove(new_data, old_data, (size_t)(size + TRAILER));
            HeapBlockTrailer *nt = (HeapBlockTrailer *)(new_data + size);
            nt->owner = owner;
            if (owner && is_item_type(owner->type)) follow_moved_items(old_data, new_data, size);
            if (n == cap) {
                cap *= 2;
                BlockMove *grown = (BlockMove *)checked_malloc(cap * (i64)sizeof(BlockMove));
                memcpy(grown, moves, n * sizeof(BlockMove));
                free(moves);
                moves = grown;
            }
            moves[n++] = {old_data, old_data + size, new_data - old_data};
        } else {
            t->owner = owner;
        }
        write -= TRAILER + size;
    }
    free(moves);
    r15 = write;
    for (int i = 0; i < compaction_listener_count; i++) compaction_listeners[i]();
}

// ---- Allocation paths -----------------------------------------------------------

static void prepare_block(void *data, i64 type, i64 size, bool zero_all) {
    if (zero_all || is_item_type(type)) memset(data, 0, (size_t)size);
    else if (type == T_CHAR) ((char *)data)[size - 1] = 0;
}

int take_large_block(ValueDescriptor *d, i64 type, i64 size, bool zero_all) {
    if (realloc_as_chunk(d, size)) return (int)error_number;
    prepare_block(d->data, type, size, zero_all);
    return 0;
}

// A block that cannot be had leaves the descriptor's own block in place.
int realloc_as_chunk(ValueDescriptor *d, i64 size) {
    void *p = new_chunk(size);
    if (!p) return (int)(error_number = VEK_WS_FULL);
    drop_block(d);
    d->data = p;
    d->capacity = size;
    alloc_result = p;
    last_alloc_size = size;
    return 0;
}

// The descriptor's own block is reused only when it is live, unshared and
// big enough.
int alloc_heap_block(ValueDescriptor *d, i64 type, i64 count) {
    i64 size = data_bytes(type, count);
    if (size < 0) return error_number = VEK_WS_FULL;
    last_alloc_size = size;
    if (size == 0) { drop_block(d); d->capacity = 0; d->data = nullptr; alloc_result = nullptr; return 0; }
    i64 r = adjust_refcount(d, 0);
    // a large block larger than the descriptor says holds more than its
    // items (a list's texts): it is never taken for another value
    bool whole = in_arena(d->data) || !holds_block(d) || chunk_of(d->data)->size == d->capacity;
    if (r == 1 && d->capacity >= size && whole) {
        alloc_result = d->data;
        prepare_block(d->data, type, size, false);
        return 0;
    }
    if (size > LARGE_BLOCK_LIMIT) return take_large_block(d, type, size, false);
    i64 rounded = round8(size);
    if (r15 - TRAILER - rounded < stacktop) {
        compact_heap();
        if (r15 - TRAILER - rounded < stacktop) return ARENA_FULL;
    }
    drop_block(d);
    r15 -= TRAILER;
    HeapBlockTrailer *t = (HeapBlockTrailer *)(arena_base + r15);
    r15 -= rounded;
    t->owner = d;
    t->size = rounded;
    t->refcount = 1;
    t->in_use = 1;
    memset(t->pad, 0, sizeof t->pad);
    d->capacity = rounded;
    d->data = arena_base + r15;
    alloc_result = d->data;
    prepare_block(d->data, type, rounded, false);
    if (type == T_CHAR) ((char *)d->data)[size - 1] = 0;
    return 0;
}

int alloc_stack_block(ValueDescriptor *d, i64 type, i64 count) {
    i64 size = data_bytes(type, count);
    if (size < 0) return error_number = VEK_WS_FULL;
    last_alloc_size = size;
    if (size == 0) { drop_block(d); d->capacity = 0; d->data = nullptr; alloc_result = nullptr; return 0; }
    if (size > LARGE_BLOCK_LIMIT) return take_large_block(d, type, size, false);   // a new chunk is already zeroed
    i64 rounded = round8(size);
    if (stacktop + rounded > r15) {
        compact_heap();
        if (stacktop + rounded > r15) return ARENA_FULL;
    }
    drop_block(d);
    d->data = arena_base + stacktop;
    d->capacity = rounded;
    stacktop += rounded;
    alloc_result = d->data;
    memset(d->data, 0, (size_t)rounded);
    return 0;
}

// Stack slots may hold chunks (large temporaries); they are given up here
// with the stack blocks, or a loop over big values would keep them all.
// Temporaries on the stack end were made since the stack end was last
// lowered (every lowering gives up the temporaries above it), so the items
// of their lists are still there to give up too.
void reset_stack() {
    stacktop = 0;
    if (!value_slot_table) return;
    for (i64 s = 0; s < SLOT_COUNT; s++) {
        if (s == FIRST_GLOBAL_SLOT) s = FIRST_TEMP_SLOT;
        ValueDescriptor *d = &value_slot_table[s];
        if (holds_block(d) && !in_arena(d->data)) release_descriptor(d);
        else if (s >= FIRST_TEMP_SLOT && holds_block(d) && !in_heap_end(d->data)) release_stack_value(d);
    }
}

// ---- Scratch list ---------------------------------------------------------------

void new_scratch_list() {
    if (scratch_head) return;
    scratch_head = (ScratchNode *)checked_calloc(1, sizeof(ScratchNode));
    scratch_tail = scratch_head;
}

// Small scratch blocks given back are kept for the next primitive that
// asks (a loop asks for the same few sizes line after line), a bounded
// number of them, so a loop's steady state calls no allocator. Larger
// ones, and any beyond the bound, go back to the system.
enum : i64 { SPARE_SCRATCH_MAX = 65536, SPARE_SCRATCH_COUNT = 32 };
static ScratchNode *spare_scratch = nullptr;
static i64 spare_scratch_count = 0;

// A kept block of at least size bytes that wastes at most half of itself.
static ScratchNode *take_spare_scratch(i64 size) {
    for (ScratchNode **at = &spare_scratch; *at; at = &(*at)->next) {
        ScratchNode *node = *at;
        if (node->size >= size && node->size / 2 <= size) {
            *at = node->next;
            spare_scratch_count--;
            return node;
        }
    }
    return nullptr;
}

// Blocks count against the value memory limit while they are handed out;
// the few kept small ones do not.
void *scratch_alloc(i64 type, i64 n) {
    if (n <= 0) return nullptr;
    i64 size = data_bytes(type, n);
    ScratchNode *node = size >= 0 && size <= SPARE_SCRATCH_MAX ? take_spare_scratch(size) : nullptr;
    if (size < 0 || !value_memory_reserve(node ? node->size : size)) {
        if (node) {
            node->next = spare_scratch;
            spare_scratch = node;
            spare_scratch_count++;
        }
        error_number = 6;
        return nullptr;
    }
    if (!node) {
        void *block = malloc((size_t)size);
        if (!block) {
            value_memory_return(size);
            error_number = 6;
            return nullptr;
        }
        node = (ScratchNode *)checked_malloc(sizeof(ScratchNode));
        node->block = block;
        node->size = size;
    }
    new_scratch_list();
    node->next = nullptr;
    scratch_tail->next = node;
    scratch_tail = node;
    return node->block;
}

void free_scratch() {
    if (!scratch_head) return;
    ScratchNode *n = scratch_head->next;
    while (n) {
        ScratchNode *next = n->next;
        value_memory_return(n->size);
        if (n->size <= SPARE_SCRATCH_MAX && spare_scratch_count < SPARE_SCRATCH_COUNT) {
            n->next = spare_scratch;
            spare_scratch = n;
            spare_scratch_count++;
        } else {
            free(n->block);
            free(n);
        }
        n = next;
    }
    scratch_head->next = nullptr;
    scratch_tail = scratch_head;
}
