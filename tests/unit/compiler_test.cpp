// The lexer and statement compiler: constants made from literals (values,
// types, edge values, malformed literals), prim codes of the statement
// forms, compile errors with their caret positions, and the statement split.
#include "interpreter_fixture.h"
#include <cmath>
#include <climits>
#include <cstring>
#include <string>
#include "core/tables.h"
#include "core/compiler.h"
#include "core/lexer.h"
#include "core/symbols.h"
#include "core/timecode.h"
#include "core/names.h"
#include "core/functions.h"

class CompilerTest : public InterpreterFixture {
protected:
    CompiledStatement cs;
    int compile(const std::string &text) {
        return compile_statement(text.c_str(), (i64)text.size() + 1, -1, 0, 0, SLOT_IO, &cs);
    }
    // Compiles text, which must be one literal; its constant.
    const ValueDescriptor *literal(const std::string &text) {
        EXPECT_EQ(compile(text), 0) << text;
        if (cs.root < 0) return nullptr;
        const ParseNode *n = &parse_node_table[cs.root];
        EXPECT_EQ(n->kind, 'C') << text;
        return &constants_table[n->index];
    }
    const ExprEntry *entry(i64 node) {
        const ParseNode *n = &parse_node_table[node];
        return n->kind == 'F' ? &expr_entry_table[n->index] : nullptr;
    }
    i64 root_code(const std::string &text) {
        EXPECT_EQ(compile(text), 0) << text;
        const ExprEntry *e = cs.root >= 0 ? entry(cs.root) : nullptr;
        return e ? e->code : -999;
    }
    // Error number and caret position of a statement that must fail.
    std::pair<int, i64> failure(const std::string &text) {
        int r = compile(text);
        return {r, r ? get_error_position() : -1};
    }
};

static i64 int_item(const ValueDescriptor *d, i64 i) {
    return d->count == 1 && d->rank <= 1 ? d->dim0 : ((const i64 *)d->data)[i];
}
static double float_item(const ValueDescriptor *d, i64 i) {
    const double *p = d->count == 1 && d->rank <= 1 ? (const double *)&d->dim0 : (const double *)d->data;
    return p[i];
}

TEST_F(CompilerTest, IntegerAndFloatLiterals) {
    const ValueDescriptor *d = literal("1 2.5 3");
    EXPECT_EQ(d->type, T_FLOAT);
    EXPECT_EQ(d->rank, 1);
    EXPECT_EQ(d->count, 3);
    EXPECT_EQ(float_item(d, 0), 1.0);
    EXPECT_EQ(float_item(d, 1), 2.5);
    EXPECT_EQ(float_item(d, 2), 3.0);

    d = literal("_5");
    EXPECT_EQ(d->type, T_INT);
    EXPECT_EQ(d->rank, 0);
    EXPECT_EQ(int_item(d, 0), -5);
    EXPECT_DOUBLE_EQ(float_item(literal("1E_2"), 0), 0.01);
    EXPECT_EQ(float_item(literal("1e+2"), 0), 100.0);
    EXPECT_EQ(float_item(literal("_2.5e3"), 0), -2500.0);
    d = literal("10 _20\t30");
    EXPECT_EQ(d->type, T_INT);
    EXPECT_EQ(d->count, 3);
    EXPECT_EQ(int_item(d, 1), -20);
    EXPECT_EQ(int_item(d, 2), 30);
}

TEST_F(CompilerTest, SmallIntegersAreTheBuiltInConstants) {
    ASSERT_EQ(compile("0"), 0);
    EXPECT_EQ(parse_node_table[cs.root].index, 0);
    ASSERT_EQ(compile("1"), 0);
    EXPECT_EQ(parse_node_table[cs.root].index, 1);
    ASSERT_EQ(compile("2"), 0);
    EXPECT_EQ(parse_node_table[cs.root].index, 3);
    i64 before = lstcx;
    ASSERT_EQ(compile("3"), 0);
    EXPECT_EQ(parse_node_table[cs.root].index, before + 1);
    EXPECT_EQ(int_item(&constants_table[before + 1], 0), 3);
    // The built-ins are never written.
    EXPECT_EQ(constants_table[3].dim0, 2);
}

