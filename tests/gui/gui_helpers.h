// Helpers shared by the window tests: answering modal dialogs from a timer,
// and a scratch working directory per window.
#pragma once
#include <QApplication>
#include <QDir>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

// Runs act on the next modal dialog as soon as it is shown. An act that
// returns false is tried again on the next tick (file dialogs fill their
// view asynchronously).
inline void answer_dialog_until(std::function<bool(QWidget *)> act)
{
    QTimer *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible()) return;
        if (!act(w)) return;
        timer->stop();
        timer->deleteLater();
    });
    timer->start();
}

inline void answer_dialog(std::function<void(QWidget *)> act)
{
    answer_dialog_until([act](QWidget *w) { act(w); return true; });
}

// Remembers the title and text of a message box and presses a button.
struct BoxSeen {
    QString title, text;
    bool shown = false;
};
inline void answer_box(BoxSeen *seen, QMessageBox::StandardButton button)
{
    answer_dialog([seen, button](QWidget *w) {
        QMessageBox *box = qobject_cast<QMessageBox *>(w);
        if (!box) { w->close(); return; }
        seen->shown = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        QAbstractButton *b = box->button(button);
        if (b) b->click(); else box->reject();
    });
}

inline void answer_text(const QString &text, bool accept = true)
{
    answer_dialog([text, accept](QWidget *w) {
        QInputDialog *d = qobject_cast<QInputDialog *>(w);
        if (!d) { w->close(); return; }
        d->setTextValue(text);
        if (accept) d->accept(); else d->reject();
    });
}

// Picks path in the next file dialog; an empty path cancels it. then, when
// given, is run once the dialog is answered (to answer what follows it).
inline void answer_file(const QString &path, std::function<void()> then = {})
{
    auto tries = std::make_shared<int>(0);
    answer_dialog_until([path, tries, then](QWidget *w) {
        struct Then { std::function<void()> f; ~Then() { if (f) f(); } } after{then};
        QFileDialog *d = qobject_cast<QFileDialog *>(w);
        if (!d) { w->close(); return true; }
        if (path.isEmpty()) { d->reject(); return true; }
        // Typed as a user would: the name field takes a full path.
        QLineEdit *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (name) name->setText(path); else d->selectFile(path);
        QMetaObject::invokeMethod(d, "accept");
        if (d->isVisible() && ++*tries < 200) return false;
        if (d->isVisible()) d->reject();
        return true;
    });
}

inline QByteArray file_bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void write_file(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

// A scratch working directory for one window test, entered while it lives:
// path.txt names its library directory ws/ beside it.
struct ScratchWorkDir {
    QString before = QDir::currentPath();
    QTemporaryDir dir;
    ScratchWorkDir()
    {
        QDir::setCurrent(dir.path());
        QDir().mkdir("ws");
        write_file("path.txt", (dir.path() + "/ws\n").toUtf8());
    }
    ~ScratchWorkDir() { QDir::setCurrent(before); }
    QString path() const { return dir.path(); }
};
