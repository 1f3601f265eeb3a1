// Dictionaries, tables, keyed tables and enumerations: round trips through
// the workspace file and scripts, shared columns and copies on write,
// temporaries given back, damaged values refused, and large tables.
#include "interpreter_fixture.h"
#include "core/keyed.h"
#include "core/names.h"
#include "core/session.h"
#include "primitives/keyed.h"
#include "system/commands.h"
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

class KeyedValues : public InterpreterFixture {
protected:
    void SetUp() override {
        InterpreterFixture::SetUp();
        static std::string dir;
        if (dir.empty()) {
            char tmpl[] = "/tmp/vek_keyed_XXXXXX";
            dir = mkdtemp(tmpl);
        }
        snprintf(library_path, sizeof library_path, "%s", dir.c_str());
    }
    static ValueDescriptor *var(const char *name) {
        i64 g = lookup_name(name, 'G');
        return g < 0 ? nullptr : &value_slot_table[global_name_table[g].index];
    }
    static i64 chunk_count() {
        i64 n = 0;
        for (ChunkHeader *c = chunk_list_head ? chunk_list_head->next : nullptr; c; c = c->next) n++;
        return n;
    }
    static std::string show_all();
    static std::string file_text(const char *name) {
        std::ifstream in(std::string(library_path) + "/" + name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

// Every keyed form, shown before and after the trip.
static const char *const forms[] = {
    "dom<-`x`y`z",
    "e<-`dom:`y`z`y",
    "empty<-`dom:0#`x",
    "d<-`a`b`c:(1 2;'text';`s)",
    "n<-(10 20):2.5 3.5",
    "t<-([] s<-e; i<-1 2 3; f<-1.5 2 0n; b<-1 0 1; c<-'abc'; y<-`p`q`r; "
    "dt<-2023.01.02 2023.01.03 2023.01.04; tm<-10:20 10:21 10:22; tx<-('one';'';'three'))",
    "one<-([] a<-5; b<-`z)",
    "none<-([] a<-0#1; b<-0#`a)",
    "kt<-([k<-1 1 2; j<-`a`b`a] v<-10 20 30)",
    "cur<-([c<-`usd`eur] rate<-1 1.1)",
    "ce<-`cur:`eur`usd`eur",
};
static const char *const shown[] = {"e", "empty", "d", "n", "t", "one", "none", "kt", "meta t", "fkeys t",
                                    "ce", "value ce", "value empty"};


std::string KeyedValues::show_all() {
    std::string out;
    for (const char *s : shown) out += std::string(s) + ":\n" + run(s);
    return out;
}

TEST_F(KeyedValues, EveryFormComesBackFromTheWorkspaceFileAndFromAScript) {
    for (const char *f : forms) ASSERT_EQ(run(f), "") << f;
    std::string before = show_all();
    EXPECT_EQ(before.find("Error"), std::string::npos) << before;

    run(")SAVE keyedws");
    run(")CLEAR");
    run(")LOAD keyedws");
    EXPECT_EQ(show_all(), before);

    run(")OUT keyedscript");
    run(")CLEAR");
    run(")FLOAD keyedscript");
    EXPECT_EQ(show_all(), before);
    EXPECT_NE(file_text("keyedscript.vkp").find("&e N 1 3\n`dom\n1 2 1\n&\n"), std::string::npos);
}

TEST_F(KeyedValues, AnEnumerationWhoseDomainIsGoneAfterALoadShowsItsPositions) {
    run("dom<-`x`y`z");
    run("e<-`dom:`z`x");
    run(")SAVE enumws");
    run(")CLEAR");
    run("dom<-1");   // the name is found again after the load, whatever it holds there
    run(")LOAD enumws");
    EXPECT_EQ(run("e"), "`dom:`z `x\n");
    run("dom<-`z");
    EXPECT_EQ(run("e"), "`dom:2 `z\n");      // position 2 is outside the domain now
    EXPECT_EQ(run("value e"), "2 0\n");
    EXPECT_EQ(run("e=`z"), "0 1\n");
}

TEST_F(KeyedValues, DamagedScriptBlocksOfKeyedValuesAreRefused) {
    const char *bad[] = {
        // a table whose column is shorter than its row count
        "&t A 1 3\nS 1 1\n`a\n&\nL 1 1\nI 1 2\n1 2\n&\n&\n&\n",
        // a dictionary of another form
        "&d Y 1 7\nS 1 1\n`a\n&\nL 1 1\nI 0\n1\n&\n&\n&\n",
        // an enumeration without its domain line
        "&e N 1 2\n1 2\n&\n",
        // a table of one half only
        "&t A 1 1\nS 1 1\n`a\n&\n&\n",
    };
    for (const char *text : bad) {
        std::ofstream(std::string(library_path) + "/bad.vkp") << text;
        std::string out = run(")FLOAD bad");
        EXPECT_NE(out.find("get variable error"), std::string::npos) << text << out;
        EXPECT_EQ(run("t"), "Error: value error\n      t\n      ^\n");
    }
}

TEST_F(KeyedValues, ColumnsAreSharedAndCopiedBeforeAWrite) {
    run("a<-!100000");
    run("t<-([] a; b<-a*2)");
    ValueDescriptor *a = var("a");
    const ValueDescriptor *col = &list_items(table_columns(var("t")))[0];
    EXPECT_EQ(col->data, a->data);   // shared, not copied
    run("u<-t");
    run("u[1;`a]<-99");
    run("t[2;`a]<-77");
    EXPECT_EQ(run("a[1 2 3]"), "1 2 3\n");
    EXPECT_EQ(run("t[1 2 3;`a]"), "1 77 3\n");
    EXPECT_EQ(run("u[1 2 3;`a]"), "99 2 3\n");
    run("a[3]<-55");
    EXPECT_EQ(run("t[3;`a]"), "3\n");
    run("t<-0");
    EXPECT_EQ(run("a[1 2 3]"), "1 2 55\n");
}

TEST_F(KeyedValues, TemporaryTablesAreGivenBackAtTheEndOfEachStatement) {
    run("a<-!200000");
    run("kt<-([k<-a] v<-a)");
    run("r<-([] x<-a; y<-a)");
    i64 before = chunk_count();
    for (int i = 0; i < 20; i++) {
        run("#([] x<-a; y<-a+1)");
        run("r<-r,.([] z<-a)");
        run("#kt[10 20 30]");
        run("#(`p`q:(a;a))");
        run("#&.([] x<-a)");
    }
    EXPECT_LE(chunk_count(), before + 8);
}

// A join or row selection builds its result around a fresh column-name
// vector; one that was made and then copied over stayed on the large-block
// list for good, one per call.
TEST_F(KeyedValues, RepeatedJoinsAndSelectionsLeaveNoBlockBehind) {
    run("t<-([] a<-1 2 3; b<-`x`y`z)");
    run("kt<-([k<-`p`q`r] v<-1 2 3)");
    const char *const loop[] = {"u<-t,t", "u<-t[1 2]", "u<-t,(4;`w)", "u<-t,`a`b:(4;`w)",
                                "u<-kt,(`s;4)", "u<-kt[`p`q]", "t,t"};
    for (const char *line : loop) run(line);
    i64 chunks = chunk_count(), used = value_memory_used();
    for (int i = 0; i < 10000; i++)
        for (const char *line : loop) run(line);
    EXPECT_LE(chunk_count(), chunks + 2);
    EXPECT_EQ(value_memory_used(), used);
    EXPECT_EQ(run("u.v"), "1 2\n");
}

// Dictionary arithmetic copies each value into a temporary: a value that
// is a list holding large vectors gave those up only with the workspace.
TEST_F(KeyedValues, DictionaryArithmeticGivesBackTheItemsItCopied) {
    run("d<-`a`b:((!10000;1);(!10000;2))");
    run("e<-`a`b:(!10000;!10000)");
    i64 chunks = chunk_count(), used = value_memory_used();
    for (int i = 0; i < 200; i++) {
        EXPECT_EQ(run("d+1"), "Error: domain error\n      d+1\n       ^\n");
        run("d+d");
        run("u<-e+e");
    }
    run("u<-0");
    EXPECT_LE(chunk_count(), chunks + 2);
    EXPECT_EQ(value_memory_used(), used);
}

TEST_F(KeyedValues, DamagedValuesAreRefusedNotRead) {
    run("t<-([] a<-1 2 3; b<-4 5 6)");
    // a column shorter than the row count, as a damaged file could hold it
    ValueDescriptor *col = &list_items(table_columns(var("t")))[1];
    col->count = col->dim0 = 1;
    EXPECT_EQ(run("t[3]"), "Error: domain error\n      t[3]\n       ^\n");
    EXPECT_EQ(run("t.b"), "Error: domain error\n      t.b\n       ^\n");
    EXPECT_EQ(run("t[1;`a]<-9"), "Error: domain error\n      t[1;`a]<-9\n             ^\n");
    col->count = col->dim0 = 3;
    run("d<-`a`b:1 2");
    pair_half(var("d"), 1)->count = 5;   // more values than keys
    EXPECT_EQ(run("d[`b]"), "Error: domain error\n      d[`b]\n       ^\n");
    EXPECT_EQ(run("d+d"), "Error: domain error\n      d+d\n       ^\n");
    pair_half(var("d"), 1)->count = 2;
}

TEST_F(KeyedValues, LargeTablesSelectLookUpAndJoin) {
    run("[]IO<-0");
    run("n<-300000");
    run("t<-([] a<-!n; k<-1000|!n)");
    run("kt<-([k<-!1000] w<-(!1000)*2)");
    EXPECT_EQ(run("#t[?2|!n]"), "150000\n");
    // dot access reads variables only
    EXPECT_EQ(run("(t[?2|!n]).a"), "Error: domain error\n      (t[?2|!n]).a\n                ^\n");
    run("s<-t[?2|!n]");
    EXPECT_EQ(run("(s.a)[0 1 149999]"), "1 3 299999\n");
    run("j<-t,.kt[t.k]");
    EXPECT_EQ(run("cols j"), "`a `k `w\n");
    EXPECT_EQ(run("j[123456]"), "a| 123456\nk| 456\nw| 912\n");
    run("big<-([k<-$!n] v<-!n)");
    EXPECT_EQ(run("(big[299999 0 5;`v])"), "0 299999 299994\n");
    EXPECT_EQ(run("t!(7;7)"), "7\n");
}
