// The main window driven as a user would: typed lines and the key filter,
// edited old lines, the docks, cmd.txt and path.txt, menu actions and the
// dialogs behind them (answered by the test).
#include <QtTest>
#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QSet>
#include <QUrl>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <cstring>
#include "system/startup.h"
#include "mainwindow.h"
#include "funcshow.h"
#include "funceditor.h"
#include "interp.h"
#include "gui_helpers.h"

// Stands in for the desktop's document viewer.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class MainWindowTest : public QObject {
    Q_OBJECT
    ScratchWorkDir *dir = nullptr;
    MainWindow *w = nullptr;

    QTextEdit *pane() { return w->session_text_edit(); }
    QStringList history()
    {
        QStringList items;
        for (int i = 0; i < w->history()->count(); i++) items << w->history()->item(i)->text();
        return items;
    }
    QStringList symbols()
    {
        QStringList items;
        for (int i = 0; i < w->symbols()->count(); i++) items << w->symbols()->item(i)->text();
        return items;
    }
    QStringList log_lines() { return QString::fromUtf8(file_bytes("cmd.txt")).split('\n'); }
    void type_line(const QString &text)
    {
        QTest::keyClicks(pane(), text);
        QTest::keyClick(pane(), Qt::Key_Return);
    }
    void put_cursor_after(const QString &text)
    {
        QTextCursor c = pane()->document()->find(text);
        QVERIFY2(!c.isNull(), qPrintable(text));
        c.clearSelection();
        pane()->setTextCursor(c);
    }
    QAction *action(const char *name) { return w->findChild<QAction *>(name); }
    void open_window()
    {
        w = new MainWindow(nullptr);
        start_interpreter();
        w->clear_undo_history();
        w->show();
    }

private slots:
    void init()
    {
        dir = new ScratchWorkDir;
        open_window();
    }
    void cleanup()
    {
        QList<FuncShow *> editors;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *f = qobject_cast<FuncShow *>(top)) editors << f;
        qDeleteAll(editors);
        delete w;
        w = nullptr;
        delete dir;
    }

    void typed_lines_run_and_are_logged();
    void edited_old_lines_are_restored_and_run();
    void soft_breaks_do_not_shift_the_edited_line();
    void pane_rewrite_keeps_markup_as_text();
    void output_pieces_may_split_a_character();
    void overlong_line_is_refused_and_not_logged();
    void paste_runs_every_line_but_the_last();
    void menu_and_dock_actions_send_their_commands_once();
    void save_sends_the_name_or_warns();
    void open_dialog_sends_bare_name_or_quoted_path();
    void path_dialog_checks_and_stores_the_directory();
    void keyboard_input_dialog_limits_and_cancel();
    void missing_or_unwritable_files();
    void at_dot_line_opens_a_script_editor();
    void icons_come_from_the_resources();
    void help_documents_have_titles();
};

