// Random tables from bytes, as the session line that builds them: up to six
// columns of the types a CSV file can carry, every cell chosen by the
// bytes (nulls, infinities, blanks, quotes, separators and line breaks
// among them). Shared by the export fuzz target and the export unit test.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

struct ByteSource {
    const uint8_t *p;
    size_t n;
    uint8_t next() {
        if (n == 0) return 0;
        n--;
        return *p++;
    }
    uint64_t word() {
        uint64_t w = 0;
        for (int k = 0; k < 8; k++) w = w << 8 | next();
        return w;
    }
};

// A number in the language's notation: '_' for every minus sign.
inline std::string language_number(std::string s) {
    for (char &c : s)
        if (c == '-') c = '_';
    return s;
}

inline std::string int_cell(ByteSource &b) {
    switch (b.next() % 8) {
    case 0: return "0n";
    case 1: return "0w";
    case 2: return "_0w";
    case 3: return language_number(std::to_string((int64_t)b.word()));
    default: return language_number(std::to_string((int)(int8_t)b.next()));
    }
}

inline std::string float_cell(ByteSource &b) {
    char text[64];
    switch (b.next() % 8) {
    case 0: return "0nf";
    case 1: return "0wf";
    case 2: return "_0wf";
    case 3: {
        uint64_t bits = b.word();
        double x;
        memcpy(&x, &bits, sizeof x);
        if (x != x || x - x != 0) return "0.5";
        snprintf(text, sizeof text, "%.17g", x);
        break;
    }
    default: snprintf(text, sizeof text, "%.17g", (int8_t)b.next() / 8.0); break;
    }
    std::string s = language_number(text);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";   // stays a float literal
    return s;
}

// Characters a text may hold on a session line: every printable one with
// the CSV specials, and the blank.
inline char text_char(ByteSource &b) {
    static const char specials[] = ",\"; |\t'";
    uint8_t c = b.next();
    if (c % 4 == 0) return specials[(c / 4) % (sizeof specials - 1)];
    return (char)(33 + c % 94);
}

inline std::string text_literal(const std::string &text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

inline std::string two_digits(int v) {
    char t[8];
    snprintf(t, sizeof t, "%02d", v);
    return t;
}

inline std::string date_text(ByteSource &b) {
    return std::to_string(1900 + b.next() % 201) + "." + two_digits(1 + b.next() % 12) + "." +
           two_digits(1 + b.next() % 28);
}

inline std::string clock_text(ByteSource &b, bool seconds, bool ms) {
    std::string s = two_digits(b.next() % 24) + ":" + two_digits(b.next() % 60);
    if (seconds) s += ":" + two_digits(b.next() % 60);
    if (ms) {
        char t[8];
        snprintf(t, sizeof t, ".%03d", (b.next() * 4) % 1000);
        s += t;
    }
    return s;
}

// One column: its letter and the literal of `rows` cells (rows >= 2).
inline std::string column_literal(ByteSource &b, char letter, int rows) {
    std::string s;
    for (int r = 0; r < rows; r++) {
        std::string cell;
        switch (letter) {
        case 'B': cell = b.next() & 1 ? "1" : "0"; break;
        case 'I': cell = int_cell(b); break;
        case 'E': cell = float_cell(b); break;
        case 'S': {
            cell = "`";
            int len = b.next() % 6;
            if (len == 5) {   // any text, in quotes
                std::string text;
                for (int k = b.next() % 5; k > 0; k--) {
                    char c = text_char(b);
                    text += c == '\'' ? '"' : c;   // a quote cannot stand in a symbol literal
                }
                if (!text.empty()) cell += text_literal(text);
                break;
            }
            for (int k = 0; k < len; k++) cell += "abcdefghij0123456789_XYZ"[b.next() % 24];
            if (len > 0 && cell[1] >= '0' && cell[1] <= '9') cell[1] = 'n';
            if (len > 0 && cell[1] == '_') cell[1] = 'u';
            break;
        }
        case 'L': {
            std::string text;
            int len = b.next() % 5;
            for (int k = 0; k < len; k++) text += text_char(b);
            cell = "(," + text_literal(text) + ")";
            break;
        }
        case 'D': cell = date_text(b); break;
        case 'M': cell = std::to_string(1900 + b.next() % 201) + "." + two_digits(1 + b.next() % 12) + "m"; break;
        case 'U': cell = clock_text(b, false, false); break;
        case 'V': cell = clock_text(b, true, false); break;
        case 'T': cell = clock_text(b, true, true); break;
        case 'Z': cell = date_text(b) + "T" + clock_text(b, true, true); break;
        }
        if (letter == 'C') {
            s += text_char(b);
            continue;
        }
        if (letter == 'L') s += (r ? ";" : "(") + cell;
        else if (letter == 'S') s += cell + " ";
        else s += (r ? " " : "") + cell;
    }
    if (letter == 'C') return text_literal(s);
    if (letter == 'B') return "(" + s + ")>0";
    if (letter == 'L') return s + ")";
    return s;
}

// The line that assigns the table to `name`, e.g.
// "t<-([] a0<-1 2; a1<-'xy')". *letters receives the column types.
inline std::string make_table_line(ByteSource &b, const char *name, std::string *letters) {
    static const char kinds[] = "BIECSLDMUVTZ";
    int columns = 1 + b.next() % 6, rows = 2 + b.next() % 6;
    std::string line = std::string(name) + "<-([] ";
    letters->clear();
    for (int k = 0; k < columns; k++) {
        char letter = kinds[b.next() % 12];
        *letters += letter;
        line += (k ? "; a" : "a") + std::to_string(k) + "<-" + column_literal(b, letter, rows);
    }
    return line + ")";
}
