// Build-time tool: turns one help document from Markdown into PDF with
// Qt's own text layout, so the help needs nothing beyond Qt.
//   vek-help-pdf input.md output.pdf [first-page.png]
// The optional picture of the first page lets a writer check the layout.
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cstdio>

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

static QString document_title(const QString &markdown)
{
    for (const QString &line : markdown.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("# "))) return line.mid(2).trimmed();
    return QString();
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: vek-help-pdf input.md output.pdf [first-page.png]\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        fprintf(stderr, "vek-help-pdf: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument doc;
    doc.setDefaultStyleSheet(QStringLiteral("code, pre { font-family: 'Liberation Mono', monospace; }"));
    doc.setDefaultFont(QFont(QStringLiteral("Liberation Sans"), 11));
    QString markdown = QString::fromUtf8(in.readAll());
    doc.setMarkdown(markdown);
    use_mono_for_code(&doc);

    // The title a viewer shows: the document's first heading.
    QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
    pdf.setTitle(document_title(markdown));
    pdf.setCreator(QStringLiteral("Vek Studio"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&pdf)) {
        fprintf(stderr, "vek-help-pdf: cannot write %s\n", argv[2]);
        return 1;
    }
    // Lay the text out at the writer's resolution, then page through it.
    QRectF page(QPointF(0, 0), QSizeF(pdf.width(), pdf.height()));
    doc.documentLayout()->setPaintDevice(&pdf);
    doc.setPageSize(page.size());
    int pages = doc.pageCount();
    for (int i = 0; i < pages; i++) {
        if (i > 0) pdf.newPage();
        painter.save();
        painter.translate(0, -page.height() * i);
        doc.drawContents(&painter, QRectF(0, page.height() * i, page.width(), page.height()));
        painter.restore();
    }
    painter.end();
    if (argc == 4) {
        double scale = 100.0 / pdf.resolution();
        QImage image((page.size() * scale).toSize(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.scale(scale, scale);
        doc.drawContents(&p, page);
        p.end();
        if (!image.save(QString::fromLocal8Bit(argv[3]))) return 1;
    }
    return 0;
}
