// libFuzzer target: the fuzzer's bytes are a CSV file loaded by the CSV
// loader, and the table it gives is written back in every layout. The
// first three bytes choose the loader's arguments: the separator and the
// header flag, how many type letters, and where in "BIECSLMDZUVT" they
// start; the rest is the file.
#include "system/startup.h"
#include "core/arena.h"
#include "core/tables.h"
#include "system/csv.h"
#include "system/export.h"
#include "system/text_lines.h"
#include "fuzz_limits.h"
#include "core/workspace.h"
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

static void discard(const char *) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string path;
    static FILE *sink = nullptr;
    if (path.empty()) {
        start_fuzz_interpreter(discard);
        path = "/tmp/vek-fuzz-csv-" + std::to_string((int)getpid()) + ".csv";
        sink = fopen("/dev/null", "w");
    }
    if (size < 3 || !sink) return 0;
    static const char separators[] = {',', ';', '\t', ' '};
    static const char letters[] = "BIECSLMDZUVT";
    char sep = separators[data[0] & 3];
    bool header = (data[0] & 4) != 0;
    std::string types;
    for (int k = 0; k < 1 + data[1] % 16; k++) types += letters[(data[2] + k) % 12];
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(data + 3, 1, size - 3, f);
    fclose(f);
    const i64 slot = FIRST_TEMP_SLOT;
    if (load_csv(slot, path, types, header, sep) == 0) {
        for (int mode = EXPORT_TEXT; mode <= EXPORT_JSON; mode++) export_table(&value_slot_table[slot], sink, mode);
        std::string lines;
        value_lines_text(&value_slot_table[slot], &lines);
    }
    reset_stack();
    clear_workspace(0);
    check_value_memory_count();
    return 0;
}
