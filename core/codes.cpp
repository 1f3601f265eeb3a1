// Lookups over the table of primitives (codes.def): a code's row, family and
// traits, the lexer's tokens and glyphs, and the system-function names. The
// tables the lexer and the compiler read are built from the rows when this
// file is compiled.
#include "codes.h"
#include <cstring>

#define SHEET(line, side) SheetCell{line, SHEET_##side}
#define NO_SHEET SheetCell{0, SHEET_LEFT}
#define HELP(section, line, text) HelpCell{HELP_##section, line, text}
#define NO_HELP HelpCell{HELP_NONE, 0, ""}

static constexpr PrimInfo rows[] = {
#define PRIM(code, name, valence, glyph, context, family, traits, title, sheet, help) \
    {code, code, #name, valence, glyph, CTX_##context, FAM_##family, traits, title, sheet, help},
#define RANGE(first, last, name, valence, form, family, traits, title, sheet, help) \
    {first, last, #name, valence, form, CTX_NEVER, FAM_##family, traits, title, sheet, help},
#include "codes.def"
};
static const i64 row_count = (i64)(sizeof rows / sizeof rows[0]);

constexpr TokenInfo token_rows[TOKEN_COUNT] = {
#define PRIM(code, name, valence, glyph, context, family, traits, title, sheet, help) \
    {#name, code, glyph, CTX_##context, title, sheet},
#define NOTE(name, glyph, context, title, sheet) {#name, -1, glyph, CTX_##context, title, sheet},
#include "codes.def"
};

#undef SHEET
#undef NO_SHEET
#undef HELP
#undef NO_HELP

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

// ---- Traits ------------------------------------------------------------------------
// By code, for the codes below TRAIT_CODES, where every row with a trait
// lies: the compiler asks for each primitive it reads. A row of the code
// itself is written after the ranges, so it wins as in prim_info.
enum : i64 { TRAIT_CODES = 1000 };
struct CodeTraits { uint8_t traits[TRAIT_CODES]; uint8_t valence[TRAIT_CODES]; };
static constexpr CodeTraits build_code_traits() {
    CodeTraits t{};
    for (int pass = 0; pass < 2; pass++)
        for (const PrimInfo &r : rows) {
            if ((r.first == r.last) != (pass == 1)) continue;
            if (r.traits && r.last >= TRAIT_CODES) throw "a row with traits lies above TRAIT_CODES";
            for (i64 c = r.first; c <= r.last && c < TRAIT_CODES; c++) {
                t.traits[c] = (uint8_t)r.traits;
                t.valence[c] = (uint8_t)r.valence;
            }
        }
    return t;
}
static constexpr CodeTraits code_traits = build_code_traits();

static int traits_of(i64 code) { return code >= 0 && code < TRAIT_CODES ? code_traits.traits[code] : 0; }
bool code_is_dyadic_only(i64 code) { return traits_of(code) & PT_DYADIC_ONLY; }
bool code_takes_axis(i64 code) { return traits_of(code) & PT_AXIS; }
bool code_is_scalar(i64 code) { return traits_of(code) & PT_SCALAR; }

bool code_allowed_under_each(i64 code, int valence) {
    const PrimInfo *r = prim_info(code, valence);
    return r && r->valence == valence && (r->traits & PT_EACH);
}

// ---- Tokens ------------------------------------------------------------------------

static constexpr bool same_text(const char *a, const char *b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

// The row of the code, among the PRIM rows, or -1.
static constexpr int token_of_code(i64 code) {
    for (int t = 0; t < TOKEN_COUNT; t++)
        if (token_rows[t].code == code) return t;
    return -1;
}

struct TokenTables {
    int16_t code[TOKEN_COUNT];
    int16_t dyadic[TOKEN_COUNT];        // token_dyadic_code
    int16_t glyph_dyadic[TOKEN_COUNT];  // glyph_dyadic_code
    bool axis[TOKEN_COUNT];
};
static constexpr TokenTables build_token_tables() {
    TokenTables t{};
    for (int k = 0; k < TOKEN_COUNT; k++) {
        const TokenInfo &r = token_rows[k];
        t.code[k] = (int16_t)r.code;
        // a glyph read in either context: with a left argument, the row
        // after it when that row has the same glyph
        int next = r.code >= 0 && r.context == CTX_ANY ? token_of_code(r.code + 1) : -1;
        bool paired = next >= 0 && token_rows[next].context == CTX_NEVER && same_text(token_rows[next].glyph, r.glyph);
        t.dyadic[k] = (int16_t)(paired ? r.code + 1 : r.code);
    }
    for (int k = 0; k < TOKEN_COUNT; k++) {
        const TokenInfo &r = token_rows[k];
        t.glyph_dyadic[k] = r.context & CTX_DYADIC ? t.dyadic[k] : -1;
        if (r.context == CTX_MONADIC)
            for (int d = 0; d < TOKEN_COUNT; d++)
                if (token_rows[d].context == CTX_DYADIC && same_text(token_rows[d].glyph, r.glyph))
                    t.glyph_dyadic[k] = t.dyadic[d];
        auto axis = [](i64 c) { return c >= 0 && c < TRAIT_CODES && (code_traits.traits[c] & PT_AXIS); };
        t.axis[k] = axis(t.code[k]) || axis(t.dyadic[k]) || axis(t.glyph_dyadic[k]);
    }
    return t;
}
static constexpr TokenTables token_tables = build_token_tables();
const int16_t *const token_code_table = token_tables.code;

i64 token_dyadic_code(Token t) { return t >= 0 && t < TOKEN_COUNT ? token_tables.dyadic[t] : -1; }
i64 glyph_dyadic_code(Token t) { return t >= 0 && t < TOKEN_COUNT ? token_tables.glyph_dyadic[t] : -1; }
bool token_takes_axis(Token t) { return t >= 0 && t < TOKEN_COUNT && token_tables.axis[t]; }

// The glyphs the lexer reads, by first character. The lexer takes the first
// entry whose second character and context fit, so the two-character glyphs
// go first: the longest match wins.
struct GlyphStarts { GlyphStart by_first[128]; };
static constexpr GlyphStarts build_glyph_starts() {
    GlyphStarts g{};
    for (int length = 2; length >= 1; length--)
        for (int k = 0; k < TOKEN_COUNT; k++) {
            const TokenInfo &r = token_rows[k];
            if (r.context == CTX_NEVER) continue;
            int n = 0;
            while (r.glyph[n]) n++;
            if (n < 1 || n > 2) throw "a glyph the lexer reads has one or two characters";
            if (n != length) continue;
            unsigned char first = (unsigned char)r.glyph[0];
            if (first >= 128 || (n == 2 && (unsigned char)r.glyph[1] >= 128)) throw "glyphs are ASCII";
            GlyphStart &s = g.by_first[first];
            if (s.count == GLYPH_ALTERNATIVES) throw "more glyphs begin with one character than GLYPH_ALTERNATIVES";
            s.entries[s.count++] = {n == 2 ? r.glyph[1] : (char)0, (uint8_t)r.context, (int16_t)k};
        }
    return g;
}
static constexpr GlyphStarts glyph_table = build_glyph_starts();
const GlyphStart *const glyph_starts = glyph_table.by_first;

i64 system_function_code(const char *name) {
    if (!name || !*name) return -1;
    for (const SystemFunctionName &s : system_functions)
        if (strcmp(s.text, name) == 0) return s.code;
    return -1;
}
