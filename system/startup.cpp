// Start-up: the core and the primitives call upward only through hooks,
// set here.
#include "startup.h"
#include "core/dispatch.h"
#include "core/session.h"
#include "primitives/prim.h"
#include "primitives/query.h"
#include "system/commands.h"
#include "system/scripts.h"

void start_interpreter() {
    register_families = register_all_primitives;
    system_command_hook = system_command;
    load_query_script_hook = load_query_script;
    init_interpreter();
}
