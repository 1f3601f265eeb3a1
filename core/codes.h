// Operation codes: the names of the rows of codes.def, the families that
// provide them, and the one place where the code arithmetic of the
// operator and axis forms lives.
#pragma once
#include "core/value.h"
#include <cstdint>

enum PrimCode : i64 {
#define PRIM(code, name, valence, glyph, token, family, title) P_##name = code,
#define RANGE(first, last, name, valence, family, title) P_##name = first, P_##name##_LAST = last,
#define SYSFN(code, name, text, family) SF_##name = code,
#include "core/codes.def"
};

enum PrimFamily : int {
    FAM_NONE, FAM_EVALUATOR, FAM_SCALAR, FAM_LOGICAL, FAM_EXECUTE, FAM_REDUCE, FAM_PRODUCTS,
    FAM_STRUCTURAL, FAM_INDEX, FAM_SHAPE, FAM_SEARCH, FAM_GRADE, FAM_ENCODE, FAM_RANDOM,
    FAM_FORMAT, FAM_GROUP, FAM_DICT, FAM_TABLE, FAM_TIME, FAM_QUERY, FAM_FILES,
    FAM_COUNT
};

// ---- Code arithmetic of the derived forms ------------------------------------
// f is the dyadic code of a scalar function (or of membership, 9).
enum : i64 {
    REDUCE_LAST_BASE = 100, SCAN_LAST_BASE = 200, REDUCE_FIRST_BASE = 300, SCAN_FIRST_BASE = 400,
    OUTER_BASE = 500, INNER_BASE = 100,
    AXIS_MAX = 5,               // axes 0..5 after []IO for the bracket forms
    FIRST_SYSTEM_FUNCTION = 601, LAST_SYSTEM_FUNCTION = 657,
};
inline i64 reduce_code(i64 f, bool first_axis) { return (first_axis ? REDUCE_FIRST_BASE : REDUCE_LAST_BASE) + f; }
inline i64 scan_code(i64 f, bool first_axis) { return (first_axis ? SCAN_FIRST_BASE : SCAN_LAST_BASE) + f; }
inline i64 outer_code(i64 f) { return OUTER_BASE + f; }
inline i64 inner_code(i64 f, i64 g) { return INNER_BASE * f + g; }
inline bool is_reduce_code(i64 c) { return (c > 100 && c < 200) || (c > 300 && c < 400); }
inline bool is_scan_code(i64 c) { return (c > 200 && c < 300) || (c > 400 && c < 500); }
inline bool is_first_axis_operator(i64 c) { return c > 300 && c < 500; }
inline i64 operator_function(i64 c) { return c % 100; }       // f of a reduce or scan code
inline bool is_inner_code(i64 c) { return c >= P_INNER; }
inline i64 inner_left(i64 c) { return c / INNER_BASE; }
inline i64 inner_right(i64 c) { return c % INNER_BASE; }
inline bool is_outer_code(i64 c) { return (c >= P_OUTER && c <= P_OUTER_LAST) || (c >= P_OUTER_HIGH && c <= P_OUTER_HIGH_LAST); }
// The dyadic meaning of a symbol whose monadic code is even (26..64).
inline i64 dyadic_pair_code(i64 monadic) { return monadic + 1; }
// Axis k (0-based after []IO) of the bracket forms: k = 0 is the plain
// first-axis code; 1..5 the axis range.
inline i64 catenate_axis_code(i64 k) { return P_CATENATE_FIRST + k; }
inline i64 laminate_code(i64 k) { return P_LAMINATE_AXIS + k; }
inline i64 reverse_axis_code(i64 k) { return k ? P_REVERSE_AXIS - 1 + k : P_REVERSE_FIRST; }
inline i64 rotate_axis_code(i64 k) { return k ? P_ROTATE_AXIS - 1 + k : P_ROTATE_FIRST; }
// The axis a code of those ranges stands for (0-based).
inline i64 catenate_axis_of(i64 c) { return c - P_CATENATE_FIRST; }
inline i64 laminate_axis_of(i64 c) { return c - P_LAMINATE_AXIS; }
inline i64 reverse_axis_of(i64 c) { return c - (P_REVERSE_AXIS - 1); }
inline i64 rotate_axis_of(i64 c) { return c - (P_ROTATE_AXIS - 1); }
inline bool is_system_function_code(i64 c) { return c >= FIRST_SYSTEM_FUNCTION && c <= LAST_SYSTEM_FUNCTION; }

// ---- Lookups over the table -----------------------------------------------------
struct PrimInfo {
    i64 first, last;     // the code, or the range
    const char *name;    // enum name without P_
    int valence;         // 0 walk, 1, 2
    const char *glyph;
    int token;
    PrimFamily family;
    const char *title;
};
// The row of a code (ranges included), or null.
// valence 1 or 2 looks among the rows of that valence only.
const PrimInfo *prim_info(i64 code, int valence = 0);
// Every row in table order; *count receives the number of rows.
const PrimInfo *prim_rows(i64 *count);
PrimFamily code_family(i64 code, int valence = 0);
const char *family_name(PrimFamily f);
// The code each lexer token yields (-1: no operation), tokens 0..74.
enum : int { TOKEN_TABLE_SIZE = 75 };
extern const int16_t *const token_code_table;
// 601..657 for a system function name (without "[]"), else -1.
i64 system_function_code(const char *name);
