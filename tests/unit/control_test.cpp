// The control-structure translator, text to text: the generated statements,
// label numbering, hidden loop names, and the malformed blocks that must
// fail with a structure error instead of looping or emitting nonsense.
#include <gtest/gtest.h>
#include <cstdlib>
#include <regex>
#include "core/control.h"
#include "core/errors.h"

static std::vector<std::string> translate_ok(std::vector<std::string> in)
{
    std::vector<TranslatedLine> out;
    i64 failing = -1;
    int rc = translate_lines(in, out, &failing);
    EXPECT_EQ(rc, 0) << "failing line " << failing;
    std::vector<std::string> texts;
    for (auto &l : out) texts.push_back(l.text);
    return texts;
}

// Returns the failing input line, or -1 when the translation succeeded.
static i64 translate_failing(std::vector<std::string> in)
{
    std::vector<TranslatedLine> out;
    i64 failing = -1;
    error_number = 0;
    int rc = translate_lines(in, out, &failing);
    if (rc == 0) return -1;
    EXPECT_EQ(rc, 26);
    EXPECT_EQ(error_number, 26);
    return failing;
}

typedef std::vector<std::string> Lines;

TEST(ControlTranslate, IfElseWhileAndNumericForForms)
{
    EXPECT_EQ(translate_ok({"f x", "if (x>0) y<-1"}),
              (Lines{"f x", "->(~x>0)/L0", "y<-1", "  ", "L0:"}));
    EXPECT_EQ(translate_ok({"f c", "if (c) a<-1 else a<-2"}),
              (Lines{"f c", "->(~c)/L0", "a<-1", "->L1", "L0:", "a<-2", "L1:"}));
    EXPECT_EQ(translate_ok({"f", "while (i<3) i<-i+1"}),
              (Lines{"f", "L0:->(~i<3)/L1", "i<-i+1", "->L0", "L1:"}));
    EXPECT_EQ(translate_ok({"f", "for (i: 1; 10; 2) s<-s+i"}),
              (Lines{"f", "i<-(1)-2", "L0:->((10)<i<-i+2)/L1", "s<-s+i", "->L0", "L1:"}));
    // The step defaults to 1.
    EXPECT_EQ(translate_ok({"f", "for (i: 1; n) s<-s+i"})[1], "i<-(1)-1");
}

TEST(ControlTranslate, BlocksOverSeveralLinesKeepTheirSourceLines)
{
    std::vector<TranslatedLine> out;
    i64 failing;
    ASSERT_EQ(translate_lines({"z<-f n", "if (n<2) {", "  z<-1", "} else {", "  z<-n*f n-1", "}", "z<-z+0"},
                              out, &failing), 0);
    std::vector<std::string> texts;
    std::vector<i64> sources;
    for (auto &l : out) { texts.push_back(l.text); sources.push_back(l.source); }
    EXPECT_EQ(texts, (Lines{"z<-f n", "->(~n<2)/L0", "z<-1", "->L1", "L0:", "z<-n*f n-1", "L1:", "z<-z+0"}));
    EXPECT_EQ(sources, (std::vector<i64>{0, 1, 2, 3, 3, 4, 5, 6}));
    // "else" may also start the line after the if body.
    EXPECT_EQ(translate_ok({"f", "if (c) a<-1", "else a<-2"}),
              (Lines{"f", "->(~c)/L0", "a<-1", "->L1", "L0:", "a<-2", "L1:"}));
}

TEST(ControlTranslate, BreakAndContinueTargetTheInnermostLoop)
{
    Lines t = translate_ok({"f", "while (1) {", "for (i: 1; 3) { if (i=2) continue", "break }", "break", "}"});
    // while: L0 test, L1 end; for: L2 test, L3 end; if: L4, L5.
    EXPECT_EQ(t[1], "L0:->(~1)/L1");
    EXPECT_NE(std::find(t.begin(), t.end(), "->L2"), t.end());   // continue of the for
    EXPECT_NE(std::find(t.begin(), t.end(), "->L3"), t.end());   // break of the for
    EXPECT_NE(std::find(t.begin(), t.end(), "->L1"), t.end());   // break of the while
}

TEST(ControlTranslate, VectorForUsesHiddenLocalsAndItsOwnLabels)
{
    Lines t = translate_ok({"z<-f v;e", "for (e: v) { if (e=3) continue", "z<-z+e }"});
    std::smatch m;
    ASSERT_TRUE(std::regex_match(t[0], m, std::regex(R"(z<-f v;e;idx_v(\d+);idx_l\1;idx_i\1)")));
    std::string n = m[1];
    EXPECT_GE(std::stoi(n), 2);
    EXPECT_LE(std::stoi(n), 31);
    EXPECT_EQ(t[1], "->(0=idx_l" + n + "<-#idx_v" + n + "<-v)/L2");
    EXPECT_EQ(t[2], "idx_i" + n + "<-0");
    EXPECT_EQ(t[3], "L0:e<-idx_v" + n + "[idx_i" + n + "+[]IO]");
    // continue goes to the step line, which stands just before the end label.
    EXPECT_NE(std::find(t.begin(), t.end(), "->L1"), t.end());
    EXPECT_EQ(t[t.size() - 2], "L1:->(idx_l" + n + ">idx_i" + n + "<-idx_i" + n + "+1)/L0");
    EXPECT_EQ(t.back(), "L2:");
    // Two vector loops draw two different numbers.
    Lines two = translate_ok({"f a;b", "for (b: a) b", "for (b: a) b"});
    EXPECT_TRUE(std::regex_match(two[0], m, std::regex(R"(f a;b;idx_v(\d+);idx_l\1;idx_i\1;idx_v(\d+);idx_l\2;idx_i\2)")));
    EXPECT_NE(m[1], m[2]);
}

