// Operation codes: the names of the rows of codes.def, the families that
// provide them, their traits, the lexer's tokens and glyphs made from the
// rows, and the one place where the code arithmetic of the operator and
// axis forms lives.
#pragma once
#include "core/value.h"
#include <cstdint>

enum PrimCode : i64 {
#define PRIM(code, name, ...) P_##name = code,
#define RANGE(first, last, name, ...) P_##name = first, P_##name##_LAST = last,
#define SYSFN(code, name, text, family) SF_##name = code,
#include "core/codes.def"
};

// The lexer's tokens: one per PRIM and NOTE row, in the table's order. The
// lexer yields those whose context is not NEVER; the others name rows that
// are reached otherwise (the dyadic code of a pair) or only shown.
enum Token : int {
    TOK_NONE = -1,
#define PRIM(code, name, ...) TOK_##name,
#define NOTE(name, ...) TOK_##name,
#include "core/codes.def"
    TOKEN_COUNT
};

// When the lexer reads a glyph as a row (the context column): bits of the
// two sides a glyph may stand on.
enum TokenContext : int { CTX_NEVER = 0, CTX_MONADIC = 1, CTX_DYADIC = 2, CTX_ANY = 3 };

// The traits column: what the compiler and each ask of a code.
enum : int { PT_DYADIC_ONLY = 1, PT_AXIS = 2, PT_SCALAR = 4, PT_EACH = 8 };

// The symbol sheet (vek-table.txt) and the help's symbol tables.
enum SheetSide : int { SHEET_LEFT, SHEET_RIGHT };
struct SheetCell { int line; SheetSide side; };   // line 0: not on the sheet
enum HelpSection : int {
    HELP_NONE,
#define HELP_SECTION(name, heading) HELP_##name,
#include "core/codes.def"
    HELP_SECTION_COUNT
};
struct HelpCell { HelpSection section; int line; const char *text; };

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
inline bool is_system_function_code(i64 c) { return c >= FIRST_SYSTEM_FUNCTION && c <= LAST_SYSTEM_FUNCTION; }

// ---- Lookups over the table -----------------------------------------------------
struct PrimInfo {
    i64 first, last;     // the code, or the range
    const char *name;    // enum name without P_
    int valence;         // 0 walk, 1, 2
    const char *glyph;   // a range's form
    TokenContext context;
    PrimFamily family;
    int traits;          // PT_ bits
    const char *title;
    SheetCell sheet;
    HelpCell help;
};
// The row of a code (ranges included), or null.
// valence 1 or 2 looks among the rows of that valence only.
const PrimInfo *prim_info(i64 code, int valence = 0);
// Every row in table order; *count receives the number of rows.
const PrimInfo *prim_rows(i64 *count);
PrimFamily code_family(i64 code, int valence = 0);
const char *family_name(PrimFamily f);

// The traits of a code, from its row (a code no row names has none).
bool code_is_dyadic_only(i64 code);
bool code_takes_axis(i64 code);
bool code_is_scalar(i64 code);
// Allowed as the function of a monadic (valence 1) or dyadic each.
bool code_allowed_under_each(i64 code, int valence);

// ---- Tokens ----------------------------------------------------------------------
// A token's row: a PRIM row's code, -1 for a NOTE row.
struct TokenInfo {
    const char *name;    // enum name without TOK_
    i64 code;
    const char *glyph;
    TokenContext context;
    const char *title;
    SheetCell sheet;
};
extern const TokenInfo token_rows[TOKEN_COUNT];
// The code each token yields without a left argument (-1: no operation).
extern const int16_t *const token_code_table;
// The code of the token read with a value to its left: a glyph with both
// meanings gives the next row's code, any other its own.
i64 token_dyadic_code(Token t);
// The dyadic meaning of the token's glyph, whichever context it was read
// in: for `<` read as grade up, less. -1 when the glyph has none.
i64 glyph_dyadic_code(Token t);
// An axis in brackets may follow the glyph in one of its meanings.
bool token_takes_axis(Token t);

// The lexer's view of the glyphs: by first character, the tokens that
// begin with it, two-character glyphs before one-character ones.
enum : int { GLYPH_ALTERNATIVES = 8 };
struct GlyphEntry {
    char second;          // 0 for a one-character glyph
    uint8_t context;      // TokenContext bits
    int16_t token;
};
struct GlyphStart { uint8_t count; GlyphEntry entries[GLYPH_ALTERNATIVES]; };
extern const GlyphStart *const glyph_starts;

// 601..657 for a system function name (without "[]"), else -1.
i64 system_function_code(const char *name);
