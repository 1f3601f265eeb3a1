// Regressions found by fuzzing the input surfaces: typed lines, workspace
// files and script files. Each case is an input that once crashed, hung or
// lost data; the check is that it now ends in its error and that what was
// stored before survives.
#include "interpreter_fixture.h"
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include "system/workspace_file.h"
#include "system/scripts.h"
#include "workspace.h"
#include <sys/resource.h>
#include <sys/wait.h>

class HardeningTest : public ScratchDirFixture {
protected:
    std::string write_file(const char *name, const std::string &bytes) {
        std::string path = dir + "/" + name;
        FILE *f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) { fwrite(bytes.data(), 1, bytes.size(), f); fclose(f); }
        return path;
    }
};

// A function that has been called keeps ranges of local names that the end
// of the statement reclaimed; the saved file must still load.
TEST_F(HardeningTest, WorkspaceWithCalledFunctionLoadsBack) {
    run("{f: z<-x+1}");
    EXPECT_EQ(run("f 4"), "5\n");
    run("v<-f 9");
    std::string path = dir + "/called.vek";
    ASSERT_EQ(save_workspace_file(path.c_str()), 0);
    clear_workspace(0);
    ASSERT_EQ(load_workspace_file(path.c_str()), 0);
    EXPECT_EQ(run("v"), "10\n");
    EXPECT_EQ(run("f 10"), "11\n");
}

static std::string read_all(const std::string &path) {
    std::string bytes;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    fclose(f);
    return bytes;
}

// The built-in names survive a clear, so a file that renamed or rebound one
// would have damaged every later workspace of the session.
TEST_F(HardeningTest, WorkspaceMayNotRebindBuiltInNames) {
    std::string path = dir + "/base.vek";
    ASSERT_EQ(save_workspace_file(path.c_str()), 0);
    std::string good = read_all(path);
    struct Patch { const char *from, *to; size_t len; };
    const Patch patches[] = {
        {"value\0", "keep\0\0", 6},          // a built-in function renamed
        {"[]IO\0\0\0\0\0V", "[]IO\0\0\0\0\0F", 10},   // a system variable made a function
    };
    for (const Patch &p : patches) {
        std::string bad = good;
        size_t at = bad.find(std::string(p.from, p.len));
        ASSERT_NE(at, std::string::npos) << p.from;
        bad.replace(at, p.len, std::string(p.to, p.len));
        std::string bad_path = write_file("bad.vek", bad);
        run("keep<-1 2 3");
        EXPECT_NE(load_workspace_file(bad_path.c_str()), 0) << p.to;
        EXPECT_EQ(run("keep"), "1 2 3\n");
        clear_workspace(0);
        EXPECT_EQ(run("keep<-4 5"), "");
        EXPECT_EQ(run("keep"), "4 5\n");
        EXPECT_EQ(run("[]IO"), "1\n");
    }
}

// A value nested deeper than the reader accepts is refused when saving, so
// the last good file is not replaced by one that cannot be loaded.
TEST_F(HardeningTest, TooDeepValueIsNotSavedOverAGoodFile) {
    std::string path = dir + "/deep.vek";
    run("x<-1");
    for (int i = 0; i < 64; i++) run("x<-(1;x)");
    run("kept<-x");
    ASSERT_EQ(save_workspace_file(path.c_str()), 0);
    run("x<-(1;x)");
    EXPECT_EQ(save_workspace_file(path.c_str()), 300);
    clear_workspace(0);
    ASSERT_EQ(load_workspace_file(path.c_str()), 0);
    EXPECT_EQ(run("x~kept"), "1\n");
}

// Empty brackets pass an index operand with no items; indexing must not
// read one. Whatever the answer, the session goes on with its values.
TEST_F(HardeningTest, ElidedIndexReadsNoItem) {
    run("x<-1 2 3");
    for (const char *line : {"x[]", "[]AV[]+1"}) {
        std::string out = run(line);
        EXPECT_TRUE(out.empty() || out.rfind("Error: ", 0) == 0 || out == "1 2 3\n") << line << ": " << out;
    }
    EXPECT_EQ(run("x[2]"), "2\n");
}

// A variable block's header claims a count the lines then fail to bear out;
// the reader must refuse it without first reserving room for the claim.
// The address space is capped below what the claims would take.
TEST_F(HardeningTest, ScriptBlockCountIsNotTakenOnTrust) {
    write_file("claims.vkp", "&big I 1 2000000000\n1 2\n&\n&many L 1 111015021\nI 0\n1\n&\n");
    std::string arg = "'" + dir + "/claims.vkp'";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
#ifndef __SANITIZE_ADDRESS__   // the sanitizer's shadow needs the address space; it caps allocations itself
        struct rlimit cap = {(rlim_t)8 << 30, (rlim_t)8 << 30};
        setrlimit(RLIMIT_AS, &cap);
#endif
        int rc = load_script_file(arg.c_str(), 1);
        _exit(rc == 82 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    run("keep<-1");
    EXPECT_EQ(load_script_file(arg.c_str(), 1), 82);
    EXPECT_EQ(run("keep"), "1\n");
}

// A function calling itself through a long line nests the walk far deeper
// per call than the state indicator counts: it must stop with "stack full",
// and the session must go on.
TEST_F(HardeningTest, DeepRecursionThroughLongLinesStopsCleanly) {
    std::string def = "{f: " + std::string(150, '#') + " f x}";
    run(def.c_str());
    std::string out = run("f 1");
    EXPECT_EQ(0u, out.find("Error: stack full\n")) << out.substr(0, 200);
    run(")sic");
    EXPECT_EQ("3\n", run("1+2"));
}
