// Script editor window.
#include "funcshow.h"
#include "ui_funcshow.h"
#include "funceditor.h"
#include "mainwindow.h"
#include "interp.h"
#include <QCloseEvent>
#include <QDebug>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <vector>

static const char *const script_filter = "Vek Script (*.vkp)";

QStringList symbol_table_cells(const QString &line)
{
    QStringList parts = line.split(QLatin1Char('0'));
    QStringList cells;
    for (int i = 0; i < parts.size() && i < 4; i++)
        cells.append(parts[i].size() >= 2 ? parts[i].mid(1, parts[i].size() - 2) : QString());
    return cells;
}

QString script_file_name(const QString &path)
{
    if (path.isEmpty() || QFileInfo(path).fileName().contains(QLatin1Char('.'))) return path;
    return path + QStringLiteral(".vkp");
}

FuncShow::FuncShow(QWidget *parent) : QMainWindow(parent)
{
    form = new Ui::FuncShow;
    form->setupUi(this);
    editor = new FuncEditor(nullptr, this);
    QFontDatabase::addApplicationFont(QStringLiteral("fonts/cour.ttf"));
    editor->setFont(QFont(QStringLiteral("Courier New"), 11));
    setCentralWidget(editor);
    create_symbol_table_dock();

    position_label = new QLabel(QStringLiteral("Ln 0 Col 0"));
    position_label->setFrameShape(QFrame::Box);
    position_label->setFixedWidth(statusBar()->width());
    statusBar()->addPermanentWidget(position_label);
    statusBar()->showMessage(QStringLiteral("Active"));
    reset_scratch();
    if (session_pane) {
        connect(session_pane, &MainWindow::running_changed, this, &FuncShow::show_session_running);
        show_session_running(session_pane->is_running());
    }
}

// The actions that start lines wait for the running one, greyed, as the
// session window's own do; Next would otherwise move on past a line that
// never ran.
void FuncShow::show_session_running(bool on)
{
    for (QAction *a : {form->actionExecute, form->actionNext, form->actionPartial_Copy, form->actionLoadScript,
                       form->actionCopyScript})
        a->setEnabled(!on);
}

FuncShow::~FuncShow()
{
    // The editor reports to this window: it goes first.
    delete editor;
    editor = nullptr;
    delete form;
}

void FuncShow::create_symbol_table_dock()
{
    symbol_table_dock = new QDockWidget(QStringLiteral("VEK table"), this);
    symbol_table_dock->setAllowedAreas(Qt::RightDockWidgetArea);
    symbol_table_widget = new QTableWidget(symbol_table_dock);
    symbol_table_dock->setWidget(symbol_table_widget);
    addDockWidget(Qt::RightDockWidgetArea, symbol_table_dock);
    symbol_table_dock->setMinimumWidth(420);
    symbol_table_dock->setMaximumWidth(420);
    load_symbol_table();
    symbol_table_widget->hide();
    symbol_table_dock->hide();
}

