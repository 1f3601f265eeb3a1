// The evaluator's limits and bookkeeping: temporaries, the dispatch of codes
// without a handler, operand frames, tables reclaimed after immediate lines,
// and the state a nested run must give back.
#include "interpreter_fixture.h"
#include <cstring>
#include <string>
#include "core/session.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/evaluator.h"
#include "core/valueops.h"
#include "core/dispatch.h"
#include "core/output.h"
#include "core/errors.h"

// Its runs keep the closing prompt: some lines here print nothing else.
class EvaluatorTest : public InterpreterFixture {
protected:
    static std::string run(const char *line) { return InterpreterFixture::run(line) + "      "; }
};

TEST_F(EvaluatorTest, TemporariesRunOutAfterTwoThousand) {
    i64 counter = 17, slot = 0;
    ASSERT_EQ(take_temporary(&counter, &slot), 0);
    EXPECT_EQ(slot, FIRST_TEMP_SLOT);
    for (int k = 1; k < 2000; k++) ASSERT_EQ(take_temporary(&counter, &slot), 0);
    EXPECT_EQ(slot, LAST_TEMP_SLOT);
    EXPECT_EQ(take_temporary(&counter, &slot), 1);
    EXPECT_EQ(counter, LAST_TEMP_SLOT);
}

TEST_F(EvaluatorTest, CodesWithoutHandlerGiveTheirErrors) {
    EXPECT_EQ(dispatch_primitive(150, FIRST_TEMP_SLOT, 0, -1, 1, -1), 43);   // dyadic reduce code
    EXPECT_EQ(dispatch_primitive(770, FIRST_TEMP_SLOT, 0, -1, 1, -1), 1);
    EXPECT_EQ(dispatch_primitive(602, FIRST_TEMP_SLOT, 0, -1, 1, -1), 15);   // system function, dyadic
    EXPECT_EQ(dispatch_primitive(651, FIRST_TEMP_SLOT, 0, -1, 1, -1), 15);
    EXPECT_EQ(dispatch_primitive(701, FIRST_TEMP_SLOT, -1, -1, 1, -1), 43);
    EXPECT_EQ(dispatch_primitive(9999, FIRST_TEMP_SLOT, -1, -1, 1, -1), 43);
    EXPECT_EQ(dispatch_primitive(-5, FIRST_TEMP_SLOT, -1, -1, 1, -1), 43);
}

TEST_F(EvaluatorTest, OperandFramesRespectThePool) {
    i64 cs[3] = {1, -1, 0}, vs[3] = {-1, 20, -1}, frame;
    i64 before = nxtglx;
    ASSERT_EQ(push_operand_frame(3, cs, vs, &frame), 0);
    EXPECT_EQ(nxtglx, before + 8);
    pop_operand_frame(frame);
    EXPECT_EQ(nxtglx, before);
    // a dimension list appended while the frame lived stays in the pool
    ASSERT_EQ(push_operand_frame(3, cs, vs, &frame), 0);
    i64 dims[2] = {4, 5}, start;
    ASSERT_EQ(shape_pool_append(dims, 2, &start), 0);
    pop_operand_frame(frame);
    EXPECT_EQ(nxtglx, start + 2);
    EXPECT_EQ(shape_pool[start + 1], 5);
    nxtglx = SHAPE_POOL_CAP - 5;
    EXPECT_EQ(push_operand_frame(3, cs, vs, &frame), 9);
    EXPECT_EQ(nxtglx, SHAPE_POOL_CAP - 5);
    nxtglx = before;
}

TEST_F(EvaluatorTest, ImmediateLinesGiveBackWhatTheyCompiled) {
    run("a<-1 2 3");
    i64 nodes = lstndx, entries = lstfndx, constants = lstcx;
    for (int k = 0; k < 5000; k++) run("b<-a+1.5 2.5 3.5;c<-'text';a");
    EXPECT_EQ(lstndx, nodes);
    EXPECT_EQ(lstfndx, entries);
    EXPECT_EQ(lstcx, constants);
    EXPECT_EQ(run("c"), "text\n      ");
    EXPECT_EQ(run("b"), "2.5 4.5 6.5\n      ");
    // a failing line gives its entries back too
    run("1+undefined_name");
    EXPECT_EQ(lstndx, nodes);
}

TEST_F(EvaluatorTest, ExecuteInsideAStatementKeepsTheOuterValues) {
    EXPECT_EQ(run("10+!.'1+2'"), "13\n      ");
    EXPECT_EQ(run("x<-1 2 3+!.'!.''4 5 6'''"), "      ");
    EXPECT_EQ(run("x"), "5 7 9\n      ");
    EXPECT_EQ(stacktop, 0);
}

TEST_F(EvaluatorTest, NestedStateIsRestored) {
    EvaluatorState s;
    stacktop = 512;
    eval_temp_counter = 23490;
    error_number = 0;
    error_position = -1;
    save_evaluator_state(&s);
    stacktop = 4096;
    eval_temp_counter = 23600;
    error_number = 4;
    error_position = 3;
    restore_evaluator_state(&s, 1);
    EXPECT_EQ(stacktop, 512);
    EXPECT_EQ(eval_temp_counter, 23490);
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(error_position, -1);
    stacktop = 0;
    eval_temp_counter = 17;
}

static int64_t typed_reply(const char *, char *buf, int64_t cap) {
    const char *reply = "typed text";
    int64_t n = (int64_t)strlen(reply);
    if (n > cap - 1) n = cap - 1;
    memcpy(buf, reply, (size_t)n);
    buf[n] = 0;
    return n;
}

static int64_t cancelled_reply(const char *, char *, int64_t) { return 0; }

TEST_F(EvaluatorTest, QuadReadsOneLineOfInput) {
    auto saved = ask_input_string;
    ask_input_string = typed_reply;
    EXPECT_EQ(run("t<-[]"), "      ");
    EXPECT_EQ(run("t"), "typed text\n      ");
    ask_input_string = cancelled_reply;
    EXPECT_EQ(run("t<-[]"), "      ");
    EXPECT_EQ(run("t~''"), "1\n      ");
    ask_input_string = saved;
}

static int outer_product_stand_in(i64, i64, i64, i64, i64, i64) { return 0; }

TEST_F(EvaluatorTest, SystemFunctionCodesAreNeverOuterProducts) {
    PrimHandler saved[250];
    for (i64 c = 501; c <= 750; c++) saved[c - 501] = find_primitive(c, 2);
    register_primitive_range(501, 750, 2, outer_product_stand_in);
    EXPECT_EQ(dispatch_primitive(545, FIRST_TEMP_SLOT, 0, -1, 1, -1), 0);
    EXPECT_EQ(dispatch_primitive(602, FIRST_TEMP_SLOT, 0, -1, 1, -1), 15);
    EXPECT_EQ(dispatch_primitive(655, FIRST_TEMP_SLOT, 0, -1, 1, -1), 15);
    for (i64 c = 501; c <= 750; c++) register_primitive(c, 2, saved[c - 501]);
}
