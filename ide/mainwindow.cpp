// Main window: session pane, key filter, command road, docks, menus,
// status bar and the two small files of the current directory.
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "funcshow.h"
#include "interp.h"
#include "core/interrupt.h"
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCodec>
#include <QTextEdit>
#include <QUrl>
#include <cstdio>
#include <cstring>

static void init_ide_resources() { Q_INIT_RESOURCE(vek); }

MainWindow *session_pane = nullptr;

const char *const help_document_names[5] = {
    "vek-primer.pdf", "vek-for-kids.pdf", "vek-symbols.pdf",
    "vek-actions.pdf", "vek-data.pdf",
};

static const char *const prompt_text = "      ";

// Spacing of the window's rounds of events while a line runs: often enough
// to repaint and read a key, seldom enough to leave a tight loop its speed.
enum { EVENT_SPACING_MS = 30 };

// ---- Interpreter hooks -------------------------------------------------------

static void desktop_session_print(const char *text)
{
    if (session_pane) session_pane->session_print_utf8(text);
    else if (text) fputs(text, stdout);
}

static int64_t desktop_ask_input_string(const char *, char *buffer, int64_t capacity)
{
    if (!buffer || capacity <= 0) return 0;
    buffer[0] = 0;
    bool ok = false;
    QString text = QInputDialog::getText(session_pane, QStringLiteral("Input"),
                                         QStringLiteral("Enter a string:"),
                                         QLineEdit::Normal, QString(), &ok);
    if (!ok || text.isEmpty()) return 0;
    QByteArray bytes = text.toUtf8();
    int limit = int(std::min<int64_t>(capacity - 1, INPUT_STRING_SIZE - 1));
    int n = utf8_prefix_length(bytes, limit);
    memcpy(buffer, bytes.constData(), size_t(n));
    buffer[n] = 0;
    return n;
}

static void desktop_open_script_editor(const char *text)
{
    FuncShow *editor = new FuncShow(nullptr);
    editor->set_script_text(QString::fromUtf8(text ? text : ""));
    editor->show();
}

static void desktop_add_symbol_item(char kind, const char *name)
{
    if (session_pane) session_pane->add_symbol_item(kind, name);
}

static void desktop_answer_events()
{
    if (session_pane) session_pane->answer_events();
}

void install_desktop_hooks()
{
    session_print = desktop_session_print;
    ask_input_string = desktop_ask_input_string;
    open_script_editor_with_text = desktop_open_script_editor;
    add_symbol_item = desktop_add_symbol_item;
    interrupt_poll = desktop_answer_events;
}

static void store_library_path(const QString &path)
{
    QByteArray bytes = path.toUtf8();
    int n = utf8_prefix_length(bytes, LIBRARY_PATH_MAX);
    memcpy(library_path, bytes.constData(), size_t(n));
    library_path[n] = 0;
}

// ---- Construction ---------------------------------------------------------------

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    init_ide_resources();
    form = new Ui::MainWindow;
    form->setupUi(this);
    store_library_path(read_library_path(QStringLiteral("path.txt")));
    command_buffer.reset(new char[COMMAND_BUFFER_SIZE]);
    command_buffer[0] = 0;
    edited_lines.clear();
    output_decoder = QTextCodec::codecForName("UTF-8")->makeDecoder();

    command_log = new QFile(QStringLiteral("cmd.txt"));
    if (command_log->open(QIODevice::WriteOnly | QIODevice::Append))
        log_command(QStringLiteral("//") + QDateTime::currentDateTime().toString(Qt::TextDate));

    create_status_bar();
    QTextEdit *pane = form->textEdit;
    pane->setAcceptRichText(false);
    QPalette palette = pane->palette();
    palette.setColor(QPalette::Active, QPalette::Text, QColor(0, 0, 255));
    palette.setColor(QPalette::Inactive, QPalette::Text, QColor(0, 0, 255));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    pane->setPalette(palette);
    QFontDatabase::addApplicationFont(QStringLiteral("fonts/cour.ttf"));
    pane->setFont(QFont(QStringLiteral("Courier New"), 11));
    pane->installEventFilter(this);
    move_cursor_to_end();
    create_dock_windows();
    load_command_history(QStringLiteral("cmd.txt"));

    session_pane = this;
    install_desktop_hooks();
}

