// Statements that ask for more memory than values may take: each answers
// workspace full (or its own error), the session goes on with its values,
// and the process never grows much past the limit. The limit is lowered
// for these tests so that a fault shows as growth, not as a machine out of
// memory.
#include "interpreter_fixture.h"
#include "workspace.h"
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

const i64 LIMIT = (i64)256 << 20;

// What the process may take beyond the limit: the tables of a statement,
// and under the address sanitizer its quarantine of freed blocks (256 MB)
// and the guard zones around every block, which a table of text cells
// (a block per cell) multiplies.
#if defined(__SANITIZE_ADDRESS__)
const i64 MARGIN = LIMIT + ((i64)320 << 20);
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const i64 MARGIN = LIMIT + ((i64)320 << 20);
#else
const i64 MARGIN = (i64)64 << 20;
#endif
#else
const i64 MARGIN = (i64)64 << 20;
#endif

// A size from /proc/self/status in bytes ("VmHWM" the peak resident size,
// "VmRSS" the present one), or -1.
i64 status_bytes(const char *key) {
    FILE *f = fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    i64 kb = -1;
    size_t n = strlen(key);
    while (fgets(line, sizeof line, f))
        if (strncmp(line, key, n) == 0 && line[n] == ':' && sscanf(line + n + 1, "%lld", (long long *)&kb) == 1) break;
    fclose(f);
    return kb < 0 ? -1 : kb * 1024;
}
i64 peak_resident_bytes() { return status_bytes("VmHWM"); }
i64 resident_bytes() { return status_bytes("VmRSS"); }

// Starts a new peak from the present size; false where the system has no
// such control.
bool reset_peak() {
    FILE *f = fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    bool ok = fputs("5", f) >= 0;
    return fclose(f) == 0 && ok;
}

bool starts_with(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

}   // namespace

class MemoryLimitTest : public InterpreterFixture {
protected:
    i64 start_size = 0;
    bool peak_known = false;
    void SetUp() override {
        InterpreterFixture::SetUp();
        set_value_memory_limit(LIMIT);
        start_size = resident_bytes();
        peak_known = start_size > 0 && reset_peak();
    }
    void TearDown() override {
        run(")sic");
        clear_workspace(0);
        set_value_memory_limit(0);
    }
    // The process grew by at most the limit and the margin.
    void expect_bounded_growth() {
        if (!peak_known) return;
        i64 peak = peak_resident_bytes();
        EXPECT_LT(peak - start_size, LIMIT + MARGIN) << "peak " << peak << " start " << start_size;
    }
};

// Results whose size alone is too big: refused before anything is taken.
// A literal above the integer range is a float, which a count refuses on
// its own terms.
TEST_F(MemoryLimitTest, HugeResultsAreWorkspaceFull) {
    run("keep<-1 2 3");
    const char *lines[] = {"1000000000000#1", "!1000000000000", "!3000000000", "(1000000 1000000)#1",
                           "x<-100000000#1", "x<-!40000000", "3000000000#'a'", "(!6000).:*!6000"};
    for (const char *line : lines) EXPECT_TRUE(starts_with(run(line), "Error: workspace full\n")) << line;
    EXPECT_TRUE(starts_with(run("1e12#1"), "Error: domain error\n"));
    EXPECT_TRUE(starts_with(run("!1e12"), "Error: domain error\n"));
    EXPECT_EQ(run("keep"), "1 2 3\n");
    EXPECT_EQ(run("x"), "Error: value error\n      x\n      ^\n");
    EXPECT_EQ(run("+/!1000"), "500500\n");
    expect_bounded_growth();
    EXPECT_LT(value_memory_used(), (i64)1 << 20);
}

// A variable whose new value cannot be had keeps its old one, whether it
// is assigned whole, through an index or grown by catenation.
TEST_F(MemoryLimitTest, FailedAssignmentKeepsTheVariable) {
    run("x<-1 2 3");
    EXPECT_TRUE(starts_with(run("x<-100000000#7"), "Error: workspace full\n"));
    EXPECT_EQ(run("x"), "1 2 3\n");
    run("y<-20000000#1");   // 160 MB
    EXPECT_TRUE(starts_with(run("y<-y,y,y,y"), "Error: workspace full\n"));
    EXPECT_EQ(run("#y"), "20000000\n");
    EXPECT_TRUE(starts_with(run("y[1]<-0j1"), "Error: workspace full\n"));   // widened to complex
    EXPECT_EQ(run("2^.y"), "1 1\n");
    EXPECT_EQ(run("x"), "1 2 3\n");
    expect_bounded_growth();
}

