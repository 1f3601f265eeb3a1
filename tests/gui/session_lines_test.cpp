// The session pane's bookkeeping on plain strings: edited old lines and what
// a Return then runs, paste splitting, UTF-8 limits, commands for chosen
// files, path.txt and the library listing.
#include <QtTest>
#include <QTemporaryDir>
#include "session_lines.h"
#include "gui_helpers.h"

class SessionLinesTest : public QObject {
    Q_OBJECT
private slots:
    void edits_restore_old_lines_and_run_in_line_order();
    void stale_and_repeated_records_are_skipped();
    void soft_breaks_count_like_hard_ones();
    void paste_parts_lose_carriage_returns();
    void utf8_limits_never_cut_a_sequence();
    void file_commands_send_bare_names_only_for_library_files();
    void path_file_defaults_and_round_trip();
    void script_listing_is_exact_and_sorted();
};

void SessionLinesTest::edits_restore_old_lines_and_run_in_line_order()
{
    QString pane = QStringLiteral("CLEAR WS\n      a<-1\n      b<-2\n      c<-3\n      d");
    QVector<EditRecord> edits;
    // Line 3 edited first, then line 1; the last line is never recorded.
    QVERIFY(note_edited_line(edits, pane, pane.indexOf("c<-3")));
    QVERIFY(note_edited_line(edits, pane, pane.indexOf("a<-1")));
    QVERIFY(!note_edited_line(edits, pane, pane.size()));
    QVERIFY(!note_edited_line(edits, pane, pane.indexOf("a<-1") + 2));
    QCOMPARE(edits.size(), 2);
    QString edited = pane;
    edited.replace("a<-1", "a<-10").replace("c<-3", "c<-30");
    TypedLinePlan plan = plan_typed_line(edited, edits);
    QCOMPARE(plan.commands, QStringList({"      a<-10", "      c<-30", "      d"}));
    QVERIFY(plan.rewritten);
    QCOMPARE(plan.pane_text, QStringLiteral("CLEAR WS\n      a<-1\n      b<-2\n      c<-3\n      "));

    TypedLinePlan plain = plan_typed_line(pane, {});
    QVERIFY(!plain.rewritten);
    QCOMPARE(plain.commands, QStringList({"      d"}));
}

void SessionLinesTest::stale_and_repeated_records_are_skipped()
{
    QString pane = QStringLiteral("x\ny\nz\n      ");
    QVector<EditRecord> edits;
    note_edited_line(edits, pane, 0);          // x, recorded with 4 lines
    // A merge of x and y leaves three lines: the record no longer fits.
    TypedLinePlan plan = plan_typed_line(QStringLiteral("xy\nz\n      "), edits);
    QVERIFY(!plan.rewritten);
    QCOMPARE(plan.commands, QStringList({"      "}));
    // A record for a line that has become the last one is never run twice.
    QVector<EditRecord> odd{{2, 3, "old"}};
    plan = plan_typed_line(QStringLiteral("a\nb\nc"), odd);
    QCOMPARE(plan.commands, QStringList({"c"}));
}

void SessionLinesTest::soft_breaks_count_like_hard_ones()
{
    // QTextEdit's plain text turns a Shift+Return soft break into '\n'; the
    // recorded number must count it too, or the edit below runs one line off.
    QString pane = QStringLiteral("      p<-1\n      q\n<-2\n      r<-3\n      ");
    QVector<EditRecord> edits;
    note_edited_line(edits, pane, pane.indexOf("r<-3"));
    QCOMPARE(edits[0].line, 3);
    QCOMPARE(edits[0].text, QStringLiteral("      r<-3"));
    QString edited = pane;
    edited.replace("r<-3", "r<-4");
    TypedLinePlan plan = plan_typed_line(edited, edits);
    QCOMPARE(plan.commands.first(), QStringLiteral("      r<-4"));
    QVERIFY(plan.pane_text.contains("      r<-3\n"));
    QVERIFY(plan.pane_text.contains("      q\n<-2\n"));
}

void SessionLinesTest::paste_parts_lose_carriage_returns()
{
    QCOMPARE(split_paste_text("a\r\nb\r\nc"), QStringList({"a", "b", "c"}));
    QCOMPARE(split_paste_text("a\n"), QStringList({"a", ""}));
    QCOMPARE(split_paste_text("x\r"), QStringList({"x"}));
}

