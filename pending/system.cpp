// Weak stand-ins for what the system commands use from modules still being
// written; each real definition replaces its stand-in at link time.
#include <cstdio>
#include "core/session.h"
#include "core/tables.h"
#include "core/calls.h"

__attribute__((weak)) i64 suspension_record[SUSPENSION_WORDS];
__attribute__((weak)) i64 suspension_count;
__attribute__((weak)) void clear_state_indicator() { si_depth = -1; }
