// The function text store: listing layout, the work-line to typed-line
// mapping, and the direct definitions' header building.
#include "interpreter_fixture.h"
#include <string>
#include "core/calls.h"
#include "core/control.h"
#include "core/functions.h"
#include "core/names.h"
#include "core/errors.h"

#define text_output captured_output()

class FunctionText_ : public InterpreterFixture {
protected:
    FunctionText *text(const std::vector<std::string> &lines)
    {
        FunctionText *ft = new_function_text("f");
        set_header_line(ft, lines[0].c_str());
        for (size_t i = 1; i < lines.size(); i++) append_typed_line(ft, lines[i].c_str());
        rebuild_fresh_lines(ft);
        return ft;
    }
    std::string header_of(const char *name)
    {
        i64 g = lookup_name(name, 'G');
        if (g < 0 || global_name_table[g].kind != 'F') return "(none)";
        FunctionText *ft = function_table[global_name_table[g].index].text;
        std::string all = old_line_text(ft, 0);
        for (i64 i = 1; i < ft->typed_count; i++) all += std::string(" | ") + old_line_text(ft, i);
        return all;
    }
    std::string define(const char *line)
    {
        char name[FUNCTION_NAME_MAX + 1];
        error_number = 0;
        if (convert_direct_definition(line, name)) return "error " + std::to_string(error_number);
        return header_of(name);
    }
};

TEST_F(FunctionText_, ListingNumbersLinesAndStartsTextsInColumnSeven)
{
    std::vector<std::string> lines = {"z<-f x"};
    for (int i = 1; i < 12; i++) lines.push_back("z<-x+" + std::to_string(i));
    FunctionText *ft = text(lines);
    print_function_listing(ft, "f");
    std::string expect = "----------f---------\n[ 0]  z<-f x\n";
    for (int i = 1; i < 12; i++)
        expect += (i < 10 ? "[ " : "[") + std::to_string(i) + "]  z<-x+" + std::to_string(i) + "\n";
    expect += "--------------------\n";
    EXPECT_EQ(text_output, expect);
    text_output.clear();
    FunctionText *small = text({"g"});
    print_function_listing(small, "averyveryverylongname");
    EXPECT_EQ(text_output, "averyveryverylongname\n[0]   g\n--------------------\n");
    text_output.clear();
    print_function_listing(small, "select");
    EXPECT_EQ(text_output, "`select is a reserved function.\n");
    free_function_text(ft);
    free_function_text(small);
}

TEST_F(FunctionText_, WorkLinesMapBackToTypedLinesAndColumns)
{
    FunctionText *ft = text({"z<-f x", "", "   if (x>0) z<-1 else z<-2  // sign", "z<-z"});
    i64 failing;
    ASSERT_EQ(translate_control_structures(ft, &failing), 0);
    // Work: 0 header, 1 ->(~x>0)/L0, 2 z<-1, 3 ->L1, 4 L0:, 5 z<-2, 6 L1:, 7 z<-z.
    EXPECT_EQ(typed_line_for_work_line(ft, 1), 2);
    EXPECT_EQ(typed_line_for_work_line(ft, 7), 3);
    i64 col = 5;   // the '>' of the translated condition
    EXPECT_STREQ(source_line_for_work_line(ft, 1, &col), "if (x>0) z<-1 else z<-2  // sign");
    EXPECT_EQ(col, 5);
    col = 3;       // '1' of "z<-1"
    source_line_for_work_line(ft, 2, &col);
    EXPECT_EQ(col, 12);
    col = 0;
    source_line_for_work_line(ft, 5, &col);
    EXPECT_EQ(col, 19);
    EXPECT_STREQ(old_line_text(ft, 99), "f");
    free_function_text(ft);
}

TEST_F(FunctionText_, DirectDefinitionsBuildTheirHeaders)
{
    EXPECT_EQ(define("f: x+1}"), "z<-f x | z<-x+1");
    EXPECT_EQ(define("g: y*x}"), "z<-y g x | z<-y*x");
    EXPECT_EQ(define("h: z<-5; a<-1}"), "z<-h;a | z<-5 | a<-1");
    EXPECT_EQ(define("k: t<-x; t*2}"), "z<-k x;t | t<-x | z<-t*2");
    EXPECT_EQ(define("m: f t<-y}"), "z<-m y;t | z<-f t<-y");   // f is a function: not local
    // Names inside quotes, symbols and numbers are not names of the function.
    EXPECT_EQ(define("q: 'x y z',`w,1e5}"), "z<-q | z<-'x y z',`w,1e5");
    EXPECT_EQ(define("r: []IO<-0; 'it''s';x}"), "z<-r x;[]IO | []IO<-0 | 'it''s' | z<-x");
    EXPECT_EQ(define("s: (x;y)}"), "z<-y s x | z<-(x;y)");
    // A label stays a label: it is not made a local.
    EXPECT_EQ(define("c: i<-0; top: i<-i+1; ->(i<x)/top; i}"),
              "z<-c x;i | i<-0 | top: i<-i+1 | ->(i<x)/top | z<-i");
    // The closing brace is required; unbalanced text and reserved names fail.
    EXPECT_EQ(define("u: x+10"), "error 1");
    EXPECT_EQ(define("v: (x}"), "error 1");
    EXPECT_EQ(define("w: x]}"), "error 1");
    EXPECT_EQ(define("n: 'x}"), "error 1");
    EXPECT_EQ(define(": x}"), "error 1");
    text_output.clear();
    EXPECT_EQ(define("exec: x}"), "error 1");
    EXPECT_EQ(text_output, "`exec is a reserved function.\n");
    // A name too long for a function is a length error.
    EXPECT_EQ(define((std::string(130, 'a') + ": x}").c_str()), "error 3");
    EXPECT_EQ(define((std::string(120, 'a') + ": x}").c_str()), "error 3");
    // Redefinition keeps the function and replaces its lines.
    EXPECT_EQ(define("f: x+2; x}"), "z<-f x | x+2 | z<-x");
}

// A definition that cannot be made is reported at the session, not left
// as an empty line: a full function table is 84, a name too long for a
// function a length error.
TEST_F(FunctionText_, FailedDefinitionsAreReported)
{
    for (i64 i = FIRST_USER_FUNCTION; i < FUNCTION_CAP; i++)
        ASSERT_EQ(run(("{f" + std::to_string(i) + ": x+1}").c_str()), "f" + std::to_string(i) + "\n");
    EXPECT_EQ(run("{onemore: x+1}"), "Error: one table is full\n");
    EXPECT_EQ(lookup_name("onemore", 'G'), -1);
    EXPECT_EQ(run("{f100: x+2}"), "f100\n");   // a redefinition needs no new entry
    EXPECT_EQ(run((std::string("{") + std::string(125, 'n') + ": x}").c_str()), "Error: length error\n");
    EXPECT_EQ(run("{bad: (x}"), "\n");
}

TEST_F(FunctionText_, OverlongNamesAndLinesAreRefused)
{
    EXPECT_EQ(new_function_text(std::string(120, 'n').c_str()), nullptr);
    EXPECT_EQ(error_number, 23);
    FunctionText *ft = new_function_text(std::string(119, 'n').c_str());
    ASSERT_NE(ft, nullptr);
    std::string line(5120, 'a');
    EXPECT_EQ(set_header_line(ft, line.c_str()), 23);
    EXPECT_EQ(append_typed_line(ft, line.c_str()), 23);
    EXPECT_EQ(append_typed_line(ft, line.substr(1).c_str()), 0);
    free_function_text(ft);
}
