// Vek Studio: the desktop program's entry.
#include <cstdio>
#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <clocale>
#include <cstdlib>
#include "system/startup.h"
#include "ide/mainwindow.h"
#include "ide/interp.h"

// Smoke run for the test suite (VEK_SMOKE_SCREENSHOT=file.png): types a line
// into the session pane as keystrokes, saves a picture of the screen and quits.
static void start_smoke_run(MainWindow *window, const QString &picture)
{
    QTimer::singleShot(800, window, [window] {
        QTextEdit *pane = window->session_text_edit();
        pane->setFocus();
        for (QChar ch : QStringLiteral("1+2")) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(pane, &press);
        }
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(pane, &enter);
    });
    QTimer::singleShot(1600, window, [window, picture] {
        QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        if (shot.isNull()) shot = window->grab();
        // The pane's text goes to standard output so the test can check
        // that the line really ran through the interpreter.
        fputs(window->session_text_edit()->toPlainText().toUtf8().constData(), stdout);
        fputs("\n", stdout);
        fflush(stdout);
        QApplication::exit(shot.save(picture) ? 0 : 1);
    });
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Qt sets the locale from the environment; numbers must not follow it.
    setlocale(LC_NUMERIC, "C");
    MainWindow *window = new MainWindow(nullptr);
    session_pane = window;
    start_interpreter();
    window->clear_undo_history();
    window->showMaximized();
    if (const char *picture = getenv("VEK_SMOKE_SCREENSHOT"))
        start_smoke_run(window, QString::fromLocal8Bit(picture));
    return app.exec();
}
