// Lists of texts with their characters in the list's own block, built in
// two passes: the sizes, then one block filled in order.
#include "text_lists.h"
#include "arena.h"
#include "errors.h"
#include "tables.h"
#include <cstring>

static const i64 ITEM_BYTES = (i64)sizeof(ValueDescriptor);
// After the last text: the block is always larger than its items, and a
// reader of whole words past a text's end stays inside it.
enum : i64 { TEXT_SLACK = 8 };

bool is_text_item(const ValueDescriptor *d) { return d->type == T_CHAR && d->rank >= 0 && d->rank <= 1; }

bool holds_own_texts(const ValueDescriptor *d) {
    return d->type == T_LIST && d->rank == 1 && d->capacity > 0 && d->data && !in_arena(d->data) &&
           chunk_bytes(d->data) > d->capacity;
}

i64 own_text_bytes(const ValueDescriptor *d) { return holds_own_texts(d) ? chunk_bytes(d->data) - d->capacity : 0; }

// Bytes a text takes after the items: none for one held inline or empty.
static i64 text_bytes(const ValueDescriptor *d) { return is_inline_value(d) || d->count <= 0 ? 0 : d->count + 1; }

// The block of a list of n texts (n above 0) taking `bytes` after its
// items, the slack included. The caller writes every byte of it, so it is
// not cleared first. Null (error 6) when it cannot be had.
static char *new_text_block(i64 n, i64 bytes) {
    if (n > (INT64_MAX - bytes) / ITEM_BYTES) return fail(VEK_WS_FULL), nullptr;
    chunk_fully_written = true;
    char *block = (char *)new_chunk(n * ITEM_BYTES + bytes);
    chunk_fully_written = false;
    if (!block) fail(VEK_WS_FULL);
    return block;
}

// dst becomes the list of the n texts in `block` (of `size` bytes), written
// up to `end`: the rest is cleared.
static void finish_text_list(ValueDescriptor *dst, char *block, i64 n, char *end, i64 size) {
    memset(end, 0, (size_t)(block + size - end));
    dst->type = T_LIST;
    dst->rank = 1;
    dst->count = dst->dim0 = n;
    dst->capacity = n * ITEM_BYTES;
    dst->data = block;
}

// item(i) gives the i-th text of the new list; it is read twice, once for
// the sizes and once to copy, and the reads run ahead of the copies (the
// items may be anywhere in a large list).
template <class Item>
static int build_texts(ValueDescriptor *dst, i64 n, Item item, bool *done) {
    enum : i64 { AHEAD = 16 };
    *done = false;
    i64 bytes = TEXT_SLACK;
    for (i64 i = 0; i < n; i++) {
        if (i + AHEAD < n) __builtin_prefetch(item(i + AHEAD));
        const ValueDescriptor *it = item(i);
        if (!is_text_item(it)) return 0;
        bytes += text_bytes(it);
    }
    *done = true;
    ValueDescriptor made;
    memset(&made, 0, sizeof made);
    made.type = T_LIST;
    made.rank = 1;
    if (n == 0) {
        *dst = made;
        return 0;
    }
    char *block = new_text_block(n, bytes);
    if (!block) return VEK_WS_FULL;
    ValueDescriptor *out = (ValueDescriptor *)block;
    char *text = block + n * ITEM_BYTES;
    for (i64 i = 0; i < n; i++) {
        if (i + AHEAD < n) __builtin_prefetch(item(i + AHEAD));
        if (i + AHEAD / 2 < n) __builtin_prefetch(item(i + AHEAD / 2)->data);
        const ValueDescriptor *it = item(i);
        ValueDescriptor *o = &out[i];
        *o = *it;
        o->capacity = 0;
        if (is_inline_value(it)) o->data = &o->dim0;
        else if (it->count <= 0) o->data = nullptr;
        else {
            memcpy(text, value_data((ValueDescriptor *)it), (size_t)it->count);
            text[it->count] = 0;
            o->data = text;
            text += it->count + 1;
        }
    }
    finish_text_list(&made, block, n, text, n * ITEM_BYTES + bytes);
    *dst = made;
    return 0;
}

