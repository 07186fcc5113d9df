// The rule editor driven through its widgets, with every modal box answered from a script.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QtTest>
#include <memory>

#include "job/TextGate.h"
#include "platform/IPlatform.h"
#include "rules/RuleFile.h"
#include "rules/RuleSets.h"
#include "rules/ui/TMutilReplaceConfig.h"
#include "support/ScriptedPlatform.h"
#include "support/WindowFixture.h"
#include "ui/ComponentCaption.h"
#include "ui/MemoText.h"

using namespace Qt::StringLiterals;
using norvik::test::ReadFileBytes;
using norvik::test::ScriptedPlatform;
using norvik::test::WriteFileBytes;
using norvik::ui::ComponentCaption;
using norvik::ui::SetComponentCaption;
using norvik::ui::TMutilReplaceConfig;

namespace {

const QString kNormalFilter = QStringLiteral("一般替换规则文件(*.nrr)|*.nrr");
const QString kFeatureFilter = QStringLiteral("特征替换规则文件(*.crr)|*.crr");

} // namespace

class TestRuleEditor : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsEmptyWithEveryNamedComponent();
    void normalAdditionsAreChecked();
    void modifyKeepsOrRefusesTheFindText();
    void modifyWithoutSelectionChangesNothing();
    void textsTheCodePageLacksAreRefused();
    void typedRuleGivesTheMainWindowsBytes();
    void tabMovesTheFocus();
    void deleteMovesTheSelection();
    void featureAdditionsAndModifications();
    void multiLineTextShowsOnOneRowAndComesBack();
    void loadSwitchesTabAndKeepsTheOtherTab();
    void loadIgnoresOtherKindsAndReportsUnreadableFiles();
    void loadThroughTheOpenDialog();
    void saveAsksOnceThenWritesSilently();
    void saveFailureIsReportedAndForgetsNothing();
    void newRulesClearsTheCurrentTabOnly();
    void filtersFollowTheTab();
    void columnsFollowTheWidth();
    void rowsOfEveryColumnLineUp();
    void toolbarCloseHelpAndConfigure();

private:
    template <typename T> T* widget(const char* name) {
        T* found = m_dialog->findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr) {
            qFatal("no widget %s", name);
        }
        return found;
    }
    QPlainTextEdit* box(const char* name) { return widget<QPlainTextEdit>(name); }
    QListWidget* list(const char* name) { return widget<QListWidget>(name); }
    QString strip(const char* name) { return widget<QLabel>(name)->text(); }
    void click(const char* name) { QTest::mouseClick(widget<QPushButton>(name), Qt::LeftButton); }
    void trigger(const char* name) { widget<QAction>(name)->trigger(); }
    void clickRow(const char* listName, int row) {
        QListWidget* l = list(listName);
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(row)).center());
    }
    QStringList rows(const char* name) {
        QStringList texts;
        for (int i = 0; i < list(name)->count(); ++i) {
            texts << list(name)->item(i)->text();
        }
        return texts;
    }
    void addNormal(const QString& find, const QString& replacement) {
        box("Memo1")->setPlainText(find);
        box("Memo2")->setPlainText(replacement);
        click("MButton2");
    }
    void addFeature(const QString& start, const QString& end, const QString& replacement) {
        box("Memo3")->setPlainText(start);
        box("Memo4")->setPlainText(end);
        box("Memo5")->setPlainText(replacement);
        click("MButton5");
    }
    QTabWidget* tabs() { return widget<QTabWidget>("MPageControl1"); }
    QString path(const QString& name) const { return m_dir->path() + u"/"_s + name; }
    QString ruleFolder() const { return m_dir->path() + u"/MultiReplace/"_s; }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPlatform> m_platform;
    std::unique_ptr<TMutilReplaceConfig> m_dialog;
};

void TestRuleEditor::rowsOfEveryColumnLineUp() {
    // Latin finds beside Chinese replacements, and the reverse: a taller fallback font in one column
    // must not push its rows away from the other column's.
    for (int i = 0; i < 20; ++i) {
        addNormal(QStringLiteral("find%1").arg(i), i % 3 == 0 ? QStringLiteral("替换%1").arg(i) : QStringLiteral("r"));
    }
    QListWidget* finds = list("ListBox1");
    QListWidget* replacements = list("ListBox2");
    QCOMPARE(finds->count(), 20);
    QCoreApplication::processEvents(); // the lists lay out their rows
    finds->scrollToTop();
    replacements->scrollToTop();
    for (const int row : {0, 1, 3, 15, 19}) {
        QCOMPARE(finds->sizeHintForRow(row), replacements->sizeHintForRow(row));
        QCOMPARE(finds->sizeHintForRow(row), finds->sizeHintForRow(0));
        QCOMPARE(finds->visualItemRect(finds->item(row)).top(),
                 replacements->visualItemRect(replacements->item(row)).top());
    }
}

