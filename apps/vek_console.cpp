// vek-console: session lines from standard input, output on standard
// output; "--script FILE" runs a script file first; "--serve PORT" serves
// one network client on the loopback address instead.
//   An interrupt (Ctrl-C) stops the running statement; a second one within
// a second ends the program.
#include "core/session.h"
#include "core/arena.h"
#include "core/interrupt.h"
#include "platform/signals.h"
#include "system/server.h"
#include "system/startup.h"
#include "system/library_path.h"
#include "core/output.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <string>
#include <unistd.h>

static const size_t LINE_LIMIT = FRAME_TEXT_MAX;   // the desktop's command buffer holds as much

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

static void start_console() {
    session_print = console_print;
    ask_input_string = console_input;
    set_library_path(library_path_from_file("path.txt"));
    start_interpreter();
}

static int read_session_lines() {
    char *line = nullptr;
    size_t size = 0;
    ssize_t n;
    while ((n = getline(&line, &size, stdin)) >= 0) {
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
        if ((size_t)n > LINE_LIMIT) refuse_long_line(n);
        else {
            clear_interrupt();
            execute_input_line(line);
        }
        fflush(stdout);
    }
    free(line);
    free_chunks_keep_head();
    printf("Bye.\n");
    fflush(stdout);
    return 0;
}

static int console_loop() {
    start_console();
    return read_session_lines();
}

// The file is named as on the command line: a path of its own, not a name
// in the library directory. The command is shown as if typed.
static int run_startup_script(const char *file) {
    start_console();
    std::string command = std::string(")FLOAD '") + file + "'";
    console_print(command.c_str());
    console_print("\n");
    if (command.size() > LINE_LIMIT) refuse_long_line((int64_t)command.size());
    else execute_input_line(command.data());
    fflush(stdout);
    return read_session_lines();
}

static int usage() {
    fprintf(stderr, "usage: vek-console [--script FILE | --serve PORT]\n");
    return 2;
}

int main(int argc, char **argv) {
    platform_catch_interrupts(request_interrupt);
    if (argc == 1) return console_loop();
    if (argc != 3) return usage();
    if (strcmp(argv[1], "--script") == 0) return run_startup_script(argv[2]);
    if (strcmp(argv[1], "--serve") != 0) return usage();
    char *end = nullptr;
    long port = strtol(argv[2], &end, 10);
    if (end == argv[2] || *end || port < 1 || port > 65535) return usage();
    set_library_path(library_path_from_file("path.txt"));
    return run_socket_server((int)port);
}