TEST_F(CompilerTest, NullsAndInfinities) {
    EXPECT_EQ(int_item(literal("0n"), 0), INT64_MIN);
    EXPECT_EQ(int_item(literal("0w"), 0), INT64_MAX);
    EXPECT_EQ(int_item(literal("_0w"), 0), -INT64_MAX);
    EXPECT_EQ(int_item(literal("_0n"), 0), INT64_MIN);
    EXPECT_TRUE(std::isnan(float_item(literal("0nf"), 0)));
    EXPECT_EQ(float_item(literal("0wf"), 0), INFINITY);
    EXPECT_EQ(float_item(literal("_0wf"), 0), -INFINITY);
    const ValueDescriptor *d = literal("0wj");
    EXPECT_EQ(d->type, T_COMPLEX);
    EXPECT_EQ(float_item(d, 0), INFINITY);
    EXPECT_EQ(float_item(d, 1), INFINITY);
    d = literal("1 0n 2.5");
    EXPECT_EQ(d->type, T_FLOAT);
    EXPECT_TRUE(std::isnan(float_item(d, 1)));
}

TEST_F(CompilerTest, IntegerOverflowIsRefused) {
    EXPECT_EQ(int_item(literal("9223372036854775807"), 0), INT64_MAX);
    EXPECT_EQ(int_item(literal("_9223372036854775807"), 0), -INT64_MAX);
    EXPECT_EQ(failure("9223372036854775808").first, 42);
    EXPECT_EQ(failure("_9223372036854775808").first, 42);
    EXPECT_EQ(failure("1 2 123456789012345678901").second, 4);
    // As a float element the same digits are fine.
    EXPECT_EQ(float_item(literal("0.5 92233720368547758080"), 1), 92233720368547758080.0);
}

TEST_F(CompilerTest, ComplexLiterals) {
    const ValueDescriptor *d = literal("1 2j3");
    EXPECT_EQ(d->type, T_COMPLEX);
    EXPECT_EQ(d->count, 2);
    const double *p = (const double *)d->data;
    EXPECT_EQ(p[0], 1.0); EXPECT_EQ(p[1], 0.0);
    EXPECT_EQ(p[2], 2.0); EXPECT_EQ(p[3], 3.0);
    d = literal("1.5j_2");
    EXPECT_EQ(d->rank, 0);
    EXPECT_EQ(float_item(d, 0), 1.5);
    EXPECT_EQ(float_item(d, 1), -2.0);
    EXPECT_EQ(failure("2j0n").first, 42);
    EXPECT_EQ(failure("0nfj2").first, 42);
    EXPECT_EQ(failure("1j").first, 42);
    EXPECT_EQ(failure("1j10:20").first, 42);
}

TEST_F(CompilerTest, MalformedNumbers) {
    EXPECT_EQ(failure("1E"), std::make_pair(42, (i64)0));
    EXPECT_EQ(failure("3 1e_"), std::make_pair(42, (i64)2));
    EXPECT_EQ(failure(".5").first, 16);
    std::string longexp = "1." + std::string(110, '0') + "e1";
    EXPECT_EQ(failure(longexp).first, 42);
    std::string longfloat = "1." + std::string(300, '0') + "1";
    EXPECT_EQ(float_item(literal(longfloat), 0), 1.0);
}

TEST_F(CompilerTest, TimeLiterals) {
    const ValueDescriptor *d = literal("2023.01m");
    EXPECT_EQ(d->type, T_MONTH);
    EXPECT_EQ(int_item(d, 0), 202301);
    d = literal("2023.01.02 2023.01.03");
    EXPECT_EQ(d->type, T_DATE);
    EXPECT_EQ(int_item(d, 1), 20230103);
    EXPECT_EQ(int_item(literal("10:20"), 0), 620);
    EXPECT_EQ(literal("10:20")->type, T_MINUTE);
    EXPECT_EQ(int_item(literal("10:20:30"), 0), 37230);
    EXPECT_EQ(int_item(literal("10:20:30.123"), 0), 37230123);
    EXPECT_EQ(literal("10:20:30.123")->type, T_TIME);
    d = literal("2023.01.02T10:20:30.123");
    EXPECT_EQ(d->type, T_DATETIME);
    EXPECT_EQ(float_item(d, 0), 20230102.0 * 86400000.0 + 37230123.0);
    EXPECT_EQ(float_item(literal("2023.01.02T10:20:30"), 0), 20230102.0 * 86400000.0 + 37230000.0);
    EXPECT_EQ(int_item(literal("2024.02.29"), 0), 20240229);
}

