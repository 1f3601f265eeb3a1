// The symbol sheet and the help's symbol tables, printed from the rows of
// the code table: the rows carry their cells, so a new row shows up in both
// without the documents being edited by hand.
#include "code_sheets.h"
#include <map>
#include <vector>

static const char *const help_headings[HELP_SECTION_COUNT] = {
    "",
#define HELP_SECTION(name, heading) heading,
#include "codes.def"
};

// What one cell shows, and the row it came from for the messages.
struct Shown { const char *title, *glyph, *row; };

static bool fail(std::string *error, const std::string &message) {
    *error = message;
    return false;
}

// ---- The symbol sheet ------------------------------------------------------------------

// The digit zero separates the cells, so a glyph's zero is spelt out.
static std::string sheet_glyph(const char *glyph) {
    std::string s;
    for (const char *p = glyph; *p; p++) s += *p == '0' ? std::string("zero ") : std::string(1, *p);
    return s;
}

static bool place(std::map<int, Shown> *cells, SheetCell at, const Shown &s, std::string *error) {
    if (at.line <= 0) return true;
    int key = 2 * at.line + (at.side == SHEET_RIGHT);
    if (cells->count(key))
        return fail(error, std::string("rows ") + (*cells)[key].row + " and " + s.row + " share a cell of the sheet");
    if (!*s.title || !*s.glyph) return fail(error, std::string("row ") + s.row + " is on the sheet without a title or glyph");
    for (const char *p = s.title; *p; p++)
        if (*p == '0' || *p == '\n') return fail(error, std::string("the title of row ") + s.row + " holds a zero");
    (*cells)[key] = s;
    return true;
}

bool symbol_sheet_text(std::string *out, std::string *error) {
    std::map<int, Shown> cells;
    i64 n;
    const PrimInfo *rows = prim_rows(&n);
    for (i64 k = 0; k < n; k++)
        if (!place(&cells, rows[k].sheet, {rows[k].title, rows[k].glyph, rows[k].name}, error)) return false;
    for (int t = 0; t < TOKEN_COUNT; t++)
        if (token_rows[t].code < 0 &&
            !place(&cells, token_rows[t].sheet, {token_rows[t].title, token_rows[t].glyph, token_rows[t].name}, error))
            return false;
    int lines = cells.empty() ? 0 : cells.rbegin()->first / 2;
    out->clear();
    for (int line = 1; line <= lines; line++) {
        for (int side = 0; side < 2; side++) {
            auto it = cells.find(2 * line + side);
            std::string title = it == cells.end() ? " " : it->second.title;
            std::string glyph = it == cells.end() ? " " : sheet_glyph(it->second.glyph);
            *out += (side ? "0[" : "[") + title + "]0[" + glyph + "]";
        }
        *out += "\n";
    }
    return true;
}

// ---- The help's symbol tables ---------------------------------------------------------------

// A glyph as Markdown code in a table cell.
static std::string help_glyph(const char *glyph) {
    std::string s = "`";
    for (const char *p = glyph; *p; p++) s += *p == '|' ? std::string("\\|") : std::string(1, *p);
    return s + "`";
}

static std::string cell(const char *text) { return *text ? std::string(" ") + text + " |" : std::string(" |"); }

bool help_symbol_table(HelpSection section, std::string *out, std::string *error) {
    struct Line { const PrimInfo *meaning[2] = {nullptr, nullptr}; };
    std::map<int, Line> lines;
    i64 n;
    const PrimInfo *rows = prim_rows(&n);
    for (i64 k = 0; k < n; k++) {
        const PrimInfo &r = rows[k];
        if (r.help.section != section) continue;
        if (r.help.line <= 0 || r.valence < 1 || r.valence > 2 || !*r.glyph)
            return fail(error, std::string("row ") + r.name + " needs a glyph, a valence and a line to be in the help");
        Line &l = lines[r.help.line];
        const PrimInfo *&slot = l.meaning[r.valence - 1];
        const PrimInfo *other = l.meaning[2 - r.valence];
        if (slot) return fail(error, std::string("rows ") + slot->name + " and " + r.name + " share a cell of the help");
        if (other && std::string(other->glyph) != r.glyph)
            return fail(error, std::string("rows ") + other->name + " and " + r.name + " share a help line but not a glyph");
        slot = &r;
    }
    *out = "| Symbol | Monadic | Dyadic |\n|---|---|---|\n";
    int expected = 1;
    for (const auto &[number, l] : lines) {
        if (number != expected) return fail(error, std::string("no row fills line ") + std::to_string(expected) +
                                                       " of the help's table " + help_headings[section]);
        expected++;
        const PrimInfo *any = l.meaning[0] ? l.meaning[0] : l.meaning[1];
        *out += "| " + help_glyph(any->glyph) + " |" + cell(l.meaning[0] ? l.meaning[0]->help.text : "") +
                cell(l.meaning[1] ? l.meaning[1]->help.text : "") + "\n";
    }
    return true;
}

static std::vector<std::string> split_lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

bool rewrite_help_tables(const std::string &document, std::string *out, std::string *error) {
    std::vector<std::string> lines = split_lines(document);
    for (int s = HELP_NONE + 1; s < HELP_SECTION_COUNT; s++) {
        std::string heading = std::string("## ") + help_headings[s];
        size_t h = 0;
        while (h < lines.size() && lines[h] != heading) h++;
        if (h == lines.size()) return fail(error, "the document has no heading \"" + heading + "\"");
        size_t first = h + 1;
        while (first < lines.size() && lines[first].rfind("|", 0) != 0 && lines[first].rfind("#", 0) != 0) first++;
        if (first == lines.size() || lines[first][0] != '|')
            return fail(error, "no table follows the heading \"" + heading + "\"");
        size_t last = first;
        while (last < lines.size() && lines[last].rfind("|", 0) == 0) last++;
        std::string table;
        if (!help_symbol_table((HelpSection)s, &table, error)) return false;
        std::vector<std::string> made = split_lines(table);
        lines.erase(lines.begin() + first, lines.begin() + last);
        lines.insert(lines.begin() + first, made.begin(), made.end());
    }
    out->clear();
    for (const std::string &l : lines) *out += l + "\n";
    if (!document.empty() && document.back() != '\n') out->pop_back();
    return true;
}
