// The numbered errors: a name for every number, the one table of their
// messages and the error state. An operation that fails stores its number
// in error_number and returns it; `return fail(VEK_LENGTH);` does both.
#pragma once
#include <cstdint>

// The number of the last failure, 0 for none.
extern int64_t error_number;
// Where in the failing line the caret goes (-1 before anything failed).
extern int64_t error_position;

// ERR(number, NAME, message); a null message prints "Error: " alone.
#define VEK_ERRORS(ERR) \
    ERR(1, DOMAIN, "domain error") \
    ERR(2, RANK, "rank error") \
    ERR(3, LENGTH, "length error") \
    ERR(4, VALUE, "value error") \
    ERR(5, STACK_FULL, "stack full") \
    ERR(6, WS_FULL, "workspace full") \
    ERR(7, TYPE, "type error") \
    ERR(8, NAME_LETTER, "name must start with a letter") \
    ERR(9, GLIST_FULL, "glist full") \
    ERR(10, VAR_IS_FUNCTION, "variable cannot be a function name") \
    ERR(11, ASSIGN_EXPECTED, "<- expected") \
    ERR(12, FUNCTION_NAME_EXPECTED, "function name expected") \
    ERR(13, NAME_EXPECTED, "name expected") \
    ERR(14, MISSING_FUNCTION, "illegal appearance of var/num due to missing function") \
    ERR(15, VALENCE, "function valence not fit") \
    ERR(16, SYNTAX, "syntax error") \
    ERR(17, LEFT_MISSING, "left argument missing") \
    ERR(18, INNER_NOT_SCALAR, "inner prod. can only apply to scalar fns") \
    ERR(19, PAREN_MISSING_FUNCTION, "illegal appear. if '(' likely due to missing function") \
    ERR(20, OUTER_NOT_DYADIC, "only dyadic function can be in outer product") \
    ERR(21, UNPAIRED, "unpaired parentheses or brackets") \
    ERR(22, RPAREN_EXPECTED, "right parenthesis expected") \
    ERR(23, DEFN, "defn error") \
    ERR(24, IO, "[]IO error") \
    ERR(25, INDEX, "index error") \
    ERR(26, STRUCTURE, "structure error") \
    ERR(27, AXIS_RESTRICTION, "compiler restriction on, axis and format. premature exit!") \
    ERR(28, AXIS_SPEC, "axis specification wrong, may due to []IO=1") \
    ERR(29, RBRACKET_EXPECTED, "right bracket expected") \
    ERR(30, AXIS, "axis error") \
    ERR(31, TIME_FORMAT, "error time format") \
    ERR(32, TIME_TABLE_FULL, "time table is full") \
    ERR(33, TIME_VALUE, "date or time value error") \
    ERR(34, TIME_KINDS, "different time formats") \
    ERR(35, DATE_RANGE, "date starts from 2000 to 2100") \
    ERR(36, REPORTED, nullptr) \
    ERR(37, VALUE_NOT_FOUND, "value not found") \
    ERR(38, KEY_NOT_FOUND, "key not found") \
    ERR(42, PARSE, "parsing error") \
    ERR(43, NOT_IMPLEMENTED, "primitive function not yet implemented") \
    ERR(44, BRANCH_RESTRICTION, "branch restrictions") \
    ERR(45, BRANCH_FORMAT, "branch format error") \
    ERR(46, SYSVAR_NOT_IMPLEMENTED, "system variable not yet implemented") \
    ERR(47, RESULT_REQUIRED, "return value required") \
    ERR(48, CSV_ARGUMENT, "csv argument error") \
    ERR(71, BAD_COMMAND, "incorrect command") \
    ERR(72, CLEAR_NOT_SAVED, "not saved, this is a clear workspace") \
    ERR(73, FILE_NAME_REQUIRED, "must provide a file name") \
    ERR(74, SAVE_UNEXPECTED, "unexpected error while saving") \
    ERR(75, BAD_PATH_OR_NAME, "wrong path or file name") \
    ERR(76, PATH, "path error") \
    ERR(77, WSID_LENGTH, "maximum 20 in workspace name") \
    ERR(78, LIBRARY_REFERENCE, "improper library reference") \
    ERR(80, FUNCTION_NOT_INSERTED, "function required was not inserted into function list!") \
    ERR(81, FUNCTION_NO_LINES, "function with no lines(include head line)") \
    ERR(82, GET_VARIABLE, "get variable error") \
    ERR(83, GET_FUNCTION, "get function error") \
    ERR(84, TABLE_FULL, "one table is full") \
    ERR(85, PATTERN_RIGHT, "pattern error on the right argument") \
    ERR(86, PATTERN_TYPE, "pattern must be char and rank < 2") \
    ERR(99, UNDER_CONSTRUCTION, "under construction") \
    ERR(200, TABLE_COLUMNS_MISMATCH, "Table columns mismatch") \
    ERR(201, TABLE_COLUMNS_NOT_FOUND, "Table columns not found") \
    ERR(202, TABLE_202, nullptr) \
    ERR(203, TABLE_203, nullptr) \
    ERR(204, TABLE_204, nullptr) \
    ERR(205, QUERY_LOAD, nullptr) \
    ERR(206, TABLE_206, nullptr) \
    ERR(300, WRITE_FILE, "writing file error") \
    ERR(301, READ_FILE, "reading file error") \
    ERR(302, WS_VERSION, "workspace version error") \
    ERR(350, TOO_MANY_FILES, "no more than 1000 files opened at the same time") \
    ERR(351, NOT_OPENED, "not opened") \
    ERR(500, NO_FILE, "the file does not exist") \
    ERR(501, ILLEGAL_NAME, "need an legal name") \
    ERR(502, NO_COMMAND, "no such command") \
    ERR(503, EXTRA_ARGUMENTS, "extra arguments found")

enum VekError : int {
    VEK_OK = 0,
#define VEK_ERROR_ENUM(number, name, message) VEK_##name = number,
    VEK_ERRORS(VEK_ERROR_ENUM)
#undef VEK_ERROR_ENUM
};

// Stores the number as the last failure and returns it.
inline int fail(int number) {
    error_number = number;
    return number;
}

// The message of an error number, or null when the number has none.
const char *error_message(int64_t number);
