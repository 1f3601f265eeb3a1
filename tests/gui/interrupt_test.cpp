// A statement that never ends, stopped from the window while it runs: the
// window answers meanwhile, starts no other line (a script editor's run
// actions are greyed), stops the statement on
// Escape, Ctrl+Break or the Interrupt action with the console's report, and
// the session goes on. Also the status bar's "Active", which menu hints must
// not remove for good.
#include <QtTest>
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTextEdit>
#include <functional>
#include "core/interrupt.h"
#include "system/startup.h"
#include "mainwindow.h"
#include "funcshow.h"
#include "interp.h"
#include "gui_helpers.h"

// What the window showed while the loop ran, seen from inside it.
struct SeenWhileRunning {
    bool running = false, interrupt_enabled = false, read_only = false;
    bool docks_enabled = true, new_enabled = true, editor_runs_enabled = false;
    bool typed_line_started = false, command_started = false;
    QString text_before_key;
};

class InterruptTest : public QObject {
    Q_OBJECT
    ScratchWorkDir *dir = nullptr;
    MainWindow *w = nullptr;
    FuncShow *editor = nullptr;   // a script editor open beside the session

    QTextEdit *pane() { return w->session_text_edit(); }
    QAction *action(const char *name) { return w->findChild<QAction *>(name); }
    QAction *editor_action(const char *name) { return editor->findChild<QAction *>(name); }
    void type_line(const QString &text)
    {
        QTest::keyClicks(pane(), text);
        QTest::keyClick(pane(), Qt::Key_Return);
    }
    // Types the call of an endless loop; once it has run a while, looks at
    // the window, tries to start other lines, then stops it with stop. A
    // stop that does not work is made good after ten seconds, so the test
    // fails instead of hanging.
    SeenWhileRunning run_and_stop(const QString &call, std::function<void()> stop)
    {
        SeenWhileRunning seen;
        QTimer::singleShot(300, w, [&] {
            int history_before = w->history()->count();
            seen.running = w->is_running();
            seen.interrupt_enabled = action("actionInterrupt")->isEnabled();
            seen.read_only = pane()->isReadOnly();
            seen.docks_enabled = w->library()->isEnabled() || w->history()->isEnabled();
            seen.new_enabled = action("actionNew")->isEnabled();
            for (const char *name : {"actionExecute", "actionNext", "actionPartial_Copy"})
                if (editor_action(name)->isEnabled()) seen.editor_runs_enabled = true;
            type_line("x<-1");
            seen.typed_line_started = w->history()->count() != history_before;
            w->execute_command(QStringLiteral("y<-2"), true);
            seen.command_started = w->history()->count() != history_before;
            seen.text_before_key = pane()->toPlainText();
            stop();
        });
        QTimer::singleShot(10000, w, [] { request_interrupt(); });
        QElapsedTimer took;
        took.start();
        type_line(call);
        if (took.elapsed() >= 10000) QTest::qFail("the interrupt did not stop the loop", __FILE__, __LINE__);
        return seen;
    }
    void expect_stopped(const SeenWhileRunning &seen)
    {
        QVERIFY(seen.running);
        QVERIFY(seen.interrupt_enabled);
        QVERIFY(seen.read_only);
        QVERIFY(!seen.docks_enabled);
        QVERIFY(!seen.new_enabled);
        QVERIFY(!seen.editor_runs_enabled);
        QVERIFY(!seen.typed_line_started);
        QVERIFY(!seen.command_started);
        // What the loop printed before the key stays, and nothing typed
        // while it ran reached the pane.
        QVERIFY(seen.text_before_key.endsWith("spin 0\nlooping\n"));
        QVERIFY(!w->is_running());
        QVERIFY(!action("actionInterrupt")->isEnabled());
        QVERIFY(!pane()->isReadOnly());
        QVERIFY(w->library()->isEnabled() && w->history()->isEnabled());
        QVERIFY(editor_action("actionExecute")->isEnabled() && editor_action("actionNext")->isEnabled());
        // The console's report: an empty line, the function line where the
        // loop stopped with a caret under it, the prompt.
        QString text = pane()->toPlainText();
        QString after = text.mid(seen.text_before_key.size());
        QRegularExpression report("^\nspin\\[\\d\\]  (n<-x|while \\(1\\) n<-n\\+1)\n +\\^\n {6}$");
        QVERIFY2(report.match(after).hasMatch(), qPrintable(after));
    }
    // What the line printed, prompt included.
    QString output_of(const QString &line)
    {
        type_line(line);
        QString text = pane()->toPlainText();
        int at = text.lastIndexOf(line + "\n");
        return at < 0 ? text : text.mid(at + line.size() + 1);
    }

private slots:
    void init()
    {
        dir = new ScratchWorkDir;
        w = new MainWindow(nullptr);
        start_interpreter();
        w->show();
        editor = new FuncShow(nullptr);
        type_line("{spin: []<-'looping'; n<-x; while (1) n<-n+1; n}");
    }
    void cleanup()
    {
        delete editor;
        editor = nullptr;
        delete w;
        w = nullptr;
        delete dir;
    }

