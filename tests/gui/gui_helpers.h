// Helpers shared by the window tests: answering modal dialogs from a timer,
// and a scratch working directory per window.
#pragma once
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

// Runs act on the next modal dialog as soon as it is shown.
inline void answer_dialog(std::function<void(QWidget *)> act)
{
    QTimer *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget *w = QApplication::activeModalWidget();
        if (getenv("DBG")) fprintf(stderr, "tick %s %d\n", w ? w->metaObject()->className() : "-", w ? w->isVisible() : 0);
        if (!w || !w->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(w);
    });
    timer->start();
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

// Picks path in the next file dialog; an empty path cancels it.
inline void answer_file(const QString &path)
{
    answer_dialog([path](QWidget *w) {
        QFileDialog *d = qobject_cast<QFileDialog *>(w);
        if (!d) { w->close(); return; }
        if (path.isEmpty()) { d->reject(); return; }
        QFileInfo info(path);
        d->setDirectory(info.absolutePath());
        d->selectFile(info.fileName());
        QMetaObject::invokeMethod(d, "accept");
        if (d->isVisible()) d->reject();      // never leave a test waiting
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
