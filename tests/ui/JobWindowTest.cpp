// The batch job in the real main window: Start, Pause, Stop, the close question, the lists, the
// status bar, restore, and what a double click on a list opens.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include "job/JobTexts.h"
#include "job/ui/JobController.h"
#include "job/ui/ListActions.h"
#include "job/ui/PreviewPane.h"
#include "support/WindowFixture.h"

using norvik::test::ListTexts;
using norvik::test::WindowFixture;

namespace {

QByteArray Gbk(const char* bytes) {
    return QByteArray(bytes);
}

QByteArray Utf16WithMark(const QString& text) {
    QByteArray bytes("\xFF\xFE");
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

QString Summary(int rules, int collected, int changed, int written, int failed, int missing) {
    return QStringLiteral("替换规则%1条,共涉及文件%2个,符合替换条件的%3个,成功替换%4个,失败%5个,文件不存在%6个")
        .arg(rules)
        .arg(collected)
        .arg(changed)
        .arg(written)
        .arg(failed)
        .arg(missing);
}

/// Ten files holding "old" in the folder "ten", added as the only target, with old -> 新 typed.
void PrepareTenFiles(WindowFixture& f) {
    for (int i = 0; i < 10; ++i) {
        f.write(QStringLiteral("ten/f%1.txt").arg(i), "old\r\n");
    }
    f.addFolder(QStringLiteral("ten"));
    f.type(f.w().findText, QStringLiteral("old"));
    f.type(f.w().replacementText, QStringLiteral("新"));
    // Each written file shows at once (no batch waits for its sync), so the tests can act between files.
    f.form->options().durableWrites = false;
}

int ChangedOnDisk(const WindowFixture& f) {
    int changed = 0;
    for (int i = 0; i < 10; ++i) {
        changed += f.read(QStringLiteral("ten/f%1.txt").arg(i)) == Gbk("\xD0\xC2\r\n") ? 1 : 0;
    }
    return changed;
}

} // namespace

class JobWindowTest : public QObject {
    Q_OBJECT

private slots:
    void wholeJobOverFourEncodingsThenRestore();
    void typedTextsReachTheCoreAsWorkingText();
    void stopAskedDuringTheFourthFileEndsAfterIt();
    void pauseHoldsTheLoopUntilStop();
    void closeQuestionDuringARun();
    void closingWhileCollectingStopsWithoutAQuestion();
    void firstFailureShowsTheErrorTab();
    void ruleSetThatHasGoneIsReportedWithoutSummary();
    void outputFolderInsideATargetIsRefusedWithAMessage();
    void restoreInOutputFolderModeAndOnAnEmptyList();
    void doubleClickOpensWhatTheRowNames();
    void rowsAppearWhileTheRunIsUnderWay();
    void previewShowsChangesAndRunsTheTickedFiles();
    void outputFolderAmongTheSourcesIsRefusedOnEveryRoute();
    void previewIsDiscardedWhenItsRuleFileChanges();
    void previewDiscardedWhileItFillsStaysEmpty();
    void stopWhileTheTargetsAreCollectedWritesNothing();
    void aRunWithNothingToDoKeepsTheUndo();
};

void JobWindowTest::wholeJobOverFourEncodingsThenRestore() {
    WindowFixture f;
    const auto& w = f.w();
    const QByteArray gbk = Gbk("\xC4\xE3\xBA\xC3 old\r\nold end\r\n");
    const QByteArray utf16 = Utf16WithMark(QStringLiteral("你好 old\r\n"));
    const QByteArray utf8Mark = QByteArray("\xEF\xBB\xBF") + QStringLiteral("你好 old\r\n").toUtf8();
    const QByteArray utf8 = QStringLiteral("old 你好\r\n").toUtf8();
    f.write(QStringLiteral("a_gbk.txt"), gbk);
    f.write(QStringLiteral("b_utf16.txt"), utf16);
    f.write(QStringLiteral("c_utf8mark.txt"), utf8Mark);
    f.write(QStringLiteral("d_utf8.txt"), utf8);
    f.write(QStringLiteral("e_same.txt"), "nothing here\r\n");
    f.write(QStringLiteral("sub/f.txt"), "old\r\n");
    f.write(QStringLiteral("g.dat"), "old\r\n"); // outside the selected types
    f.addFolder();
    QTest::keyClicks(w.findText, QStringLiteral("old"));
    w.replacementText->insertPlainText(QStringLiteral("新"));
    f.w().progressPanel->setText(QStringLiteral("before"));

    w.startButton->click();

    QCOMPARE(f.read(QStringLiteral("a_gbk.txt")), Gbk("\xC4\xE3\xBA\xC3 \xD0\xC2\r\n\xD0\xC2 end\r\n"));
    QCOMPARE(f.read(QStringLiteral("b_utf16.txt")), Utf16WithMark(QStringLiteral("你好 新\r\n")));
    QCOMPARE(f.read(QStringLiteral("c_utf8mark.txt")),
             QByteArray("\xEF\xBB\xBF") + QStringLiteral("你好 新\r\n").toUtf8());
    QCOMPARE(f.read(QStringLiteral("d_utf8.txt")), QStringLiteral("新 你好\r\n").toUtf8());
    QCOMPARE(f.read(QStringLiteral("sub/f.txt")), Gbk("\xD0\xC2\r\n"));
    QCOMPARE(f.read(QStringLiteral("e_same.txt")), QByteArray("nothing here\r\n"));
    QCOMPARE(f.read(QStringLiteral("g.dat")), QByteArray("old\r\n"));
    QCOMPARE(f.read(QStringLiteral("a_gbk.txt.bak")), gbk);
    QCOMPARE(f.read(QStringLiteral("b_utf16.txt.bak")), utf16);
    QVERIFY(!QFile::exists(f.path(QStringLiteral("e_same.txt.bak"))));

    QStringList written = ListTexts(*w.resultList);
    QCOMPARE(written.size(), 5);
    QCOMPARE(w.currentFileLine->text(), written.last()); // in place, the last written path is the last changed source
    written.sort();
    QCOMPARE(written, (QStringList{f.path(QStringLiteral("a_gbk.txt")), f.path(QStringLiteral("b_utf16.txt")),
                                   f.path(QStringLiteral("c_utf8mark.txt")), f.path(QStringLiteral("d_utf8.txt")),
                                   f.path(QStringLiteral("sub/f.txt"))}));
    QCOMPARE(w.errorList->count(), 0);
    QCOMPARE(w.listTabs->currentIndex(), int(norvik::ui::kResultsTab));
    QVERIFY(!w.listTabs->isTabVisible(norvik::ui::kErrorsTab));
    QCOMPARE(f.progress(), QStringLiteral("100%"));
    QCOMPARE(f.summary(), Summary(1, 6, 5, 5, 0, 0));
    QVERIFY(f.elapsed().startsWith(QStringLiteral("耗时")) && f.elapsed().endsWith(QStringLiteral("毫秒")));
    QVERIFY(f.platform.messages().isEmpty());

    w.restoreButton->trigger();
    QCOMPARE(f.platform.messages(), QStringList{QStringLiteral("成功恢复5个")});
    QCOMPARE(f.read(QStringLiteral("a_gbk.txt")), gbk);
    QCOMPARE(f.read(QStringLiteral("b_utf16.txt")), utf16);
    QCOMPARE(f.read(QStringLiteral("c_utf8mark.txt")), utf8Mark);
    QCOMPARE(f.read(QStringLiteral("d_utf8.txt")), utf8);
    QCOMPARE(f.read(QStringLiteral("sub/f.txt")), QByteArray("old\r\n"));
    QVERIFY(QDir(f.data.path()).entryList({QStringLiteral("*.bak")}, QDir::Files).isEmpty());
    QCOMPARE(w.resultList->count(), 5); // the restore leaves the list as it is
    // Alt+B's menu item shares the command; nothing is left to put back.
    w.restoreItem->trigger();
    QCOMPARE(f.platform.messages().last(), QStringLiteral("成功恢复0个"));
}

void JobWindowTest::typedTextsReachTheCoreAsWorkingText() {
    WindowFixture f;
    f.write(QStringLiteral("lines.txt"), Gbk("first\r\nsecond\r\n\xC4\xE3\r\n"));
    f.addFolder();
    // A box gives its lines joined by "\n"; the core needs CR LF to match across an ANSI file's lines.
    f.type(f.w().findText, QStringLiteral("first\nsecond\n你"));
    f.type(f.w().replacementText, QStringLiteral("one"));
    f.form->startRun();
    QCOMPARE(f.read(QStringLiteral("lines.txt")), QByteArray("one\r\n"));

    // A character the code page lacks stops the command before any file is touched or any list changes.
    f.write(QStringLiteral("lines.txt"), "first\r\n");
    f.type(f.w().findText, QStringLiteral("first"));
    f.type(f.w().replacementText, QStringLiteral("\U0001F600"));
    f.platform.clearRecord();
    f.form->startRun();
    QCOMPARE(f.platform.messages(),
             QStringList{QString::fromStdString(norvik::job::UnrepresentableTextText("替换内容"))});
    QCOMPARE(f.read(QStringLiteral("lines.txt")), QByteArray("first\r\n"));
    QCOMPARE(f.w().resultList->count(), 1);
    QCOMPARE(f.platform.processEventsCount, 0);
    // Texts the mode does not use are not judged.
    f.form->switchToFeatureMode();
    f.type(f.w().featureStartText, QStringLiteral("fi"));
    f.type(f.w().featureEndText, QStringLiteral("st"));
    f.type(f.w().featureReplacementText, QStringLiteral("X"));
    f.form->startRun();
    QCOMPARE(f.read(QStringLiteral("lines.txt")), QByteArray("X\r\n"));
}

void JobWindowTest::stopAskedDuringTheFourthFileEndsAfterIt() {
    WindowFixture f;
    PrepareTenFiles(f);
    const auto& w = f.w();
    bool pressed = false;
    // The click lands while the fourth file is in work and is handled at the next pump.
    f.platform.onProcessEvents = [&](int) {
        if (!pressed && w.resultList->count() == 4) {
            pressed = true;
            f.platform.yesNoAnswers = {true};
            w.stopButton->click();
        }
    };
    w.startButton->click();
    QCOMPARE(f.platform.callsOf(QStringLiteral("yesNo")).size(), 1);
    QCOMPARE(f.platform.callsOf(QStringLiteral("yesNo"))[0].text, QStringLiteral("替换进行中,确定要停止替换吗?"));
    QCOMPARE(ChangedOnDisk(f), 4);
    QCOMPARE(f.summary(), Summary(1, 10, 4, 4, 0, 0));
    QVERIFY(f.elapsed().startsWith(QStringLiteral("耗时")));

    // Stop outside a run asks nothing; the next Start runs normally.
    f.platform.onProcessEvents = {};
    f.platform.clearRecord();
    w.stopButton->click();
    QVERIFY(f.platform.calls.isEmpty());
    w.startButton->click();
    QCOMPARE(ChangedOnDisk(f), 10);
    QCOMPARE(f.summary(), Summary(1, 10, 6, 6, 0, 0));
    QVERIFY(f.platform.calls.isEmpty());
}

void JobWindowTest::pauseHoldsTheLoopUntilStop() {
    WindowFixture f;
    PrepareTenFiles(f);
    const auto& w = f.w();
    int pausedAt = 0;
    int writtenDuringPause = -1;
    bool pausedBeforeStop = false;
    f.w().summaryPanel->setText(QStringLiteral("earlier summary"));
    f.platform.onProcessEvents = [&](int call) {
        if (pausedAt == 0 && w.resultList->count() == 2) {
            pausedAt = call;
            w.pauseButton->click();
            // The pause shows: the button stays pressed and the status bar says so; a second press
            // goes on and gives the panel back, a third pauses again.
            QVERIFY(w.pauseButton->isChecked());
            QCOMPARE(f.summary(), QStringLiteral("已暂停,再按暂停继续"));
            w.pauseButton->click();
            QVERIFY(!w.pauseButton->isChecked());
            QCOMPARE(f.summary(), QStringLiteral("earlier summary"));
            w.pauseButton->click();
        } else if (pausedAt != 0 && call == pausedAt + 5) {
            // Five pumps into the pause; No keeps it paused, Yes ends it.
            writtenDuringPause = w.resultList->count();
            f.platform.yesNoAnswers = {false, true};
            w.stopButton->click();
            pausedBeforeStop = f.form->job().engine().flags().paused;
            w.stopButton->click();
        }
    };
    w.startButton->click();
    QCOMPARE(writtenDuringPause, 2);
    QVERIFY(pausedBeforeStop);
    QCOMPARE(ChangedOnDisk(f), 2);
    QCOMPARE(f.summary(), Summary(1, 10, 2, 2, 0, 0));
    QVERIFY(!f.form->job().engine().flags().paused);
    QVERIFY(!w.pauseButton->isChecked()); // the stop ended the pause
    // Pause outside a run does nothing, and does not look pressed.
    w.pauseButton->click();
    QVERIFY(!f.form->job().engine().flags().paused);
    QVERIFY(!w.pauseButton->isChecked());
}

void JobWindowTest::closeQuestionDuringARun() {
    WindowFixture f;
    PrepareTenFiles(f);
    const auto& w = f.w();
    f.form->show();
    bool asked = false;
    f.platform.onProcessEvents = [&](int) {
        if (!asked && w.resultList->count() == 3) {
            asked = true;
            f.platform.yesNoAnswers = {false};
            QVERIFY(!f.form->close());
        }
    };
    w.startButton->click();
    QVERIFY(f.form->isVisible());
    QCOMPARE(ChangedOnDisk(f), 10);
    QCOMPARE(f.platform.callsOf(QStringLiteral("yesNo"))[0].text, QStringLiteral("替换进行中,确定要关闭吗?"));

    // Yes: the run stops after the file in hand and the window closes.
    for (int i = 0; i < 10; ++i) {
        f.write(QStringLiteral("ten/f%1.txt").arg(i), "old\r\n");
    }
    asked = false;
    f.platform.onProcessEvents = [&](int) {
        if (!asked && w.resultList->count() == 3) {
            asked = true;
            f.platform.yesNoAnswers = {true};
            QVERIFY(f.form->close());
        }
    };
    w.startButton->click();
    QVERIFY(!f.form->isVisible());
    QCOMPARE(ChangedOnDisk(f), 3);
    QCOMPARE(f.summary(), Summary(1, 10, 3, 3, 0, 0));
}

void JobWindowTest::closingWhileCollectingStopsWithoutAQuestion() {
    WindowFixture f;
    PrepareTenFiles(f);
    f.form->show();
    bool closed = false;
    f.platform.onProcessEvents = [&](int) {
        const auto& engine = f.form->job().engine();
        if (!closed && engine.isBusy() && !engine.isRunning()) {
            closed = true;
            QVERIFY(f.form->close());
        }
    };
    f.form->startRun();
    QVERIFY(closed);
    QVERIFY(!f.form->isVisible());
    QVERIFY(f.platform.callsOf(QStringLiteral("yesNo")).isEmpty());
    QCOMPARE(ChangedOnDisk(f), 0);
    // Closing an idle window asks nothing either.
    f.form->show();
    QVERIFY(f.form->close());
    QVERIFY(f.platform.callsOf(QStringLiteral("yesNo")).isEmpty());
}

void JobWindowTest::firstFailureShowsTheErrorTab() {
    WindowFixture f;
    const auto& w = f.w();
    f.write(QStringLiteral("a.txt"), "old\r\n");
    f.write(QStringLiteral("b_locked.txt"), "old\r\n");
    f.write(QStringLiteral("c_locked.txt"), "old\r\n");
    for (const char* name : {"b_locked.txt", "c_locked.txt"}) {
        QFile::setPermissions(f.path(QString::fromLatin1(name)), QFile::ReadOwner | QFile::ReadGroup);
    }
    f.addFolder();
    f.type(f.w().findText, QStringLiteral("old"));
    f.type(f.w().replacementText, QStringLiteral("new"));
    w.startButton->click();

    QStringList errors = ListTexts(*w.errorList);
    errors.sort();
    QCOMPARE(errors, (QStringList{f.path(QStringLiteral("b_locked.txt")) + QStringLiteral(" is Error!!!"),
                                  f.path(QStringLiteral("c_locked.txt")) + QStringLiteral(" is Error!!!")}));
    QCOMPARE(w.errorList->model()->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    // The reason is read beside the line, without hovering.
    QCOMPARE(w.errorList->model()->index(0, 0).data().toString(), errors[0] + QStringLiteral("    （只读文件）"));
    // A name with a line break stays one row, its reason in sight.
    w.errorList->rows().append("/t/line\nbreak.txt is Error!!!", false, QStringLiteral("r"));
    w.errorList->rows().publish();
    QCOMPARE(w.errorList->model()->index(2, 0).data().toString(),
             QStringLiteral("/t/line\\nbreak.txt is Error!!!    （r）"));
    w.errorList->rows().removeRow(2);
    QVERIFY(w.listTabs->isTabVisible(norvik::ui::kErrorsTab));
    QCOMPARE(w.listTabs->currentIndex(), int(norvik::ui::kResultsTab)); // shown, not activated
    QCOMPARE(ListTexts(*w.resultList), QStringList{f.path(QStringLiteral("a.txt"))});
    QCOMPARE(f.read(QStringLiteral("b_locked.txt")), QByteArray("old\r\n"));
    QCOMPARE(f.read(QStringLiteral("b_locked.txt.bak")), QByteArray("old\r\n"));
    QCOMPARE(f.summary(), Summary(1, 3, 3, 1, 2, 0));

    // Forced: the next run writes them, and its start hides the error tab again.
    w.forceReadOnlyCheck->setChecked(true);
    w.listTabs->setCurrentIndex(norvik::ui::kErrorsTab);
    w.startButton->click();
    QVERIFY(!w.listTabs->isTabVisible(norvik::ui::kErrorsTab));
    QCOMPARE(w.listTabs->currentIndex(), int(norvik::ui::kResultsTab));
    QCOMPARE(w.errorList->count(), 0);
    QCOMPARE(f.read(QStringLiteral("c_locked.txt")), QByteArray("new\r\n"));
}

void JobWindowTest::ruleSetThatHasGoneIsReportedWithoutSummary() {
    WindowFixture f;
    const auto& w = f.w();
    const QString ruleFile = f.exe.filePath(QStringLiteral("MultiReplace/gone.nrr"));
    norvik::test::WriteFileBytes(ruleFile, "6F6C64;6E6577\r\n");
    f.write(QStringLiteral("a.txt"), "old\r\n");
    f.addFolder();
    w.multipleCheck->setChecked(true);
    w.ruleSetChooser->setCurrentIndex(w.ruleSetChooser->findText(QStringLiteral("gone")));
    w.resultList->rows().append("/previous/run.txt");
    f.w().elapsedPanel->setText(QStringLiteral("earlier time"));
    f.w().summaryPanel->setText(QStringLiteral("earlier summary"));
    QFile::remove(ruleFile);

    w.startButton->click();
    const auto messages = f.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text, QString::fromStdString(norvik::job::RuleFileErrorText(ruleFile.toStdString())));
    QCOMPARE(messages[0].detail, QStringLiteral("error"));
    QCOMPARE(f.summary(), QStringLiteral("earlier summary"));
    QCOMPARE(f.elapsed(), QStringLiteral("earlier time"));
    // Nothing was written: the last run's list, what 恢复 works from, stays.
    QCOMPARE(ListTexts(*w.resultList), QStringList{QStringLiteral("/previous/run.txt")});
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("old\r\n"));
}

