// The 历史记录 dialog over the real main window: two runs over the same files are undone newest
// first back to the files as they were, a file edited since a run is refused with its reason, a
// history folder that cannot be written stops the run with a message box, and the setting turns the
// record off.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "job/ui/JobController.h"
#include "job/ui/RunHistoryDialog.h"
#include "support/WindowFixture.h"

using norvik::test::WindowFixture;

class RunHistoryDialogTest : public QObject {
    Q_OBJECT
private slots:
    void runsAreUndoneNewestFirstWithTheirReasons();
    void historyThatCannotBeWrittenStopsTheRun();
    void historySettingsLoadAndAnOlderFileKeepsTheDefaults();
};

namespace {

void Replace(WindowFixture& f, const QString& find, const QString& replacement) {
    f.w().findText->setPlainText(find);
    f.w().replacementText->setPlainText(replacement);
    f.w().startButton->click();
}

norvik::ui::RunHistoryDialog* OpenHistory(WindowFixture& f) {
    f.w().historyButton->trigger();
    return f.form->job().runHistoryDialog();
}

} // namespace

void RunHistoryDialogTest::runsAreUndoneNewestFirstWithTheirReasons() {
    WindowFixture f;
    f.write(QStringLiteral("a.txt"), "one\r\n");
    f.write(QStringLiteral("b.txt"), "one two\r\n");
    f.addFolder();
    Replace(f, QStringLiteral("one"), QStringLiteral("two"));
    Replace(f, QStringLiteral("two"), QStringLiteral("three"));
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("three\r\n"));

    norvik::ui::RunHistoryDialog* dialog = OpenHistory(f);
    QVERIFY(dialog != nullptr && dialog->isVisible());
    QCOMPARE(dialog->objectName(), QStringLiteral("RunHistoryDialog"));
    QCOMPARE(dialog->runTable()->topLevelItemCount(), 2);
    QCOMPARE(dialog->runTable()->topLevelItem(0)->text(2), QStringLiteral("2")); // files written
    QVERIFY(dialog->runTable()->topLevelItem(0)->text(4).startsWith(QDir::toNativeSeparators(f.data.path())));

    // The newest run: its files go back to what the first run wrote.
    f.platform.yesNoAnswers = {true, true};
    dialog->restoreButton()->click();
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("two\r\n"));
    QCOMPARE(dialog->summaryLabel()->text(), QStringLiteral("成功恢复2个,失败0个"));
    QCOMPARE(dialog->outcomeList()->count(), 2);
    QCOMPARE(dialog->runTable()->topLevelItem(0)->text(1), QStringLiteral("一般替换 (已撤销)")); // put back whole
    QCOMPARE(dialog->runTable()->topLevelItem(1)->text(1), QStringLiteral("一般替换"));

    // The older run, with a file edited since: that one stays and says why, the other is put back
    // and the backups the run made are removed.
    f.write(QStringLiteral("b.txt"), "edited\r\n");
    dialog->chooseRow(1);
    dialog->restoreButton()->click();
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("one\r\n"));
    QCOMPARE(f.read(QStringLiteral("b.txt")), QByteArray("edited\r\n"));
    QVERIFY(!QFile::exists(f.path(QStringLiteral("a.txt.bak"))));
    QCOMPARE(f.read(QStringLiteral("b.txt.bak")), QByteArray("one two\r\n")); // kept with its file
    QCOMPARE(dialog->summaryLabel()->text(), QStringLiteral("成功恢复2个,失败1个"));
    QCOMPARE(dialog->runTable()->topLevelItem(1)->text(1), QStringLiteral("一般替换")); // a file kept as it was
    const QList<QListWidgetItem*> refused =
        dialog->outcomeList()->findItems(QStringLiteral("该次运行之后文件已被改动"), Qt::MatchContains);
    QCOMPARE(refused.size(), 1);
    QVERIFY(refused.front()->text().contains(QStringLiteral("b.txt is Error!!!")));
    QCOMPARE(f.platform.callsOf(QStringLiteral("yesNo")).size(), 2);
    // A No leaves everything as it is.
    f.platform.yesNoAnswers = {false};
    f.write(QStringLiteral("a.txt"), "two\r\n");
    dialog->chooseRow(1);
    dialog->restoreButton()->click();
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("two\r\n"));
    dialog->close();

    // With the record switched off, a run leaves no entry; the menu item opens the same dialog.
    f.form->options().history = false;
    Replace(f, QStringLiteral("two"), QStringLiteral("four"));
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("four\r\n"));
    f.w().historyItem->trigger();
    QCOMPARE(dialog->runTable()->topLevelItemCount(), 2);
}

void RunHistoryDialogTest::historyThatCannotBeWrittenStopsTheRun() {
    WindowFixture f;
    norvik::test::WriteFileBytes(f.exe.filePath(QStringLiteral("history")), "a file where the folder would be");
    f.write(QStringLiteral("a.txt"), "one\r\n");
    f.addFolder();
    Replace(f, QStringLiteral("one"), QStringLiteral("two"));
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("one\r\n"));
    QVERIFY(!QFile::exists(f.path(QStringLiteral("a.txt.bak"))));
    const QStringList messages = f.platform.messages();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages.front().startsWith(QStringLiteral("无法写入运行历史文件夹")));
    QCOMPARE(f.platform.callsOf(QStringLiteral("message")).front().detail, QStringLiteral("error"));
}

void RunHistoryDialogTest::historySettingsLoadAndAnOlderFileKeepsTheDefaults() {
    WindowFixture folders{WindowFixture::ShippedFolders{}};
    folders.store("History", "0");
    folders.store("History_MaxRuns", "7");
    {
        norvik::test::ProgramWindows p(folders.exe.path());
        QVERIFY(p.start());
        QVERIFY(!p.form->options().history);
        QCOMPARE(p.form->options().historyMaxRuns, 7u);
        QCOMPARE(p.form->options().historyMaxBytes, std::uint64_t{1} << 30);
        p.form->options().historyMaxRuns = 9;
        QVERIFY(p.close());
    }
    QCOMPARE(folders.stored("History"), std::string("0"));
    QCOMPARE(folders.stored("History_MaxRuns"), std::string("9"));

    // A settings file from before the history: the keys are missing, and the defaults apply.
    QByteArray older = norvik::test::ReadFileBytes(folders.settingsFile());
    const qsizetype from = older.indexOf("<RunHistory>");
    const qsizetype to = older.indexOf("</RunHistory>");
    QVERIFY(from > 0 && to > from);
    older.remove(from, to + qsizetype(sizeof "</RunHistory>") - 1 - from);
    norvik::test::WriteFileBytes(folders.settingsFile(), older);
    norvik::test::ProgramWindows p(folders.exe.path());
    QVERIFY(p.start());
    QVERIFY(p.platform.messages().isEmpty());
    QVERIFY(p.form->options().history);
    QCOMPARE(p.form->options().historyMaxRuns, 50u);
}

QTEST_MAIN(RunHistoryDialogTest)
#include "RunHistoryDialogTest.moc"
