// Writing a file so that a failed write never replaces the last good copy:
// the text goes to a temporary file beside the target, which is renamed
// over it only when every byte is out.
#pragma once
#include <cstdio>
#include <string>

struct FileReplacement {
    FILE *file = nullptr;
    std::string path;       // the target
    std::string temporary;  // empty when the target is written in place
};

// Opens the file to write; false when it cannot be made.
bool open_replacement(FileReplacement *r, const char *path);
// Flushes and closes the file and puts it in place; false (and the target
// untouched) when any write, the flush or the close failed.
bool commit_replacement(FileReplacement *r);
