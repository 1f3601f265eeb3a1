// Script and workspace files: round trips of every value type, damaged and
// truncated files, failed saves, and the file-argument rule.
// The core headers come first: names.h has a constant that <limits.h> would
// otherwise turn into a macro before it is declared.
#include "system/startup.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/names.h"
#include "core/symbols.h"
#include "system/commands.h"
#include "system/scripts.h"
#include "system/workspace_file.h"
#include "core/output.h"
#include "core/errors.h"
#include "core/workspace.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <string>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <dirent.h>

static std::string sysf_output;
static void sysf_capture(const char *t) { sysf_output += t; }

static std::string sysf_dir() {
    static std::string dir;
    if (dir.empty()) {
        char tmpl[] = "/tmp/vek_sysf_XXXXXX";
        dir = mkdtemp(tmpl);
        static bool started = false;
        if (!started) { session_print = sysf_capture; start_interpreter(); started = true; }
    }
    return dir;
}

static void sysf_fresh() {
    std::string dir = sysf_dir();
    session_print = sysf_capture;
    clear_workspace(1);
    workspace_name[0] = 0;
    snprintf(library_path, sizeof library_path, "%s", dir.c_str());
    sysf_output.clear();
}

static void sysf_write(const std::string &name, const std::string &text) {
    std::ofstream(sysf_dir() + "/" + name, std::ios::binary) << text;
}

