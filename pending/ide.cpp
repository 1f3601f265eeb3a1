// Weak stand-ins for interpreter entry points the desktop windows use, so the
// windows build and run before the real modules land. Each real definition
// replaces its stand-in at link time.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "core/session.h"
#include "core/tables.h"
#include "core/symbols.h"

static void pending_print(const char *text) { fputs(text, stdout); }

__attribute__((weak)) void (*session_print)(const char *) = pending_print;
__attribute__((weak)) int64_t (*ask_input_string)(const char *, char *, int64_t) = nullptr;
__attribute__((weak)) void (*open_script_editor_with_text)(const char *) = nullptr;
__attribute__((weak)) void (*add_symbol_item)(char, const char *) = nullptr;
__attribute__((weak)) char library_path[120];
__attribute__((weak)) char workspace_name[96];
__attribute__((weak)) int64_t error_number;

// Names assigned by the echoing stand-in, so the name dock has something to show.
static std::vector<std::string> pending_names;

__attribute__((weak)) void init_interpreter()
{
    session_print("CLEAR WS\n      ");
}

static void pending_note_assignment(const char *t)
{
    const char *arrow = strstr(t, "<-");
    if (!arrow || arrow == t) return;
    std::string name(t, arrow - t);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    for (char c : name)
        if (!(isalnum((unsigned char)c) || c == '_')) return;
    for (auto &n : pending_names) if (n == name) return;
    pending_names.push_back(name);
}

__attribute__((weak)) void execute_input_line(char *text)
{
    while (*text == ' ') text++;
    if (text[0] == '@' && text[1] == '.' && open_script_editor_with_text) {
        open_script_editor_with_text(text);
    } else if (*text) {
        pending_note_assignment(text);
        session_print(text);
        session_print("\n");
    }
    session_print("      ");
}

__attribute__((weak)) int list_names(const char *, char kind, int)
{
    if (kind != 'V' || pending_names.empty()) return -1;
    for (auto &n : pending_names) if (add_symbol_item) add_symbol_item('V', n.c_str());
    return 0;
}

__attribute__((weak)) TextLine *new_text_line()
{
    TextLine *n = new TextLine;
    n->text = nullptr; n->capacity = -1; n->line = -1; n->next = nullptr;
    return n;
}

__attribute__((weak)) void set_text_line(TextLine *node, const char *text)
{
    i64 len = (i64)strlen(text);
    if (len < node->capacity) { memcpy(node->text, text, len + 1); return; }
    if (node->capacity >= 0) delete[] node->text;
    node->text = new char[len + 1];
    memcpy(node->text, text, len + 1);
    node->capacity = len;
}

__attribute__((weak)) void free_text_lines(TextLine *list)
{
    while (list) {
        TextLine *next = list->next;
        if (list->capacity >= 0) delete[] list->text;
        delete list;
        list = next;
    }
}

__attribute__((weak)) int run_lines(TextLine *list, const char *, i64)
{
    for (TextLine *l = list ? list->next : nullptr; l; l = l->next) {
        if (!l->text || !*l->text) continue;
        session_print("      ");
        session_print(l->text);
        session_print("\n");
        pending_note_assignment(l->text);
    }
    return 0;
}
