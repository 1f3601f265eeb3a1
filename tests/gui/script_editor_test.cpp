// The script editor window: saved and unsaved states with their titles, the
// three answers of each question, Save's overwrite question, the roads to the
// session (Execute, Next, Load and Copy script, Partial Copy), the symbol
// table dock and the line-number gutter.
#include <QtTest>
#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QScrollBar>
#include <QTextBlock>
#include <QListWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <cstring>
#include "system/startup.h"
#include "mainwindow.h"
#include "funcshow.h"
#include "funceditor.h"
#include "interp.h"
#include "gui_helpers.h"

class ScriptEditorTest : public QObject {
    Q_OBJECT
    QTemporaryDir *dir = nullptr;
    MainWindow *main_window = nullptr;
    FuncShow *f = nullptr;
    QString start_dir;

    QString lib() { return dir->path() + "/ws"; }
    QAction *action(const char *name) { return f->findChild<QAction *>(name); }
    QString last_history() { return main_window->history()->item(main_window->history()->count() - 1)->text(); }
    int history_count() { return main_window->history()->count(); }
    void type(const QString &text) { QTest::keyClicks(f->script_editor(), text); }
    void save_new_as(const QString &path)
    {
        answer_file(path);
        QVERIFY(f->save_script());
    }

private slots:
    void initTestCase()
    {
        start_dir = QDir::currentPath();
        dir = new QTemporaryDir;
        QDir::setCurrent(dir->path());
        QDir().mkdir("ws");
        write_file("path.txt", (lib() + "\n").toUtf8());
        write_file("vek-table.txt", "[Negate]0[-]0[Minus]0[-]\nabc\nx\n[a]0[b]0[c]0[d]0[e]\n");
        main_window = new MainWindow(nullptr);
        start_interpreter();
        main_window->show();
    }
    void cleanupTestCase()
    {
        delete main_window;
        QDir::setCurrent(start_dir);
        delete dir;
    }
    void init()
    {
        f = new FuncShow(nullptr);
        f->show();
    }
    void cleanup() { delete f; }

    void titles_follow_saved_and_unsaved();
    void save_writes_suffix_and_asks_before_overwriting();
    void close_question_three_answers();
    void new_and_open_questions();
    void execute_and_next_send_the_current_line();
    void load_and_copy_script_commands();
    void partial_copy_runs_selection_at_end_of_session();
    void symbol_table_dock_and_file();
    void gutter_width_follows_digit_count();
    void opened_file_is_saved_under_its_own_name();
};

void ScriptEditorTest::titles_follow_saved_and_unsaved()
{
    QCOMPARE(f->windowTitle(), QStringLiteral("Enjoy coding in VEK"));
    QVERIFY(f->script_editor()->saved);
    type("a");
    QCOMPARE(f->windowTitle(), QStringLiteral("* new"));
    QVERIFY(!f->script_editor()->saved);
    f->setWindowTitle("kept");                 // further edits leave the title alone
    type("b");
    QCOMPARE(f->windowTitle(), QStringLiteral("kept"));
    f->reset_scratch();
    QCOMPARE(f->windowTitle(), QStringLiteral("Enjoy coding in VEK"));
    QVERIFY(f->script_editor()->saved);
    QVERIFY(f->script_editor()->toPlainText().isEmpty());
    f->set_script_text("x<-1");
    QCOMPARE(f->windowTitle(), QStringLiteral("* new"));
    save_new_as(lib() + "/t1");
    QCOMPARE(f->windowTitle(), lib() + "/t1.vkp");
    action("actionUndo")->trigger();
    QCOMPARE(f->windowTitle(), "* " + lib() + "/t1.vkp");
    QVERIFY(!f->script_editor()->saved);
    // The status label follows the cursor.
    f->set_script_text("ab\ncde");
    QTextCursor c = f->script_editor()->textCursor();
    c.movePosition(QTextCursor::End);
    f->script_editor()->setTextCursor(c);
    QCOMPARE(f->position_status()->text(), QStringLiteral("Ln 2  Col 3"));
}