void SessionLinesTest::utf8_limits_never_cut_a_sequence()
{
    QByteArray e = QString::fromUtf8("\xc3\xa9").toUtf8();      // two bytes
    QByteArray text = e.repeated(10);
    QCOMPARE(utf8_prefix_length(text, 20), 20);
    QCOMPARE(utf8_prefix_length(text, 19), 18);
    QCOMPARE(utf8_prefix_length(QByteArray("\xe2\x82\xac"), 2), 0);
    QCOMPARE(utf8_prefix_length(QByteArray("ab"), 0), 0);

    char buffer[8];
    memset(buffer, 'z', sizeof buffer);
    QVERIFY(copy_to_command_buffer(QStringLiteral("abcdefg"), buffer, 8));
    QCOMPARE(QByteArray(buffer), QByteArray("abcdefg"));
    memset(buffer, 'z', sizeof buffer);
    QVERIFY(!copy_to_command_buffer(QStringLiteral("abcdefgh"), buffer, 8));
    QCOMPARE(buffer[0], 'z');
    // Four characters but eight bytes: refused too.
    QVERIFY(!copy_to_command_buffer(QString::fromUtf8("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"), buffer, 8));
}

void SessionLinesTest::file_commands_send_bare_names_only_for_library_files()
{
    QTemporaryDir root;
    QString lib = root.path() + "/ws";
    QDir().mkpath(lib);
    QDir().mkpath(lib + "2");
    QDir().mkpath(lib + "/sub");
    QCOMPARE(file_command("load", lib + "/ws1.vek", lib, "vek"), QStringLiteral(")load ws1"));
    QCOMPARE(file_command("load", lib + "/ws1.vek", lib + "/", "vek"), QStringLiteral(")load ws1"));
    // A sibling whose name begins like the library, a subdirectory, another
    // extension and a name holding a '.' all need the full path.
    QCOMPARE(file_command("fload", lib + "2/s.vkp", lib, "vkp"),
             QStringLiteral(")fload '%1'").arg(lib + "2/s.vkp"));
    QCOMPARE(file_command("fload", lib + "/sub/s.vkp", lib, "vkp"),
             QStringLiteral(")fload '%1'").arg(lib + "/sub/s.vkp"));
    QCOMPARE(file_command("fload", lib + "/s.txt", lib, "vkp"),
             QStringLiteral(")fload '%1'").arg(lib + "/s.txt"));
    QCOMPARE(file_command("fcopy", lib + "/my.lib.vkp", lib, "vkp"),
             QStringLiteral(")fcopy '%1'").arg(lib + "/my.lib.vkp"));
    QCOMPARE(file_command("load", lib + "/w 1.vek", lib, "vek"),
             QStringLiteral(")load '%1'").arg(lib + "/w 1.vek"));
}

void SessionLinesTest::path_file_defaults_and_round_trip()
{
    QTemporaryDir dir;
    QString saved = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QString absolute = QDir::cleanPath(dir.path() + "/../ws");
    QCOMPARE(read_library_path("path.txt"), absolute);
    write_file("path.txt", "");
    QCOMPARE(read_library_path("path.txt"), absolute);
    write_file("path.txt", "../ws\nignored\n");
    QCOMPARE(read_library_path("path.txt"), absolute);
    write_file("path.txt", "/data/vek/\n");
    QCOMPARE(read_library_path("path.txt"), QStringLiteral("/data/vek/"));
    write_file("path.txt", "\nsecond\n");
    QCOMPARE(read_library_path("path.txt"), absolute);
    write_file("path.txt", QByteArray("/") + QByteArray(119, 'a') + "\n");
    QCOMPARE(read_library_path("path.txt"), absolute);
    QString accented = QString::fromUtf8("/tmp/\xc3\xa9t\xc3\xa9");
    QVERIFY(write_library_path("path.txt", accented));
    QCOMPARE(file_bytes("path.txt"), accented.toUtf8() + "\n");
    QCOMPARE(read_library_path("path.txt"), accented);
    QDir().mkdir("locked");
    QVERIFY(!write_library_path("locked", "/x"));
    QDir::setCurrent(saved);
}

void SessionLinesTest::script_listing_is_exact_and_sorted()
{
    QTemporaryDir dir;
    for (const char *n : {"beta.vkp", "Alpha.vkp", "gamma.VKP", "delta.vkp.bak", "my.lib.vkp"})
        write_file(dir.path() + "/" + n, "x\n");
    QDir(dir.path()).mkdir("sub.vkp");
    QCOMPARE(list_script_files(dir.path()), QStringList({"Alpha.vkp", "beta.vkp", "my.lib.vkp"}));
    QVERIFY(list_script_files(dir.path() + "/missing").isEmpty());
}

QTEST_MAIN(SessionLinesTest)
#include "session_lines_test.moc"
