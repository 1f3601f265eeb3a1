// Hashing and flat tables shared by the search, grade and group families and
// the row index of tables: a mixing hash, the word a float is hashed by, a
// buffer that frees itself, an open-addressing table of 64-bit keys and the
// value range that decides when a direct table beats hashing.
//
// Every table here is sized from the number of keys it may receive, grows
// with it (no fixed cap), and keeps an occupancy mark beside each key, so
// every 64-bit key (0 and any marker pattern included) can be stored.
#pragma once
#include "core/value.h"
#include "core/arena.h"
#include "core/errors.h"
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

typedef uint64_t u64;

// Spreads every bit of a key over the high bits the tables index by.
inline u64 mix_word(u64 x) {
    x ^= x >> 32;
    x *= 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    return x * 0xBF58476D1CE4E5B9ull;
}

// The word a double is hashed and compared by: its bit pattern, with -0.0
// taken as 0.0 (they are equal); callers keep NaN out (it equals nothing).
inline u64 float_word(double d) {
    if (d == 0) return 0;
    u64 b;
    memcpy(&b, &d, 8);
    return b;
}

inline u64 pair_word(const double *p) { return mix_word(float_word(p[0])) ^ (float_word(p[1]) * 0xD6E8FEB86659FD93ull); }

inline u64 bytes_word(const char *p, i64 n) {
    u64 h = 0x84222325CBF29CE4ull ^ (u64)n;
    for (i64 k = 0; k < n; k++) h = (h ^ (unsigned char)p[k]) * 0x100000001B3ull;
    return h;
}

// Work memory from the system heap (null when the heap refuses). Big
// blocks are kept for the next search or sort instead of being unmapped:
// pages mapped afresh cost a fault each on first touch, which for these
// kernels can take as long as the work itself.
void *take_work_memory(i64 bytes);
void give_back_work_memory(void *p, i64 bytes);

// A block of n items of T, given back when it goes out of scope. A size
// that cannot be had is 6 (workspace full), never the end of the process.
template <class T>
struct Work {
    T *p = nullptr;
    i64 bytes = 0;
    Work() = default;
    Work(const Work &) = delete;
    Work &operator=(const Work &) = delete;
    ~Work() { give_back_work_memory(p, bytes); }
    // 0, or 6 (workspace full) when n items cannot be sized.
    int take(i64 n) {
        give_back_work_memory(p, bytes);
        p = nullptr;
        bytes = 0;
        if (n < 0 || (u64)n > (u64)INT64_MAX / sizeof(T) / 2) return fail(VEK_WS_FULL);
        bytes = n > 0 ? n * (i64)sizeof(T) : 1;
        p = (T *)take_work_memory(bytes);
        if (!p) bytes = 0;
        return p ? 0 : fail(VEK_WS_FULL);
    }
    T &operator[](i64 i) const { return p[i]; }
};

// The smallest power of two of at least 2n and 16, as its log.
inline int table_bits_for(i64 n) {
    int bits = 4;
    while (bits < 62 && ((i64)1 << bits) < 2 * n) bits++;
    return bits;
}

// Slots for a table of up to n keys, every byte 0xFF (a negative value or
// position: empty), with the mask and shift of its size; 6 when the block
// cannot be had.
template <class S>
int take_empty_slots(Work<S> &slots, i64 n, u64 *mask, int *shift) {
    int bits = table_bits_for(n);
    if (slots.take((i64)1 << bits)) return VEK_WS_FULL;
    *mask = ((u64)1 << bits) - 1;
    *shift = 64 - bits;
    memset(slots.p, 0xFF, sizeof(S) << bits);
    return 0;
}

// Open addressing with linear probing over 64-bit keys, each with a value;
// a slot whose value is negative is empty. At most half full by its size.
struct WordTable {
    struct Slot { u64 key; i64 value; };
    Work<Slot> slots;
    u64 mask = 0;
    int shift = 64;

    // Room for up to n keys; 6 when it cannot be sized.
    int init(i64 n) { return take_empty_slots(slots, n, &mask, &shift); }
    u64 home(u64 key) const { return mix_word(key) >> shift; }
    // The slot holding key, or the empty slot where it would go.
    Slot *probe(u64 key) const {
        u64 s = home(key);
        while (slots[s].value >= 0 && slots[s].key != key) s = (s + 1) & mask;
        return &slots[s];
    }
    // The value stored for key, or -1.
    i64 find(u64 key) const { return probe(key)->value; }
    // Stores key with value unless present; returns the value now stored.
    i64 insert(u64 key, i64 value) {
        Slot *s = probe(key);
        if (s->value < 0) { s->key = key; s->value = value; }
        return s->value;
    }
};

// The span of integer keys: a direct table indexed by key - low is used
// when the span is small beside the number of keys.
struct KeySpan {
    i64 low = 0;
    u64 span = 0;       // high - low + 1; 0 when it does not fit in 64 bits
    bool fits(u64 limit) const { return span != 0 && span <= limit; }
    u64 at(i64 key) const { return (u64)key - (u64)low; }   // >= span when outside
};

inline KeySpan key_span(const i64 *p, i64 n) {
    KeySpan s;
    if (n <= 0) return s;
    i64 lo = p[0], hi = p[0];
    for (i64 i = 1; i < n; i++) {
        lo = p[i] < lo ? p[i] : lo;
        hi = p[i] > hi ? p[i] : hi;
    }
    s.low = lo;
    s.span = (u64)hi - (u64)lo + 1;
    return s;
}

// Direct tables are worth their set-up while the span is within a few
// entries per key (plus a floor every table this small costs anyway).
inline u64 direct_span_limit(i64 keys, i64 per_key) { return (u64)keys * (u64)per_key + 65536; }

// Open addressing over positions into arrays the caller compares: each
// slot holds a position or -1 (empty). At most half full by its size.
struct PositionTable {
    Work<i64> slots;
    u64 mask = 0;
    int shift = 64;

    // Room for up to n keys; 6 when it cannot be sized.
    int init(i64 n) { return take_empty_slots(slots, n, &mask, &shift); }
    // The stored position p with same(p), or -1.
    template <class Same>
    i64 find(u64 hash, Same same) const {
        for (u64 s = mix_word(hash) >> shift; slots[s] >= 0; s = (s + 1) & mask)
            if (same(slots[s])) return slots[s];
        return -1;
    }
    // Stores position p unless a stored position is the same; returns the
    // position now standing for it.
    template <class Same>
    i64 insert(u64 hash, i64 p, Same same) {
        u64 s = mix_word(hash) >> shift;
        for (; slots[s] >= 0; s = (s + 1) & mask)
            if (same(slots[s])) return slots[s];
        slots[s] = p;
        return p;
    }
};
