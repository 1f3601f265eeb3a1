// Files that are not what a file function expects: pipes and devices
// (which could wait for ever or never end), links that go round in a loop,
// names no one could type back, temporaries a killed save left behind, and
// reads and writes stopped by an interrupt. Each is answered at once, and
// the session and its files stay as they were.
#include "interpreter_fixture.h"
#include "core/interrupt.h"
#include "system/file_replace.h"
#include "platform/platform.h"
#include "core/names.h"
#include "system/csv.h"
#include "system/export.h"
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class FileKinds : public ScratchDirFixture {
protected:
    void SetUp() override {
        ScratchDirFixture::SetUp();
        snprintf(library_path, sizeof library_path, "%s", dir.c_str());
    }
    void TearDown() override {
        clear_interrupt();
        ScratchDirFixture::TearDown();
    }
    std::string path(const std::string &name) { return dir + "/" + name; }
    void write(const std::string &name, const std::string &bytes) {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string read(const std::string &name) {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::set<std::string> listing() {
        std::set<std::string> names;
        DIR *d = opendir(dir.c_str());
        while (struct dirent *e = d ? readdir(d) : nullptr)
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.insert(e->d_name);
        if (d) closedir(d);
        return names;
    }
    bool is_link(const std::string &name) {
        struct stat st;
        return lstat(path(name).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }
    static std::string at(const char *line, const std::string &error, int caret = 0) {
        return "Error: " + error + "\n      " + line + "\n      " + std::string(caret, ' ') + "^\n";
    }
};

// Every file function and command on a pipe, with no process at its other
// end and with one: each answers within a second with its error, in a
// child that an alarm ends should one wait, and the session goes on.
TEST_F(FileKinds, PipesAreRefusedAtOnce) {
    for (const char *name : {"p.csv", "p.txt", "p.vek", "p.vkp"})
        ASSERT_EQ(0, mkfifo(path(name).c_str(), 0600)) << name;
    run("p<-([] a<-1 2)");
    run("keep<-42");
    const std::vector<std::pair<const char *, std::string>> cases = {
        {"[]CSV ('p.csv';'S')", "file not found\n\n      []CSV ('p.csv';'S')\n      ^\n"},
        {"[]get 'p.txt'", at("[]get 'p.txt'", "path error")},
        {"[]open 'p.txt'", at("[]open 'p.txt'", "path error")},
        {"[]write 'p.csv'", at("[]write 'p.csv'", "path error")},
        {"[]write 'p.txt'", at("[]write 'p.txt'", "path error")},
        {")save p", "Error: writing file error\n"},
        {")out p", "Error: path error\n"},
        {")load p", "Error: reading file error\n"},
        {")fload p", "Error: wrong path or file name\n"},
        {")fcopy p", "Error: wrong path or file name\n"},
    };
    for (int with_reader = 0; with_reader < 2; with_reader++) {
        // A reader on each pipe: a write would open, and then must be refused.
        std::vector<int> readers;
        if (with_reader)
            for (const char *name : {"p.csv", "p.txt", "p.vek", "p.vkp"})
                readers.push_back(open(path(name).c_str(), O_RDONLY | O_NONBLOCK));
        fflush(stdout);
        fflush(stderr);
        pid_t pid = fork();
        if (pid == 0) {
            alarm(10);
            int failures = 0;
            for (const auto &c : cases) {
                int64_t start = platform_monotonic_ms();
                std::string got = run(c.first);
                int64_t took = platform_monotonic_ms() - start;
                if (got != c.second || took > 1000) {
                    fprintf(stderr, "%s (%lld ms)\n--- expected\n%s--- got\n%s", c.first, (long long)took,
                            c.second.c_str(), got.c_str());
                    failures++;
                }
            }
            if (run("keep") != "42\n") failures++;
            _exit(failures ? 1 : 0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "reader " << with_reader << ", status " << status;
        for (int fd : readers) close(fd);
    }
    struct stat st;
    ASSERT_EQ(0, lstat(path("p.vek").c_str(), &st));
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Devices are neither read nor written: /dev/zero never ends, and a write
// to a device other than a terminal is no file at all.
TEST_F(FileKinds, DevicesAreRefused) {
    run("zero<-([] a<-1 2)");
    EXPECT_EQ(run("[]get '/dev/zero'"), at("[]get '/dev/zero'", "path error"));
    EXPECT_EQ(run("[]get '/dev/urandom'"), at("[]get '/dev/urandom'", "path error"));
    ASSERT_EQ(0, symlink("/dev/zero", path("zero.csv").c_str()));
    EXPECT_EQ(run("[]CSV ('zero.csv';'I')"), "file not found\n\n      []CSV ('zero.csv';'I')\n      ^\n");
    EXPECT_EQ(run("[]open '/dev/null'"), at("[]open '/dev/null'", "path error"));
    EXPECT_EQ(run(")save '/dev/null'"), "Error: writing file error\n");
    EXPECT_EQ(run(")out '/dev/null'"), "Error: path error\n");
    EXPECT_EQ(run("[]write 'zero.csv'"), at("[]write 'zero.csv'", "path error"));
    EXPECT_TRUE(is_link("zero.csv"));
    // A regular file of more than the room values have is refused by its
    // size, before any of it is read; the read buffer counts against the
    // limit, so a file of three fifths of it has no room for its lines.
    set_value_memory_limit((i64)32 << 20);
    std::string sparse = path("sparse.txt");
    write("sparse.txt", "");
    ASSERT_EQ(0, truncate(sparse.c_str(), (off_t)8 << 30));
    EXPECT_EQ(run("[]get 'sparse.txt'"), at("[]get 'sparse.txt'", "workspace full"));
    write("large.txt", std::string((size_t)20 << 20, 'x'));
    EXPECT_EQ(run("[]get 'large.txt'"), at("[]get 'large.txt'", "workspace full"));
    set_value_memory_limit(0);
    EXPECT_EQ(run("#[]get 'large.txt'"), "1\n");
}

// Links that go round in a loop are refused with the writer's error; the
// links stay links, and no file takes their place.
TEST_F(FileKinds, LinkLoopsAreNotReplaced) {
    ASSERT_EQ(0, symlink("self.vek", path("self.vek").c_str()));
    ASSERT_EQ(0, symlink("b.csv", path("a.csv").c_str()));
    ASSERT_EQ(0, symlink("a.csv", path("b.csv").c_str()));
    ASSERT_EQ(0, symlink("a.csv", path("loop.vkp").c_str()));
    run("a<-([] n<-1 2 3)");
    EXPECT_EQ(run(")save self"), "Error: writing file error\n");
    EXPECT_EQ(run("[]write 'a.csv'"), at("[]write 'a.csv'", "path error"));
    EXPECT_EQ(run(")out loop a"), "Error: path error\n");
    EXPECT_EQ(run("[]open 'a.csv'"), at("[]open 'a.csv'", "path error"));
    for (const char *name : {"self.vek", "a.csv", "b.csv", "loop.vkp"}) EXPECT_TRUE(is_link(name)) << name;
    // A link to a file yet to be made still makes it.
    ASSERT_EQ(0, symlink("made.csv", path("to.csv").c_str()));
    run("to<-([] n<-1 2 3)");
    EXPECT_EQ(run("[]write 'to.csv'"), "to.csv\n");
    EXPECT_EQ(read("made.csv"), "n\n1\n2\n3\n");
}

// A workspace or script name with a control character could be neither
// typed back nor shown: )SAVE and )OUT refuse it with the name error and
// make no file. (A tab ends )OUT's file name, as a blank does.)
TEST_F(FileKinds, SaveAndOutRefuseControlCharactersInNames) {
    run("v<-1");
    for (char c : {'\t', '\x01', '\x1f', '\x7f'}) {
        std::string line = std::string(")save a") + c + "b";
        EXPECT_EQ(run(line.c_str()), "Error: need an legal name\n") << (int)c;
        line = std::string(")save '") + dir + "/q" + c + "'";
        EXPECT_EQ(run(line.c_str()), "Error: need an legal name\n") << (int)c;
        if (c == '\t') continue;
        line = std::string(")out s") + c + "t v";
        EXPECT_EQ(run(line.c_str()), "Error: need an legal name\n") << (int)c;
    }
    EXPECT_EQ(run(")wsid"), "CLEAR WS\n");
    EXPECT_TRUE(listing().empty());
    EXPECT_EQ(run(")save a_b").find(" a_b\n") != std::string::npos, true);
}

// A save killed midway leaves its temporary beside the target; the next
// write of the same file removes it. A temporary still locked by a live
// writer is left alone, and so are files that only look alike.
TEST_F(FileKinds, TemporariesOfKilledSavesAreRemoved) {
    run("v<-!1000");
    std::string mark = REPLACEMENT_MARK;
    write("ws.vek" + mark + "a1B2c3", "stale");
    write("ws.vek" + mark + "live00", "in use");
    write("ws.vek.bak", "mine");
    write("ws.vek" + mark + "toolong", "mine too");
    int live = open(path("ws.vek" + mark + "live00").c_str(), O_RDWR);
    ASSERT_GE(live, 0);
    ASSERT_EQ(0, flock(live, LOCK_EX));
    ASSERT_NE(run(")save ws").find(" ws\n"), std::string::npos);
    close(live);
    EXPECT_EQ(access(path("ws.vek" + mark + "a1B2c3").c_str(), F_OK), -1);
    EXPECT_EQ(read("ws.vek" + mark + "live00"), "in use");
    EXPECT_EQ(read("ws.vek.bak"), "mine");
    EXPECT_EQ(read("ws.vek" + mark + "toolong"), "mine too");

    // Saves killed at random moments: whatever they left, one more save
    // leaves only its file and the files that are not temporaries (the
    // temporary unlocked above now among those removed).
    run("big<-!2000000");
    for (int round = 0; round < 5; round++) {
        fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            for (;;) run(")save ws");
        }
        usleep(20000 + 15000 * round);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    ASSERT_NE(run(")save ws").find(" ws\n"), std::string::npos);
    EXPECT_EQ(listing(), (std::set<std::string>{"ws.vek", "ws.vek.bak", "ws.vek" + mark + "toolong"}));
    std::string sum = run("+/big");
    run(")clear");
    EXPECT_NE(run(")load ws").find("saved "), std::string::npos);
    EXPECT_EQ(run("+/big"), sum);
}

// An interrupt stops a read or a write of a file between its blocks: the
// command or the reader ends with the interrupt's report, a file being
// replaced stays as it was, and the workspace keeps what it had. (A
// statement is stopped before it begins by the evaluator, so the readers
// behind []CSV and []write are called here directly.)
TEST_F(FileKinds, AnInterruptStopsReadsAndWrites) {
    run("t<-([] n<-!10)");
    run("c<-0");
    run("keep<-42");
    write("t.csv", "n\n1\n");
    ASSERT_NE(run(")save ws").find(" ws\n"), std::string::npos);
    std::string saved = read("ws.vek");
    write("s.vkp", "x<-1\n");
    run("keep<-43");
    const ValueDescriptor *t = &value_slot_table[global_name_table[lookup_name("t", 'G')].index];
    i64 c = global_name_table[lookup_name("c", 'G')].index;
    FILE *out = fopen(path("out.csv").c_str(), "wb");
    ASSERT_TRUE(out);
    request_interrupt();
    EXPECT_EQ(run(")save ws"), "\n");
    EXPECT_EQ(run(")load ws"), "\n");
    EXPECT_EQ(run(")fload s"), "[*ln1] \n-->(" + path("s.vkp") + ")\n");
    EXPECT_EQ(load_csv(c, path("t.csv"), "I", true, ','), INTERRUPT_ERROR);
    EXPECT_EQ(export_table(t, out, EXPORT_CSV), INTERRUPT_ERROR);
    clear_interrupt();
    fclose(out);
    EXPECT_EQ(read("ws.vek"), saved);
    EXPECT_EQ(read("out.csv"), "");
    EXPECT_EQ(run("keep"), "43\n");
    EXPECT_EQ(run("c"), "0\n");
    EXPECT_EQ(run("x"), "Error: value error\n      x\n      ^\n");
}
