// Session pane bookkeeping on plain strings (see session_lines.h).
#include "session_lines.h"
#include "system/library_path.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>

QStringList pane_lines(const QString &plain)
{
    return plain.split(QLatin1Char('\n'));
}

int line_at_position(const QString &plain, int position)
{
    position = std::clamp(position, 0, int(plain.size()));
    return int(plain.left(position).count(QLatin1Char('\n')));
}

bool note_edited_line(QVector<EditRecord> &edits, const QString &plain, int position)
{
    QStringList lines = pane_lines(plain);
    int line = line_at_position(plain, position);
    if (line >= lines.size() - 1) return false;          // the last line is the new one
    for (const EditRecord &e : edits)
        if (e.line == line) return false;
    edits.append({line, int(lines.size()), lines[line]});
    return true;
}

TypedLinePlan plan_typed_line(const QString &plain, const QVector<EditRecord> &edits)
{
    TypedLinePlan plan{{}, false, {}};
    QStringList lines = pane_lines(plain);
    int count = lines.size();
    QVector<EditRecord> order = edits;
    std::stable_sort(order.begin(), order.end(),
                     [](const EditRecord &a, const EditRecord &b) { return a.line < b.line; });
    for (const EditRecord &e : order) {
        if (e.line_count != count || e.line < 0 || e.line >= count - 1) continue;
        plan.commands.append(lines[e.line]);
        lines[e.line] = e.text;
        plan.rewritten = true;
    }
    plan.commands.append(lines.last());
    if (plan.rewritten) {
        lines.removeLast();
        lines.append(QStringLiteral("      "));
        plan.pane_text = lines.join(QLatin1Char('\n'));
    }
    return plan;
}

QStringList split_paste_text(const QString &text)
{
    QStringList parts = text.split(QLatin1Char('\n'));
    for (QString &p : parts)
        if (p.endsWith(QLatin1Char('\r'))) p.chop(1);
    return parts;
}

int utf8_prefix_length(const QByteArray &bytes, int limit)
{
    if (bytes.size() <= limit) return bytes.size();
    int n = std::max(limit, 0);
    // Step back over continuation bytes to the lead byte of the cut sequence.
    while (n > 0 && (uchar(bytes[n]) & 0xC0) == 0x80) n--;
    return n;
}

bool copy_to_command_buffer(const QString &text, char *buffer, int capacity)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > capacity - 1) return false;
    memcpy(buffer, bytes.constData(), size_t(bytes.size()));
    buffer[bytes.size()] = 0;
    return true;
}

static QString canonical_or_clean(const QString &path)
{
    QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : c;
}

bool same_directory(const QString &a, const QString &b)
{
    return canonical_or_clean(a) == canonical_or_clean(b);
}

QString file_command(const QString &verb, const QString &file_path,
                     const QString &library, const QString &default_extension)
{
    QFileInfo info(file_path);
    QString name = info.fileName();
    QString base = name.left(name.lastIndexOf(QLatin1Char('.')));
    // The interpreter turns a bare name into library/name.ext; send it only
    // when that is this very file.
    bool bare = !library.isEmpty() && same_directory(info.absolutePath(), library)
        && name == base + QLatin1Char('.') + default_extension
        && !base.isEmpty() && !base.contains(QLatin1Char('.'))
        && !base.contains(QLatin1Char(' ')) && !base.contains(QLatin1Char('\''));
    if (bare) return QStringLiteral(")%1 %2").arg(verb, base);
    return QStringLiteral(")%1 '%2'").arg(verb, info.absoluteFilePath());
}

QString read_library_path(const QString &file)
{
    return QString::fromStdString(library_path_from_file(file.toLocal8Bit().constData()));
}

bool write_library_path(const QString &file, const QString &path)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QByteArray bytes = path.toUtf8() + '\n';
    bool ok = f.write(bytes) == bytes.size();
    f.close();
    return ok;
}

QStringList list_script_files(const QString &dir)
{
    QStringList names;
    QDirIterator it(dir, QDir::Files);
    while (it.hasNext()) {
        it.next();
        QString name = it.fileName();
        if (name.endsWith(QLatin1String(".vkp"), Qt::CaseSensitive)) names.append(name);
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

QStringList read_history_lines(const QString &file)
{
    QStringList lines;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return lines;
    while (!f.atEnd()) {
        QString line = QString::fromUtf8(f.readLine());
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        lines.append(line);
    }
    return lines;
}