void JobWindowTest::outputFolderInsideATargetIsRefusedWithAMessage() {
    WindowFixture f;
    f.write(QStringLiteral("a.txt"), "old\r\n");
    f.write(QStringLiteral("sub/a.txt"), "old\r\n");
    f.addFolder();
    f.type(f.w().findText, QStringLiteral("old"));
    f.type(f.w().replacementText, QStringLiteral("new"));
    f.form->options().outputToFolder = true;
    f.form->options().outputFolder = f.path(QStringLiteral("sub")).toStdString() + "/";
    f.w().startButton->click();
    const auto messages = f.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].detail, QStringLiteral("warning"));
    QCOMPARE(f.read(QStringLiteral("sub/a.txt")), QByteArray("old\r\n"));
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("old\r\n"));
}

void JobWindowTest::restoreInOutputFolderModeAndOnAnEmptyList() {
    WindowFixture f;
    f.form->restoreBackups();
    QCOMPARE(f.platform.messages(), QStringList{QStringLiteral("没有可恢复的文件:结果列表是空的")});
    f.platform.calls.clear();

    f.write(QStringLiteral("a.txt"), "old\r\n");
    f.write(QStringLiteral("a.txt.bak"), "older\r\n");
    f.w().resultList->rows().append(f.path(QStringLiteral("a.txt")).toStdString());
    f.form->options().outputToFolder = true;
    f.form->options().outputFolder = "/srv/out/";
    f.form->restoreBackups();
    QCOMPARE(f.platform.messages(), QStringList{QStringLiteral("文件输出到\"/srv/out/\"没有破坏原文件!,不需恢复")});
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("old\r\n"));
}

