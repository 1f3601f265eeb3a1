// Build-time tool: prints the documents made from the code table.
//   vek-code-sheets table OUTPUT              the symbol sheet, vek-table.txt
//   vek-code-sheets help DOCUMENT.md OUTPUT   the help document with its
//                                             symbol tables made anew
// OUTPUT may be the document itself (the target update-help-table).
#include "core/code_sheets.h"
#include <cstdio>
#include <fstream>
#include <sstream>

static bool write_file(const char *path, const std::string &text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    return !out.fail();
}

int main(int argc, char **argv) {
    std::string kind = argc > 1 ? argv[1] : "", text, error;
    bool ok;
    if (kind == "table" && argc == 3) {
        ok = symbol_sheet_text(&text, &error);
    } else if (kind == "help" && argc == 4) {
        std::ifstream in(argv[2], std::ios::binary);
        if (!in) { fprintf(stderr, "vek-code-sheets: cannot read %s\n", argv[2]); return 1; }
        std::stringstream document;
        document << in.rdbuf();
        ok = rewrite_help_tables(document.str(), &text, &error);
    } else {
        fprintf(stderr, "usage: vek-code-sheets table OUTPUT | help DOCUMENT.md OUTPUT\n");
        return 2;
    }
    if (!ok) { fprintf(stderr, "vek-code-sheets: core/codes.def: %s\n", error.c_str()); return 1; }
    const char *path = argv[argc - 1];
    if (!write_file(path, text)) { fprintf(stderr, "vek-code-sheets: cannot write %s\n", path); return 1; }
    return 0;
}
