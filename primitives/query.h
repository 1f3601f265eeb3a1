// The query layer: `do`, `like` and dyadic `xkey` (primitives/query.cpp),
// and the layer's own script, the script file primitives/query_layer.vkp,
// which the build embeds in the program.
#pragma once
#include "core/value.h"
#include <string>

// The layer's lines, one after another, each ended by a newline: the bytes
// of primitives/query_layer.vkp. Its immediate lines copy the library
// script "standard", set the index origin to 0 and the layer's three
// globals; its function blocks define the layer's 19 functions.
extern const char query_script_lines[];

// Runs the layer's lines (query_script_lines) in the line runner when `do`
// is first used: 0, or the run's error. Scripts are run by the system
// layer, which sets this at start-up; without it `do` cannot load the layer.
extern int (*load_query_script_hook)();

// "^" + the pattern with % _ . \ translated + "$".
std::string like_pattern_to_regex(const char *pattern, i64 n);
// The statement as a call of the layer's dispatcher: do__v1 'statement',
// every quote doubled.
std::string quote_as_query_call(const char *statement, i64 n);
// x like p and names xkey t (built-in functions 8 and 2).
int like_primitive(i64 code, i64 result, i64 lc, i64 lv, i64 rc, i64 rv);
