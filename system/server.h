// The TCP server front end: one client on the loopback address sends
// session lines as frames (a 4-byte big-endian length, then that many bytes
// of text); everything the interpreter prints goes back to it as plain
// text, each line as soon as it is complete.
#pragma once
#include <cstdint>

enum : int64_t {
    FRAME_TEXT_MAX = 4095,   // a frame's text; buffers hold it and a NUL
    FRAME_ENDED = -1,        // the client left, also in the middle of a frame
    FRAME_TOO_LONG = -2,     // its text was read and dropped
};

// Reads one frame into buffer (FRAME_TEXT_MAX + 1 bytes) and ends it with a
// NUL. Returns the text's byte count, FRAME_ENDED or FRAME_TOO_LONG;
// *declared receives the frame's length prefix.
int64_t receive_framed_text(int connection, char *buffer, uint32_t *declared);
// Serves one client on 127.0.0.1:port until it leaves; returns the exit
// status: 0, or 1 when the port cannot be listened on or accept fails.
int run_socket_server(int port);
// The answer to a line longer than a front end takes: one line, then the
// prompt.
void refuse_long_line(int64_t length);
