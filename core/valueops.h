// Operations on whole value descriptors: copy and assignment, shapes,
// element access, joining, demotion, match, type letters and null tests.
// Operand references are (c, v): constant c when c >= 0, else value slot v.
#pragma once
#include "value.h"

// ---- Copying and assignment -------------------------------------------------
// Copy of source into target with a block of its own; the large blocks of
// its items (a list's, a dictionary's or table's parts) are shared by
// reference count. heap chooses heap-end storage (else stack). target is a
// descriptor that owns nothing (its old data is not released).
int copy_value_checked(ValueDescriptor *target, const ValueDescriptor *source, int heap);
// Deep copy into large blocks in which large simple blocks (columns) are
// shared by reference count: for the parts of dictionaries and tables,
// whose writers make a block private before writing into it.
int copy_value_shared(ValueDescriptor *target, const ValueDescriptor *source);
// A copy of source to be held as an item of a list (or a part of a
// dictionary or table): its large blocks, and those of its items, are
// shared by reference count; whoever writes into an item makes its block
// private first. copy_value_checked gives the value itself a block of its
// own and shares only the large blocks of its items.
int copy_as_item(ValueDescriptor *target, const ValueDescriptor *source, int heap);
// Copy into value slot `slot`, releasing what the slot held (heap storage for
// slots 18..23479). A large simple block is shared by reference count.
int assign_to_slot(i64 slot, const ValueDescriptor *source);
// The short way of assign_to_slot: an item held inline into a descriptor
// that holds no block needs only its words copied. False (nothing done)
// for anything else.
inline bool assign_inline_item(ValueDescriptor *t, const ValueDescriptor *s) {
    if (t->capacity > 0 || !is_inline_value(s) || t == s) return false;
    t->type = s->type;
    t->rank = s->rank;
    t->dim0 = s->dim0;
    t->dim1 = s->type == T_COMPLEX ? s->dim1 : 0;
    t->capacity = 0;
    t->count = s->count;
    t->spare = s->spare;
    t->data = &t->dim0;
    return true;
}
int copy_value_to_slot(i64 slot, i64 c, i64 v);
// A copy of constant c or slot v to be held as an item of a list (as
// copy_as_item); c = -1 with v = 0 gives an empty integer vector.
int fetch_operand_value(ValueDescriptor *target, i64 c, i64 v, int heap);
void take_slot_descriptor(ValueDescriptor *target, i64 slot);
int copy_shape(ValueDescriptor *target, const ValueDescriptor *source);
void copy_element(ValueDescriptor *target, i64 i, const ValueDescriptor *source, i64 j);
// Retypes a descriptor; to type 2 converts integer elements to doubles. The
// block is made private first, so a shared block is never written.
int convert_descriptor_type(ValueDescriptor *d, i64 type);
// Gives d a private copy of its data when its block is shared.
int make_data_private(ValueDescriptor *d);
// Makes list (a general list) safe to write items into: a block shared
// with another holder is first replaced by a copy of its own, and a list
// of texts held in its own block (text_lists.h) becomes an ordinary list
// unless texts_only (every item to be written is a text). Other values
// are left alone.
int open_list_for_writing(ValueDescriptor *list, bool texts_only);
// Storage for d (type, rank, count already set): heap or stack end.
int alloc_descriptor_data(ValueDescriptor *d, int heap);
// Releases the storage a descriptor owns (deeply for lists and pairs) and
// marks it undefined.
void free_value(ValueDescriptor *d);
// Makes d's inline data pointer point at its own word 2 again.
void fix_inline_pointer(ValueDescriptor *d);

int fetch_element(ValueDescriptor *target, const ValueDescriptor *source, i64 i, int heap);
void element_as_complex(double *result, const ValueDescriptor *source, i64 i);

// ---- Demotion ----------------------------------------------------------------------
int demote_float_to_int(i64 c, i64 v);
int demote_descriptor(ValueDescriptor *d);        // complex->float->int

// ---- Equality --------------------------------------------------------------------------
bool values_match(const ValueDescriptor *a, const ValueDescriptor *b);
bool floats_equal_tol(double a, double b);

// ---- Type predicates and letters -------------------------------------------------------
bool is_time_type(i64 t);
char type_letter(i64 t);
i64 type_from_letter(char letter);

// ---- Helpers for primitives ----------------------------------------------------------------
// Row-major strides of every axis of d (the last axis has stride 1); 6 when
// the products overflow.
int compute_axis_strides(const ValueDescriptor *d, i64 *strides);

// Shape pool: stores a dimension list of n words and a -1 end, or finds the
// same list stored before; returns 0 or 9 "glist full".
int shape_pool_append(const i64 *words, i64 n, i64 *start);
// Gives back the pool above word `last` (nxtglx = last): a clear, a load, a
// failed read of a value.
void shape_pool_truncate(i64 last);
// Dimension k of d (0-based); the count for rank <= 1.
i64 value_dimension(const ValueDescriptor *d, i64 k);
ValueDescriptor *operand_ref(i64 c, i64 v);
