// Values of any rank for tests that run before every structural primitive
// exists: a variable is given its shape directly.
#pragma once
#include "interpreter_fixture.h"
#include "core/names.h"

class ShapedFixture : public InterpreterFixture {
protected:
    // Gives the variable `name` (holding as many items as the dimensions
    // multiply to) the shape dims.
    static void shape_as(const char *name, std::vector<i64> dims) {
        i64 g = lookup_name(name, 'G');
        ASSERT_GE(g, 0) << name;
        ValueDescriptor *d = &value_slot_table[global_name_table[g].index];
        i64 n = 1;
        for (i64 x : dims) n *= x;
        ASSERT_EQ(d->count, n) << name;
        d->rank = (i64)dims.size();
        d->dim0 = dims[0];
        if (dims.size() == 2) d->dim1 = dims[1];
        if (dims.size() > 2) {
            ASSERT_EQ(shape_pool_append(dims.data() + 1, (i64)dims.size() - 1, &d->dim1), 0);
        }
    }
};
