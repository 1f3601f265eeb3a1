// Roll and deal, drawing from the multiplicative generator whose state is
// []RL (seed*16807 modulo 2^31-1); the inverse (inverse.cpp) registers
// with them.
//
// Ledger
// - roll (?. y): for each positive integer n of y, a draw in origin ..
//   origin+n-1, in item order; an integer array of y's shape.
// - deal (k ?. n): k distinct draws from origin .. origin+n-1 in the order
//   drawn; a draw equal to an earlier one is drawn again.
// Fast paths: roll advances the state for every item first (a short chain
// of multiply, fold and subtract), then turns the states into draws in a
// second loop without a dependency; deal finds earlier draws in a set of
// bits or a hash set, whichever is smaller.
// Refuses: a []IO that is not 0 or 1 (24); operands not boolean or integer
// (1); roll of an item below 1 (1); deal with an operand of more than one
// item (3), k or n negative, or k above n (1).
#include "prim.h"
#include "random.h"
#include "core/tables.h"
#include "core/arena.h"

typedef uint64_t u64;

// ---- The generator ------------------------------------------------------------------

// x modulo 2^31-1 for x below 2^62: 2^31 is 1 in that modulus, so the high
// bits fold onto the low ones.
static inline u64 fold(u64 x) {
    x = (x & RANDOM_MODULUS) + (x >> 31);
    return x >= (u64)RANDOM_MODULUS ? x - RANDOM_MODULUS : x;
}

static inline u64 reduce_seed(i64 seed) {
    i64 s = seed % RANDOM_MODULUS;
    return (u64)(s < 0 ? s + RANDOM_MODULUS : s);
}

// The next state; a state of 0 (a seed that was a multiple of the modulus)
// restarts from the multiplier.
static inline u64 next_state(u64 s) {
    s = fold(s * RANDOM_MULTIPLIER);
    return s ? s : RANDOM_MULTIPLIER;
}

static inline i64 draw_of(u64 state, i64 n, i64 origin) {
    double u = (double)state / (double)RANDOM_MODULUS;
    return origin + (i64)(u * (double)n);
}

i64 random_next(i64 n, i64 origin, i64 *seed) {
    u64 s = next_state(reduce_seed(*seed));
    *seed = (i64)s;
    return draw_of(s, n, origin);
}

// The seed lives in []RL as one integer; the assignment checks keep it so.
static int read_seed(i64 *seed) {
    ValueDescriptor *d = &value_slot_table[SLOT_RL];
    if ((d->type != T_INT && d->type != T_BOOL) || d->count != 1 || d->rank < 0 || d->rank > 1)
        return fail(VEK_DOMAIN);
    *seed = *(const i64 *)value_data(d);
    return 0;
}

static void store_seed(i64 seed) {
    ValueDescriptor *d = &value_slot_table[SLOT_RL];
    d->type = T_INT;
    *(i64 *)value_data(d) = seed;
}

// ---- Roll --------------------------------------------------------------------------------

// States for n items into z, from the state after `s`.
static u64 fill_states(i64 *z, i64 n, u64 s) {
    if (n > 0 && s == 0) {          // only the first step can meet a zero state
        s = next_state(s);
        z[0] = (i64)s;
        z++;
        n--;
    }
    for (i64 i = 0; i < n; i++) {
        s = fold(s * RANDOM_MULTIPLIER);
        z[i] = (i64)s;
    }
    return s;
}