    void escape_stops_the_loop_and_the_session_goes_on();
    void ctrl_break_and_the_action_stop_it_too();
    void active_comes_back_after_a_menu_hint();
};

void InterruptTest::escape_stops_the_loop_and_the_session_goes_on()
{
    SeenWhileRunning seen = run_and_stop("spin 0", [this] { QTest::keyClick(pane(), Qt::Key_Escape); });
    expect_stopped(seen);
    // The function stays suspended, the workspace can be saved at once, and
    // the next line runs as ever.
    QVERIFY(output_of(")SI").contains(QRegularExpression("^spin\\[\\d\\] [^\n]*\n\\*\n")));
    type_line(")WSID w1");
    QString saved = output_of(")SAVE");
    QVERIFY2(saved.endsWith(" w1\n      "), qPrintable(saved));
    QVERIFY(QFileInfo("ws/w1.vek").isFile());
    QCOMPARE(output_of("1+2"), QStringLiteral("3\n      "));
    // An interrupt asked for between lines does not stop the next one.
    QTest::keyClick(pane(), Qt::Key_Escape);
    action("actionInterrupt")->trigger();
    QCOMPARE(output_of("2+3"), QStringLiteral("5\n      "));
}

void InterruptTest::ctrl_break_and_the_action_stop_it_too()
{
    expect_stopped(run_and_stop("spin 0", [this] {
        QTest::keyClick(pane(), Qt::Key_Pause, Qt::ControlModifier);
    }));
    // As X11 sends Ctrl+Break: no key code, the Break key symbol.
    expect_stopped(run_and_stop("spin 0", [this] {
        QKeyEvent brk(QEvent::KeyPress, 0, Qt::ControlModifier, 0x7f, 0xff6b, 0x4);
        QApplication::sendEvent(pane(), &brk);
    }));
    expect_stopped(run_and_stop("spin 0", [this] { action("actionInterrupt")->trigger(); }));
    QCOMPARE(output_of("1+2"), QStringLiteral("3\n      "));
}

void InterruptTest::active_comes_back_after_a_menu_hint()
{
    QLabel *active = w->active_status();
    QCOMPARE(active->text(), QStringLiteral("Active"));
    QVERIFY(active->isVisible());
    // A menu item's hint, then the empty one sent when the menu closes.
    QStatusTipEvent hint(QStringLiteral("Open a workspace"));
    QApplication::sendEvent(w, &hint);
    QCOMPARE(w->statusBar()->currentMessage(), QStringLiteral("Open a workspace"));
    QStatusTipEvent none{QString()};
    QApplication::sendEvent(w, &none);
    QVERIFY(active->isVisible());
    QCOMPARE(active->text(), QStringLiteral("Active"));
}

QTEST_MAIN(InterruptTest)
#include "interrupt_test.moc"
