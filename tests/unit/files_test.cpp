// The file functions against real files: CSV cells read back exactly as
// written for every column type, the export layouts, JSON that a JSON
// reader accepts, []write leaving a file alone when it has nothing to
// write, the handle table's limits, full disks, []get over every byte
// value, and keyboard input without its line end.
// The core headers come first: names.h has a constant that <limits.h> would
// otherwise turn into a macro before it is declared.
#include "interpreter_fixture.h"
#include "core/names.h"
#include "core/symbols.h"
#include "core/timecode.h"
#include "system/csv.h"
#include "system/export.h"
#include "system/text_lines.h"
#include "core/errors.h"
#include "core/workspace.h"
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const i64 INT_NULL = INT64_MIN;   // the null of integers and of the time types

std::string made_dir;

std::string temp_dir() {
    if (made_dir.empty()) {
        char tmpl[] = "/tmp/vek_files_XXXXXX";
        made_dir = mkdtemp(tmpl);
    }
    return made_dir;
}

// The directory goes when the test program ends.
struct RemoveTempDir : ::testing::Environment {
    void TearDown() override {
        if (made_dir.empty()) return;
        std::string command = "rm -rf '" + made_dir + "'";
        if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", made_dir.c_str());
    }
};
::testing::Environment *const remove_temp_dir = ::testing::AddGlobalTestEnvironment(new RemoveTempDir);

