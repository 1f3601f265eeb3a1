// The workspace file as a reader of untrusted files and a writer that
// agrees with it: values whose shape, booleans, symbols or enumeration
// positions do not hold together, calls suspended on lines their function
// lacks, damaged bytes, files that are not regular files, links and
// unwritable targets, and the memory a large workspace takes to save and
// load.
#include "interpreter_fixture.h"
#include "core/names.h"
#include "core/symbols.h"
#include "system/commands.h"
#include "system/scripts.h"
#include "system/workspace_file.h"
#include "core/timecode.h"
#include "core/workspace.h"
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class WorkspaceChecks : public ScratchDirFixture {
protected:
    void SetUp() override {
        ScratchDirFixture::SetUp();
        snprintf(library_path, sizeof library_path, "%s", dir.c_str());
    }
    std::string path(const std::string &name) { return dir + "/" + name; }
    std::string read(const std::string &name) {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void write(const std::string &name, const std::string &bytes) {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    // A saved file as one from before the check word: its header's date is
    // the earlier one and the word is not there.
    static std::string unchecked(std::string bytes) {
        bytes.resize(bytes.size() - 8);
        size_t date = bytes.find("\n\n") + 2 + 4;
        for (int b = 0; b < 4; b++) bytes[date + b] = (char)((WORKSPACE_UNCHECKED_DATE >> (8 * b)) & 0xff);
        return bytes;
    }
    // A file that differs from a saved one in its records, without the check
    // word: only the record checks can refuse it.
    int load_patched(const std::string &bytes) {
        write("patched.vek", unchecked(bytes));
        return load_workspace_file(path("patched.vek").c_str());
    }
    static size_t find_words(const std::string &bytes, std::initializer_list<i64> words) {
        std::string pattern;
        for (i64 w : words)
            for (int b = 0; b < 8; b++) pattern += (char)(((uint64_t)w >> (8 * b)) & 0xff);
        return bytes.find(pattern);
    }
    static void put_word(std::string &bytes, size_t at, i64 v) {
        for (int b = 0; b < 8; b++) bytes[at + b] = (char)(((uint64_t)v >> (8 * b)) & 0xff);
    }
    // A global variable made straight from a descriptor.
    static i64 variable(const char *name, const ValueDescriptor &d) {
        i64 g = add_name_entry(name, 'G');
        EXPECT_GE(g, 0);
        EXPECT_EQ(assign_to_slot(global_name_table[g].index, &d), 0);
        return global_name_table[g].index;
    }
};

// Each record check refuses a file that the check word alone would catch
// too, and leaves the workspace as it was.
TEST_F(WorkspaceChecks, ValuesThatDoNotHoldTogetherAreRefused) {
    write("vals.vkp", "&mat I 2 2 2\n11 12 13 14\n&\n&flags B 1 3\n1 0 1\n&\n&syms S 1 2\n`p `q\n&\n");
    ASSERT_EQ(0, load_script_file("vals", 1)) << captured_output();
    run("{two: z<-x+1 2+1 2 3}");
    run("two 5");
    ASSERT_EQ(0, save_workspace_file(path("good.vek").c_str()));
    std::string good = read("good.vek");
    run("keep<-99");
    std::string listing = run(")vars");

    size_t mat = find_words(good, {T_INT, 2, 2, 2});
    ASSERT_NE(mat, std::string::npos);
    std::string bad = good;
    put_word(bad, mat + 16, 1000);   // claims 1000x2 with 4 items stored
    EXPECT_EQ(301, load_patched(bad));
    bad = good;
    put_word(bad, mat + 40, 5);      // 5 items for a 2x2 shape
    EXPECT_EQ(301, load_patched(bad));

    size_t flags = find_words(good, {T_BOOL, 1, 3});
    ASSERT_NE(flags, std::string::npos);
    bad = good;
    put_word(bad, flags + 64 + 8, 2);   // the booleans 1 2 1
    EXPECT_EQ(301, load_patched(bad));

    size_t syms = find_words(good, {T_SYMBOL, 1, 2});
    ASSERT_NE(syms, std::string::npos);
    bad = good;
    put_word(bad, syms + 64, symbol_table.last + 1);   // a symbol the table lacks
    EXPECT_EQ(301, load_patched(bad));

    // The suspended call of the two-line function, moved to line 232.
    i64 row = global_name_table[lookup_name("two", 'G')].index;
    size_t si = find_words(good, {-1, 0, row, 1});
    ASSERT_NE(si, std::string::npos);
    bad = good;
    put_word(bad, si + 24, 232);
    EXPECT_EQ(301, load_patched(bad));

    EXPECT_EQ(listing, run(")vars"));
    EXPECT_EQ(run("keep"), "99\n");
    // The file itself, without its check word, still loads.
    EXPECT_EQ(0, load_patched(good));
    EXPECT_EQ(run("mat"), "11 12\n13 14\n");
}

// The check word catches what the record checks cannot: a changed item.
TEST_F(WorkspaceChecks, EveryChangedByteIsRefused) {
    run("v<-1 2 3 4 5");
    run("t<-'some text'");
    run("{f: z<-x*2}");
    ASSERT_EQ(0, save_workspace_file(path("good.vek").c_str()));
    std::string good = read("good.vek");
    write("bad.vek", good);
    // Changed in place, one byte at a time.
    FILE *f = fopen(path("bad.vek").c_str(), "r+b");
    ASSERT_TRUE(f);
    for (size_t i = 0; i < good.size(); i++) {
        fseek(f, (long)i, SEEK_SET);
        fputc(good[i] ^ (1 << (i % 8)), f);
        fflush(f);
        ASSERT_NE(0, load_workspace_file(path("bad.vek").c_str())) << "byte " << i;
        fseek(f, (long)i, SEEK_SET);
        fputc(good[i], f);
    }
    fclose(f);
    EXPECT_EQ(run("v"), "1 2 3 4 5\n");
}

// Dictionaries, keyed tables, tables and enumerations come back as they
// were; parts that do not fit together are refused. An enumeration finds
// its domain by name, so one whose domain has since shrunk is a state the
// session shows (its positions as numbers) and the file keeps.
TEST_F(WorkspaceChecks, KeyedValuesAndEnumerations) {
    run("dom<-`red`green`blue");
    run("paint<-`dom:`blue`red`green`blue");
    run("d<-`a`b:1 2");
    run("t<-([] n<-1 2 3; s<-`x`y`z)");
    run("kt<-([k<-`p`q] v<-10 20)");
    std::string shown;
    for (const char *name : {"paint", "d", "t", "kt"}) shown += run(name);
    ASSERT_EQ(shown.find("Error"), std::string::npos) << shown;
    ASSERT_EQ(0, save_workspace_file(path("keyed.vek").c_str()));
    std::string good = read("keyed.vek");
    run(")clear");
    ASSERT_EQ(0, load_workspace_file(path("keyed.vek").c_str()));
    std::string again;
    for (const char *name : {"paint", "d", "t", "kt"}) again += run(name);
    EXPECT_EQ(shown, again);

    i64 blue = symbol_table.last;
    size_t at = find_words(good, {T_ENUM, 1, 4});
    ASSERT_NE(at, std::string::npos);
    std::string bad = good;
    put_word(bad, at + 64 + 16, -1);                   // a position below the domain
    EXPECT_EQ(301, load_patched(bad));
    bad = good;
    put_word(bad, at + 64, blue + 1000);              // a domain name the table lacks
    EXPECT_EQ(301, load_patched(bad));
    size_t columns = find_words(good, {T_LIST, 1, 2, 0, 0, 2, 3});
    ASSERT_NE(columns, std::string::npos);
    bad = good;
    put_word(bad, columns + 48, 2);                   // 2 rows for columns of 3 items
    EXPECT_EQ(301, load_patched(bad));
    EXPECT_EQ(0, load_patched(good));
    EXPECT_EQ(again, run("paint") + run("d") + run("t") + run("kt"));

    run("dom<-`red`green");
    std::string shrunk = run("paint");
    ASSERT_EQ(0, save_workspace_file(path("keyed.vek").c_str()));
    run(")clear");
    ASSERT_EQ(0, load_workspace_file(path("keyed.vek").c_str()));
    EXPECT_EQ(run("paint"), shrunk);
}

// Only regular files are read; a device, a directory or a pipe is refused
// at once, before anything is cleared or read.
TEST_F(WorkspaceChecks, OnlyRegularFilesAreRead) {
    run("keep<-1");
    ASSERT_EQ(0, mkfifo(path("pipe.vek").c_str(), 0600));
    EXPECT_EQ(301, load_workspace_file("/dev/zero"));
    EXPECT_EQ(301, load_workspace_file(dir.c_str()));
    EXPECT_EQ(301, load_workspace_file(path("pipe.vek").c_str()));
    EXPECT_EQ(500, load_workspace_file(path("none.vek").c_str()));
    EXPECT_EQ(run(")fload '/dev/zero'"), "Error: wrong path or file name\n");
    EXPECT_EQ(run((")fcopy '" + path("pipe.vek") + "'").c_str()), "Error: wrong path or file name\n");
    EXPECT_EQ(run("keep"), "1\n");
    // A sparse file of 3 GB: a header no workspace has, a line no script has.
    std::string sparse = path("sparse.vkp");
    ASSERT_EQ(0, truncate((write("sparse.vkp", ""), sparse).c_str(), (off_t)3 << 30));
    EXPECT_EQ(302, load_workspace_file(sparse.c_str()));
    EXPECT_EQ(run(")fcopy sparse"), "Error: reading file error\n[*ln1] \n-->(" + sparse + ")\n");
    EXPECT_EQ(run("keep"), "1\n");
}

// A script the reader refuses is refused before anything runs or is
// cleared: )FLOAD of it keeps the workspace and its name, as )LOAD does.
TEST_F(WorkspaceChecks, RefusedScriptsLeaveTheWorkspace) {
    run(")wsid mine");
    run("keep<-42");
    write("long.vkp", "keep<-0\n" + std::string((size_t)2 << 20, 'x') + "\nkeep<-1\n");
    std::string sparse = path("sparse.vkp");
    ASSERT_EQ(0, truncate((write("sparse.vkp", ""), sparse).c_str(), (off_t)3 << 30));
    for (const char *cmd : {")fload long", ")fcopy long"})
        EXPECT_EQ(run(cmd), "Error: reading file error\n[*ln2] \n-->(" + path("long.vkp") + ")\n") << cmd;
    EXPECT_EQ(run(")fload sparse"), "Error: reading file error\n[*ln1] \n-->(" + sparse + ")\n");
    EXPECT_EQ(run("keep"), "42\n");
    EXPECT_EQ(run(")wsid"), "mine\n");
    // A line as long as the reader takes still runs.
    write("edge.vkp", "keep<-7 // " + std::string((size_t)(1 << 20) - 11, 'x') + "\n");
    EXPECT_NE(run(")fcopy edge").find("saved "), std::string::npos);
    EXPECT_EQ(run("keep"), "7\n");
}

// A file says by its header's date whether it ends with a check word, and
// then must: one cut before it is refused. Behind no check word (a file of
// the earlier date) the records are checked all the same: time items out
// of their ranges and system variables their assignment refuses are
// refused; the fill that take pads time values with is not.
TEST_F(WorkspaceChecks, CheckWordAndTimeRangesAreRequired) {
    run("m<-2022.05m");
    run("ms<-2022.01m 2022.02m");
    run("ds<-2021.07.13 2021.07.14");
    run("tm<-09:05:07.008");
    run("mins<-09:05 10:30");
    run("dt<-2024.05.17T09:05:07.008");
    run("[]PP<-13");
    run("[]RL<-987654321");
    run("[]IO<-5");   // checked where it is used, as its assignment allows it
    run("pads<-(5^.2022.01m;3^.2024.05.17;2^.2024.05.17T09:05:07.008)");
    std::string shown;
    for (const char *name : {"m", "ms", "ds", "tm", "mins", "dt", "[]PP", "[]RL", "[]IO", "pads"}) shown += run(name);
    ASSERT_EQ(shown.find("Error"), std::string::npos) << shown;
    ASSERT_EQ(0, save_workspace_file(path("good.vek").c_str()));
    std::string good = read("good.vek");
    run(")clear");
    ASSERT_EQ(0, load_workspace_file(path("good.vek").c_str()));
    std::string again;
    for (const char *name : {"m", "ms", "ds", "tm", "mins", "dt", "[]PP", "[]RL", "[]IO", "pads"}) again += run(name);
    EXPECT_EQ(shown, again);
    run("keep<-99");

    // The check word is required by the date, and the date must be known.
    write("cut.vek", good.substr(0, good.size() - 8));
    EXPECT_EQ(301, load_workspace_file(path("cut.vek").c_str()));
    std::string other = good;
    size_t date = good.find("\n\n") + 2 + 4;
    other[date] ^= 1;
    write("other.vek", other);
    EXPECT_EQ(302, load_workspace_file(path("other.vek").c_str()));
    // Files of the earlier date load, with their check word or without it.
    std::string earlier = unchecked(good);
    write("earlier.vek", earlier);
    EXPECT_EQ(0, load_workspace_file(path("earlier.vek").c_str()));
    EXPECT_EQ(shown, run("m") + run("ms") + run("ds") + run("tm") + run("mins") + run("dt") + run("[]PP") +
                         run("[]RL") + run("[]IO") + run("pads"));
    run("keep<-99");

    auto refused = [&](std::initializer_list<i64> words, size_t offset, i64 value) {
        size_t at = find_words(good, words);
        EXPECT_NE(at, std::string::npos);
        if (at == std::string::npos) return;
        std::string bad = good;
        put_word(bad, at + offset, value);
        EXPECT_EQ(301, load_patched(bad)) << "value " << value;
    };
    refused({T_MONTH, 0, 202205}, 16, 202283);                       // month 83
    refused({T_MONTH, 1, 2}, 64, 202213);                            // month 13 in a vector
    refused({T_MONTH, 1, 2}, 64, 190000);
    refused({T_DATE, 1, 2}, 64 + 8, 20217733);                      // day 33 of month 77
    refused({T_DATE, 1, 2}, 64, 20230229);                          // no 29 February in 2023
    refused({T_TIME, 0, 32707008}, 16, MS_PER_DAY);                 // past the day's end
    refused({T_MINUTE, 1, 2}, 64, -1);
    double dt = 0, month_13 = 20241317.0 * (double)MS_PER_DAY;
    i64 unused, dt_bits, bad_bits;
    ASSERT_EQ(read_time_text("2024.05.17T09:05:07.008", T_DATETIME, &unused, &dt), 23);
    memcpy(&dt_bits, &dt, 8);
    memcpy(&bad_bits, &month_13, 8);
    refused({T_DATETIME, 0, dt_bits}, 16, bad_bits);                // a datetime in month 13
    refused({T_INT, 0, 13}, 16, 0);                                 // []PP 0
    refused({T_INT, 0, 987654321}, 16, -5);                          // []RL below 1
    refused({T_INT, 0, 987654321}, 0, T_FLOAT);
    // []IO undefined: its item comes just before the two words of the
    // predefined names.
    size_t io = good.find(std::string("\x0f\0\0\0\x06\0\0\0", 8));
    ASSERT_NE(io, std::string::npos);
    std::string bad = good;
    put_word(bad, io - 64 + 8, -1);
    put_word(bad, io - 8, 0);
    EXPECT_EQ(301, load_patched(bad));
    EXPECT_EQ(run("keep"), "99\n");
}

static long peak_kb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return atol(line.c_str() + 6);
    return -1;
}

static long resident_kb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return atol(line.c_str() + 6);
    return -1;
}

