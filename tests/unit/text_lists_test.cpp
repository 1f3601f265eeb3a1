// Lists of texts kept with their characters in their own block: shared by
// assignment, column access and copies of tables, copied before any write
// so that the other holder never changes, gathered in one block by row
// selection, and given back whole.
#include "interpreter_fixture.h"
#include "core/keyed.h"
#include "core/names.h"
#include "core/text_lists.h"
#include "primitives/keyed.h"

class TextLists : public ScratchDirFixture {
protected:
    std::string saved_library;
    void SetUp() override {
        ScratchDirFixture::SetUp();
        saved_library = library_path;
        snprintf(library_path, sizeof library_path, "%s", dir.c_str());
        run("[]IO<-0");
        // 3000 texts of 1 to 6 characters: the list is a large block
        run("x<-(1+6|!3000)\"^.<.'abcdefgh'");
    }
    void TearDown() override {
        snprintf(library_path, sizeof library_path, "%s", saved_library.c_str());
        ScratchDirFixture::TearDown();
    }
    static ValueDescriptor *var(const char *name) {
        i64 g = lookup_name(name, 'G');
        return g < 0 ? nullptr : &value_slot_table[global_name_table[g].index];
    }
    static ValueDescriptor *column(const char *table, i64 k) { return &list_items(table_columns(var(table)))[k]; }
    static i64 chunk_count() {
        i64 n = 0;
        for (ChunkHeader *c = chunk_list_head ? chunk_list_head->next : nullptr; c; c = c->next) n++;
        return n;
    }
};

TEST_F(TextLists, AssignmentSharesTheListAndAWriteCopiesItFirst) {
    ASSERT_TRUE(holds_own_texts(var("x")));
    run("y<-x");
    EXPECT_EQ(var("y")->data, var("x")->data);
    EXPECT_EQ(run("y[5 6]"), "<abcdef\n<a\n");
    run("x[5]<-<.'zz'");
    EXPECT_NE(var("y")->data, var("x")->data);
    EXPECT_EQ(run("x[5 6]"), "<zz\n<a\n");
    EXPECT_EQ(run("y[5 6]"), "<abcdef\n<a\n");
    // an item that is not a text makes the list an ordinary one; the copy
    // that shares the old block stays as it was
    run("z<-x");
    run("x[6]<-<.1 2 3");
    EXPECT_FALSE(holds_own_texts(var("x")));
    EXPECT_EQ(run("x[6]"), "1 2 3\n");
    EXPECT_EQ(run("z[5 6]"), "<zz\n<a\n");
    // the same list on both sides of its own assignment
    run("x<-y");
    run("x[0 1]<-x[7 8]");
    EXPECT_EQ(run("x[0 1 7]"), "<ab\n<abc\n<ab\n");
    EXPECT_EQ(run("y[0 1]"), "<a\n<ab\n");
}

TEST_F(TextLists, TablesShareTheTextColumnAndEveryWriteLeavesTheOtherHolderAlone) {
    run("t<-([] a<-!3000; s<-x)");
    run("u<-t");
    run("c<-t.s");
    run("k<-t[;`s]");
    EXPECT_EQ(column("u", 1)->data, column("t", 1)->data);
    EXPECT_EQ(var("c")->data, column("t", 1)->data);
    EXPECT_EQ(var("k")->data, column("t", 1)->data);
    // indexed assignment into the table's column
    run("t[5;`s]<-<.'qq'");
    EXPECT_EQ(run("t[5]"), "a| 5\ns| 'qq'\n");
    EXPECT_EQ(run("u[5]"), "a| 5\ns| 'abcdef'\n");
    EXPECT_EQ(run("c[5]"), "abcdef\n");
    // a row written whole, and several cells from a list of texts
    run("u[1 2;`s]<-('one';'two')");
    run("u[3]<-`a`s:(30;'three')");
    EXPECT_EQ(run("u[1 2 3;`s]"), "<one\n<two\n<three\n");
    EXPECT_EQ(run("t[1 2 3;`s]"), "<ab\n<abc\n<abcd\n");
    EXPECT_EQ(run("k[1 2 3]"), "<ab\n<abc\n<abcd\n");
    // a write into the column read out of the table
    run("c[4]<-<.'four'");
    EXPECT_EQ(run("t[4;`s]"), "abcde\n");
}

TEST_F(TextLists, InsertIntoAndKeyedTablesLeaveCopiesAsTheyWere) {
    run("t<-([] a<-!3000; s<-x)");
    run("u<-t");
    EXPECT_EQ(run("do 'INSERT INTO t (3000;<.''new'')'"), "new value inserted into table t.\n");
    EXPECT_EQ(run("#t"), "3001\n");
    EXPECT_EQ(run("#u"), "3000\n");
    EXPECT_EQ(run("t[3000 2]"), "a    s  \n--------\n3000 new\n2    abc\n");
    EXPECT_EQ(run("u[2999;`s]"), "abcdef\n");
    run("kt<-`a xkey u");
    run("kt[7;`s]<-<.'seven'");
    EXPECT_EQ(run("kt[7;`s]"), "seven\n");
    EXPECT_EQ(run("u[7;`s]"), "ab\n");
    // a dictionary's values
    run("d<-(!3000):x");
    run("e<-d");
    run("d[5]<-<.'five'");
    EXPECT_EQ(run("d[5]"), "<five\n");
    EXPECT_EQ(run("e[5]"), "abcdef\n");
}

