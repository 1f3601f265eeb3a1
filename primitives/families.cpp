// The primitive families that exist, in one plain list. A family missing
// here registers nothing, and its codes answer "primitive function not yet
// implemented" through the table of primitives.
#include "prim.h"

void register_evaluator_primitives();   // core: the no-operation code
void register_scalar_primitives();
void register_logical_primitives();
void register_execute_primitives();
void register_interim_primitives();

struct Family { PrimFamily family; void (*reg)(); };

static const Family families[] = {
    {FAM_EVALUATOR, register_evaluator_primitives},
    {FAM_SCALAR, register_scalar_primitives},
    {FAM_LOGICAL, register_logical_primitives},
    {FAM_EXECUTE, register_execute_primitives},
    {FAM_NONE, register_interim_primitives},
};

void register_all_primitives() {
    for (const Family &f : families) {
        begin_family_registration(f.family);
        f.reg();
    }
    begin_family_registration(FAM_NONE);
}