void ScriptEditorTest::save_writes_suffix_and_asks_before_overwriting()
{
    write_file(lib() + "/test.vkp", "old\n");
    f->set_script_text("new text\n");
    // The dialog confirms "test"; the file really written is test.vkp, which
    // exists: No leaves it alone and the script unsaved.
    BoxSeen box;
    answer_file(lib() + "/test", [&box] { answer_box(&box, QMessageBox::No); });
    QVERIFY(!f->save_script());
    QVERIFY(box.shown);
    QCOMPARE(file_bytes(lib() + "/test.vkp"), QByteArray("old\n"));
    QVERIFY(!f->script_editor()->saved);
    QVERIFY(f->path().isEmpty());

    box = BoxSeen();
    answer_file(lib() + "/test", [&box] { answer_box(&box, QMessageBox::Yes); });
    QVERIFY(f->save_script());
    QVERIFY(box.shown);
    QCOMPARE(file_bytes(lib() + "/test.vkp"), QByteArray("new text\n"));
    QCOMPARE(f->path(), lib() + "/test.vkp");

    // A '.' in a directory name does not stand for the file's suffix.
    QDir().mkdir("my.dir");
    f->reset_scratch();
    f->set_script_text("y");
    save_new_as(dir->path() + "/my.dir/test");
    QVERIFY(QFile::exists("my.dir/test.vkp"));

    // An unwritable target: the box, the path forgotten, still unsaved.
    f->set_script_text("z");
    QDir().mkdir("blocked.vkp");
    BoxSeen error;
    BoxSeen replace;
    answer_file(dir->path() + "/blocked", [&replace, &error] {
        answer_box(&replace, QMessageBox::Yes);
        QTimer::singleShot(50, [&error] { answer_box(&error, QMessageBox::Ok); });
    });
    action("actionSave_As")->trigger();
    QVERIFY(replace.shown);
    QCOMPARE(error.title, QStringLiteral("Error"));
    QCOMPARE(error.text, QStringLiteral("Error in saving file."));
    QVERIFY(f->path().isEmpty());
    QVERIFY(!f->script_editor()->saved);
}

void ScriptEditorTest::close_question_three_answers()
{
    f->set_script_text("keep me");
    BoxSeen box;
    answer_box(&box, QMessageBox::Cancel);
    QVERIFY(!f->close());
    QCOMPARE(box.title, QStringLiteral("Close VEK"));
    QCOMPARE(box.text, QStringLiteral("Closing without saving?"));
    QVERIFY(f->isVisible());

    // No, then the save dialog cancelled: still open with its text.
    answer_dialog([&box](QWidget *d) {
        qobject_cast<QMessageBox *>(d)->button(QMessageBox::No)->click();
        answer_file(QString());
    });
    QVERIFY(!f->close());
    QVERIFY(f->isVisible());
    QCOMPARE(f->script_editor()->toPlainText(), QStringLiteral("keep me"));

    // No, then saved: closes, file written.
    answer_dialog([this](QWidget *d) {
        qobject_cast<QMessageBox *>(d)->button(QMessageBox::No)->click();
        answer_file(lib() + "/closing");
    });
    QVERIFY(f->close());
    QCOMPARE(file_bytes(lib() + "/closing.vkp"), QByteArray("keep me"));

    f->show();
    f->set_script_text("drop me");
    answer_box(&box, QMessageBox::Yes);
    QVERIFY(f->close());
    QVERIFY(!f->isVisible());
}

void ScriptEditorTest::new_and_open_questions()
{
    f->set_script_text("scratch");
    BoxSeen box;
    answer_dialog([&box](QWidget *d) {
        box.title = d->windowTitle();
        box.text = qobject_cast<QMessageBox *>(d)->text();
        qobject_cast<QMessageBox *>(d)->button(QMessageBox::No)->click();
        answer_file(QString());
    });
    action("actionNew")->trigger();
    QCOMPARE(box.title, QStringLiteral("Scratch"));
    QCOMPARE(box.text, QStringLiteral("Discard the cratch?"));
    QCOMPARE(f->script_editor()->toPlainText(), QStringLiteral("scratch"));

    answer_box(&box, QMessageBox::Yes);
    action("actionNew")->trigger();
    QVERIFY(f->script_editor()->toPlainText().isEmpty());
    QCOMPARE(f->windowTitle(), QStringLiteral("Enjoy coding in VEK"));

    // Cancel stops Open before its dialog; Yes goes on to it.
    write_file(lib() + "/opened.vkp", "a<-1\nb<-2\n");
    f->set_script_text("more scratch");
    answer_box(&box, QMessageBox::Cancel);
    action("actionOpen")->trigger();
    QCOMPARE(f->script_editor()->toPlainText(), QStringLiteral("more scratch"));
    answer_dialog([this](QWidget *d) {
        qobject_cast<QMessageBox *>(d)->button(QMessageBox::Yes)->click();
        answer_file(lib() + "/opened.vkp");
    });
    action("actionOpen")->trigger();
    QCOMPARE(f->script_editor()->toPlainText(), QStringLiteral("a<-1\nb<-2\n"));
    QCOMPARE(f->windowTitle(), lib() + "/opened.vkp");
    QVERIFY(f->script_editor()->saved);
}

