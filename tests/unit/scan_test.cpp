// The shared scanners of source text: which blanks are skipped and where a
// skip stops, and texts in quotes with doubled quotes, closed or not.
#include <gtest/gtest.h>
#include <string>
#include "core/scan.h"

TEST(Scan, BlanksStopAtTheirSetTheEndAndTheText) {
    const char *s = " \t x";
    EXPECT_EQ(skip_blanks(s, 0), 3);
    EXPECT_EQ(skip_blanks(s, 0, BLANKS_ONLY), 1);
    EXPECT_EQ(skip_blanks(s, 0, BLANKS_AND_TABS, 2), 2);
    EXPECT_EQ(skip_blanks(s, 3, BLANKS_AND_TABS, 2), 3);    // already past the end
    EXPECT_EQ(skip_blanks(s), s + 3);
    EXPECT_EQ(skip_blanks("   "), std::string(""));         // the NUL ends them
    std::string t = "ab  ";
    EXPECT_EQ(skip_blanks(t, 2), 4u);
    EXPECT_EQ(skip_blanks(t, 9), 9u);
}

TEST(Scan, QuotedTextsEndAtTheirClosingQuote) {
    const char *s = "'it''s' x";
    EXPECT_EQ(skip_quoted(s, 0), 7);
    bool closed = false;
    EXPECT_EQ(skip_quoted("'open''", 0, -1, &closed), 7);  // a doubled quote closes nothing
    EXPECT_FALSE(closed);
    EXPECT_EQ(skip_quoted(s, 0, 6, &closed), 6);           // the end cuts it short
    EXPECT_FALSE(closed);
    EXPECT_EQ(skip_quoted(s, 0, 4, &closed), 4);           // a partner past the end is none
    EXPECT_TRUE(closed);
    EXPECT_EQ(skip_quoted("'a'", 0, 3, &closed), 3);
    EXPECT_TRUE(closed);
    EXPECT_EQ(skip_quoted(std::string("x'a''b'"), 1, &closed), 7u);
    EXPECT_TRUE(closed);
}
