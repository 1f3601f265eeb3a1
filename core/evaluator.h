// The evaluator: runs compiled statements (parse nodes and application
// entries), dispatches primitives by prim_code, performs assignment and
// decides whether a statement's value is displayed.
#pragma once
#include "value.h"

// What the last text run through the function path left:
// 0 nothing, 1 a value in a slot, 2 a constant; -1 while a statement runs.
extern i64 executed_value_state;
// The temporaries counter of the statement now running (17 = none taken).
extern i64 eval_temp_counter;
// Root of the statement now being applied (the display decision reads it).
extern i64 current_root_node;

// Runs one immediate statement. Returns 0 or an error number; on failure
// *fail_pos (when given) receives the failing node's text position.
int run_statement(i64 root, i64 start, i64 *fail_pos);

// Walks the statement whose root is `root`. temps: the caller's temporaries
// counter (17 at the top of a statement); io_slot: the slot of the []IO in
// force. The statement's value comes back as an operand reference
// (*rc >= 0 constant, else slot *rv); rank -1 / no value when the statement
// had none. On failure *fail_node (when given) is the failing node.
int evaluate_tree(i64 root, i64 start, i64 temps, i64 mode, i64 io_slot,
                  i64 *rc, i64 *rv, i64 *fail_node);

// Called as every walk ends; does nothing yet.
void evaluator_end_hook();

// The display rule applied to a statement's value: shows it unless the root
// is an assignment, a result-less defined call or an execute that produced
// nothing. Returns 0 or an error number.
int display_statement_value(i64 root, i64 c, i64 v);

// Compiles `text` statement by statement. immediate: runs each at once and
// stops at the first failure (error_position set, error number returned).
// Otherwise, with row >= 0, each statement is appended to line col of
// function row. Returns 0 or an error number.
int parse_and_run_text(const char *text, i64 length, i64 row, i64 col, int flag,
                       i64 context, i64 *error_pos, int immediate);

// Runs the statements of a text through the function path (execute, query
// bridge). On success *rc/*rv name the last statement's value and
// executed_value_state says whether there is one (0 none, 1 slot, 2 constant).
// Returns 0 or an error number.
int execute_text_as_function(const char *text, i64 length, i64 io_slot, i64 *rc, i64 *rv);

// Runs a text as execute does and copies its last value, if it has one,
// into `result`; executed_value_state says whether it had. Texts that run
// texts again (execute, the query bridge) nest at most SI_CAP deep (5).
// Returns 0 or an error number.
int execute_text_into(i64 result, const char *text, i64 length, i64 io_slot);

// Assignment of operand (c, v) to the name bound to value slot `slot`,
// with the checks of the system variables and the display of the output
// slots. Returns 0 or an error number.
int assign_name(i64 slot, i64 c, i64 v);

// Runs one primitive into result as the walk does: dispatch, the
// temporaries it took kept, the scratch list emptied after a success.
int apply_primitive(i64 code, i64 result, i64 lc, i64 lv, i64 rc, i64 rv);

// Takes the next evaluator temporary (23480 ..), 1 past 25479.
int take_temporary(i64 *counter, i64 *slot);
// Gives up the temporaries above `from` with every block they hold (lists
// on the stack end with their items): the stack end is about to be lowered
// below them.
void release_temporaries_above(i64 from);
// Whether a temporary above `from` was taken since the last release.
extern i64 temporaries_high;
inline bool temporaries_taken_above(i64 from) { return temporaries_high > from; }

// Multi-operand frames (bracket index lists, strands) on the shape pool's
// word stack above nxtglx. A frame holds `count` operand references.
int push_operand_frame(i64 count, const i64 *cs, const i64 *vs, i64 *frame);
void pop_operand_frame(i64 frame);

// State a nested run of the statement runner saves and restores.
struct EvaluatorState {
    i64 stacktop, temps, error_number, error_position, executed_value_state;
    i64 nxtglx, root;
};
void save_evaluator_state(EvaluatorState *s);
// restore_error non-zero also puts back error_number and error_position.
void restore_evaluator_state(const EvaluatorState *s, int restore_error);

// Clears the compiled mark of every user function that is not active on
// the state indicator.
void clear_compiled_marks();
// Functions compiled by earlier lines are kept for the lines after (see
// evaluator.cpp). Drop gives their table entries back (between lines only);
// forget is for a clear, which empties the tables itself.
void drop_kept_compilations();
void forget_kept_compilations();
