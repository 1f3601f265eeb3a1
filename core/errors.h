// The one numbered table of error messages.
#pragma once
#include <cstdint>

// The message of an error number, or null when the number has none.
const char *error_message(int64_t number);
