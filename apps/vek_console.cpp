// vek-console: session lines from standard input, output on standard
// output. "--serve PORT" is accepted but the server is not part of this build.
#include "system/startup.h"
#include "core/session.h"
#include "core/arena.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <unistd.h>

static const size_t LINE_LIMIT = 4095;   // the desktop's command buffer holds as much

static void console_print(const char *text) {
    fputs(text, stdout);
    if (strchr(text, '\n')) fflush(stdout);
}

static int64_t console_input(const char *prompt, char *buf, int64_t cap) {
    if (cap <= 0) return 0;
    if (prompt && *prompt) { fputs(prompt, stdout); fflush(stdout); }
    char *line = nullptr;
    size_t size = 0;
    ssize_t n = getline(&line, &size, stdin);
    if (n <= 0) { free(line); buf[0] = 0; return 0; }
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
    if (n > cap - 1) n = cap - 1;
    memcpy(buf, line, (size_t)n);
    buf[n] = 0;
    free(line);
    return n;
}

// path.txt's first line, else "../ws" made absolute; a path that does not
// fit library_path is refused and the default kept.
static void set_library_path() {
    char first[4096] = "";
    bool have = false;
    if (FILE *f = fopen("path.txt", "r")) {
        if (fgets(first, sizeof first, f)) {
            have = true;
            size_t n = strlen(first);
            while (n > 0 && (first[n - 1] == '\n' || first[n - 1] == '\r')) first[--n] = 0;
        }
        fclose(f);
    }
    if (have && strcmp(first, "../ws") != 0) {
        if (strlen(first) < sizeof library_path) {
            strcpy(library_path, first);
            return;
        }
        fprintf(stderr, "path.txt: path longer than %zu bytes ignored\n", sizeof library_path - 1);
    }
    char cwd[PATH_MAX];
    char absolute[PATH_MAX + 8];
    if (getcwd(cwd, sizeof cwd)) {
        char *slash = strrchr(cwd, '/');
        if (slash && slash != cwd) *slash = 0; else strcpy(cwd, "");
        snprintf(absolute, sizeof absolute, "%s/ws", cwd);
    } else {
        strcpy(absolute, "../ws");
    }
    if (strlen(absolute) < sizeof library_path) strcpy(library_path, absolute);
    else strcpy(library_path, "../ws");
}

static int console_loop() {
    session_print = console_print;
    ask_input_string = console_input;
    set_library_path();
    start_interpreter();
    char *line = nullptr;
    size_t size = 0;
    ssize_t n;
    while ((n = getline(&line, &size, stdin)) >= 0) {
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
        if ((size_t)n > LINE_LIMIT) {
            printf("line of %zd bytes refused: at most %zu\n      ", n, LINE_LIMIT);
            fflush(stdout);
            continue;
        }
        execute_input_line(line);
        fflush(stdout);
    }
    free(line);
    free_chunks_keep_head();
    printf("Bye.\n");
    fflush(stdout);
    return 0;
}

int main(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--serve") == 0) {
            if (i + 1 >= argc) {
                fprintf(stderr, "usage: vek-console [--serve PORT]\n");
                return 2;
            }
            printf("--serve %s: the TCP server is not available in this build\n", argv[i + 1]);
            return 1;
        }
    }
    return console_loop();
}