// Work blocks of a primitive (here the floats a division reduce reads its
// integers through) count against the limit like results.
TEST_F(MemoryLimitTest, WorkBlocksAreCountedToo) {
    run("x<-17000000#2");   // 136 MB of integers; as floats as much again
    EXPECT_TRUE(starts_with(run("%/x"), "Error: workspace full\n"));
    EXPECT_TRUE(starts_with(run("0j1=x"), "Error: workspace full\n"));
    run("x<-2 4");
    EXPECT_EQ(run("%/x"), "0.5\n");
    expect_bounded_growth();
}

// Primitives whose work blocks outgrow the limit after their operands and
// result fit: the drawn set of deal, the copies the inverse solves in.
TEST_F(MemoryLimitTest, WorkBlocksOfDealAndInverse) {
    EXPECT_TRUE(starts_with(run("x<-12000000?.1000000000000000"), "Error: workspace full\n"));
    EXPECT_EQ(run("#3?.1000000000000000"), "3\n");
    run("m<-3400 3400#1.5");   // 92 MB; two copies more do not fit
    EXPECT_TRUE(starts_with(run("#.m"), "Error: workspace full\n"));
    EXPECT_EQ(run("#.2 2#4 0 0 2"), "0.25 0  \n0    0.5\n");
    expect_bounded_growth();
}

// Tables that double themselves in a loop stop at the limit with workspace
// full; the session goes on with the tables it had.
TEST_F(MemoryLimitTest, GrowingTablesStopAtTheLimit) {
    run("t<-([] a<-!1000; b<-1000#`x`y; c<-1000#1.5)");
    run("{grow: t<-x; while (1) t<-t,t; #t}");
    std::string out = run("grow t");
    EXPECT_TRUE(starts_with(out, "Error: workspace full\n")) << out;
    run(")sic");
    // text cells are blocks of their own: the failure comes amid a column
    run("{widen: w<-x; while (1) w<-w,w; #w}");
    run("w<-([] name<-1000 7#'abcdefg'; n<-!1000)");
    out = run("widen w");
    EXPECT_TRUE(starts_with(out, "Error: workspace full\n")) << out;
    run(")sic");
    EXPECT_EQ(run("#t"), "1000\n");
    EXPECT_EQ(run("+/t.a"), "500500\n");
    EXPECT_EQ(run("#w"), "1000\n");
    EXPECT_EQ(run("w[3]"), run("([] name<-1 7#'abcdefg'; n<-3)[1]"));
    expect_bounded_growth();
}

// Files whose rows would take more than the limit: a record of gigabytes
// (a sparse file of zeros, which costs no disk) and a file of millions of
// short rows read into text columns. Each is workspace full, and so is
// reading the sparse file as lines.
TEST_F(MemoryLimitTest, FilesThatClaimHugeRowsAreWorkspaceFull) {
    char tmpl[] = "/tmp/vek-memory-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    std::string sparse = dir + "/zeros.csv", rows = dir + "/rows.csv";
    FILE *f = fopen(sparse.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(ftruncate(fileno(f), (off_t)8 << 30), 0);
    fclose(f);
    f = fopen(rows.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 3000000; i++) fputs("ab,cd\n", f);
    fclose(f);
    run("keep<-1 2 3");
    for (std::string line : {"[]CSV ('" + sparse + "';'I')", "[]CSV ('" + rows + "';'LL';'false')",
                             "[]get '" + sparse + "'"})
        EXPECT_TRUE(starts_with(run(line.c_str()), "Error: workspace full\n")) << line;
    std::string fits = "#[]CSV ('" + rows + "';'SS';'false')";   // a symbol is a word
    EXPECT_EQ(run(fits.c_str()), "3000000\n");
    EXPECT_EQ(run("keep"), "1 2 3\n");
    expect_bounded_growth();
    std::string cmd = "rm -rf '" + dir + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}