void ScriptEditorTest::execute_and_next_send_the_current_line()
{
    f->set_script_text("  e1<-1  \n\ne2<-2");
    QTextCursor c = f->script_editor()->textCursor();
    c.movePosition(QTextCursor::Start);
    f->script_editor()->setTextCursor(c);
    int items = history_count();
    action("actionExecute")->trigger();
    QCOMPARE(last_history(), QStringLiteral("e1<-1"));
    action("actionNext")->trigger();                 // e1 again, then on to the empty line
    QCOMPARE(history_count(), items + 2);
    action("actionNext")->trigger();                 // the empty line is sent too
    QCOMPARE(last_history(), QString());
    action("actionNext")->trigger();
    QCOMPARE(last_history(), QStringLiteral("e2<-2"));
    action("actionNext")->trigger();                 // last line: sent again, cursor stays at its end
    QCOMPARE(last_history(), QStringLiteral("e2<-2"));
    QVERIFY(f->script_editor()->textCursor().atEnd());
    QCOMPARE(history_count(), items + 5);
    QVERIFY(main_window->symbols()->findItems("V: e2", Qt::MatchExactly).size() == 1);
}

void ScriptEditorTest::load_and_copy_script_commands()
{
    int items = history_count();
    f->set_script_text("s<-1\n");
    BoxSeen box;
    answer_box(&box, QMessageBox::Ok);
    action("actionLoadScript")->trigger();
    QCOMPARE(box.title, QStringLiteral("File Required"));
    QCOMPARE(history_count(), items);

    save_new_as(lib() + "/s1");
    action("actionLoadScript")->trigger();
    QCOMPARE(last_history(), QStringLiteral(")fload s1"));
    action("actionCopyScript")->trigger();
    QCOMPARE(last_history(), QStringLiteral(")fcopy s1"));

    // A sibling directory named like the library, and a subdirectory of it.
    for (QString where : {dir->path() + "/ws2", lib() + "/sub"}) {
        QDir().mkpath(where);
        f->reset_scratch();
        f->set_script_text("s<-2\n");
        save_new_as(where + "/s1");
        action("actionLoadScript")->trigger();
        QCOMPARE(last_history(), QStringLiteral(")fload '%1/s1.vkp'").arg(where));
    }
}

void ScriptEditorTest::partial_copy_runs_selection_at_end_of_session()
{
    QTextEdit *pane = main_window->session_text_edit();
    QTextCursor inside = pane->textCursor();
    inside.movePosition(QTextCursor::Start);
    pane->setTextCursor(inside);                      // the session cursor stands in an old line
    int items = history_count();
    QByteArray log = file_bytes("cmd.txt");

    f->set_script_text("  pc1<-1\npc2<-2  \npc3<-3");
    QTextCursor c = f->script_editor()->textCursor();
    c.movePosition(QTextCursor::Start);
    c.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor);
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    f->script_editor()->setTextCursor(c);
    action("actionPartial_Copy")->trigger();

    QString text = pane->toPlainText();
    QVERIFY2(text.indexOf("//partial copy\n") > text.lastIndexOf("CLEAR WS"), qPrintable(text));
    QVERIFY(text.endsWith("\n      "));
    QVERIFY(text.indexOf("pc2<-2") > text.indexOf("//partial copy"));
    QVERIFY(!text.contains("pc3"));
    QVERIFY(main_window->symbols()->findItems("V: pc1", Qt::MatchExactly).size() == 1);
    QVERIFY(main_window->symbols()->findItems("V: pc2", Qt::MatchExactly).size() == 1);
    QCOMPARE(history_count(), items);
    QCOMPARE(file_bytes("cmd.txt"), log);

    // Nothing selected: nothing runs.
    QString before = pane->toPlainText();
    c.clearSelection();
    f->script_editor()->setTextCursor(c);
    action("actionPartial_Copy")->trigger();
    QCOMPARE(pane->toPlainText(), before);
}

