// The defined-function runtime through the session: frames and local slots
// across failures, "->" and )SIC, dynamic binding, branches, the trace of
// executed lines, and tables that must not grow with repeated calls.
#include "interpreter_fixture.h"
#include <string>
#include <unistd.h>
#include <vector>
#include "core/calls.h"
#include "core/functions.h"
#include "core/names.h"
#include "core/tables.h"

class CallsRuntime : public InterpreterFixture {
protected:
    static std::string run(const std::string &line) { return InterpreterFixture::run(line.c_str()); }
    i64 define(const std::vector<std::string> &lines)
    {
        i64 row = define_function_from_header(lines[0].c_str());
        EXPECT_GE(row, FIRST_USER_FUNCTION) << lines[0];
        if (row < 0) return row;
        FunctionText *ft = function_table[row].text;
        set_header_line(ft, lines[0].c_str());
        ft->typed_count = 1;
        for (size_t i = 1; i < lines.size(); i++) append_typed_line(ft, lines[i].c_str());
        rebuild_fresh_lines(ft);
        function_table[row].compiled = 0;
        return row;
    }
};

TEST_F(CallsRuntime, ValencesResultsAndRecursion)
{
    define({"z<-add y", "z<-y+1"});
    define({"z<-a times b", "z<-a*b"});
    define({"z<-seven", "z<-7"});
    define({"quiet x;t", "t<-x"});
    define({"z<-fact n", "->(n<2)/base", "z<-n*fact n-1", "->0", "base: z<-1"});
    EXPECT_EQ(run("add 2"), "3\n");
    EXPECT_EQ(run("3 times 4"), "12\n");
    EXPECT_EQ(run("1+seven"), "8\n");
    EXPECT_EQ(run("quiet 5"), "");
    EXPECT_EQ(run("fact 10"), "3628800\n");
    // A statement with an open parenthesis goes on in the next line.
    define({"z<-spread x", "z<-(x+", "1)*2", "z<-z+0"});
    EXPECT_EQ(run("spread 4"), "10\n");
    EXPECT_EQ(dfxstack, -1);
    EXPECT_EQ(lstvxend, (i64)LOCALS_TOP);
}

TEST_F(CallsRuntime, LocalsShadowGlobalsAndFreeNamesBindDynamically)
{
    define({"z<-outer x;a", "a<-x*10", "z<-inner 0"});
    define({"z<-inner x", "z<-a+x"});
    define({"z<-shadow x;a", "a<-x", "z<-a"});
    run("a<-5");
    EXPECT_EQ(run("outer 2"), "20\n");      // inner sees outer's local a
    EXPECT_EQ(run("inner 1"), "6\n");       // from the session: the global a
    EXPECT_EQ(run("shadow 9"), "9\n");
    EXPECT_EQ(run("a"), "5\n");
}

TEST_F(CallsRuntime, ResultRequiredAndLeavingTheFunction)
{
    define({"z<-never x", "y<-x"});
    define({"z<-early x", "z<-1", "->0", "z<-2"});
    define({"z<-past x", "z<-x", "->x", "z<-0"});
    EXPECT_EQ(run("early 0"), "1\n");
    EXPECT_EQ(run("past 99"), "99\n");      // a line past the end leaves
    std::string r = run("never 1");
    EXPECT_EQ(r.substr(0, 29), "Error: return value required\n");
    EXPECT_EQ(si_depth, 1);
}

TEST_F(CallsRuntime, BranchForms)
{
    define({"z<-pick c", "->(c)/one,two", "z<-0", "->0", "one: z<-1", "->0", "two: z<-2"});
    define({"z<-go n", "->n", "z<-1", "z<-2"});
    define({"z<-many x", "->x", "z<-0"});
    define({"z<-text x", "->'hello'", "z<-x"});
    EXPECT_EQ(run("pick 1 0"), "1\n");
    EXPECT_EQ(run("pick 0 1"), "2\n");
    EXPECT_EQ(run("pick 0 0"), "0\n");
    EXPECT_EQ(run("go 3"), "2\n");
    EXPECT_EQ(run("go _1"), "2\n");         // a negative target goes on with line 2
    EXPECT_EQ(run("text 4"), "hello\n4\n"); // a text target is shown, then the next line
    std::string r = run("pick 1 0 1");
    EXPECT_EQ(r.substr(0, 20), "Error: length error\n");
    run(")SIC");
    r = run("many 2 3");
    EXPECT_EQ(r.substr(0, 27), "Error: branch restrictions\n");
    run(")SIC");
    r = run("many 2.5");
    EXPECT_EQ(r.substr(0, 18), "Error: type error\n");
    r = run("pick 2");
    EXPECT_EQ(r.substr(0, 18), "Error: type error\n");
}

