// The query layer from outside the session: the pattern translation and the
// quoting of a statement, the layer's script file read as a script, loading
// the layer again after a clear and a load, the library's own "standard"
// and a broken one, `do` from a script and inside a running statement, and
// the layer's names kept out of )OUT and the name dock.
#include "interpreter_fixture.h"
#include "core/names.h"
#include "core/symbols.h"
#include "primitives/query.h"
#include "system/commands.h"
#include "core/workspace.h"
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

TEST(QueryText, PatternsBecomeAnchoredExpressions) {
    struct { const char *pattern, *regex; } cases[] = {
        {"a%", "^a.*$"}, {"_b_", "^.b.$"}, {"a.c", "^a\\.c$"}, {"a\\b", "^a\\\\b$"},
        {"[0-9]+(x|y)?", "^[0-9]+(x|y)?$"}, {"%%", "^.*.*$"}, {"", "^$"}};
    for (auto &c : cases)
        EXPECT_EQ(c.regex, like_pattern_to_regex(c.pattern, (i64)strlen(c.pattern))) << c.pattern;
    const char nul[] = {'a', 0, '%'};
    EXPECT_EQ(std::string("^a\0.*$", 6), like_pattern_to_regex(nul, 3));
}

TEST(QueryText, QuotesAreDoubledInTheCall) {
    EXPECT_EQ("do__v1 'SELECT a FROM t'", quote_as_query_call("SELECT a FROM t", 15));
    EXPECT_EQ("do__v1 'x=''it''''s'''", quote_as_query_call("x='it''s'", 9));
    EXPECT_EQ("do__v1 ''''", quote_as_query_call("'", 1));
}

