// TCP for the server front end: one listening socket on the loopback
// address, one accepted connection, whole reads and whole writes.
#pragma once
#include <cstdint>
#include <cstddef>

// Which call of net_listen_loopback failed.
enum NetStep { NET_SOCKET, NET_BIND, NET_LISTEN };

// A socket listening on 127.0.0.1:port (backlog 10). Returns its
// descriptor, or -1 with the failed step and errno.
int net_listen_loopback(int port, NetStep *failed, int *error);
// Waits for one client; returns its descriptor, or -1 with errno.
int net_accept(int listener, int *error);
// Reads exactly n bytes unless the peer leaves or the connection fails
// first; returns the bytes read (n when complete).
int64_t net_read_exact(int fd, void *buffer, int64_t n);
// Writes all n bytes; false when the peer has gone or the write failed.
bool net_write_all(int fd, const void *buffer, int64_t n);
void net_close(int fd);
// The host name (empty when the system will not tell).
void net_host_name(char *buffer, size_t size);
