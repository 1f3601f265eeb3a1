// The workspace clear and its counters, names and headers, symbols and the
// name trie, and the session's own output rules.
#include "interpreter_fixture.h"
#include <cstring>
#include <string>
#include <cmath>
#include "core/session.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/names.h"
#include "core/symbols.h"
#include "core/output.h"
#include "core/errors.h"
#include "core/workspace.h"
#include "core/storage.h"
#include "core/functions.h"
#include "core/textlines.h"

#define clear_output captured_output()

class ClearTest : public InterpreterFixture {
protected:
    static void assign_int(const char *name, i64 value) {
        i64 g = lookup_name(name, 'G');
        if (g < 0) g = add_name_entry(name, 'G');
        ASSERT_GE(g, 0);
        i64 s = global_name_table[g].index;
        value_slot_table[s].type = T_INT;
        ASSERT_EQ(alloc_slot_value(s, T_INT, 0, 1), 0);
        value_slot_table[s].dim0 = value;
    }
    static std::string names(const char *prefix, char kind) {
        TextLine *head = collect_names(prefix, kind);
        if (!head) return "<none>";
        std::string out;
        for (TextLine *t = head->next; t; t = t->next) out += std::string(t->text) + " ";
        free_text_lines(head);
        return out;
    }
};

TEST_F(ClearTest, EveryCounterAfterAClear) {
    // dirty every table first
    assign_int("alpha", 1);
    add_name_entry("local", 'V');
    alloc_table_entry('C', -1);
    alloc_table_entry('N', -1);
    alloc_table_entry('E', -1);
    alloc_table_entry('B', -1);
    alloc_table_entry('F', -1);
    add_name_entry("a_rather_long_name", 'G');
    intern_symbol("sym");
    new_chunk(100000);
    si_depth = 3;
    dfxstack = 2;
    nxtglx = 10;
    overflow_count = 4;
    stacktop = 128;
    clear_workspace(1);
    EXPECT_EQ(lstvx, 17);
    EXPECT_EQ(lstcx, 20);
    EXPECT_EQ(lstgx, 14);
    EXPECT_EQ(lstfx, 99);
    EXPECT_EQ(lstbrx, 0);
    EXPECT_EQ(overflow_count, 0);
    EXPECT_EQ(lstvxend, 23460);
    EXPECT_EQ(stacktop, 0);
    for (i64 c : {lstnx, lstndx, lstfndx, nxtglx, lsttnam, dfxstack, si_depth}) EXPECT_EQ(c, -1);
    // []AV is the one heap block: its 257 bytes rounded to 264, and a trailer
    EXPECT_EQ(r15, ARENA_BYTES - 264 - (i64)sizeof(HeapBlockTrailer));
    EXPECT_EQ(chunk_list_head->next, nullptr);
    EXPECT_EQ(symbol_table.last, 0);
    EXPECT_EQ(branch_table[0].false_target, -1);
    EXPECT_EQ(branch_table[0].true_target, 0);
    EXPECT_EQ(lookup_name("alpha", 'G'), -1);
}

TEST_F(ClearTest, SystemVariablesAndConstants) {
    const ValueDescriptor &io = value_slot_table[SLOT_IO];
    EXPECT_EQ(io.type, T_INT);
    EXPECT_EQ(io.rank, 0);
    EXPECT_EQ(io.dim0, 1);
    const ValueDescriptor &av = value_slot_table[SLOT_AV];
    EXPECT_EQ(av.count, 256);
    EXPECT_EQ(((const char *)av.data)[65], 'A');
    EXPECT_EQ(((const char *)av.data)[10], ' ');
    EXPECT_EQ(((const char *)av.data)[127], 127);
    EXPECT_EQ(((const char *)av.data)[200], ' ');
    EXPECT_EQ(value_slot_table[SLOT_RL].dim0, 16807);
    EXPECT_EQ(value_slot_table[SLOT_RL].rank, 1);
    EXPECT_EQ(value_slot_table[SLOT_PP].dim0, 10);
    EXPECT_EQ(value_slot_table[SLOT_OF].rank, -1);
    EXPECT_EQ(value_slot_table[SLOT_LX].rank, 1);
    EXPECT_EQ(value_slot_table[SLOT_LX].count, 0);
    double big;
    memcpy(&big, &constants_table[17].dim0, sizeof big);
    EXPECT_EQ(big, std::ldexp(1.0, 252));
    EXPECT_EQ(constants_table[4].dim0, -1);
    EXPECT_EQ(global_name_table[13].kind, 'F');
    EXPECT_EQ(global_name_table[13].index, 7);
    EXPECT_EQ(function_table[2].valence, 2);
    EXPECT_EQ(function_table[2].result, -2);
}

