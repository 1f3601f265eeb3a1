// The operand registers: a primitive's left operand, right operand and
// result decoded once so kernels read typed data without per-item dispatch.
#pragma once
#include "value.h"

struct OperandSet {
    i64 type, rank, count, is_scalar;
    i64 int_scalar;
    double float_scalar;
    unsigned char char_scalar;
    double *complex_ptr;
    i64 *int_data;
    double *float_data;
    char *char_data;
    i64 first_dim, last_dim, dim1_word;
    void *data;
    i64 marker;   // 0, or the operand reference compaction must refresh
};

struct OperandRegisters {
    OperandSet left, right, result;
    unsigned char mixed_int_float;
};
extern OperandRegisters operand_registers;
// Shorthands used by the kernels.
#define OPL operand_registers.left
#define OPR operand_registers.right
#define OPZ operand_registers.result

struct SingleOperand {
    i64 is_scalar, value;
    void *data;
    i64 first_dim, last_dim, dim1_word;
};
extern SingleOperand single_operand;

ValueDescriptor *operand_descriptor(i64 c, i64 v);   // constant c >= 0, else slot v
void bind_operands(int flag, int mode, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
int bind_single_operand(i64 c, i64 v);
void operand_shape_words(i64 c, i64 v, i64 *words);
void append_operand_shape(i64 c, i64 v, i64 *words, i64 *length, i64 value);
void refresh_marked_operands();   // called by compaction
