// Weak stand-ins for functions the session and the clear call in modules
// still being written; each real definition replaces its stand-in.
#include <cstdio>
#include "core/session.h"
#include "core/tables.h"
#include "core/evaluator.h"
#include "core/calls.h"

__attribute__((weak)) int execute_flag = 0;

__attribute__((weak)) int parse_and_run_text(const char *, i64, i64, i64, int, i64, i64 *error_pos, int) {
    if (error_pos && *error_pos < 0) *error_pos = 0;
    return (int)(error_number = 43);
}

__attribute__((weak)) void save_evaluator_state(EvaluatorState *s) {
    s->stacktop = 0;
    s->error_number = error_number;
    s->error_position = error_position;
}

__attribute__((weak)) void restore_evaluator_state(const EvaluatorState *s, int keep_error) {
    if (!keep_error) {
        error_number = s->error_number;
        error_position = s->error_position;
    }
}

__attribute__((weak)) void pop_frames_above(i64 new_depth) {
    si_depth = new_depth < -1 ? -1 : new_depth;
}

__attribute__((weak)) void mark_suspension_record_empty() {}

__attribute__((weak)) void reset_state_indicator() {
    si_depth = -1;
}