TEST_F(CompilerTest, BadTimeLiterals) {
    EXPECT_EQ(failure("2023.02.29").first, 31);
    EXPECT_EQ(failure("24:00").first, 31);
    EXPECT_EQ(failure("10:60:00").first, 31);
    EXPECT_EQ(failure("2023.13m").first, 31);
    EXPECT_EQ(failure("1899.12.31").first, 31);
    EXPECT_EQ(failure("1:20").first, 31);
    EXPECT_EQ(failure("2023.01.02T10:20:30.5").first, 31);
    EXPECT_EQ(failure("2023.01.02T10").first, 42);
    EXPECT_EQ(failure("_2023.01.02").first, 31);
    // Mixed strands: no constant, caret at the element.
    i64 before = lstcx;
    EXPECT_EQ(failure("2023.01.02 5"), std::make_pair(42, (i64)11));
    EXPECT_EQ(lstcx, before);
    EXPECT_EQ(failure("5 2023.01.02"), std::make_pair(42, (i64)2));
    EXPECT_EQ(failure("10:20 10:20:30"), std::make_pair(42, (i64)6));
}

TEST_F(CompilerTest, CharacterConstants) {
    const ValueDescriptor *d = literal("'it''s'");
    EXPECT_EQ(d->type, T_CHAR);
    EXPECT_EQ(d->rank, 1);
    ASSERT_EQ(d->count, 4);
    EXPECT_EQ(std::string((const char *)d->data, 4), "it's");
    d = literal("''");
    EXPECT_EQ(d->rank, 1);
    EXPECT_EQ(d->count, 0);
    d = literal("'a'");
    EXPECT_EQ(d->rank, 0);
    EXPECT_EQ((char)d->dim0, 'a');
    EXPECT_EQ(failure("'abc"), std::make_pair(21, (i64)0));
    EXPECT_EQ(failure("1 'a'"), std::make_pair(8, (i64)2));
}

TEST_F(CompilerTest, SymbolLiterals) {
    const ValueDescriptor *d = literal("`a`b`c");
    EXPECT_EQ(d->type, T_SYMBOL);
    EXPECT_EQ(d->rank, 1);
    ASSERT_EQ(d->count, 3);
    EXPECT_STREQ(symbol_text(int_item(d, 0)), "a");
    EXPECT_STREQ(symbol_text(int_item(d, 2)), "c");
    EXPECT_STREQ(symbol_text(int_item(literal("`'a b'"), 0)), "a b");
    d = literal("`");
    EXPECT_EQ(d->rank, 0);
    EXPECT_EQ(int_item(d, 0), 0);
    EXPECT_STREQ(symbol_text(int_item(literal("`+"), 0)), "+");
    d = literal("`x `y");
    EXPECT_EQ(d->count, 2);
    EXPECT_EQ(failure("`" + std::string(128, 'a')).first, 42);
}

TEST_F(CompilerTest, LongNamesAndStrayBytes) {
    EXPECT_EQ(compile(std::string(127, 'n') + "<-1"), 0);
    EXPECT_EQ(failure(std::string(128, 'n') + "<-1").first, 42);
    // Bytes above 127 have class X and are refused, never read out of bounds.
    EXPECT_EQ(failure("1+\xC3\xA9"), std::make_pair(16, (i64)2));
    EXPECT_EQ(class_of((char)0xFF), 'X');
    EXPECT_EQ(failure("x\t+2"), std::make_pair(16, (i64)1));
    EXPECT_EQ(compile("1\t+2"), 0);      // a strand scanner skips tabs
}