MainWindow::~MainWindow()
{
    if (session_pane == this) session_pane = nullptr;
    // The pane outlives this body; nothing it sends may reach the window now.
    form->textEdit->removeEventFilter(this);
    disconnect(form->textEdit, nullptr, this, nullptr);
    delete form;
    form = nullptr;
    if (command_log) command_log->close();
    delete command_log;
    delete output_decoder;
}

QTextEdit *MainWindow::session_text_edit() const { return form->textEdit; }

void MainWindow::create_status_bar()
{
    path_label = new QLabel(QStringLiteral("Current Path: %1").arg(QString::fromUtf8(library_path)));
    version_label = new QLabel(QStringLiteral("Version[0.3.2t]"));
    position_label = new QLabel(QStringLiteral("Ln 4 Col 7"));
    for (QLabel *l : {path_label, version_label, position_label}) {
        l->setFrameShape(QFrame::Box);
        statusBar()->addPermanentWidget(l);
    }
    version_label->setFixedWidth(125);
    position_label->setFixedWidth(125);
    // A widget, not a message: the hint of a menu item replaces a message
    // for good, while a widget shows again when the hint ends.
    active_label = new QLabel(QStringLiteral("Active"));
    statusBar()->addWidget(active_label);
}

void MainWindow::create_dock_windows()
{
    struct DockSpec { const char *title; QListWidget **list; Qt::DockWidgetAreas areas;
                      void (MainWindow::*slot)(QListWidgetItem *); };
    const DockSpec docks[3] = {
        {"Function and Variable", &symbol_list, Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea,
         &MainWindow::varItemClicked},
        {"Library", &library_list, Qt::AllDockWidgetAreas, &MainWindow::libItemClicked},
        {"Command History", &history_list, Qt::AllDockWidgetAreas, &MainWindow::hisItemClicked},
    };
    for (const DockSpec &d : docks) {
        QDockWidget *dock = new QDockWidget(QString::fromUtf8(d.title), this);
        dock->setAllowedAreas(d.areas);
        QListWidget *list = new QListWidget(dock);
        dock->setWidget(list);
        addDockWidget(Qt::RightDockWidgetArea, dock);
        connect(list, &QListWidget::itemDoubleClicked, this, d.slot);
        *d.list = list;
    }
    library_list->addItems(list_script_files(QString::fromUtf8(library_path)));
}

void MainWindow::load_command_history(const QString &file)
{
    history_list->addItem(QStringLiteral("list"));
    history_list->addItems(read_history_lines(file));
    history_list->scrollToBottom();
}

// ---- Session output ----------------------------------------------------------------

void MainWindow::session_print_utf8(const char *text)
{
    if (!text) return;
    // One decoder for every piece: a UTF-8 sequence may be split between pieces.
    session_insert(output_decoder->toUnicode(text, int(strlen(text))));
}

void MainWindow::session_insert(const QString &text)
{
    if (text.isEmpty()) return;
    // The user may click elsewhere in the pane while a line runs; its
    // output still belongs at the end.
    if (running) move_cursor_to_end();
    form->textEdit->insertPlainText(text);
}

void MainWindow::move_cursor_to_end()
{
    QTextCursor c = form->textEdit->textCursor();
    c.movePosition(QTextCursor::End);
    form->textEdit->setTextCursor(c);
}

void MainWindow::clear_undo_history()
{
    form->textEdit->document()->clearUndoRedoStacks();
}

// ---- Key filter and typed lines ------------------------------------------------------