static int prim_roll(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    i64 io, seed;
    if (index_origin(&io)) return VEK_IO;
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (!y.is_int_class()) return fail(VEK_DOMAIN);
    for (i64 i = 0; i < y.count; i++)
        if (y.ints()[i] < 1) return fail(VEK_DOMAIN);
    if (read_seed(&seed)) return VEK_DOMAIN;
    Shape s;
    shape_of(&s, &y);
    Result z;
    if (begin_result(&z, result_slot, T_INT, s, &y, nullptr, true)) return (int)error_number;
    i64 *out = z.ints();
    if (z.count == 0) return 0;
    store_seed((i64)fill_states(out, z.count, reduce_seed(seed)));
    if (y.single) {
        i64 n = y.ints()[0];
        for (i64 i = 0; i < z.count; i++) out[i] = draw_of((u64)out[i], n, io);
    } else {
        const i64 *n = y.ints();
        for (i64 i = 0; i < z.count; i++) out[i] = draw_of((u64)out[i], n[i], io);
    }
    return 0;
}

// ---- Deal ----------------------------------------------------------------------------------

// The draws so far, by value less the origin (0 .. n-1): a bit per number
// when that takes less room than the hash table, else open addressing at
// most half full with every key spread by a mixing function.
struct DrawnSet {
    uint64_t *bits;     // the bit form, or null
    i64 *keys;          // the hash form
    u64 mask;
};

static u64 spread(u64 k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    return k ^ (k >> 33);
}

// false when its block cannot be had.
static bool drawn_init(DrawnSet *h, i64 k, i64 n) {
    u64 size = 16;
    while (size < (u64)k * 2) size <<= 1;
    h->bits = nullptr;
    h->keys = nullptr;
    h->mask = 0;
    if ((u64)n / 64 + 1 <= size) {
        i64 words = n / 64 + 1;
        h->bits = (uint64_t *)scratch_alloc(T_INT, words);
        if (!h->bits) return false;
        for (i64 i = 0; i < words; i++) h->bits[i] = 0;
        return true;
    }
    h->keys = (i64 *)scratch_alloc(T_INT, (i64)size);
    if (!h->keys) return false;
    for (u64 i = 0; i < size; i++) h->keys[i] = -1;
    h->mask = size - 1;
    return true;
}

// Adds key; false when it was there already.
static bool drawn_add(DrawnSet *h, i64 key) {
    if (h->bits) {
        uint64_t bit = (uint64_t)1 << (key & 63);
        if (h->bits[key >> 6] & bit) return false;
        h->bits[key >> 6] |= bit;
        return true;
    }
    for (u64 at = spread((u64)key) & h->mask;; at = (at + 1) & h->mask) {
        if (h->keys[at] == key) return false;
        if (h->keys[at] < 0) {
            h->keys[at] = key;
            return true;
        }
    }
}

// A single boolean or integer number.
static int single_count(const Operand &o, i64 *n) {
    if (!o.is_int_class()) return fail(VEK_DOMAIN);
    if (!o.single) return fail(VEK_LENGTH);
    *n = o.ints()[0];
    return 0;
}

static int prim_deal(i64, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    i64 io, seed, k, n;
    if (index_origin(&io)) return VEK_IO;
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    if (!x.is_int_class() || !y.is_int_class()) return fail(VEK_DOMAIN);
    if (single_count(x, &k) || single_count(y, &n)) return (int)error_number;
    if (k < 0 || n < 0 || n < k) return fail(VEK_DOMAIN);
    if (read_seed(&seed)) return VEK_DOMAIN;
    // k <= n: the result's size is that of a value the user could make
    Result z;
    if (begin_vector(&z, result_slot, T_INT, k, &x, &y, true)) return (int)error_number;
    if (k == 0) return 0;
    DrawnSet drawn;
    if (!drawn_init(&drawn, k, n)) return VEK_WS_FULL;
    i64 *out = z.ints();
    for (i64 i = 0; i < k; i++) {
        i64 d;
        do d = random_next(n, 0, &seed);
        while (!drawn_add(&drawn, d));
        out[i] = d + io;
    }
    store_seed(seed);
    return 0;
}

void register_random_primitives() {
    register_primitive(P_ROLL, 1, prim_roll);
    register_primitive(P_DEAL, 2, prim_deal);
    register_primitive(P_INVERSE, 1, prim_matrix_inverse);
}