TEST_F(ClearTest, FullTablesFailWithoutWritingPastTheEnd) {
    i64 saved = lstfx;
    lstfx = FUNCTION_CAP - 1;
    EXPECT_EQ(alloc_table_entry('F', -1), -1);
    EXPECT_EQ(error_number, 84);
    EXPECT_EQ(lstfx, FUNCTION_CAP - 1);
    lstfx = saved;
    error_number = 0;
    lstvx = lstvxend - 1;
    EXPECT_EQ(add_name_entry("toomany", 'G'), -1);
    EXPECT_EQ(lookup_name("toomany", 'G'), -1) << "the name entry is taken back";
    EXPECT_EQ(alloc_table_entry('Q', 77), 77);
    // the long-name pool refuses a continuation that does not fit
    lsttnam = LONG_NAME_CAP - 4;
    error_number = 0;
    EXPECT_EQ(add_name_entry("abcdefghijklmnop", 'V'), -1);
    EXPECT_EQ(error_number, 6);
}

TEST_F(ClearTest, LongNamesAndLookup) {
    i64 a = add_name_entry("abcdefgh", 'G');
    i64 b = add_name_entry("abcdefghi", 'G');
    i64 c = add_name_entry("abcdefghXYZ", 'G');
    EXPECT_EQ(global_name_table[a].continuation, -1);
    EXPECT_EQ(global_name_table[b].continuation, 0);
    EXPECT_STREQ(long_name_pool + global_name_table[b].continuation, "i");
    EXPECT_EQ(lookup_name("abcdefgh", 'G'), a);
    EXPECT_EQ(lookup_name("abcdefghi", 'G'), b);
    EXPECT_EQ(lookup_name("abcdefghXYZ", 'G'), c);
    EXPECT_EQ(lookup_name("abcdefghXY", 'G'), -1);
    EXPECT_STREQ(name_text_by_index(c, 'G'), "abcdefghXYZ");
    EXPECT_EQ(lookup_name("x", 'Z'), -1) << "an unknown table letter never yields entry 0";
    std::string n128(128, 'q');
    EXPECT_EQ(add_name_entry(n128.c_str(), 'G'), -1);
    EXPECT_TRUE(is_valid_identifier("ws1_a"));
    EXPECT_FALSE(is_valid_identifier("ws_"));
    EXPECT_FALSE(is_valid_identifier("1ws"));
}

TEST_F(ClearTest, FunctionHeaders) {
    char name[NAME_MAX + 1];
    EXPECT_EQ(parse_header_name("z<-x f y;t", name), 0);
    EXPECT_STREQ(name, "f");
    EXPECT_EQ(parse_header_name("z<-g(a;b;c)", name), 0);
    EXPECT_STREQ(name, "g");
    EXPECT_EQ(parse_header_name("h x", name), 0);
    EXPECT_STREQ(name, "h");
    EXPECT_EQ(parse_header_name("1abc", name), 8);

    i64 f = define_function_from_header("z<-g(a;b;c)");
    ASSERT_GE(f, FIRST_USER_FUNCTION);
    EXPECT_EQ(function_table[f].valence, 1);
    EXPECT_EQ(function_table[f].right_count, 3);
    EXPECT_EQ(function_table[f].header_end - function_table[f].header_start, 4);
    i64 d = define_function_from_header("x dy y;t");
    ASSERT_GE(d, FIRST_USER_FUNCTION);
    EXPECT_EQ(function_table[d].valence, 2);
    EXPECT_EQ(function_table[d].result, -1);
    EXPECT_EQ(find_local_name("t", d), function_table[d].header_end);
    EXPECT_EQ(define_function_from_header("x dy y"), d) << "redefinition keeps the index";
    // a localised system variable is accepted in the header
    i64 io = define_function_from_header("z<-k2 y;[]IO");
    ASSERT_GE(io, FIRST_USER_FUNCTION);
    EXPECT_GE(find_local_name("[]IO", io), 0);

    i64 before = lstnx;
    EXPECT_EQ(parse_function_header("p", f, "z<p", 3), 11);
    EXPECT_EQ(parse_function_header("p", f, "a q b", 5), 12);
    EXPECT_EQ(parse_function_header("p", f, "a p", 3), 16);
    EXPECT_EQ(parse_function_header("p", f, "p(a,b)", 6), 12);
    EXPECT_EQ(parse_function_header("p", f, "p a;1b", 6), 8);
    EXPECT_EQ(parse_function_header("p", f, "p a b", 5), 16);
    EXPECT_EQ(lstnx, before) << "a refused header makes no local names";

    // a built-in is shadowed by a new entry; a defined variable is refused
    i64 key = define_function_from_header("z<-key x");
    EXPECT_GE(key, FIRST_USER_FUNCTION);
    EXPECT_EQ(global_name_table[lookup_name("key", 'G')].index, key);
    assign_int("taken", 3);
    EXPECT_EQ(define_function_from_header("taken"), -1);
}

