// The interpreter's fixed tables, their records and counters, and the one
// entry allocator. Records refer to each other by index; -1 means none.
#pragma once
#include "value.h"

// ---- Capacities -----------------------------------------------------------
enum : i64 {
    CONSTANT_CAP = 16384,
    PARSE_NODE_CAP = 262144,
    EXPR_ENTRY_CAP = 32768,
    BRANCH_CAP = 12288,
    FUNCTION_CAP = 512,
    GLOBAL_NAME_CAP = 2048,
    LOCAL_NAME_CAP = 10240,
    DFXSTACK_CAP = 4096,
    SI_CAP = 256,
    SHAPE_POOL_CAP = 6553600,
    LONG_NAME_CAP = 10240,
    OVERFLOW_CAP = 1024,
    RESERVED_CAP = 10005,
    FILE_HANDLE_CAP = 1000,
    PREDEFINED_NAMES = 15,
    BUILTIN_FUNCTIONS = 9,
    FIRST_USER_FUNCTION = 100,
};

// ---- Records ----------------------------------------------------------------
struct ParseNode {        // 7 words
    i64 kind;             // 'C', 'V', 'F', 'Z' (0 = new)
    i64 index;            // constant, value slot, ExprEntry, symbol constant
    i64 w2, w3;           // the evaluator's words
    i64 parent;           // -1 for the root
    i64 local;            // local/bound name entry it came from, else -1
    i64 pos;              // source position for the caret
};

struct ExprEntry {        // 4 words
    i64 kind;             // 'P' primitive, 'D' defined function
    i64 code;             // prim_code or function index
    i64 left;             // node, -1 monadic
    i64 right;            // node, -1 none
};

struct BranchEntry {      // 6 words
    i64 false_target;     // -1 unconditional
    i64 true_target;      // 0 leave, -100 value of the expression
    i64 list_start;       // overflow_table index or -1
    i64 w3, w4, w5;
};

struct TextLine {
    char *text;           // owned buffer or null
    i64 capacity;         // -1 when no buffer
    i64 line;             // source line number, -1 when unset
    TextLine *next;
};

struct FunctionText {
    i64 reserved;         // saved and loaded, otherwise unused
    char name[120];
    TextLine *cursor;     // typed line after which the next is appended
    TextLine *typed;      // head nodes of the three lists
    TextLine *fresh;      // typed lines without blanks and comments
    TextLine *work;       // control-structure translator output
    i64 typed_count, fresh_count, work_count;
};

struct StatementNode {    // one compiled statement of a function line
    i64 root, start, branch;
    StatementNode *next;
    i64 offset;           // where the statement starts in its line (caret)
    i64 lean;             // 0 not yet known, 1 takes the lean walk, -1 does not
    struct LeanProgram *program;   // the lean walk's steps
};

struct FunctionEntry {    // 17 words
    i64 valence;          // 0, 1, 2
    i64 result;           // result local entry; -1 none; -2 built-in
    i64 left_arg;
    i64 right_arg;
    i64 right_count;
    i64 header_start, header_end;
    i64 body_start, body_end;
    i64 first_branch;
    i64 compiled;
    i64 first_node, last_node;
    i64 global_name;
    FunctionText *text;
    i64 *line_counts;
    StatementNode **line_lists;
};

struct NameEntry {        // 32 bytes
    char name[9];         // first 8 characters, NUL-terminated
    char kind;            // 'V', 'F', 'L' (0 = free)
    char pad[6];
    i64 index;
    i64 continuation;     // long_name_pool position of the rest, or -1
};
static_assert(sizeof(NameEntry) == 32, "name entry is 32 bytes");

struct DfxEntry { i64 name; i64 slot; };       // name -1 = frame marker
struct SIEntry { i64 function; i64 line; };    // function -1 = immediate

// ---- Tables and counters -------------------------------------------------------
extern ValueDescriptor *value_slot_table;   // SLOT_COUNT
extern ValueDescriptor *constants_table;    // CONSTANT_CAP
extern ParseNode *parse_node_table;
extern ExprEntry *expr_entry_table;
extern BranchEntry *branch_table;
extern FunctionEntry *function_table;
extern NameEntry *global_name_table;
extern NameEntry *local_name_table;
extern DfxEntry *dfxstack_table;
extern SIEntry state_indicator[SI_CAP];
extern i64 *shape_pool;
extern char *long_name_pool;
extern i64 overflow_table[OVERFLOW_CAP];
extern i64 (*reserved_table)[8];
extern i64 reserved_count;
// The query layer's functions are in the workspace (set by the first `do`).
// A clear forgets it with the functions, so the next `do` loads them again.
extern unsigned char query_layer_loaded;

extern i64 lstvx, lstvxend, lstcx, lstndx, lstfndx, lstbrx, lstfx, lstgx, lstnx;
extern i64 dfxstack, si_depth /* ET.sidx */, nxtglx, lsttnam, overflow_count;
extern i64 predefined_name_count, builtin_function_count;

extern void *file_handle_table[FILE_HANDLE_CAP];
extern i64 open_file_count;

// Raises the table's counter and initialises the new entry; returns its
// index, or -1 with error_number set when the table is full. A parse node
// ('N') comes without a text position: its maker sets one.
i64 alloc_table_entry(char kind, i64 deflt);
// Number of ValueDescriptors the clear and the entry allocator may use for
// global variables: lstvx stays below lstvxend.
bool value_slot_available();
// The initial contents of a name entry ('A', 'G') and of a function entry
// ('F'), for the allocator and the clear.
void reset_name_entry(NameEntry *e);
void reset_function_entry(FunctionEntry *f);
