// Membership and index-of: the handlers and the typed kernels the
// dictionary, table and product families search with.
//
// Kernels take plain arrays (a single item is an array of one). Apart from
// the tolerant float index-of, every kernel compares exactly, so its result
// does not depend on how it searches: each picks a linear scan, a direct
// table over a small span of keys, or a hash table, whichever is cheapest.
#pragma once
#include "primitives/prim.h"

// ---- Membership: found[i] = 1 when items[i] occurs in list, else 0 ------------------
// 64-bit words (booleans, integers, symbols, the integer time types).
int member_words(const i64 *items, i64 m, const i64 *list, i64 n, i64 *found);
// Doubles by ==: -0.0 and 0.0 are one item, NaN occurs nowhere.
int member_floats(const double *items, i64 m, const double *list, i64 n, i64 *found);
// Complex (real, imaginary) pairs, both parts by ==.
int member_pairs(const double *items, i64 m, const double *list, i64 n, i64 *found);
int member_chars(const char *items, i64 m, const char *list, i64 n, i64 *found);

// ---- Index-of: out[i] = origin + the first position of items[i] in list -------------
// (origin + n when it does not occur).
int index_of_words(const i64 *list, i64 n, const i64 *items, i64 m, i64 origin, i64 *out);
int index_of_floats_exact(const double *list, i64 n, const double *items, i64 m, i64 origin, i64 *out);
int index_of_pairs(const double *list, i64 n, const double *items, i64 m, i64 origin, i64 *out);
int index_of_chars(const char *list, i64 n, const char *items, i64 m, i64 origin, i64 *out);
// Tolerant float index-of: |a-b| <= 1e-13 * max(|a|,|b|). A single item on
// either side or n*m <= 511 scans the list, finding the first tolerantly
// equal item. Larger searches go through a table filled lazily from the
// list, in which an item compares only with the entries on its own probe
// path, so values equal only within the tolerance are found there only
// when they hash alike.
int index_of_floats(const double *list, i64 n, const double *items, i64 m, i64 origin, i64 *out);

// ---- Searches by value type -----------------------------------------------------------
// Index-of of items in list, both of the one simple type `type`, exact for
// every type (the search dictionaries and key columns use).
int index_of_exact(i64 type, const void *list, i64 n, const void *items, i64 m, i64 origin, i64 *out);
// Membership of items in list, both of the one simple type `type`.
int member_exact(i64 type, const void *items, i64 m, const void *list, i64 n, i64 *found);

// ---- Handlers ----------------------------------------------------------------------------
int prim_member(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
int prim_index_of(i64 code, i64 result_slot, i64 lc, i64 lv, i64 rc, i64 rv);
void register_search_primitives();
