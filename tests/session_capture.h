// A fresh interpreter driven line by line as the session pane drives it,
// with what each line prints caught: shared by the test runners that
// compare printed output with a written record.
#pragma once
#include "system/startup.h"
#include "core/session.h"
#include "core/output.h"
#include <string>
#include <vector>

namespace session_capture {

inline std::string &captured() {
    static std::string text;
    return text;
}
inline void capture_print(const char *t) { captured() += t; }
inline void discard_print(const char *) {}

// Starts the interpreter without its start-up text and catches output from
// then on.
inline void start_session() {
    session_print = discard_print;
    start_interpreter();
    session_print = capture_print;
}

// Runs one line as typed; gives what it printed, less the six-blank prompt
// that ends every line's output.
inline std::string run_line(const std::string &line) {
    static const char PROMPT[] = "      ";
    captured().clear();
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back(0);
    execute_input_line(buf.data());
    std::string got = captured();
    if (got.size() >= 6 && got.compare(got.size() - 6, 6, PROMPT) == 0) got.resize(got.size() - 6);
    return got;
}

}  // namespace session_capture
