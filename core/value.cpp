// Storage sizes of the value types and the data-address rule of a descriptor.
#include "value.h"

double float_nan = 0, float_infinity = 0;

// Returns -1 when n items of the type cannot be sized without overflow, so
// callers can refuse before allocating.
i64 data_bytes(i64 type, i64 n) {
    if (n <= 0) return 0;
    const i64 limit = INT64_MAX / 64 - 16;
    if (n > limit) return -1;
    switch (type) {
    case T_BOOL: case T_INT: case T_FLOAT: case T_SYMBOL:
    case T_MONTH: case T_DATE: case T_DATETIME: case T_MINUTE: case T_SECOND: case T_TIME:
        return 8 * n;
    case T_CHAR: return n + 1;
    case T_COMPLEX: return 16 * n;
    case T_LIST: case T_DICT: case T_TABLE: return 64 * n;
    case T_ENUM: return 8 * n + 16;
    default: return n;
    }
}

void *value_data(ValueDescriptor *d) {
    if (is_inline_value(d)) return &d->dim0;
    if (d->count <= 0) return nullptr;
    return d->data;
}
