// Interned symbols (an AVL tree plus an array from symbol number to node)
// and the name trie that puts defined names in ASCII order for their
// listing (list_names, names.h).
#pragma once
#include "value.h"

enum : i64 { SYMBOL_NAME_MAX = 127 };

struct SymbolNode {
    i64 length;
    char name[SYMBOL_NAME_MAX + 1];
    i64 balance;          // -1, 0, 1 (1: left subtree taller)
    i64 number;
    SymbolNode *left, *right;
};

struct SymbolTable {
    SymbolNode *root;
    SymbolNode **symbol_nodes;   // symbol number -> node
    i64 capacity;                // entries of symbol_nodes (1024, doubled when full)
    i64 last;                    // last used symbol number, -1 when empty
};
extern SymbolTable symbol_table;

void init_symbol_table();                 // start-up: capacity 1024
// The number of the name, adding it when new. A name over 127 characters
// is refused: -1 with error_number 1.
i64 intern_symbol(const char *name);
i64 intern_symbol_n(const char *name, i64 length);
// Looks a name up without adding it: its number, or -1 when absent.
i64 find_symbol(const char *name);
void grow_symbol_index();
// A symbol table built aside (by the workspace reader) before it replaces
// the one in use. stage_symbol adds a name as the next number; false when
// the name is there already, holds a NUL, is too long, or memory runs out.
bool stage_symbol(SymbolTable *t, const char *name, i64 length);
void free_staged_symbols(SymbolTable *t);
// The staged table becomes symbol_table; the old one is freed.
void adopt_staged_symbols(SymbolTable *t);
void clear_symbol_table();                // frees the tree, clears the array
void free_symbol_tree(SymbolNode *node);
// The node of a symbol number; null for a number that was never given.
SymbolNode *symbol_node(i64 number);
const char *symbol_text(i64 number);      // "" for an unknown number

// Display helpers: a name holding a blank is written between single quotes.
// The buffers must hold SYMBOL_NAME_MAX + 4 bytes. Return the length written.
i64 quote_symbol_name(const SymbolNode *node, char *buffer);
i64 format_symbol_quoted(const SymbolNode *node, char *buffer);

// ---- Name trie ------------------------------------------------------------
struct NameTrieValue { int32_t kind; int32_t index; };
struct NameTrieNode {
    NameTrieValue *value;        // null when no name ends here
    NameTrieNode *child[64];
};
extern NameTrieNode *name_trie_root;

int name_trie_slot(unsigned char c);       // -1 for a character outside the trie
NameTrieNode *name_trie_new_node();
void name_trie_init();
// Inserts a name; a name holding a character outside the trie is skipped
// (returns -1), otherwise 0.
int name_trie_insert(const char *name, i64 index, char kind);
void name_trie_free(NameTrieNode *node);   // frees everything below node