void JobWindowTest::doubleClickOpensWhatTheRowNames() {
    WindowFixture f;
    const auto& w = f.w();
    f.write(QStringLiteral("file.txt"), "x");
    QDir().mkpath(f.path(QStringLiteral("folder")));
    const std::string file = f.path(QStringLiteral("file.txt")).toStdString();
    const std::string folder = f.path(QStringLiteral("folder")).toStdString() + "/";
    f.form->addTarget(file);
    f.form->addTarget(folder);
    f.form->addTarget(f.path(QStringLiteral("gone.txt")).toStdString());
    w.targetList->rows().setChecked(0, false); // the tick does not matter

    const auto doubleClick = [](norvik::ui::PathListView* list, int row) {
        list->setCurrentRow(row);
        emit list->doubleClicked(list->model()->index(row, 0));
    };
    doubleClick(w.targetList, 0);
    doubleClick(w.targetList, 1);
    doubleClick(w.targetList, 2);
    w.targetList->clearSelection();
    f.form->openListRow(w.targetList); // no row selected
    const auto opened = f.platform.callsOf(QStringLiteral("openPath"));
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened[0].text, QString::fromStdString(file));
    QCOMPARE(opened[1].text, QString::fromStdString(folder));

    // The hits share the handler; the result list hands its line over as it stands.
    w.hitList->rows().append(file, false);
    doubleClick(w.hitList, 0);
    w.resultList->rows().append("/written/elsewhere.txt");
    f.form->openResultRow(); // nothing selected yet
    doubleClick(w.resultList, 0);
    const auto all = f.platform.callsOf(QStringLiteral("openPath"));
    QCOMPARE(all.size(), 4);
    QCOMPARE(all[2].text, QString::fromStdString(file));
    QCOMPARE(all[3].text, QStringLiteral("/written/elsewhere.txt"));
}

