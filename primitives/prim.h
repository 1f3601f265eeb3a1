// What every primitive family is written with: a read-only view of an
// operand, a result builder, the index origin, and the error return.
//
// Two rules every primitive lives by, kept here so no family re-learns them:
// - An allocation may move arena data (compaction of the heap end), so a
//   data address read before an allocation is stale after it. The result
//   builder re-reads the data address of every operand it is given.
// - The result slot may be one of the operands (a family that computes in
//   steps passes its own result slot back in). Allocating the result would
//   then destroy the operand, so the builder first copies such an operand's
//   items aside.
// A primitive never writes into its operands: they may be constants, the
// built-in constants, or blocks shared with other variables.
#pragma once
#include "core/value.h"
#include "core/codes.h"
#include "core/dispatch.h"
#include "core/errors.h"
#include "core/operands.h"

// ---- Operands -------------------------------------------------------------------
// Operand, read_operand and reread_operand (core/operands.h): a view of
// one operand, read once, kept current across compactions.

// ---- Shapes ---------------------------------------------------------------------------
enum : i64 { MAX_RANK = 64 };
// A shape as a plain list of dimensions.
struct Shape {
    i64 rank = 0;
    i64 dims[MAX_RANK] = {};
    i64 count() const;       // product of the dimensions (1 for rank 0)
};
void shape_of(Shape *s, const Operand *o);
// The product of n dimensions; workspace full (6) when it overflows or a
// dimension is negative.
int checked_count(const i64 *dims, i64 n, i64 *count);
// a * b for counts computed from user values; 6 when it overflows.
int checked_product(i64 a, i64 b, i64 *product);

// ---- Results --------------------------------------------------------------------------
struct Result {
    i64 slot = -1;
    i64 type = 0, rank = 0, count = 0;
    void *data = nullptr;            // the items to write (the inline word for one simple item)
    ValueDescriptor *desc() const;
    i64 *ints() const { return (i64 *)data; }
    double *floats() const { return (double *)data; }
    char *chars() const { return (char *)data; }
    ValueDescriptor *items() const { return (ValueDescriptor *)data; }
};

// Allocates value slot `slot` for a result of `type` and `shape` (rank 3
// and above keeps its dimensions in the shape pool). Each operand given is
// kept readable: one that is the result slot itself has its items copied
// aside first, and every one's data address is re-read afterwards.
// fully_written: the caller writes every item, so a reused block need not
// be zeroed first. Fails with 6 when the count overflows, 9 when the shape
// pool is full.
int begin_result(Result *z, i64 slot, i64 type, const Shape &shape,
                 Operand *a = nullptr, Operand *b = nullptr, bool fully_written = false);
// The same for a vector of n items.
int begin_vector(Result *z, i64 slot, i64 type, i64 n,
                 Operand *a = nullptr, Operand *b = nullptr, bool fully_written = false);
// A scalar result (held inline in the slot).
int result_int(i64 slot, i64 type, i64 value);
// Copies an operand unchanged into the result slot.
int result_copy(i64 slot, const Operand *o);
// out[k] = in[at[k]] for k below n, the items `width` bytes wide (1, 8 or
// 16: chars, words, complex numbers).
void gather_items(void *out, const void *in, i64 width, const i64 *at, i64 n);

// ---- Index origin ------------------------------------------------------------------------
// The []IO in force for the statement now running: 0 or 1, else error 24.
int index_origin(i64 *io);
// The same for the []IO held in io_slot (the bracket forms are given it).
int index_origin_in(i64 io_slot, i64 *io);

// ---- Registration ---------------------------------------------------------------------------
// Every family defines one, listed in primitives/families.cpp.
void register_all_primitives();