// X11's key symbol for Break, which Qt passes on without a key code of its own.
enum { X11_BREAK_SYMBOL = 0xff6b };

// Escape, and Ctrl+Break: X11 turns Pause held with Control into Break,
// other systems give Pause with Control or a Cancel key.
static bool is_interrupt_key(const QKeyEvent *key)
{
    switch (key->key()) {
    case Qt::Key_Escape: case Qt::Key_Cancel: return true;
    case Qt::Key_Pause: return key->modifiers() & Qt::ControlModifier;
    case 0: return key->nativeVirtualKey() == X11_BREAK_SYMBOL;
    default: return false;
    }
}

// While a line runs the pane is read-only: moving about and copying work,
// the keys that would start a line do nothing, and the interrupt keys stop
// the statement.
static bool filter_key_while_running(const QKeyEvent *key)
{
    if (is_interrupt_key(key)) {
        request_interrupt();
        return true;
    }
    int k = key->key();
    return k == Qt::Key_Return || k == Qt::Key_Enter ||
           (k == Qt::Key_V && (key->modifiers() & Qt::ControlModifier));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (!form || watched != form->textEdit || event->type() != QEvent::KeyPress) return false;
    QKeyEvent *key = static_cast<QKeyEvent *>(event);
    if (running) return filter_key_while_running(key);
    Qt::KeyboardModifiers mods = key->modifiers();
    if (mods & Qt::ControlModifier) {
        if (key->key() != Qt::Key_V) return false;
        paste_text(QApplication::clipboard()->text());
        return true;
    }
    if (mods & Qt::ShiftModifier) return false;
    switch (key->key()) {
    case Qt::Key_Left: case Qt::Key_Up: case Qt::Key_Right: case Qt::Key_Down:
    case Qt::Key_Shift: case Qt::Key_Control:
        return false;
    case Qt::Key_Return: case Qt::Key_Enter:
        run_typed_line();
        return true;
    default:
        note_edited_line(edited_lines, form->textEdit->toPlainText(),
                         form->textEdit->textCursor().position());
        return false;
    }
}

void MainWindow::run_typed_line()
{
    run_line([this] { run_typed_commands(); });
}

void MainWindow::run_typed_commands()
{
    QTextEdit *pane = form->textEdit;
    TypedLinePlan plan = plan_typed_line(pane->toPlainText(), edited_lines);
    if (plan.rewritten) {
        pane->setPlainText(plan.pane_text);
        move_cursor_to_end();
    }
    for (const QString &command : plan.commands) {
        QString text = command.trimmed();
        if (text.isEmpty()) continue;
        move_cursor_to_end();
        if (plan.rewritten) session_insert(text);
        if (!copy_to_command_buffer(text, command_buffer.get(), COMMAND_BUFFER_SIZE)) {
            refuse_long_command();
            continue;
        }
        session_print("\r\n");
        log_command(text);
        history_list->addItem(text);
        history_list->scrollToBottom();
        execute_command_buffer();
    }
    move_cursor_to_end();
    edited_lines.clear();
    refresh_symbol_list();
    clear_undo_history();
}

void MainWindow::refuse_long_command()
{
    session_insert(QStringLiteral("\r\nline refused: longer than %1 bytes\n")
                       .arg(COMMAND_BUFFER_SIZE - 1));
    session_insert(QString::fromLatin1(prompt_text));
}

void MainWindow::log_command(const QString &text)
{
    if (!command_log || !command_log->isOpen()) return;
    command_log->write(text.toUtf8() + '\n');
    command_log->flush();
}

void MainWindow::execute_command(const QString &text, bool run)
{
    if (running) return;
    move_cursor_to_end();
    session_insert(text);
    if (run) {
        if (!copy_to_command_buffer(text, command_buffer.get(), COMMAND_BUFFER_SIZE)) {
            refuse_long_command();
        } else {
            session_print("\r\n");
            form->textEdit->setFocus();
            run_line([this] {
                execute_command_buffer();
                move_cursor_to_end();
                refresh_symbol_list();
            });
            log_command(text);
            history_list->addItem(text);
            history_list->scrollToBottom();
        }
    }
    clear_undo_history();
}

