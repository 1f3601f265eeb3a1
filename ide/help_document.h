// A help document laid out from its Markdown with Qt's own text layout:
// what the PDF tool prints, kept apart so that its corrections can be
// tested.
#pragma once
#include <QString>

class QTextDocument;

// Reads markdown into doc (cleared first) and corrects what Qt's reader
// leaves: code set in the monospaced face, and "\|" in table cells, the
// only way to write a bar inside a table, shown as the bar it stands for.
void build_help_document(QTextDocument *doc, const QString &markdown);

// The text of the document's first "# " heading, or an empty text.
QString help_document_title(const QString &markdown);
