// The fixed interpreter tables and their counters, and the one entry
// allocator. Their set-up and the workspace clear are in workspace.cpp.
#include "errors.h"
#include "tables.h"
#include <cstring>

ValueDescriptor *value_slot_table = nullptr;
ValueDescriptor *constants_table = nullptr;
ParseNode *parse_node_table = nullptr;
ExprEntry *expr_entry_table = nullptr;
BranchEntry *branch_table = nullptr;
FunctionEntry *function_table = nullptr;
NameEntry *global_name_table = nullptr;
NameEntry *local_name_table = nullptr;
DfxEntry *dfxstack_table = nullptr;
SIEntry state_indicator[SI_CAP];
i64 *shape_pool = nullptr;
char *long_name_pool = nullptr;
i64 overflow_table[OVERFLOW_CAP];
i64 (*reserved_table)[8] = nullptr;
i64 reserved_count = 0;
unsigned char query_layer_loaded = 0;

i64 lstvx = 17, lstvxend = LOCALS_TOP, lstcx = 20, lstndx = -1, lstfndx = -1, lstbrx = 0;
i64 lstfx = 99, lstgx = 14, lstnx = -1;
i64 dfxstack = -1, si_depth = -1, nxtglx = -1, lsttnam = -1, overflow_count = 0;
i64 predefined_name_count = PREDEFINED_NAMES, builtin_function_count = BUILTIN_FUNCTIONS;

void *file_handle_table[FILE_HANDLE_CAP];
i64 open_file_count = 0;

// ---- Entry allocator ----------------------------------------------------------

void reset_name_entry(NameEntry *e) {
    memset(e, 0, sizeof *e);
    e->index = -1;
    e->continuation = -1;
}

void reset_function_entry(FunctionEntry *f) {
    i64 keep4 = f->right_count, keep8 = f->body_end;
    memset(f, 0, sizeof *f);
    f->result = -1;
    f->header_start = -1;
    f->header_end = -1;
    f->last_node = -1;
    f->right_count = keep4;
    f->body_end = keep8;
}

bool value_slot_available() { return lstvx + 1 < lstvxend; }

// Raises the table's counter and initialises the new entry. A full table
// fails with 84 "one table is full" and leaves the counter as it was.
i64 alloc_table_entry(char kind, i64 deflt) {
    switch (kind) {
    case 'A':
        if (lstnx + 1 >= LOCAL_NAME_CAP) break;
        reset_name_entry(&local_name_table[++lstnx]);
        return lstnx;
    case 'G':
        if (lstgx + 1 >= GLOBAL_NAME_CAP) break;
        reset_name_entry(&global_name_table[++lstgx]);
        return lstgx;
    case 'V':
        if (!value_slot_available()) break;
        memset(&value_slot_table[++lstvx], 0, sizeof(ValueDescriptor));
        value_slot_table[lstvx].rank = -1;
        return lstvx;
    case 'C':
        if (lstcx + 1 >= CONSTANT_CAP) break;
        memset(&constants_table[++lstcx], 0, sizeof(ValueDescriptor));
        return lstcx;
    case 'B':
        if (lstbrx + 1 >= BRANCH_CAP) break;
        branch_table[++lstbrx] = {-1, -1, -1, 0, 0, 0};
        return lstbrx;
    case 'E':
        if (lstfndx + 1 >= EXPR_ENTRY_CAP) break;
        expr_entry_table[++lstfndx] = {0, 0, 0, 0};
        return lstfndx;
    case 'F':
        if (lstfx + 1 >= FUNCTION_CAP) break;
        reset_function_entry(&function_table[++lstfx]);
        return lstfx;
    case 'N': {
        if (lstndx + 1 >= PARSE_NODE_CAP) break;
        ParseNode *n = &parse_node_table[++lstndx];
        n->kind = 0;
        n->index = n->w2 = n->w3 = 0;
        n->parent = n->local = n->pos = -1;
        return lstndx;
    }
    default:
        return deflt;
    }
    error_number = VEK_TABLE_FULL;
    return -1;
}

