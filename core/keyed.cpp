// Keyed-value layout helpers: row counts and enumeration domains.
#include "keyed.h"
#include "names.h"
#include "symbols.h"
#include "tables.h"

i64 table_rows(const ValueDescriptor *t) {
    if (t->type != T_TABLE || t->rank < 0) return 0;
    const ValueDescriptor *cols = table_columns(t);
    return cols && cols->spare > 0 ? cols->spare : 0;
}

void set_table_rows(ValueDescriptor *t, i64 rows) {
    ValueDescriptor *cols = table_columns(t);
    if (cols) cols->spare = rows;
}

i64 keyed_row_count(const ValueDescriptor *d) {
    if (d->type == T_TABLE) return table_rows(d);
    if (d->type != T_DICT || !d->data) return 0;
    const ValueDescriptor *k = pair_half(d, 0);
    return d->spare == FORM_KEYED_TABLE ? table_rows(k) : k->count;
}

const ValueDescriptor *domain_variable(i64 name) {
    const char *text = symbol_text(name);
    if (!text[0]) return nullptr;
    i64 slot = resolve_value_index(text);
    if (slot < 0 || slot >= SLOT_COUNT) return nullptr;
    const ValueDescriptor *v = &value_slot_table[slot];
    return v->rank < 0 ? nullptr : v;
}

const ValueDescriptor *domain_items(const ValueDescriptor *v) {
    if (!v || v->rank < 0) return nullptr;
    if (v->type == T_SYMBOL && v->rank <= 1) return v;
    if (!is_keyed_table(v)) return nullptr;
    const ValueDescriptor *key_table = pair_half(v, 0);
    const ValueDescriptor *cols = key_table ? table_columns(key_table) : nullptr;
    if (!cols || cols->type != T_LIST || cols->count != 1 || !cols->data) return nullptr;
    const ValueDescriptor *col = (const ValueDescriptor *)cols->data;
    return is_simple_type(col->type) && col->rank <= 1 ? col : nullptr;
}

const ValueDescriptor *enum_domain(const ValueDescriptor *e) {
    if (e->type != T_ENUM || !e->data) return nullptr;
    return domain_items(domain_variable(enum_domain_name(e)));
}
