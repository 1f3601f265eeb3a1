// Reshape, ravel, catenate and laminate: new arrays built from the items of
// one or two operands without computing on them.
//
// Ledger
// - reshape (x # y): the items of y in row-major order, cycled when the
//   result holds more; an empty x gives y's first item as a scalar; a
//   symbol vector x selects the columns of a table y.
//   Fast path: y's items copied by one memcpy, then cycled by doubling
//   copies of the result's own prefix.
//   Refuses: x not of integers (unless empty) or holding a negative count
//   (1); x of rank above 1, y of rank above 12, a general list y with
//   several counts (2); an empty y for a result that is not empty (1);
//   enumerations, dictionaries and tables otherwise (7); a count product
//   that overflows (6); dimensions that do not fit the shape pool (9).
// - ravel (, y): y's items as a vector; a general list is returned as it
//   is. Fast path: one memcpy. Refuses enumerations, dictionaries and
//   tables (7).
// - catenate (x , y along the last axis; x ,. y and x ,[k] y along axis k):
//   a single item extends to one slice along the axis; an operand one rank
//   lower joins as one slice; booleans, integers, floats and complex join
//   as the largest of their types, every item converted to it; an empty
//   operand takes the other's type. A general list on either side joins
//   item lists (a simple operand is one item). Enumerations, dictionaries
//   and tables go to their own families.
//   Fast path: one memcpy per operand per block before the axis (two in
//   all for the first axis or vectors).
//   Refuses: char, symbol or time items with other types (1); other types
//   above 12 (1); ranks that differ by more than 1 (2); dimensions other
//   than the axis that differ (3); an axis beyond the ranks (30).
// - laminate (x ,[k.5] y): x and y as the two planes of a new axis at
//   position k; a rank-0 operand extends to the other's shape.
//   Refuses: unlike types other than number pairs, types above 12 and two
//   general lists (7); ranks that differ (2); shapes that differ (3); a
//   position above the larger rank (30).
#include "primitives/structure.h"
#include "core/tables.h"
#include "core/valueops.h"
#include <cstring>

// ---- Reshape ----------------------------------------------------------------------

// The result of an empty left operand: y's first item as a scalar.
static int first_item_scalar(i64 slot, Operand &y) {
    if (y.count == 0) return fail(VEK_DOMAIN);
    if (y.type == T_LIST) {
        // the item is copied before the slot's old value is let go
        return assign_to_slot(slot, &y.items()[0]);
    }
    Result z;
    Shape s;
    if (begin_items(&z, slot, y.type, s, &y)) return (int)error_number;
    return copy_run(&z, 0, &y, 0, 1);
}

static int check_counts(const Operand &x) {
    if (x.count > 0 && !x.is_int_class()) return fail(VEK_DOMAIN);
    for (i64 k = 0; k < x.count; k++)
        if (x.ints()[k] < 0) return fail(VEK_DOMAIN);
    if (x.rank > 1) return fail(VEK_RANK);
    return 0;
}

static int prim_reshape(i64, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    if (x.type == T_SYMBOL && x.rank <= 1 && y.type == T_TABLE) return select_table_columns(slot, lc, lv, rc, rv);
    if (check_counts(x)) return (int)error_number;
    if (y.rank > 12) return fail(VEK_RANK);
    if (!movable_type(y.type)) return fail(VEK_TYPE);
    if (x.count == 0) return first_item_scalar(slot, y);
    if (y.type == T_LIST && !x.single) return fail(VEK_RANK);
    Shape s;
    s.rank = x.rank == 0 ? 1 : x.count;
    if (s.rank > MAX_RANK) return fail(VEK_RANK);
    for (i64 k = 0; k < s.rank; k++) s.dims[k] = x.ints()[x.single ? 0 : k];
    i64 n;
    if (checked_count(s.dims, s.rank, &n)) return VEK_WS_FULL;
    if (n > 0 && y.count == 0) return fail(VEK_DOMAIN);
    Result z;
    if (begin_items(&z, slot, y.type, s, &x, &y)) return (int)error_number;
    if (n == 0) return 0;
    i64 have = y.count < n ? y.count : n;
    if (y.single) return repeat_run(&z, 0, &y, 0, n);
    if (copy_run(&z, 0, &y, 0, have)) return (int)error_number;
    return cycle_run(&z, have, n);
}

// ---- Ravel ----------------------------------------------------------------------------

