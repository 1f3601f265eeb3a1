// Requests through the network server: a client on the loopback address
// sends the line 1+2 as a frame and reads its whole answer (echo, result,
// prompt). First one request at a time (round trips: bound by how fast the
// host wakes two processes in turn), then with up to 64 requests in flight
// (the server's own throughput), with the server's processor time per
// request. The same client then drives a CPython server for the same
// frames, and the ratios are printed.
//   server_bench [requests]
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>
#include "harness.h"
#include "system/server.h"

static const char BANNER_END[] = "CLEAR WS\n\n      ";
static const char REPLY[] = "1+2\n3\n      ";

static int free_port() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(s, (sockaddr *)&a, sizeof a);
    getsockname(s, (sockaddr *)&a, &n);
    close(s);
    return ntohs(a.sin_port);
}

static int connect_retrying(int port) {
    for (int attempt = 0; attempt < 500; attempt++) {
        int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons((uint16_t)port);
        if (connect(s, (sockaddr *)&a, sizeof a) == 0) {
            int one = 1;
            setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return s;
        }
        close(s);
        usleep(10000);
    }
    return -1;
}

// Reads until the text received ends with `ending`; false when the server
// left first.
static bool read_until(int s, const char *ending, std::string &got) {
    size_t n = strlen(ending);
    got.clear();
    char buf[4096];
    while (got.size() < n || got.compare(got.size() - n, n, ending) != 0) {
        ssize_t r = recv(s, buf, sizeof buf, 0);
        if (r <= 0) return false;
        got.append(buf, (size_t)r);
    }
    return true;
}

struct Rates {
    double round_trip = -1, in_flight = -1;   // requests per second
    double cpu_us = -1;                        // server processor time per request
};

static bool expect_replies(int s, long n, std::string &got) {
    for (long i = 0; i < n; i++) {
        if (!read_until(s, "      ", got)) return false;
        if (got != REPLY) {
            fprintf(stderr, "unexpected reply %s\n", got.c_str());
            return false;
        }
    }
    return true;
}

// Replies come in pieces that end with the prompt; read_until may have read
// into the next one, so the in-flight run counts prompts over one stream.
static bool read_replies(int s, long n) {
    std::string got;
    long seen = 0;
    char buf[65536];
    while (seen < n) {
        ssize_t r = recv(s, buf, sizeof buf, 0);
        if (r <= 0) return false;
        got.append(buf, (size_t)r);
        size_t at;
        while ((at = got.find(REPLY)) == 0) {
            got.erase(0, sizeof REPLY - 1);
            seen++;
        }
        if (at != std::string::npos && at != 0) return false;
    }
    return got.empty();
}

static double seconds_since(double t0_ms) { return (now_ms() - t0_ms) / 1e3; }

static bool drive(int port, long trips, Rates *rates) {
    int s = connect_retrying(port);
    if (s < 0) return false;
    std::string got;
    if (!read_until(s, BANNER_END, got)) return false;
    const unsigned char request[] = {0, 0, 0, 3, '1', '+', '2'};
    double t0 = now_ms();
    for (long i = 0; i < trips; i++) {
        if (send(s, request, sizeof request, 0) != (ssize_t)sizeof request) return false;
        if (!expect_replies(s, 1, got)) return false;
    }
    rates->round_trip = (double)trips / seconds_since(t0);
    enum { WINDOW = 64 };
    std::string batch;
    for (int i = 0; i < WINDOW; i++) batch.append((const char *)request, sizeof request);
    t0 = now_ms();
    for (long done = 0; done < trips; done += WINDOW) {
        if (send(s, batch.data(), batch.size(), 0) != (ssize_t)batch.size()) return false;
        if (!read_replies(s, WINDOW)) return false;
    }
    rates->in_flight = (double)((trips + WINDOW - 1) / WINDOW * WINDOW) / seconds_since(t0);
    close(s);
    return true;
}

static void quiet_stdout() {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
}

// Runs the server in a child process and drives it.
static Rates time_server(long trips, bool python) {
    int port = free_port();
    pid_t child = fork();
    if (child == 0) {
        quiet_stdout();
        if (!python) _exit(run_socket_server(port));
        std::string p = std::to_string(port);
        execlp(peer_python(), "python3", BENCH_DIR "/python_frame_server.py", p.c_str(), (char *)nullptr);
        _exit(127);
    }
    Rates rates;
    bool ok = drive(port, trips, &rates);
    if (!ok) kill(child, SIGTERM);
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    if (!ok) return Rates{};
    double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    rates.cpu_us = cpu * 1e6 / (2.0 * (double)trips);
    return rates;
}

static void print_rates(const char *who, long trips, const Rates &r) {
    printf("server_bench: %-7s %ld requests of 1+2: one at a time %.0f/s (%.1f us each), "
           "64 in flight %.0f/s; server processor time %.1f us per request\n",
           who, trips, r.round_trip, 1e6 / r.round_trip, r.in_flight, r.cpu_us);
}

int main(int argc, char **argv) {
    long trips = argument(argc, argv, 1, 20000);
    Rates vek = time_server(trips, false);
    if (vek.round_trip < 0) {
        printf("server_bench: the Vek server did not answer as expected\n");
        return 1;
    }
    print_rates("Vek", trips, vek);
    Rates py = time_server(trips, true);
    if (py.round_trip < 0) {
        printf("server_bench: CPython peer not available\n");
        return 0;
    }
    print_rates("CPython", trips, py);
    printf("server_bench: Vek/CPython requests per second: one at a time %.2f, 64 in flight %.2f\n",
           vek.round_trip / py.round_trip, vek.in_flight / py.in_flight);
    return 0;
}
