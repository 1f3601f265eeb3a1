// The output road and the front end's hooks, with their defaults for a
// program that sets none: output to the standard output, no keyboard input.
#include "output.h"
#include "arena.h"
#include <cstdio>
#include <cstdarg>
#include <cstdlib>

static void stdout_print(const char *text) { fputs(text, stdout); }
static int64_t no_input(const char *, char *buf, int64_t cap) { if (cap > 0) buf[0] = 0; return 0; }

void (*session_print)(const char *text) = stdout_print;
int64_t (*ask_input_string)(const char *prompt, char *buf, int64_t cap) = no_input;
void (*open_script_editor_with_text)(const char *text) = nullptr;
void (*add_symbol_item)(char kind, const char *name) = nullptr;

unsigned char pending_newline = 0;
unsigned char prompt_suppress = 0;
unsigned char quiet_start = 0;

// Pieces that fit are formatted on the stack; longer ones get a heap buffer
// of their exact size, so no piece is ever cut.
void vek_printf(const char *fmt, ...) {
    char small[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if ((size_t)n < sizeof small) { session_print(small); return; }
    char *big = (char *)checked_malloc((i64)n + 1);
    va_start(ap, fmt);
    vsnprintf(big, (size_t)n + 1, fmt, ap);
    va_end(ap);
    session_print(big);
    free(big);
}

void vek_puts(const char *text) { session_print(text); }