static int prim_ravel(i64, i64 slot, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if (y.type == T_LIST) return result_copy(slot, &y);
    if (!movable_type(y.type)) return fail(VEK_TYPE);
    Result z;
    if (begin_items_vector(&z, slot, y.type, y.count, &y)) return (int)error_number;
    return copy_run(&z, 0, &y, 0, y.count);
}

// ---- Catenate -------------------------------------------------------------------------

// A general list on either side: the items of a list operand, or the
// operand as one item, joined into a list vector.
static int catenate_lists(i64 slot, Operand &x, Operand &y) {
    if (x.count == 0) return result_copy(slot, &y);
    if (y.count == 0) return result_copy(slot, &x);
    i64 a = x.type == T_LIST ? x.count : 1, b = y.type == T_LIST ? y.count : 1;
    Result z;
    if (begin_items_vector(&z, slot, T_LIST, a + b, &x, &y)) return (int)error_number;
    int e = x.type == T_LIST ? copy_run(&z, 0, &x, 0, a) : whole_value_item(&z, 0, &x);
    if (e) return e;
    return y.type == T_LIST ? copy_run(&z, a, &y, 0, b) : whole_value_item(&z, a, &y);
}

// The type two simple operands join as; an empty operand takes the other's.
static int joined_type(const Operand &x, const Operand &y, i64 *type) {
    if (x.count == 0 || y.count == 0) {
        *type = x.count == 0 ? y.type : x.type;
        return 0;
    }
    i64 m = x.type > y.type ? x.type : y.type;
    if (m == T_COMPLEX) {
        if (!x.is_numeric() || !y.is_numeric()) return fail(VEK_DOMAIN);
    } else if (m > T_FLOAT && x.type != y.type) {
        return fail(VEK_DOMAIN);   // char, symbol and time items join only their own kind
    }
    *type = m;
    return 0;
}

static void insert_unit_axis(Shape *s, i64 axis) {
    for (i64 k = s->rank; k > axis; k--) s->dims[k] = s->dims[k - 1];
    s->dims[axis] = 1;
    s->rank++;
}

// The result shape of a catenation along `axis`, and the extents a and b
// each operand contributes along it.
static int catenated_shape(const Operand &x, const Operand &y, i64 axis, Shape *z, i64 *a, i64 *b) {
    Shape xs, ys;
    shape_of(&xs, &x);
    shape_of(&ys, &y);
    if (x.single && y.single) {
        z->rank = 1;
        *a = *b = 1;
    } else if (x.single || y.single) {
        *z = x.single ? ys : xs;
        *a = x.single ? 1 : xs.dims[axis];
        *b = y.single ? 1 : ys.dims[axis];
    } else {
        i64 d = x.rank - y.rank;
        if (d > 1 || d < -1) return fail(VEK_RANK);
        if (d < 0) insert_unit_axis(&xs, axis);
        if (d > 0) insert_unit_axis(&ys, axis);
        for (i64 k = 0; k < xs.rank; k++)
            if (k != axis && xs.dims[k] != ys.dims[k]) return fail(VEK_LENGTH);
        *z = d < 0 ? ys : xs;
        *a = xs.dims[axis];
        *b = ys.dims[axis];
    }
    z->dims[axis] = *a + *b;
    return 0;
}

// Per block before the axis: a*inner items of x, then b*inner of y; a
// single operand supplies its item repeated.
static void lay_out_blocks(const Result &z, const char *px, bool xs, i64 a, const char *py, bool ys, i64 b,
                           i64 outer, i64 inner) {
    i64 size = item_bytes(z.type), ra = a * inner * size, rb = b * inner * size;
    char *out = (char *)z.data;
    for (i64 o = 0; o < outer; o++) {
        // an operand with no extent along the axis has no items to read
        if (xs) repeat_bytes(out, px, size, a * inner);
        else if (ra) memcpy(out, px + o * ra, (size_t)ra);
        out += ra;
        if (ys) repeat_bytes(out, py, size, b * inner);
        else if (rb) memcpy(out, py + o * rb, (size_t)rb);
        out += rb;
    }
}