void JobWindowTest::rowsAppearWhileTheRunIsUnderWay() {
    WindowFixture f;
    const auto& w = f.w();
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i) {
        f.write(QStringLiteral("many/f%1.txt").arg(i, 3, 10, QLatin1Char('0')), "old\r\n");
    }
    f.addFolder(QStringLiteral("many"));
    f.type(f.w().findText, QStringLiteral("old"));
    f.type(f.w().replacementText, QStringLiteral("new"));
    f.form->options().durableWrites = false; // each row as its file is written, not a batch at a time
    f.form->resize(800, 600);
    f.form->show();

    // At every pump the rows written so far are in the view, the newest one scrolled into sight, and
    // the percent and Label3 name the file in hand; until the user scrolls away from the end.
    int checkedPumps = 0;
    int scrolledAwayAt = -1;
    bool stayedWhereScrolled = true;
    f.platform.onProcessEvents = [&](int) {
        QApplication::processEvents();
        const int written = w.resultList->count();
        if (written < 20 || written == kFiles) {
            return;
        }
        QCOMPARE(w.resultList->model()->rowCount(), written);
        QCOMPARE(f.progress(), QStringLiteral("%1%").arg(written * 100 / kFiles));
        QCOMPARE(w.currentFileLine->text(), w.resultList->rows().textAt(written - 1));
        const QRect last = w.resultList->visualRect(w.resultList->model()->index(written - 1, 0));
        if (scrolledAwayAt < 0) {
            QVERIFY(w.resultList->viewport()->rect().intersects(last));
            if (written > 100) {
                w.resultList->scrollToTop();
                scrolledAwayAt = written;
            }
        } else if (w.resultList->verticalScrollBar()->value() != 0) {
            stayedWhereScrolled = false;
        }
        ++checkedPumps;
    };
    w.startButton->click();
    for (int i = 0; i < kFiles; i += 37) {
        QCOMPARE(f.read(QStringLiteral("many/f%1.txt").arg(i, 3, 10, QLatin1Char('0'))), QByteArray("new\r\n"));
    }
    QVERIFY(checkedPumps > 200);
    QVERIFY(scrolledAwayAt > 0);
    QVERIFY(stayedWhereScrolled);
    QCOMPARE(w.resultList->model()->rowCount(), kFiles);

    // With the window's own interval, events are pumped a few times a second, not once per file.
    f.platform.onProcessEvents = {};
    f.form->job().setPumpInterval(norvik::ui::JobController::kDefaultPumpInterval);
    f.type(f.w().findText, QStringLiteral("new"));
    f.type(f.w().replacementText, QStringLiteral("old"));
    const int pumpsBefore = f.platform.processEventsCount;
    QElapsedTimer timer;
    timer.start();
    w.startButton->click();
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(w.resultList->model()->rowCount(), kFiles);
    QVERIFY(f.platform.processEventsCount - pumpsBefore <= elapsed / 40 + 2);
}