void MainWindow::paste_text(const QString &text)
{
    if (text.isEmpty()) return;
    QStringList parts = split_paste_text(text);
    for (int i = 0; i < parts.size(); i++)
        execute_command(parts[i], i + 1 < parts.size());
}

void MainWindow::quit_session()
{
    // )off cannot start while a line runs: the line is stopped, and the
    // session ends as soon as it has.
    if (running) {
        quit_after_run = true;
        request_interrupt();
        return;
    }
    execute_command(tr(")off"), true);
}

// ---- Running lines ------------------------------------------------------------------------

bool MainWindow::run_line(const std::function<void()> &work)
{
    if (running) return false;
    clear_interrupt();   // one asked for after the last line stopped is spent
    show_running(true);
    work();
    show_running(false);
    if (quit_after_run) {
        quit_after_run = false;
        quit_session();
    }
    return true;
}

// Each line starts afresh, as in the console: an interrupt stops the line
// it was asked for in, not the ones after it.
void MainWindow::execute_command_buffer()
{
    clear_interrupt();
    execute_input_line(command_buffer.get());
}

void MainWindow::show_running(bool on)
{
    running = on;
    since_events.start();
    form->textEdit->setReadOnly(on);
    form->actionInterrupt->setEnabled(on);
    for (QAction *a : {form->actionNew, form->actionOpen, form->actionSave, form->actionPaste,
                       form->actionPath})
        a->setEnabled(!on);
    library_list->setEnabled(!on);
    history_list->setEnabled(!on);
    emit running_changed(on);
}

// Called at the interpreter's boundaries. Whatever the events do, no line
// starts from them: run_line refuses while this one runs.
void MainWindow::answer_events()
{
    if (!running || since_events.elapsed() < EVENT_SPACING_MS) return;
    QCoreApplication::processEvents();
    since_events.restart();
}

void MainWindow::on_actionInterrupt_triggered()
{
    if (running) request_interrupt();
}

// ---- Name dock ---------------------------------------------------------------------------

void MainWindow::refresh_symbol_list()
{
    if (!symbol_list) return;
    symbol_list->clear();
    list_names("", 'F', 0);
    list_names("", 'V', 0);
}

void MainWindow::add_symbol_item(char kind, const char *name)
{
    if (!symbol_list) return;
    symbol_list->addItem(QStringLiteral("%1: %2").arg(QChar(kind), QString::fromUtf8(name)));
}

// ---- Slots --------------------------------------------------------------------------------

void MainWindow::on_textEdit_cursorPositionChanged()
{
    if (!position_label || !form) return;
    QTextCursor c = form->textEdit->textCursor();
    position_label->setText(QStringLiteral("Ln %1  Col %2")
                                .arg(c.blockNumber() + 1).arg(c.positionInBlock()));
}

void MainWindow::on_actionVek_Table_triggered()
{
    (new FuncShow(nullptr))->show();
}

void MainWindow::varItemClicked(QListWidgetItem *item)
{
    QString text = item->text();
    QString title = text.startsWith(QLatin1String("F:")) ? QStringLiteral("Function")
                                                         : QStringLiteral("Variable");
    QMessageBox::warning(this, title, text.mid(3) + QStringLiteral(" is clicked"));
}

// The same command the script editor sends for a file: the bare name only
// where the interpreter finds this very file again from it.
void MainWindow::libItemClicked(QListWidgetItem *item)
{
    QString library = QString::fromUtf8(library_path);
    execute_command(file_command(QStringLiteral("fload"), QDir(library).filePath(item->text()), library,
                                 QStringLiteral("vkp")),
                    true);
}

void MainWindow::hisItemClicked(QListWidgetItem *item)
{
    execute_command(item->text(), true);
}

