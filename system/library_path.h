// The library directory from path.txt: one rule for every front end.
#pragma once
#include <string>

// The library directory a path file names: its first line, or "../ws" when
// the file is missing or that line empty; "../ws" is made absolute (beside
// the current directory). A path longer than library_path holds gives the
// default.
std::string library_path_from_file(const char *file);
// Stores path in library_path (it must fit: at most 119 bytes).
bool set_library_path(const std::string &path);