void TestRuleEditor::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir(u"MultiReplace"_s));
    m_platform = std::make_unique<ScriptedPlatform>();
    m_dialog = std::make_unique<TMutilReplaceConfig>(
        *m_platform, norvik::settings::AppFolders::portableIn(m_dir->path().toStdString() + "/"), nullptr);
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
}

void TestRuleEditor::cleanup() {
    m_dialog.reset();
    m_platform.reset();
    m_dir.reset();
}

void TestRuleEditor::startsEmptyWithEveryNamedComponent() {
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("多重替换设置"));
    QCOMPARE(tabs()->currentWidget()->objectName(), QStringLiteral("MTabSheet1"));
    QCOMPARE(strip("ChanelPanel"), QStringLiteral("------"));
    QCOMPARE(strip("Panel9"), QStringLiteral("------"));
    QCOMPARE(list("ListBox1")->count(), 0);
    QVERIFY(m_dialog->currentFileName(TMutilReplaceConfig::NormalTab).isEmpty());
    for (const char* name : {"ListBox1", "ListBox2", "ListBox3", "ListBox4", "ListBox5", "Memo1", "Memo2", "Memo3",
                             "Memo4", "Memo5", "ChanelPanel", "Panel9"}) {
        QVERIFY2(m_dialog->findChild<QWidget*>(QString::fromLatin1(name)) != nullptr, name);
    }
    // Every caption a language pack sets is reachable by its name and shows where the user looks.
    QCOMPARE(ComponentCaption(*m_dialog, u"MToolButton4"_s), QStringLiteral("新建规则"));
    QCOMPARE(ComponentCaption(*m_dialog, u"MPanel5"_s), QStringLiteral("替换为"));
    for (const char* name :
         {"MToolButton4", "MToolButton1", "MToolButton15", "MToolButton2", "ToolButton16", "MToolButton14",
          "ToolButton8",  "MToolButton3", "MTabSheet1",    "MTabSheet2",   "MPanel3",      "MPanel2",
          "MPanel5",      "MPanel11",     "MPanel10",      "MPanel8",      "MPanel15",     "MPanel16",
          "MButton2",     "MButton1",     "MButton3",      "MButton5",     "MButton4",     "MButton6"}) {
        const QString caption = QLatin1String(name) + QStringLiteral("!");
        QVERIFY2(SetComponentCaption(*m_dialog, QLatin1String(name), caption), name);
        QCOMPARE(ComponentCaption(*m_dialog, QLatin1String(name)), caption);
    }
    QCOMPARE(tabs()->tabText(1), QStringLiteral("MTabSheet2!"));
    auto* newButton =
        qobject_cast<QToolButton*>(widget<QToolBar>("MToolBar1")->widgetForAction(widget<QAction>("MToolButton4")));
    QVERIFY(newButton != nullptr);
    QCOMPARE(newButton->text(), QStringLiteral("MToolButton4!"));
}

void TestRuleEditor::normalAdditionsAreChecked() {
    addNormal(u"a"_s, u"b"_s);
    QCOMPARE(strip("ChanelPanel"), QString());
    addNormal(u"a"_s, u"c"_s);
    QCOMPARE(strip("ChanelPanel"), QStringLiteral("被替换字符串已存在，不可重复"));
    QCOMPARE(rows("ListBox1"), QStringList{u"a"_s});
    // Comparison is case-sensitive, and a passing duplicate test clears the old message first.
    addNormal(u"A"_s, u"c"_s);
    QCOMPARE(strip("ChanelPanel"), QString());
    addNormal(u"x"_s, u"x"_s);
    QCOMPARE(strip("ChanelPanel"), QStringLiteral("被替换和替换后的字符串不可相同"));
    addNormal(u""_s, u""_s);
    QCOMPARE(strip("ChanelPanel"), QStringLiteral("被替换的字符串不可为空"));
    addNormal(u""_s, u"y"_s);
    QCOMPARE(strip("ChanelPanel"), QStringLiteral("被替换的字符串不可为空"));
    // Replacement texts may repeat and may be empty.
    addNormal(u"d"_s, u"b"_s);
    addNormal(u"e"_s, u""_s);
    QCOMPARE(rows("ListBox1"), (QStringList{u"a"_s, u"A"_s, u"d"_s, u"e"_s}));
    QCOMPARE(rows("ListBox2"), (QStringList{u"b"_s, u"c"_s, u"b"_s, u""_s}));
    // The new row is selected in both columns; its texts stay in the boxes.
    QCOMPARE(list("ListBox1")->currentRow(), 3);
    QCOMPARE(list("ListBox2")->currentRow(), 3);
    QCOMPARE(box("Memo1")->toPlainText(), QStringLiteral("e"));
}

