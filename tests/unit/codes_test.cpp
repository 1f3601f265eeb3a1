// The table of primitives against the three places that must agree with
// it: the lexer's tokens, the handlers the families register, and the
// script editor's symbol table (vek-table.txt).
#include "interpreter_fixture.h"
#include "core/codes.h"
#include "core/dispatch.h"
#include "core/lexer.h"
#include <fstream>
#include <map>
#include <string>

TEST(CodeTable, EveryTokenReadsBackFromItsGlyph) {
    i64 n;
    const PrimInfo *rows = prim_rows(&n);
    for (i64 k = 0; k < n; k++) {
        const PrimInfo &r = rows[k];
        if (r.token < 0) continue;
        EXPECT_EQ(token_code_table[r.token], r.first) << r.name;
        if (!*r.glyph) continue;
        std::string line = std::string(r.glyph) + " ";
        scan_pos = 0;
        int token = primitive_token_code(line.c_str(), r.valence == 2);
        EXPECT_EQ(token, r.token) << r.name << " " << r.glyph;
        EXPECT_EQ(scan_pos + 1, (i64)strlen(r.glyph)) << r.name;
    }
    // the dyadic meaning of a paired symbol is its monadic code + 1
    for (i64 k = 0; k < n; k++)
        if (rows[k].token < 0 && rows[k].first == rows[k].last && rows[k].valence == 2 && *rows[k].glyph &&
            rows[k].first >= P_ROLL && rows[k].first <= P_CIRCLE) {
            const PrimInfo *m = prim_info(rows[k].first - 1);
            ASSERT_NE(m, nullptr);
            EXPECT_STREQ(m->glyph, rows[k].glyph) << rows[k].name;
        }
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

TEST(CodeTable, SymbolTableFileAgrees) {
    std::ifstream in(VEK_SOURCE_DIR "/vek-table.txt");
    ASSERT_TRUE(in.good());
    std::map<std::string, std::string> glyph_of;   // title -> glyph
    std::string line;
    while (std::getline(in, line)) {
        // [title]0[glyph]0[title]0[glyph]
        std::vector<std::string> parts;
        size_t at = 0;
        while (at < line.size()) {
            size_t end = line.find("]0[", at);
            std::string p = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
            parts.push_back(p);
            if (end == std::string::npos) break;
            at = end + 3;
        }
        ASSERT_EQ(parts.size(), 4u) << line;
        parts[0] = parts[0].substr(1);
        parts[3].pop_back();
        for (int k = 0; k < 4; k += 2)
            if (parts[k] != " ") glyph_of[parts[k]] = parts[k + 1];
    }
    i64 n;
    const PrimInfo *rows = prim_rows(&n);
    for (i64 k = 0; k < n; k++) {
        const PrimInfo &r = rows[k];
        if (!*r.title || !*r.glyph) continue;
        auto it = glyph_of.find(r.title);
        if (it == glyph_of.end()) { ADD_FAILURE() << "vek-table.txt lacks " << r.title; continue; }
        EXPECT_EQ(it->second, r.glyph) << r.title;
    }
}