void FuncShow::load_symbol_table()
{
    table_file_name = QStringLiteral("vek-table.txt");
    QStringList lines;
    QFile file(table_file_name);
    bool readable = file.open(QIODevice::ReadOnly | QIODevice::Text);
    if (readable) {
        while (!file.atEnd()) {
            QString line = QString::fromUtf8(file.readLine());
            if (line.endsWith(QLatin1Char('\n'))) line.chop(1);
            lines.append(line);
        }
    }
    QTableWidget *table = symbol_table_widget;
    table->setRowCount(lines.size());
    table->setColumnCount(4);
    table->verticalHeader()->hide();
    table->setHorizontalHeaderLabels({QStringLiteral("Symbol Name"), QStringLiteral("VEK"),
                                      QStringLiteral("Symbol Name"), QStringLiteral("VEK")});
    const int widths[4] = {150, 50, 150, 50};
    for (int i = 0; i < 4; i++) table->setColumnWidth(i, widths[i]);
    if (!readable) {
        qDebug().noquote() << QStringLiteral("file \"%1\" is not found").arg(table_file_name);
        return;
    }
    for (int r = 0; r < lines.size(); r++) {
        QStringList cells = symbol_table_cells(lines[r]);
        for (int c = 0; c < cells.size(); c++)
            table->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
}

// ---- Text states and titles ------------------------------------------------------

void FuncShow::set_script_text(const QString &text)
{
    editor->setPlainText(text);
    if (editor->saved) update_script_window_title(false);
}

void FuncShow::update_script_window_title(bool saved)
{
    editor->saved = saved;
    QString name = script_path.isEmpty() ? QStringLiteral("new") : script_path;
    setWindowTitle(saved ? name : QStringLiteral("* ") + name);
}

void FuncShow::reset_scratch()
{
    editor->clear_editor_text();
    script_path.clear();
    setWindowTitle(QStringLiteral("Enjoy coding in VEK"));
}

// Yes goes on without saving; No saves first and goes on only when that
// worked; Cancel (or closing the box) stops.
bool FuncShow::may_discard(const QString &title, const QString &text)
{
    if (editor->saved) return true;
    QMessageBox::StandardButton answer = QMessageBox::question(
        this, title, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
        QMessageBox::NoButton);
    if (answer == QMessageBox::Yes) return true;
    if (answer == QMessageBox::No) return save_script();
    return false;
}

void FuncShow::closeEvent(QCloseEvent *event)
{
    if (may_discard(QStringLiteral("Close VEK"), QStringLiteral("Closing without saving?")))
        event->accept();
    else
        event->ignore();
}

// ---- Files --------------------------------------------------------------------------

// The file dialog adds no suffix, so the overwrite question is asked here,
// about the name the script is really written under.
QString FuncShow::choose_save_path(const QString &caption)
{
    QString chosen = QFileDialog::getSaveFileName(this, caption, QString::fromUtf8(library_path),
                                                  QString::fromLatin1(script_filter), nullptr,
                                                  QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) return chosen;
    QString final_name = script_file_name(chosen);
    if (QFileInfo::exists(final_name)) {
        QMessageBox::StandardButton answer = QMessageBox::question(
            this, caption, QStringLiteral("%1 already exists.\nDo you want to replace it?")
                               .arg(QFileInfo(final_name).fileName()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return QString();
    }
    return final_name;
}

bool FuncShow::save_script()
{
    if (editor->saved) return true;
    if (script_path.isEmpty()) {
        QString chosen = choose_save_path(QStringLiteral("Save File"));
        if (chosen.isEmpty()) return false;
        script_path = chosen;
    }
    write_script_file();
    return editor->saved;
}

void FuncShow::write_script_file()
{
    // A file opened under a name without the suffix is written back to
    // itself, not over the neighbour that carries the suffix.
    if (!QFileInfo(script_path).isFile()) script_path = script_file_name(script_path);
    QFile file(script_path);
    QByteArray bytes = editor->toPlainText().toUtf8();
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)
        && file.write(bytes) == bytes.size() && file.flush()) {
        file.close();
        setWindowTitle(script_path);
        editor->saved = true;
        return;
    }
    script_path.clear();
    QMessageBox::warning(this, QStringLiteral("Error"), QStringLiteral("Error in saving file."));
}

void FuncShow::on_actionSave_triggered() { save_script(); }

void FuncShow::on_actionSave_As_triggered()
{
    QString chosen = choose_save_path(QStringLiteral("Save file"));
    if (chosen.isEmpty()) return;
    script_path = chosen;
    write_script_file();
}

void FuncShow::on_actionNew_triggered()
{
    if (may_discard(QStringLiteral("Scratch"), QStringLiteral("Discard the cratch?")))
        reset_scratch();
}

void FuncShow::on_actionOpen_triggered()
{
    if (!may_discard(QStringLiteral("Scratch"), QStringLiteral("Discard the cratch?"))) return;
    QString chosen = QFileDialog::getOpenFileName(this, QStringLiteral("Choose an vkp file"),
                                                  QString::fromUtf8(library_path),
                                                  QString::fromLatin1(script_filter));
    if (chosen.isEmpty()) return;
    QFile file(chosen);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return;
    editor->setPlainText(QString::fromUtf8(file.readAll()));
    script_path = chosen;
    update_script_window_title(true);
}

// ---- Roads to the session ------------------------------------------------------------

void FuncShow::send_script_command(const QString &verb)
{
    if (!editor->saved || script_path.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("File Required"),
            QStringLiteral("<p>Please write & save the script before it is loaded in workspace.</p>"));
        return;
    }
    if (!session_pane) return;
    session_pane->execute_command(file_command(verb, script_path, QString::fromUtf8(library_path),
                                               QStringLiteral("vkp")), true);
}

QString FuncShow::current_line_text(bool advance)
{
    QTextCursor cursor = editor->textCursor();
    QString text = cursor.block().text();
    if (advance) {
        cursor.movePosition(QTextCursor::NextBlock);
        cursor.movePosition(QTextCursor::EndOfBlock);
        editor->setTextCursor(cursor);
    }
    return text.trimmed();
}

void FuncShow::partial_copy_selection()
{
    QString selected = editor->textCursor().selection().toPlainText();
    if (selected.isEmpty()) return;
    auto copy = [&selected] {
        // The output belongs after the last line, not inside an old line
        // that happens to hold the session cursor.
        if (session_pane) session_pane->move_cursor_to_end();
        session_print("//partial copy\r\n");
        QByteArray text = selected.toUtf8();
        run_script_text(text.constData(), text.size());
        session_print("      ");
        if (session_pane) session_pane->refresh_symbol_list();
    };
    // Not while a line runs: the lines would run inside it.
    if (session_pane) session_pane->run_line(copy);
    else copy();
}

void FuncShow::on_actionExecute_triggered()
{
    if (session_pane) session_pane->execute_command(current_line_text(false), true);
}

void FuncShow::on_actionNext_triggered()
{
    if (session_pane) session_pane->execute_command(current_line_text(true), true);
}

void FuncShow::on_actionPartial_Copy_triggered() { partial_copy_selection(); }
void FuncShow::on_actionLoadScript_triggered() { send_script_command(QStringLiteral("fload")); }
void FuncShow::on_actionCopyScript_triggered() { send_script_command(QStringLiteral("fcopy")); }

void FuncShow::on_actionPrimitive_Table_triggered()
{
    // Both follow the dock, so a dock closed by its own button comes back whole.
    bool show = symbol_table_dock->isHidden();
    symbol_table_widget->setVisible(show);
    symbol_table_dock->setVisible(show);
}

void FuncShow::on_actionCopy_triggered() { editor->copy(); }
void FuncShow::on_actionPaste_triggered() { editor->paste(); }
void FuncShow::on_actionCut_triggered() { editor->cut(); }

void FuncShow::on_actionUndo_triggered()
{
    editor->undo();
    update_script_window_title(false);
}

void FuncShow::on_actionRedo_triggered()
{
    editor->redo();
    update_script_window_title(false);
}

void FuncShow::on_actionExit_triggered() { close(); }
void FuncShow::on_actionComment_triggered() {}

void FuncShow::on_actionAbout_VEK_triggered()
{
    QMessageBox::information(this, QStringLiteral("About VEK"),
        QStringLiteral("<h3>IDE Version 0.1</h3>"
                       "<p>Write scripts here, then run them line by line, in part or whole.</p>"));
}
