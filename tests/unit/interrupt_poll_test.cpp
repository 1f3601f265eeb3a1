// The poll a front end without signals sets: called now and then while a
// statement runs, and able to stop it with the interrupt's report.
#include "interpreter_fixture.h"
#include "core/interrupt.h"
#include "primitives/fold_kernels.h"
#include <vector>

static int polls = 0;
static int stop_after = -1;   // the poll that asks for the interrupt; -1: none

static void counting_poll()
{
    if (++polls == stop_after) request_interrupt();
}

class InterruptPollTest : public InterpreterFixture {
protected:
    void SetUp() override
    {
        InterpreterFixture::SetUp();
        polls = 0;
        stop_after = -1;
        clear_interrupt();
        interrupt_poll = counting_poll;
    }
    void TearDown() override
    {
        interrupt_poll = nullptr;
        clear_interrupt();
    }
};

TEST_F(InterruptPollTest, PollRunsThroughALoopAndLeavesItsResult)
{
    run("{count: n<-0; while (n<x) n<-n+1; n}");
    EXPECT_EQ(run("count 100000"), "100000\n");
    // Each turn passes at least one boundary: about one poll per spacing.
    EXPECT_GE(polls, 100000 / POLL_SPACING);
    EXPECT_LE(polls, 100000);
}

TEST_F(InterruptPollTest, PollStopsARunawayLoopLikeTheConsolesInterrupt)
{
    run("{spin: n<-x; while (1) n<-n+1; n}");
    stop_after = 50;
    std::string report = run("spin 0");
    EXPECT_EQ(polls, 50);
    EXPECT_EQ(report.substr(0, 6), "\nspin[") << report;
    EXPECT_NE(report.find("while (1) n<-n+1\n"), std::string::npos) << report;
    EXPECT_NE(run(")SI").find("spin["), std::string::npos);
    clear_interrupt();
    EXPECT_EQ(run("1+2"), "3\n");
}

// A scan that folds every prefix anew costs the square of its line, a
// general inner product the product of three lengths, a search of keys in a
// general list or of texts in a text column the product of two: one
// primitive of that kind must answer the interrupt as a loop does, the
// target of its assignment kept. Floats, complex numbers, the comparisons
// and the chars' membership count each take their own loop.
TEST_F(InterruptPollTest, PollStopsAPrimitiveThatCostsMoreThanItsOperands)
{
    run("r<-'kept'");
    run("m<-300 300#0.5+!90000");
    run("c<-300 300#'abcdefg'");
    run("k<-(!3000)\",0");
    run("d<-k:!3000");
    run("t<-([] s<-(1+20|!3000)\"^.<.'abcdefghijklmnopqrstu')");
    for (const char *line : {"r<--\\ 0.5+!50000", "r<-=\\ 50000#1 0", "r<--\\ 50000#0j1", "r<-m=:=m",
                             "r<-m-:*.m", "r<-c+:?c", "r<-d[k]", "r<-t[(,`s):,<.t.s]"}) {
        polls = 0;
        stop_after = 1;
        std::string report = run(line);
        EXPECT_EQ(polls, 1) << line;
        EXPECT_EQ(report.substr(0, 2), "\n ") << line << report.substr(0, 200);
        EXPECT_NE(report.find("^"), std::string::npos) << report.substr(0, 200);
        clear_interrupt();
        EXPECT_EQ(run("r~'kept'"), "1\n") << line;
    }
    // and short lines give what they gave
    EXPECT_EQ(run("-\\ 1.5 2 3"), "1.5 _0.5 2.5\n");
    EXPECT_EQ(run("=\\ 1 0 0"), "1 0 1\n");
}

// The plus-times kernel has no rows of its own to look between: it looks
// between its blocks, so an interrupt pending when it starts stops it at
// the first, and one cleared lets it run to its numbers.
TEST_F(InterruptPollTest, TheMatrixKernelLooksBetweenItsBlocks)
{
    const i64 n = 300;
    std::vector<double> a(n * n, 1.0), b(n * n, 2.0), z(n * n, -1.0);
    request_interrupt();
    EXPECT_EQ(INTERRUPT_ERROR, matrix_product(z.data(), a.data(), b.data(), n, n, n));
    clear_interrupt();
    EXPECT_EQ(0, matrix_product(z.data(), a.data(), b.data(), n, n, n));
    EXPECT_EQ(2.0 * n, z[0]);
    EXPECT_EQ(2.0 * n, z[n * n - 1]);
}
