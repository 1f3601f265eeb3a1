// Execute, match and the clock.
//
// Ledger
// - execute (!. y): y a char vector or a symbol scalar; a // comment is
//   cut, its statements run through the function path and the value of
//   the last one is the result, copied (none after an assignment). Empty
//   text: no value.
//   Refuses: other types or rank above 1 (1), a symbol vector (2), text
//   that executes itself deeper than the state indicator (5).
// - match (x ~ y): 1 when x and y have the same type, shape and items, at
//   any depth; never fails on a defined pair of values.
// - []TS: the local date and time now as a datetime scalar, to the
//   millisecond. Refuses: a clock that cannot be read or that stands
//   outside the years 1900 to 2100 (33).
#include "prim.h"
#include "core/timecode.h"
#include "platform/platform.h"
#include "core/evaluator.h"
#include "core/lexer.h"
#include "core/symbols.h"
#include "core/tables.h"
#include "core/valueops.h"
#include <cstring>
#include <vector>

static int prim_execute(i64, i64 result, i64, i64, i64 rc, i64 rv) {
    Operand y;
    if (read_operand(&y, rc, rv)) return VEK_VALUE;
    if ((y.type != T_CHAR && y.type != T_SYMBOL) || y.rank > 1) return fail(VEK_DOMAIN);
    if (y.count == 0) {
        executed_value_state = 0;
        return 0;
    }
    if (y.type == T_SYMBOL && y.count != 1) return fail(VEK_RANK);
    i64 n = y.count;
    const char *src = y.chars();
    if (y.type == T_SYMBOL) {
        src = symbol_text(y.ints()[0]);
        n = (i64)strlen(src);
    }
    // The executed statements free the scratch list and may move the arena:
    // the text is our own copy.
    std::vector<char> text(src, src + n);
    text.push_back(0);
    n = strip_comment_crlf(text.data());
    return execute_text_into(result, text.data(), n, current_io_slot);
}

static int prim_match(i64, i64 result, i64 lc, i64 lv, i64 rc, i64 rv) {
    Operand x, y;
    if (read_operand(&x, lc, lv) || read_operand(&y, rc, rv)) return VEK_VALUE;
    return result_int(result, T_BOOL, values_match(x.desc(), y.desc()) ? 1 : 0);
}

static int sysfn_now(i64, i64 result, i64, i64, i64, i64) {
    int64_t f[7];
    i64 fields[7];
    if (!platform_local_time(f)) return fail(VEK_TIME_VALUE);
    for (int k = 0; k < 7; k++) fields[k] = f[k];
    if (!time_value_is_valid(T_DATETIME, fields)) return fail(VEK_TIME_VALUE);
    Result z;
    Shape scalar;
    if (begin_result(&z, result, T_DATETIME, scalar)) return (int)error_number;
    z.floats()[0] = join_datetime_value(fields);
    return 0;
}

void register_execute_primitives() {
    register_primitive(P_EXECUTE, 1, prim_execute);
    register_primitive(P_MATCH, 2, prim_match);
    register_primitive(SF_TS, 1, sysfn_now);
}
