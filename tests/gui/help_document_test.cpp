// The help documents as the PDF tool lays them out: bars written "\|" in
// table cells show as bars, while a code block keeps what it says, and
// code is set in the monospaced face.
#include <QtTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include "help_document.h"

class HelpDocumentTest : public QObject {
    Q_OBJECT

    // The text of every table cell of the document, in order.
    static QStringList cell_texts(QTextDocument *doc)
    {
        QStringList cells;
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
            QTextCursor c(b);
            if (c.currentTable()) cells << b.text();
        }
        return cells;
    }

private slots:
    void bars_in_table_cells_lose_their_backslash()
    {
        QTextDocument doc;
        build_help_document(&doc, QStringLiteral("# Glyphs\n\n"
                                                 "| glyph | name |\n|---|---|\n"
                                                 "| `\\|` | magnitude |\n| `\\|\\|` | cut |\n| `+` | plus |\n\n"
                                                 "```\n      a\\|b\n```\n"));
        QStringList cells = cell_texts(&doc);
        QVERIFY2(cells.contains("|") && cells.contains("||") && cells.contains("+"), qPrintable(cells.join(' ')));
        for (const QString &cell : cells) QVERIFY2(!cell.contains('\\'), qPrintable(cell));
        QVERIFY(doc.toPlainText().contains("a\\|b"));
        QTextCursor bar = doc.find(QStringLiteral("||"));
        QVERIFY(!bar.isNull());
        QCOMPARE(bar.charFormat().fontFamily(), QStringLiteral("Liberation Mono"));
        QCOMPARE(help_document_title(QStringLiteral("intro\n# Glyphs\n## more\n")), QStringLiteral("Glyphs"));
    }

    void the_symbol_table_shows_no_escaped_bar()
    {
        QFile md(QStringLiteral(VEK_BINARY_DIR "/help/symbols.md"));
        QVERIFY(md.open(QIODevice::ReadOnly));
        QTextDocument doc;
        build_help_document(&doc, QString::fromUtf8(md.readAll()));
        QStringList cells = cell_texts(&doc);
        QVERIFY(cells.size() > 50);
        QVERIFY(cells.contains("|"));
        for (const QString &cell : cells) QVERIFY2(!cell.contains("\\|"), qPrintable(cell));
    }
};

QTEST_MAIN(HelpDocumentTest)
#include "help_document_test.moc"
