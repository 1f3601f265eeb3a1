// Lists of text lines: function texts, script files and command output
// travel between the subsystems as singly linked TextLine lists whose first
// node is a head that holds no line.
#include "textlines.h"
#include "arena.h"
#include <cstdlib>
#include <cstring>

TextLine *new_text_line() {
    TextLine *t = (TextLine *)checked_calloc(1, sizeof(TextLine));
    t->text = nullptr;
    t->capacity = -1;
    t->line = -1;
    t->next = nullptr;
    return t;
}

void set_text_line(TextLine *node, const char *text) {
    i64 n = (i64)strlen(text);
    if (node->text && n < node->capacity) {
        memcpy(node->text, text, (size_t)n + 1);
        return;
    }
    if (node->capacity >= 0) free(node->text);
    node->text = (char *)checked_malloc(n + 1);
    memcpy(node->text, text, (size_t)n + 1);
    node->capacity = n;
}

void free_text_lines(TextLine *list) {
    while (list) {
        TextLine *next = list->next;
        if (list->capacity >= 0) free(list->text);
        free(list);
        list = next;
    }
}

TextLine *append_text_line(TextLine *node, const char *text) {
    TextLine *t = new_text_line();
    set_text_line(t, text);
    t->next = node->next;
    node->next = t;
    return t;
}

TextLine *text_line_at(TextLine *head, i64 i)
{
    if (!head || i < 0) return nullptr;
    TextLine *t = head->next;
    while (t && i-- > 0) t = t->next;
    return t;
}

TextLine *ensure_text_line(TextLine *head, i64 i)
{
    TextLine *t = head;
    for (i64 k = 0; k <= i; k++) {
        if (!t->next) t->next = new_text_line();
        t = t->next;
    }
    return t;
}