static std::string sysf_read(const std::string &name) {
    std::ifstream in(sysf_dir() + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

static void put_le32(std::string &bytes, size_t at, i64 v) {
    for (int b = 0; b < 4; b++) bytes[at + b] = (char)(((uint64_t)v >> (8 * b)) & 0xff);
}

static int sysf_command(const char *line) {
    std::string s = line;
    return system_command(s.data());
}

static ValueDescriptor *sysf_var(const char *name) {
    i64 g = lookup_name(name, 'G');
    if (g < 0 || global_name_table[g].kind != 'V') return nullptr;
    return &value_slot_table[global_name_table[g].index];
}

static const char *SYSF_VALUES =
    "&ints I 1 4\n1 _2 0n _0w\n&\n"
    "&flts E 2 2 2\n0.30000000000000004 1e_300 0nf _0wf\n&\n"
    "&txt C 1 5\n'it''''s'\n&\n"
    "&syms S 1 5\n`abc_ `'x y' ` `'a''b c' `q\n&\n"
    "&lst L 1 2\nI 0\n7\n&\nL 1 1\nC 1 2\n'hi'\n&\n&\n&\n"
    "&days D 1 3\n2024.05.17 0n 1900.01.01\n&\n"
    "&stamp Z 0\n2024.05.17T09:05:07.008\n&\n"
    "&stamps Z 1 2\n0n 2024.05.17T09:05:07\n&\n"
    "&cplx J 1 2\n1j2 _1.5j0\n&\n"
    "&cube T 3 2 1 2\n09:05:07.008 00:00:00.000 23:59:59.999 12:00:00.000\n&\n"
    "&mon M 1 1\n2024.05m\n&\n&mins U 1 2\n09:05 23:59\n&\n&secs V 1 1\n09:05:07\n&\n"
    "&flags B 1 3\n1 0 1\n&\n";

TEST(SystemScripts, OutAndFcopyRoundTripEveryType) {
    sysf_fresh();
    sysf_write("vals.vkp", SYSF_VALUES);
    ASSERT_EQ(0, load_script_file("vals", 1)) << sysf_output;
    ValueDescriptor *t = sysf_var("txt");
    ASSERT_TRUE(t);
    EXPECT_EQ(std::string("it''s"), std::string((char *)value_data(t), t->count));
    ValueDescriptor *f = sysf_var("flts");
    ASSERT_TRUE(f);
    double *fd = (double *)value_data(f);
    EXPECT_EQ(0.1 + 0.2, fd[0]);
    EXPECT_TRUE(std::isnan(fd[2]));
    i64 *syms = (i64 *)value_data(sysf_var("syms"));
    EXPECT_STREQ("abc_", symbol_text(syms[0]));
    EXPECT_STREQ("x y", symbol_text(syms[1]));
    EXPECT_EQ(0, syms[2]);
    EXPECT_STREQ("a'b c", symbol_text(syms[3]));
    EXPECT_EQ(INT64_MIN, ((i64 *)value_data(sysf_var("days")))[1]);   // the null date
    EXPECT_TRUE(std::isnan(((double *)value_data(sysf_var("stamps")))[0]));

    ASSERT_EQ(0, sysf_command("out first"));
    std::string first = sysf_read("first.vkp");
    sysf_fresh();
    ASSERT_EQ(0, load_script_file("first", 0)) << sysf_output;
    ASSERT_EQ(0, sysf_command("out second"));
    EXPECT_EQ(first, sysf_read("second.vkp"));
    // Reading the same file again reuses each name's slot.
    i64 before = lstvx;
    ASSERT_EQ(0, load_script_file("second", 1));
    EXPECT_EQ(before, lstvx);
}

TEST(SystemScripts, FunctionBlocksKeepTheirLines) {
    sysf_fresh();
    sysf_write("fn.vkp", "@.z<-f x\n:if x>0\n  z<-1\n:else\n\n  z<-2 // two\n:endif\n@.\n\n&v I 0\n4\n&\n");
    ASSERT_EQ(0, load_script_file("fn", 1)) << sysf_output;
    i64 g = lookup_name("f", 'G');
    ASSERT_GE(g, 0);
    FunctionText *ft = function_table[global_name_table[g].index].text;
    ASSERT_TRUE(ft);
    EXPECT_EQ(7, ft->typed_count);
    EXPECT_EQ(6, ft->fresh_count);
    ASSERT_EQ(0, sysf_command("out fo"));
    EXPECT_EQ("@.z<-f x\n:if x>0\n  z<-1\n:else\n\n  z<-2 // two\n:endif\n@.\n\n&v I 0\n4\n&\n", sysf_read("fo.vkp"));
}

TEST(SystemScripts, BadInputStopsCleanly) {
    sysf_fresh();
    // A block without its end, a count that does not match, huge dimensions.
    for (const char *text : {"&a I 1 3\n1 2\n", "&a I 1 2\n1 2 3\n&\n", "&a I 2 4294967296 4294967296\n&\n",
                             "&a I 1 _1\n&\n", "&a Q 1 1\n1\n&\n", "@.z<-g x\nz<-x\n", "&a I 1 1 extra\n1\n&\n",
                             // time texts get the literal's checks: no 13th month, no 45th day
                             "&a D 1 2\n2024.05.17 2024.13.45\n&\n", "&a U 1 1\n24:61\n&\n",
                             "&a Z 0\n2024.02.30T09:05:07.008\n&\n"}) {
        sysf_write("bad.vkp", text);
        sysf_output.clear();
        EXPECT_NE(0, load_script_file("bad", 1)) << text;
        EXPECT_EQ(nullptr, sysf_var("a")) << text;
    }
    // A script that copies itself stops at the nesting limit.
    sysf_write("loop.vkp", ")fcopy loop\n");
    sysf_output.clear();
    EXPECT_NE(0, load_script_file("loop", 1));
    EXPECT_NE(std::string::npos, sysf_output.find("Error: stack full"));
    // A 0xFF byte is text like any other.
    sysf_write("latin.vkp", "&a C 1 3\n'\xff" "b\xff'\n&\n&z I 0\n1\n&\n");
    EXPECT_EQ(0, load_script_file("latin", 1)) << sysf_output;
    EXPECT_TRUE(sysf_var("z"));
}

TEST(SystemScripts, LocationLineIsCutToFit) {
    sysf_fresh();
    std::string line(130, 'x');
    echo_error_line(line.c_str(), 7);
    EXPECT_EQ(std::string(97, 'x') + "...\n", sysf_output);
}

TEST(SystemCommands, FilePathRule) {
    sysf_fresh();
    char path[FILE_PATH_MAX + 1];
    std::string lib = library_path;
    EXPECT_EQ(0, make_file_path("  ws  // note", path, "vek"));
    EXPECT_EQ(lib + "/ws.vek", path);
    EXPECT_EQ(0, make_file_path("ws.old extra", path, "vek"));
    EXPECT_EQ(lib + "/ws.old", path);
    EXPECT_EQ(0, make_file_path("'/x/y z'", path, "vek"));
    EXPECT_STREQ("/x/y z", path);
    EXPECT_EQ(76, make_file_path("", path, "vek"));
    EXPECT_EQ(76, make_file_path("'abc", path, "vek"));
    EXPECT_EQ(76, make_file_path(("'/" + std::string(130, 'a') + "'").c_str(), path, "vek"));
    EXPECT_EQ(76, make_file_path(std::string(127, 'a').c_str(), path, "vek"));
}

TEST(SystemCommands, ColumnsWrapBelow108) {
    sysf_fresh();
    std::vector<std::string> names;
    for (int i = 0; i < 30; i++) names.push_back("name" + std::to_string(i * 7));
    std::vector<const char *> p;
    for (auto &n : names) p.push_back(n.c_str());
    print_name_array(p.data(), (i64)p.size(), 3, 0);
    std::istringstream in(sysf_output);
    std::string row;
    int rows = 0;
    while (std::getline(in, row)) {
        EXPECT_LT(row.size(), 108u);
        rows++;
    }
    EXPECT_GT(rows, 1);
    EXPECT_EQ(0u, sysf_output.find("name0 "));
}

static std::string sysf_listing() {
    sysf_output.clear();
    sysf_command("out listing");
    return sysf_read("listing.vkp");
}

TEST(SystemWorkspace, SaveLoadRoundTrip) {
    sysf_fresh();
    // Many symbols (past the first capacity) and a vector over 64 KB.
    std::string big = "&big I 1 20000\n";
    for (int i = 0; i < 20000; i++) big += std::to_string(i * 3) + (i % 400 == 399 ? "\n" : " ");
    big += "&\n&many S 1 2000\n";
    for (int i = 0; i < 2000; i++) big += "`s" + std::to_string(i) + (i % 100 == 99 ? "\n" : " ");
    big += "&\n";
    sysf_write("vals.vkp", std::string(SYSF_VALUES) + big);
    sysf_write("fn.vkp", "@.z<-f x\n:if x>0\n  z<-1\n:endif\n@.\n");
    ASSERT_EQ(0, load_script_file("vals", 1)) << sysf_output;
    ASSERT_EQ(0, load_script_file("fn", 1)) << sysf_output;
    std::string before = sysf_listing();
    i64 symbols = symbol_table.last;
    ASSERT_EQ(0, sysf_command("save round"));
    EXPECT_STREQ("round", workspace_name);
    sysf_fresh();
    ASSERT_EQ(0, sysf_command("load round")) << sysf_output;
    EXPECT_EQ(before, sysf_listing());
    EXPECT_EQ(symbols, symbol_table.last);
    EXPECT_STREQ("round", workspace_name);
}

TEST(SystemWorkspace, DamagedFilesLeaveTheWorkspace) {
    sysf_fresh();
    sysf_write("vals.vkp", SYSF_VALUES);
    ASSERT_EQ(0, load_script_file("vals", 1));
    ASSERT_EQ(0, sysf_command("save good"));
    std::string good = sysf_read("good.vek");
    std::string listing = sysf_listing();
    std::string path = sysf_dir() + "/bad.vek";
    auto refused = [&](const std::string &bytes) {
        sysf_write("bad.vek", bytes);
        int rc = load_workspace_file(path.c_str());
        if (rc != 0) {
            EXPECT_EQ(listing, sysf_listing());
        }
        return rc != 0;
    };
    for (size_t n = 0; n < good.size(); n += 1 + n / 64) EXPECT_TRUE(refused(good.substr(0, n))) << n;
    EXPECT_TRUE(refused(good + "x"));
    // The check word refuses every flip; without it (as in a file from
    // before it was written, whose header says so) some flips land in
    // plain data, and none may crash.
    size_t words = good.find("\n\n") + 2;
    std::string unchecked = good.substr(0, good.size() - 8);
    put_le32(unchecked, words + 4, WORKSPACE_UNCHECKED_DATE);
    for (size_t i = 250; i < good.size() - 8; i += 37) {
        std::string flipped = good;
        flipped[i] ^= 0x5a;
        EXPECT_TRUE(refused(flipped)) << i;
        flipped = unchecked;
        flipped[i] ^= 0x5a;
        refused(flipped);
        if (sysf_listing() != listing) {
            ASSERT_EQ(0, load_workspace_file((sysf_dir() + "/good.vek").c_str()));
        }
    }
    EXPECT_EQ(302, load_workspace_file((sysf_write("bad.vek", "MyVeK old\n"), path).c_str()));
    EXPECT_EQ(302, load_workspace_file((sysf_write("bad.vek", "plain text\n"), path).c_str()));
    std::string v5 = good;
    v5[words] = 5;
    sysf_output.clear();
    EXPECT_EQ(36, load_workspace_file((sysf_write("bad.vek", v5), path).c_str()));
    EXPECT_EQ("Error: workspace version (5 20261209), current (6 20261209)", sysf_output);
    std::string huge = good;
    huge[words + 12] = 0x7f;   // the first table count
    EXPECT_TRUE(refused(huge));
    EXPECT_EQ(listing, sysf_listing());
}

TEST(SystemWorkspace, FailedSaveKeepsTheLastGoodFile) {
    sysf_fresh();
    sysf_write("vals.vkp", SYSF_VALUES);
    ASSERT_EQ(0, load_script_file("vals", 1));
    ASSERT_EQ(0, sysf_command("save kept"));
    std::string good = sysf_read("kept.vek");
    EXPECT_EQ(300, save_workspace_file((sysf_dir() + "/no/such/dir/x.vek").c_str()));
    if (geteuid() != 0) {
        chmod(sysf_dir().c_str(), 0555);
        EXPECT_EQ(300, save_workspace_file((sysf_dir() + "/kept.vek").c_str()));
        chmod(sysf_dir().c_str(), 0755);
    }
    EXPECT_EQ(good, sysf_read("kept.vek"));
}

static std::string sysf_line(const char *line) {
    std::string s = line;
    sysf_output.clear();
    execute_input_line(s.data());
    return sysf_output;
}

TEST(SystemSession, TimeShowsOnlyTheElapsedTime) {
    sysf_fresh();
    // No value and no inner prompt: only the time and the outer prompt.
    std::string out = sysf_line(")time 1+2");
    ASSERT_TRUE(out.size() > 9 && out.compare(out.size() - 9, 9, "ms\n      ") == 0) << out;
    std::string elapsed = out.substr(0, out.size() - 9);
    EXPECT_EQ(std::string::npos, elapsed.find_first_not_of("0123456789")) << out;
    EXPECT_EQ(0, prompt_suppress);
    sysf_line(")time t<-7");
    ValueDescriptor *t = sysf_var("t");
    ASSERT_TRUE(t);
    EXPECT_EQ(7, t->dim0);
    // A failing line gets its report and no time.
    out = sysf_line(")time 1+nothere");
    EXPECT_NE(std::string::npos, out.find("Error: value error")) << out;
    EXPECT_EQ(std::string::npos, out.find("ms\n")) << out;
    EXPECT_EQ(0, prompt_suppress);
}

TEST(SystemSession, FailedLoadKeepsTheWorkspace) {
    sysf_fresh();
    sysf_line("keep<-5");
    sysf_line(")wsid mine");
    EXPECT_EQ("Error: the file does not exist\n      ", sysf_line(")load nosuch"));
    sysf_write("junk.vek", "**\n*****\n\nshort");
    EXPECT_EQ("Error: reading file error\n      ", sysf_line(")load junk"));
    ValueDescriptor *k = sysf_var("keep");
    ASSERT_TRUE(k);
    EXPECT_EQ(5, k->dim0);
    EXPECT_STREQ("mine", workspace_name);
}

TEST(SystemSession, LoadRunsTheLatentExpression) {
    sysf_fresh();
    sysf_line("[]LX<-'ran<-42'");
    sysf_line(")save latent");
    sysf_line(")clear");
    EXPECT_EQ(nullptr, sysf_var("ran"));
    sysf_line(")load latent");
    ValueDescriptor *r = sysf_var("ran");
    ASSERT_TRUE(r) << sysf_output;
    EXPECT_EQ(42, r->dim0);
}

TEST(SystemSession, SavedFileHasAnOrdinaryMode) {
    sysf_fresh();
    sysf_line("v<-1");
    ASSERT_EQ(0, sysf_command("save modes"));
    std::string path = sysf_dir() + "/modes.vek";
    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(0666 & ~mask, st.st_mode & 0777);
    // Saving over a file keeps that file's mode.
    chmod(path.c_str(), 0640);
    ASSERT_EQ(0, sysf_command("save modes"));
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 0777);
}

// A device is not a script file: )OUT refuses it at the open (a full disk
// met while writing is in the file functions' tests).
TEST(SystemSession, OutRefusesADevice) {
    sysf_fresh();
    sysf_write("big.vkp", "&v I 1 3\n1 2 3\n&\n");
    ASSERT_EQ(0, load_script_file("big", 1));
    sysf_output.clear();
    EXPECT_EQ(76, sysf_command("out '/dev/full'"));
    EXPECT_EQ("Error: path error\n", sysf_output);
}

TEST(SystemSession, LikeSelfTestSplitsItsOutput) {
    sysf_fresh();
    // Matches go to the standard output, failures to the session.
    fflush(stdout);
    std::string path = sysf_dir() + "/like.out";
    int saved = dup(1);
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    dup2(fileno(f), 1);
    int rc = sysf_command("like anything");
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    fclose(f);
    EXPECT_EQ(0, rc);
    std::string match;
    for (int i = 0; i < 6; i++) match += "Match succeed at offset 0\n\n";
    EXPECT_EQ(match, sysf_read("like.out"));
    EXPECT_EQ("failed2\nfailed2\n", sysf_output);
}

static void sysf_put_word64(std::string &bytes, size_t at, i64 v) {
    for (int b = 0; b < 8; b++) bytes[at + b] = (char)(((uint64_t)v >> (8 * b)) & 0xff);
}

static i64 sysf_get_word32(const std::string &bytes, size_t at) {
    uint32_t u = 0;
    for (int b = 0; b < 4; b++) u |= (uint32_t)(unsigned char)bytes[at + b] << (8 * b);
    return (int32_t)u;
}

// Files whose records hold together in size but point outside the tables:
// a suspended call's local bound to a slot past the end, a function with a
// valence no call knows. Each is refused before anything can use it.
TEST(SystemWorkspace, ReferencesOutsideTheTablesAreRefused) {
    sysf_fresh();
    sysf_line("{deep: n<-x; z<-n+missing}");
    sysf_line("deep 2");
    ASSERT_EQ(0, sysf_command("save refs"));
    // Without the check word, so that the reference checks refuse.
    std::string good = sysf_read("refs.vek");
    good.resize(good.size() - 8);
    std::string path = sysf_dir() + "/refs_bad.vek";
    size_t locals = good.find("\n\n") + 2 + 8 + 4;
    i64 lstnx = sysf_get_word32(good, locals);
    ASSERT_GE(lstnx, 0);
    for (i64 e = 0; e <= lstnx; e++) {
        std::string bad = good;
        sysf_put_word64(bad, locals + 4 + 32 * e + 16, (i64)1 << 40);
        sysf_write("refs_bad.vek", bad);
        EXPECT_EQ(301, load_workspace_file(path.c_str())) << e;
    }
    size_t globals = locals + 4 + 32 * (lstnx + 1);
    i64 lstgx = sysf_get_word32(good, globals);
    size_t functions = globals + 4 + 32 * (lstgx + 1);
    std::string bad = good;
    sysf_put_word64(bad, functions + 4 + 136 * FIRST_USER_FUNCTION, 5);
    sysf_write("refs_bad.vek", bad);
    EXPECT_EQ(301, load_workspace_file(path.c_str()));
    // The untouched file still loads, with the local in place.
    ASSERT_EQ(0, load_workspace_file((sysf_dir() + "/refs.vek").c_str()));
    EXPECT_EQ("2000\n      ", sysf_line("n*1000"));
}

TEST(SystemSession, OutTakesAQuotedPathWithBlanks) {
    sysf_fresh();
    sysf_line("v<-1 2");
    std::string cmd = ")out '" + sysf_dir() + "/with blank.vkp' v";
    EXPECT_EQ("v\n      ", sysf_line(cmd.c_str()));
    EXPECT_EQ("&v I 1 2\n1 2\n&\n", sysf_read("with blank.vkp"));
}

TEST(SystemSession, OutStopsAtAnUnknownName) {
    sysf_fresh();
    sysf_line("a<-1");
    sysf_line("{f: z<-x}");
    sysf_line("b<-2");
    EXPECT_EQ("a f\n      ", sysf_line(")out named a f"));
    EXPECT_EQ("ainvalid name found: nothing\n      ", sysf_line(")out part a nothing b"));
    EXPECT_EQ(36, error_number);
    // The file keeps what was written before the unknown name.
    EXPECT_EQ("&a I 0\n1\n&\n", sysf_read("part.vkp"));
    EXPECT_EQ("invalid name found: IO\n      ", sysf_line(")out sys IO"));
}

TEST(SystemScripts, NulEndsTheStoredLine) {
    sysf_fresh();
    sysf_write("nul.vkp", std::string("&a I 0\n4\0 junk\n&\n&b I 1 2\n5 6\n&\n", 31));
    ASSERT_EQ(0, load_script_file("nul", 1)) << sysf_output;
    ValueDescriptor *a = sysf_var("a");
    ASSERT_TRUE(a);
    EXPECT_EQ(4, a->dim0);
    EXPECT_TRUE(sysf_var("b"));
}

TEST(SystemSession, LongBaseNameIsKeptWhole) {
    sysf_fresh();
    sysf_line("v<-1");
    std::string base(100, 'w');
    ASSERT_LE(strlen(library_path) + 1 + base.size() + 4, (size_t)FILE_PATH_MAX);
    ASSERT_EQ(0, sysf_command(("save " + base).c_str())) << sysf_output;
    EXPECT_EQ(base, workspace_name);
    workspace_name[0] = 0;
    ASSERT_EQ(0, sysf_command(("load " + base).c_str())) << sysf_output;
    EXPECT_EQ(base, workspace_name);
}

// )OUT writes beside its target and renames: the old script is replaced
// whole, and no temporary file is left behind either way.
TEST(SystemScripts, OutReplacesTheScriptWholeAndLeavesNoTemporary) {
    sysf_fresh();
    sysf_write("old.vkp", std::string(20000, 'x') + "\n");
    ASSERT_EQ(0, sysf_command("out old"));
    std::string first = sysf_read("old.vkp");
    EXPECT_EQ(std::string::npos, first.find('x'));
    std::string bad = "out '" + sysf_dir() + "/no/such/dir/s.vkp'";
    EXPECT_EQ(76, sysf_command(bad.c_str()));
    DIR *d = opendir(sysf_dir().c_str());
    ASSERT_TRUE(d);
    while (dirent *e = readdir(d)) EXPECT_EQ(nullptr, strstr(e->d_name, ".vkp.")) << e->d_name;
    closedir(d);
}
