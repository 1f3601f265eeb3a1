// Regressions found by fuzzing the input surfaces: typed lines, workspace
// files and script files. Each case is an input that once crashed, hung or
// lost data; the check is that it now ends in its error and that what was
// stored before survives.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include "core/session.h"
#include "core/tables.h"
#include "system/workspace_file.h"
#include "system/scripts.h"

static std::string hardening_output;
static void hardening_capture(const char *t) { hardening_output += t; }

class HardeningTest : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        static bool started = false;
        session_print = hardening_capture;
        if (!started) { init_interpreter(); started = true; }
        clear_workspace(0);
        char tmpl[] = "/tmp/vek-hardening-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        hardening_output.clear();
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
    }
    // The output of one typed line, without the prompt.
    static std::string run(const char *line) {
        hardening_output.clear();
        std::string buf = line;
        execute_input_line(buf.data());
        std::string out = hardening_output;
        if (out.size() >= 6 && out.compare(out.size() - 6, 6, "      ") == 0) out.resize(out.size() - 6);
        return out;
    }
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