void JobWindowTest::previewShowsChangesAndRunsTheTickedFiles() {
    WindowFixture f;
    const auto& w = f.w();
    f.write(QStringLiteral("a.txt"), "keep\r\nold\r\n");
    f.write(QStringLiteral("b.txt"), "old \xE6\x96\x87\n"); // UTF-8 "old 文"
    f.write(QStringLiteral("c_locked.txt"), "old\r\n");
    f.write(QStringLiteral("d.txt"), "nothing here\r\n");
    QFile::setPermissions(f.path(QStringLiteral("c_locked.txt")), QFile::ReadOwner);
    f.addFolder();
    f.type(f.w().findText, QStringLiteral("old"));
    f.type(f.w().replacementText, QStringLiteral("new"));
    w.resultList->rows().append("/previous/run.txt");

    w.previewButton->click();
    // Regression: the target row added just before is shown to the views later; that must not
    // discard the preview made with it.
    QCoreApplication::processEvents();
    QVERIFY(w.listTabs->isTabVisible(norvik::ui::kPreviewTab));
    QCOMPARE(w.listTabs->currentIndex(), int(norvik::ui::kPreviewTab));
    norvik::ui::PreviewModel& rows = w.previewPane->model();
    QCOMPARE(rows.rowCount(), 3);
    QStringList shown;
    for (int i = 0; i < rows.rowCount(); ++i) {
        shown << rows.index(i).data().toString();
    }
    shown.sort();
    QCOMPARE(shown, (QStringList{f.path(QStringLiteral("a.txt")) + QStringLiteral("    (1处)"),
                                 f.path(QStringLiteral("b.txt")) + QStringLiteral("    (1处)"),
                                 f.path(QStringLiteral("c_locked.txt")) + QStringLiteral("    只读文件")}));
    // Nothing was written, and the summary says what would be; the last run's list (what restore
    // works from) stays.
    QCOMPARE(f.summary(), QStringLiteral("预览(未写入任何文件):替换规则1条,共涉及文件4个,符合替换条件的3个,"
                                         "将替换2个,预计失败1个,文件不存在0个"));
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("keep\r\nold\r\n"));
    QCOMPARE(ListTexts(*w.resultList), QStringList{QStringLiteral("/previous/run.txt")});

    // Selecting a file shows its lines before and after, decoded from its own encoding.
    const auto rowOf = [&](const QString& name) {
        for (int i = 0; i < rows.size(); ++i) {
            if (rows.row(i).text == f.path(name)) {
                return i;
            }
        }
        return -1;
    };
    w.previewPane->list()->setCurrentIndex(rows.index(rowOf(QStringLiteral("b.txt"))));
    const QString change = w.previewPane->view()->toPlainText();
    QVERIFY2(change.contains(QStringLiteral("- old 文")) && change.contains(QStringLiteral("+ new 文")),
             qPrintable(change));
    QVERIFY(change.contains(QStringLiteral("UTF-8")));
    // A failure row shown next is plain: the bold of the change's header does not carry over.
    w.previewPane->list()->setCurrentIndex(rows.index(rowOf(QStringLiteral("c_locked.txt"))));
    QTextCursor reason(w.previewPane->view()->document());
    reason.movePosition(QTextCursor::End);
    QVERIFY(w.previewPane->view()->toPlainText().endsWith(QStringLiteral("只读文件")));
    QCOMPARE(reason.charFormat().fontWeight(), int(QFont::Normal));

    // The list's pop-up flips or sets the ticks of the files; a failure never gets one.
    QCOMPARE(w.previewPane->list()->contextMenuPolicy(), Qt::CustomContextMenu);
    w.invertPreviewItem->trigger();
    QVERIFY(!rows.row(rowOf(QStringLiteral("a.txt"))).checked && !rows.row(rowOf(QStringLiteral("b.txt"))).checked);
    w.checkAllPreviewItem->trigger();
    QVERIFY(rows.row(rowOf(QStringLiteral("a.txt"))).checked && rows.row(rowOf(QStringLiteral("b.txt"))).checked);
    QVERIFY(!rows.index(rowOf(QStringLiteral("c_locked.txt"))).data(Qt::CheckStateRole).isValid());

    // Replace the ticked: only a.txt; the preview is then discarded.
    rows.setChecked(rowOf(QStringLiteral("b.txt")), false);
    w.runPreviewButton->click();
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("keep\r\nnew\r\n"));
    QCOMPARE(f.read(QStringLiteral("b.txt")), QByteArray("old \xE6\x96\x87\n"));
    QCOMPARE(f.read(QStringLiteral("c_locked.txt")), QByteArray("old\r\n"));
    QCOMPARE(ListTexts(*w.resultList), QStringList{f.path(QStringLiteral("a.txt"))});
    QVERIFY(w.previewPane->isEmpty());

    // A preview is discarded when an option changes.
    w.previewButton->click();
    QCOMPARE(rows.rowCount(), 2);
    w.caseSensitiveCheck->toggle();
    QVERIFY(w.previewPane->isEmpty());
    w.previewButton->click();
    f.type(f.w().replacementText, QStringLiteral("newer"));
    QVERIFY(w.previewPane->isEmpty());
}