void MainWindowTest::typed_lines_run_and_are_logged()
{
    QVERIFY(log_lines().first().startsWith("//"));
    QCOMPARE(history().first(), QStringLiteral("list"));
    QCOMPARE(history().last(), log_lines().first());
    type_line("x<-5");
    QCOMPARE(history().last(), QStringLiteral("x<-5"));
    QCOMPARE(log_lines().mid(1), QStringList({"x<-5", ""}));
    QVERIFY(symbols().contains("V: x"));
    QVERIFY(pane()->toPlainText().endsWith("\n      "));
    QVERIFY(!pane()->document()->isUndoAvailable());

    // A prompt alone runs nothing; the whole last line runs wherever the
    // cursor stands in it, without a break at the cursor.
    int before = history().size();
    QTest::keyClick(pane(), Qt::Key_Return);
    QCOMPARE(history().size(), before);
    QTest::keyClicks(pane(), "yy<-6");
    QTextCursor c = pane()->textCursor();
    c.movePosition(QTextCursor::Left, QTextCursor::MoveAnchor, 3);
    pane()->setTextCursor(c);
    QTest::keyClick(pane(), Qt::Key_Return);
    QCOMPARE(history().last(), QStringLiteral("yy<-6"));
    QVERIFY(symbols().contains("V: yy"));
    // Shift+Return runs nothing.
    QTest::keyClicks(pane(), "z<-1");
    QTest::keyClick(pane(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(history().last(), QStringLiteral("yy<-6"));
}

void MainWindowTest::edited_old_lines_are_restored_and_run()
{
    type_line("a<-1");
    type_line("b<-2");
    type_line("c<-3");
    // Edit line c first, then line a; arrows and Shift-typed keys record nothing.
    put_cursor_after("c<-3");
    QTest::keyClick(pane(), Qt::Key_Left);
    QTest::keyClick(pane(), Qt::Key_Right);
    QVERIFY(w->edit_records().isEmpty());
    QTest::keyClicks(pane(), "0");
    put_cursor_after("a<-1");
    QTest::keyClicks(pane(), "1");
    QCOMPARE(w->edit_records().size(), 2);
    put_cursor_after("b<-2");
    QTest::keyClick(pane(), Qt::Key_Home);          // records b although it stays the same
    w->move_cursor_to_end();
    QTest::keyClicks(pane(), "q<-1");                // typed on the last line
    QTest::keyClick(pane(), Qt::Key_Return);

    QString text = pane()->toPlainText();
    QStringList lines = text.split('\n');
    for (const char *old : {"      a<-1", "      b<-2", "      c<-3"})
        QVERIFY2(lines.contains(old), qPrintable(text));
    QCOMPARE(history().mid(history().size() - 4),
             QStringList({"a<-11", "b<-2", "c<-30", "q<-1"}));
    QCOMPARE(log_lines().mid(log_lines().size() - 5), QStringList({"a<-11", "b<-2", "c<-30", "q<-1", ""}));
    QVERIFY(w->edit_records().isEmpty());
    QVERIFY(text.indexOf("a<-11") > text.indexOf("      c<-3\n"));
    QVERIFY(text.indexOf("c<-30") > text.indexOf("a<-11"));
    QVERIFY(symbols().contains("V: q"));
}

void MainWindowTest::soft_breaks_do_not_shift_the_edited_line()
{
    type_line("p<-1");
    type_line("r<-2");
    put_cursor_after("p<-");
    QTest::keyClick(pane(), Qt::Key_Return, Qt::ShiftModifier);   // a soft break inside p's line
    QVERIFY(w->edit_records().isEmpty());
    put_cursor_after("r<-2");
    QTest::keyClicks(pane(), "5");
    QTest::keyClick(pane(), Qt::Key_Return);
    QCOMPARE(history().last(), QStringLiteral("r<-25"));
    QStringList lines = pane()->toPlainText().split('\n');
    QVERIFY2(lines.contains("      r<-2"), qPrintable(lines.join('|')));
    int p = lines.indexOf("      p<-");
    QVERIFY2(p > 0 && lines[p + 1] == "1", qPrintable(lines.join('|')));
}

void MainWindowTest::pane_rewrite_keeps_markup_as_text()
{
    pane()->clear();
    session_print("<b>bold</b>\n      ");
    type_line("m<-1");
    put_cursor_after("m<-1");
    QTest::keyClicks(pane(), "2");
    QTest::keyClick(pane(), Qt::Key_Return);
    QVERIFY(pane()->toPlainText().startsWith("<b>bold</b>\n      m<-1\n"));
    QCOMPARE(history().last(), QStringLiteral("m<-12"));
}

void MainWindowTest::output_pieces_may_split_a_character()
{
    pane()->clear();
    session_print("\xc3");
    session_print("\xa9\xe2\x82");
    session_print("\xac!");
    session_print(nullptr);
    QCOMPARE(pane()->toPlainText(), QString::fromUtf8("\xc3\xa9\xe2\x82\xac!"));
}

void MainWindowTest::overlong_line_is_refused_and_not_logged()
{
    int items = history().size();
    QByteArray log = file_bytes("cmd.txt");
    w->move_cursor_to_end();
    pane()->insertPlainText(QString(4096, 'x'));
    QTest::keyClick(pane(), Qt::Key_Return);
    QCOMPARE(history().size(), items);
    QCOMPARE(file_bytes("cmd.txt"), log);
    QVERIFY(pane()->toPlainText().contains("line refused"));
    QVERIFY(pane()->toPlainText().endsWith("\n      "));
    w->execute_command(QString(2100, QChar(0xe9)), true);         // 4200 bytes
    QCOMPARE(history().size(), items);
    // 4095 bytes still fit.
    w->execute_command(QString(4095, 'y'), true);
    QCOMPARE(history().size(), items + 1);
}

void MainWindowTest::paste_runs_every_line_but_the_last()
{
    QApplication::clipboard()->setText("pa<-1\r\npb<-2\npc");
    QTest::keyClick(pane(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(history().mid(history().size() - 2), QStringList({"pa<-1", "pb<-2"}));
    QVERIFY(pane()->toPlainText().endsWith("pc"));
    QTest::keyClick(pane(), Qt::Key_Return);
    QCOMPARE(history().last(), QStringLiteral("pc"));

    int items = history().size();
    QApplication::clipboard()->setText("");
    action("actionPaste")->trigger();
    QCOMPARE(history().size(), items);
    QApplication::clipboard()->setText("pd<-4\n");
    action("actionPaste")->trigger();
    QCOMPARE(history().size(), items + 1);
    QCOMPARE(history().last(), QStringLiteral("pd<-4"));
}

void MainWindowTest::menu_and_dock_actions_send_their_commands_once()
{
    int items = history().size();
    action("actionNew")->trigger();
    QCOMPARE(history().size(), items + 1);
    QCOMPARE(history().last(), QStringLiteral(")clear"));
    QCOMPARE(log_lines().at(log_lines().size() - 2), QStringLiteral(")clear"));

    // The history's own items run again and are logged again.
    emit w->history()->itemDoubleClicked(w->history()->item(0));
    QCOMPARE(history().last(), QStringLiteral("list"));
    QCOMPARE(history().size(), items + 2);

    // A library file is sent by its bare name only when that name finds it
    // again; a name with a dot of its own goes as the quoted full path.
    w->library()->addItem("plain.vkp");
    emit w->library()->itemDoubleClicked(w->library()->item(w->library()->count() - 1));
    QCOMPARE(history().last(), QStringLiteral(")fload plain"));
    write_file(dir->path() + "/ws/my.lib.vkp", "loaded<-7\n");
    w->library()->addItem("my.lib.vkp");
    emit w->library()->itemDoubleClicked(w->library()->item(w->library()->count() - 1));
    QCOMPARE(history().last(), QStringLiteral(")fload '%1/ws/my.lib.vkp'").arg(dir->path()));
    QVERIFY(symbols().contains(QStringLiteral("V: loaded")));

    type_line("v1<-3");
    QListWidgetItem *item = w->symbols()->findItems("V: v1", Qt::MatchExactly).value(0);
    QVERIFY(item);
    BoxSeen box;
    answer_box(&box, QMessageBox::Ok);
    emit w->symbols()->itemDoubleClicked(item);
    QVERIFY(box.shown);
    QCOMPARE(box.title, QStringLiteral("Variable"));
    QCOMPARE(box.text, QStringLiteral("v1 is clicked"));

    // Help entries open documents by absolute path and send nothing.
    items = history().size();
    for (const char *name : help_document_names) write_file(dir->path() + "/" + name, "%PDF-1.4\n");
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    for (const char *name : {"actionPrimer", "actionVEK_for_kids", "actionSymbol_Table",
                             "actionVEK_Action", "actionVEK_Data"})
        action(name)->trigger();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(catcher.urls.size(), 5);
    for (int i = 0; i < 5; i++)
        QCOMPARE(catcher.urls[i], QUrl::fromLocalFile(dir->path() + "/" + help_document_names[i]));
    QCOMPARE(QSet<QUrl>(catcher.urls.begin(), catcher.urls.end()).size(), 5);
    QCOMPARE(history().size(), items);
    // Where no viewer takes a document (the offscreen platform has none),
    // or it is missing, a box says so.
    BoxSeen refused;
    answer_box(&refused, QMessageBox::Ok);
    action("actionPrimer")->trigger();
    QVERIFY(refused.shown);
    QCOMPARE(refused.title, QStringLiteral("Help"));
    QVERIFY2(refused.text.contains(dir->path() + "/vek-primer.pdf"), qPrintable(refused.text));
    QFile::remove(dir->path() + "/vek-data.pdf");
    BoxSeen missing;
    answer_box(&missing, QMessageBox::Ok);
    action("actionVEK_Data")->trigger();
    QVERIFY(missing.shown);
    QVERIFY2(missing.text.contains(dir->path() + "/vek-data.pdf"), qPrintable(missing.text));
    QCOMPARE(history().size(), items);
    BoxSeen about;
    answer_box(&about, QMessageBox::Ok);
    action("actionAbout_VEK")->trigger();
    QCOMPARE(about.title, QStringLiteral("About VEK"));
    QCOMPARE(history().size(), items);
}

void MainWindowTest::save_sends_the_name_or_warns()
{
    workspace_name[0] = 0;
    int items = history().size();
    BoxSeen box;
    answer_box(&box, QMessageBox::Ok);
    action("actionSave")->trigger();
    QCOMPARE(box.title, QStringLiteral("Empty Workspace Name"));
    QCOMPARE(history().size(), items);

    strcpy(workspace_name, "w1");
    action("actionSave")->trigger();
    QCOMPARE(history().last(), QStringLiteral(")save w1"));
    // A name with a blank would be cut by the command: )save alone keeps it.
    strcpy(workspace_name, "my ws");
    action("actionSave")->trigger();
    QCOMPARE(history().last(), QStringLiteral(")save"));
    workspace_name[0] = 0;
}

void MainWindowTest::open_dialog_sends_bare_name_or_quoted_path()
{
    write_file("ws/ws1.vek", "x");
    QDir().mkdir("other");
    write_file("other/ws1.vek", "x");
    answer_file(dir->path() + "/ws/ws1.vek");
    action("actionOpen")->trigger();
    QCOMPARE(history().last(), QStringLiteral(")load ws1"));
    answer_file(dir->path() + "/other/ws1.vek");
    action("actionOpen")->trigger();
    QCOMPARE(history().last(), QStringLiteral(")load '%1/other/ws1.vek'").arg(dir->path()));

    int items = history().size();
    answer_dialog([](QWidget *d) {
        qobject_cast<QDialog *>(d)->reject();
        // The warning that follows.
        answer_dialog([](QWidget *b) { qobject_cast<QDialog *>(b)->accept(); });
    });
    action("actionOpen")->trigger();
    QCOMPARE(history().size(), items);
}

void MainWindowTest::path_dialog_checks_and_stores_the_directory()
{
    QDir().mkdir("lib2");
    write_file("lib2/b.vkp", "x");
    write_file("lib2/A.vkp", "x");
    write_file("lib2/c.txt", "x");
    QByteArray old_path_file = file_bytes("path.txt");
    QString old_label = w->path_status()->text();

    BoxSeen box;
    answer_dialog([&box](QWidget *d) {
        qobject_cast<QInputDialog *>(d)->setTextValue("no/such/dir");
        qobject_cast<QInputDialog *>(d)->accept();
        answer_box(&box, QMessageBox::Ok);
    });
    action("actionPath")->trigger();
    QCOMPARE(box.title, QStringLiteral("Error Path"));
    QCOMPARE(box.text, QStringLiteral("Please check the path because it is incorrect."));
    QCOMPARE(file_bytes("path.txt"), old_path_file);
    QCOMPARE(w->path_status()->text(), old_label);

    answer_text("lib2", false);
    action("actionPath")->trigger();
    QCOMPARE(file_bytes("path.txt"), old_path_file);

    // An existing directory whose path would not fit the interpreter's buffer.
    QString deep = dir->path() + "/" + QString(60, 'd') + "/" + QString(60, 'e');
    QDir().mkpath(deep);
    answer_dialog([&box, deep](QWidget *d) {
        qobject_cast<QInputDialog *>(d)->setTextValue(deep);
        qobject_cast<QInputDialog *>(d)->accept();
        answer_box(&box, QMessageBox::Ok);
    });
    box = BoxSeen();
    action("actionPath")->trigger();
    QCOMPARE(box.title, QStringLiteral("Error Path"));
    QCOMPARE(file_bytes("path.txt"), old_path_file);

    QString lib = dir->path() + "/lib2";
    answer_text(lib);
    action("actionPath")->trigger();
    QCOMPARE(QString::fromUtf8(library_path), lib);
    QCOMPARE(w->path_status()->text(), "Current Path: " + lib);
    QCOMPARE(file_bytes("path.txt"), lib.toUtf8() + "\n");
    QCOMPARE(w->library()->count(), 2);
    QCOMPARE(w->library()->item(0)->text(), QStringLiteral("A.vkp"));
}

void MainWindowTest::keyboard_input_dialog_limits_and_cancel()
{
    char buffer[INPUT_STRING_SIZE];
    answer_text(QString::fromUtf8("\xc3\xa4\xc3\xb6\xc3\xbc"));
    QCOMPARE(ask_input_string("", buffer, sizeof buffer), int64_t(6));
    QCOMPARE(QByteArray(buffer), QByteArray("\xc3\xa4\xc3\xb6\xc3\xbc"));

    answer_text("typed", false);
    QCOMPARE(ask_input_string("", buffer, sizeof buffer), int64_t(0));
    QCOMPARE(buffer[0], '\0');

    // 3000 two-byte characters: cut at 5118 bytes, never inside a character.
    answer_text(QString(3000, QChar(0xe9)));
    QCOMPARE(ask_input_string("", buffer, sizeof buffer), int64_t(5118));
    QCOMPARE(strlen(buffer), size_t(5118));
    QCOMPARE(QString::fromUtf8(buffer), QString(2559, QChar(0xe9)));
}

void MainWindowTest::missing_or_unwritable_files()
{
    delete w;
    QDir::setCurrent(dir->path());
    QTemporaryDir fresh;
    QDir::setCurrent(fresh.path());
    QDir().mkdir("cmd.txt");                       // cannot be opened as a file
    open_window();
    QCOMPARE(history(), QStringList({"list"}));
    QCOMPARE(QString::fromUtf8(library_path), QDir::cleanPath(fresh.path() + "/../ws"));
    QCOMPARE(w->path_status()->text(), "Current Path: " + QDir::cleanPath(fresh.path() + "/../ws"));
    type_line("n<-1");
    QCOMPARE(history(), QStringList({"list", "n<-1"}));

    // An unwritable path.txt leaves the change for this run only.
    QDir().mkdir("path.txt");
    answer_text(fresh.path());
    action("actionPath")->trigger();
    QCOMPARE(QString::fromUtf8(library_path), fresh.path());
    QDir::setCurrent(dir->path());
}

void MainWindowTest::at_dot_line_opens_a_script_editor()
{
    type_line("@.f x");
    FuncShow *editor = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *f = qobject_cast<FuncShow *>(top)) editor = f;
    QVERIFY(editor);
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->script_editor()->toPlainText(), QStringLiteral("@.f x"));
    QCOMPARE(editor->windowTitle(), QStringLiteral("* new"));
    QVERIFY(!editor->script_editor()->saved);
    if (qEnvironmentVariableIsSet("VEK_GUI_PICTURES")) {
        w->grab().save(qEnvironmentVariable("VEK_GUI_PICTURES") + "/main.png");
        editor->grab().save(qEnvironmentVariable("VEK_GUI_PICTURES") + "/editor.png");
    }
}

void MainWindowTest::icons_come_from_the_resources()
{
    QVERIFY(!w->windowIcon().pixmap(16).isNull());
    FuncShow editor;
    int with_icons = 0;
    for (QObject *window : {static_cast<QObject *>(w), static_cast<QObject *>(&editor)}) {
        for (QAction *a : window->findChildren<QAction *>()) {
            if (a->icon().isNull()) continue;
            QVERIFY2(!a->icon().pixmap(16).isNull(), qPrintable(a->objectName()));
            with_icons++;
        }
    }
    QCOMPARE(with_icons, 8 + 14);
    // The editor's button has an icon of its own, not the table's.
    QImage editor_icon = action("actionVek_Table")->icon().pixmap(32).toImage();
    QCOMPARE(editor_icon, QIcon(":/newimages/editor.png").pixmap(32).toImage());
    QVERIFY(editor_icon != QIcon(":/images/table.png").pixmap(32).toImage());
}

// Each help document carries its title, which a viewer shows.
void MainWindowTest::help_documents_have_titles()
{
    const char *titles[5] = {"Vek Primer", "Vek for Kids", "Vek Symbol Table", "Vek Actions", "Vek Data"};
    for (int i = 0; i < 5; i++) {
        QByteArray pdf = file_bytes(QStringLiteral(VEK_BINARY_DIR "/") + help_document_names[i]);
        QVERIFY2(!pdf.isEmpty(), help_document_names[i]);
        QByteArray title = "/Title (\xfe\xff";
        for (char c : QByteArray(titles[i])) title += QByteArray(1, 0) + c;
        QVERIFY2(pdf.contains(title + ")"), help_document_names[i]);
    }
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
