// Bracket indexing and indexed assignment of values of rank 2 and more.
// Variables are given their shape directly, so these cases need no other
// structural primitive.
#include "shaped_fixture.h"

// m is 2 by 3 (1..6), t is 2 by 3 by 4 (1..24).
class IndexedValues : public ShapedFixture {
protected:
    void SetUp() override {
        ShapedFixture::SetUp();
        run("m<-!6");
        shape_as("m", {2, 3});
        run("t<-!24");
        shape_as("t", {2, 3, 4});
    }
};

// Index shapes join in axis order: a scalar index drops its axis, a
// one-item vector keeps it, an elided list takes the whole axis.
TEST_F(IndexedValues, ShapesOfTheSelection) {
    EXPECT_EQ(run("m[2;]"), "4 5 6\n");
    EXPECT_EQ(run("m[2 1;2]"), "5 2\n");
    EXPECT_EQ(run("#m[1;3]"), "\n");
    EXPECT_EQ(run("#m[!1;]"), "1 3\n");
    EXPECT_EQ(run("t[2 1;3;1 2]"), "21 22\n 9 10\n");
    EXPECT_EQ(run("t[;3 3;2]"), "10 10\n22 22\n");
    EXPECT_EQ(run("#t[;;]"), "2 3 4\n");
    EXPECT_EQ(run("#t[;!0;1]"), "2 0\n");
    run("r<-1 2 2 1");
    shape_as("r", {2, 2});
    EXPECT_EQ(run("(10*!5)[r]"), "10 20\n20 10\n");
    EXPECT_EQ(run("#m[r;2 3]"), "2 2 2\n");
    run("[]IO<-0");
    EXPECT_EQ(run("t[1;2;3]"), "24\n");
    EXPECT_EQ(run("m[;0 2]"), "1 3\n4 6\n");
}

TEST_F(IndexedValues, CharMatrixAndFloatsDemoted) {
    run("c<-'abcdef'");
    shape_as("c", {2, 3});
    EXPECT_EQ(run("c[;3 1]"), "ca\nfd\n");
    run("f<-1.0 2.5 3.0 4.0");
    shape_as("f", {2, 2});
    EXPECT_EQ(run("f[;1]"), "1 3\n");
}

// A list of index lists indexes only a vector; a general list is indexed
// only as a vector, by a scalar or a vector.
TEST_F(IndexedValues, Errors) {
    EXPECT_EQ(run("t[1;1]"), "Error: rank error\n      t[1;1]\n       ^\n");
    EXPECT_EQ(run("m[1;4]"), "Error: index error\n      m[1;4]\n       ^\n");
    EXPECT_EQ(run("t[1;1;0]"), "Error: index error\n      t[1;1;0]\n       ^\n");
    EXPECT_EQ(run("m[1;q]"), "Error: value error\n      m[1;q]\n       ^\n");
    run("i<-(1;2)");
    EXPECT_EQ(run("m[i;1]"), "Error: domain error\n      m[i;1]\n       ^\n");
    run("k<-(1;2;3;4)");
    shape_as("k", {2, 2});
    EXPECT_EQ(run("k[1;1]"), "Error: domain error\n      k[1;1]\n       ^\n");
    run("r<-1 2 2 1");
    shape_as("r", {2, 2});
    EXPECT_EQ(run("(1;2)[r]"), "Error: domain error\n      (1;2)[r]\n           ^\n");
}

// ---- Indexed assignment ----------------------------------------------------------------

TEST_F(IndexedValues, MatrixRowsColumnsAndItemsAssigned) {
    run("m[2;]<-7");
    EXPECT_EQ(run("m"), "1 2 3\n7 7 7\n");
    run("m[;1 3]<-10 20 30 40");
    EXPECT_EQ(run("m"), "10 2 20\n30 7 40\n");
    run("m[2 2;3]<-5 6");
    EXPECT_EQ(run("m[2;3]"), "6\n");
    run("m[1;2]<-0.5");
    EXPECT_EQ(run("m"), "10 0.5 20\n30 7    6\n");
    EXPECT_EQ(run("#m"), "2 3\n");
    EXPECT_EQ(run(":m"), "2\n");
}