// A preview made, then the output folder moved into a target (as the configuration dialog does): 替换所选
// wrote a.txt's copy over sub/a.txt, a file the run did not even hold. Every route passes one preflight.
void JobWindowTest::outputFolderAmongTheSourcesIsRefusedOnEveryRoute() {
    WindowFixture f;
    const auto& w = f.w();
    f.write(QStringLiteral("a.txt"), "old\r\n");
    f.write(QStringLiteral("sub/a.txt"), "mine\r\n");
    f.addFolder();
    f.type(w.findText, QStringLiteral("old"));
    f.type(w.replacementText, QStringLiteral("new"));
    w.previewButton->click();
    QCOMPARE(w.previewPane->model().rowCount(), 1);
    f.form->options().outputToFolder = true;
    f.form->options().outputFolder = f.path(QStringLiteral("sub")).toStdString() + "/";
    w.runPreviewButton->click();
    QVERIFY(w.previewPane->isEmpty());
    QCOMPARE(f.read(QStringLiteral("sub/a.txt")), QByteArray("mine\r\n"));

    // Ticked search hits pass the same check, and so does a preview made now.
    f.type(w.searchText, QStringLiteral("old"));
    f.form->job().searchTargets();
    QCOMPARE(w.hitList->count(), 1);
    w.listTabs->setCurrentIndex(norvik::ui::kSearchTab);
    w.startButton->click();
    w.previewButton->click();
    const auto messages = f.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(messages.size(), 2);
    for (const auto& message : messages) {
        QVERIFY2(message.text.contains(QStringLiteral("替换没有开始")), qPrintable(message.text));
    }
    QCOMPARE(f.read(QStringLiteral("sub/a.txt")), QByteArray("mine\r\n"));
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("old\r\n"));
}

