// The main window "Vek Studio": the session pane through which every line
// reaches the interpreter, its key filter with the tracking of edited old
// lines, the docks, menus, status bar, cmd.txt and path.txt.
#pragma once
#include <QElapsedTimer>
#include <QMainWindow>
#include <QVector>
#include <functional>
#include <memory>
#include "session_lines.h"

class QFile;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QTextDecoder;
namespace Ui { class MainWindow; }

enum { COMMAND_BUFFER_SIZE = 4096, INPUT_STRING_SIZE = 5120 };

// File names of the help documents, in the current directory.
extern const char *const help_document_names[5];

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void session_print_utf8(const char *text);
    void session_insert(const QString &text);
    void move_cursor_to_end();
    void clear_undo_history();
    void execute_command(const QString &text, bool run);
    void refresh_symbol_list();
    void add_symbol_item(char kind, const char *name);
    void paste_text(const QString &text);
    void quit_session();

    // A line runs with the window still answering: it repaints, and the
    // Interrupt action, Escape and Ctrl+Break in the pane stop the
    // statement, but no other line can start until this one ends. run_line
    // does nothing and returns false while another runs.
    bool run_line(const std::function<void()> &work);
    bool is_running() const { return running; }
    void answer_events();

    // For the tests and the script editor.
    class QTextEdit *session_text_edit() const;
    QListWidget *symbols() const { return symbol_list; }
    QListWidget *library() const { return library_list; }
    QListWidget *history() const { return history_list; }
    QLabel *path_status() const { return path_label; }
    QLabel *position_status() const { return position_label; }
    QLabel *active_status() const { return active_label; }
    const QVector<EditRecord> &edit_records() const { return edited_lines; }

signals:
    // A line started (true) or ended (false): the script editors grey
    // their run actions meanwhile.
    void running_changed(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_textEdit_cursorPositionChanged();
    void on_actionVek_Table_triggered();
    void varItemClicked(QListWidgetItem *item);
    void libItemClicked(QListWidgetItem *item);
    void hisItemClicked(QListWidgetItem *item);
    void on_actionCopy_triggered();
    void on_actionPaste_triggered();
    void on_actionCut_triggered();
    void on_actionPath_triggered();
    void on_actionNew_triggered();
    void on_actionOpen_triggered();
    void on_actionSave_triggered();
    void on_actionAbout_VEK_triggered();
    void on_actionPrimer_triggered();
    void on_actionSymbol_Table_triggered();
    void on_actionVEK_Action_triggered();
    void on_actionVEK_Data_triggered();
    void on_actionExit_triggered();
    void on_actionVEK_for_kids_triggered();
    void on_actionInterrupt_triggered();

private:
    void create_status_bar();
    void create_dock_windows();
    void load_command_history(const QString &file);
    void run_typed_line();
    void run_typed_commands();
    bool run_one_command(const QString &text);
    void refuse_long_command();
    void log_command(const QString &text);
    void open_help_document(int which);
    void set_library_path(const QString &path);
    void execute_command_buffer();
    void show_running(bool on);

    Ui::MainWindow *form = nullptr;
    std::unique_ptr<char[]> command_buffer;
    QVector<EditRecord> edited_lines;
    QListWidget *symbol_list = nullptr;
    QListWidget *library_list = nullptr;
    QListWidget *history_list = nullptr;
    QLabel *path_label = nullptr;
    QLabel *version_label = nullptr;
    QLabel *position_label = nullptr;
    QLabel *active_label = nullptr;
    QFile *command_log = nullptr;
    QTextDecoder *output_decoder = nullptr;
    bool running = false;
    bool quit_after_run = false;
    QElapsedTimer since_events;
};

extern MainWindow *session_pane;

// Points the interpreter's front-end hooks at the desktop windows.
void install_desktop_hooks();
