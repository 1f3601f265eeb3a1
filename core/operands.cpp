// Operand views and the list of live views that compaction keeps current.
#include "operands.h"
#include "arena.h"
#include "errors.h"
#include "valueops.h"
#include "text_lists.h"
#include <cstring>

static Operand *live_views = nullptr;

ValueDescriptor *operand_descriptor(i64 c, i64 v) { return operand_ref(c, v); }

static void link_view(Operand *o) {
    if (o->prev_view || live_views == o) return;
    o->next_view = live_views;
    if (live_views) live_views->prev_view = o;
    live_views = o;
}

static void unlink_view(Operand *o) {
    if (o->prev_view) o->prev_view->next_view = o->next_view;
    else if (live_views == o) live_views = o->next_view;
    if (o->next_view) o->next_view->prev_view = o->prev_view;
    o->prev_view = o->next_view = nullptr;
}

Operand::~Operand() { unlink_view(this); }

const ValueDescriptor *Operand::desc() const { return c == -2 ? &aside : operand_ref(c, v); }

i64 Operand::dim(i64 k) const {
    const ValueDescriptor *d = desc();
    return d ? value_dimension(d, k) : 0;
}

// A single simple item is copied into the view, so the result slot may be
// written freely; other items are read where they are stored.
static void point_at_items(Operand *o, ValueDescriptor *d) {
    void *p = value_data(d);
    if (o->single && p && is_simple_type(d->type)) {
        if (d->type == T_CHAR) o->item.ch = *(const unsigned char *)p;
        else if (d->type == T_COMPLEX) memcpy(o->item.pair, p, 16);
        else memcpy(&o->item.i, p, 8);
        o->data = &o->item;
        return;
    }
    o->data = p;
}

int read_operand(Operand *o, i64 c, i64 v) {
    o->c = c;
    o->v = v;
    ValueDescriptor *d = operand_ref(c, v);
    if (!d || d->rank < 0 || (d->rank == 0 && d->count != 1)) {
        o->rank = -1;
        o->count = 0;
        o->data = nullptr;
        return fail(VEK_VALUE);
    }
    o->type = d->type;
    o->rank = d->rank;
    o->count = d->count;
    o->single = d->rank == 0 || (d->rank == 1 && d->count == 1);
    point_at_items(o, d);
    link_view(o);
    return 0;
}

void reread_operand(Operand *o) {
    if (o->c == -2 || o->data == (const void *)&o->item) return;
    ValueDescriptor *d = operand_ref(o->c, o->v);
    if (d && d->rank >= 0) point_at_items(o, d);
}

// The texts of a list that holds them in its own block go aside with its
// items: the block may go when the slot takes its new value.
static void rebase_texts(ValueDescriptor *items, i64 n, const char *from, i64 bytes, char *to) {
    for (i64 k = 0; k < n; k++) {
        const char *p = (const char *)items[k].data;
        if (p && p >= from && p < from + bytes) items[k].data = to + (p - from);
    }
}

int set_operand_aside(Operand *o) {
    if (o->c == -2 || o->data == (const void *)&o->item || o->count <= 0 || !o->data) return 0;
    i64 bytes = data_bytes(o->type, o->count);
    if (bytes <= 0) return 0;
    const ValueDescriptor *d = operand_ref(o->c, o->v);
    i64 texts = own_text_bytes(d);
    char *copy = (char *)scratch_alloc(T_CHAR, bytes + texts);
    if (!copy) return (int)error_number;
    memcpy(copy, o->data, (size_t)bytes);
    if (texts) {
        const char *from = (const char *)o->data + d->capacity;
        memcpy(copy + bytes, from, (size_t)texts);
        rebase_texts((ValueDescriptor *)copy, o->count, from, texts, copy + bytes);
    }
    o->aside = *operand_ref(o->c, o->v);
    o->aside.data = copy;
    o->aside.capacity = 0;
    o->data = copy;
    o->c = -2;          // reads the copy from now on
    return 0;
}

void refresh_operand_views() {
    for (Operand *o = live_views; o; o = o->next_view) reread_operand(o);
}

// Compaction moves heap blocks under the views: the arena tells them.
static const bool views_follow_compaction = add_compaction_listener(refresh_operand_views);
