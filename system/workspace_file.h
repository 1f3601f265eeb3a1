// Workspace files (".vek"): the whole interpreter state written by )SAVE
// and read back by )LOAD. References between records are stored as table
// indexes and every value as a self-contained slot item, so a file means
// the same thing in any process; a check word over all of it ends the file.
#pragma once
#include "core/tables.h"

enum : i64 {
    WORKSPACE_FORMAT_VERSION = 6,
    // The format date written: such a file ends with its check word, and is
    // refused without it.
    WORKSPACE_FORMAT_DATE = 20261209,
    // The date of the earlier files of the same version, which may end
    // without the check word; they still load.
    WORKSPACE_UNCHECKED_DATE = 20150810,
};

// 0, or 300: the file cannot be written (the target is then left as it
// was), or the workspace holds what the reader would refuse; 36 when an
// interrupt stopped the write (the target is left as it was).
int save_workspace_file(const char *path);
// 0, or 500 (cannot open), 302 (older or foreign header, or a format date
// of neither kind), 36 (other version, message printed, or an interrupt),
// 301 (not a regular file, damaged, a value out of its type's range, or
// more than memory holds). The whole file is checked before the workspace is cleared: on
// failure the current workspace stays as it was.
int load_workspace_file(const char *path);
