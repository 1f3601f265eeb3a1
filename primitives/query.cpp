// The query layer's built-in functions: `do` hands an SQL statement to the
// layer (script text in the language itself, primitives/query_layer.vkp,
// loaded on first use), `like` matches texts against a pattern through
// PCRE2, and dyadic `xkey` keys a table by some of its columns.
//
// Ledger
// - do x: x a char vector or scalar holding one statement; the layer's
//   dispatcher do__v1 runs it and its value is the result. An empty x gives
//   an empty integer vector and loads nothing. The layer is loaded on the
//   first `do` after start-up, a clear or a load; "standard" is copied from
//   the library directory, or from beside the program when the library
//   directory has none.
//   Refuses: x not char (7); a char matrix (2); a layer that fails to load
//   (205, no message; the next `do` tries again).
// - x like p: "^" + p translated + "$" must match the whole text: % is any
//   run, _ any one character, . a plain dot, \ a plain backslash; every
//   other character keeps its regular-expression meaning. x a char vector or
//   scalar gives a boolean scalar; x a general list a boolean per item (0
//   for an item that is not a char vector or scalar).
//   Fast path: the pattern is compiled once per call and its match block
//   reused for every item; both are freed before the result is returned.
//   Refuses: p not char of rank 0 or 1 (86); an empty or invalid pattern
//   (85); a char matrix x (99); any other x (7).
// - names xkey t: symbols naming columns of the table t give a keyed table
//   keyed by those columns in the names' order, the other columns as its
//   value table. An empty general list: a keyed table becomes one table (key
//   columns first), a table is copied, anything else gives an empty integer
//   vector.
//   Refuses: xkey with one operand, a name that is not a column, names of
//   another kind, or symbols with t not a table (1); repeated key rows (201).
#include "query.h"
#include "prim.h"
#include "core/evaluator.h"
#include "core/tables.h"
#include "core/valueops.h"
#include <string>
#include <vector>
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

enum : i64 { BUILTIN_XKEY = 2, BUILTIN_DO = 7, BUILTIN_LIKE = 8 };

// ---- like ---------------------------------------------------------------------------------

std::string like_pattern_to_regex(const char *pattern, i64 n) {
    std::string re = "^";
    for (i64 i = 0; i < n; i++) {
        char c = pattern[i];
        if (c == '%') re += ".*";
        else if (c == '_') re += '.';
        else if (c == '.') re += "\\.";
        else if (c == '\\') re += "\\\\";
        else re += c;
    }
    return re + "$";
}

namespace {

// One compiled pattern with its match block, freed when it goes out of scope.
struct CompiledPattern {
    pcre2_code *code = nullptr;
    pcre2_match_data *match = nullptr;
    CompiledPattern() = default;
    CompiledPattern(const CompiledPattern &) = delete;
    CompiledPattern &operator=(const CompiledPattern &) = delete;
    ~CompiledPattern() {
        if (match) pcre2_match_data_free(match);
        if (code) pcre2_code_free(code);
    }
};

}  // namespace

static bool compile_pattern(CompiledPattern *p, const char *pattern, i64 n) {
    std::string re = like_pattern_to_regex(pattern, n);
    int code;
    PCRE2_SIZE offset;
    p->code = pcre2_compile((PCRE2_SPTR)re.data(), re.size(), 0, &code, &offset, nullptr);
    if (!p->code) return false;
    p->match = pcre2_match_data_create_from_pattern(p->code, nullptr);
    return p->match != nullptr;
}

static bool like_match(const CompiledPattern &p, const char *text, i64 n) {
    return pcre2_match(p.code, (PCRE2_SPTR)text, (PCRE2_SIZE)n, 0, 0, p.match, nullptr) >= 0;
}

// The characters of a char vector or scalar.
static void text_of(const ValueDescriptor *d, const char **text, i64 *n) {
    ValueDescriptor copy = *d;
    *text = (const char *)value_data(&copy);
    if (is_inline_value(d)) *text = (const char *)&d->dim0;
    *n = d->count;
}

static bool is_text(const ValueDescriptor *d) { return d->type == T_CHAR && d->rank >= 0 && d->rank <= 1; }