TEST_F(CompilerTest, PrimitiveCodes) {
    ASSERT_EQ(root_code("1+2"), 45);
    const ExprEntry *e = entry(cs.root);
    EXPECT_EQ(parse_node_table[e->left].index, 1);
    EXPECT_EQ(parse_node_table[e->right].index, 3);
    EXPECT_EQ(root_code("-1"), 46);
    EXPECT_EQ(entry(cs.root)->left, -1);
    EXPECT_EQ(root_code("2-1"), 47);
    EXPECT_EQ(root_code("x<-3"), 0);
    EXPECT_EQ(root_code("+/x"), 145);
    EXPECT_EQ(root_code("+\\x"), 245);
    EXPECT_EQ(root_code("+/.x"), 345);
    EXPECT_EQ(root_code("+\\.x"), 445);
    EXPECT_EQ(root_code("</x"), 116);
    EXPECT_EQ(root_code("=\\x"), 221);
    EXPECT_EQ(root_code("x+:*x"), 4549);
    EXPECT_EQ(root_code("x.:*x"), 549);
    EXPECT_EQ(root_code("x.:=x"), 521);
    EXPECT_EQ(root_code("x+:=x"), 4521);
    EXPECT_EQ(root_code("x,.x"), 66);
    EXPECT_EQ(root_code(",.x"), 707);
    EXPECT_EQ(root_code("x<x"), 16);
    EXPECT_EQ(root_code("<x"), 24);
    EXPECT_EQ(root_code("<.x"), 702);
    EXPECT_EQ(root_code("x~x"), 756);
    EXPECT_EQ(root_code("x?x"), 9);
    EXPECT_EQ(root_code("?x"), 708);
    EXPECT_EQ(root_code("x||x"), 751);
    EXPECT_EQ(root_code("x<<'f'"), 757);
    EXPECT_EQ(root_code("x:x"), 753);
    EXPECT_EQ(root_code("[]TS"), 610);
    EXPECT_EQ(entry(cs.root)->right, -1);
    EXPECT_EQ(root_code("[]"), 611);
    EXPECT_EQ(root_code("[]CR 'f'"), 602);
}

TEST_F(CompilerTest, AxisCodes) {
    EXPECT_EQ(root_code("x,[1]x"), 66);
    EXPECT_EQ(root_code("x,[2]x"), 67);
    EXPECT_EQ(root_code("x,[1.5]x"), 83);
    EXPECT_EQ(root_code("x,[0.5]x"), 82);
    EXPECT_EQ(root_code("$[2]x"), 89);
    EXPECT_EQ(root_code("$[1]x"), 38);
    EXPECT_EQ(root_code("x$[1]x"), 39);
    EXPECT_EQ(root_code("x$[2]x"), 94);
    EXPECT_EQ(root_code("x/[1]x"), 6);
    EXPECT_EQ(root_code("x\\[1]x"), 8);
    EXPECT_EQ(failure("x,[0]x"), std::make_pair(28, (i64)3));
    EXPECT_EQ(failure("x,[-1]x").first, 28);
    EXPECT_EQ(failure("x,[7]x").first, 27);
    EXPECT_EQ(failure("x,[a]x").first, 27);
    EXPECT_EQ(failure("x,[1 2]x").first, 27);
    EXPECT_EQ(failure("x,[1x").first, 29);
    EXPECT_EQ(failure("x,[7.5]x").first, 43);
    EXPECT_EQ(failure("x/[2]x").first, 43);
    EXPECT_EQ(failure(",[1]x").first, 16);
    value_slot_table[SLOT_IO].dim0 = 0;
    EXPECT_EQ(root_code("x,[0]x"), 66);
    value_slot_table[SLOT_IO].dim0 = 5;
    EXPECT_EQ(failure("x,[1]x").first, 24);
    value_slot_table[SLOT_IO].dim0 = 1;
}