void TestRuleEditor::modifyKeepsOrRefusesTheFindText() {
    addNormal(u"a"_s, u"1"_s);
    addNormal(u"b"_s, u"2"_s);
    addNormal(u"c"_s, u"3"_s);
    addNormal(u"c"_s, u"again"_s); // leaves a message that a successful modify must not touch
    clickRow("ListBox2", 1);
    QCOMPARE(box("Memo1")->toPlainText(), QStringLiteral("b"));
    QCOMPARE(list("ListBox1")->currentRow(), 1);

    box("Memo2")->setPlainText(u"two"_s);
    click("MButton1");
    QCOMPARE(rows("ListBox2"), (QStringList{u"1"_s, u"two"_s, u"3"_s}));
    QCOMPARE(strip("ChanelPanel"), QStringLiteral("被替换字符串已存在，不可重复"));

    box("Memo1")->setPlainText(u"a"_s);
    click("MButton1");
    QCOMPARE(strip("ChanelPanel"), QStringLiteral("修改后的被替换字符串不能和已存在的相同"));
    QCOMPARE(rows("ListBox1"), (QStringList{u"a"_s, u"b"_s, u"c"_s}));

    // No emptiness or equality check on modify: the saved line then starts with ";".
    box("Memo1")->setPlainText(u""_s);
    box("Memo2")->setPlainText(u""_s);
    click("MButton1");
    QCOMPARE(rows("ListBox1"), (QStringList{u"a"_s, u""_s, u"c"_s}));
    QCOMPARE(list("ListBox1")->currentRow(), 1);
    m_platform->saveFileAnswers.push_back(path(u"mod.nrr"_s));
    trigger("MToolButton15");
    QCOMPARE(ReadFileBytes(path(u"mod.nrr"_s)), QByteArray("61;31\r\n;\r\n63;33\r\n"));
}

void TestRuleEditor::modifyWithoutSelectionChangesNothing() {
    box("Memo1")->setPlainText(u"a"_s);
    click("MButton1");
    QCOMPARE(list("ListBox1")->count(), 0);
    QVERIFY(strip("ChanelPanel") != QStringLiteral("------"));
    QVERIFY(!strip("ChanelPanel").isEmpty());
    QCOMPARE(list("ListBox3")->count(), 0);
    tabs()->setCurrentIndex(1);
    box("Memo3")->setPlainText(u"s"_s);
    box("Memo4")->setPlainText(u"e"_s);
    click("MButton4");
    QCOMPARE(list("ListBox3")->count(), 0);
    QCOMPARE(strip("Panel9"), strip("ChanelPanel"));
}

void TestRuleEditor::textsTheCodePageLacksAreRefused() {
    addNormal(u"a"_s, u"b"_s);
    addNormal(QStringLiteral("smile \U0001F600"), u"x"_s);
    QCOMPARE(rows("ListBox1"), QStringList{u"a"_s});
    const QString refused = strip("ChanelPanel");
    QVERIFY(!refused.isEmpty() && refused != QStringLiteral("------"));
    clickRow("ListBox1", 0);
    box("Memo2")->setPlainText(QStringLiteral("\u0E01"));
    click("MButton1");
    QCOMPARE(rows("ListBox2"), QStringList{u"b"_s});
    // Everything GBK has is accepted, CJK and full-width forms included.
    addNormal(QStringLiteral("全角，"), QStringLiteral("半角,"));
    QCOMPARE(rows("ListBox1"), (QStringList{u"a"_s, QStringLiteral("全角，")}));
    QCOMPARE(QByteArray::fromStdString(m_dialog->ruleSet(TMutilReplaceConfig::NormalTab).row(1)[0]),
             QByteArray("\xC8\xAB\xBD\xC7\xA3\xAC"));
}

