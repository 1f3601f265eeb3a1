// The single-item paths and the lean walk of function lines against the
// general handlers: every case runs twice from a clear workspace, once as
// the interpreter runs it and once with the single-item paths switched
// off, and must print the same, errors and carets included. And a long
// loop must not make the process grow.
#include "interpreter_fixture.h"
#include <cstdio>
#include <malloc.h>
#include <string>
#include <vector>
#include "core/dispatch.h"
#include "core/workspace.h"

class FastPaths : public InterpreterFixture {
protected:
    static std::vector<std::string> outputs(const std::vector<std::string> &lines, bool fast) {
        single_item_paths_allowed = fast;
        clear_workspace(0);
        reset_stack();
        std::vector<std::string> out;
        for (const std::string &line : lines) out.push_back(run(line.c_str()));
        run(")SIC");
        single_item_paths_allowed = true;
        return out;
    }
    static void expect_same(const std::vector<std::string> &lines) {
        std::vector<std::string> fast = outputs(lines, true), general = outputs(lines, false);
        for (size_t i = 0; i < lines.size(); i++) EXPECT_EQ(fast[i], general[i]) << lines[i];
    }
    // Each expression at the session and as the result line of a function.
    static void expect_same_everywhere(const std::vector<std::string> &setup, const std::vector<const char *> &exprs) {
        for (const char *e : exprs) {
            std::vector<std::string> lines = setup;
            lines.push_back(e);
            lines.push_back(std::string("{t: r<-x; ") + e + "}");
            lines.push_back("t 0");
            expect_same(lines);
        }
    }
};

TEST_F(FastPaths, ArithmeticOfSingleItems) {
    expect_same_everywhere({}, {
        "1+2", "1+2.5", "1.5*2", "7-10", "(1=1)+(1=1)", "(1=1)~.(0=1)", "2.0_.1", "5~.3",
        // the integer range wraps; beyond 2^53 sums and products carry a double's precision
        "9223372036854775807+1", "_9223372036854775807-2", "9007199254740993+0", "9007199254740993-0",
        "4611686018427387904*3", "3037000500*3037000500", "_3037000500*3037000501",
        // nulls and infinities are ordinary integers; float ones follow IEEE
        "0n+1", "0n-1", "0w+1", "0w*2", "0n*0n", "0wf-0wf", "0wf+1", "0nf+1", "_0wf*0",
        "1%0", "0%0", "_1%0", "7%2", "0w%0n",
        "2*.10", "2*.0.5", "_8*.0.5", "0*._1", "_2*.2", "2.5|7", "3|_7", "0|5", "_3|7", "3.0|_7.5", "0.0|2.5",
        // types that depend on the values, and one-item vectors
        "1%.8", "2@1", "3|.5", "5|.3", ",1", "(,1)+2", "(,1)+,2", "1+,2.5", "(,1)*.,0.5",
    });
}

TEST_F(FastPaths, ComparisonsAndLogicOfSingleItems) {
    expect_same_everywhere({}, {
        "1<2", "2<=2", "3>=4", "3>2.5", "1=1.0", "2~=2", "0nf<1", "0nf<=1", "0nf>=0nf", "0nf=0nf",
        "0nf~=0nf", "0nf=1", "0w>0n", "0wf>0w", "_0wf<0n", "(1=1)=1", "(,1)<,2", "1<,2",
        "1^0", "1&0", "~1", "~0", "~1.0", "~0.0", "~,1", "(1=1)^1.0",
        // refused by the handlers, whatever the path
        "~2", "2^1", "1&0.5", "~1.5", "'a'<'b'", "1+'a'", "'a'='a'", "1+2 3", "1 2+3 4 5",
    });
}

// Every name of a direct definition is its own: values come in as the
// right argument x and the left argument y.
TEST_F(FastPaths, IndexingOneItem) {
    const char *vectors[] = {"10 20 30", "1.5 2 3.5", "'abc'", "1=1 0 1", "0#0", "`a`b", "0n 0w _0w"};
    const char *indexes[] = {"2", "0", "4", "_1", ",2", "1.0", "1=1", "3 2"};
    for (const char *v : vectors) {
        std::vector<std::string> lines = {"{t: x[y]}", "{u: x[y]+x[1]}", "{w: x[x[1]]}"};
        for (const char *i : indexes) {
            lines.push_back(std::string(i) + " t " + v);
            lines.push_back(std::string(i) + " u " + v);
            lines.push_back(")SIC");
        }
        lines.push_back("w " + std::string(v));
        expect_same(lines);
    }
    expect_same({"{t: r<-x; q[1]}", "t 0", "{k: x[y]}", "2 k 5"});
}

