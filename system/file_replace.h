// Opening the files the commands and file functions read and write, and
// writing a file so that a failed write never replaces the last good copy:
// the text goes to a temporary file beside the target, which is renamed
// over it only when every byte is out.
//
// Nothing here waits for another process: a pipe with no reader or writer
// is refused at once instead of holding the session until one comes. Only
// regular files are read; only regular files and terminals are written.
#pragma once
#include <cstdio>
#include <cstdint>
#include <string>

// Opens a regular file to read (never a directory, device or pipe, which
// could be endless or block); its size in *size. -1 when it cannot be
// opened, with *not_regular set when it exists but is no regular file.
int open_regular_file(const char *path, int64_t *size, bool *not_regular);

// Opens a file to write in place: a regular file (made when missing,
// emptied when `empty` is set) or a terminal. A pipe, socket, directory
// or any other device is refused. The descriptor (blocking once open), or -1.
int open_file_to_write(const char *path, bool empty);

struct FileReplacement {
    FILE *file = nullptr;
    std::string path;       // the target, symbolic links followed
    std::string temporary;  // empty when the target is written in place
};

// Opens the file to write; false when it cannot be made, when it exists
// and the user may not write it, or when its links go round in a loop. A
// symbolic link is written through to its target; a target that is not a
// regular file (only a terminal is taken) is written in place. Temporaries
// that a save killed midway left beside the target are removed first.
bool open_replacement(FileReplacement *r, const char *path);
// Flushes and closes the file and puts it in place; false (and the target
// untouched) when any write, the flush or the close failed.
bool commit_replacement(FileReplacement *r);
// Gives the write up: the target stays as it was.
void abandon_replacement(FileReplacement *r);
// The name a replacement's temporary file starts with: the target's path
// and this mark, then six characters.
extern const char REPLACEMENT_MARK[];
