// The IDE's view of the interpreter: the few entry points and globals the
// windows call. Each comes from its owner's header when that header exists.
#pragma once
#include "core/session.h"
#include "core/tables.h"
#include "core/symbols.h"

#if __has_include("system/scripts.h")
#include "system/scripts.h"
#else
// Runs a list of script lines (head node first) in the workspace; the
// caller frees the list.
int run_lines(TextLine *list, const char *path, i64 longest);
#endif

#if __has_include("system/commands.h")
#include "system/commands.h"
#else
extern char workspace_name[96];
#endif