// The peak is measured from here on.
static bool reset_peak() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
    return f.good();
}

// Saving and loading stream through a small buffer: a large workspace
// takes little more memory than its data, both ways. Each direction runs
// in a child of its own, so that nothing else moves the peak.
TEST_F(WorkspaceChecks, LargeWorkspacesStream) {
    if (!reset_peak() || peak_kb() < 0) GTEST_SKIP() << "no peak memory figure on this system";
    const char *mb_text = getenv("VEK_WORKSPACE_TEST_MB");
    i64 mb = mb_text ? atoll(mb_text) : 96;
    i64 n = mb * 1024 * 1024 / 8;
    std::string file = path("big.vek");
    auto in_child = [](const std::function<double()> &measure, double limit, const char *what) {
        fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            double ratio = measure();
            printf("%s: peak %.3f times the data\n", what, ratio);
            fflush(stdout);
            _exit(ratio >= 0 && ratio < limit ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    double data = (double)n * 8 / 1024;   // kB
    EXPECT_TRUE(in_child([&] {
        ValueDescriptor d = vec(T_INT, n);
        for (i64 i = 0; i < n; i++) ((i64 *)d.data)[i] = i * 7;
        i64 g = add_name_entry("big", 'G');
        i64 s = global_name_table[g].index;
        value_slot_table[s] = d;
        long before = resident_kb();
        reset_peak();
        if (save_workspace_file(file.c_str()) != 0) return -1.0;
        return (peak_kb() - before) / data;
    }, 0.1, "save"));
    EXPECT_TRUE(in_child([&] {
        clear_workspace(1);
        long before = resident_kb();
        reset_peak();
        if (load_workspace_file(file.c_str()) != 0) return -1.0;
        double ratio = (peak_kb() - before) / data;
        const ValueDescriptor *v = &value_slot_table[global_name_table[lookup_name("big", 'G')].index];
        if (v->count != n || ((const i64 *)v->data)[n - 1] != (n - 1) * 7) return -1.0;
        return ratio;
    }, 1.3, "load"));
}

// What a reader refuses its writer refuses to write: a list nested deeper
// than the readers take, text with a line break inside, a date whose text
// reads back as another. Such a value stops )SAVE and )OUT with 300 and
// leaves the files as they were; one at the limit goes through both ways.
TEST_F(WorkspaceChecks, WritersRefuseWhatTheirReadersRefuse) {
    auto nested = [](int depth) {
        ValueDescriptor v = ints({1, 2});
        for (int i = 0; i < depth; i++) v = list({v});
        return v;
    };
    auto starts = [](const std::string &text, const std::string &start) { return text.rfind(start, 0) == 0; };
    variable("deep", nested(64));
    ASSERT_EQ(run(")out keep deep"), "deep\n");
    ASSERT_TRUE(starts(run(")save keep"), "20")) << captured_output();
    std::string shown = run("deep");
    run(")clear");
    ASSERT_TRUE(starts(run(")fcopy keep"), "saved ")) << captured_output();
    EXPECT_EQ(run("deep"), shown);
    run(")clear");
    ASSERT_TRUE(starts(run(")load keep"), "saved ")) << captured_output();
    EXPECT_EQ(run("deep"), shown);
    std::string script = read("keep.vkp"), saved = read("keep.vek");

    run(")clear");
    variable("deeper", nested(65));
    run("a<-1");
    EXPECT_EQ(run(")out keep a deeper"), "a\nError: writing file error\n");
    EXPECT_EQ(run(")out keep"), "Error: writing file error\n");
    EXPECT_EQ(run(")save keep"), "Error: writing file error\n");
    run(")clear");
    variable("text", chars("two\nlines"));
    EXPECT_EQ(run(")out keep text"), "Error: writing file error\n");
    run(")clear");
    ValueDescriptor day = ints({20240517, -5});
    day.type = T_DATE;
    variable("days", day);
    EXPECT_EQ(run(")out keep days"), "Error: writing file error\n");
    EXPECT_EQ(script, read("keep.vkp"));
    EXPECT_EQ(saved, read("keep.vek"));
}

// )SAVE and )OUT write through a symbolic link to its target, and refuse
// a file the user may not write even where the directory would let them
// put another in its place.
TEST_F(WorkspaceChecks, SavesFollowLinksAndRespectTheTarget) {
    run("v<-1 2 3");
    ASSERT_EQ(0, mkdir(path("real").c_str(), 0755));
    ASSERT_EQ(0, symlink("real/ws.vek", path("link.vek").c_str()));
    ASSERT_EQ(0, symlink("real/out.vkp", path("out.vkp").c_str()));
    for (int round = 0; round < 2; round++) {   // the target made, then replaced
        ASSERT_EQ(0, save_workspace_file(path("link.vek").c_str()));
        ASSERT_EQ(run(")out out v"), "v\n");
        struct stat st;
        ASSERT_EQ(0, lstat(path("link.vek").c_str(), &st));
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        ASSERT_EQ(0, lstat(path("out.vkp").c_str(), &st));
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(read("real/out.vkp"), "&v I 1 3\n1 2 3\n&\n");
        run(")clear");
        ASSERT_EQ(0, load_workspace_file(path("real/ws.vek").c_str()));
        EXPECT_EQ(run("v"), "1 2 3\n");
    }

    // Someone else's file in a directory open to all: as that user would.
    write("theirs.vek", "not yours\n");
    write("theirs.vkp", "not yours\n");
    chmod(path("theirs.vek").c_str(), 0444);
    chmod(path("theirs.vkp").c_str(), 0444);
    chmod(dir.c_str(), 0777);
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        bool refused = save_workspace_file(path("theirs.vek").c_str()) == 300 &&
                       run(")out theirs v") == "Error: path error\n";
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(read("theirs.vek"), "not yours\n");
    EXPECT_EQ(read("theirs.vkp"), "not yours\n");
}
