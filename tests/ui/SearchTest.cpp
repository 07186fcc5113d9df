// The search tab in the real main window: what it finds, what it shows, and its hits as the files of
// the next job.
#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "job/JobTexts.h"
#include "job/TextGate.h"
#include "job/ui/JobController.h"
#include "support/WindowFixture.h"

using norvik::test::ListTexts;
using norvik::test::WindowFixture;

namespace {

QStringList Ticked(const norvik::ui::PathListView& list) {
    QStringList ticked;
    for (int row = 0; row < list.count(); ++row) {
        if (list.rows().isChecked(row)) {
            ticked << list.rows().textAt(row);
        }
    }
    return ticked;
}

QStringList Sorted(QStringList list) {
    list.sort();
    return list;
}

void Search(WindowFixture& f, const QString& text) {
    f.type(f.w().searchText, text);
    f.w().searchButton->click();
}

} // namespace

class SearchTest : public QObject {
    Q_OBJECT

private slots:
    void matchIsCaseSensitiveWhateverTheCaseBox();
    void textOfSeveralLinesMatchesAcrossAnsiLines();
    void emptyOrUnrepresentableTextDoesNothing();
    void progressCountAndElapsedTime();
    void usesTheOptionsOfTheLastRefresh();
    void tickedHitsAreTheNextJobsFiles();
    void searchAndRunNeverNest();
};

void SearchTest::matchIsCaseSensitiveWhateverTheCaseBox() {
    WindowFixture f;
    f.write(QStringLiteral("upper.txt"), "Hello World\r\n");
    f.write(QStringLiteral("lower.txt"), "hello world\r\n");
    f.addFolder();
    for (bool caseBox : {false, true}) {
        f.w().caseSensitiveCheck->setChecked(caseBox);
        f.form->refreshOptions();
        Search(f, QStringLiteral("hello"));
        QCOMPARE(ListTexts(*f.w().hitList), QStringList{f.path(QStringLiteral("lower.txt"))});
        QCOMPARE(Ticked(*f.w().hitList), QStringList{f.path(QStringLiteral("lower.txt"))});
    }
}

void SearchTest::textOfSeveralLinesMatchesAcrossAnsiLines() {
    WindowFixture f;
    // An ANSI file's lines end with CR LF in its working text whatever it stores; a UTF-8 file keeps
    // the breaks it has.
    f.write(QStringLiteral("ansi_lf.txt"), "\xC4\xE3\xBA\xC3\nalpha\nbeta\n");
    f.write(QStringLiteral("ansi_crlf.txt"), "alpha\r\nbeta\r\n");
    f.write(QStringLiteral("utf8_lf.txt"), QStringLiteral("你好\nalpha\nbeta\n").toUtf8());
    f.write(QStringLiteral("utf8_crlf.txt"), QStringLiteral("你好\r\nalpha\r\nbeta\r\n").toUtf8());
    f.addFolder();
    f.form->refreshOptions();
    Search(f, QStringLiteral("alpha\nbeta"));
    QCOMPARE(Sorted(ListTexts(*f.w().hitList)),
             (QStringList{f.path(QStringLiteral("ansi_crlf.txt")), f.path(QStringLiteral("ansi_lf.txt")),
                          f.path(QStringLiteral("utf8_crlf.txt"))}));
    // A Chinese search text is matched in the working text of every encoding.
    Search(f, QStringLiteral("你好"));
    QCOMPARE(Sorted(ListTexts(*f.w().hitList)),
             (QStringList{f.path(QStringLiteral("ansi_lf.txt")), f.path(QStringLiteral("utf8_crlf.txt")),
                          f.path(QStringLiteral("utf8_lf.txt"))}));
}

void SearchTest::emptyOrUnrepresentableTextDoesNothing() {
    WindowFixture f;
    f.write(QStringLiteral("a.txt"), "x\r\n");
    f.addFolder();
    f.w().hitList->rows().append("/earlier/hit.txt", false);
    for (QLabel* panel : {f.w().elapsedPanel, f.w().progressPanel, f.w().summaryPanel}) {
        panel->setText(QStringLiteral("kept"));
    }
    Search(f, QString());
    QCOMPARE(f.platform.processEventsCount, 0);
    QVERIFY(f.platform.calls.isEmpty());

    Search(f, QStringLiteral("x\U0001F600"));
    QCOMPARE(f.platform.messages(), QStringList{QString::fromStdString(norvik::job::UnrepresentableTextText(
                                        std::string(norvik::job::kSearchTextName)))});
    QCOMPARE(f.platform.processEventsCount, 0);
    QCOMPARE(ListTexts(*f.w().hitList), QStringList{QStringLiteral("/earlier/hit.txt")});
    for (const QString& panel : {f.elapsed(), f.progress(), f.summary()}) {
        QCOMPARE(panel, QStringLiteral("kept"));
    }
}