TEST_F(CompilerTest, IndexListsAndChains) {
    ASSERT_EQ(root_code("x[;2]"), 1);
    const ExprEntry *e = entry(cs.root);
    const ExprEntry *link = entry(e->right);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->code, 2);
    EXPECT_EQ(parse_node_table[link->left].kind, 'V');
    EXPECT_EQ(parse_node_table[link->left].index, 0);      // the elided position
    const ExprEntry *second = entry(link->right);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(parse_node_table[second->left].index, 3);    // the constant 2
    EXPECT_EQ(parse_node_table[second->right].kind, 'V');  // the end of the chain
    ASSERT_EQ(root_code("x[]"), 1);
    EXPECT_EQ(parse_node_table[entry(cs.root)->right].kind, 'V');
    ASSERT_EQ(root_code("x[1]"), 1);
    EXPECT_EQ(parse_node_table[entry(cs.root)->right].index, 1);
    // A nested list stays one item of the outer list.
    ASSERT_EQ(root_code("(1;(2;3))"), 2);
    e = entry(cs.root);
    const ExprEntry *rest = entry(e->right);
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(entry(rest->left)->code, 2);
    EXPECT_EQ(parse_node_table[rest->right].kind, 'V');
    // Parents lead back to the root.
    EXPECT_EQ(parse_node_table[rest->left].parent, e->right);
    EXPECT_EQ(parse_node_table[e->right].parent, cs.root);
}

TEST_F(CompilerTest, RightToLeftLinking) {
    // a f b g c is f(a, g(b, c)); the start node is the innermost application.
    ASSERT_EQ(root_code("1+2*3"), 45);
    const ExprEntry *e = entry(cs.root);
    EXPECT_EQ(entry(e->right)->code, 49);
    EXPECT_EQ(cs.start, e->right);
    ASSERT_EQ(root_code("(1+2)*3"), 49);
    EXPECT_EQ(entry(entry(cs.root)->left)->code, 45);
    EXPECT_EQ(root_code("x[1]<-5"), 0);
    EXPECT_EQ(root_code("(x;y)<-1 2"), 0);
    EXPECT_EQ(root_code("x.y"), 754);
    EXPECT_EQ(parse_node_table[entry(cs.root)->right].kind, 'C');
    EXPECT_EQ(root_code("x \"# y"), 752);
    EXPECT_EQ(entry(entry(cs.root)->right)->code, 29);    // read as reshape
    EXPECT_EQ(root_code("\"# y"), 752);
    EXPECT_EQ(entry(entry(cs.root)->right)->code, 28);
    ASSERT_EQ(root_code("3#_"), 29);
    const ValueDescriptor *d = &constants_table[parse_node_table[entry(cs.root)->right].index];
    EXPECT_EQ(d->type, T_LIST);
    EXPECT_EQ(d->count, 1);
    EXPECT_EQ(((const ValueDescriptor *)d->data)->count, 0);
}

TEST_F(CompilerTest, TableConstructor) {
    ASSERT_EQ(root_code("([] a<-1 2; b<-3 4)"), P_TABLE_CONSTRUCTOR);
    const ExprEntry *e = entry(cs.root);
    EXPECT_EQ(e->left, -1);
    const ExprEntry *first = entry(entry(e->right)->left);
    EXPECT_EQ(first->code, 0);
    EXPECT_EQ(parse_node_table[first->left].kind, 'Z');
    ASSERT_EQ(root_code("([k<-1 2] v)"), P_TABLE_CONSTRUCTOR);
    e = entry(cs.root);
    EXPECT_NE(e->left, -1);
    const ExprEntry *lone = entry(entry(e->right)->left);
    EXPECT_EQ(lone->code, 0);                                // v means v<-v
    EXPECT_EQ(parse_node_table[lone->right].kind, 'V');
    EXPECT_EQ(failure("([] a+1)").first, 16);
    EXPECT_EQ(failure("([] a<-([] b<-1))").first, 16);
    EXPECT_EQ(failure("([] a<-1 2").first, 22);
}

