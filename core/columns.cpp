// Name listings in columns: as many columns as the names fit on one line.
#include "columns.h"
#include "output.h"
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

void print_name_array(const char *const *names, i64 count, i64 gap, int right_align) {
    if (count <= 0) return;
    std::vector<i64> len(count);
    for (i64 i = 0; i < count; i++) len[i] = (i64)strlen(names[i]);
    // As many columns as the names, in order, fit on one line.
    i64 cols = 0, used = 0;
    while (cols < count) {
        i64 next = used + (cols ? gap : 0) + len[cols];
        if (next >= LINE_WIDTH) break;
        used = next;
        cols++;
    }
    if (cols < 1) cols = 1;
    std::vector<i64> width;
    for (;; cols--) {
        width.assign(cols, 0);
        for (i64 i = 0; i < count; i++) width[i % cols] = std::max(width[i % cols], len[i]);
        i64 total = gap * (cols - 1);
        for (i64 w : width) total += w;
        if (total <= LINE_WIDTH - 1 || cols == 1) break;
    }
    std::string out;
    if (cols == 1) {
        for (i64 i = 0; i < count; i++) out += std::string(names[i]) + "\n";
    } else {
        for (i64 i = 0; i < count; i++) {
            i64 c = i % cols;
            if (c > 0) out.append(gap, ' ');
            std::string pad(width[c] - len[i], ' ');
            out += right_align ? pad + names[i] : names[i] + pad;
            if (c == cols - 1 || i == count - 1) out += "\n";
        }
    }
    vek_puts(out.c_str());
}

void print_in_columns(TextLine *head, i64 gap, int right_align) {
    std::vector<const char *> names;
    for (TextLine *t = head ? head->next : nullptr; t; t = t->next) names.push_back(t->text ? t->text : "");
    print_name_array(names.data(), (i64)names.size(), gap, right_align);
}

