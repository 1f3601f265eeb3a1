// The script editor window: one line-numbered editor, its file commands
// (New, Open, Save, Save As) with the question about unsaved text, and the
// roads from the script to the session (Execute, Next, Load and Copy
// script, Partial Copy), with the symbol-table dock read from vek-table.txt.
#pragma once
#include <QMainWindow>
#include <QStringList>

class FuncEditor;
class QDockWidget;
class QLabel;
class QTableWidget;
namespace Ui { class FuncShow; }

// Cells of one vek-table.txt line: the parts between the digit zeros, at
// most four, each without its first and last character.
QStringList symbol_table_cells(const QString &line);
// The name a script is written under: ".vkp" added when the file name
// (not its directories) has no '.'.
QString script_file_name(const QString &path);

class FuncShow : public QMainWindow {
    Q_OBJECT
public:
    explicit FuncShow(QWidget *parent = nullptr);
    ~FuncShow() override;

    void set_script_text(const QString &text);
    void update_script_window_title(bool saved);
    void reset_scratch();
    bool save_script();
    void write_script_file();
    void send_script_command(const QString &verb);
    QString current_line_text(bool advance);
    void partial_copy_selection();

    FuncEditor *script_editor() const { return editor; }
    QLabel *position_status() const { return position_label; }
    QDockWidget *table_dock() const { return symbol_table_dock; }
    QTableWidget *table_widget() const { return symbol_table_widget; }
    QString path() const { return script_path; }

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void show_session_running(bool on);
    void on_actionPrimitive_Table_triggered();
    void on_actionOpen_triggered();
    void on_actionSave_triggered();
    void on_actionSave_As_triggered();
    void on_actionCopy_triggered();
    void on_actionPaste_triggered();
    void on_actionCut_triggered();
    void on_actionUndo_triggered();
    void on_actionRedo_triggered();
    void on_actionLoadScript_triggered();
    void on_actionCopyScript_triggered();
    void on_actionExit_triggered();
    void on_actionComment_triggered();
    void on_actionAbout_VEK_triggered();
    void on_actionExecute_triggered();
    void on_actionNext_triggered();
    void on_actionPartial_Copy_triggered();
    void on_actionNew_triggered();

private:
    void create_symbol_table_dock();
    void load_symbol_table();
    bool may_discard(const QString &title, const QString &text);
    QString choose_save_path(const QString &caption);

    Ui::FuncShow *form = nullptr;
    FuncEditor *editor = nullptr;
    QDockWidget *symbol_table_dock = nullptr;
    QTableWidget *symbol_table_widget = nullptr;
    QString table_file_name;
    QLabel *position_label = nullptr;
    QString script_path;
};
