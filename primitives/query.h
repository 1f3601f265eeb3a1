// The query layer: `do`, `like` and dyadic `xkey` (primitives/query.cpp),
// and the layer's own script text (primitives/query_script.cpp).
#pragma once
#include "core/value.h"
#include <string>

// The layer's lines, one after another, each ended by a newline; run by
// the line runner when `do` is first used. The first line that is not a
// comment copies the library script "standard".
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
