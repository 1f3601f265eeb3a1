// Host facts for the start-up line and the clock, from POSIX/Linux calls.
#include "platform.h"
#include <cstring>
#include <pthread.h>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <pwd.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/mman.h>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <netinet/in.h>

bool platform_user_name(char *buffer, size_t size) {
    if (size == 0) return false;
    buffer[0] = 0;
    struct passwd pw, *result = nullptr;
    char scratch[4096];
    if (getpwuid_r(geteuid(), &pw, scratch, sizeof scratch, &result) != 0 || !result) return false;
    snprintf(buffer, size, "%s", pw.pw_name);
    return true;
}

int64_t platform_processor_count() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? n : 0;
}

int64_t platform_physical_memory_mb() {
    long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return 0;
    return (int64_t)pages * (int64_t)page / 1048576;
}

bool platform_first_ipv4(char *buffer, size_t size) {
    if (size == 0) return false;
    buffer[0] = 0;
    struct ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    const struct sockaddr_in *loopback = nullptr, *chosen = nullptr;
    for (struct ifaddrs *a = list; a && !chosen; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_UP)) continue;
        const struct sockaddr_in *in = (const struct sockaddr_in *)a->ifa_addr;
        if (a->ifa_flags & IFF_LOOPBACK) {
            if (!loopback) loopback = in;
        } else chosen = in;
    }
    if (!chosen) chosen = loopback;
    bool found = chosen && inet_ntop(AF_INET, &chosen->sin_addr, buffer, (socklen_t)size) != nullptr;
    freeifaddrs(list);
    return found;
}

void *platform_zeroed_pages(size_t size) {
    void *p = mmap(nullptr, size ? size : 1, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void platform_zero_pages(void *block, size_t size) {
    // a private anonymous mapping reads as zero again after this
    if (madvise(block, size, MADV_DONTNEED) != 0) memset(block, 0, size);
}

int64_t platform_monotonic_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

bool platform_local_time(int64_t fields[7]) {
    struct timespec ts;
    struct tm local;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return false;
    time_t seconds = ts.tv_sec;
    if (!localtime_r(&seconds, &local)) return false;
    fields[0] = local.tm_year + 1900;
    fields[1] = local.tm_mon + 1;
    fields[2] = local.tm_mday;
    fields[3] = local.tm_hour;
    fields[4] = local.tm_min;
    fields[5] = local.tm_sec > 59 ? 59 : local.tm_sec;   // a leap second shows as :59
    fields[6] = ts.tv_nsec / 1000000;
    return true;
}

// The thread's lowest usable stack address, found once per thread.
static thread_local char *stack_floor = nullptr;

static char *find_stack_floor() {
    if (!stack_floor) {
        pthread_attr_t attr;
        void *addr = nullptr;
        size_t size = 0;
        if (pthread_getattr_np(pthread_self(), &attr) != 0) return nullptr;
        pthread_attr_getstack(&attr, &addr, &size);
        pthread_attr_destroy(&attr);
        stack_floor = (char *)addr;
    }
    return stack_floor;
}

const char *platform_stack_limit(size_t margin) {
    char *floor = find_stack_floor();
    return floor ? floor + margin : nullptr;
}

bool platform_program_directory(char *buffer, size_t size) {
    if (size == 0) return false;
    buffer[0] = 0;
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return false;
    path[n] = 0;
    char *slash = strrchr(path, '/');
    if (!slash) return false;
    *slash = 0;
    if ((size_t)(slash - path) >= size) return false;
    snprintf(buffer, size, "%s", path);
    return true;
}