TEST_F(ClearTest, SymbolsInterned) {
    EXPECT_EQ(intern_symbol(""), 0);
    i64 a = intern_symbol("abc");
    EXPECT_EQ(a, 1);
    EXPECT_EQ(intern_symbol("abc"), a);
    EXPECT_NE(intern_symbol("ABC"), a);
    char name[16];
    for (int i = 0; i < 1500; i++) {
        snprintf(name, sizeof name, "s%04d", (i * 7919) % 1500);
        intern_symbol(name);
    }
    EXPECT_GE(symbol_table.capacity, 2048);
    EXPECT_EQ(intern_symbol("abc"), a) << "numbers survive growth";
    for (i64 k = 0; k <= symbol_table.last; k++)
        ASSERT_EQ(find_symbol(symbol_text(k)), k);
    EXPECT_EQ(intern_symbol(std::string(128, 'x').c_str()), -1);
    i64 blank = intern_symbol("a b");
    char buffer[SYMBOL_NAME_MAX + 4];
    EXPECT_EQ(format_symbol_quoted(symbol_node(blank), buffer), 6);
    EXPECT_STREQ(buffer, "`'a b'");
    clear_workspace(0);
    EXPECT_EQ(intern_symbol("zz"), 1);
}

TEST_F(ClearTest, NameListingInAsciiOrder) {
    assign_int("beta", 1);
    assign_int("Beta", 1);
    assign_int("_x", 1);
    assign_int("b_2", 1);
    assign_int("b9", 1);
    add_name_entry("unset", 'G');
    add_name_entry("proc_where", 'F');
    add_name_entry("fun", 'F');
    EXPECT_EQ(names("", 'V'), "Beta _x b9 b_2 beta ");
    EXPECT_EQ(names("b", 'V'), "b9 b_2 beta ");
    EXPECT_EQ(names("zz", 'V'), "<none>");
    EXPECT_EQ(names("", 'F'), "fun ");
    EXPECT_EQ(list_names("q", 'F', 1), -1);
}

TEST_F(ClearTest, SessionOutputRules) {
    std::string longtext(5000, 'w');
    vek_printf("<%s>", longtext.c_str());
    EXPECT_EQ(clear_output, "<" + longtext + ">") << "long pieces arrive whole";
    clear_output.clear();
    report_error(36);
    report_error(205);
    report_error(3);
    EXPECT_EQ(clear_output, "\nError: \nError: length error\n");

    clear_output.clear();
    char empty[] = "   // only a comment";
    execute_input_line(empty);
    EXPECT_EQ(clear_output, "      ");

    // a failing long line is echoed whole with its caret line
    std::string line = "1+" + std::string(4000, '(');
    std::string buf = "  " + line + "  ";
    clear_output.clear();
    execute_input_line(buf.data());
    EXPECT_NE(clear_output.find("      " + line + "\n"), std::string::npos);
    EXPECT_NE(clear_output.find("^\n      "), std::string::npos);
    EXPECT_EQ(si_depth, 0) << "the failed line stays on the state indicator";
    char arrow[] = "->";
    execute_input_line(arrow);
    EXPECT_EQ(si_depth, -1);
    execute_input_line(arrow);
    EXPECT_EQ(si_depth, -1) << "never below empty";

    // a line started with a state indicator full of suspended calls fails
    // at once; bare immediate entries would make room (calls_test)
    for (i64 i = 0; i < SI_CAP; i++) state_indicator[i] = {FIRST_USER_FUNCTION, 1};
    si_depth = SI_CAP - 1;
    clear_output.clear();
    char one[] = "1";
    execute_input_line(one);
    EXPECT_EQ(clear_output.rfind("Error: one table is full\n", 0), 0u);
    EXPECT_EQ(si_depth, SI_CAP - 1);
    for (i64 i = 0; i < SI_CAP; i++) state_indicator[i] = {-1, -1};
    si_depth = -1;
}
