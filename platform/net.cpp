// TCP through the POSIX socket calls. Every read and write loops until it
// is complete: a frame may arrive in many pieces and a long reply may leave
// in many. Writes never raise SIGPIPE: a client that has left is a failed
// write, not the end of the server.
#include "net.h"
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

int net_listen_loopback(int port, NetStep *failed, int *error) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) { *failed = NET_SOCKET; *error = errno; return -1; }
    // A server started again at once must not wait for the old
    // connection's TIME_WAIT; a port that someone listens on stays refused.
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((uint16_t)port);
    if (bind(fd, (struct sockaddr *)&address, sizeof address) != 0) {
        *failed = NET_BIND;
        *error = errno;
        close(fd);
        return -1;
    }
    if (listen(fd, 10) != 0) {
        *failed = NET_LISTEN;
        *error = errno;
        close(fd);
        return -1;
    }
    return fd;
}

int net_accept(int listener, int *error) {
    int fd;
    do fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) { *error = errno; return -1; }
    // Replies go out in small pieces (a result line, the prompt); without
    // this each would wait for the client's acknowledgement of the last.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int64_t net_read_exact(int fd, void *buffer, int64_t n) {
    char *p = (char *)buffer;
    int64_t got = 0;
    while (got < n) {
        ssize_t r = recv(fd, p + got, (size_t)(n - got), 0);
        if (r > 0) got += r;
        else if (r < 0 && errno == EINTR) continue;
        else break;
    }
    return got;
}

bool net_write_all(int fd, const void *buffer, int64_t n) {
    const char *p = (const char *)buffer;
    while (n > 0) {
        ssize_t w = send(fd, p, (size_t)n, MSG_NOSIGNAL);
        if (w > 0) { p += w; n -= w; }
        else if (w < 0 && errno == EINTR) continue;
        else return false;
    }
    return true;
}

void net_close(int fd) {
    if (fd >= 0) close(fd);
}

void net_host_name(char *buffer, size_t size) {
    if (size == 0) return;
    if (gethostname(buffer, size - 1) != 0) buffer[0] = 0;
    buffer[size - 1] = 0;
}
