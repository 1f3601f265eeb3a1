// The whole-array tolerant equality the operators use must
// agree with the item test floats_equal_tol, infinities included.
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include "core/valueops.h"
#include "primitives/scalar.h"

TEST(ScalarKernelsTolerance, TolerantEqualityMatchesTheItemTest)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double x[] = {inf, -inf, inf, 1e308, 1.0, 0.0, nan, 1.0};
    const double y[] = {inf, -inf, -inf, inf, 1.0 + 1e-14, 1e-14, nan, 1.0 + 1e-12};
    const i64 n = sizeof x / sizeof x[0];
    i64 eq[n], ne[n];
    ASSERT_EQ(float_compare_array(21, n, eq, x, 0, y, 0, 1), 0);
    ASSERT_EQ(float_compare_array(20, n, ne, x, 0, y, 0, 1), 0);
    for (i64 i = 0; i < n; i++) {
        EXPECT_EQ(eq[i], floats_equal_tol(x[i], y[i]) ? 1 : 0) << "item " << i;
        EXPECT_EQ(ne[i], 1 - eq[i]) << "item " << i;
    }
    // A repeated item takes the same test.
    i64 one;
    ASSERT_EQ(float_compare_array(21, 1, &one, &x[0], 1, &y[0], 1, 1), 0);
    EXPECT_EQ(one, 1);
}
