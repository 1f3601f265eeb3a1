// Start-up: the core calls upward only through hooks, set here.
#include "startup.h"
#include "core/dispatch.h"
#include "core/session.h"
#include "primitives/prim.h"

void start_interpreter() {
    register_families = register_all_primitives;
    init_interpreter();
}
