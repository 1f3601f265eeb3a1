// Interned symbols in an AVL tree with an index by number, and the 64-way
// name trie used to list defined names in ASCII order.
#include "errors.h"
#include "symbols.h"
#include "arena.h"
#include <cstdlib>
#include <cstring>

SymbolTable symbol_table = {nullptr, nullptr, 0, -1};
NameTrieNode *name_trie_root = nullptr;

// ---- Symbol table ------------------------------------------------------------------

void init_symbol_table() {
    if (symbol_table.symbol_nodes) return;
    symbol_table.capacity = 1024;
    symbol_table.symbol_nodes = (SymbolNode **)checked_calloc(1024, sizeof(SymbolNode *));
    symbol_table.root = nullptr;
    symbol_table.last = -1;
}

void grow_symbol_index() {
    i64 cap = symbol_table.capacity * 2;
    SymbolNode **grown = (SymbolNode **)checked_calloc(cap, sizeof(SymbolNode *));
    if (symbol_table.symbol_nodes)
        memcpy(grown, symbol_table.symbol_nodes, symbol_table.capacity * sizeof(SymbolNode *));
    free(symbol_table.symbol_nodes);
    symbol_table.symbol_nodes = grown;
    symbol_table.capacity = cap;
}

static SymbolNode *rotate_right(SymbolNode *n) {
    SymbolNode *l = n->left;
    n->left = l->right;
    l->right = n;
    return l;
}

static SymbolNode *rotate_left(SymbolNode *n) {
    SymbolNode *r = n->right;
    n->right = r->left;
    r->left = n;
    return r;
}

// Rebalances a node whose balance reached +2 (left heavy) or -2.
static SymbolNode *rebalance(SymbolNode *n) {
    if (n->balance == 2) {
        SymbolNode *l = n->left;
        if (l->balance == 1) {
            n->balance = l->balance = 0;
            return rotate_right(n);
        }
        SymbolNode *g = l->right;
        n->balance = g->balance == 1 ? -1 : 0;
        l->balance = g->balance == -1 ? 1 : 0;
        g->balance = 0;
        n->left = rotate_left(l);
        return rotate_right(n);
    }
    SymbolNode *r = n->right;
    if (r->balance == -1) {
        n->balance = r->balance = 0;
        return rotate_left(n);
    }
    SymbolNode *g = r->left;
    n->balance = g->balance == -1 ? 1 : 0;
    r->balance = g->balance == 1 ? -1 : 0;
    g->balance = 0;
    n->right = rotate_right(r);
    return rotate_left(n);
}

// Links node into the subtree at *root by its name; *grew tells the caller
// whether the subtree became taller. Returns the node that already holds
// the name (nothing is linked then), or null when node was linked.
static SymbolNode *tree_link(SymbolNode **root, SymbolNode *node, bool *grew) {
    SymbolNode *n = *root;
    if (!n) {
        *root = node;
        *grew = true;
        return nullptr;
    }
    int c = strcmp(node->name, n->name);
    if (c == 0) { *grew = false; return n; }
    SymbolNode *found;
    if (c < 0) {
        found = tree_link(&n->left, node, grew);
        if (*grew) {
            n->balance++;
            if (n->balance == 0) *grew = false;
            else if (n->balance == 2) { *root = rebalance(n); *grew = false; }
        }
    } else {
        found = tree_link(&n->right, node, grew);
        if (*grew) {
            n->balance--;
            if (n->balance == 0) *grew = false;
            else if (n->balance == -2) { *root = rebalance(n); *grew = false; }
        }
    }
    return found;
}

static void fill_symbol_node(SymbolNode *n, const char *name, i64 length) {
    n->length = length;
    memcpy(n->name, name, (size_t)length);
    n->name[length] = 0;
}

i64 intern_symbol_n(const char *name, i64 length) {
    if (length < 0 || length > SYMBOL_NAME_MAX) { error_number = VEK_DOMAIN; return -1; }
    init_symbol_table();
    char key[SYMBOL_NAME_MAX + 1];
    memcpy(key, name, (size_t)length);
    key[length] = 0;
    if (memchr(key, 0, (size_t)length)) length = (i64)strlen(key);
    i64 existing = find_symbol(key);
    if (existing >= 0) return existing;
    if (symbol_table.last >= symbol_table.capacity - 1) grow_symbol_index();
    SymbolNode *n = (SymbolNode *)checked_calloc(1, sizeof(SymbolNode));
    fill_symbol_node(n, key, length);
    bool grew = false;
    tree_link(&symbol_table.root, n, &grew);
    n->number = ++symbol_table.last;
    symbol_table.symbol_nodes[n->number] = n;
    return n->number;
}

