// The table of primitives against what is made from it or must agree with
// it: the lexer's glyphs, the handlers the families register, the symbol
// sheet (vek-table.txt) and the help's symbol tables.
#include "interpreter_fixture.h"
#include "core/code_sheets.h"
#include "core/codes.h"
#include "core/dispatch.h"
#include "core/lexer.h"
#include <fstream>
#include <sstream>
#include <string>

static Token lex(const std::string &text, bool dyadic, i64 *end) {
    std::string line = text + " ";
    scan_pos = 0;
    Token t = primitive_token_code(line.c_str(), dyadic);
    *end = scan_pos + 1;
    return t;
}

TEST(CodeTable, EveryGlyphReadsBackAsItsToken) {
    for (int t = 0; t < TOKEN_COUNT; t++) {
        const TokenInfo &r = token_rows[t];
        for (int side : {CTX_MONADIC, CTX_DYADIC}) {
            if (!(r.context & side)) continue;
            i64 end;
            EXPECT_EQ(lex(r.glyph, side == CTX_DYADIC, &end), t) << r.name << " " << r.glyph;
            EXPECT_EQ(end, (i64)strlen(r.glyph)) << r.name;
        }
        EXPECT_EQ(token_code_table[t], r.code) << r.name;
    }
    // the longest glyph wins, and a glyph read in one context only is no
    // token in the other
    i64 end;
    EXPECT_EQ(lex("<-", false, &end), TOK_ASSIGN);
    EXPECT_EQ(lex("<", true, &end), TOK_LESS);
    EXPECT_EQ(lex("<", false, &end), TOK_GRADE_UP);
    EXPECT_EQ(lex("||", true, &end), TOK_CUT);
    EXPECT_EQ(lex("|:", true, &end), TOK_MAGNITUDE);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(lex(".", false, &end), TOK_NONE);
    EXPECT_EQ(lex("_", true, &end), TOK_NONE);
    EXPECT_EQ(lex("\xc3\xa9", true, &end), TOK_NONE);
}

TEST(CodeTable, EveryRowWithAGlyphIsReachable) {
    // a glyph's row is read by the lexer, or is the dyadic meaning of the
    // row before it; the other rows have no glyph
    for (int t = 0; t < TOKEN_COUNT; t++) {
        const TokenInfo &r = token_rows[t];
        if (r.code < 0 || r.context != CTX_NEVER || !*r.glyph) continue;
        ASSERT_GT(t, 0);
        EXPECT_EQ(token_dyadic_code((Token)(t - 1)), r.code) << r.name << " " << r.glyph;
    }
    EXPECT_EQ(token_dyadic_code(TOK_CONJUGATE), P_PLUS);
    EXPECT_EQ(token_dyadic_code(TOK_OR), P_OR);
    EXPECT_EQ(token_dyadic_code(TOK_EACH), P_EACH);
    EXPECT_EQ(glyph_dyadic_code(TOK_GRADE_UP), P_LESS);
    EXPECT_EQ(glyph_dyadic_code(TOK_NOT), P_MATCH);
    EXPECT_EQ(glyph_dyadic_code(TOK_BRANCH), -1);
}

TEST(CodeTable, TraitsTheCompilerAndEachRead) {
    EXPECT_TRUE(code_is_dyadic_only(P_REPLICATE));
    EXPECT_FALSE(code_is_dyadic_only(P_WRITE_HANDLE));
    EXPECT_TRUE(code_is_scalar(P_CIRCLE));
    EXPECT_FALSE(code_is_scalar(P_MEMBER));
    EXPECT_FALSE(code_is_scalar(-1));
    EXPECT_FALSE(code_is_scalar(P_INNER + 4549));
    // the glyphs an axis may follow: , $ / \ and not ,. $.
    std::string axis;
    for (int t = 0; t < TOKEN_COUNT; t++)
        if (token_rows[t].context != CTX_NEVER && token_takes_axis((Token)t)) axis += std::string(token_rows[t].glyph) + " ";
    EXPECT_EQ(axis, "/ \\ , $ ");
    EXPECT_FALSE(code_takes_axis(P_RAVEL));
    // each: by valence, ranges included; the row of the code wins over the
    // outer product's range
    EXPECT_TRUE(code_allowed_under_each(P_NEGATE, 1));
    EXPECT_FALSE(code_allowed_under_each(P_NEGATE, 2));
    EXPECT_TRUE(code_allowed_under_each(reduce_code(P_PLUS, true), 1));
    EXPECT_TRUE(code_allowed_under_each(P_ROTATE_AXIS + 2, 2));
    EXPECT_TRUE(code_allowed_under_each(P_FIRST, 1));
    EXPECT_FALSE(code_allowed_under_each(P_CIRCLE, 2));
    EXPECT_FALSE(code_allowed_under_each(P_EACH, 1));
    EXPECT_FALSE(code_allowed_under_each(outer_code(P_PLUS), 2));
}