TEST_F(CompilerTest, CompileErrorsAndCarets) {
    EXPECT_EQ(failure("a b"), std::make_pair(42, (i64)2));
    EXPECT_EQ(failure("1 (2)"), std::make_pair(19, (i64)2));
    EXPECT_EQ(failure("(1"), std::make_pair(22, (i64)0));
    EXPECT_EQ(failure("1]"), std::make_pair(21, (i64)1));
    EXPECT_EQ(failure("x[1"), std::make_pair(21, (i64)1));
    EXPECT_EQ(failure("(1]"), std::make_pair(21, (i64)2));
    EXPECT_EQ(failure("( )"), std::make_pair(1, (i64)2));
    EXPECT_EQ(failure("1 2 3"), std::make_pair(0, (i64)-1));
    EXPECT_EQ(failure("1 2+"), std::make_pair(15, (i64)3));
    EXPECT_EQ(failure("x 5"), std::make_pair(14, (i64)2));
    EXPECT_EQ(failure("/2"), std::make_pair(17, (i64)0));
    EXPECT_EQ(failure("<-2"), std::make_pair(16, (i64)0));
    EXPECT_EQ(failure("3<-4"), std::make_pair(16, (i64)1));
    EXPECT_EQ(failure("[1]"), std::make_pair(16, (i64)0));
    EXPECT_EQ(failure("{x}"), std::make_pair(16, (i64)0));
    EXPECT_EQ(failure("1 .:+ 2").first, 0);
    EXPECT_EQ(failure(".:+ 2"), std::make_pair(99, (i64)0));
    EXPECT_EQ(failure("x.:a x").first, 20);
    EXPECT_EQ(failure("[]NOPE"), std::make_pair(43, (i64)0));
    EXPECT_EQ(failure("_"), std::make_pair(16, (i64)0));
    EXPECT_EQ(failure("1;->2").first, 0);
    EXPECT_EQ(failure("->2"), std::make_pair(44, (i64)0));
    EXPECT_EQ(failure("1+->2").first, 44);
    EXPECT_EQ(failure("(1;)").first, 16);
}

TEST_F(CompilerTest, StatementSplit) {
    EXPECT_EQ(find_statement_end("a;b", 3, 0), 1);
    EXPECT_EQ(find_statement_end("(a;b)", 5, 0), 5);
    EXPECT_EQ(find_statement_end("'a;b';c", 7, 0), 5);
    EXPECT_EQ(find_statement_end("x[1;2];y", 8, 0), 6);
    EXPECT_EQ(find_statement_end("a//;b", 5, 0), 5);
    EXPECT_EQ(find_statement_end("a;b;c", 5, 2), 3);
    ASSERT_EQ(compile("x<-1;x+1"), 0);
    EXPECT_EQ(get_scan_position(), 4);
    ASSERT_EQ(compile("  // all comment"), 0);
    EXPECT_EQ(cs.root, -1);
    // The length bounds the statement even without a NUL.
    const char text[] = {'1', '+', '2', '+', 'x'};
    ASSERT_EQ(compile_statement(text, 3, -1, 0, 0, SLOT_IO, &cs), 0);
    EXPECT_EQ(get_scan_position(), 3);
}

TEST_F(CompilerTest, LineHelpers) {
    char line[] = "  x<-'a//b' // note  ";
    char *t = line;
    EXPECT_EQ(trim_line_comment(&t), 9);
    EXPECT_STREQ(t, "x<-'a//b'");
    EXPECT_TRUE(has_open_parenthesis("f (1;"));
    EXPECT_FALSE(has_open_parenthesis("f (1;2)"));
    EXPECT_FALSE(has_open_parenthesis("x[)"));
    EXPECT_FALSE(has_open_parenthesis("')(' 1"));
    EXPECT_FALSE(has_open_parenthesis("'(' // ("));
    EXPECT_EQ(comment_start("x<-'a//b'//c"), 9);
}

