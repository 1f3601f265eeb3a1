// Operand binding: a primitive reads each operand through an Operand view,
// which decodes the descriptor once (type, rank, count, whether it is a
// single item that extends over the other side, the item itself, and the
// address of the items), so kernels loop over plain typed arrays.
//
// Views are kept current: every live view is on a list, and when a
// compaction moves heap blocks each one re-reads its data address. A view
// must therefore live on the stack of the primitive that reads it and is
// never copied.
#pragma once
#include "value.h"

struct Operand {
    i64 c = -1, v = -1;             // the reference: constant c >= 0, else value slot v
    i64 type = 0, rank = -1, count = 0;
    bool single = false;            // rank 0, or rank 1 with one item
    const void *data = nullptr;     // the items (null when there are none)
    union { i64 i; double f; double pair[2]; unsigned char ch; } item = {};   // a single simple item
    Operand *prev_view = nullptr, *next_view = nullptr;
    ValueDescriptor aside = {};     // the descriptor once the items were set aside

    Operand() = default;
    Operand(const Operand &) = delete;
    Operand &operator=(const Operand &) = delete;
    ~Operand();

    const ValueDescriptor *desc() const;   // the descriptor as stored now
    i64 dim(i64 k) const;                  // dimension k (the count for rank 0 and 1)
    const i64 *ints() const { return (const i64 *)data; }
    const double *floats() const { return (const double *)data; }
    const char *chars() const { return (const char *)data; }
    const double *pairs() const { return (const double *)data; }                 // complex
    const ValueDescriptor *items() const { return (const ValueDescriptor *)data; } // lists, pairs
    bool is_int_class() const { return type == T_BOOL || type == T_INT; }
    bool is_real() const { return type <= T_FLOAT; }                   // boolean, integer, float
    bool is_numeric() const { return type <= T_FLOAT || type == T_COMPLEX; }
    // Item k as a double (boolean, integer, float); a single item repeats.
    double real(i64 k) const { return type == T_FLOAT ? floats()[single ? 0 : k] : (double)ints()[single ? 0 : k]; }
    // Item k of the integer class; a single item repeats.
    i64 int_at(i64 k) const { return ints()[single ? 0 : k]; }
};

// Reads operand (c, v) into the view. Value error 4 when it holds no value.
int read_operand(Operand *o, i64 c, i64 v);
// Re-reads a view's data address from its descriptor.
void reread_operand(Operand *o);
// Copies a view's items to a scratch block: its descriptor is about to be
// overwritten (it is the result slot). The view reads the copy from then on.
// 6 (workspace full) when the copy cannot be had.
int set_operand_aside(Operand *o);
inline bool operand_is_slot(const Operand *o, i64 slot) { return o->c < 0 && o->v == slot; }
// Every live view re-reads its data address (the views' compaction
// listener, registered with the arena).
void refresh_operand_views();

// The descriptor of reference (c, v): constant c when c >= 0, else slot v.
ValueDescriptor *operand_descriptor(i64 c, i64 v);
