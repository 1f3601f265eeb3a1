// The statement compiler: one statement of a line becomes parse nodes,
// application entries, constants and (for "->") a branch entry. The
// statement split of a line is here too.
//
// Compiled form (the evaluator walks exactly this):
//  - 'C' node: index = constant; 'V' node: index = value slot (or, for a
//    local of a function being compiled, the resolver's index word; `local`
//    then names the local entry); 'Z' node: index = symbol constant of a
//    table-constructor column name; 'F' node: index = its ExprEntry.
//  - ExprEntry 'P': code = prim_code, left = node or -1 (monadic), right =
//    node or -1 (no argument: 610 []TS, 611 []). 'D': code = function index.
//  - Every node but the root has parent = the 'F' node using it.
//  - List chain (a parenthesised list with ';', the positions of a bracket
//    index with two or more positions, a strand-assignment target, a table
//    constructor section): items i1..in become
//        ;(i1, ;(i2, ... ;(in, END)))
//    where each ';' is an 'F' node with a 'P' entry of code 2 whose left
//    operand is the item, and END is a 'V' node of value slot 0 ending the
//    chain. An item that is itself a list is a code-2 node in left position.
//  - Bracket index x[...]: code 1 with left x; right is the single position,
//    or the list chain of two or more positions. An elided position is a
//    'V' node of slot 0 (so x[] has right = V 0, and x[;2] has the chain
//    ;(V0, ;(2, END))).
//  - Assignment: code 0, left = target ('V', 'Z', code 1, code 22 or a
//    list chain of 'V' nodes for strand assignment), right = value.
//  - Each: x f" y compiles as code 752 whose right operand is the 'F' node of
//    the function applied item by item (that node holds the real operands).
//  - Table constructor ([k1<-a; ...] c1<-b; c2; ...): 'F' node with a 'P'
//    entry of code P_TABLE_CONSTRUCTOR; left = chain of key columns (-1
//    when none), right = chain of value columns. Every column is a code-0
//    application with a 'Z' left operand; a lone name c is compiled as c<-c.
//  - `start` (second word of the result) is the node evaluated first:
//    from the root, descend through right operands while they are 'F' nodes.
#pragma once
#include "value.h"
#include "lexer.h"     // get_scan_position, get_error_position
#include "codes.h"

enum : i64 {
    BRANCH_TO_VALUE = -100,       // true target: the statement's value
    LIST_END_SLOT = 0,            // 'V' node ending a list chain / elided index
};

struct CompiledStatement {
    i64 root;     // -1 for an empty statement or a branch without expression
    i64 start;    // first node to evaluate, -1 with no root
    i64 branch;   // BranchEntry, -1 when the statement is no branch
};

// The last result, for the immediate runner.
extern i64 compiled_root, compiled_start;

// Compiles the statement at the beginning of `line` (at most `length` bytes;
// a NUL ends it earlier). function_row: -1 immediate, else the FunctionEntry
// being compiled; line_number: its line (0 immediate). terminator: a
// character that ends the statement like the end of text (0 for none).
// io_slot: the slot whose value is the index origin for axis brackets.
// Returns 0 or an error number (also in error_number); get_scan_position()
// then gives where the statement ended (a top-level ';', the terminator or
// the end) and, on error, get_error_position() the caret position.
int compile_statement(const char *line, i64 length, i64 function_row, i64 line_number,
                      char terminator, i64 io_slot, CompiledStatement *out);

// Statement split: the offset of the first ';' outside quotes, parentheses
// and brackets at or after `from` (stopping at a // comment), or the length
// when there is none.
i64 find_statement_end(const char *line, i64 length, i64 from);