TEST_F(IndexedValues, RankThreeAssignedAlongElidedAxes) {
    run("t[2;;4]<-0");
    EXPECT_EQ(run("t[2;;]"), "13 14 15 0\n17 18 19 0\n21 22 23 0\n");
    run("t[;1;1]<-100 200");
    EXPECT_EQ(run("t[;1;1]"), "100 200\n");
    run("t[1;2 3;2 3]<-1 2 3 4");
    EXPECT_EQ(run("t[1;;]"), "100 2 3  4\n  5 1 2  8\n  9 3 4 12\n");
    EXPECT_EQ(run("#t"), "2 3 4\n");
    run("[]IO<-0");
    run("t[1;2;3]<-9");
    EXPECT_EQ(run("t[1;2;]"), "21 22 23 9\n");
}

TEST_F(IndexedValues, AssignmentErrorsLeaveTheMatrix) {
    EXPECT_EQ(run("m[1]<-0"), "Error: rank error\n      m[1]<-0\n          ^\n");
    EXPECT_EQ(run("m[3;1]<-0.5"), "Error: index error\n      m[3;1]<-0.5\n            ^\n");
    EXPECT_EQ(run("m[1;1 2]<-1 2 3"), "Error: length error\n      m[1;1 2]<-1 2 3\n              ^\n");
    EXPECT_EQ(run("t[;;5]<-0"), "Error: index error\n      t[;;5]<-0\n            ^\n");
    EXPECT_EQ(run("m"), "1 2 3\n4 5 6\n");
    EXPECT_EQ(run(":m"), "1\n");
}

// A block no one else holds is written where it is, whatever its size; a
// shared one is copied first and the other holder keeps the old items.
class LargeValues : public ShapedFixture {
protected:
    static ValueDescriptor *var(const char *name) {
        i64 g = lookup_name(name, 'G');
        return g < 0 ? nullptr : &value_slot_table[global_name_table[g].index];
    }
};

TEST_F(LargeValues, WrittenInPlaceUnlessShared) {
    run("a<-!1000000");
    void *block = var("a")->data;
    for (int i = 1; i <= 1000; i++) run(("a[" + std::to_string(i) + "]<-" + std::to_string(i - 1)).c_str());
    EXPECT_EQ(var("a")->data, block) << "assignments into an unshared block never copy";
    EXPECT_EQ(run("a[1000 1001]"), "999 1001\n");
    // a function's argument shares the caller's block until its first write
    run("{fill: i<-0; while (i<#x) { x[i+1]<--i; i<-i+1 }; x}");
    EXPECT_EQ(run("(fill !5)[1 5]"), "0 _4\n");
    run("s<-!20000");
    EXPECT_EQ(run("r<-fill s"), "");
    EXPECT_EQ(run("r[20000]"), "_19999\n");
    EXPECT_EQ(run("s[20000]"), "20000\n");

    run("b<-a");
    run("b[1]<-42");
    EXPECT_EQ(run("a[1]"), "0\n");
    EXPECT_EQ(run("b[1]"), "42\n");
    EXPECT_EQ(var("a")->data, block);
    run("c<-a");
    run("a[2]<-2.5");   // widening a shared block leaves the other holder too
    EXPECT_EQ(run("c[2]"), "1\n");
    EXPECT_EQ(run(":c"), "1\n");
    EXPECT_EQ(run("a[1 2]"), "0 2.5\n");
}

TEST_F(LargeValues, LocalsOfASuspendedFunctionKeepTheirItems) {
    run("big<-!100000");
    run("{keep: v<-x; 1+'a'}");
    run("keep big");
    run("big[1]<-7");
    EXPECT_EQ(run("v[1 2]"), "1 2\n");
    run("v[2]<-0");
    EXPECT_EQ(run("big[1 2]"), "7 2\n");
    EXPECT_EQ(run("x[1 2]"), "1 2\n");
}

TEST_F(LargeValues, WideningToComplexKeepsTheItems) {
    run("a<-!100000");
    run("a[3]<-1j1");
    EXPECT_EQ(run("a[1 2 3 100000]"), "1 2 1j1 100000\n");
    run("f<-1.5 2.5");
    run("f[1]<-0j1");
    EXPECT_EQ(run("f"), "0j1 2.5\n");
}