// A failure deep in a recursion leaves every call suspended with its frame;
// "->" drops the innermost call and the entry below it, unbinding both, and
// )SIC unwinds everything.
TEST_F(CallsRuntime, SuspendedFramesArePoppedExactly)
{
    define({"z<-down n;t", "t<-n", "->(n<1)/boom", "z<-down n-1", "->0", "boom: z<-1 2+1 2 3"});
    std::string r = run("down 3");
    // The label stands on a line of its own once translated: line 6.
    EXPECT_EQ(r, "Error: length error\ndown[6]  boom: z<-1 2+1 2 3\n                     ^\n");
    EXPECT_EQ(si_depth, 4);                   // session line and four calls
    EXPECT_EQ(lstvxend, (i64)LOCALS_TOP - 12); // z, n, t for each call
    EXPECT_EQ(run("t"), "0\n");               // the session sees the innermost local
    i64 frames_before = dfxstack;
    run("->");
    EXPECT_EQ(si_depth, 3);                   // the innermost call alone
    EXPECT_EQ(lstvxend, (i64)LOCALS_TOP - 9);
    EXPECT_LT(dfxstack, frames_before);
    EXPECT_EQ(run("t"), "1\n");               // the frame below is bound again
    run(")SIC");
    EXPECT_EQ(si_depth, -1);
    EXPECT_EQ(dfxstack, -1);
    EXPECT_EQ(lstvxend, (i64)LOCALS_TOP);
    run("t<-'global'");
    define({"z<-see x", "z<-t"});
    EXPECT_EQ(run("see 0"), "global\n");       // no dead local is bound any more
}

// A call that fails while compiling pushes no frame, so "->" must leave the
// frame of an older suspended call alone.
TEST_F(CallsRuntime, PopAfterACompileFailureKeepsOtherFrames)
{
    define({"z<-held x;k", "k<-x", "z<-1 2+1 2 3"});
    define({"z<-broken x", "if (x) {", "z<-1"});
    run("held 42");
    i64 depth = si_depth, frames = dfxstack, end = lstvxend;
    std::string r = run("broken 1");
    EXPECT_EQ(r.substr(0, 23), "Error: structure error\n");
    run("->");
    EXPECT_EQ(si_depth, depth);
    EXPECT_EQ(dfxstack, frames);
    EXPECT_EQ(lstvxend, end);
    EXPECT_EQ(run("k"), "42\n");
}

TEST_F(CallsRuntime, TraceKeepsTheLastExecutedLines)
{
    define({"z<-loop n;i", "i<-0", "top: i<-i+1", "->(i<n)/top", "z<-1 2+1 2 3"});
    run("loop 200");
    ASSERT_GT(suspension_count, 3);
    i64 row = global_name_table[lookup_name("loop", 'G')].index;
    EXPECT_EQ(suspension_record[0], row);
    // Translated lines: 1 i<-0, 2 top:, 3 i<-i+1, 4 the branch, 5 the failure.
    EXPECT_EQ(suspension_record[1], 5);
    EXPECT_EQ(suspension_record[2], 1 + 200 * 3 + 1);
    EXPECT_EQ(suspension_count, 3 + 99);
    EXPECT_EQ(suspension_record[3 + 98], 5);
    EXPECT_EQ(suspension_record[3 + 97], 4);
    EXPECT_EQ(suspension_record[3 + 96], 3);
    EXPECT_EQ(suspension_record[3 + 95], 2);
    // Only the first failure of a line is recorded.
    define({"z<-other x", "z<-x+1 2 3 4"});
    run("loop 2");
    run("other 1 2");
    EXPECT_EQ(suspension_record[0], global_name_table[lookup_name("other", 'G')].index);
}