TEST(TimeReaders, FixedLengthTexts) {
    EXPECT_EQ(parse_time_text("2024.05m", T_MONTH, 8, TIME_VALUE), 202405);
    EXPECT_EQ(parse_time_text("2024.05.17", T_DATE, 10, TIME_CHECK), 0);
    EXPECT_EQ(parse_time_text("2100.02.29", T_DATE, 10, TIME_CHECK), -1);
    EXPECT_EQ(parse_time_text("2000.02.29", T_DATE, 10, TIME_CHECK), 0);
    EXPECT_EQ(parse_time_text("2024. 5.17", T_DATE, 10, TIME_VALUE), -1);
    EXPECT_EQ(parse_time_text("2024.05.17", T_DATE, 9, TIME_VALUE), -1);
    EXPECT_EQ(parse_time_text("09:05:07.008", T_TIME, 12, TIME_VALUE), 32707008);
    EXPECT_EQ(parse_time_text("23:59", T_MINUTE, 5, TIME_CHECK), 0);
    EXPECT_EQ(parse_time_text("2024.05.17", T_SYMBOL, 10, TIME_CHECK), -1);
    EXPECT_EQ(parse_datetime_text("2024.05.17T09:05:07.008", TIME_VALUE, 23, 1),
              20240517.0 * 86400000.0 + 32707008.0);
    EXPECT_EQ(parse_datetime_text("2024.05.17T09:05:07", TIME_CHECK, 19, 0), 0.0);
    EXPECT_EQ(parse_datetime_text("2024.05.17 09:05:07", TIME_CHECK, 19, 0), -1.0);
    EXPECT_EQ(parse_datetime_text("2024.05.17T24:05:07", TIME_CHECK, 19, 0), -1.0);
}

// Branch statements compiled as line 1 of a function (targets 0 need no labels).
class CompilerBranchTest : public CompilerTest {
protected:
    i64 row = -1;
    void SetUp() override {
        CompilerTest::SetUp();
        row = define_function_from_header("z<-f c");
        ASSERT_GE(row, 0);
    }
    int branch(const std::string &text) {
        return compile_statement(text.c_str(), (i64)text.size() + 1, row, 1, 0, SLOT_IO, &cs);
    }
    const BranchEntry *entry_made() { return cs.branch >= 0 ? &branch_table[cs.branch] : nullptr; }
};

TEST_F(CompilerBranchTest, TargetsAndConditions) {
    ASSERT_EQ(branch("->0"), 0);
    ASSERT_NE(entry_made(), nullptr);
    EXPECT_EQ(entry_made()->true_target, 0);
    EXPECT_EQ(entry_made()->false_target, -1);
    EXPECT_EQ(cs.root, -1);
    ASSERT_EQ(branch("->c"), 0);
    EXPECT_EQ(entry_made()->true_target, BRANCH_TO_VALUE);
    EXPECT_EQ(parse_node_table[cs.root].kind, 'V');
    ASSERT_EQ(branch("->c/0"), 0);
    EXPECT_EQ(entry_made()->true_target, 0);
    EXPECT_EQ(entry_made()->false_target, 2);
    ASSERT_EQ(branch("->c!.0"), 0);
    EXPECT_EQ(entry_made()->false_target, 0);
    EXPECT_EQ(entry_made()->true_target, 2);
    i64 start = overflow_count;
    ASSERT_EQ(branch("->(c=1)/0,0,0"), 0);
    EXPECT_EQ(entry_made()->list_start, start);
    EXPECT_EQ(overflow_count, start + 3);
    EXPECT_EQ(overflow_table[start + 2], -1);
    EXPECT_EQ(branch("-> 0"), 44);
    EXPECT_EQ(branch("->0 1"), 45);
    EXPECT_EQ(branch("->c/1"), 45);
    EXPECT_EQ(branch("->(c;1)/0"), 12);
    EXPECT_EQ(branch("->'x' 1"), 44);
}

TEST_F(CompilerBranchTest, FullOverflowTableIsRefused) {
    std::string many = "->c/0";
    for (int i = 0; i < 600; i++) many += ",0";
    ASSERT_EQ(branch(many), 0);
    i64 used = overflow_count;
    EXPECT_EQ(branch(many), 84);
    EXPECT_EQ(overflow_count, used);
    EXPECT_LE(overflow_count, (i64)OVERFLOW_CAP);
}
