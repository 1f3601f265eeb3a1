// Operand binding: decodes a primitive's operands and result slot into the
// operand registers, with the single-item marks that drive scalar extension,
// and the shape-word routines.
#include "operands.h"
#include "valueops.h"
#include "tables.h"
#include "session.h"
#include <cstring>

OperandRegisters operand_registers;
SingleOperand single_operand;

ValueDescriptor *operand_descriptor(i64 c, i64 v) { return operand_ref(c, v); }

// Markers name the operand whose data pointers compaction must refresh:
// 1 + slot for a value slot, -(1 + c) for constant c, 0 for none.
static i64 marker_of(i64 c, i64 v) { return c >= 0 ? -(1 + c) : 1 + v; }

static ValueDescriptor *marked_descriptor(i64 marker) {
    if (marker > 0) return marker - 1 < SLOT_COUNT ? &value_slot_table[marker - 1] : nullptr;
    if (marker < 0) return -marker - 1 < CONSTANT_CAP ? &constants_table[-marker - 1] : nullptr;
    return nullptr;
}

enum StorageClass { CLASS_NONE, CLASS_INT, CLASS_FLOAT, CLASS_CHAR };

static StorageClass storage_class(i64 type) {
    switch (type) {
    case T_BOOL: case T_INT: case T_SYMBOL: case T_MONTH: case T_DATE:
    case T_MINUTE: case T_SECOND: case T_TIME: case T_ENUM:
        return CLASS_INT;
    case T_FLOAT: case T_COMPLEX: case T_DATETIME: return CLASS_FLOAT;
    case T_CHAR: return CLASS_CHAR;
    default: return CLASS_NONE;
    }
}

// Points the typed data pointer of the operand's storage class at its data.
static void set_typed_pointers(OperandSet *o, ValueDescriptor *d) {
    o->int_data = nullptr;
    o->float_data = nullptr;
    o->char_data = nullptr;
    o->complex_ptr = nullptr;
    void *p = value_data(d);
    o->data = p;
    if (d->type == T_COMPLEX) o->complex_ptr = (double *)p;
    if (o->is_scalar || d->count <= 0) return;
    switch (storage_class(d->type)) {
    case CLASS_INT: o->int_data = (i64 *)p; break;
    case CLASS_FLOAT: o->float_data = (double *)p; break;
    case CLASS_CHAR: o->char_data = (char *)p; break;
    default: break;
    }
}

static void bind_one(OperandSet *o, i64 c, i64 v) {
    memset(o, 0, sizeof *o);
    ValueDescriptor *d = operand_ref(c, v);
    if (!d) { o->rank = -1; return; }
    o->type = d->type;
    o->rank = d->rank;
    o->count = d->count;
    o->is_scalar = (d->rank == 0 || (d->rank == 1 && d->count == 1)) ? 1 : 0;
    void *p = value_data(d);
    if (o->is_scalar && p) {
        switch (storage_class(d->type)) {
        case CLASS_INT: o->int_scalar = *(i64 *)p; break;
        case CLASS_FLOAT: if (d->type != T_COMPLEX) o->float_scalar = *(double *)p; break;
        case CLASS_CHAR: o->char_scalar = *(unsigned char *)p; break;
        default: break;
        }
    }
    set_typed_pointers(o, d);
    if (p && !(o->is_scalar && d->type != T_COMPLEX && is_inline_value(d))) o->marker = marker_of(c, v);
    if (d->rank >= 2) {
        o->first_dim = d->dim0;
        o->last_dim = value_dimension(d, d->rank - 1);
    } else {
        o->first_dim = d->count;
        o->last_dim = d->count;
    }
    o->dim1_word = d->dim1;
}

static void bind_result(i64 slot, int flag) {
    OperandSet *o = &OPZ;
    ValueDescriptor *d = (slot >= 0 && slot < SLOT_COUNT) ? &value_slot_table[slot] : nullptr;
    if (!d) return;
    o->rank = d->rank;
    o->count = d->count;
    o->is_scalar = (d->rank == 0 || (d->rank == 1 && d->count == 1)) ? 1 : 0;
    if (flag) return;
    i64 type = o->type;
    o->int_data = nullptr;
    o->float_data = nullptr;
    o->char_data = nullptr;
    void *p = is_inline_value(d) ? (void *)&d->dim0 : d->data;
    switch (storage_class(type)) {
    case CLASS_INT: o->int_data = (i64 *)p; break;
    case CLASS_FLOAT: o->float_data = (double *)p; break;
    case CLASS_CHAR: o->char_data = (char *)p; break;
    default: break;
    }
}

void bind_operands(int flag, int mode, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv) {
    bool left = true, right = true, result = true;
    switch (mode) {
    case 1: left = false; break;
    case 2: left = right = false; break;
    case 3: result = false; break;
    case 4: right = false; break;
    case 5: left = false; result = false; break;
    default: break;
    }
    OPL.marker = 0;
    OPR.marker = 0;
    if (left) bind_one(&OPL, lc, lv);
    if (right) bind_one(&OPR, rc, rv);
    if (result) bind_result(result_slot, flag);
    i64 big = OPL.type > OPR.type ? OPL.type : OPR.type;
    operand_registers.mixed_int_float = (OPL.type != OPR.type && big == T_FLOAT) ? 1 : 0;
}

int bind_single_operand(i64 c, i64 v) {
    ValueDescriptor *d = operand_ref(c, v);
    memset(&single_operand, 0, sizeof single_operand);
    if (!d || d->rank < 0) return error_number = 4;
    if (d->rank > 1) return error_number = 2;
    single_operand.is_scalar = (d->rank == 0 || d->count == 1) ? 1 : 0;
    void *p = value_data(d);
    single_operand.data = p;
    if (single_operand.is_scalar && p && d->type != T_CHAR) single_operand.value = *(i64 *)p;
    else if (single_operand.is_scalar && p) single_operand.value = *(unsigned char *)p;
    single_operand.first_dim = d->count;
    single_operand.last_dim = d->count;
    single_operand.dim1_word = d->dim1;
    return 0;
}

void operand_shape_words(i64 c, i64 v, i64 *words) {
    ValueDescriptor *d = operand_ref(c, v);
    if (!d) return;
    if (d->rank <= 1) { words[0] = d->count; return; }
    for (i64 k = 0; k < d->rank; k++) words[k] = value_dimension(d, k);
}

void append_operand_shape(i64 c, i64 v, i64 *words, i64 *length, i64 value) {
    if (c < 0 && v == 0) { words[(*length)++] = value; return; }
    ValueDescriptor *d = operand_ref(c, v);
    if (!d || d->rank <= 0) return;
    if (d->rank == 1) { words[(*length)++] = d->count; return; }
    for (i64 k = 0; k < d->rank; k++) words[(*length)++] = value_dimension(d, k);
}

// Compaction moved heap blocks: the marked operands' pointers are re-read
// from their descriptors, whatever the storage class of their type.
void refresh_marked_operands() {
    OperandSet *sets[2] = {&OPL, &OPR};
    for (OperandSet *o : sets) {
        ValueDescriptor *d = marked_descriptor(o->marker);
        // kept, not forgotten: a second compaction in the same primitive
        // must refresh them again
        if (d && d->rank >= 0) set_typed_pointers(o, d);
    }
}