TEST(ControlTranslate, GeneratedNamesAvoidTheUsersNames)
{
    // The user's own label L0 and variable L2 are never generated again.
    EXPECT_EQ(translate_ok({"f", "L0: x<-L2", "if (x) y<-1 else y<-2"}),
              (Lines{"f", "L0:", "x<-L2", "->(~x)/L1", "y<-1", "->L3", "L1:", "y<-2", "L3:"}));
    srand(7);
    Lines base = translate_ok({"f x", "case (x) { 1: a<-1 }"});
    std::smatch m;
    ASSERT_TRUE(std::regex_search(base[1], m, std::regex(R"(/(CS\d+))")));
    srand(7);
    Lines avoided = translate_ok({"f x;" + m[1].str(), "case (x) { 1: a<-1 }"});
    EXPECT_EQ(avoided[1].find(m[1].str() + ")"), std::string::npos);
    EXPECT_EQ(avoided[1].find("/" + m[1].str()), std::string::npos);
}

TEST(ControlTranslate, CaseArmsElseAndEnd)
{
    srand(3);
    Lines t = translate_ok({"z<-k x", "case (x) {", "1: z<-'one'", "'b': z<-'two'", "else z<-'many'", "}"});
    std::smatch m;
    ASSERT_TRUE(std::regex_match(t[1], m, std::regex(R"(->\(~\(x\)\?1\)/(CS\d+))")));
    std::string a = m[1];
    EXPECT_EQ(t[2], "z<-'one'");
    EXPECT_EQ(t[3], "->L0");
    ASSERT_TRUE(std::regex_match(t[4], m, std::regex(a + R"(:->\(~\(x\)\?'b'\)/(CS\d+))")));
    std::string b = m[1];
    EXPECT_EQ(t[5], "z<-'two'");
    EXPECT_EQ(t[6], "->L0");
    EXPECT_EQ(t[7], b + ":");
    EXPECT_EQ(t[8], "z<-'many'");
    EXPECT_EQ(t[9], "L0:");
    EXPECT_EQ(t.size(), 10u);
    // Without else the last arm's label closes the case.
    Lines plain = translate_ok({"f x", "case (x)", "{ `a: y<-1 }"});
    EXPECT_EQ(plain.back(), "L0:");
    EXPECT_EQ(plain[plain.size() - 3], "->L0");
}

TEST(ControlTranslate, MalformedBlocksFailWithTheirLine)
{
    EXPECT_EQ(translate_failing({"f", "a<-1", "else b<-2"}), 2);     // else without if
    EXPECT_EQ(translate_failing({"f", "a<-1 }"}), 1);                // stray closing brace
    EXPECT_EQ(translate_failing({"f", "}"}), 1);
    EXPECT_EQ(translate_failing({"f", "break"}), 1);                 // break outside a loop
    EXPECT_EQ(translate_failing({"f", "for (total: v) s<-s+total"}), 1);  // t is not allowed
    EXPECT_EQ(translate_failing({"f", "for (i 1; 3) s"}), 1);        // no ':'
    EXPECT_EQ(translate_failing({"f", "if x>0 y<-1"}), 1);           // no '('
    EXPECT_EQ(translate_failing({"f", "while (i<3 i<-i+1"}), 1);     // unbalanced
    EXPECT_EQ(translate_failing({"f", "while (i<3) {", "i<-i+1"}), 2);  // block past the end
    EXPECT_EQ(translate_failing({"f", "if (c)"}), 1);                // body missing
    EXPECT_EQ(translate_failing({"f", "case (x) { }"}), 1);          // case without an arm
    EXPECT_EQ(translate_failing({"f", "case (x) y"}), 1);            // case without '{'
    EXPECT_EQ(translate_failing({"f", "case (x) { 1 a<-2 }"}), 1);   // arm without ':'
}

TEST(ControlTranslate, ElseIsAWholeWordAndQuotesAreSkipped)
{
    EXPECT_EQ(translate_ok({"f", "elsewhere<-1", "if (c) x<-'} else' else x<-`else"}),
              (Lines{"f", "elsewhere<-1", "->(~c)/L0", "x<-'} else'", "->L1", "L0:", "x<-`else", "L1:"}));
    // A variable named like a keyword is assigned as usual.
    EXPECT_EQ(translate_ok({"f", "for<-3"}), (Lines{"f", "for<-3"}));
    // Labels with '_' stay on their line; plain labels get a line of their own.
    EXPECT_EQ(translate_ok({"f", "top: a<-1", "my_top: a<-2"}),
              (Lines{"f", "top:", "a<-1", "my_top: a<-2"}));
}