bool stage_symbol(SymbolTable *t, const char *name, i64 length) {
    if (length < 0 || length > SYMBOL_NAME_MAX || memchr(name, 0, (size_t)length)) return false;
    if (t->last + 1 >= t->capacity) {
        i64 cap = t->capacity < 1024 ? 1024 : 2 * t->capacity;
        SymbolNode **grown = (SymbolNode **)calloc((size_t)cap, sizeof(SymbolNode *));
        if (!grown) return false;
        if (t->symbol_nodes) memcpy(grown, t->symbol_nodes, (size_t)(t->last + 1) * sizeof(SymbolNode *));
        free(t->symbol_nodes);
        t->symbol_nodes = grown;
        t->capacity = cap;
    }
    SymbolNode *n = (SymbolNode *)calloc(1, sizeof(SymbolNode));
    if (!n) return false;
    fill_symbol_node(n, name, length);
    bool grew = false;
    if (tree_link(&t->root, n, &grew)) { free(n); return false; }
    n->number = ++t->last;
    t->symbol_nodes[n->number] = n;
    return true;
}

void free_staged_symbols(SymbolTable *t) {
    free_symbol_tree(t->root);
    free(t->symbol_nodes);
    *t = SymbolTable{nullptr, nullptr, 0, -1};
}

void adopt_staged_symbols(SymbolTable *t) {
    free_symbol_tree(symbol_table.root);
    free(symbol_table.symbol_nodes);
    symbol_table = *t;
    if (!symbol_table.symbol_nodes) {
        symbol_table = SymbolTable{nullptr, nullptr, 0, -1};
        init_symbol_table();
    }
    *t = SymbolTable{nullptr, nullptr, 0, -1};
}

i64 intern_symbol(const char *name) { return intern_symbol_n(name, (i64)strlen(name)); }

i64 find_symbol(const char *name) {
    for (SymbolNode *n = symbol_table.root; n;) {
        int c = strcmp(name, n->name);
        if (c == 0) return n->number;
        n = c < 0 ? n->left : n->right;
    }
    return -1;
}

void free_symbol_tree(SymbolNode *node) {
    if (!node) return;
    free_symbol_tree(node->left);
    free_symbol_tree(node->right);
    free(node);
}

void clear_symbol_table() {
    free_symbol_tree(symbol_table.root);
    symbol_table.root = nullptr;
    if (symbol_table.symbol_nodes)
        for (i64 i = 0; i <= symbol_table.last && i < symbol_table.capacity; i++) symbol_table.symbol_nodes[i] = nullptr;
    symbol_table.last = -1;
}

SymbolNode *symbol_node(i64 number) {
    if (number < 0 || number > symbol_table.last || number >= symbol_table.capacity) return nullptr;
    return symbol_table.symbol_nodes[number];
}

const char *symbol_text(i64 number) {
    SymbolNode *n = symbol_node(number);
    return n ? n->name : "";
}

i64 quote_symbol_name(const SymbolNode *node, char *buffer) {
    bool blank = strchr(node->name, ' ') != nullptr;
    i64 n = 0;
    if (blank) buffer[n++] = '\'';
    memcpy(buffer + n, node->name, (size_t)node->length);
    n += node->length;
    if (blank) buffer[n++] = '\'';
    buffer[n] = 0;
    return n;
}

i64 format_symbol_quoted(const SymbolNode *node, char *buffer) {
    buffer[0] = '`';
    return 1 + quote_symbol_name(node, buffer + 1);
}

// ---- Name trie ------------------------------------------------------------------------

int name_trie_slot(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return 10 + (c - 'A');
    if (c == '_') return 36;
    if (c >= 'a' && c <= 'z') return 37 + (c - 'a');
    return -1;
}

NameTrieNode *name_trie_new_node() {
    return (NameTrieNode *)checked_calloc(1, sizeof(NameTrieNode));
}

void name_trie_init() {
    if (!name_trie_root) name_trie_root = name_trie_new_node();
}

int name_trie_insert(const char *name, i64 index, char kind) {
    for (const char *p = name; *p; p++)
        if (name_trie_slot((unsigned char)*p) < 0) return -1;
    name_trie_init();
    NameTrieNode *n = name_trie_root;
    for (const char *p = name; *p; p++) {
        int s = name_trie_slot((unsigned char)*p);
        if (!n->child[s]) n->child[s] = name_trie_new_node();
        n = n->child[s];
    }
    if (!n->value) n->value = (NameTrieValue *)checked_calloc(1, sizeof(NameTrieValue));
    n->value->kind = kind;
    n->value->index = (int32_t)index;
    return 0;
}

void name_trie_free(NameTrieNode *node) {
    if (!node) return;
    for (int i = 0; i < 64; i++) {
        if (node->child[i]) {
            name_trie_free(node->child[i]);
            free(node->child[i]->value);
            free(node->child[i]);
            node->child[i] = nullptr;
        }
    }
    if (node == name_trie_root) { free(node->value); node->value = nullptr; }
}
