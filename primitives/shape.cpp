// The monadic structural primitives: shape, interval, reverse (along the
// last, the first or a given axis), enclose, type code, count, first, raze
// and where.
//
// Ledger
// - shape (# y): the dimensions as an integer vector (empty for a scalar);
//   a table, dictionary, keyed table or enumeration gives its row, key or
//   item count as a one-item vector.
// - interval (! n): origin, origin+1, ... origin+n-1 as integers.
//   Fast path: written straight into a block that is not zeroed first.
//   Refuses: anything but one non-negative boolean or integer (1); a count
//   whose storage cannot be sized (6); a bad []IO (24).
#include "prim.h"
#include "core/tables.h"
#include "core/valueops.h"
#include <cstring>

// ---- Shape ---------------------------------------------------------------------------

// The one number the keyed values answer for their shape: rows of a table,
// keys of a dictionary, rows of a keyed table's key table, items of an
// enumeration.
static i64 keyed_extent(const Operand &y) {
    const ValueDescriptor *pair = y.items();
    if (y.type == T_ENUM || !pair) return y.count;
    if (y.type == T_TABLE) return pair[1].dim0;
    if (y.desc()->spare == 2) {
        const ValueDescriptor *key_table = (const ValueDescriptor *)pair[0].data;
        return key_table ? key_table[1].dim0 : 0;
    }
    return pair[0].count;
}

static int prim_shape(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (y.type >= T_ENUM) {
        i64 n = keyed_extent(y);
        Result z;
        if (begin_vector(&z, result_slot, T_INT, 1, &y)) return (int)error_number;
        z.ints()[0] = n;
        return 0;
    }
    Shape s;
    shape_of(&s, &y);
    Result z;
    if (begin_vector(&z, result_slot, T_INT, s.rank, &y, nullptr, true)) return (int)error_number;
    for (i64 k = 0; k < s.rank; k++) z.ints()[k] = s.dims[k];
    return 0;
}

// ---- Interval --------------------------------------------------------------------------

static int prim_interval(i64, i64 result_slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    i64 io;
    if (index_origin(&io)) return VEK_IO;
    if (!y.single || !y.is_int_class() || y.int_at(0) < 0) return fail(VEK_DOMAIN);
    i64 n = y.int_at(0);
    if (data_bytes(T_INT, n) < 0) return fail(VEK_WS_FULL);
    Result z;
    if (begin_vector(&z, result_slot, T_INT, n, &y, nullptr, true)) return (int)error_number;
    i64 *out = z.ints();
    for (i64 k = 0; k < n; k++) out[k] = io + k;
    return 0;
}

void register_shape_primitives() {
    register_primitive(P_SHAPE, 1, prim_shape);
    register_primitive(P_INTERVAL, 1, prim_interval);
}
