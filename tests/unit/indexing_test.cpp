// Bracket indexing and indexed assignment of values of rank 2 and more.
// Variables are given their shape directly, so these cases need no other
// structural primitive.
#include "interpreter_fixture.h"
#include "core/names.h"

class IndexingTest : public InterpreterFixture {
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
        if (dims.size() > 2) ASSERT_EQ(shape_pool_append(dims.data() + 1, (i64)dims.size() - 1, &d->dim1), 0);
    }
};

// m is 2 by 3 (1..6), t is 2 by 3 by 4 (1..24).
class IndexedValues : public IndexingTest {
protected:
    void SetUp() override {
        IndexingTest::SetUp();
        run("m<-!6");
        shape_as("m", {2, 3});
        run("t<-!24");
        shape_as("t", {2, 3, 4});
    }
};

TEST_F(IndexedValues, MatrixRowsColumnsAndItems) {
    EXPECT_EQ(run("m[2;]"), "4 5 6\n");
    EXPECT_EQ(run("#m[2;]"), "3\n");
    EXPECT_EQ(run("m[;2]"), "2 5\n");
    EXPECT_EQ(run("m[2 1;]"), "4 5 6\n1 2 3\n");
    EXPECT_EQ(run("m[1;3]"), "3\n");
    EXPECT_EQ(run("#m[1;3]"), "\n");
    EXPECT_EQ(run("m[;]"), "1 2 3\n4 5 6\n");
    // a one-item vector keeps its axis
    EXPECT_EQ(run("#m[!1;3]"), "1\n");
    EXPECT_EQ(run("#m[!1;]"), "1 3\n");
}

TEST_F(IndexedValues, IndexShapesJoinInAxisOrder) {
    run("i<-!4");
    shape_as("i", {2, 2});
    // a vector by a matrix of indexes, a matrix by a matrix of rows
    EXPECT_EQ(run("(10*!5)[i]"), "10 20\n30 40\n");
    run("r<-1 2 2 1");
    shape_as("r", {2, 2});
    EXPECT_EQ(run("#m[r;2 3]"), "2 2 2\n");
    EXPECT_EQ(run("m[r;3]"), "3 6\n6 3\n");
}

TEST_F(IndexedValues, RankThreeWithElidedAxes) {
    EXPECT_EQ(run("t[2;;4]"), "16 20 24\n");
    EXPECT_EQ(run("t[;2;]"), " 5  6  7  8\n17 18 19 20\n");
    EXPECT_EQ(run("t[2 1;3;1 2]"), "21 22\n 9 10\n");
    EXPECT_EQ(run("#t[;;]"), "2 3 4\n");
    EXPECT_EQ(run("t[1;1;1]"), "1\n");
    EXPECT_EQ(run("#t[;3 3 3;2]"), "2 3\n");
    EXPECT_EQ(run("t[;3 3 3;2]"), "10 10 10\n22 22 22\n");
}

TEST_F(IndexedValues, RepeatedAndEmptyIndexes) {
    EXPECT_EQ(run("m[2 2;1 1]"), "4 4\n4 4\n");
    EXPECT_EQ(run("#m[!0;]"), "0 3\n");
    EXPECT_EQ(run("#t[;!0;1]"), "2 0\n");
    EXPECT_EQ(run("#m[!0;!0]"), "0 0\n");
}

TEST_F(IndexedValues, OriginZero) {
    run("[]IO<-0");
    EXPECT_EQ(run("m[1;0]"), "4\n");
    EXPECT_EQ(run("t[1;2;3]"), "24\n");
    EXPECT_EQ(run("m[;0 2]"), "1 3\n4 6\n");
    EXPECT_EQ(run("m[2;0]"), "Error: index error\n      m[2;0]\n       ^\n");
}

TEST_F(IndexedValues, Errors) {
    EXPECT_EQ(run("m[1]"), "Error: rank error\n      m[1]\n       ^\n");
    EXPECT_EQ(run("t[1;1]"), "Error: rank error\n      t[1;1]\n       ^\n");
    EXPECT_EQ(run("m[3;1]"), "Error: index error\n      m[3;1]\n       ^\n");
    EXPECT_EQ(run("m[1;4]"), "Error: index error\n      m[1;4]\n       ^\n");
    EXPECT_EQ(run("t[1;1;0]"), "Error: index error\n      t[1;1;0]\n       ^\n");
    EXPECT_EQ(run("m[1;1.5]"), "Error: domain error\n      m[1;1.5]\n       ^\n");
    EXPECT_EQ(run("m[1;q]"), "Error: value error\n      m[1;q]\n       ^\n");
    // a list of index lists only indexes a vector
    run("i<-(1;2)");
    EXPECT_EQ(run("m[i;1]"), "Error: domain error\n      m[i;1]\n       ^\n");
}

TEST_F(IndexedValues, CharMatrixAndFloatsDemoted) {
    run("c<-'abcdef'");
    shape_as("c", {2, 3});
    EXPECT_EQ(run("c[;3 1]"), "ca\nfd\n");
    run("f<-1.0 2.5 3.0 4.0");
    shape_as("f", {2, 2});
    EXPECT_EQ(run("f[;1]"), "1 3\n");
    EXPECT_EQ(run("f[1;]"), "1 2.5\n");
}

// A general list of rank 2 is not indexed, nor is a list indexed by a matrix.
TEST_F(IndexedValues, GeneralListsOnlyAsVectors) {
    run("l<-(1;2;3;4)");
    run("k<-(1;2;3;4)");
    shape_as("k", {2, 2});
    EXPECT_EQ(run("k[1;1]"), "Error: domain error\n      k[1;1]\n       ^\n");
    run("i<-1 2 2 1");
    shape_as("i", {2, 2});
    EXPECT_EQ(run("l[i]"), "Error: domain error\n      l[i]\n       ^\n");
}