// Calling a function from many lines must not fill the compiled tables or
// the local names.
TEST_F(CallsRuntime, RepeatedCallsDoNotGrowTheTables)
{
    define({"z<-twice x;a;b;longlocalname", "a<-x", "longlocalname<-a", "z<-longlocalname*2"});
    run("twice 1");
    i64 names = lstnx, nodes = lstndx, pool = lsttnam;
    for (int i = 0; i < 3000; i++) ASSERT_EQ(run("twice 3"), "6\n");
    EXPECT_EQ(lstnx, names);
    EXPECT_EQ(lstndx, nodes);
    EXPECT_EQ(lsttnam, pool);
}

// A function compiled by one line is kept for the next lines; whatever
// would compile it differently (its text, the other functions, the index
// origin) compiles it again, functions redefined line after line never fill
// the tables, and a system command sees the tables as if nothing were kept.
TEST_F(CallsRuntime, CompiledFunctionsAreKeptFromLineToLine)
{
    define({"z<-twice x", "z<-x*2"});
    i64 nodes = lstndx, constants = lstcx;
    EXPECT_EQ(run("twice 1"), "2\n");
    i64 kept = lstndx;
    EXPECT_GT(kept, nodes);
    EXPECT_EQ(run("twice 2"), "4\n");
    EXPECT_EQ(lstndx, kept);

    run("{twice: x*3}");
    EXPECT_EQ(run("twice 2"), "6\n");
    define({"z<-origin", "z<-!3"});
    EXPECT_EQ(run("origin"), "1 2 3\n");
    run("[]IO<-0");
    EXPECT_EQ(run("origin"), "0 1 2\n");
    EXPECT_EQ(run("twice 5"), "15\n");

    run(")sic");
    EXPECT_EQ(lstndx, nodes);
    EXPECT_EQ(lstcx, constants);

    for (int i = 0; i < 3000; i++) {
        run("{g: x+" + std::to_string(i) + "}");
        ASSERT_EQ(run("g 1"), std::to_string(i + 1) + "\n");
    }
    EXPECT_LT(lstndx, PARSE_NODE_CAP / 4);
    EXPECT_LT(lstnx, LOCAL_NAME_CAP / 4);
}

TEST_F(CallsRuntime, DeepRecursionFailsCleanly)
{
    define({"z<-deep n", "z<-deep n+1"});
    std::string r = run("deep 0");
    EXPECT_EQ(r.substr(0, 25), "Error: one table is full\n");
    run(")SIC");
    EXPECT_EQ(dfxstack, -1);
    EXPECT_EQ(lstvxend, (i64)LOCALS_TOP);
    EXPECT_EQ(run("1+1"), "2\n");
}

// A callee without locals of its own that binds its caller's locals must not
// be taken to own them when it is popped.
TEST_F(CallsRuntime, PoppingACalleeWithoutLocalsKeepsTheCallers)
{
    define({"z<-outerg x;a;b", "a<-1", "b<-2", "innerh", "z<-0"});
    define({"innerh", "c<-b+a", "c<-1 2+1 2 3"});
    run("outerg 5");
    EXPECT_EQ(si_depth, 2);
    EXPECT_EQ(lstvxend, (i64)LOCALS_TOP - 4);
    run("->");
    EXPECT_EQ(si_depth, 1);
    EXPECT_EQ(lstvxend, (i64)LOCALS_TOP - 4);
    EXPECT_EQ(run("a"), "1\n");
    EXPECT_EQ(run("b"), "2\n");
    run("->");
    EXPECT_EQ(lstvxend, (i64)LOCALS_TOP);
    EXPECT_EQ(dfxstack, -1);
}

// The frames of suspended calls are saved with the workspace and popped
// exactly after it is loaded again.
TEST_F(CallsRuntime, SuspendedCallsSurviveAWorkspaceRoundTrip)
{
    char path[] = "/tmp/vek_calls_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    define({"z<-keep x;t", "t<-x", "z<-t+1 2+1 2 3"});
    run("keep 9");
    run(std::string(")SAVE '") + path + ".vek'");
    run(")CLEAR");
    EXPECT_EQ(dfxstack, -1);
    run(std::string(")LOAD '") + path + ".vek'");
    EXPECT_EQ(si_depth, 1);
    EXPECT_EQ(run("t"), "9\n");
    run("->");
    EXPECT_EQ(si_depth, -1);
    EXPECT_EQ(dfxstack, -1);
    EXPECT_EQ(lstvxend, (i64)LOCALS_TOP);
    EXPECT_EQ(run("keep 1").substr(0, 20), "Error: length error\n");
    unlink(path);
    unlink((std::string(path) + ".vek").c_str());
}

