// libFuzzer target: the export round trip. The fuzzer's bytes choose a
// table (column types and cells, see table_maker.h); it is written with
// []write as CSV and read back with []CSV under the same type letters,
// and every cell must come back as it was. The table is also written as
// text, XML and JSON, which must succeed (the JSON is read by python3 in
// the unit tests).
#include "system/startup.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/arena.h"
#include "core/names.h"
#include "core/keyed.h"
#include "fuzz_limits.h"
#include "table_maker.h"
#include "core/output.h"
#include "core/workspace.h"
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

static std::string captured;
static void capture(const char *t) { captured += t; }

static std::string run(const std::string &line) {
    captured.clear();
    std::string buf = line;
    execute_input_line(buf.data());
    return captured;
}

static bool failed(const std::string &out) { return out.find("Error") != std::string::npos; }

[[noreturn]] static void finding(const std::string &what, const std::string &line) {
    fprintf(stderr, "%s\nthe table: %s\n", what.c_str(), line.c_str());
    session_print = [](const char *t) { fputs(t, stderr); };
    run("t");
    run("u");
    abort();
}

static const ValueDescriptor *column_of(const ValueDescriptor *table, i64 k) {
    return (const ValueDescriptor *)table_columns(table)->data + k;
}

// Cell r of two columns of one type holds the same value. Floats: both
// nulls, or equal (a negative zero may come back positive).
static bool cells_equal(const ValueDescriptor *a, const ValueDescriptor *b, i64 r) {
    const void *pa = value_data((ValueDescriptor *)a), *pb = value_data((ValueDescriptor *)b);
    switch (a->type) {
    case T_FLOAT: case T_DATETIME: {
        double x = ((const double *)pa)[r], y = ((const double *)pb)[r];
        return (std::isnan(x) && std::isnan(y)) || x == y;
    }
    case T_CHAR: return ((const char *)pa)[r] == ((const char *)pb)[r];
    case T_LIST: {
        const ValueDescriptor *x = (const ValueDescriptor *)pa + r, *y = (const ValueDescriptor *)pb + r;
        return x->count == y->count &&
               (x->count == 0 || memcmp(value_data((ValueDescriptor *)x), value_data((ValueDescriptor *)y),
                                        (size_t)x->count) == 0);
    }
    default: return ((const i64 *)pa)[r] == ((const i64 *)pb)[r];
    }
}

// The type letters of t's columns, as the loader is asked for them.
static std::string letters_of(const ValueDescriptor *t) {
    static const char by_type[] = "BIECxSLMDZUVT";
    std::string letters;
    for (i64 k = 0; k < table_columns(t)->count; k++) {
        i64 type = column_of(t, k)->type;
        letters += type >= 0 && type <= T_TIME ? by_type[type] : '?';
    }
    return letters;
}

static void compare_tables(const std::string &line) {
    const ValueDescriptor *t = find_bound_value("t"), *u = find_bound_value("u");
    if (!t || !u || t->type != T_TABLE || u->type != T_TABLE) finding("not two tables", line);
    i64 n = table_columns(t)->count, rows = table_rows(t);
    if (table_columns(u)->count != n || table_rows(u) != rows) finding("shape differs", line);
    const i64 *tn = (const i64 *)value_data(pair_half(t, 0)), *un = (const i64 *)value_data(pair_half(u, 0));
    for (i64 k = 0; k < n; k++) {
        if (tn[k] != un[k]) finding("column name differs", line);
        const ValueDescriptor *a = column_of(t, k), *b = column_of(u, k);
        if (a->type != b->type) finding("column " + std::to_string(k) + " type differs", line);
        for (i64 r = 0; r < rows; r++)
            if (!cells_equal(a, b, r)) finding("column " + std::to_string(k) + " row " + std::to_string(r), line);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir;
    if (dir.empty()) {
        start_fuzz_interpreter(capture);
        dir = use_scratch_library("ex");
    }
    ByteSource bytes{data, size};
    std::string letters;
    std::string line = make_table_line(bytes, "t", &letters);
    arm_runaway_guard(RUNAWAY_MS);
    const ValueDescriptor *t;
    if (!failed(run(line)) && (t = find_bound_value("t")) && t->type == T_TABLE) {
        letters = letters_of(t);
        std::string path = std::string(dir) + "/t";
        for (const char *ext : {".txt", ".xml", ".json", ".csv"})
            if (failed(run("[]write '" + path + ext + "'"))) finding(std::string("writing ") + ext, line);
        std::string out = run("u<-[]CSV ('" + path + ".csv';'" + letters + "')");
        if (failed(out)) finding("reading back: " + out, line);
        compare_tables(line);
    }
    disarm_runaway_guard();
    clear_workspace(0);
    check_value_memory_count();
    return 0;
}
