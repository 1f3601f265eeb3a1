// Lists of texts (a table's text column) with their characters in the
// list's own block.
//
// Such a list is one large block: its item descriptors, then the
// characters of every text after them, each text followed by a NUL. The
// descriptor's capacity counts the items only, so whatever walks the items
// of a list walks these too; the block itself is larger by the texts,
// which is how the list is known. An item holds no block of its own
// (capacity 0) and points into the texts, or holds its one character
// inline, or is empty; an item written later may hold a large block of
// its own. No item ever lies in the arena, so the list may be shared by
// reference count like any large block: copying it is one allocation,
// sharing it none.
//
// Rules for whoever writes items into a list: open it first
// (open_list_for_writing, valueops.h), which gives a shared list a copy of its own
// and turns this kind into an ordinary list when something other than a
// text is to be written; a text written into this kind is copied into a
// large block (never the arena).
#pragma once
#include "value.h"

// A character vector or scalar.
bool is_text_item(const ValueDescriptor *d);
// A list of texts held in its own block as above.
bool holds_own_texts(const ValueDescriptor *list);
// Bytes of the texts after the items of such a list (0 for any other value).
i64 own_text_bytes(const ValueDescriptor *list);

// dst becomes a new list, with its texts in its own block, of src's items
// at rows (0-based, all valid), or of all of src when rows is null (n is
// then src's count). When an item is not a text nothing is made and *done
// is false. Fails with 6 when the block cannot be had.
int gather_texts(ValueDescriptor *dst, const ValueDescriptor *src, const i64 *rows, i64 n, bool *done);
// The same into value slot `slot` (its value given up afterwards), when
// the list would take a large block anyway: the slot is a variable's, or
// the items are more than the arena takes. *done is false otherwise.
int gather_texts_to_slot(i64 slot, const ValueDescriptor *src, const i64 *rows, i64 n, bool *done);
// The texts of list a followed by n texts of b: b a list of n texts, or
// one text (a character vector, or a list of one) standing for all n.
int append_texts(ValueDescriptor *dst, const ValueDescriptor *a, const ValueDescriptor *b, i64 n, bool *done);
// n texts given one after the other in bytes, text i ending before
// ends[i] (and starting at ends[i-1], the first at 0), as such a list of
// character vectors.
int texts_from_bytes(ValueDescriptor *dst, const char *bytes, const i64 *ends, i64 n);
// The same texts of a list that holds them in blocks of their own, now
// held in its own block; false (and the list as it was) when the list is
// not all texts or the block cannot be had.
bool gather_own_texts(ValueDescriptor *list);

// Every list of texts within a value (a list, its items, the parts of a
// dictionary or table, a table's columns) made one that holds its texts in
// its own block, as far as the memory allows. For values read from a file.
void gather_own_texts_within(ValueDescriptor *value);
