// The error state and the numbered error messages that report_error prints
// after "Error: ".
#include "errors.h"

int64_t error_number = 0;
int64_t error_position = -1;

struct ErrorText { int number; const char *text; };

static const ErrorText error_texts[] = {
#define VEK_ERROR_TEXT(number, name, message) {number, message},
    VEK_ERRORS(VEK_ERROR_TEXT)
#undef VEK_ERROR_TEXT
};

const char *error_message(int64_t number) {
    for (const ErrorText &e : error_texts)
        if (e.number == number) return e.text;
    return nullptr;
}
