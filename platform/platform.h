// The few facts the interpreter asks of the host system, from Linux calls.
#pragma once
#include <cstdint>
#include <cstddef>

// The effective user's name; false (and "") when it cannot be had.
bool platform_user_name(char *buffer, size_t size);
int64_t platform_processor_count();         // online processors, 0 when unknown
int64_t platform_physical_memory_mb();      // total physical memory / 1,048,576
// The host's first IPv4 address in dotted form, read from its network
// interfaces (the first one up that is not the loopback, else the
// loopback): no name is looked up, so no query leaves the machine. False
// when there is none.
bool platform_first_ipv4(char *buffer, size_t size);
// Zeroed memory straight from the system: pages it has not handed out
// before, which read as zero and take no room until first written. Null
// when refused. platform_zero_pages makes a whole such block read as zero
// again and gives its pages back, without writing them.
void *platform_zeroed_pages(size_t size);
void platform_zero_pages(void *block, size_t size);
// The directory of the running program's file, where the files installed
// with it lie; false (and "") when it cannot be had or does not fit.
bool platform_program_directory(char *buffer, size_t size);
// Monotonic milliseconds, for elapsed-time readings.
int64_t platform_monotonic_ms();
// The local date and time from the real-time clock: year, month, day,
// hours, minutes, seconds, milliseconds. False when it cannot be read.
bool platform_local_time(int64_t fields[7]);
// The address below which the calling thread has less than `margin` bytes
// of stack left (null when unknown), for a loop that tests it often.
const char *platform_stack_limit(size_t margin);