void TestRuleEditor::typedRuleGivesTheMainWindowsBytes() {
    // Both windows read their boxes the same way: a non-breaking space is a character of its own (one
    // the code page lacks, so both refuse it) and never quietly a blank.
    norvik::test::WindowFixture main;
    for (const QString& find : {QStringLiteral("第一行\n a\tb "), QStringLiteral("a\u00A0b")}) {
        norvik::test::WindowFixture::type(main.w().findText, find);
        norvik::test::WindowFixture::type(main.w().replacementText, QStringLiteral("r\n"));
        norvik::job::RuleTexts typed;
        typed.find = norvik::ui::MemoTextUtf8(*main.w().findText);
        typed.replacement = norvik::ui::MemoTextUtf8(*main.w().replacementText);
        norvik::job::RuleTexts converted;
        norvik::job::TextGate gate;
        const bool mainTakesIt =
            norvik::job::ConvertRuleTexts(typed, norvik::settings::ReplaceMode::Normal, false, converted, gate);

        const int before = list("ListBox1")->count();
        addNormal(find, QStringLiteral("r\n"));
        QCOMPARE(list("ListBox1")->count() > before, mainTakesIt);
        if (mainTakesIt) {
            const auto& row = m_dialog->ruleSet(TMutilReplaceConfig::NormalTab).row(before);
            QCOMPARE(QByteArray::fromStdString(row[0]), QByteArray::fromStdString(converted.find));
            QCOMPARE(QByteArray::fromStdString(row[1]), QByteArray("r\r\n"));
        }
    }
}

void TestRuleEditor::tabMovesTheFocus() {
    for (QPlainTextEdit* edit : m_dialog->findChildren<QPlainTextEdit*>()) {
        QVERIFY2(edit->tabChangesFocus(), qPrintable(edit->objectName()));
    }
    box("Memo1")->setFocus();
    QTest::keyClick(box("Memo1"), Qt::Key_Tab);
    QVERIFY(box("Memo1")->toPlainText().isEmpty());
}

void TestRuleEditor::deleteMovesTheSelection() {
    for (const char* find : {"a", "b", "c", "d"}) {
        addNormal(QString::fromLatin1(find), u"r"_s);
    }
    clickRow("ListBox1", 1);
    click("MButton3");
    QCOMPARE(rows("ListBox1"), (QStringList{u"a"_s, u"c"_s, u"d"_s}));
    QCOMPARE(rows("ListBox2").size(), 3);
    QCOMPARE(list("ListBox1")->currentRow(), 1);
    QCOMPARE(box("Memo1")->toPlainText(), QStringLiteral("c"));

    clickRow("ListBox1", 2);
    click("MButton3");
    QCOMPARE(rows("ListBox1"), (QStringList{u"a"_s, u"c"_s}));
    QCOMPARE(list("ListBox2")->currentRow(), 1);
    QCOMPARE(box("Memo1")->toPlainText(), QStringLiteral("c"));

    click("MButton3");
    click("MButton3");
    QCOMPARE(list("ListBox1")->count(), 0);
    QCOMPARE(list("ListBox2")->count(), 0);
    // The last removal leaves the boxes as they were; a further delete does nothing.
    QCOMPARE(box("Memo1")->toPlainText(), QStringLiteral("a"));
    click("MButton3");
    QCOMPARE(box("Memo1")->toPlainText(), QStringLiteral("a"));
}