static int catenate_simple(i64 code, i64 slot, Operand &x, Operand &y) {
    i64 type;
    if (joined_type(x, y, &type)) return (int)error_number;
    i64 r = x.rank > y.rank ? x.rank : y.rank, zr = r == 0 ? 1 : r;
    i64 axis = code == P_CATENATE ? (r == 0 ? 0 : r - 1) : catenate_axis_of(code);
    if (code != P_CATENATE && !y.single && axis >= y.rank) return fail(VEK_AXIS);
    if (axis < 0 || axis >= zr) return fail(VEK_AXIS);
    Shape s;
    i64 a, b;
    if (catenated_shape(x, y, axis, &s, &a, &b)) return (int)error_number;
    Result z;
    if (begin_items(&z, slot, type, s, &x, &y)) return (int)error_number;
    if (z.count == 0) return 0;
    // items of either operand read as the result's type: an empty float
    // beside integers gives integers, never float bits read as words
    const char *px = (const char *)items_as(&x, type), *py = (const char *)items_as(&y, type);
    if ((!px && x.count > 0) || (!py && y.count > 0)) return VEK_WS_FULL;
    lay_out_blocks(z, px, x.single, a, py, y.single, b, dims_before(s, axis), dims_after(s, axis));
    return 0;
}

static int prim_catenate(i64 code, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    i64 m = x.type > y.type ? x.type : y.type;
    if (m == T_LIST) return catenate_lists(slot, x, y);
    if (m == T_ENUM) return code == P_CATENATE ? enum_catenate(slot, lc, lv, rc, rv) : fail(VEK_DOMAIN);
    if (m == T_DICT || m == T_TABLE)
        return code == P_CATENATE ? dict_join_entry(slot, lc, lv, rc, rv) : join_table_columns(slot, lc, lv, rc, rv);
    if (!is_simple_type(x.type) || !is_simple_type(y.type)) return fail(VEK_DOMAIN);
    return catenate_simple(code, slot, x, y);
}

// ---- Laminate --------------------------------------------------------------------------

static int laminated_type(const Operand &x, const Operand &y, i64 *type) {
    i64 m = x.type > y.type ? x.type : y.type;
    *type = m;
    if (m > T_TIME) return fail(VEK_TYPE);
    if (m == T_LIST) return fail(VEK_TYPE);   // two general lists: no plane of items to join
    if (m == T_COMPLEX) return x.is_numeric() && y.is_numeric() ? 0 : fail(VEK_TYPE);
    if (m > T_FLOAT && x.type != y.type) return fail(VEK_TYPE);
    return 0;
}

static int prim_laminate(i64 code, i64 slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    i64 type;
    if (laminated_type(x, y, &type)) return (int)error_number;
    i64 k = laminate_axis_of(code), r = x.rank > y.rank ? x.rank : y.rank;
    if (k < 0 || k > r) return fail(VEK_AXIS);
    Shape xs, ys;
    shape_of(&xs, &x);
    shape_of(&ys, &y);
    if (x.rank > 0 && y.rank > 0) {
        if (x.rank != y.rank) return fail(VEK_RANK);
        for (i64 j = 0; j < x.rank; j++)
            if (xs.dims[j] != ys.dims[j]) return fail(VEK_LENGTH);
    }
    if (r == 0 && k != 0) return fail(VEK_AXIS);
    Shape s = y.rank >= x.rank ? ys : xs;
    insert_unit_axis(&s, k);
    s.dims[k] = 2;
    if (s.rank > MAX_RANK) return fail(VEK_RANK);
    Result z;
    if (begin_items(&z, slot, type, s, &x, &y)) return (int)error_number;
    if (z.count == 0) return 0;
    const char *px = (const char *)items_as(&x, type), *py = (const char *)items_as(&y, type);
    if ((!px && x.count > 0) || (!py && y.count > 0)) return VEK_WS_FULL;
    // a rank-0 operand repeats; a one-item vector agrees like any vector
    lay_out_blocks(z, px, x.rank == 0, 1, py, y.rank == 0, 1, dims_before(s, k), dims_after(s, k));
    return 0;
}

// ---- Registration ------------------------------------------------------------------------

void register_takedrop_primitives();
void register_replicate_primitives();
void register_transpose_primitives();

void register_structural_primitives() {
    register_primitive(P_RESHAPE, 2, prim_reshape);
    register_primitive(P_RAVEL, 1, prim_ravel);
    register_primitive(P_CATENATE, 2, prim_catenate);
    register_primitive(P_CATENATE_FIRST, 2, prim_catenate);
    register_primitive_range(P_CATENATE_AXIS, P_CATENATE_AXIS_LAST, 2, prim_catenate);
    register_primitive_range(P_LAMINATE_AXIS, P_LAMINATE_AXIS_LAST, 2, prim_laminate);
    register_takedrop_primitives();
    register_replicate_primitives();
    register_transpose_primitives();
}
