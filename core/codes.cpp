// Lookups over the table of primitives (codes.def): a code's row and
// family, the lexer's token-to-code map and the system-function names.
#include "codes.h"
#include <cstring>

static constexpr PrimInfo rows[] = {
#define PRIM(code, name, valence, glyph, token, family, title) \
    {code, code, #name, valence, glyph, token, FAM_##family, title},
#define RANGE(first, last, name, valence, family, title) \
    {first, last, #name, valence, "", -1, FAM_##family, title},
#include "codes.def"
};
static const i64 row_count = (i64)(sizeof rows / sizeof rows[0]);

struct SystemFunctionName { i64 code; const char *text; PrimFamily family; };
static const SystemFunctionName system_functions[] = {
#define SYSFN(code, name, text, family) {code, text, FAM_##family},
#include "codes.def"
};

const PrimInfo *prim_rows(i64 *count) {
    *count = row_count;
    return rows;
}

// A row of the code itself wins over a range that covers it: the named
// monadic primitives 701..711 lie inside the outer-product range.
const PrimInfo *prim_info(i64 code, int valence) {
    const PrimInfo *range = nullptr;
    for (const PrimInfo &r : rows) {
        if (code < r.first || code > r.last) continue;
        if (valence && r.valence && r.valence != valence) continue;
        if (r.first == r.last) return &r;
        if (!range) range = &r;
    }
    return range;
}

PrimFamily code_family(i64 code, int valence) {
    // a dyadic system-function code is never an outer product
    if (valence != 2)
        for (const SystemFunctionName &s : system_functions)
            if (s.code == code) return s.family;
    const PrimInfo *r = prim_info(code, valence);
    return r ? r->family : FAM_NONE;
}

const char *family_name(PrimFamily f) {
    static const char *const names[FAM_COUNT] = {
        "none", "evaluator", "scalar", "logical", "execute", "reduce", "products",
        "structural", "index", "shape", "search", "grade", "encode", "random",
        "format", "group", "dict", "table", "time", "query", "files",
    };
    return f >= 0 && f < FAM_COUNT ? names[f] : "?";
}

// The lexer's token-to-code map, built from the table at compile time:
// tokens no row names are no operation (-1).
struct TokenTable { int16_t code[TOKEN_TABLE_SIZE]; };
static constexpr TokenTable build_token_table() {
    TokenTable t{};
    for (int16_t &c : t.code) c = -1;
    for (const PrimInfo &r : rows)
        if (r.token >= 0 && r.token < TOKEN_TABLE_SIZE) t.code[r.token] = (int16_t)r.first;
    return t;
}
static constexpr TokenTable token_table = build_token_table();
const int16_t *const token_code_table = token_table.code;

i64 system_function_code(const char *name) {
    if (!name || !*name) return -1;
    for (const SystemFunctionName &s : system_functions)
        if (strcmp(s.text, name) == 0) return s.code;
    return -1;
}