void SearchTest::progressCountAndElapsedTime() {
    WindowFixture f;
    f.write(QStringLiteral("a.txt"), "needle\r\n");
    f.write(QStringLiteral("b.txt"), "hay\r\n");
    f.write(QStringLiteral("c.txt"), "needle\r\n");
    f.addFolder();
    f.form->refreshOptions();
    QStringList shown{f.progress()};
    f.platform.onProcessEvents = [&](int) {
        if (shown.last() != f.progress()) {
            shown << f.progress();
        }
    };
    Search(f, QStringLiteral("needle"));
    shown << f.progress();
    shown.removeDuplicates();
    QCOMPARE(shown, (QStringList{QString(), QStringLiteral("33%"), QStringLiteral("66%"), QStringLiteral("100%")}));
    QCOMPARE(f.summary(), QStringLiteral("找到文件2个"));
    QVERIFY(f.elapsed().startsWith(QStringLiteral("耗时")));

    // No ticked target: an empty hit list and a count of 0.
    f.w().targetList->rows().setChecked(0, false);
    Search(f, QStringLiteral("needle"));
    QCOMPARE(f.w().hitList->count(), 0);
    QCOMPARE(f.summary(), QStringLiteral("找到文件0个"));
}

void SearchTest::usesTheOptionsOfTheLastRefresh() {
    WindowFixture f;
    f.write(QStringLiteral("top.txt"), "needle\r\n");
    f.write(QStringLiteral("deep/below.txt"), "needle\r\n");
    f.addFolder();
    f.w().subfoldersCheck->setChecked(false);
    f.form->refreshOptions();
    // Ticking the box again is not enough: the search reads the options as the last refresh left them.
    f.w().subfoldersCheck->setChecked(true);
    Search(f, QStringLiteral("needle"));
    QCOMPARE(ListTexts(*f.w().hitList), QStringList{f.path(QStringLiteral("top.txt"))});
}

void SearchTest::tickedHitsAreTheNextJobsFiles() {
    WindowFixture f;
    const auto& w = f.w();
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        f.write(QString::fromLatin1(name), "old\r\n");
    }
    f.addFolder();
    f.form->refreshOptions();
    w.listTabs->setCurrentIndex(norvik::ui::kSearchTab);
    Search(f, QStringLiteral("old"));
    QCOMPARE(w.hitList->count(), 3);
    const int unticked = static_cast<int>(ListTexts(*w.hitList).indexOf(f.path(QStringLiteral("b.txt"))));
    w.hitList->rows().setChecked(unticked, false);
    f.type(f.w().findText, QStringLiteral("old"));
    f.type(f.w().replacementText, QStringLiteral("new"));

    w.startButton->click();
    QCOMPARE(f.read(QStringLiteral("a.txt")), QByteArray("new\r\n"));
    QCOMPARE(f.read(QStringLiteral("b.txt")), QByteArray("old\r\n"));
    QCOMPARE(f.read(QStringLiteral("c.txt")), QByteArray("new\r\n"));
    QCOMPARE(f.summary(),
             QStringLiteral("替换规则1条,共涉及文件2个,符合替换条件的2个,成功替换2个,失败0个,文件不存在0个"));
    QCOMPARE(w.listTabs->currentIndex(), int(norvik::ui::kResultsTab));

    // All ticked, then all inverted: the job gets no file at all, although the targets would give three.
    w.listTabs->setCurrentIndex(norvik::ui::kSearchTab);
    w.checkAllHitsItem->trigger();
    QCOMPARE(Ticked(*w.hitList).size(), 3);
    w.invertHitsItem->trigger();
    QVERIFY(Ticked(*w.hitList).isEmpty());
    w.startButton->click();
    QCOMPARE(f.summary(),
             QStringLiteral("替换规则1条,共涉及文件0个,符合替换条件的0个,成功替换0个,失败0个,文件不存在0个"));
    QCOMPARE(f.read(QStringLiteral("b.txt")), QByteArray("old\r\n"));
}

void SearchTest::searchAndRunNeverNest() {
    WindowFixture f;
    const auto& w = f.w();
    for (int i = 0; i < 4; ++i) {
        f.write(QStringLiteral("f%1.txt").arg(i), "old\r\n");
    }
    f.addFolder();
    f.type(f.w().findText, QStringLiteral("old"));
    f.type(f.w().replacementText, QStringLiteral("new"));
    f.type(f.w().searchText, QStringLiteral("old"));

    // A search pressed during a run is ignored.
    bool pressed = false;
    f.platform.onProcessEvents = [&](int) {
        if (!pressed && f.form->job().engine().isRunning()) {
            pressed = true;
            w.searchButton->click();
        }
    };
    w.startButton->click();
    QVERIFY(pressed);
    QCOMPARE(w.hitList->count(), 0);
    QCOMPARE(w.resultList->count(), 4);

    // Start pressed during a search is ignored; closing the window ends the search without a question.
    for (int i = 0; i < 4; ++i) {
        f.write(QStringLiteral("f%1.txt").arg(i), "old\r\n");
    }
    f.form->show();
    int calls = 0;
    f.platform.onProcessEvents = [&](int) {
        if (++calls == 2) {
            w.startButton->click();
            QVERIFY(f.form->close());
        }
    };
    w.searchButton->click();
    QVERIFY(!f.form->isVisible());
    QVERIFY(f.platform.callsOf(QStringLiteral("yesNo")).isEmpty());
    QVERIFY(w.hitList->count() < 4);
    QCOMPARE(w.resultList->count(), 4); // the run's list stays: no run started
    QCOMPARE(f.read(QStringLiteral("f0.txt")), QByteArray("old\r\n"));
}

QTEST_MAIN(SearchTest)
#include "SearchTest.moc"