static int like(i64 result, i64 lc, i64 lv, i64 rc, i64 rv) {
    if (lc < 0 && lv < 0) return fail(VEK_VALENCE);
    Operand x, p;
    if (read_operand(&p, rc, rv) || read_operand(&x, lc, lv)) return VEK_VALUE;
    if (p.type != T_CHAR || p.rank > 1) return fail(VEK_PATTERN_TYPE);
    if (p.count == 0) return fail(VEK_PATTERN_RIGHT);
    std::string pattern(p.chars(), (size_t)p.count);
    CompiledPattern compiled;
    if (!compile_pattern(&compiled, pattern.data(), (i64)pattern.size())) return fail(VEK_PATTERN_RIGHT);
    if (x.type == T_CHAR) {
        if (x.rank > 1) return fail(VEK_UNDER_CONSTRUCTION);
        std::string text = x.count ? std::string(x.chars(), (size_t)x.count) : std::string();
        return result_int(result, T_BOOL, like_match(compiled, text.data(), (i64)text.size()) ? 1 : 0);
    }
    if (x.type != T_LIST) return fail(VEK_TYPE);
    // The results are computed before the result is allocated: the result
    // slot may be x itself.
    std::vector<i64> hits((size_t)x.count, 0);
    for (i64 k = 0; k < x.count; k++) {
        const ValueDescriptor *item = &x.items()[k];
        if (!is_text(item)) continue;
        const char *text;
        i64 n;
        text_of(item, &text, &n);
        hits[(size_t)k] = like_match(compiled, n ? text : "", n) ? 1 : 0;
    }
    Result z;
    if (begin_vector(&z, result, T_BOOL, x.count, nullptr, nullptr, true)) return (int)error_number;
    for (i64 k = 0; k < x.count; k++) z.ints()[k] = hits[(size_t)k];
    return 0;
}

// ---- xkey ------------------------------------------------------------------------------------

static const ValueDescriptor *pair_half(const ValueDescriptor *d, int half) {
    return &((const ValueDescriptor *)d->data)[half];
}

static bool is_table(const ValueDescriptor *d) {
    return d->type == T_TABLE && d->rank == 1 && d->data && ((const ValueDescriptor *)d->data)->type == T_SYMBOL;
}
static bool is_keyed_table(const ValueDescriptor *d) {
    return d->type == T_DICT && d->rank == 1 && d->data && is_table(pair_half(d, 0)) && is_table(pair_half(d, 1));
}

// A symbol vector of the given symbols in a new temporary.
static int symbol_vector(i64 *slot, const std::vector<i64> &symbols) {
    if (take_temporary(&eval_temp_counter, slot)) return (int)error_number;
    Result z;
    if (begin_vector(&z, *slot, T_SYMBOL, (i64)symbols.size(), nullptr, nullptr, true)) return (int)error_number;
    for (size_t k = 0; k < symbols.size(); k++) z.ints()[k] = symbols[k];
    return 0;
}

// names # t in a new temporary.
static int columns_of(i64 *slot, const std::vector<i64> &names, i64 tc, i64 tv) {
    i64 names_slot;
    if (symbol_vector(&names_slot, names)) return (int)error_number;
    if (take_temporary(&eval_temp_counter, slot)) return (int)error_number;
    return dispatch_primitive(P_RESHAPE, *slot, -1, names_slot, tc, tv);
}

static int xkey_columns(i64 result, const Operand &names, i64 tc, i64 tv) {
    const ValueDescriptor *t = operand_descriptor(tc, tv);
    const ValueDescriptor *names_half = pair_half(t, 0);
    ValueDescriptor columns = *names_half;
    const i64 *all = (const i64 *)value_data(&columns);
    if (is_inline_value(names_half)) all = &names_half->dim0;
    std::vector<i64> keys(names.ints(), names.ints() + names.count), rest;
    for (i64 k : keys) {
        bool found = false;
        for (i64 c = 0; c < names_half->count && !found; c++) found = all[c] == k;
        if (!found) return fail(VEK_DOMAIN);
    }
    for (i64 c = 0; c < names_half->count; c++) {
        bool keyed = false;
        for (i64 k : keys) keyed = keyed || all[c] == k;
        if (!keyed) rest.push_back(all[c]);
    }
    i64 outer = eval_temp_counter, key_table, value_table;
    int e = columns_of(&key_table, keys, tc, tv);
    if (!e) e = columns_of(&value_table, rest, tc, tv);
    if (!e) e = dispatch_primitive(P_MAKE_DICT, result, -1, key_table, -1, value_table);
    release_temporaries_above(outer);
    eval_temp_counter = outer;
    return e;
}