void TestRuleEditor::featureAdditionsAndModifications() {
    tabs()->setCurrentIndex(1);
    addFeature(u"<a"_s, u">"_s, u""_s);
    addFeature(u"<a"_s, u"/>"_s, u"x"_s);
    QCOMPARE(strip("Panel9"), QString());
    addFeature(u"<a"_s, u">"_s, u"y"_s);
    QCOMPARE(strip("Panel9"), QStringLiteral("特征字符串已存在，不可重复"));
    addFeature(u"<b"_s, u""_s, u"y"_s);
    QCOMPARE(strip("Panel9"), QStringLiteral("特征字符串不可为空"));
    addFeature(u""_s, u"e"_s, u"y"_s);
    QCOMPARE(strip("Panel9"), QStringLiteral("特征字符串不可为空"));
    // Start equal to end, and a replacement equal to a feature string, are accepted.
    addFeature(u"|"_s, u"|"_s, u"|"_s);
    QCOMPARE(strip("Panel9"), QString());
    QCOMPARE(rows("ListBox3"), (QStringList{u"<a"_s, u"<a"_s, u"|"_s}));
    QCOMPARE(rows("ListBox4"), (QStringList{u">"_s, u"/>"_s, u"|"_s}));
    QCOMPARE(rows("ListBox5"), (QStringList{u""_s, u"x"_s, u"|"_s}));
    QCOMPARE(list("ListBox5")->currentRow(), 2);

    clickRow("ListBox4", 0);
    QCOMPARE(list("ListBox3")->currentRow(), 0);
    QCOMPARE(box("Memo4")->toPlainText(), QStringLiteral(">"));
    box("Memo4")->setPlainText(u"/>"_s);
    click("MButton4");
    QCOMPARE(strip("Panel9"), QStringLiteral("修改后的特征字符串不能和已存在的相同"));
    QCOMPARE(rows("ListBox4"), (QStringList{u">"_s, u"/>"_s, u"|"_s}));
    box("Memo4")->setPlainText(u">"_s);
    box("Memo5")->setPlainText(u"gone"_s);
    click("MButton4");
    QCOMPARE(rows("ListBox5"), (QStringList{u"gone"_s, u"x"_s, u"|"_s}));
    QCOMPARE(strip("Panel9"), QStringLiteral("修改后的特征字符串不能和已存在的相同"));

    click("MButton6");
    QCOMPARE(rows("ListBox3"), (QStringList{u"<a"_s, u"|"_s}));
    QCOMPARE(rows("ListBox4").size(), 2);
    QCOMPARE(rows("ListBox5").size(), 2);
    QCOMPARE(box("Memo4")->toPlainText(), QStringLiteral("/>"));
    // The normal tab never saw any of it.
    QCOMPARE(list("ListBox1")->count(), 0);
    QCOMPARE(strip("ChanelPanel"), QStringLiteral("------"));
}

void TestRuleEditor::multiLineTextShowsOnOneRowAndComesBack() {
    box("Memo1")->setFocus();
    QTest::keyClicks(box("Memo1"), u"first"_s);
    QTest::keyClick(box("Memo1"), Qt::Key_Return);
    QTest::keyClicks(box("Memo1"), u"second"_s);
    box("Memo2")->setPlainText(QStringLiteral("中文\n\n"));
    click("MButton2");
    addNormal(u"other"_s, u"x"_s);

    QCOMPARE(list("ListBox1")->item(0)->text(), QStringLiteral("first↵second"));
    QCOMPARE(list("ListBox2")->item(0)->text(), QStringLiteral("中文↵↵"));
    clickRow("ListBox1", 0);
    QCOMPARE(box("Memo1")->toPlainText(), QStringLiteral("first\nsecond"));
    QCOMPARE(box("Memo2")->toPlainText(), QStringLiteral("中文\n\n"));

    // Stored with CR LF and in GBK, and read back the same.
    m_platform->saveFileAnswers.push_back(path(u"lines.nrr"_s));
    trigger("MToolButton15");
    QCOMPARE(ReadFileBytes(path(u"lines.nrr"_s)), QByteArray("66697273740D0A7365636F6E64;D6D0CEC40D0A0D0A\r\n"
                                                             "6F74686572;78\r\n"));
    trigger("MToolButton4");
    QVERIFY(m_dialog->loadRuleFile(path(u"lines.nrr"_s)));
    QCOMPARE(rows("ListBox1"), (QStringList{u"first↵second"_s, u"other"_s}));
    QCOMPARE(box("Memo2")->toPlainText(), QStringLiteral("中文\n\n"));
    const auto& set = m_dialog->ruleSet(TMutilReplaceConfig::NormalTab);
    QCOMPARE(QByteArray::fromStdString(set.row(0)[0]), QByteArray("first\r\nsecond"));
}