int texts_from_bytes(ValueDescriptor *dst, const char *bytes, const i64 *ends, i64 n) {
    memset(dst, 0, sizeof *dst);
    dst->type = T_LIST;
    dst->rank = 1;
    if (n == 0) return 0;
    i64 size = ends[n - 1] + n + TEXT_SLACK;
    char *block = new_text_block(n, size);
    if (!block) return VEK_WS_FULL;
    ValueDescriptor *out = (ValueDescriptor *)block;
    char *text = block + n * ITEM_BYTES;
    for (i64 i = 0; i < n; i++) {
        i64 from = i ? ends[i - 1] : 0, count = ends[i] - from;
        ValueDescriptor *o = &out[i];
        memset(o, 0, sizeof *o);
        o->type = T_CHAR;
        o->rank = 1;
        o->count = o->dim0 = count;
        if (count == 1) o->dim0 = (unsigned char)bytes[from];   // held inline
        if (count == 1) o->data = &o->dim0;
        else if (count > 0) {
            memcpy(text, bytes + from, (size_t)count);
            text[count] = 0;
            o->data = text;
            text += count + 1;
        }
    }
    finish_text_list(dst, block, n, text, n * ITEM_BYTES + size);
    return 0;
}

static const ValueDescriptor *items_of(const ValueDescriptor *list) { return (const ValueDescriptor *)list->data; }

int gather_texts(ValueDescriptor *dst, const ValueDescriptor *src, const i64 *rows, i64 n, bool *done) {
    const ValueDescriptor *in = items_of(src);
    if (!rows) return build_texts(dst, n, [&](i64 i) { return &in[i]; }, done);
    return build_texts(dst, n, [&](i64 i) { return &in[rows[i]]; }, done);
}

int gather_texts_to_slot(i64 slot, const ValueDescriptor *src, const i64 *rows, i64 n, bool *done) {
    *done = false;
    if (!is_heap_slot(slot) && data_bytes(T_LIST, n) <= LARGE_BLOCK_LIMIT) return 0;
    ValueDescriptor made;
    if (gather_texts(&made, src, rows, n, done)) return (int)error_number;
    if (!*done) return 0;
    ValueDescriptor old = value_slot_table[slot];
    value_slot_table[slot] = made;
    release_stack_value(&old);
    return 0;
}

int append_texts(ValueDescriptor *dst, const ValueDescriptor *a, const ValueDescriptor *b, i64 n, bool *done) {
    const ValueDescriptor *in = items_of(a), *more = b->type == T_LIST ? items_of(b) : nullptr;
    i64 na = a->count;
    bool single = !more || b->count == 1;
    return build_texts(dst, na + n, [&](i64 i) {
        if (i < na) return &in[i];
        return !more ? b : &more[single ? 0 : i - na];
    }, done);
}

bool gather_own_texts(ValueDescriptor *list) {
    if (list->type != T_LIST || list->rank != 1 || list->count <= 0 || holds_own_texts(list) ||
        adjust_refcount(list, 0) > 1)
        return false;
    ValueDescriptor made;
    bool done;
    i64 saved = error_number;
    if (gather_texts(&made, list, nullptr, list->count, &done) || !done) {
        error_number = saved;
        return false;
    }
    ValueDescriptor old = *list;
    *list = made;
    release_descriptor(&old);
    return true;
}

// columns: a table's column list, whose columns are looked into but which
// is never made a list of texts itself.
static void gather_within(ValueDescriptor *v, bool columns, int depth) {
    enum { DEPTH_MAX = 64 };
    if (depth > DEPTH_MAX || v->rank < 0 || !v->data || v->count <= 0) return;
    if (v->type == T_DICT || v->type == T_TABLE) {
        for (int k = 0; k < 2; k++) gather_within(&((ValueDescriptor *)v->data)[k], v->type == T_TABLE && k == 1, depth + 1);
        return;
    }
    if (v->type != T_LIST || (!columns && gather_own_texts(v))) return;
    for (i64 i = 0; i < v->count; i++) gather_within(&((ValueDescriptor *)v->data)[i], false, depth + 1);
}

void gather_own_texts_within(ValueDescriptor *value) { gather_within(value, false, 0); }