static int xkey(i64 result, i64 lc, i64 lv, i64 rc, i64 rv) {
    if (lc < 0 && lv < 0) return fail(VEK_DOMAIN);
    Operand names, t;
    if (read_operand(&names, lc, lv) || read_operand(&t, rc, rv)) return VEK_VALUE;
    const ValueDescriptor *td = t.desc();
    if (names.type == T_SYMBOL && names.rank <= 1) {
        if (!is_table(td)) return fail(VEK_DOMAIN);
        return xkey_columns(result, names, rc, rv);
    }
    if (names.type != T_LIST || names.count != 0) return fail(VEK_DOMAIN);
    if (is_table(td)) return copy_value_to_slot(result, rc, rv);
    if (!is_keyed_table(td)) {
        Result z;
        return begin_vector(&z, result, T_INT, 0);
    }
    i64 outer = eval_temp_counter, key_table, value_table;
    int e = take_temporary(&eval_temp_counter, &key_table) || take_temporary(&eval_temp_counter, &value_table);
    if (!e) e = copy_value_checked(&value_slot_table[key_table], pair_half(td, 0), 0);
    if (!e) e = copy_value_checked(&value_slot_table[value_table], pair_half(t.desc(), 1), 0);
    if (!e) e = dispatch_primitive(P_CATENATE_FIRST, result, -1, key_table, -1, value_table);
    release_temporaries_above(outer);
    eval_temp_counter = outer;
    return e ? (int)error_number : 0;
}

int like_primitive(i64 code, i64 result, i64 lc, i64 lv, i64 rc, i64 rv) {
    if (code == BUILTIN_XKEY) return xkey(result, lc, lv, rc, rv);
    return like(result, lc, lv, rc, rv);
}

// ---- do --------------------------------------------------------------------------------------

std::string quote_as_query_call(const char *statement, i64 n) {
    std::string call = "do__v1 '";
    for (i64 i = 0; i < n; i++) {
        call += statement[i];
        if (statement[i] == '\'') call += '\'';
    }
    return call + "'";
}

int (*load_query_script_hook)() = nullptr;

static int execute_text(i64, i64 result, i64 lc, i64 lv, i64 rc, i64 rv) {
    if (lc >= 0 || lv >= 0) return fail(VEK_VALENCE);
    Operand x;
    if (read_operand(&x, rc, rv)) return VEK_VALUE;
    if (x.type != T_CHAR) return fail(VEK_TYPE);
    if (x.rank > 1) return fail(VEK_RANK);
    if (x.count == 0) {
        Result z;
        return begin_vector(&z, result, T_INT, 0);
    }
    // Loading the layer runs statements that may move the arena.
    std::string statement(x.chars(), (size_t)x.count);
    if (!query_layer_loaded) {
        static bool loading = false;
        if (loading) return fail(VEK_QUERY_LOAD);
        loading = true;
        int e = load_query_script_hook ? load_query_script_hook() : VEK_QUERY_LOAD;
        loading = false;
        if (e) return fail(VEK_QUERY_LOAD);
        query_layer_loaded = 1;
    }
    std::string call = quote_as_query_call(statement.data(), (i64)statement.size());
    return execute_text_into(result, call.data(), (i64)call.size(), current_io_slot);
}

void register_query_primitives() {
    register_builtin_function(BUILTIN_DO, execute_text);
    register_builtin_function(BUILTIN_LIKE, like_primitive);
    register_builtin_function(BUILTIN_XKEY, like_primitive);
}