void TestRuleEditor::loadSwitchesTabAndKeepsTheOtherTab() {
    addNormal(u"keep"_s, u"me"_s);
    addNormal(u"keep"_s, u"again"_s);
    WriteFileBytes(path(u"set.crr"_s), "61;62;63\r\n64;65\r\n\r\n66;67;\r\n");
    QVERIFY(m_dialog->loadRuleFile(path(u"set.crr"_s)));
    QCOMPARE(tabs()->currentIndex(), 1);
    // The two-field line is skipped; row 0 fills the boxes.
    QCOMPARE(rows("ListBox3"), (QStringList{u"a"_s, u"f"_s}));
    QCOMPARE(rows("ListBox5"), (QStringList{u"c"_s, u""_s}));
    QCOMPARE(box("Memo3")->toPlainText(), QStringLiteral("a"));
    QCOMPARE(list("ListBox4")->currentRow(), 0);
    QCOMPARE(m_dialog->currentFileName(TMutilReplaceConfig::FeatureTab), path(u"set.crr"_s));
    QCOMPARE(rows("ListBox1"), QStringList{u"keep"_s});
    QCOMPARE(strip("ChanelPanel"), QStringLiteral("被替换字符串已存在，不可重复"));
    QCOMPARE(strip("Panel9"), QStringLiteral("------"));

    // An empty file empties the lists and leaves the boxes alone.
    WriteFileBytes(path(u"empty.crr"_s), "");
    QVERIFY(m_dialog->loadRuleFile(path(u"empty.crr"_s)));
    QCOMPARE(list("ListBox3")->count(), 0);
    QCOMPARE(list("ListBox5")->count(), 0);
    QCOMPARE(box("Memo3")->toPlainText(), QStringLiteral("a"));

    // Loading a normal set goes back to the first tab.
    WriteFileBytes(path(u"n.nrr"_s), "78;79;7A\r\n");
    QVERIFY(m_dialog->loadRuleFile(path(u"n.nrr"_s)));
    QCOMPARE(tabs()->currentIndex(), 0);
    QCOMPARE(rows("ListBox1"), QStringList{u"x"_s});
    QCOMPARE(rows("ListBox2"), QStringList{u"y"_s});
}

void TestRuleEditor::loadIgnoresOtherKindsAndReportsUnreadableFiles() {
    addNormal(u"a"_s, u"b"_s);
    WriteFileBytes(path(u"notes.txt"_s), "61;62\r\n");
    WriteFileBytes(path(u"rules.NRR"_s), "61;62\r\n");
    QVERIFY(m_dialog->loadRuleFile(QString()));
    QVERIFY(m_dialog->loadRuleFile(u"   "_s));
    QVERIFY(m_dialog->loadRuleFile(path(u"notes.txt"_s)));
    QVERIFY(m_dialog->loadRuleFile(path(u"rules.NRR"_s)));
    QCOMPARE(rows("ListBox1"), QStringList{u"a"_s});
    QVERIFY(m_platform->calls.isEmpty());

    WriteFileBytes(path(u"known.crr"_s), "61;62;63\r\n");
    QVERIFY(m_dialog->loadRuleFile(path(u"known.crr"_s)));
    tabs()->setCurrentIndex(0);
    QVERIFY(!m_dialog->loadRuleFile(path(u"missing.crr"_s)));
    QCOMPARE(m_platform->messages().size(), qsizetype{1});
    QVERIFY(m_platform->calls.back().text.contains(path(u"missing.crr"_s)));
    QCOMPARE(m_platform->calls.back().detail, QStringLiteral("error"));
    // The switch happened; rows and the file name stayed.
    QCOMPARE(tabs()->currentIndex(), 1);
    QCOMPARE(rows("ListBox3"), QStringList{u"a"_s});
    QCOMPARE(m_dialog->currentFileName(TMutilReplaceConfig::FeatureTab), path(u"known.crr"_s));
}

void TestRuleEditor::loadThroughTheOpenDialog() {
    WriteFileBytes(ruleFolder() + u"picked.nrr"_s, "6162;63\r\n");
    m_platform->openFileAnswers.push_back(QString()); // cancelled
    trigger("MToolButton1");
    QCOMPARE(list("ListBox1")->count(), 0);
    m_platform->openFileAnswers.push_back(ruleFolder() + u"picked.nrr"_s);
    trigger("MToolButton1");
    QCOMPARE(rows("ListBox1"), QStringList{u"ab"_s});
    QCOMPARE(m_platform->callsOf(u"openFile"_s).size(), qsizetype{2});
    QCOMPARE(m_platform->calls.back().text, ruleFolder());
    QCOMPARE(m_platform->calls.back().detail, kNormalFilter);
    QCOMPARE(m_dialog->currentFileName(TMutilReplaceConfig::NormalTab), ruleFolder() + u"picked.nrr"_s);
}