class FilesTest : public InterpreterFixture {
protected:
    void SetUp() override {
        InterpreterFixture::SetUp();
        snprintf(library_path, sizeof library_path, "%s", temp_dir().c_str());
    }
    static void put(const std::string &name, const std::string &bytes) {
        std::ofstream(temp_dir() + "/" + name, std::ios::binary) << bytes;
    }
    static std::string take(const std::string &name) {
        std::ifstream in(temp_dir() + "/" + name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static const ValueDescriptor *var(const char *name) {
        i64 g = lookup_name(name, 'G');
        if (g < 0 || global_name_table[g].kind != 'V') return nullptr;
        return &value_slot_table[global_name_table[g].index];
    }
    // Column k of table variable `name`.
    static const ValueDescriptor *column(const char *name, i64 k) {
        const ValueDescriptor *t = var(name);
        if (!t || t->type != T_TABLE) return nullptr;
        const ValueDescriptor *cols = &((const ValueDescriptor *)t->data)[1];
        return &((const ValueDescriptor *)cols->data)[k];
    }
    static const void *items(const ValueDescriptor *d) { return value_data(const_cast<ValueDescriptor *>(d)); }
    static std::string text_cell(const ValueDescriptor *col, i64 r) {
        const ValueDescriptor *item = &((const ValueDescriptor *)col->data)[r];
        return std::string((const char *)items(item), (size_t)item->count);
    }
};

// Deep equality in which a float NaN equals a NaN: a null written and read
// back is the same null.
bool same_value(const ValueDescriptor *a, const ValueDescriptor *b) {
    if (a->type != b->type || a->rank != b->rank || a->count != b->count) return false;
    const void *pa = value_data(const_cast<ValueDescriptor *>(a)), *pb = value_data(const_cast<ValueDescriptor *>(b));
    i64 n = a->count;
    switch (a->type) {
    case T_FLOAT: case T_DATETIME:
        for (i64 i = 0; i < n; i++) {
            double x = ((const double *)pa)[i], y = ((const double *)pb)[i];
            if (!(x == y || (std::isnan(x) && std::isnan(y))) || std::signbit(x) != std::signbit(y)) return false;
        }
        return true;
    case T_CHAR: return n == 0 || memcmp(pa, pb, (size_t)n) == 0;
    case T_LIST: case T_TABLE: {
        i64 k = a->type == T_LIST ? n : 2;
        for (i64 i = 0; i < k; i++)
            if (!same_value(&((const ValueDescriptor *)pa)[i], &((const ValueDescriptor *)pb)[i])) return false;
        return true;
    }
    default: return n == 0 || memcmp(pa, pb, (size_t)(8 * n)) == 0;
    }
}

// A file of every column type, with the texts that are hard to write back:
// separators, quotes, line breaks, blanks at the ends, bytes that are not
// ASCII, a NUL.
const char *const EVERY_TYPE_LETTERS = "BIECSLMDZUVT";
std::string every_type_csv() {
    std::string s = "b,i,e,c,s,l,m,d,z,u,v,t\n";
    s += "1,9223372036854775806,0.30000000000000004,x,plain,\"a,b\",2024.05m,2024.05.17,2024.05.17T09:05:07.008,"
         "09:05,09:05:07,09:05:07.008\n";
    s += "0,_1099511627776,_2.5e300,\",\",\"with,comma\",\"say \"\"hi\"\"\",1900.01m,1900.01.01,"
         "2100.12.31T23:59:59.999,00:00,00:00:00,00:00:00.000\n";
    s += "1,0n,5e_324,\"\"\"\",\"q\"\"uote\",\"two\nlines\",0n,0n,,23:59,23:59:59,23:59:59.999\n";
    s += "0,0w,1.7976931348623157e308,\" \",\" blank\",\"crlf\r\nkept\",2100.12m,2100.12.31,,0n,0n,0n\n";
    s += "1,_0w,0wf,\"\n\",,\" lead\",,,,,,\n";
    s += "0,0,_0wf,q,\xc3\xa9t\xc3\xa9,\"trail \",,,,,,\n";
    s += "1,1,,z,x,\xe9\xff latin,,,,,,\n";
    s += "0,2,_0.0,z,x,\"\"\"\",,,,,,\n";
    s += "1,3,1e_300,z,x,\"\"\"\"\"\",,,,,,\n";
    s += "0,4,123456789012345680000,z,x,\"\tab\",,,,,,\n";
    s += "1,5,0.1,z,x,y,,,,,,\n";
    s += std::string("0,6,2,z,x,nul\0byte,,,,,,\n", 25);
    s += "1,7,3,z,x,\"\",,,,,,\n";
    return s;
}

}  // namespace

// ---- Cell readers -----------------------------------------------------------------------

TEST(CsvCells, IntegersAreSixtyFourBitsAndWhatDoesNotFitIsTheNull) {
    auto rd = [](const char *s) { return read_integer_cell(s, (i64)strlen(s)); };
    EXPECT_EQ(rd("2147483648"), 2147483648LL);
    EXPECT_EQ(rd("_9223372036854775807"), -INT64_MAX);
    EXPECT_EQ(rd("-9223372036854775807"), -INT64_MAX);
    EXPECT_EQ(rd("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(rd("9223372036854775808"), INT64_MIN);
    EXPECT_EQ(rd("99999999999999999999999"), INT64_MIN);
    EXPECT_EQ(rd("  42abc"), 42);
    EXPECT_EQ(rd("+7"), 7);
    EXPECT_EQ(rd("abc"), INT64_MIN);
    EXPECT_EQ(rd(""), INT64_MIN);
    EXPECT_EQ(rd("_"), INT64_MIN);
    EXPECT_EQ(rd("0n"), INT64_MIN);
    EXPECT_EQ(rd("0w"), INT64_MAX);
    EXPECT_EQ(rd("_0w"), -INT64_MAX);
}

TEST(CsvCells, FloatsReadTheLanguagesFormsAndPlainOnes) {
    auto rd = [](const char *s) { return read_float_cell(s, (i64)strlen(s)); };
    EXPECT_EQ(rd("0.30000000000000004"), 0.1 + 0.2);
    EXPECT_EQ(rd("1e_5"), 1e-5);
    EXPECT_EQ(rd("_2.5e300"), -2.5e300);
    EXPECT_EQ(rd("-2.5"), -2.5);
    EXPECT_EQ(rd("5e_324"), 5e-324);
    EXPECT_EQ(rd("1e999"), HUGE_VAL);
    EXPECT_EQ(rd("_1e999"), -HUGE_VAL);
    EXPECT_EQ(rd("0wf"), HUGE_VAL);
    EXPECT_EQ(rd("_0w"), -HUGE_VAL);
    EXPECT_EQ(rd("3.5kg"), 3.5);
    EXPECT_TRUE(std::isnan(rd("0nf")));
    EXPECT_TRUE(std::isnan(rd("kg")));
    EXPECT_TRUE(std::isnan(rd("")));
    EXPECT_TRUE(std::signbit(rd("_0.0")));
    // a cell longer than any number is cut, not overrun
    std::string digits(5000, '7');
    EXPECT_GT(read_float_cell(digits.data(), (i64)digits.size()), 1e60);
}

TEST(CsvCells, TimeCellsAreCheckedAndTheNullWhenRefused) {
    auto rd = [](const char *s, i64 type) { return read_time_cell(s, (i64)strlen(s), type); };
    EXPECT_EQ(rd("2024.05.17", T_DATE), 20240517);
    EXPECT_EQ(rd("5/17/2024", T_DATE), 20240517);
    EXPECT_EQ(rd("1/2/2000", T_DATE), 20000102);
    EXPECT_EQ(rd(" 2024.05.17 ", T_DATE), 20240517);
    for (const char *bad : {"2024-05-17", "2/30/2024", "5/17/24", "5/17/2024x", "17/5/2024", "2023.02.29", "1899.12.31",
                            "", "0n", "2024.5.17", "5//2024"})
        EXPECT_EQ(rd(bad, T_DATE), INT_NULL) << bad;
    EXPECT_EQ(rd("2024.05m", T_MONTH), 202405);
    EXPECT_EQ(rd("09:05", T_MINUTE), 545);
    EXPECT_EQ(rd("09:05:07", T_SECOND), 32707);
    EXPECT_EQ(rd("09:05:07.008", T_TIME), 32707008);
    EXPECT_EQ(rd("24:00", T_MINUTE), INT_NULL);
    EXPECT_EQ(rd("09:05:07", T_MINUTE), INT_NULL);
    EXPECT_EQ(rd("9:05", T_MINUTE), INT_NULL);
    EXPECT_EQ(rd("0n", T_TIME), INT_NULL);
    std::string longer(100, '9');
    EXPECT_EQ(read_time_cell(longer.data(), (i64)longer.size(), T_DATE), INT_NULL);
    auto dt = [](const char *s) { return read_datetime_cell(s, (i64)strlen(s)); };
    EXPECT_EQ(dt("2024.05.17T09:05:07.008"), 20240517.0 * 86400000.0 + 32707008.0);
    EXPECT_EQ(dt("2024.05.17T09:05:07"), 20240517.0 * 86400000.0 + 32707000.0);
    EXPECT_TRUE(std::isnan(dt("2024.05.17 09:05:07")));
    EXPECT_TRUE(std::isnan(dt("2024.05.17")));
    EXPECT_TRUE(std::isnan(dt("")));
}

TEST(CsvCells, FieldsAreCountedOutsideQuotes) {
    auto n = [](const std::string &s, char sep) { return count_csv_fields(s.data(), s.data() + s.size(), sep); };
    EXPECT_EQ(n("", ','), 1);
    EXPECT_EQ(n("a,b,,", ','), 4);
    EXPECT_EQ(n("\"a,b\",c", ','), 2);
    EXPECT_EQ(n("\"say \"\"x,y\"\"\",c", ','), 2);
    EXPECT_EQ(n("\"\",\"\"", ','), 2);
    EXPECT_EQ(n("a;b,c", ';'), 2);
}

// ---- Loading --------------------------------------------------------------------------------

TEST_F(FilesTest, EveryColumnTypeIsReadIntoItsTypedVector) {
    put("every.csv", every_type_csv());
    ASSERT_EQ(run("t<-[]CSV ('every';'BIECSLMDZUVT')"), "");
    const i64 *b = (const i64 *)items(column("t", 0));
    EXPECT_EQ(column("t", 0)->type, T_BOOL);
    EXPECT_EQ(column("t", 0)->count, 13);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[1], 0);
    const i64 *i = (const i64 *)items(column("t", 1));
    EXPECT_EQ(i[0], 9223372036854775806LL);
    EXPECT_EQ(i[1], -1099511627776LL);
    EXPECT_EQ(i[2], INT64_MIN);
    const double *e = (const double *)items(column("t", 2));
    EXPECT_EQ(e[0], 0.1 + 0.2);
    EXPECT_EQ(e[2], 5e-324);
    EXPECT_TRUE(std::isnan(e[6]));
    const char *c = (const char *)items(column("t", 3));
    EXPECT_EQ(std::string(c, 5), std::string("x,\" \n", 5));
    const ValueDescriptor *l = column("t", 5);
    ASSERT_EQ(l->type, T_LIST);
    EXPECT_EQ(text_cell(l, 1), "say \"hi\"");
    EXPECT_EQ(text_cell(l, 2), "two\nlines");
    EXPECT_EQ(text_cell(l, 3), "crlf\r\nkept");
    EXPECT_EQ(text_cell(l, 6), "\xe9\xff latin");
    EXPECT_EQ(text_cell(l, 7), "\"");
    EXPECT_EQ(text_cell(l, 8), "\"\"");
    EXPECT_EQ(text_cell(l, 11), std::string("nul\0byte", 8));
    EXPECT_EQ(text_cell(l, 12), "");
    EXPECT_EQ(((const ValueDescriptor *)l->data)[10].rank, 1);   // "y" stays a vector
    EXPECT_EQ(((const i64 *)items(column("t", 7)))[2], INT_NULL);
    EXPECT_TRUE(std::isnan(((const double *)items(column("t", 8)))[2]));
    EXPECT_EQ(((const i64 *)items(column("t", 11)))[0], 32707008);
}

TEST_F(FilesTest, TextsOfEveryKindSurviveTheRoadOutAndBack) {
    put("every.csv", every_type_csv());
    ASSERT_EQ(run("t<-[]CSV ('every';'BIECSLMDZUVT')"), "");
    ASSERT_EQ(run("[]write 't.csv'"), "t.csv\n");
    ASSERT_EQ(run("u<-[]CSV ('t';'BIECSLMDZUVT')"), "");
    EXPECT_TRUE(same_value(var("t"), var("u"))) << take("t.csv");
    // tab-separated text reads back through the separator argument
    ASSERT_EQ(run("[]write 't.txt'"), "t.txt\n");
    rename((temp_dir() + "/t.txt").c_str(), (temp_dir() + "/tabs.csv").c_str());
    ASSERT_EQ(run("w<-[]CSV ('tabs';'BIECSLMDZUVT';'true';'\t')"), "");
    EXPECT_TRUE(same_value(var("t"), var("w"))) << take("tabs.csv");
    // CR LF line ends read the same
    std::string crlf;
    for (char ch : take("t.csv")) {
        if (ch == '\n') crlf += '\r';
        crlf += ch;
    }
    put("crlf.csv", crlf);
    ASSERT_EQ(run("x<-[]CSV ('crlf';'BIECSLMDZUVT')"), "");
    const ValueDescriptor *l = column("x", 5);
    EXPECT_EQ(text_cell(l, 2), "two\r\nlines");   // a break inside quotes is the cell's own
    EXPECT_TRUE(same_value(column("t", 1), column("x", 1)));
    EXPECT_TRUE(same_value(column("t", 2), column("x", 2)));
}

TEST_F(FilesTest, FloatsAreWrittenInTheirShortestExactForm) {
    put("f.csv", "f\n0.1\n0.30000000000000004\n1e_5\n_2.5\n1e20\n5e_324\n0nf\n0wf\n_0wf\n");
    ASSERT_EQ(run("t<-[]CSV ('f';'E')"), "");
    run("[]PP<-3");
    ASSERT_EQ(run("[]write 't.csv'"), "t.csv\n");
    EXPECT_EQ(take("t.csv"), "f\n0.1\n0.30000000000000004\n1e_5\n_2.5\n1e20\n5e_324\n\n0wf\n_0wf\n");
}

TEST_F(FilesTest, LargeFilesAreReadAcrossBlockBoundaries) {
    // records of all lengths, one far longer than a read block
    std::string s = "n,t\n";
    std::string big(9 << 20, 'x');
    for (int r = 0; r < 3000; r++) s += std::to_string(r) + ",\"" + std::string((size_t)(r % 97), 'q') + "\n,\"\"\"\n";
    s += "3000,\"" + big + "\"\n";
    put("big.csv", s);
    ASSERT_EQ(run("t<-[]CSV ('big';'IL')"), "");
    const ValueDescriptor *l = column("t", 1);
    ASSERT_EQ(l->count, 3001);
    EXPECT_EQ(text_cell(l, 96), std::string(96, 'q') + "\n,\"");
    EXPECT_EQ(text_cell(l, 3000), big);
    EXPECT_EQ(((const i64 *)items(column("t", 0)))[2999], 2999);
}

// ---- Export layouts ----------------------------------------------------------------------------

TEST_F(FilesTest, EachExtensionWritesItsLayout) {
    put("ab.csv", "a,b\n1,x\n2,y\n");
    ASSERT_EQ(run("sales<-[]CSV ('ab';'IS')"), "");
    ASSERT_EQ(run("[]write 'sales.csv'"), "sales.csv\n");
    EXPECT_EQ(take("sales.csv"), "a,b\n1,x\n2,y\n");
    ASSERT_EQ(run("[]write 'sales.json'"), "sales.json\n");
    EXPECT_EQ(take("sales.json"), "{\"vek\":[\n{\"a\":\"1\",\"b\":\"x\"},\n{\"a\":\"2\",\"b\":\"y\"}\n]}\n");
    ASSERT_EQ(run("[]write 'sales.xml'"), "sales.xml\n");
    EXPECT_EQ(take("sales.xml"), "<vek>\n<row><a>1</a><b>x</b></row>\n<row><a>2</a><b>y</b></row>\n</vek>\n");
    ASSERT_EQ(run("[]write 'sales.dat'"), "sales.dat\n");
    EXPECT_EQ(take("sales.dat"), "a\tb\n1\tx\n2\ty\n");
    ASSERT_EQ(run("[]write 'sales'"), "sales\n");
    EXPECT_EQ(take("sales"), "a\tb\n1\tx\n2\ty\n");
    ASSERT_EQ(run("[]write 'sales.CSV'"), "sales.CSV\n");
    EXPECT_EQ(take("sales.CSV"), "a\tb\n1\tx\n2\ty\n");
}

TEST_F(FilesTest, CellsAreQuotedOrEscapedAsEachLayoutNeeds) {
    put("q.csv", "a,b,c\n\"1,5\",\"<tag> & \"\"q\"\"\",0n\n,\"back\\slash\",\n");
    ASSERT_EQ(run("q<-[]CSV ('q';'LLI')"), "");
    ASSERT_EQ(run("[]write 'q.csv'"), "q.csv\n");
    EXPECT_EQ(take("q.csv"), "a,b,c\n\"1,5\",\"<tag> & \"\"q\"\"\",0n\n,back\\slash,0n\n");
    ASSERT_EQ(run("[]write 'q.txt'"), "q.txt\n");
    EXPECT_EQ(take("q.txt"), "a\tb\tc\n1,5\t\"<tag> & \"\"q\"\"\"\t0n\n\tback\\slash\t0n\n");
    ASSERT_EQ(run("[]write 'q.xml'"), "q.xml\n");
    EXPECT_EQ(take("q.xml"), "<vek>\n<row><a>1,5</a><b><tag> & \"q\"</b><c>0n</c></row>\n"
                             "<row><a></a><b>back\\slash</b><c>0n</c></row>\n</vek>\n");
    ASSERT_EQ(run("[]write 'q.json'"), "q.json\n");
    EXPECT_EQ(take("q.json"), "{\"vek\":[\n{\"a\":\"1,5\",\"b\":\"<tag> & \\\"q\\\"\",\"c\":\"0n\"},\n"
                              "{\"a\":\"\",\"b\":\"back\\\\slash\",\"c\":\"0n\"}\n]}\n");
}

TEST_F(FilesTest, ATableWithoutRowsWritesItsFrameOnly) {
    put("h.csv", "a,b\n");
    ASSERT_EQ(run("h<-[]CSV ('h';'IE')"), "");
    run("[]write 'h.csv'");
    EXPECT_EQ(take("h.csv"), "a,b\n");
    run("[]write 'h.xml'");
    EXPECT_EQ(take("h.xml"), "<vek>\n</vek>\n");
    run("[]write 'h.json'");
    EXPECT_EQ(take("h.json"), "{\"vek\":[\n]}\n");
}

TEST_F(FilesTest, JsonIsValidForEveryByteAJsonReaderSees) {
    if (system("python3 -c 'import json' 2>/dev/null") != 0) GTEST_SKIP() << "python3 is not installed";
    put("every.csv", every_type_csv());
    ASSERT_EQ(run("every<-[]CSV ('every';'BIECSLMDZUVT')"), "");
    ASSERT_EQ(run("[]write 'every.json'"), "every.json\n");
    // every control character and every byte above 127 in one text
    std::string all = "s\n\"";
    for (int ch = 1; ch < 256; ch++) {
        if (ch == '"') all += "\"\"";
        else all += (char)ch;
    }
    all += "\"\n";
    put("bytes.csv", all);
    ASSERT_EQ(run("bytes<-[]CSV ('bytes';'L')"), "");
    ASSERT_EQ(run("[]write 'bytes.json'"), "bytes.json\n");
    std::string check = "python3 -c \"import json,sys\n"
                        "a=json.load(open(sys.argv[1],encoding='utf-8'))\n"
                        "b=json.load(open(sys.argv[2],encoding='utf-8'))\n"
                        "r=a['vek']\n"
                        "assert len(r)==13 and r[1]['l']=='say \\\"hi\\\"' and r[2]['l']=='two\\nlines'\n"
                        "assert r[5]['s']=='\\u00e9t\\u00e9' and r[6]['l']=='\\u00e9\\u00ff latin'\n"
                        "assert r[11]['l']=='nul\\x00byte'\n"
                        "s=b['vek'][0]['s']\n"
                        "assert len(s)==255 and s[0]=='\\x01' and s[254]=='\\u00ff', repr(s)\n"
                        "\" " + temp_dir() + "/every.json " + temp_dir() + "/bytes.json";
    EXPECT_EQ(system(check.c_str()), 0) << take("every.json");
}

TEST_F(FilesTest, ATableBuiltInTheLanguageReadsBackTheSame) {
    run("t<-([] b<-1 0 1>0; i<-1 _2 0w; e<-0.1 _2.5e300 1e_5; c<-'a,\"'; s<-`x` `'y z'; "
        "l<-('a,b';'say \"hi\"';''); m<-2024.05m 1900.01m 2100.12m; d<-2024.05.17 1900.01.01 2100.12.31; "
        "z<-2024.05.17T09:05:07.008 2024.05.17T00:00:00.000 2100.12.31T23:59:59.999; "
        "u<-09:05 00:00 23:59; v<-09:05:07 00:00:00 23:59:59; tt<-09:05:07.008 00:00:00.000 23:59:59.999)");
    ASSERT_NE(var("t"), nullptr);
    for (const char *ext : {"csv", "txt"}) {
        std::string write = std::string("[]write 't.") + ext + "'";
        ASSERT_EQ(run(write.c_str()), std::string("t.") + ext + "\n");
    }
    ASSERT_EQ(run("u<-[]CSV ('t';'BIECSLMDZUVT')"), "");
    EXPECT_EQ(run("t~u"), "1\n") << take("t.csv");
    rename((temp_dir() + "/t.txt").c_str(), (temp_dir() + "/tabs.csv").c_str());
    ASSERT_EQ(run("w<-[]CSV ('tabs';'BIECSLMDZUVT';'true';'\t')"), "");
    EXPECT_EQ(run("t~w"), "1\n") << take("tabs.csv");
}

TEST_F(FilesTest, KeyedTablesWriteTheirKeyColumnsFirst) {
    run("kt<-([k<-`a`b; j<-1 2] v<-1.5 2; w<-'xy')");
    ASSERT_EQ(run("[]write 'kt.csv'"), "kt.csv\n");
    EXPECT_EQ(take("kt.csv"), "k,j,v,w\na,1,1.5,x\nb,2,2,y\n");
    ASSERT_EQ(run("[]write 'kt.json'"), "kt.json\n");
    EXPECT_EQ(take("kt.json"), "{\"vek\":[\n{\"k\":\"a\",\"j\":\"1\",\"v\":\"1.5\",\"w\":\"x\"},\n"
                               "{\"k\":\"b\",\"j\":\"2\",\"v\":\"2\",\"w\":\"y\"}\n]}\n");
    ASSERT_EQ(run("[]write 'kt.xml'"), "kt.xml\n");
    EXPECT_EQ(take("kt.xml"), "<vek>\n<row><k>a</k><j>1</j><v>1.5</v><w>x</w></row>\n"
                              "<row><k>b</k><j>2</j><v>2</v><w>y</w></row>\n</vek>\n");
    // a dictionary is not a table
    run("dict<-(`a`b):1 2");
    EXPECT_EQ(run("[]write 'dict.csv'"), "Error: under construction\n      []write 'dict.csv'\n      ^\n");
}

TEST_F(FilesTest, EnumerationCellsAreWrittenAsTheirDomainItems) {
    run("cur<-`usd`eur");
    run("pay<-([] amount<-10 20; c<-`cur:`eur`usd)");
    ASSERT_EQ(run("[]write 'pay.csv'"), "pay.csv\n");
    EXPECT_EQ(take("pay.csv"), "amount,c\n10,eur\n20,usd\n");
}

// ---- []write safety ---------------------------------------------------------------------------------

TEST_F(FilesTest, WriteLooksAtTheVariableBeforeTouchingTheFile) {
    put("prices.csv", "kept\n");
    EXPECT_EQ(run("[]write 'prices.csv'"), "Error: value error\n      []write 'prices.csv'\n      ^\n");
    EXPECT_EQ(take("prices.csv"), "kept\n");
    run("prices<-1 2 3");
    EXPECT_EQ(run("[]write 'prices.csv'"), "Error: under construction\n      []write 'prices.csv'\n      ^\n");
    EXPECT_EQ(take("prices.csv"), "kept\n");
    EXPECT_EQ(run("[]write 5"), "Error: type error\n      []write 5\n      ^\n");
}

// A full disk, as a limit on the size of files makes it (its signal
// ignored, the write fails), in a child of its own: each write that meets
// it is reported, and a file being replaced stays as it was. Devices are
// not written at all.
TEST_F(FilesTest, AFullDiskIsAWriteErrorAndTheOldFileStays) {
    ASSERT_EQ(run("full<-([] a<-!100; b<-100#`x`y)"), "");
    ASSERT_EQ(run("text<-1000#'x'"), "");
    put("full.csv", "old\n");
    put("text.vkp", "old\n");
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {64, 64};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
        int failures = 0;
        auto expect = [&](const char *line, const std::string &want) {
            std::string got = run(line);
            if (got != want) {
                fprintf(stderr, "%s\n--- expected\n%s--- got\n%s", line, want.c_str(), got.c_str());
                failures++;
            }
        };
        expect("[]write 'full.csv'", "Error: writing file error\n      []write 'full.csv'\n      ^\n");
        expect(")out text text", "text\nError: path error\n");
        expect("h<-[]open 'log.txt'", "");
        expect("h << text", "Error: writing file error\n      h << text\n        ^\n");
        expect("h << 'more'", "Error: writing file error\n      h << 'more'\n        ^\n");
        expect("[]close h", "0\n");
        if (take("full.csv") != "old\n" || take("text.vkp") != "old\n") failures++;
        _exit(failures ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(run("[]write '/dev/full'"), "Error: path error\n      []write '/dev/full'\n      ^\n");
    EXPECT_EQ(run("[]write '/nonexistent/dir/full.csv'"),
              "Error: path error\n      []write '/nonexistent/dir/full.csv'\n      ^\n");
}

// ---- Handles ----------------------------------------------------------------------------------------------

TEST_F(FilesTest, AThousandHandlesAndNoMoreAreOpenAtOnce) {
    EXPECT_EQ(run("a<-[]open 'h.txt'"), "");
    EXPECT_EQ(run("b<-[]open 'h.txt'"), "");
    EXPECT_EQ(run("a,b"), "1000 1001\n");
    for (int k = 2; k < 1000; k++) ASSERT_EQ(run("h<-[]open 'h.txt'"), "") << k;
    EXPECT_EQ(run("[]open 'h.txt'"),
              "Error: no more than 1000 files opened at the same time\n      []open 'h.txt'\n      ^\n");
    EXPECT_EQ(run("[]close 1500"), "0\n");
    EXPECT_EQ(run("[]open 'h.txt'"), "1500\n");
    // handles given back are taken again however many were opened before
    for (int k = 0; k < 1500; k++) {
        ASSERT_EQ(run("[]close 1999"), "0\n");
        ASSERT_EQ(run("[]open 'h.txt'"), "1999\n");
    }
    // a clear closes them all
    clear_workspace(0);
    EXPECT_EQ(run("[]open 'h.txt'"), "1000\n");
}

TEST_F(FilesTest, HandlesWriteLinesThatGetReadsBack) {
    ASSERT_EQ(run("h<-[]open 'log.txt'"), "");
    EXPECT_EQ(run("#h << 'first'"), "0 0\n");
    run("h << 2 3#!6");
    run("h << 2 2 2#!8");
    EXPECT_EQ(run("h << 1.5 _2"), "\n");
    run("h << (`a`b;'cd')");
    run("h << ''");
    EXPECT_EQ(run("h << (`a`b):1 2"), "Error: type error\n      h << (`a`b):1 2\n        ^\n");
    EXPECT_EQ(take("log.txt"), "first\n1 2 3\n4 5 6\n1 2\n3 4\n\n5 6\n7 8\n1.5 _2\n`a `b\ncd\n\n");
    EXPECT_EQ(run("[]close h"), "0\n");
    EXPECT_EQ(run("[]close h"), "1\n");
    EXPECT_EQ(run("h << 'late'"), "Error: not opened\n      h << 'late'\n        ^\n");
    EXPECT_EQ(run("#[]get 'log.txt'"), "12\n");
    // opening empties the file
    ASSERT_EQ(run("h<-[]open 'log.txt'"), "");
    EXPECT_EQ(take("log.txt"), "");
}

TEST_F(FilesTest, ADictionaryOrEnumerationHasNoLines) {
    std::string out;
    ValueDescriptor d;
    memset(&d, 0, sizeof d);
    d.type = T_DICT;
    d.rank = 1;
    d.spare = 1;
    EXPECT_EQ(value_lines_text(&d, &out), VEK_TYPE);
}

TEST_F(FilesTest, GetKeepsEveryByteAndCutsOnlyAtLineEnds) {
    const char raw[] = "crlf\r\nzero\0and\xff\nend\n\n\rmid\rline\nlast";
    std::string bytes(raw, sizeof raw - 1);
    put("b.txt", bytes);
    ASSERT_EQ(run("g<-[]get 'b.txt'"), "");
    const ValueDescriptor *g = var("g");
    ASSERT_EQ(g->type, T_LIST);
    ASSERT_EQ(g->count, 6);
    auto line = [&](i64 k) {
        const ValueDescriptor *it = &((const ValueDescriptor *)g->data)[k];
        return std::string((const char *)items(it), (size_t)it->count);
    };
    EXPECT_EQ(line(0), "crlf");
    EXPECT_EQ(line(1), std::string("zero\0and\xff", 9));
    EXPECT_EQ(line(2), "end");
    EXPECT_EQ(line(3), "");
    EXPECT_EQ(line(4), "\rmid\rline");
    EXPECT_EQ(line(5), "last");
    put("nl.txt", "\n");
    EXPECT_EQ(run("#[]get 'nl.txt'"), "1\n");
}

// ---- Keyboard input ------------------------------------------------------------------------------------------

static int64_t reply_with_line_end(const char *, char *buf, int64_t cap) {
    const char *reply = "typed\r\n";
    int64_t n = (int64_t)strlen(reply);
    if (n > cap - 1) n = cap - 1;
    memcpy(buf, reply, (size_t)n);
    buf[n] = 0;
    return n;
}

TEST_F(FilesTest, InputLosesTheLineEndItWasTypedWith) {
    auto saved = ask_input_string;
    ask_input_string = reply_with_line_end;
    EXPECT_EQ(run("t<-[]"), "");
    EXPECT_EQ(run("t~'typed'"), "1\n");
    ask_input_string = saved;
}