void MainWindow::on_actionCopy_triggered() { form->textEdit->copy(); }
void MainWindow::on_actionCut_triggered() { form->textEdit->cut(); }
void MainWindow::on_actionPaste_triggered() { paste_text(QApplication::clipboard()->text()); }
void MainWindow::on_actionNew_triggered() { execute_command(QStringLiteral(")clear"), true); }

void MainWindow::set_library_path(const QString &path)
{
    store_library_path(path);
    library_list->clear();
    library_list->addItems(list_script_files(path));
    path_label->setText(QStringLiteral("Current Path: ") + path);
    write_library_path(QStringLiteral("path.txt"), path);
}

void MainWindow::on_actionPath_triggered()
{
    bool ok = false;
    QString text = QInputDialog::getText(this, QStringLiteral("Workspace path"),
                                         QStringLiteral("Input") + QString(125, QLatin1Char(' ')),
                                         QLineEdit::Normal, QString::fromUtf8(library_path), &ok);
    if (!ok || text.isEmpty()) return;
    if (QDir(text).exists() && text.toUtf8().size() <= LIBRARY_PATH_MAX) {
        set_library_path(text);
    } else {
        QMessageBox::warning(this, QStringLiteral("Error Path"),
                             QStringLiteral("Please check the path because it is incorrect."));
    }
}

void MainWindow::on_actionOpen_triggered()
{
    QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Directory"),
                                                QString::fromUtf8(library_path),
                                                QStringLiteral("Vek (*.vek)"));
    if (path.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Failed"), QString());
        return;
    }
    execute_command(file_command(QStringLiteral("load"), path,
                                 QString::fromUtf8(library_path), QStringLiteral("vek")), true);
}

void MainWindow::on_actionSave_triggered()
{
    QString name = QString::fromUtf8(workspace_name);
    if (name.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Empty Workspace Name"),
                             QStringLiteral("Please give a name to your workspace. For example, )wsid name"));
        return;
    }
    // A name with a blank or quote would be cut by the command parser and
    // save over another file: let )save use the name it already holds.
    if (name.contains(QLatin1Char(' ')) || name.contains(QLatin1Char('\'')))
        execute_command(QStringLiteral(")save"), true);
    else
        execute_command(QStringLiteral(")save ") + name, true);
}

void MainWindow::on_actionAbout_VEK_triggered()
{
    QMessageBox::information(this, QStringLiteral("About VEK"),
        QStringLiteral("<h3>Vek Studio</h3>"
                       "<p>An interactive workspace for the Vek array language: nested lists, "
                       "dictionaries, tables, time types and queries.</p>"
                       "<p>Type a line in the session pane and press Return to run it. "
                       "The Help menu holds the primer and the guides.</p>"));
}

// A document that is missing, or that no viewer takes, is said so: the
// menu would otherwise do nothing visible.
void MainWindow::open_help_document(int which)
{
    QString path = QDir::current().absoluteFilePath(QString::fromUtf8(help_document_names[which]));
    if (!QFileInfo(path).isFile()) {
        QMessageBox::warning(this, QStringLiteral("Help"),
                             QStringLiteral("The help document %1 was not found.").arg(path));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::warning(this, QStringLiteral("Help"),
                             QStringLiteral("The help document %1 could not be opened: "
                                            "no program to show it was found.").arg(path));
}

void MainWindow::on_actionPrimer_triggered() { open_help_document(0); }
void MainWindow::on_actionVEK_for_kids_triggered() { open_help_document(1); }
void MainWindow::on_actionSymbol_Table_triggered() { open_help_document(2); }
void MainWindow::on_actionVEK_Action_triggered() { open_help_document(3); }
void MainWindow::on_actionVEK_Data_triggered() { open_help_document(4); }
void MainWindow::on_actionExit_triggered() { quit_session(); }

void MainWindow::closeEvent(QCloseEvent *event)
{
    quit_session();
    event->accept();
}
