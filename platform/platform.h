// The few facts the interpreter asks of the host system, from Linux calls.
#pragma once
#include <cstdint>
#include <cstddef>

// The effective user's name; false (and "") when it cannot be had.
bool platform_user_name(char *buffer, size_t size);
int64_t platform_processor_count();         // online processors, 0 when unknown
int64_t platform_physical_memory_mb();      // total physical memory / 1,048,576
// The first IPv4 address of the host name in dotted form; false when none.
bool platform_first_ipv4(char *buffer, size_t size);
// Monotonic milliseconds, for elapsed-time readings.
int64_t platform_monotonic_ms();
// The local date and time from the real-time clock: year, month, day,
// hours, minutes, seconds, milliseconds. False when it cannot be read.
bool platform_local_time(int64_t fields[7]);
// True when the calling thread has less than `margin` bytes of its stack
// left: deep recursion (a function calling itself through long lines)
// fails with an error before the process runs out of stack.
bool platform_stack_low(size_t margin);
// The address below which the calling thread has less than `margin` bytes
// of stack left (null when unknown), for a loop that tests it often.
const char *platform_stack_limit(size_t margin);
