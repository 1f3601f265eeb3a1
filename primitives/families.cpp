// The primitive families that exist, in one plain list. A family missing
// here registers nothing, and its codes answer "primitive function not yet
// implemented" through the table of primitives.
//
// A family is a registration function and one entry in the list below.
// Later registrations replace earlier ones.
#include "prim.h"

void register_evaluator_primitives();   // core: the no-operation code
void register_scalar_primitives();
void register_logical_primitives();
void register_execute_primitives();
void register_reduce_primitives();
void register_products_primitives();
void register_structural_primitives();
void register_index_primitives();
void register_shape_primitives();
void register_search_primitives();
void register_grade_primitives();
void register_encode_primitives();
void register_random_primitives();
void register_format_primitives();
void register_group_primitives();
void register_dict_primitives();
void register_table_primitives();
void register_time_primitives();
void register_query_primitives();
void register_files_primitives();

struct Family { PrimFamily family; void (*reg)(); };

static const Family families[] = {
    {FAM_EVALUATOR, register_evaluator_primitives},
    {FAM_SCALAR, register_scalar_primitives},
    {FAM_LOGICAL, register_logical_primitives},
    {FAM_EXECUTE, register_execute_primitives},
    {FAM_REDUCE, register_reduce_primitives},
    {FAM_PRODUCTS, register_products_primitives},
    {FAM_STRUCTURAL, register_structural_primitives},
    {FAM_INDEX, register_index_primitives},
    {FAM_SHAPE, register_shape_primitives},
    {FAM_SEARCH, register_search_primitives},
    {FAM_GRADE, register_grade_primitives},
    {FAM_ENCODE, register_encode_primitives},
    {FAM_RANDOM, register_random_primitives},
    {FAM_FORMAT, register_format_primitives},
    {FAM_GROUP, register_group_primitives},
    {FAM_DICT, register_dict_primitives},
    {FAM_TABLE, register_table_primitives},
    {FAM_TIME, register_time_primitives},
    {FAM_QUERY, register_query_primitives},
    {FAM_FILES, register_files_primitives},
};

void register_all_primitives() {
    for (const Family &f : families) {
        begin_family_registration(f.family);
        f.reg();
    }
    begin_family_registration(FAM_NONE);
}