// The preview showed "hello BAR"; the rule file was then changed (on disk, or in the rule editor) and
// 替换所选 wrote "PWNED foo". The forecast holds only while its rule file is what it was.
void JobWindowTest::previewIsDiscardedWhenItsRuleFileChanges() {
    WindowFixture f;
    const auto& w = f.w();
    const QString ruleFile = f.exe.filePath(QStringLiteral("MultiReplace/set.nrr"));
    norvik::test::WriteFileBytes(ruleFile, "666F6F;424152\r\n"); // foo -> BAR
    f.write(QStringLiteral("a.txt"), "hello foo\r\n");
    f.addFolder();
    w.multipleCheck->setChecked(true);
    w.ruleSetChooser->setCurrentIndex(w.ruleSetChooser->findText(QStringLiteral("set")));
    w.previewButton->click();
    QCOMPARE(w.previewPane->model().rowCount(), 1);
    norvik::test::WriteFileBytes(ruleFile, "68656C6C6F;50574E4544\r\n"); // hello -> PWNED
    w.runPreviewButton->click();
    QVERIFY(w.previewPane->isEmpty());
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("hello foo\r\n"));

    // A fresh preview of the new rules runs as shown.
    w.previewButton->click();
    w.runPreviewButton->click();
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("PWNED foo\r\n"));
}