TEST_F(TextLists, RowSelectionGathersTheTextsInOneBlock) {
    run("t<-([] a<-!3000; s<-x)");
    run("p<-$!3000");
    run("u<-t[p]");
    EXPECT_TRUE(holds_own_texts(column("u", 1)));
    EXPECT_EQ(run("u[0 1 2999]"), "a    s     \n-----------\n2999 abcdef\n2998 abcde \n0    a     \n");
    EXPECT_EQ(run("(u.s)~x[p]"), "1\n");
    run("o<-t[<t.a]");
    EXPECT_EQ(run("(o.s)~x"), "1\n");
    run("k<-value `a xkey u");
    EXPECT_EQ(run("(k.s)~x[p]"), "1\n");
    // every form of text: empty, a scalar, one character held inline
    run("w<-('';'a';'abc';,'b';'')");
    run("v<-([] w)");
    run("r<-v[4 3 2 1 0]");
    EXPECT_EQ(run("(r.w)~w[4 3 2 1 0]"), "1\n");
    EXPECT_EQ(run("r.w"), "<\n<b\n<abc\n<a\n<\n");
    run("big<-2000#w");
    EXPECT_TRUE(holds_own_texts(var("big")));
    EXPECT_EQ(run("big[1 2 3 4 5]~w[1 2 3 4 0]"), "1\n");
}

TEST_F(TextLists, ListsAreGivenBackWholeWhateverHoldsThem) {
    run("t<-([] a<-!3000; s<-x)");
    run("p<-$!3000");
    const char *const lines[] = {"y<-x", "y[5]<-<.'w'", "z<-x[p]", "c<-t.s", "c[1]<-<.1", "#x[p],x",
                                 "d<-(!3000):x", "d[2]<-<.'two'", "e<-d", "e[3]<-<.'three'"};
    for (const char *line : lines) ASSERT_EQ(run(line).find("Error"), std::string::npos) << line;
    i64 before = chunk_count();
    for (int i = 0; i < 20; i++)
        for (const char *line : lines) run(line);
    EXPECT_LE(chunk_count(), before + 4);
}

TEST_F(TextLists, AResultSlotThatIsItsOwnOperandKeepsItsTexts) {
    // a primitive given its own result slot as operand: the list's block
    // goes when the result is allocated, its texts must have gone aside
    i64 s = FIRST_TEMP_SLOT + 100;
    ASSERT_EQ(copy_value_checked(&value_slot_table[s], var("x"), 1), 0);
    ASSERT_TRUE(holds_own_texts(&value_slot_table[s]));
    ASSERT_EQ(dispatch_primitive(P_REVERSE, s, -1, -1, -1, s), 0);
    ValueDescriptor *items = list_items(&value_slot_table[s]);
    EXPECT_EQ(std::string((const char *)value_data(&items[0]), items[0].count), "abcdef");
    EXPECT_EQ(std::string((const char *)value_data(&items[2999 - 5]), items[2999 - 5].count), "abcdef");
    release_stack_value(&value_slot_table[s]);
    reset_stack();
}

TEST_F(TextLists, SavedAndLoadedTextColumnsComeBackAndShareAgain) {
    run("t<-([] a<-!3000; s<-x)");
    run("u<-t");
    run(")SAVE textws");
    run(")CLEAR");
    run(")LOAD textws");
    EXPECT_EQ(run("(t.s)~u.s"), "1\n");
    EXPECT_EQ(run("t[2999]"), "a| 2999\ns| 'abcdef'\n");
    run("v<-t");
    EXPECT_EQ(column("v", 1)->data, column("t", 1)->data);
}

TEST_F(TextLists, TheCsvLoaderKeepsATextColumnInOneBlock) {
    FILE *f = fopen((dir + "/names.csv").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fprintf(f, "n,s\n");
    for (int i = 0; i < 2000; i++) {
        if (i % 4 == 0) fprintf(f, "%d,\n", i);                  // empty
        else if (i % 4 == 1) fprintf(f, "%d,x\n", i);            // one character
        else if (i % 4 == 2) fprintf(f, "%d,\"a,\"\"b\"\n", i);  // quoted
        else fprintf(f, "%d,name%d\n", i, i);
    }
    fclose(f);
    ASSERT_EQ(run("t<-[]CSV ('names';'IL')"), "");
    EXPECT_TRUE(holds_own_texts(column("t", 1)));
    EXPECT_EQ(run("(t.s)[0 1 2 3 1999]"), "<\n<x\n<a,\"b\n<name3\n<name1999\n");
    EXPECT_EQ(run("\"^(t.s)[0 1 2 3]"), "0 1 4 5\n");
    run("u<-t");
    EXPECT_EQ(column("u", 1)->data, column("t", 1)->data);
}
