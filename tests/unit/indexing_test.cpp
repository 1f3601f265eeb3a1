// Bracket indexing and indexed assignment where the transcripts cannot
// see: lists of rank 2, blocks written in place, and blocks shared with
// other variables.
#include "shaped_fixture.h"

// A general list is indexed only as a vector, and only by a scalar or a
// vector (no structural primitive makes a list of rank 2).
TEST_F(ShapedFixture, GeneralListsIndexedOnlyAsVectors) {
    run("k<-(1;2;3;4)");
    shape_as("k", {2, 2});
    EXPECT_EQ(run("k[1;1]"), "Error: domain error\n      k[1;1]\n       ^\n");
    EXPECT_EQ(run("(1;2)[2 2#1 2 2 1]"), "Error: domain error\n      (1;2)[2 2#1 2 2 1]\n           ^\n");
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
