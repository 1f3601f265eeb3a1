// The system functions that reach files and the clock from a statement:
// []open, []close, h << x, []get, []CR, []AI and []FX, the path rule every
// file function shares, and the registration of the whole file family
// ([]CSV in system/csv.h, []write in system/export.h, s +. x in
// system/text_lines.h).
#pragma once
#include "core/value.h"
#include <cstdio>
#include <string>
#include <string_view>

// A file-system name as the file functions use it: a name holding '/' as
// it stands, any other inside library_path (the current directory when no
// library is set). No length limit.
std::string resolve_file_path(std::string_view name);

// The last path component's parts: the extension is the text after its
// last '.' when that text has at most 9 characters (else there is none and
// the base name is the whole component); the base name is the text before
// that '.'.
struct FileNameParts {
    std::string base, extension;
    bool has_extension = false;
};
FileNameParts split_file_name(std::string_view path);

// The text of an operand that must be a character scalar or vector; false
// (nothing stored) for any other value. A name holding a NUL byte cannot
// name a file: false as well when nul_free is set.
bool operand_text(i64 c, i64 v, std::string *out, bool nul_free = false);

// A general list of texts into value slot `slot`, every block a large one;
// what the slot held is released. 0, or 6 when memory would not hold it.
int store_text_list(i64 slot, const std::string_view *texts, i64 n);

// Writes bytes to a stream and pushes them out at once, so a full disk is
// reported by the write that met it. false when any byte failed.
bool write_and_flush(FILE *file, const char *bytes, size_t n);

// The writable stream behind a handle (1000..1999), or null.
FILE *handle_stream(i64 handle);

void register_files_primitives();
