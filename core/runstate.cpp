// The running line's state.
#include "runstate.h"

int immediate_depth = 0;
int execute_flag = 0;
int64_t pending_si_entries = 0;
int64_t line_start_clock = 0;

bool state_indicator_may_shift() { return immediate_depth == 1; }