TEST_F(FastPaths, IndexingUnderEitherOrigin) {
    expect_same({"{t: x[y]}", "1 t 10 20 30", "0 t 10 20 30", "[]IO<-0", "0 t 10 20 30", "2 t 10 20 30",
                 "3 t 10 20 30", "[]IO<-1", "3 t 10 20 30"});
    expect_same({"{t: []IO<-y; x[1]}", "0 t 10 20 30", "1 t 10 20 30", "2 t 10 20 30", "[]IO"});
}

TEST_F(FastPaths, AssigningOneItem) {
    const char *vectors[] = {"10 20 30", "1.5 2.5", "'abc'", "1=1 0 1", "`a`b", "!10000"};
    const char *assignments[] = {"x[y]<-5", "x[y]<-1.5", "x[y]<-1=1", "x[y]<-'z'", "x[y]<-,7", "x[y]<-7 8",
                                 "x[y]<-`c", "x[y]<-x[1]", "x[y]<-q"};
    const char *indexes[] = {"1", "2", "0", "4", "2.0", ",1"};
    for (const char *v : vectors)
        for (const char *e : assignments) {
            std::vector<std::string> lines = {std::string("{t: ") + e + "; x[1 2]}"};
            for (const char *i : indexes) {
                lines.push_back(std::string(i) + " t " + v);
                lines.push_back(")SIC");
            }
            expect_same(lines);
        }
    // a block shared by two names is copied before one of them changes
    expect_same({"{t: w<-x; x[1]<-0; w[1],x[1]}", "t !10000", "t 1 2 3", "big<-!10000", "t big", "big[1]"});
}

TEST_F(FastPaths, LoopsAndFailuresInsideThem) {
    expect_same({"{count: i<-0; while (i<x) i<-i+1; i}", "count 1000", "count 0", "count 2.5", "count 'a'",
                 ")SIC", "count 1 2"});
    expect_same({"{bump: i<-1; n<-^x; while (i<=n) { x[i]<-x[i]+i; i<-i+1 }; x}", "bump 5#0", "bump 1.5 2.5",
                 "bump 1=1 0", "bump 'ab'", ")SI"});
    // the failing line, its caret and the state indicator are the same
    expect_same({"{fail: i<-0; while (i<5) { i<-i+1; k<-i+x }; i}", "fail 1", "fail 'a'", ")SI", "i"});
    expect_same({"{over: i<-x; while (i>0) i<-i+1; i}", "over 9223372036854775800"});
    expect_same({"{steps: s<-0; i<-0; while (i<x) { s<-s+i*0.5; i<-i+1 }; s}", "steps 10", "steps 1"});
    expect_same({"{fl: s<-0; for (i: 1; x) s<-s+i%2; s}", "fl 10", "fl 0"});
    // values a line shows, also through the output names, and a computed branch
    expect_same({"{sh: x+1; x*2; []<-x-1; x[1]; 0}", "sh 3", "sh ,4", "sh 1.5"});
    expect_same({"{go: ->x[1]; 5; 6}", "go 2 1", "go 3 1", "go 0 1", "go _1 1", "go 1.5 1", "go 'a' 1",
                 "go 2 3[1]"});
}

// glibc's count of heap bytes in use.
static size_t heap_in_use() { return mallinfo2().uordblks; }

static long resident_kb() {
    long pages = 0, resident = 0;
    FILE *f = fopen("/proc/self/statm", "r");
    if (f) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        fclose(f);
    }
    return resident * 4;
}

TEST_F(FastPaths, ALongLoopKeepsTheProcessSizeFlat) {
    run("{loop: i<-0; s<-0; v<-10#0; m<-3 3#0; while (i<x) { v[1+10|i]<-v[1+10|i]+1; m[1+3|i;2]<-i; "
        "s<-s+i*0.5; w<-v+1; i<-i+1 }; s}");
    // the first run makes every block and table entry the loop needs
    EXPECT_EQ(run("loop 20000"), "99995000\n");
    size_t heap = heap_in_use();
    long resident = resident_kb();
    EXPECT_EQ(run("loop 400000"), "3.99999e10\n");
    EXPECT_LE(heap_in_use(), heap + 64 * 1024);
    EXPECT_LE(resident_kb(), resident + 1024);
}