// Failed session lines leave bare immediate entries; once the state
// indicator is full the oldest of them make room, for a new line and for
// the calls inside it, while suspended calls and their frames stay.
TEST_F(CallsRuntime, FailedLinesNeverJamTheStateIndicator)
{
    define({"z<-boom x;t", "t<-x", "z<-t+1 2+1 2 3"});
    define({"z<-fact n", "->(n<2)/base", "z<-n*fact n-1", "->0", "base: z<-1"});
    for (int i = 0; i < 10; i++) run("1 2+1 2 3");
    run("boom 7");
    for (int i = 0; i < 300; i++) run("1 2+1 2 3");
    EXPECT_EQ(si_depth, SI_CAP - 1);
    EXPECT_EQ(run("1+1"), "2\n");
    EXPECT_EQ(run("fact 15"), "1307674368000\n");   // sixteen calls deep
    EXPECT_EQ(si_depth, SI_CAP - 1 - 16);
    // The suspended call kept its entry, its session line and its frame,
    // whose marker names the call's new position.
    i64 at = -1;
    for (i64 i = 0; i <= si_depth; i++)
        if (state_indicator[i].function >= FIRST_USER_FUNCTION) at = i;
    ASSERT_GE(at, 1);
    EXPECT_EQ(state_indicator[at - 1].function, -1);
    ASSERT_GE(dfxstack, 0);
    EXPECT_EQ(dfxstack_table[0].name, -1);
    EXPECT_EQ(dfxstack_table[0].slot, at);
    std::string si = run(")SI");
    EXPECT_NE(si.find("boom[2] z<-t+1 2+1 2 3\n*\n"), std::string::npos) << si;
    // Popping the bare entries on top leaves the call's frame alone.
    run("->");
    EXPECT_EQ(run("t"), "7\n");
    while (si_depth > at) run("->");
    EXPECT_EQ(run("t"), "7\n");
    run("->");
    EXPECT_EQ(dfxstack, -1);
    EXPECT_EQ(lstvxend, (i64)LOCALS_TOP);
}

// A name that only failing statements used holds nothing and goes when
// its line ends; a name a suspended call has bound stays.
TEST_F(CallsRuntime, NamesOfFailingLinesAreGivenBack)
{
    i64 names = lstgx, slots = lstvx;
    for (int k = 0; k < 5; k++) {
        std::string line = "0";
        for (int i = 0; i < 500; i++) line += "+u" + std::to_string(k * 500 + i);
        EXPECT_EQ(run(line).substr(0, 6), "Error:");
        EXPECT_EQ(lstgx, names);
        EXPECT_EQ(lstvx, slots);
    }
    EXPECT_EQ(run("keep<-42"), "");
    EXPECT_EQ(run("keep"), "42\n");
    EXPECT_EQ(run("a_rather_long_name_that_fails+1").substr(0, 18), "Error: value error");
    EXPECT_EQ(lookup_name("a_rather_long_name_that_fails", 'G'), -1);
    define({"z<-uses x", "z<-x+missing"});
    run("uses 1");
    EXPECT_GE(lookup_name("missing", 'G'), 0);
    run(")SIC");
    // A name kept below one that goes is left free, and a new variable
    // takes it once the table is full.
    define({"z<-maybe x", "->(x=1)/skip", "z<-neverset", "->0", "skip: z<-0"});
    EXPECT_EQ(run("maybe 1;kept<-5"), "0\n");
    i64 freed = lookup_name("neverset", 'G');
    EXPECT_EQ(freed, -1);
    EXPECT_GE(lookup_name("kept", 'G'), 0);
    while (lstgx + 1 < GLOBAL_NAME_CAP) ASSERT_GE(add_name_entry(("n" + std::to_string(lstgx)).c_str(), 'G'), 0);
    EXPECT_EQ(run("last<-3"), "");
    EXPECT_EQ(run("last+kept"), "8\n");
    // A table full of names that hold nothing (as a workspace saved by a
    // build that kept them) still takes new variables.
    EXPECT_EQ(run("another<-4"), "");
    EXPECT_EQ(run("another+last"), "7\n");
    EXPECT_EQ(lstgx, GLOBAL_NAME_CAP - 1);
}