void TestRuleEditor::saveAsksOnceThenWritesSilently() {
    // An empty set asks for a name too and writes an empty file.
    m_platform->saveFileAnswers.push_back(QString());
    trigger("MToolButton15");
    QCOMPARE(m_platform->callsOf(u"saveFile"_s).size(), qsizetype{1});
    QVERIFY(m_dialog->currentFileName(TMutilReplaceConfig::NormalTab).isEmpty());

    m_platform->saveFileAnswers.push_back(path(u"abc"_s));
    trigger("MToolButton15");
    QCOMPARE(m_platform->callsOf(u"saveFile"_s).size(), qsizetype{2});
    QCOMPARE(m_platform->calls.back().text, ruleFolder());
    QCOMPARE(m_platform->calls.back().detail, kNormalFilter);
    // A name without an extension gets the tab's, so the chooser lists the set.
    QCOMPARE(ReadFileBytes(path(u"abc.nrr"_s)), QByteArray(""));
    QCOMPARE(m_dialog->currentFileName(TMutilReplaceConfig::NormalTab), path(u"abc.nrr"_s));

    addNormal(u"ab"_s, u"c"_s);
    addNormal(u"x\ny"_s, u""_s);
    trigger("MToolButton15");
    QCOMPARE(m_platform->callsOf(u"saveFile"_s).size(), qsizetype{2});
    QCOMPARE(ReadFileBytes(path(u"abc.nrr"_s)), QByteArray("6162;63\r\n780D0A79;\r\n"));

    // The feature tab has its own name and asks for it with its own filter.
    tabs()->setCurrentIndex(1);
    addFeature(u"a"_s, u"b"_s, u""_s);
    m_platform->saveFileAnswers.push_back(ruleFolder() + u"f.crr"_s);
    trigger("MToolButton15");
    QCOMPARE(m_platform->calls.back().detail, kFeatureFilter);
    QCOMPARE(ReadFileBytes(ruleFolder() + u"f.crr"_s), QByteArray("61;62;\r\n"));
    // Saved into the rule folder, the set is what the main window's chooser offers.
    QCOMPARE(norvik::rules::ListRuleSets(ruleFolder().toStdString(), norvik::rules::ReplaceMode::Feature),
             std::vector<std::string>{"f"});
    QCOMPARE(m_dialog->currentFileName(TMutilReplaceConfig::NormalTab), path(u"abc.nrr"_s));
}

void TestRuleEditor::saveFailureIsReportedAndForgetsNothing() {
    addNormal(u"a"_s, u"b"_s);
    const QString unwritable = path(u"no-such-folder/set.nrr"_s);
    m_platform->saveFileAnswers.push_back(unwritable);
    trigger("MToolButton15");
    QCOMPARE(m_platform->messages().size(), qsizetype{1});
    QVERIFY(m_platform->calls.back().text.contains(unwritable));
    QCOMPARE(rows("ListBox1"), QStringList{u"a"_s});
    // The name was not taken, so the next save asks again.
    m_platform->saveFileAnswers.push_back(path(u"set.nrr"_s));
    trigger("MToolButton15");
    QCOMPARE(m_platform->callsOf(u"saveFile"_s).size(), qsizetype{2});
    QCOMPARE(ReadFileBytes(path(u"set.nrr"_s)), QByteArray("61;62\r\n"));

    // A loaded file that has become unwritable keeps its name and the rows.
    QVERIFY(QDir(m_dir->path()).mkdir(u"gone"_s));
    WriteFileBytes(path(u"gone/x.nrr"_s), "61;62\r\n");
    QVERIFY(m_dialog->loadRuleFile(path(u"gone/x.nrr"_s)));
    QVERIFY(QDir(path(u"gone"_s)).removeRecursively());
    trigger("MToolButton15");
    QCOMPARE(m_platform->messages().size(), qsizetype{2});
    QCOMPARE(m_dialog->currentFileName(TMutilReplaceConfig::NormalTab), path(u"gone/x.nrr"_s));
}

