// The value descriptor, type codes and the storage rules every value obeys.
#pragma once
#include <cstdint>
#include <cstddef>

typedef int64_t i64;

// Eight signed 64-bit words; the order is also the workspace file's layout.
struct ValueDescriptor {
    i64 type;      // value_type code
    i64 rank;      // -1 undefined
    i64 dim0;      // vector: count; rank>=2: first dim; inline scalar: the item
    i64 dim1;      // rank 2: second dim; rank>2: shape_pool index of the rest
    i64 capacity;  // bytes allocated (0 none)
    i64 count;     // elements
    i64 spare;     // type 91: form (1 dictionary, 2 keyed table)
    void *data;    // first element
};
static_assert(sizeof(ValueDescriptor) == 64, "descriptor is 8 words");

enum ValueType : i64 {
    T_BOOL = 0, T_INT = 1, T_FLOAT = 2, T_CHAR = 3, T_COMPLEX = 4, T_SYMBOL = 5,
    T_LIST = 6, T_MONTH = 7, T_DATE = 8, T_DATETIME = 9, T_MINUTE = 10,
    T_SECOND = 11, T_TIME = 12, T_ENUM = 21, T_DICT = 91, T_TABLE = 92
};

// Value-slot ranges.
enum : i64 {
    SLOT_COUNT = 25480,
    SLOT_IO = 1,
    SLOT_OUT = 2,        // []<- : displayed in full
    SLOT_OUT_OPEN = 3,   // second output slot, leaves the line open
    FIRST_GLOBAL_SLOT = 18,
    LOCALS_TOP = 23460,  // lstvxend after a clear; locals count down below it
    SLOT_OF = 23460, SLOT_AV = 23461, SLOT_LX = 23462, SLOT_RL = 23463, SLOT_PP = 23464,
    FIRST_TEMP_SLOT = 23480, LAST_TEMP_SLOT = 25479,
    ARENA_BYTES = 52428800,
    LARGE_BLOCK_LIMIT = 65536,  // data above this goes to a large block
};

// The float null (0nf) and infinity (0wf), set at start-up.
extern double float_nan, float_infinity;

i64 data_bytes(i64 type, i64 n);
void *value_data(ValueDescriptor *d);
// 0..5, 7..12
inline bool is_simple_type(i64 type) {
    return (type >= T_BOOL && type <= T_SYMBOL) || (type >= T_MONTH && type <= T_TIME);
}
// Rank 0 or 1, one item, a simple type: the item is held in word 2.
inline bool is_inline_value(const ValueDescriptor *d) {
    return d->rank >= 0 && d->rank <= 1 && d->count == 1 && is_simple_type(d->type);
}
inline bool is_heap_slot(i64 slot) { return slot >= FIRST_GLOBAL_SLOT && slot < FIRST_TEMP_SLOT; }
