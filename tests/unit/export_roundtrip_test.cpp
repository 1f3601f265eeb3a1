// Random tables (tests/fuzz/table_maker.h) written as CSV and as JSON: a
// JSON reader and a CSV reader that are not ours (python3's) must find the
// same rows, names and cell texts in both files, and our own CSV loader
// must read the CSV back into the same table.
#include "interpreter_fixture.h"
#include "tests/fuzz/table_maker.h"
#include <cstdlib>
#include <random>
#include <string>
#include <vector>
#include <unistd.h>

class ExportRoundTripTest : public ScratchDirFixture {
protected:
};

// Two hundred tables of every column type, from a fixed seed.
TEST_F(ExportRoundTripTest, CsvAndJsonAgreeAndCsvReadsBack) {
    if (system("python3 -c 'import json, csv' 2>/dev/null") != 0) GTEST_SKIP() << "python3 is not installed";
    std::mt19937 random(2718);
    const int tables = 200;
    for (int i = 0; i < tables; i++) {
        std::vector<uint8_t> bytes(400);
        for (uint8_t &b : bytes) b = (uint8_t)random();
        ByteSource source{bytes.data(), bytes.size()};
        std::string letters, name = "t" + std::to_string(i);
        std::string line = make_table_line(source, name.c_str(), &letters);
        ASSERT_EQ(run(line.c_str()), "") << line;
        for (const char *ext : {".csv", ".json"}) {
            std::string write = "[]write '" + dir + "/" + name + ext + "'";
            ASSERT_EQ(run(write.c_str()), dir + "/" + name + ext + "\n") << line;
        }
        std::string back = "u<-[]CSV ('" + dir + "/" + name + ".csv';" + text_literal(letters) + ")";
        ASSERT_EQ(run(back.c_str()), "") << line;
        // floats are compared through their texts: a null's bits may differ
        std::string same = "(`csv +. " + name + ")~`csv +. u";
        EXPECT_EQ(run(same.c_str()), "1\n") << line;
    }
    std::string check =
        "python3 -c \"import csv, json, sys\n"
        "d, n = sys.argv[1], int(sys.argv[2])\n"
        "for i in range(n):\n"
        "    rows = list(csv.reader(open(f'{d}/t{i}.csv', newline='', encoding='utf-8')))\n"
        "    objs = json.load(open(f'{d}/t{i}.json', encoding='utf-8'))['vek']\n"
        "    assert len(rows) == len(objs) + 1, (i, len(rows), len(objs))\n"
        "    for row, obj in zip(rows[1:], objs):\n"
        "        row = row or ['']\n"   // a lone empty cell is an empty line

        "        assert list(obj.keys()) == rows[0], (i, rows[0], list(obj.keys()))\n"
        "        assert list(obj.values()) == row, (i, row, list(obj.values()))\n"
        "\" " + dir + " " + std::to_string(tables);
    EXPECT_EQ(system(check.c_str()), 0);
}
