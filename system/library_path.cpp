// The library directory: path.txt's first line, with the default beside
// the current directory.
#include "library_path.h"
#include "core/session.h"
#include "system/file_replace.h"
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

// "../ws" seen from the current directory, without the "..".
static std::string default_library_path() {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return "../ws";
    std::string dir = cwd;
    size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos || slash == 0 ? std::string() : dir.substr(0, slash);
    return dir + "/ws";
}

static bool fits(const std::string &path) { return path.size() < sizeof library_path; }

std::string library_path_from_file(const char *file) {
    std::string first;
    // Only a regular file, and only as much of its first line as a path
    // can hold: a pipe or device there must not hold up the start.
    int64_t size = 0;
    bool not_regular = false;
    int fd = open_regular_file(file, &size, &not_regular);
    if (FILE *f = fd >= 0 ? fdopen(fd, "r") : nullptr) {
        int c;
        while ((c = fgetc(f)) != EOF && c != '\n' && first.size() <= sizeof library_path) first += (char)c;
        fclose(f);
    } else if (fd >= 0) {
        close(fd);
    }
    while (!first.empty() && first.back() == '\r') first.pop_back();
    if (!first.empty() && first != "../ws" && fits(first)) return first;
    std::string path = default_library_path();
    return fits(path) ? path : "../ws";
}

bool set_library_path(const std::string &path) {
    if (!fits(path)) return false;
    memcpy(library_path, path.c_str(), path.size() + 1);
    return true;
}
