#include "help_document.h"
#include <QFontDatabase>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

// Code, inline or in blocks, in a monospaced face: the examples show
// tables and matrices whose columns must line up. The Markdown reader asks
// the platform for its fixed font, which under the offscreen platform is
// a proportional face; code in that face is given the monospaced one.
static void use_mono_for_code(QTextDocument *doc)
{
    const QString platform_fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    QTextCharFormat mono;
    mono.setFontFamily(QStringLiteral("Liberation Mono"));
    mono.setFontFixedPitch(true);
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        bool code_block = block.blockFormat().hasProperty(QTextFormat::BlockCodeFence);
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment f = it.fragment();
            if (!code_block && f.charFormat().fontFamily() != platform_fixed) continue;
            QTextCursor c(doc);
            c.setPosition(f.position());
            c.setPosition(f.position() + f.length(), QTextCursor::KeepAnchor);
            c.mergeCharFormat(mono);
        }
    }
}

// A table row ends at every bar that is not escaped, even inside code, so
// the symbol table writes the glyphs that hold one as "\|"; Qt's reader
// keeps the backslash inside code. Only table cells are touched: in a code
// block "\|" is what it says.
static void unescape_table_bars(QTextDocument *doc)
{
    const QString escaped = QStringLiteral("\\|");
    for (QTextCursor c = doc->find(escaped); !c.isNull(); c = doc->find(escaped, c)) {
        if (!c.currentTable()) continue;
        QTextCharFormat format = c.charFormat();
        c.insertText(QStringLiteral("|"), format);
    }
}

void build_help_document(QTextDocument *doc, const QString &markdown)
{
    doc->setMarkdown(markdown);
    use_mono_for_code(doc);
    unescape_table_bars(doc);
}

QString help_document_title(const QString &markdown)
{
    for (const QString &line : markdown.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("# "))) return line.mid(2).trimmed();
    return QString();
}
