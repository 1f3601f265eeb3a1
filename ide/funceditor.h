// The script editor's text widget: a plain-text editor with a line-number
// gutter (FuncLine), the current line highlighted, the cursor position shown
// in the owning window and the saved flag behind the window's title.
#pragma once
#include <QPlainTextEdit>

class FuncShow;
class FuncLine;

class FuncEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    FuncEditor(QWidget *parent, FuncShow *owner);
    ~FuncEditor() override;

    int line_number_area_width();
    void paint_line_numbers(QPaintEvent *event);
    void clear_editor_text();
    FuncLine *line_area_widget() const { return line_area; }

    bool saved = true;

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void updateLineNumberAreaWidth();
    void highlightCurrentLine();
    void updateLineNumberArea(const QRect &rect, int dy);
    void updateTextArea();
    void updateCoursePosition();

private:
    FuncShow *owner = nullptr;
    FuncLine *line_area = nullptr;
};

class FuncLine : public QWidget {
    Q_OBJECT
public:
    explicit FuncLine(FuncEditor *editor);
    ~FuncLine() override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    FuncEditor *editor;
};
