// The start workspace of the fuzz targets (tests/fuzz/start_workspace.h):
// whatever an input did, what the next input finds is the workspace as it
// was taken, by the cheap road when the input changed only values, names
// and symbols, by the file otherwise.
#include "interpreter_fixture.h"
#include "core/calls.h"
#include "tests/fuzz/start_workspace.h"

class StartWorkspaceTest : public ScratchDirFixture {
protected:
    StartWorkspace w;
    void SetUp() override {
        ScratchDirFixture::SetUp();
        snprintf(library_path, sizeof library_path, "%s", dir.c_str());
        run("t<-([] a<-1 2 3; b<-`x`y`z)");
        run("kt<-([k<-`p`q] v<-1 2)");
        run("dom<-`x`y`z");
        run("r<-do 'EXEC a FROM t'");
        ASSERT_EQ(1, query_layer_loaded);
        save_start_workspace(&w, dir + "/start.vek");
    }
    void TearDown() override {
        ScratchDirFixture::TearDown();
        library_path[0] = 0;
    }
    // The workspace as the start left it, seen from the session.
    void expect_start() {
        EXPECT_EQ("a b\n---\n1 x\n2 y\n3 z\n", run("t"));
        EXPECT_EQ("2\n", run("kt[`q;`v]"));
        EXPECT_EQ("1 2 3\n", run("r"));
        EXPECT_EQ("0\n", run("[]IO"));
        EXPECT_EQ("", run(")si"));
        EXPECT_EQ("Error: value error\n      extra\n      ^\n", run("extra"));
        EXPECT_EQ("Error: value error\n      made\n      ^\n", run("made"));
        EXPECT_EQ("2 3\n", run("do 'EXEC a FROM t WHERE a>1'"));
    }
};

TEST_F(StartWorkspaceTest, ValuesNamesSymbolsAndSuspendedCallsGoTheCheapRoad) {
    i64 names = lstgx, symbols = symbol_table.last;
    for (int round = 0; round < 3; round++) {
        run("do 'LOAD TABLE t ([] z<-`brand`new)'");          // redefines a table
        run("do 'CREATE TABLE made (a; ''I''; )'");           // makes one
        run("do 'INSERT INTO made (7)'");
        run("kt[`q;`v]<-9");
        run("extra<-`another`symbol");
        run("[]IO<-1");
        run("do 'SELECT nothere FROM t'");                     // leaves the layer suspended
        release_slot(global_name_table[lookup_name("dom", 'G')].index);   // a table gone
        value_slot_table[global_name_table[lookup_name("dom", 'G')].index].rank = -1;
        restore_start_workspace(&w);
        EXPECT_EQ(0, w.loads);
        EXPECT_EQ(names, lstgx);
        EXPECT_EQ(symbols, symbol_table.last);
        EXPECT_EQ("`x `y `z\n", run("dom"));
        expect_start();
        restore_start_workspace(&w);
    }
}

TEST_F(StartWorkspaceTest, ADefinedFunctionBringsTheFileBack) {
    run("{f: x+1}");
    run("[]IO<-1");
    restore_start_workspace(&w);
    EXPECT_EQ(1, w.loads);
    EXPECT_LT(lookup_name("f", 'G'), 0);
    expect_start();
    // and the cheap road serves again afterwards
    restore_start_workspace(&w);
    run("extra<-1");
    restore_start_workspace(&w);
    EXPECT_EQ(1, w.loads);
    expect_start();
}
