// Start-up: the core calls upward only through hooks, set here.
#include "startup.h"
#include "core/dispatch.h"
#include "core/session.h"
#include "primitives/prim.h"
#include "system/commands.h"

void start_interpreter() {
    register_families = register_all_primitives;
    system_command_hook = system_command;
    init_interpreter();
}