// A preview discarded while its run was still filling the pane (the find text edited meanwhile) got
// the rest of that run's rows back under the note: a forecast for a text no longer typed.
void JobWindowTest::previewDiscardedWhileItFillsStaysEmpty() {
    WindowFixture f;
    PrepareTenFiles(f);
    const auto& w = f.w();
    bool discarded = false;
    f.platform.onProcessEvents = [&](int) {
        if (!discarded && w.previewPane->model().size() >= 3) {
            discarded = true;
            f.type(w.findText, QStringLiteral("ol"));
        }
    };
    w.previewButton->click();
    QVERIFY(discarded);
    QVERIFY(w.previewPane->isEmpty());
    QCOMPARE(w.previewPane->view()->toPlainText(), QStringLiteral("目标、选项、文本或规则已改变，请重新预览。"));
    QVERIFY(!w.runPreviewButton->isEnabled());
    QCOMPARE(ChangedOnDisk(f), 0);

    // The next preview fills the pane as usual.
    f.platform.onProcessEvents = {};
    w.previewButton->click();
    QCOMPARE(w.previewPane->model().size(), 10);
}

// 停止 pressed while the folders were scanned was ignored, and then every file was rewritten.
void JobWindowTest::stopWhileTheTargetsAreCollectedWritesNothing() {
    WindowFixture f;
    PrepareTenFiles(f);
    const auto& w = f.w();
    bool pressed = false;
    f.platform.onProcessEvents = [&](int) {
        const auto& engine = f.form->job().engine();
        if (!pressed && engine.isBusy() && !engine.isRunning()) {
            pressed = true;
            f.platform.yesNoAnswers = {true};
            w.stopButton->click();
        }
    };
    w.startButton->click();
    QVERIFY(pressed);
    QCOMPARE(f.platform.callsOf(QStringLiteral("yesNo")).size(), 1);
    QCOMPARE(ChangedOnDisk(f), 0);
    QCOMPARE(f.summary(), Summary(1, 10, 0, 0, 0, 0));
}

// 替换所选 with nothing ticked, or pressed again after the preview had run, ran an empty job that
// cleared the result list: 恢复 then restored nothing while the changed files and their backups stayed.
void JobWindowTest::aRunWithNothingToDoKeepsTheUndo() {
    WindowFixture f;
    const auto& w = f.w();
    f.write(QStringLiteral("a.txt"), "old\r\n");
    f.write(QStringLiteral("b.txt"), "old\r\n");
    f.addFolder();
    f.type(w.findText, QStringLiteral("old"));
    f.type(w.replacementText, QStringLiteral("new"));
    w.previewButton->click();
    norvik::ui::PreviewModel& rows = w.previewPane->model();
    QCOMPARE(rows.rowCount(), 2);
    QVERIFY(w.runPreviewButton->isEnabled());
    rows.setChecked(0, false);
    rows.setChecked(1, false);
    QVERIFY(!w.runPreviewButton->isEnabled());
    rows.setChecked(1, true);
    w.runPreviewButton->click();
    QCOMPARE(w.resultList->count(), 1);
    const QString written = ListTexts(*w.resultList).front();

    // Pressed a second time: the preview is gone, so 替换所选 is off; 开始 on the emptied preview tab
    // says that nothing is ticked and runs nothing.
    QVERIFY(!w.runPreviewButton->isEnabled());
    w.listTabs->setCurrentIndex(norvik::ui::kPreviewTab);
    w.startButton->click();
    QCOMPARE(f.platform.messages(), QStringList{QStringLiteral("没有勾选要替换的文件。")});
    QCOMPARE(ListTexts(*w.resultList), QStringList{written});
    // 开始 and 预览 with no rule say why nothing runs, in every mode, and touch nothing.
    f.platform.calls.clear();
    f.type(w.findText, QString());
    w.startButton->click();
    f.form->switchToFeatureMode();
    w.previewButton->click();
    f.form->switchToNormalMode();
    w.multipleCheck->setChecked(true);
    w.startButton->click();
    w.multipleCheck->setChecked(false);
    QCOMPARE(f.platform.messages(), (QStringList{QStringLiteral("查找内容为空,没有可执行的替换"),
                                                 QStringLiteral("起始或结束特征字符串为空,没有可执行的替换"),
                                                 QStringLiteral("没有选择规则集,没有可执行的替换")}));
    QCOMPARE(ListTexts(*w.resultList), QStringList{written});
    // A run over the targets that finds nothing to change keeps the list too.
    w.listTabs->setCurrentIndex(norvik::ui::kTargetsTab);
    f.type(w.findText, QStringLiteral("absent"));
    w.startButton->click();
    QCOMPARE(ListTexts(*w.resultList), QStringList{written});

    f.form->job().restoreBackups();
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("old\r\n"));
    QCOMPARE(f.read(QStringLiteral("b.txt")), QByteArray("old\r\n"));
}

QTEST_MAIN(JobWindowTest)
#include "JobWindowTest.moc"
