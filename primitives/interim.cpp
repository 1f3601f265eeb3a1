// Interim forms of primitives whose families are not built yet, so that
// what is built can already run: membership, monadic shape and indexing a
// vector by a scalar (the translated case and for statements use them), and
// the time and dictionary arithmetic the scalar functions hand over to.
// They cover vectors and scalars only and answer 43 for anything else. Each
// family's own registration replaces its interim one at link time (they are
// weak); the time and dictionary families take their functions out of here.
#include <cmath>
#include <cstring>
#include <vector>
#include "core/session.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "primitives/primitives.h"

static int interim_fail(int e) { return (int)(error_number = e); }

static const void *interim_items(const ValueDescriptor *d)
{
    return is_inline_value(d) ? (const void *)&d->dim0 : d->data;
}

static bool interim_numeric(i64 t) { return t == T_BOOL || t == T_INT || t == T_FLOAT; }

static double interim_number(const ValueDescriptor *d, i64 i)
{
    const void *p = interim_items(d);
    return d->type == T_FLOAT ? ((const double *)p)[i] : (double)((const i64 *)p)[i];
}

static int interim_store_ints(i64 result_slot, i64 type, i64 rank, const std::vector<i64> &items)
{
    ValueDescriptor r;
    memset(&r, 0, sizeof r);
    r.type = type;
    r.rank = rank;
    r.count = (i64)items.size();
    r.dim0 = rank == 0 ? (items.empty() ? 0 : items[0]) : r.count;
    if (r.count == 1) r.dim0 = items[0];
    else r.data = (void *)items.data();
    if (r.count == 1) fix_inline_pointer(&r);
    return assign_to_slot(result_slot, &r);
}

static bool interim_same(const ValueDescriptor *a, i64 i, const ValueDescriptor *b, i64 j)
{
    if (interim_numeric(a->type) && interim_numeric(b->type))
        return interim_number(a, i) == interim_number(b, j);
    if (a->type != b->type) return false;
    if (a->type == T_CHAR)
        return ((const char *)interim_items(a))[i] == ((const char *)interim_items(b))[j];
    if (a->type == T_SYMBOL) return ((const i64 *)interim_items(a))[i] == ((const i64 *)interim_items(b))[j];
    return false;
}

static int interim_member(i64, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv)
{
    const ValueDescriptor *a = operand_ref(lc, lv), *b = operand_ref(rc, rv);
    if (!a || !b || a->rank < 0 || b->rank < 0) return interim_fail(4);
    if (a->rank > 1 || b->rank > 1 || !is_simple_type(a->type) || !is_simple_type(b->type))
        return interim_fail(43);
    std::vector<i64> out((size_t)a->count, 0);
    for (i64 i = 0; i < a->count; i++)
        for (i64 j = 0; j < b->count && !out[(size_t)i]; j++) out[(size_t)i] = interim_same(a, i, b, j);
    return interim_store_ints(result_slot, T_BOOL, a->rank, out);
}

static int interim_shape(i64, i64 result_slot, i64, i64, i64 rc, i64 rv)
{
    const ValueDescriptor *d = operand_ref(rc, rv);
    if (!d || d->rank < 0) return interim_fail(4);
    if (d->rank > 2) return interim_fail(43);
    std::vector<i64> out;
    if (d->rank >= 1) out.push_back(d->rank == 1 ? d->count : d->dim0);
    if (d->rank == 2) out.push_back(d->dim1);
    return interim_store_ints(result_slot, T_INT, 1, out);
}

static int interim_index(i64 result_slot, i64 ac, i64 av, i64 ic, i64 iv, const i64 *, const i64 *,
                         i64 rest, i64 io_slot)
{
    const ValueDescriptor *a = operand_ref(ac, av), *ix = operand_ref(ic, iv);
    if (!a || a->rank < 0) return interim_fail(4);
    if (rest != 0 || a->rank != 1 || !ix || ix->rank != 0 || ix->count != 1 || !interim_numeric(ix->type) ||
        !is_simple_type(a->type))
        return interim_fail(43);
    i64 io = value_slot_table[io_slot].dim0;
    double k = interim_number(ix, 0) - (double)io;
    if (k != std::floor(k) || k < 0 || k >= (double)a->count) return interim_fail(25);
    ValueDescriptor item;
    memset(&item, 0, sizeof item);
    if (fetch_element(&item, a, (i64)k, 0)) return (int)error_number;
    item.rank = 0;
    fix_inline_pointer(&item);
    return assign_to_slot(result_slot, &item);
}

__attribute__((weak)) void register_search_primitives()
{
    if (!find_primitive(9, 2)) register_primitive(9, 2, interim_member);
}

__attribute__((weak)) void register_structural_primitives()
{
    if (!find_primitive(28, 1)) register_primitive(28, 1, interim_shape);
}

__attribute__((weak)) void register_index_primitives()
{
    if (!bracket_index_handler()) register_bracket_index(interim_index);
}

// ---- Time and dictionary arithmetic --------------------------------------------
// The scalar functions test time_status after each item; 13 is reported as
// 43 "primitive function not yet implemented".

i64 time_status = 0;

i64 add_to_time_value(i64, i64, i64 value, i64) {
    time_status = 13;
    return value;
}

double add_to_datetime_value(i64, double datetime, i64) {
    time_status = 13;
    return datetime;
}

i64 time_value_difference(i64, i64, i64) {
    time_status = 13;
    return 0;
}

double datetime_difference(double, double) {
    time_status = 13;
    return 0;
}

int dict_scalar_dyadic(i64, i64, i64, i64, i64, i64) {
    return (int)(error_number = 43);
}
