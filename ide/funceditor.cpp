// Line-numbered editor of the script editor window.
#include "funceditor.h"
#include "funcshow.h"
#include <QLabel>
#include <QPainter>
#include <QTextBlock>

FuncEditor::FuncEditor(QWidget *parent, FuncShow *owner_window)
    : QPlainTextEdit(parent), owner(owner_window)
{
    line_area = new FuncLine(this);
    saved = true;
    connect(this, &QPlainTextEdit::blockCountChanged, this, &FuncEditor::updateLineNumberAreaWidth);
    connect(this, &QPlainTextEdit::updateRequest, this, &FuncEditor::updateLineNumberArea);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &FuncEditor::highlightCurrentLine);
    connect(this, &QPlainTextEdit::textChanged, this, &FuncEditor::updateTextArea);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &FuncEditor::updateCoursePosition);
    updateLineNumberAreaWidth();
    highlightCurrentLine();
}

FuncEditor::~FuncEditor()
{
    // The base class still emits while it tears the document down.
    disconnect(this, nullptr, this, nullptr);
    owner = nullptr;
}

int FuncEditor::line_number_area_width()
{
    int digits = 1;
    for (int n = std::max(1, blockCount()); n >= 10; n /= 10) digits++;
    digits = std::max(digits, 2);
    return digits * fontMetrics().horizontalAdvance(QLatin1Char('0'));
}

void FuncEditor::clear_editor_text()
{
    setPlainText(QString());
    saved = true;
}

void FuncEditor::updateLineNumberAreaWidth()
{
    setViewportMargins(line_number_area_width(), 0, 0, 0);
}

void FuncEditor::updateLineNumberArea(const QRect &rect, int dy)
{
    if (dy)
        line_area->scroll(0, dy);
    else
        line_area->update(0, rect.y(), line_area->width(), rect.height());
    if (rect.contains(viewport()->rect())) updateLineNumberAreaWidth();
}

void FuncEditor::highlightCurrentLine()
{
    QList<QTextEdit::ExtraSelection> selections;
    if (!isReadOnly()) {
        QTextEdit::ExtraSelection line;
        line.format.setBackground(QColor(235, 235, 255));
        line.format.setProperty(QTextFormat::FullWidthSelection, true);
        line.cursor = textCursor();
        line.cursor.clearSelection();
        selections.append(line);
    }
    setExtraSelections(selections);
}

void FuncEditor::updateTextArea()
{
    if (saved && owner) owner->update_script_window_title(false);
}

void FuncEditor::updateCoursePosition()
{
    if (!owner || !owner->position_status()) return;
    QTextCursor c = textCursor();
    owner->position_status()->setText(QStringLiteral("Ln %1  Col %2")
                                          .arg(c.blockNumber() + 1).arg(c.positionInBlock()));
}

void FuncEditor::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    QRect r = contentsRect();
    line_area->setGeometry(QRect(r.left(), r.top(), line_number_area_width(), r.height()));
}

void FuncEditor::paint_line_numbers(QPaintEvent *event)
{
    QPainter painter(line_area);
    QTextBlock block = firstVisibleBlock();
    int number = block.blockNumber();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top()) {
            painter.setPen(Qt::gray);
            painter.drawText(0, top, line_area->width(), fontMetrics().height(),
                             Qt::AlignLeft, QString::number(number + 1));
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
        number++;
    }
}

FuncLine::FuncLine(FuncEditor *owner_editor) : QWidget(owner_editor), editor(owner_editor) {}
FuncLine::~FuncLine() = default;

QSize FuncLine::sizeHint() const
{
    return QSize(editor->line_number_area_width(), 0);
}

void FuncLine::paintEvent(QPaintEvent *event)
{
    editor->paint_line_numbers(event);
}