class QueryLayer : public ScratchDirFixture {
protected:
    void SetUp() override {
        ScratchDirFixture::SetUp();
        snprintf(library_path, sizeof library_path, "%s", dir.c_str());
        workspace_name[0] = 0;
        run("t<-([] a<-1 2 3; b<-`x`y`z)");
    }
    void TearDown() override {
        ScratchDirFixture::TearDown();
        library_path[0] = 0;
    }
    void write(const std::string &name, const std::string &text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    }
    std::string read(const std::string &name) {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

TEST_F(QueryLayer, LoadsAgainAfterAClearAndALoad) {
    EXPECT_EQ(0, query_layer_loaded);
    EXPECT_EQ("2 3\n", run("do 'EXEC a FROM t WHERE a>1'"));
    EXPECT_EQ(1, query_layer_loaded);
    EXPECT_EQ("0\n", run("[]IO"));
    run(")save ws1");
    clear_workspace(1);
    EXPECT_EQ(0, query_layer_loaded);
    run("t<-([] a<-4 5)");
    EXPECT_EQ("5\n", run("do 'EXEC a FROM t WHERE a>4'"));

    // A workspace saved with the layer in it: the load clears the flag, and
    // the next do loads the layer over the functions the file brought.
    run(")load ws1");
    EXPECT_EQ(0, query_layer_loaded);
    EXPECT_EQ("1\n", run("[]IO<-1; []IO"));
    EXPECT_EQ("`y `z\n", run("do 'EXEC b FROM t WHERE a>1'"));
    EXPECT_EQ("0\n", run("[]IO"));
}

TEST_F(QueryLayer, ABrokenStandardFailsTheLoadUntilItIsMended) {
    write("standard.vkp", "@.z<-trim x\nz<-x\n");   // a block without its end
    EXPECT_EQ("Error: \n      do 'EXEC a FROM t'\n      ^\n", run("do 'EXEC a FROM t'"));
    EXPECT_EQ(0, query_layer_loaded);
    run(")sic");
    EXPECT_EQ("", run(")fns"));
    // A variable that takes the name of a function of "standard" stops it too.
    unlink((dir + "/standard.vkp").c_str());
    run("trim<-5");
    EXPECT_NE(std::string::npos, run("do 'EXEC a FROM t'").find("Error: \n"));
    clear_workspace(1);
    run("t<-([] a<-1 2 3)");
    EXPECT_EQ("1 2 3\n", run("do 'EXEC a FROM t'"));
}

TEST_F(QueryLayer, RunsFromAScriptAndInsideARunningStatement) {
    write("sql.vkp", "u<-([] n<-10 20 30)\nr<-do 'EXEC n FROM u WHERE n>15'\nr\n"
                     "do 'SELECT n FROM u WHERE n<15'\n");
    std::string out = run(")fcopy sql");
    EXPECT_NE(std::string::npos, out.find("      r\n20 30\n")) << out;
    EXPECT_NE(std::string::npos, out.find("n \n--\n10\n")) << out;
    EXPECT_EQ(std::string::npos, out.find("rror")) << out;

    // The first do of a fresh workspace loads the layer in the middle of a
    // statement inside a function: the statement's own values survive it.
    clear_workspace(1);
    run("t<-([] a<-1 2 3)");
    run("{f: w<-x*2; w+^do 'EXEC a FROM t WHERE a>1'}");
    EXPECT_EQ("102 202\n", run("100 200+f 0 0"));
    EXPECT_EQ(1, query_layer_loaded);
}

// The layer's script is an ordinary script file: the program carries its
// bytes as they are, and the script reader runs it like any other.
TEST_F(InterpreterFixture, TheLayerScriptIsAScriptFileTheProgramCarries) {
    std::ifstream in(VEK_QUERY_SCRIPT, std::ios::binary);
    std::stringstream file;
    file << in.rdbuf();
    ASSERT_FALSE(file.str().empty());
    EXPECT_EQ(file.str(), std::string(query_script_lines));

    snprintf(library_path, sizeof library_path, "%s", VEK_SOURCE_DIR "/library");
    run("t<-([] a<-1 2 3; b<-`x`y`z)");
    std::string out = run(")fcopy '" VEK_QUERY_SCRIPT "'");
    library_path[0] = 0;
    EXPECT_EQ(std::string::npos, out.find("rror")) << out;
    EXPECT_NE(std::string::npos, out.find("saved ")) << out;
    for (const char *name : {"do__v1", "proc_where", "proc_sel1", "proc_sel", "nxt", "create", "select", "exec",
                             "eval", "vcol", "ch2sym", "col_nam", "isfk", "de_enum", "split", "proc_op", "vcol2",
                             "addwth", "proc_sel2"}) {
        i64 entry = lookup_name(name, 'G');
        ASSERT_GE(entry, 0) << name;
        EXPECT_EQ('F', global_name_table[entry].kind) << name;
    }
    EXPECT_EQ("0\n", run("[]IO"));
    EXPECT_EQ("2 3\n", run("do__v1 'EXEC a FROM t WHERE a>1'"));
    EXPECT_EQ("b\n-\nx\n\n", run("do__v1 'SELECT b FROM t WHERE a<2'"));
    EXPECT_EQ(0, query_layer_loaded);
}

// A statement that fails inside the layer leaves its calls suspended with
// the names their compilation made; clearing them must give those names
// back, or the local name table fills and every later do fails.
TEST_F(QueryLayer, FailuresClearedAgainAndAgainLeaveTheNameTableAsItWas) {
    EXPECT_EQ("1 2 3\n", run("do 'EXEC a FROM t'"));
    run(")sic");   // a command gives back what the lines kept compiled
    i64 names = lstnx;
    for (int i = 0; i < 300; i++) {
        EXPECT_EQ("error in `do statement\n", run("do 'SELECT nothere FROM t'"));
        run(i % 2 ? ")sic" : "->");
    }
    EXPECT_EQ(names, lstnx);
    for (int i = 0; i < 5; i++) run("do 'SELECT nothere FROM t'");
    run(")sic");
    EXPECT_EQ(names, lstnx);
    EXPECT_EQ("1 2 3\n", run("do 'EXEC a FROM t'"));
}

static int lines_asked;
static int64_t count_asked(const char *, char *buf, int64_t) {
    lines_asked++;
    strcpy(buf, "1 2 3");
    return 5;
}

// LOAD TABLE runs its argument with [] put before it to name the loader:
// without an argument, or one that does not start with a name, that was a
// bare [] that took the next line typed (the next frame of a server) as
// the table.
TEST_F(QueryLayer, LoadTableWithoutALoaderIsRefusedAndReadsNoInput) {
    auto saved = ask_input_string;
    ask_input_string = count_asked;
    lines_asked = 0;
    for (const char *statement : {"LOAD TABLE p", "LOAD TABLE p ()", "LOAD TABLE p (  )", "LOAD TABLE p (;1)",
                                  "LOAD TABLE p (-1)", "LOAD TABLE p(~1)", "INSERT INTO t", "INSERT INTO t ()"})
        EXPECT_EQ("no ')' in ending.\n", run((std::string("do '") + statement + "'").c_str())) << statement;
    EXPECT_EQ(0, lines_asked);
    EXPECT_EQ("Error: value error\n      p\n      ^\n", run("p"));
    EXPECT_EQ("table p loaded.\n", run("do 'LOAD TABLE p ([] n<-4 5)'"));
    EXPECT_EQ("4 5\n", run("p.n"));
    EXPECT_EQ(0, lines_asked);
    ask_input_string = saved;
}

static std::string dock;
static void dock_item(char kind, const char *name) { dock += std::string(1, kind) + ":" + name + " "; }

TEST_F(QueryLayer, TheLayerStaysOutOfOutAndTheDock) {
    run("do 'EXEC a FROM t'");
    run("{mine: x}");
    run(")out all");
    std::string all = read("all.vkp");
    EXPECT_NE(std::string::npos, all.find("@.z<-mine x"));
    EXPECT_NE(std::string::npos, all.find("@.z<-trim x"));
    for (const char *name : {"do__v1", "eval", "nxt", "col_nam", "proc_where"})
        EXPECT_EQ(std::string::npos, all.find(std::string("@.z<-") + name)) << name;
    EXPECT_EQ("mineinvalid name found: do__v1\n", run(")out some mine do__v1"));

    void (*saved)(char, const char *) = add_symbol_item;
    add_symbol_item = dock_item;
    dock.clear();
    list_names("", 'F', 0);
    add_symbol_item = saved;
    EXPECT_NE(std::string::npos, dock.find("F:mine "));
    for (const char *name : {"do__v1", "select", "exec", "split", "addwth"})
        EXPECT_EQ(std::string::npos, dock.find(std::string("F:") + name + " ")) << dock;
}

// The layer's functions are first called from executed text: a function so
// called keeps the names of its body to itself, as from a line.
TEST_F(InterpreterFixture, AFunctionCalledFromExecutedTextKeepsItsLocals) {
    run("{h: tmp<-x+1; []IO<-0; tmp*2}");
    run("{k: tmp<-x; !.'h tmp'}");
    EXPECT_EQ("8\n", run("!.'h 3'"));
    EXPECT_EQ("6\n", run("k 2"));
    EXPECT_EQ("1\n", run("[]IO"));
    EXPECT_NE(std::string::npos, run("tmp").find("value error"));
}