void ScriptEditorTest::symbol_table_dock_and_file()
{
    QTableWidget *table = f->table_widget();
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(table->columnCount(), 4);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Negate"));
    QCOMPARE(table->item(0, 3)->text(), QStringLiteral("-"));
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("b"));
    QVERIFY(!table->item(1, 1));
    QCOMPARE(table->item(2, 0)->text(), QString());
    QCOMPARE(table->item(3, 3)->text(), QStringLiteral("d"));
    QCOMPARE(symbol_table_cells("[a]0[]0"), QStringList({"a", "", ""}));

    QVERIFY(f->table_dock()->isHidden());
    action("actionPrimitive_Table")->trigger();
    QVERIFY(!f->table_dock()->isHidden());
    QVERIFY(!table->isHidden());
    QCOMPARE(f->table_dock()->width(), 420);
    action("actionPrimitive_Table")->trigger();
    QVERIFY(f->table_dock()->isHidden());

    // Without the file: an empty table and no box.
    QFile::rename("vek-table.txt", "vek-table.off");
    FuncShow bare;
    QCOMPARE(bare.table_widget()->rowCount(), 0);
    QFile::rename("vek-table.off", "vek-table.txt");
}

void ScriptEditorTest::gutter_width_follows_digit_count()
{
    FuncEditor *e = f->script_editor();
    int digit = e->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    QCOMPARE(e->line_number_area_width(), 2 * digit);
    QStringList lines;
    for (int i = 0; i < 99; i++) lines << QString::number(i);
    f->set_script_text(lines.join('\n'));
    QCOMPARE(e->line_number_area_width(), 2 * digit);
    e->appendPlainText("100");
    QCOMPARE(e->blockCount(), 100);
    QCOMPARE(e->line_number_area_width(), 3 * digit);
    QCOMPARE(e->line_area_widget()->sizeHint().width(), 3 * digit);
    // Deleting lines shrinks it back.
    QTextCursor c = e->textCursor();
    c.movePosition(QTextCursor::End);
    c.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    c.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    QCOMPARE(e->line_number_area_width(), 2 * digit);
    // The first visible number follows scrolling.
    e->resize(300, 120);
    e->verticalScrollBar()->setValue(40);
    QCOMPARE(e->cursorForPosition(QPoint(0, 0)).blockNumber(), 40);
    QImage strip = e->line_area_widget()->grab().toImage();
    QVERIFY(!strip.isNull());
    if (qEnvironmentVariableIsSet("VEK_GUI_PICTURES"))
        f->grab().save(qEnvironmentVariable("VEK_GUI_PICTURES") + "/script_editor.png");
}

// A script opened under a name without ".vkp" is saved back to that very
// file, never over a neighbour that carries the suffix.
void ScriptEditorTest::opened_file_is_saved_under_its_own_name()
{
    write_file(lib() + "/notes", "n<-1\n");
    write_file(lib() + "/notes.vkp", "keep<-1\n");
    FuncShow g(nullptr);
    g.show();
    answer_file(lib() + "/notes");
    g.findChild<QAction *>("actionOpen")->trigger();
    QCOMPARE(g.script_editor()->toPlainText(), QStringLiteral("n<-1\n"));
    QTextCursor c = g.script_editor()->textCursor();
    c.movePosition(QTextCursor::End);
    g.script_editor()->setTextCursor(c);
    QTest::keyClicks(g.script_editor(), "n<-2");
    QVERIFY(g.save_script());
    QCOMPARE(file_bytes(lib() + "/notes"), QByteArray("n<-1\nn<-2"));
    QCOMPARE(file_bytes(lib() + "/notes.vkp"), QByteArray("keep<-1\n"));
    QCOMPARE(g.windowTitle(), lib() + "/notes");
}

QTEST_MAIN(ScriptEditorTest)
#include "script_editor_test.moc"
