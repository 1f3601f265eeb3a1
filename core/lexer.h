// The lexer: character classes, primitive tokens and their prim codes,
// names and []names, and the literal scanners that turn numbers, strings,
// symbols and time texts into constants. Also the whole-line helpers used by
// the session, the script runner and the function compiler.
//
// There is no token stream: the statement compiler walks the line and calls
// the scanner for the class at scan_pos; each scanner leaves scan_pos after
// what it consumed.
#pragma once
#include "value.h"
#include "codes.h"   // tokens, token_code_table, system_function_code

enum : i64 {
    TOKEN_BUF_SIZE = 128,      // names of up to 127 characters
    EXPONENT_TEXT_MAX = 111,   // longest float literal with an exponent
};

// Character classes: 'A' letter, 'N' digit, 'M' '_', 'P' primitive symbol,
// 'Q' quote or backquote, 'D' ( [, 'T' ) ], 'O' '.', 'J' ':', 'E' ';',
// 'C' { }, 'X' everything else (blank and tab included, bytes >= 128 too).
extern char char_class[256];
extern unsigned char symbol_char_set[256];
inline char class_of(char c) { return char_class[(unsigned char)c]; }
void init_char_classes();       // fills char_class and symbol_char_set
void init_symbol_char_set();

// Scanner state shared with the name resolver and the statement compiler.
extern i64 scan_pos;
extern char token_buf[TOKEN_BUF_SIZE];
extern i64 parse_error_position;
extern const char *current_name;         // points at token_buf after scan_name_at
extern i64 system_name_entry;            // entry found by scan_system_name
i64 get_scan_position();
i64 get_error_position();

// Reads the token whose first character is at scan_pos; for a two-character
// token scan_pos is left on the second character. dyadic: a value stands to
// the left. Returns the token (the glyphs are the code table's), or TOK_NONE.
Token primitive_token_code(const char *line, int dyadic);

// Names. Both fail with 42 (error_number set, result -1) for a name over
// 127 characters.
i64 scan_identifier(const char *line);             // position after the blanks
bool is_label_prefix(const char *line, const char *classes, i64 pos);

// Literals. Each returns 0 or an error number (also in error_number) and
// the constant through *constant; scan_pos ends after the literal.
// Quoted text at text[0]: count of characters (a doubled quote is one) in
// *count, copied into buf when copy is set (buf must hold *count + 1);
// *pos is advanced past the closing quote. 21 when the quote is not closed.
int scan_quoted_string(const char *text, char *buf, i64 *pos, int copy, i64 *count);
int scan_char_constant(const char *line, i64 *constant);
// A strand of numeric or time literals. 42 with scan_pos (and
// parse_error_position) at the offending element when it mixes time and
// numeric types or time types of different kinds.
int scan_numeric_vector(const char *line, i64 *constant);
int scan_symbol_literal(const char *line, i64 *constant);
// A quoted name or an identifier (no backquote) as a symbol scalar.
int make_symbol_constant(const char *line, i64 *constant);
// The run of symbol characters at pos copied to token_buf; its length.
i64 scan_symbol_chars(const char *text, i64 pos);

// Where a "//" comment outside quotes starts, or the text's length.
i64 comment_start(const char *text);
i64 strip_comment_crlf(char *text);
// Moves *text past leading blanks and tabs, cuts a // comment outside quotes
// and trailing blanks, tabs, CR and LF (writes a NUL). Returns the length.
i64 trim_line_comment(char **text);
void skip_quoted_or_group(const char *text, i64 *pos);
bool has_open_parenthesis(const char *line);
