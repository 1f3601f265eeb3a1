// The workspace every input of a fuzz target starts from, taken once and
// put back after each input, so that no input leaves anything for the next.
// Shared by the do target and the unit test of the restore.
//
// It is kept twice: as a workspace file, which holds the whole state, and
// as what the cheap road needs: copies of the values of the variables and
// system variables, the global names, the functions' headers and texts, the
// symbols and the table counters as they stood. The cheap road empties the
// state indicator, gives every variable its value back, lets go of the
// variables and names an input made (as the end of a line lets go of unused
// names) and of the symbols it interned, and then demands that every
// counter stands where it stood. Anything else an input changed (a function
// defined or redefined, a name of the workspace given another meaning, a
// file left open) fails that test, and the file is loaded instead, which
// costs a clear and the compilation of every function again.
#pragma once
#include "core/arena.h"
#include "core/calls.h"
#include "core/evaluator.h"
#include "core/names.h"
#include "core/symbols.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "system/workspace_file.h"
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct StartWorkspace {
    std::string file;
    std::vector<i64> slots;               // the slots whose values are kept
    std::vector<ValueDescriptor> values;  // their values (rank -1: none), in large blocks
    std::vector<NameEntry> names;         // global names 0..lstgx
    struct Function { FunctionText *text; i64 valence, global_name; uint64_t text_hash; };
    std::vector<Function> functions;      // FIRST_USER_FUNCTION..lstfx
    std::vector<std::string> symbols;     // symbol 0..last
    std::vector<i64> counters;
    unsigned char layer_loaded = 0;       // the query layer's functions are in the file
    i64 loads = 0;                        // times the file was loaded after an input
};

inline uint64_t start_text_hash(const FunctionText *ft) {
    uint64_t h = 14695981039346656037ull;
    const TextLine *t = ft && ft->typed ? ft->typed->next : nullptr;
    for (i64 i = 0; ft && i < ft->typed_count && t; i++, t = t->next) {
        for (const char *p = t->text ? t->text : ""; *p; p++) h = (h ^ (unsigned char)*p) * 1099511628211ull;
        h = (h ^ '\n') * 1099511628211ull;
    }
    return h;
}

inline std::vector<i64> start_counters() {
    return {lstgx, lstvx, lstvxend, lstfx, lstnx, lsttnam, lstcx, lstndx, lstfndx, lstbrx, overflow_count,
            nxtglx, dfxstack, si_depth, reserved_count, open_file_count, symbol_table.last, call_nesting};
}

// What the cheap road compares and restores, taken from the live workspace.
// The old copies are forgotten, not released: a load has freed them.
inline void take_start_state(StartWorkspace *w) {
    w->slots.clear();
    w->values.clear();
    for (i64 s : {(i64)SLOT_IO, (i64)SLOT_OF, (i64)SLOT_AV, (i64)SLOT_LX, (i64)SLOT_RL, (i64)SLOT_PP})
        w->slots.push_back(s);
    for (i64 s = FIRST_GLOBAL_SLOT; s <= lstvx; s++) w->slots.push_back(s);
    for (i64 s : w->slots) {
        ValueDescriptor copy;
        memset(&copy, 0, sizeof copy);
        copy.rank = -1;
        if (value_slot_table[s].rank >= 0 && copy_value_checked(&copy, &value_slot_table[s], 1)) abort();
        w->values.push_back(copy);
    }
    w->names.assign(global_name_table, global_name_table + lstgx + 1);
    w->functions.clear();
    for (i64 f = FIRST_USER_FUNCTION; f <= lstfx; f++) {
        const FunctionEntry &e = function_table[f];
        w->functions.push_back({e.text, e.valence, e.global_name, start_text_hash(e.text)});
    }
    w->symbols.clear();
    for (i64 i = 0; i <= symbol_table.last; i++) w->symbols.push_back(symbol_text(i));
    w->counters = start_counters();
}

inline void load_start_file(StartWorkspace *w) {
    if (load_workspace_file(w->file.c_str())) abort();
    query_layer_loaded = w->layer_loaded;   // a load forgets it, but the functions came with the file
    take_start_state(w);
}

// Writes the live workspace to `file` and starts from it.
inline void save_start_workspace(StartWorkspace *w, const std::string &file) {
    w->file = file;
    w->layer_loaded = query_layer_loaded;
    drop_kept_compilations();
    if (save_workspace_file(file.c_str())) abort();
    load_start_file(w);
}

inline bool same_functions(const StartWorkspace *w) {
    if (lstfx != FIRST_USER_FUNCTION - 1 + (i64)w->functions.size()) return false;
    for (size_t k = 0; k < w->functions.size(); k++) {
        const FunctionEntry &e = function_table[FIRST_USER_FUNCTION + k];
        const StartWorkspace::Function &f = w->functions[k];
        if (e.text != f.text || e.valence != f.valence || e.global_name != f.global_name ||
            start_text_hash(e.text) != f.text_hash)
            return false;
    }
    return true;
}

// The symbols the input interned are given up: the table is built again
// from the names it held, under the same numbers.
inline void forget_new_symbols(const StartWorkspace *w) {
    if (symbol_table.last <= (i64)w->symbols.size() - 1) return;
    SymbolTable fresh{nullptr, nullptr, 0, -1};
    for (const std::string &s : w->symbols)
        if (!stage_symbol(&fresh, s.data(), (i64)s.size())) abort();
    adopt_staged_symbols(&fresh);
}

// Puts the start workspace back: the cheap road when the input changed no
// more than it undoes, else the file.
inline void restore_start_workspace(StartWorkspace *w) {
    clear_state_indicator();
    drop_kept_compilations();   // the compiled functions the input kept
    bool cheap = lstgx >= (i64)w->names.size() - 1 && same_functions(w) &&
                 memcmp(global_name_table, w->names.data(), w->names.size() * sizeof(NameEntry)) == 0;
    if (cheap) {
        for (size_t k = 0; k < w->slots.size(); k++) {
            i64 s = w->slots[k];
            if (w->values[k].rank >= 0) {
                if (assign_to_slot(s, &w->values[k])) cheap = false;
            } else if (value_slot_table[s].rank >= 0) {
                release_slot(s);
                value_slot_table[s].rank = -1;
            }
        }
        // the variables the input made hold nothing now, so their names go
        i64 last_slot = w->counters[1];
        for (i64 g = (i64)w->names.size(); g <= lstgx; g++) {
            const NameEntry &e = global_name_table[g];
            if (e.kind == 'V' && e.index > last_slot && e.index < LOCALS_TOP) {
                release_slot(e.index);
                value_slot_table[e.index].rank = -1;
            } else if (e.kind != 0) cheap = false;
        }
        release_unused_names((i64)w->names.size() - 1);
        invalidate_compiled_functions();
        forget_new_symbols(w);
        cheap = cheap && start_counters() == w->counters;
    }
    if (!cheap) {
        w->loads++;
        load_start_file(w);
    }
}
