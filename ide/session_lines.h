// The session pane's bookkeeping, kept apart from the widgets so it can be
// tested on plain strings: which old lines were edited, what a Return runs
// and how the pane is rewritten, paste splitting, the byte limits of the
// interpreter's buffers, the commands sent for chosen files, and the small
// files path.txt and cmd.txt.
#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

// One old line edited since the last Return: its number, the pane's line
// count when the edit began (a merge or split since then makes the number
// stale) and its text before the edit.
struct EditRecord {
    int line;
    int line_count;
    QString text;
};

// Lines are counted the same way everywhere: the pane's plain text split at
// '\n' (a soft break from Shift+Return is a '\n' there too).
QStringList pane_lines(const QString &plain);
int line_at_position(const QString &plain, int position);

// Records the line holding position when it is an old line not yet recorded.
// Returns whether a record was added.
bool note_edited_line(QVector<EditRecord> &edits, const QString &plain, int position);

struct TypedLinePlan {
    QStringList commands;   // untrimmed, in the order they run
    bool rewritten;         // pane_text replaces the pane
    QString pane_text;
};
TypedLinePlan plan_typed_line(const QString &plain, const QVector<EditRecord> &edits);

// Clipboard text split into lines, each without a trailing '\r'.
QStringList split_paste_text(const QString &text);

// Length of the longest prefix of bytes holding at most limit bytes and no
// cut UTF-8 sequence.
int utf8_prefix_length(const QByteArray &bytes, int limit);

// Copies the UTF-8 form of text with its NUL into buffer of capacity bytes;
// refuses (returns false, buffer untouched) when it does not fit whole.
bool copy_to_command_buffer(const QString &text, char *buffer, int capacity);

// The command that loads or copies a chosen file: the bare name when the
// file lies in the library directory under a name the interpreter finds
// again from the bare name, else the full path in single quotes.
QString file_command(const QString &verb, const QString &file_path,
                     const QString &library, const QString &default_extension);
bool same_directory(const QString &a, const QString &b);

// path.txt: its first line is the library directory. A missing file, an
// empty first line or a path over 119 bytes of UTF-8 gives the default,
// "../ws" made absolute; only that value is made absolute.
enum { LIBRARY_PATH_MAX = 119 };
QString read_library_path(const QString &file);
bool write_library_path(const QString &file, const QString &path);

// Script files directly in dir, exact lower-case ".vkp", sorted without case.
QStringList list_script_files(const QString &dir);
// Lines of cmd.txt (empty when it cannot be read).
QStringList read_history_lines(const QString &file);
