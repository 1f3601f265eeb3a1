// Script editor files: a script opened under a name without ".vkp" is saved
// back to that very file, never over a neighbour that carries the suffix.
#include <QtTest>
#include <QAction>
#include <QTemporaryDir>
#include "mainwindow.h"
#include "funcshow.h"
#include "funceditor.h"
#include "interp.h"
#include "gui_helpers.h"

class ReviewIdeTest : public QObject {
    Q_OBJECT
    QTemporaryDir *dir = nullptr;
    MainWindow *main_window = nullptr;
    QString start_dir;

    QString lib() { return dir->path() + "/ws"; }

private slots:
    void initTestCase()
    {
        start_dir = QDir::currentPath();
        dir = new QTemporaryDir;
        QDir::setCurrent(dir->path());
        QDir().mkdir("ws");
        write_file("path.txt", (lib() + "\n").toUtf8());
        main_window = new MainWindow(nullptr);
        init_interpreter();
    }
    void cleanupTestCase()
    {
        delete main_window;
        QDir::setCurrent(start_dir);
        delete dir;
    }

    void opened_file_is_saved_under_its_own_name();
};

void ReviewIdeTest::opened_file_is_saved_under_its_own_name()
{
    write_file(lib() + "/notes", "n<-1\n");
    write_file(lib() + "/notes.vkp", "keep<-1\n");
    FuncShow f(nullptr);
    f.show();
    answer_file(lib() + "/notes");
    f.findChild<QAction *>("actionOpen")->trigger();
    QCOMPARE(f.script_editor()->toPlainText(), QStringLiteral("n<-1\n"));
    QTextCursor c = f.script_editor()->textCursor();
    c.movePosition(QTextCursor::End);
    f.script_editor()->setTextCursor(c);
    QTest::keyClicks(f.script_editor(), "n<-2");
    QVERIFY(f.save_script());
    QCOMPARE(file_bytes(lib() + "/notes"), QByteArray("n<-1\nn<-2"));
    QCOMPARE(file_bytes(lib() + "/notes.vkp"), QByteArray("keep<-1\n"));
    QCOMPARE(f.windowTitle(), lib() + "/notes");
}

QTEST_MAIN(ReviewIdeTest)
#include "review_ide_test.moc"
