// System commands: the ")" dispatcher and every command it runs, the file
// argument rule shared by the file commands, and the column printer used by
// the name listings.
#pragma once
#include "core/tables.h"
#include "core/columns.h"

enum : i64 {
    FILE_PATH_MAX = 127,       // longest path a command builds
    WORKSPACE_NAME_MAX = 20,   // longest name )WSID accepts
};

// The current workspace name, empty for a clear workspace. )SAVE and )LOAD
// keep a file's base name whole, so it has room for any path's base name.
extern char workspace_name[FILE_PATH_MAX + 1];

// text is the line after ")". Reports its own errors; returns error_number.
int system_command(char *text);

// Builds the path of a command's file argument into path_out (at least
// FILE_PATH_MAX + 1 bytes): a quoted argument is a full path, otherwise the
// name is looked up in library_path and gets ".ext" when it has no '.'.
// Returns 0, or 76 (stored in error_number).
int make_file_path(const char *argument, char *path_out, const char *default_ext);

// True when the file name a path ends in holds a control character (bytes
// 1-31, 127): such a name could be neither typed back nor shown.
bool file_name_has_control_character(const char *path);


// "%d.%02d.%02d %02d:%02d:%02d (gmt%d)" of the file's modification time.
void print_file_time(const char *path);

// The base name of a path (after the last '/') up to its first '.'.
void set_workspace_name_from_path(const char *path);
