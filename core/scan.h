// Small scanners over source text, shared by every reader of it: the
// lexer, the statement compiler, the control-structure translator, the
// function store, the session and the commands, scripts and CSV files.
#pragma once
#include <cstdint>
#include <string>

// ---- Blanks ------------------------------------------------------------------------
// A blank is ' '; most readers take a tab for one too, the statement
// compiler and the literal scanners do not.
enum BlankSet { BLANKS_AND_TABS, BLANKS_ONLY };

inline bool is_blank(char c, BlankSet set = BLANKS_AND_TABS) {
    return c == ' ' || (c == '\t' && set == BLANKS_AND_TABS);
}

// The first character at or after s that is no blank, stopping at end when
// one is given (the text's NUL ends the blanks in any case).
inline const char *skip_blanks(const char *s, BlankSet set = BLANKS_AND_TABS, const char *end = nullptr) {
    while ((!end || s < end) && is_blank(*s, set)) s++;
    return s;
}
inline char *skip_blanks(char *s, BlankSet set = BLANKS_AND_TABS) {
    return const_cast<char *>(skip_blanks(const_cast<const char *>(s), set));
}
// The same by position: from p, stopping at end when one is given.
inline int64_t skip_blanks(const char *s, int64_t p, BlankSet set = BLANKS_AND_TABS, int64_t end = -1) {
    if (end >= 0 && p >= end) return p;
    return skip_blanks(s + p, set, end >= 0 ? s + end : nullptr) - s;
}
inline size_t skip_blanks(const std::string &s, size_t p, BlankSet set = BLANKS_AND_TABS) {
    return (size_t)skip_blanks(s.c_str(), (int64_t)p, set, (int64_t)s.size());
}

// ---- Texts in quotes -----------------------------------------------------------------
// A text in single quotes, in which a doubled quote stands for one quote.

// Past the text in quotes whose opening quote is s[p]: the position after
// its closing quote. An unclosed text runs to end when one is given, else
// to the text's NUL; *closed, when asked, says which it was.
inline int64_t skip_quoted(const char *s, int64_t p, int64_t end = -1, bool *closed = nullptr) {
    auto inside = [&](int64_t q) { return (end < 0 || q < end) && s[q]; };
    for (p++; inside(p); p++) {
        if (s[p] != '\'') continue;
        if (!inside(p + 1) || s[p + 1] != '\'') {
            if (closed) *closed = true;
            return p + 1;
        }
        p++;   // a doubled quote
    }
    if (closed) *closed = false;
    return p;
}
inline size_t skip_quoted(const std::string &s, size_t p, bool *closed = nullptr) {
    return (size_t)skip_quoted(s.c_str(), (int64_t)p, (int64_t)s.size(), closed);
}
