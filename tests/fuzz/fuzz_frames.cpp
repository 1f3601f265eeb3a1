// libFuzzer target: the server's frame reader. The fuzzer's bytes are two
// bytes that choose where the stream is cut, then the bytes a client sends.
// A writer thread sends the stream piece by piece over a socket pair,
// each piece only once the reader has taken the last one, so the reader
// sees the cuts. Whatever the cuts, it must find the frames a plain reading
// of the whole stream finds, end each text with a NUL inside its buffer and
// report the end of the stream once.
#include "system/server.h"
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Frame {
    int64_t result;      // text length, FRAME_TOO_LONG or FRAME_ENDED
    uint32_t declared;   // the length prefix (not for FRAME_ENDED)
    size_t at;           // where the text starts in the stream
};

// The frames of the whole stream read in one piece.
std::vector<Frame> expected_frames(const uint8_t *s, size_t n) {
    std::vector<Frame> out;
    size_t pos = 0;
    while (n - pos >= 4) {
        uint32_t len = (uint32_t)s[pos] << 24 | (uint32_t)s[pos + 1] << 16 | (uint32_t)s[pos + 2] << 8 | s[pos + 3];
        pos += 4;
        if (len > n - pos) break;   // the client left inside the frame
        out.push_back({len > FRAME_TEXT_MAX ? (int64_t)FRAME_TOO_LONG : (int64_t)len, len, pos});
        pos += len;
    }
    out.push_back({FRAME_ENDED, 0, 0});
    return out;
}

// Piece lengths of 1 to 600 bytes from a small generator seeded by the
// input, so that cuts fall inside length prefixes as well as texts.
std::vector<size_t> cut_points(uint16_t seed, size_t n) {
    std::vector<size_t> pieces;
    uint32_t x = seed * 2654435761u + 1;
    for (size_t done = 0; done < n;) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        size_t len = (x >> 4) % ((x & 8) ? 600 : 7) + 1;
        if (len > n - done) len = n - done;
        pieces.push_back(len);
        done += len;
    }
    return pieces;
}

[[noreturn]] void finding(const char *what, size_t frame) {
    fprintf(stderr, "frame %zu: %s\n", frame, what);
    abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    uint16_t seed = (uint16_t)(data[0] << 8 | data[1]);
    const uint8_t *stream = data + 2;
    size_t n = size - 2;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    int buffer_room = 1 << 20;
    setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &buffer_room, sizeof buffer_room);
    std::atomic<bool> reader_done{false};
    std::thread writer([&] {
        size_t at = 0;
        for (size_t len : cut_points(seed, n)) {
            if (send(fds[1], stream + at, len, MSG_NOSIGNAL) != (ssize_t)len) break;
            at += len;
            int waiting = 1;
            while (!reader_done.load() && ioctl(fds[0], FIONREAD, &waiting) == 0 && waiting > 0) sched_yield();
        }
        shutdown(fds[1], SHUT_WR);
    });
    std::vector<Frame> want = expected_frames(stream, n);
    for (size_t k = 0; k < want.size(); k++) {
        // a buffer of exactly the promised size: a write past it is a finding
        char *buffer = (char *)malloc(FRAME_TEXT_MAX + 1);
        uint32_t declared = 0;
        int64_t got = receive_framed_text(fds[0], buffer, &declared);
        if (got != want[k].result) finding("result differs from the whole stream's", k);
        if (got >= 0 && (buffer[got] != 0 || memcmp(buffer, stream + want[k].at, (size_t)got) != 0))
            finding("text differs", k);
        if (got != FRAME_ENDED && declared != want[k].declared) finding("declared length differs", k);
        free(buffer);
    }
    reader_done.store(true);
    writer.join();
    close(fds[0]);
    close(fds[1]);
    return 0;
}
