// The TCP server front end. Output to the client is gathered in a small
// buffer that is sent whenever a line is complete and before the server
// waits for the client, so nothing sits unsent while a statement runs.
// A client that leaves ends the service: when a write fails the running
// statement is asked to stop, and the next read sees the end.
#include "server.h"
#include "startup.h"
#include "core/session.h"
#include "core/interrupt.h"
#include "platform/net.h"
#include "platform/signals.h"
#include "core/output.h"
#include <cerrno>
#include <cstdio>
#include <cstring>

static int connection = -1;
static bool client_gone = false;
static char out_buffer[4096];
static size_t out_length = 0;

static void send_now(const char *text, size_t n) {
    if (client_gone || n == 0) return;
    if (!net_write_all(connection, text, (int64_t)n)) {
        client_gone = true;
        request_interrupt();   // nobody reads what the statement prints
    }
}

static void flush_connection() {
    send_now(out_buffer, out_length);
    out_length = 0;
}

static void connection_print(const char *text) {
    size_t n = strlen(text);
    if (out_length + n > sizeof out_buffer) flush_connection();
    if (n > sizeof out_buffer) { send_now(text, n); return; }
    memcpy(out_buffer + out_length, text, n);
    out_length += n;
    if (memchr(text, '\n', n)) flush_connection();
}

void refuse_long_line(int64_t length) {
    vek_printf("line of %lld bytes refused: at most %lld\n      ", (long long)length,
               (long long)FRAME_TEXT_MAX);
}

int64_t receive_framed_text(int connection, char *buffer, uint32_t *declared) {
    unsigned char prefix[4];
    if (net_read_exact(connection, prefix, 4) != 4) return FRAME_ENDED;
    uint32_t length = (uint32_t)prefix[0] << 24 | (uint32_t)prefix[1] << 16 |
                      (uint32_t)prefix[2] << 8 | (uint32_t)prefix[3];
    *declared = length;
    if (length > FRAME_TEXT_MAX) {
        char sink[4096];
        for (uint32_t left = length; left > 0;) {
            int64_t piece = left < sizeof sink ? left : sizeof sink;
            if (net_read_exact(connection, sink, piece) != piece) return FRAME_ENDED;
            left -= (uint32_t)piece;
        }
        return FRAME_TOO_LONG;
    }
    if (net_read_exact(connection, buffer, length) != (int64_t)length) return FRAME_ENDED;
    buffer[length] = 0;
    return length;
}

// The line shown after the prompt, as a typed line would stand there.
static void echo_frame(char *text, int64_t n) {
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = 0;
    connection_print(text);
    connection_print("\n");
}

// Keyboard input in a statement takes the client's next frame.
static int64_t frame_input(const char *prompt, char *buf, int64_t cap) {
    if (cap <= 0) return 0;
    buf[0] = 0;
    if (prompt && *prompt) connection_print(prompt);
    flush_connection();
    static char frame[FRAME_TEXT_MAX + 1];
    uint32_t declared = 0;
    int64_t n = client_gone ? FRAME_ENDED : receive_framed_text(connection, frame, &declared);
    if (n == FRAME_ENDED) { client_gone = true; return 0; }
    if (n == FRAME_TOO_LONG) {
        vek_printf("line of %lld bytes refused: at most %lld\n", (long long)declared,
                   (long long)FRAME_TEXT_MAX);
        return 0;
    }
    echo_frame(frame, n);
    n = (int64_t)strlen(frame);
    if (n > cap - 1) n = cap - 1;
    memcpy(buf, frame, (size_t)n);
    buf[n] = 0;
    return n;
}

static int listen_failed(NetStep step, int error) {
    const char *text = strerror(error);
    if (step == NET_SOCKET) printf("create socket errpr: %s (errno: %d)\n", text, error);
    else if (step == NET_BIND) printf("bind socket error: %s(errno: %d)\n", text, error);
    else printf("listen socket error: %s(errno: %d)\n", text, error);
    fflush(stdout);
    return 1;
}

static void serve_frames() {
    static char frame[FRAME_TEXT_MAX + 1];
    while (!client_gone) {
        uint32_t declared = 0;
        int64_t n = receive_framed_text(connection, frame, &declared);
        if (n == FRAME_ENDED) break;
        if (n == FRAME_TOO_LONG) refuse_long_line(declared);
        else {
            echo_frame(frame, n);
            clear_interrupt();
            execute_input_line(frame);
        }
        flush_connection();
    }
}

int run_socket_server(int port) {
    platform_ignore_broken_pipes();
    char host[257];
    net_host_name(host, sizeof host);
    printf("%s\n", host);
    NetStep step;
    int error = 0;
    int listener = net_listen_loopback(port, &step, &error);
    if (listener < 0) return listen_failed(step, error);
    printf("===========waiting for client's request===========\n");
    fflush(stdout);
    connection = net_accept(listener, &error);
    if (connection < 0) {
        printf("accept socket error: %s(errno: %d)\n", strerror(error), error);
        fflush(stdout);
        net_close(listener);
        return 1;
    }
    // One client: a second one is refused rather than left waiting.
    net_close(listener);
    printf("c %d, s %d\n", connection, connection);
    fflush(stdout);
    session_print = connection_print;
    ask_input_string = frame_input;
    start_interpreter();
    flush_connection();
    serve_frames();
    flush_connection();
    net_close(connection);
    connection = -1;
    printf("connection closed\n");
    fflush(stdout);
    return 0;
}