TEST(CodeTable, SystemFunctionNames) {
    EXPECT_EQ(system_function_code("CSV"), SF_CSV);
    EXPECT_EQ(system_function_code("open"), SF_OPEN);
    EXPECT_EQ(system_function_code("Open"), -1);
    EXPECT_EQ(system_function_code(""), -1);
    EXPECT_EQ(code_family(SF_TS), FAM_EXECUTE);
}

TEST_F(InterpreterFixture, EveryHandlerIsRegisteredByTheFamilyItsRowNames) {
    for (i64 code = 0; code < PRIM_CODE_CAP; code++)
        for (int valence = 1; valence <= 2; valence++) {
            if (!find_primitive(code, valence)) continue;
            PrimFamily f = registered_family(code, valence);
            EXPECT_NE(f, FAM_NONE) << "code " << code << " registered outside a family";
            if (f == FAM_NONE) continue;
            EXPECT_EQ(f, code_family(code, valence)) << "code " << code << " valence " << valence << " registered by "
                                            << family_name(f);
            // a handler of the wrong valence finds no row of its own; a
            // system function ([]TS, monadic) has its name row instead
            if (!(valence == 1 && is_system_function_code(code))) {
                EXPECT_NE(prim_info(code, valence), nullptr) << "code " << code << " valence " << valence;
            }
        }
}

TEST(CodeTable, TheSymbolSheetShowsEveryGlyphTheLexerReads) {
    std::string sheet, error;
    ASSERT_TRUE(symbol_sheet_text(&sheet, &error)) << error;
    for (int t = 0; t < TOKEN_COUNT; t++) {
        const TokenInfo &r = token_rows[t];
        if (r.context == CTX_NEVER || !*r.title) continue;
        EXPECT_GT(r.sheet.line, 0) << r.name << " has no cell on the symbol sheet";
        EXPECT_NE(sheet.find(std::string("[") + r.title + "]0[" + r.glyph + "]"), std::string::npos) << r.name;
    }
    // four cells a line; a cell no row takes is blank, a zero spelt out
    std::istringstream lines(sheet);
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
        n++;
        size_t zeros = 0;
        for (char c : line) zeros += c == '0';
        EXPECT_EQ(zeros, 3u) << line;
    }
    EXPECT_GT(n, 40);
    EXPECT_NE(sheet.find("[ ]0[ ]0[Or]0[&]\n"), std::string::npos);
    EXPECT_NE(sheet.find("[Integer null]0[zero n]0[Integer infinity]0[zero w]\n"), std::string::npos);
}

TEST(CodeTable, TheHelpsSymbolTablesAreUpToDate) {
    std::ifstream in(VEK_SOURCE_DIR "/docs/help/symbols.md", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::stringstream document;
    document << in.rdbuf();
    std::string made, error;
    ASSERT_TRUE(rewrite_help_tables(document.str(), &made, &error)) << error;
    if (made == document.str()) return;
    std::istringstream a(document.str()), b(made);
    std::string la, lb;
    int number = 0;
    while (std::getline(a, la) && std::getline(b, lb) && la == lb) number++;
    ADD_FAILURE() << "the symbol tables of docs/help/symbols.md differ from core/codes.def at line " << number + 1
                  << ":\n  " << la << "\nwould be\n  " << lb
                  << "\nrewrite them with: cmake --build " VEK_BINARY_DIR " --target update-help-table";
}

TEST(CodeTable, HelpTablesRefuseADocumentWithoutTheirHeadings) {
    std::string made, error;
    EXPECT_FALSE(rewrite_help_tables("# Symbols\n\n## Arithmetic\n\nno table\n", &made, &error));
    EXPECT_NE(error.find("Arithmetic"), std::string::npos);
    EXPECT_FALSE(rewrite_help_tables("## Arithmetic\n| a |\n", &made, &error));
    EXPECT_NE(error.find("Comparison and logic"), std::string::npos);
}
