// Build-time tool: turns one help document from Markdown into PDF with
// Qt's own text layout, so the help needs nothing beyond Qt.
//   vek-help-pdf input.md output.pdf [first-page.png]
// The optional picture of the first page lets a writer check the layout.
#include "help_document.h"
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

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
    build_help_document(&doc, markdown);

    // The title a viewer shows: the document's first heading.
    QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
    pdf.setTitle(help_document_title(markdown));
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
