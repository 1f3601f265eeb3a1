// Work memory of the search, sort and group kernels: a few big blocks are
// kept between calls and handed out again to a request they fit closely.
#include "primitives/hashing.h"
#include "core/arena.h"
#include <sys/mman.h>

enum : i64 {
    KEPT_BLOCKS = 8,
    KEEP_MIN = 1 << 20,             // smaller blocks come from the heap cheaply
    KEPT_TOTAL_MAX = (i64)256 << 20,
    HUGE_PAGE = 2 << 20,
};

static void *kept_block[KEPT_BLOCKS];
static i64 kept_bytes[KEPT_BLOCKS];

static void advise_huge_pages(void *p, i64 bytes) {
    uintptr_t start = ((uintptr_t)p + HUGE_PAGE - 1) & ~(uintptr_t)(HUGE_PAGE - 1);
    uintptr_t end = ((uintptr_t)p + (uintptr_t)bytes) & ~(uintptr_t)(HUGE_PAGE - 1);
    if (end > start) madvise((void *)start, end - start, MADV_HUGEPAGE);
}

// A block counts against the value memory limit while it is handed out.
void *take_work_memory(i64 bytes) {
    if (!value_memory_reserve(bytes)) return nullptr;
    if (bytes >= KEEP_MIN) {
        // the smallest kept block that holds the request without wasting
        // more than half of itself
        int best = -1;
        for (int i = 0; i < KEPT_BLOCKS; i++)
            if (kept_block[i] && kept_bytes[i] >= bytes && kept_bytes[i] / 2 <= bytes &&
                (best < 0 || kept_bytes[i] < kept_bytes[best]))
                best = i;
        if (best >= 0) {
            void *p = kept_block[best];
            kept_block[best] = nullptr;
            kept_bytes[best] = 0;
            return p;
        }
    }
    void *p = malloc((size_t)bytes);
    if (!p) value_memory_return(bytes);
    if (p && bytes >= 2 * HUGE_PAGE) advise_huge_pages(p, bytes);
    return p;
}

void give_back_work_memory(void *p, i64 bytes) {
    if (!p) return;
    value_memory_return(bytes);
    if (bytes >= KEEP_MIN) {
        i64 total = 0;
        int empty = -1;
        for (int i = 0; i < KEPT_BLOCKS; i++) {
            total += kept_bytes[i];
            if (!kept_block[i]) empty = i;
        }
        if (empty >= 0 && total + bytes <= KEPT_TOTAL_MAX) {
            kept_block[empty] = p;
            kept_bytes[empty] = bytes;
            return;
        }
    }
    free(p);
}
