// The numbered error messages that report_error prints after "Error: ".
#include "errors.h"

struct ErrorText { int number; const char *text; };

static const ErrorText error_texts[] = {
    {1, "domain error"}, {2, "rank error"}, {3, "length error"}, {4, "value error"},
    {5, "stack full"}, {6, "workspace full"}, {7, "type error"},
    {8, "name must start with a letter"}, {9, "glist full"},
    {10, "variable cannot be a function name"}, {11, "<- expected"},
    {12, "function name expected"}, {13, "name expected"},
    {14, "illegal appearance of var/num due to missing function"},
    {15, "function valence not fit"}, {16, "syntax error"}, {17, "left argument missing"},
    {18, "inner prod. can only apply to scalar fns"},
    {19, "illegal appear. if '(' likely due to missing function"},
    {20, "only dyadic function can be in outer product"},
    {21, "unpaired parentheses or brackets"}, {22, "right parenthesis expected"},
    {23, "defn error"}, {24, "[]IO error"}, {25, "index error"}, {26, "structure error"},
    {27, "compiler restriction on, axis and format. premature exit!"},
    {28, "axis specification wrong, may due to []IO=1"}, {29, "right bracket expected"},
    {30, "axis error"}, {31, "error time format"}, {32, "time table is full"},
    {33, "date or time value error"}, {34, "different time formats"},
    {35, "date starts from 2000 to 2100"}, {37, "value not found"}, {38, "key not found"},
    {42, "parsing error"}, {43, "primitive function not yet implemented"},
    {44, "branch restrictions"}, {45, "branch format error"},
    {46, "system variable not yet implemented"}, {47, "return value required"},
    {48, "csv argument error"}, {71, "incorrect command"},
    {72, "not saved, this is a clear workspace"}, {73, "must provide a file name"},
    {74, "unexpected error while saving"}, {75, "wrong path or file name"},
    {76, "path error"}, {77, "maximum 20 in workspace name"},
    {78, "improper library reference"},
    {80, "function required was not inserted into function list!"},
    {81, "function with no lines(include head line)"}, {82, "get variable error"},
    {83, "get function error"}, {84, "one table is full"},
    {85, "pattern error on the right argument"}, {86, "pattern must be char and rank < 2"},
    {99, "under construction"}, {200, "Table columns mismatch"},
    {201, "Table columns not found"}, {300, "writing file error"},
    {301, "reading file error"}, {302, "workspace version error"},
    {350, "no more than 1000 files opened at the same time"}, {351, "not opened"},
    {500, "the file does not exist"}, {501, "need an legal name"},
    {502, "no such command"}, {503, "extra arguments found"},
};

const char *error_message(int64_t number) {
    for (const ErrorText &e : error_texts)
        if (e.number == number) return e.text;
    return nullptr;
}