void TestRuleEditor::newRulesClearsTheCurrentTabOnly() {
    addNormal(u"a"_s, u"b"_s);
    addNormal(u"a"_s, u"b"_s);
    m_platform->saveFileAnswers.push_back(path(u"n.nrr"_s));
    trigger("MToolButton15");
    tabs()->setCurrentIndex(1);
    addFeature(u"s"_s, u"e"_s, u"r"_s);
    tabs()->setCurrentIndex(0);
    trigger("MToolButton4");
    QCOMPARE(list("ListBox1")->count(), 0);
    QCOMPARE(list("ListBox2")->count(), 0);
    QVERIFY(box("Memo1")->toPlainText().isEmpty());
    QVERIFY(box("Memo2")->toPlainText().isEmpty());
    QCOMPARE(strip("ChanelPanel"), QStringLiteral("------"));
    QVERIFY(m_dialog->currentFileName(TMutilReplaceConfig::NormalTab).isEmpty());
    QCOMPARE(rows("ListBox3"), QStringList{u"s"_s});
    QCOMPARE(box("Memo3")->toPlainText(), QStringLiteral("s"));
}

void TestRuleEditor::filtersFollowTheTab() {
    QCOMPARE(m_dialog->fileFilter(), kNormalFilter);
    tabs()->setCurrentIndex(1);
    QCOMPARE(m_dialog->fileFilter(), kFeatureFilter);
    tabs()->setCurrentIndex(0);
    WriteFileBytes(path(u"s.crr"_s), "");
    QVERIFY(m_dialog->loadRuleFile(path(u"s.crr"_s)));
    // Whatever switched the tab, the dialogs offer the sets of the tab in front.
    QCOMPARE(m_dialog->fileFilter(), kFeatureFilter);
}

void TestRuleEditor::columnsFollowTheWidth() {
    for (const QSize size : {QSize(900, 640), QSize(613, 500), QSize(1201, 800)}) {
        m_dialog->resize(size);
        for (int tab : {0, 1}) {
            tabs()->setCurrentIndex(tab);
            QCoreApplication::processEvents();
            const char* first = tab == 0 ? "Memo1" : "Memo3";
            const char* second = tab == 0 ? "Memo2" : "Memo4";
            QWidget* row = box(first)->parentWidget();
            const int width = row->width();
            const int left = (width - 64 - 10) / 2;
            QCOMPARE(box(first)->width(), left);
            QCOMPARE(box(second)->geometry().right(), width - 1);
            if (tab == 0) {
                QCOMPARE(list("ListBox1")->width(), left);
                QCOMPARE(list("ListBox2")->x(), box("Memo2")->x());
            } else {
                const int listWidth = list("ListBox3")->parentWidget()->width();
                QCOMPARE(list("ListBox3")->width(), (listWidth - 54) / 3);
                QCOMPARE(list("ListBox4")->width(), (listWidth - 54) / 3);
                QCOMPARE(list("ListBox5")->geometry().right(), listWidth - 1);
                QCOMPARE(box("Memo5")->width(), width);
            }
        }
    }
}

void TestRuleEditor::toolbarCloseHelpAndConfigure() {
    const qsizetype callsBefore = m_platform->calls.size();
    trigger("MToolButton3"); // no help document in the folder: nothing opens
    QCOMPARE(m_platform->calls.size(), callsBefore);
    WriteFileBytes(path(u"NVK.html"_s), "<html></html>");
    trigger("MToolButton3");
    QCOMPARE(m_platform->calls.back().kind, QStringLiteral("openUrl"));
    QCOMPARE(m_platform->calls.back().text,
             QUrl::fromLocalFile(m_dir->path() + u"/NVK.html"_s).toString() + u"#editor"_s);

    trigger("MToolButton14"); // no configuration dialog given: nothing happens
    QDialog configure;
    m_dialog->setConfigureDialog(&configure);
    bool shown = false;
    QTimer::singleShot(0, &configure, [&] {
        shown = configure.isVisible();
        configure.reject();
    });
    trigger("MToolButton14");
    QVERIFY(shown);

    addNormal(u"kept"_s, u"x"_s);
    trigger("MToolButton2");
    QVERIFY(!m_dialog->isVisible());
    m_dialog->show();
    QCOMPARE(rows("ListBox1"), QStringList{u"kept"_s});
}

QTEST_MAIN(TestRuleEditor)
#include "RuleEditorTest.moc"
