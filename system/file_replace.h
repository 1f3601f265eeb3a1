// Opening the files the commands read, and writing a file so that a failed
// write never replaces the last good copy: the text goes to a temporary
// file beside the target, which is renamed over it only when every byte is
// out.
#pragma once
#include <cstdio>
#include <cstdint>
#include <string>

// Opens a regular file to read (never a directory, device or pipe, which
// could be endless or block); its size in *size. -1 when it cannot be
// opened, with *not_regular set when it exists but is no regular file.
int open_regular_file(const char *path, int64_t *size, bool *not_regular);

struct FileReplacement {
    FILE *file = nullptr;
    std::string path;       // the target, symbolic links followed
    std::string temporary;  // empty when the target is written in place
};

// Opens the file to write; false when it cannot be made, or when it exists
// and the user may not write it. A symbolic link is written through to its
// target; a target that is not a regular file (a device) is written in place.
bool open_replacement(FileReplacement *r, const char *path);
// Flushes and closes the file and puts it in place; false (and the target
// untouched) when any write, the flush or the close failed.
bool commit_replacement(FileReplacement *r);
// Gives the write up: the target stays as it was.
void abandon_replacement(FileReplacement *r);
