// The main window: mode switch, target list, rule-set chooser, option refresh and named parts.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#include "job/ui/PreviewPane.h"
#include "main/MemoPage.h"
#include "main/ProgramArguments.h"
#include "main/TMainForm.h"
#include "main/Tabout_form.h"
#include "platform/IPlatform.h"
#include "settings/LanguagePack.h"
#include "settings/ui/TConfigure.h"
#include "support/WindowFixture.h"
#include "ui/ComponentCaption.h"
#include "ui/MemoText.h"
#include "ui/PathListView.h"

using norvik::settings::ReplaceMode;
using norvik::test::Bytes;
using norvik::ui::MemoTextUtf8;
using norvik::ui::SetMemoTextUtf8;
using norvik::ui::TargetEntry;
using norvik::ui::TMainForm;

namespace {

void Touch(const QString& path) {
    norvik::test::WriteFileBytes(path, {});
}

QStringList ComboEntries(const QComboBox& combo) {
    QStringList entries;
    for (int i = 0; i < combo.count(); ++i) {
        entries << combo.itemText(i);
    }
    return entries;
}

// The window with its configuration dialog, whose rule folder holds a.nrr, b.crr and sub/c.nrr.
struct Fixture : norvik::test::WindowFixture {
    Fixture() : WindowFixture(Dialog::Attached) {
        QDir(exe.path()).mkpath(QStringLiteral("MultiReplace/sub"));
        Touch(exe.filePath(QStringLiteral("MultiReplace/a.nrr")));
        Touch(exe.filePath(QStringLiteral("MultiReplace/b.crr")));
        Touch(exe.filePath(QStringLiteral("MultiReplace/sub/c.nrr")));
    }
};

} // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private slots:
    void startsInNormalMode();
    void modeSwitchFollowsTheTable();
    void modeCommandOnCurrentModeKeepsItPressed();
    void functionKeysSwitchModesEvenWithExtractionHidden();
    void multipleReplacementShowsChooserAndGreysTextBoxes();
    void chooserFollowsModeAndDropsThePick();
    void ruleEditorPathNeedsRefreshedOptionAndName();
    void addTargetChecksAndSelectsDuplicates();
    void addFolderAndFilesThroughDialogs();
    void typedPathIsTrimmedAndMustBeAFolder();
    void checkInvertDeleteClear();
    void dropsAddFilesAndFoldersInOrder();
    void dropsReachTheWindowFromEveryPart();
    void commandLinePathsAreTheirBytesAndNeverOptionsAfterDoubleDash();
    void refreshTakesCheckBoxesAndWritesTexts();
    void everyNamedPartIsFoundOnceFromTheWindow();
    void namedMembersCarryTheirComponentNames();
    void textBoxLayoutRules();
    void textBoxesFollowResize();
    void statusPanels();
    void memoTextsUseCrLfAndKeepEveryCharacter();
    void tabMovesTheFocusFromEveryTextBox();
    void captionsByComponentName();
    void aboutBoxStaysOneAndOkHidesIt();
};

void MainFormTest::startsInNormalMode() {
    Fixture f;
    const auto& w = f.w();
    QCOMPARE(f.form->mode(), ReplaceMode::Normal);
    QVERIFY(w.normalModeButton->isChecked());
    QVERIFY(!w.featureModeButton->isChecked());
    QVERIFY(w.normalModeItem->isChecked());
    QVERIFY(w.textTabs->isTabVisible(norvik::ui::kNormalTab));
    QVERIFY(!w.textTabs->isTabVisible(norvik::ui::kFeatureTab));
    QVERIFY(!w.textTabs->isTabVisible(norvik::ui::kExtractTab));
    QVERIFY(!w.listTabs->isTabVisible(norvik::ui::kErrorsTab));
    QVERIFY(w.caseSensitiveCheck->isEnabled());
    QVERIFY(!w.extractModeItem->isVisible());
    QVERIFY(!w.extractModeButton->isVisible());
    QVERIFY(w.backupCheck->isChecked() && w.subfoldersCheck->isChecked());
    QVERIFY(!w.multipleCheck->isChecked() && !w.forceReadOnlyCheck->isChecked() && !w.caseSensitiveCheck->isChecked());
    QVERIFY(!w.ruleSetChooser->isVisibleTo(f.form.get()));
    QCOMPARE(w.currentFileLine->text(), QStringLiteral(">>>"));
    QCOMPARE(f.form->windowTitle(), QStringLiteral("Norvik"));
}

void MainFormTest::modeSwitchFollowsTheTable() {
    Fixture f;
    const auto& w = f.w();
    w.caseSensitiveCheck->setChecked(true);

    f.form->switchToFeatureMode();
    QCOMPARE(f.form->mode(), ReplaceMode::Feature);
    QCOMPARE(f.form->options().mode, ReplaceMode::Feature);
    QVERIFY(!w.normalModeButton->isChecked() && w.featureModeButton->isChecked() && !w.extractModeButton->isChecked());
    QVERIFY(!w.normalModeItem->isChecked() && w.featureModeItem->isChecked() && !w.extractModeItem->isChecked());
    QVERIFY(!w.textTabs->isTabVisible(norvik::ui::kNormalTab));
    QVERIFY(w.textTabs->isTabVisible(norvik::ui::kFeatureTab));
    QCOMPARE(w.textTabs->currentIndex(), int(norvik::ui::kFeatureTab));
    QVERIFY(!w.caseSensitiveCheck->isEnabled());
    QVERIFY(w.caseSensitiveCheck->isChecked()); // a disabled box keeps its mark

    f.form->switchToExtractMode();
    QCOMPARE(f.form->mode(), ReplaceMode::Extract);
    QVERIFY(w.textTabs->isTabVisible(norvik::ui::kExtractTab));
    QVERIFY(!w.textTabs->isTabVisible(norvik::ui::kFeatureTab));
    QVERIFY(w.extractModeItem->isChecked() && !w.featureModeItem->isChecked());
    QVERIFY(!w.caseSensitiveCheck->isEnabled());

    f.form->switchToNormalMode();
    QCOMPARE(f.form->mode(), ReplaceMode::Normal);
    QVERIFY(w.textTabs->isTabVisible(norvik::ui::kNormalTab));
    QVERIFY(!w.textTabs->isTabVisible(norvik::ui::kExtractTab));
    QVERIFY(w.caseSensitiveCheck->isEnabled() && w.caseSensitiveCheck->isChecked());
    QVERIFY(w.normalModeButton->isChecked() && !w.extractModeButton->isChecked());
}

void MainFormTest::modeCommandOnCurrentModeKeepsItPressed() {
    Fixture f;
    const auto& w = f.w();
    f.form->switchToFeatureMode();
    // Triggering a checkable action flips its look before the command runs; the command must put
    // the current mode's button and item back.
    w.featureModeButton->trigger();
    w.featureModeItem->trigger();
    QCOMPARE(f.form->mode(), ReplaceMode::Feature);
    QVERIFY(w.featureModeButton->isChecked());
    QVERIFY(w.featureModeItem->isChecked());
    QVERIFY(!w.normalModeButton->isChecked());
    // Clicking another mode's button switches properly.
    w.normalModeButton->trigger();
    QCOMPARE(f.form->mode(), ReplaceMode::Normal);
    QVERIFY(w.normalModeButton->isChecked() && !w.featureModeButton->isChecked());
}

void MainFormTest::functionKeysSwitchModesEvenWithExtractionHidden() {
    Fixture f;
    f.form->show();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    QTest::keyClick(f.form.get(), Qt::Key_F10);
    QCOMPARE(f.form->mode(), ReplaceMode::Feature);
    QTest::keyClick(f.form.get(), Qt::Key_F10);
    QCOMPARE(f.form->mode(), ReplaceMode::Feature);
    QTest::keyClick(f.form.get(), Qt::Key_F11);
    QCOMPARE(f.form->mode(), ReplaceMode::Extract);
    QVERIFY(!f.w().extractModeItem->isVisible());
    QTest::keyClick(f.form.get(), Qt::Key_F9);
    QCOMPARE(f.form->mode(), ReplaceMode::Normal);
}

void MainFormTest::multipleReplacementShowsChooserAndGreysTextBoxes() {
    Fixture f;
    const auto& w = f.w();
    const QColor window = QApplication::palette().color(QPalette::Window);
    const QColor base = QApplication::palette().color(QPalette::Base);
    w.multipleCheck->click();
    QVERIFY(w.ruleSetChooser->isVisibleTo(f.form.get()));
    QVERIFY(w.ruleSetButton->isVisibleTo(f.form.get()));
    QVERIFY(!w.textTabs->isEnabled());
    for (QPlainTextEdit* memo :
         {w.findText, w.replacementText, w.featureStartText, w.featureEndText, w.featureReplacementText}) {
        QCOMPARE(memo->palette().color(QPalette::Base), window);
    }
    QCOMPARE(ComboEntries(*w.ruleSetChooser), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(w.ruleSetChooser->currentIndex(), -1);
    QVERIFY(w.ruleSetChooser->currentText().isEmpty());

    w.multipleCheck->click();
    QVERIFY(!w.ruleSetChooser->isVisibleTo(f.form.get()));
    QVERIFY(w.textTabs->isEnabled());
    QCOMPARE(w.findText->palette().color(QPalette::Base), base);
    // The box alone does not put multiple replacement in force; the options refresh does.
    QVERIFY(!f.form->options().multiple);
}

void MainFormTest::chooserFollowsModeAndDropsThePick() {
    Fixture f;
    const auto& w = f.w();
    w.multipleCheck->setChecked(true);
    w.ruleSetChooser->setCurrentIndex(0);
    f.form->switchToFeatureMode();
    QCOMPARE(ComboEntries(*w.ruleSetChooser), QStringList{QStringLiteral("b")});
    QCOMPARE(w.ruleSetChooser->currentIndex(), -1);
    // A set added later shows only after the next refresh.
    Touch(f.exe.filePath(QStringLiteral("MultiReplace/new.crr")));
    QCOMPARE(w.ruleSetChooser->count(), 1);
    f.form->switchToExtractMode();
    QCOMPARE(w.ruleSetChooser->count(), 2);
}

void MainFormTest::ruleEditorPathNeedsRefreshedOptionAndName() {
    Fixture f;
    const auto& w = f.w();
    const std::string folder = f.form->ruleFolder();
    QCOMPARE(folder, Bytes(f.exe.path()) + "/MultiReplace/");
    w.multipleCheck->setChecked(true);
    w.ruleSetChooser->setCurrentIndex(0);
    QCOMPARE(f.form->chosenRuleSetPath(), std::string()); // not in force before a refresh
    f.form->refreshOptions();
    QCOMPARE(f.form->chosenRuleSetPath(), folder + "a.nrr");
    f.form->switchToFeatureMode(); // drops the pick
    QCOMPARE(f.form->chosenRuleSetPath(), std::string());
    w.ruleSetChooser->setCurrentIndex(0);
    QCOMPARE(f.form->chosenRuleSetPath(), folder + "b.crr");
    // The editor command does nothing without an editor or in mode 3, and asks nothing.
    f.form->switchToExtractMode();
    f.form->openRuleEditor();
    QVERIFY(f.platform.calls.isEmpty());
}

void MainFormTest::addTargetChecksAndSelectsDuplicates() {
    Fixture f;
    auto& list = *f.w().targetList;
    f.form->addTarget("/data/Work/");
    f.form->addTarget("/data/work/");
    f.form->addTarget("/data/a.txt");
    QCOMPARE(list.count(), 3); // case-sensitive paths are different rows
    list.rows().setChecked(0, false);
    QCOMPARE(f.form->targets().selectedRow(), -1);

    f.form->addTarget("/data/Work/");
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.rows().isChecked(0), true);
    QCOMPARE(f.form->targets().selectedRow(), 0);

    f.form->addTarget("/data/new/"); // a new row does not move the selection
    QCOMPARE(f.form->targets().selectedRow(), 0);
    QCOMPARE(f.targets().back(), (TargetEntry{"/data/new/", true}));
}

void MainFormTest::addFolderAndFilesThroughDialogs() {
    Fixture f;
    const auto& w = f.w();
    const std::string folder = f.dir(QStringLiteral("Work"));

    w.listTabs->setCurrentIndex(norvik::ui::kResultsTab);
    f.platform.folderAnswers = {QString()}; // cancelled
    f.form->addFolder();
    QCOMPARE(w.targetList->count(), 0);
    QCOMPARE(w.listTabs->currentIndex(), int(norvik::ui::kTargetsTab));

    f.platform.folderAnswers = {QString::fromStdString(folder), QStringLiteral("/")};
    w.addFolderItem->trigger(); // the pop-up item shares the command
    f.form->addFolder();
    QCOMPARE(f.targets(), (std::vector<TargetEntry>{{folder + "/", true}, {"/", true}}));

    w.listTabs->setCurrentIndex(norvik::ui::kResultsTab);
    f.platform.openFilesAnswers = {QStringList()};
    f.form->addFiles();
    QCOMPARE(w.listTabs->currentIndex(), int(norvik::ui::kResultsTab)); // cancel changes nothing
    f.platform.openFilesAnswers = {{QStringLiteral("/d/b.txt"), QStringLiteral("/d/a.txt")}};
    f.form->addFiles();
    QCOMPARE(f.targets().size(), std::size_t(4));
    QCOMPARE(f.targets()[2].path, std::string("/d/b.txt"));
    QCOMPARE(f.targets()[3].path, std::string("/d/a.txt"));
    QCOMPARE(w.listTabs->currentIndex(), int(norvik::ui::kTargetsTab));
    const auto dialogs = f.platform.callsOf(QStringLiteral("openFiles"));
    QCOMPARE(dialogs.size(), 2);
    QCOMPARE(dialogs[1].text, QDir::homePath()); // where the user's files are, not "/"
    QCOMPARE(dialogs[1].detail, f.form->openDialogFilter());
}

void MainFormTest::typedPathIsTrimmedAndMustBeAFolder() {
    Fixture f;
    const std::string folder = f.dir(QStringLiteral("Work"));
    const std::string file = f.file(QStringLiteral("a.txt"));
    const QString missing = QStringLiteral("目录不存在，请重新输入");

    f.platform.inputAnswers = {QStringLiteral("  \t") + QString::fromStdString(folder) + QStringLiteral("   ")};
    f.form->addTypedFolder();
    QCOMPARE(f.targets(), (std::vector<TargetEntry>{{folder + "/", true}}));
    const auto prompts = f.platform.callsOf(QStringLiteral("input"));
    QCOMPARE(prompts.size(), 1);
    QCOMPARE(prompts[0].text, QStringLiteral("添加要操作的文件夹:              "));
    QVERIFY(prompts[0].detail.isEmpty());
    QVERIFY(f.platform.messages().isEmpty());

    f.platform.inputAnswers = {QString::fromStdString(file)};
    f.form->addTypedFolder();
    QCOMPARE(f.platform.messages(), QStringList{missing});
    QCOMPARE(f.targets().size(), std::size_t(1));

    f.platform.clearRecord();
    f.platform.inputAnswers = {std::nullopt};
    f.form->addTypedFolder();
    QVERIFY(f.platform.messages().isEmpty());

    // Regression: OK on an empty box must not add the root of the file system.
    f.platform.inputAnswers = {QStringLiteral("   ")};
    f.form->addTypedFolder();
    QCOMPARE(f.platform.messages(), QStringList{missing});
    QCOMPARE(f.targets().size(), std::size_t(1));

    // Typed again: no second row, the existing one is ticked and selected.
    f.w().targetList->rows().setChecked(0, false);
    f.platform.inputAnswers = {QString::fromStdString(folder) + QStringLiteral("/")};
    f.form->addTypedFolder();
    QCOMPARE(f.targets(), (std::vector<TargetEntry>{{folder + "/", true}}));
    QCOMPARE(f.form->targets().selectedRow(), 0);
}

void MainFormTest::checkInvertDeleteClear() {
    Fixture f;
    auto& list = *f.w().targetList;
    for (const char* path : {"/a/", "/b/", "/c/"}) {
        f.form->addTarget(path);
    }
    list.rows().setChecked(1, false);
    list.setCurrentRow(2);
    f.form->invertTargetTicks();
    QCOMPARE(f.targets(), (std::vector<TargetEntry>{{"/a/", false}, {"/b/", true}, {"/c/", false}}));
    QCOMPARE(f.form->targets().selectedRow(), 2);
    f.form->tickAllTargets();
    QCOMPARE(f.form->targets().checkedPaths().size(), std::size_t(3));

    list.setCurrentRow(1);
    f.form->deleteSelectedTarget();
    QCOMPARE(f.targets(), (std::vector<TargetEntry>{{"/a/", true}, {"/c/", true}}));
    f.form->deleteSelectedTarget(); // no row selected any more
    QCOMPARE(list.count(), 2);

    f.form->clearTargets();
    QCOMPARE(list.count(), 0);
    f.form->clearTargets();
    f.form->deleteSelectedTarget();
    QCOMPARE(list.count(), 0);
}

void MainFormTest::dropsAddFilesAndFoldersInOrder() {
    Fixture f;
    const std::string folder = f.dir(QStringLiteral("Work"));
    const std::string file = f.file(QStringLiteral("a.txt"));
    f.w().listTabs->setCurrentIndex(norvik::ui::kSearchTab);
    f.form->dropPaths(
        {QString::fromStdString(folder), QString::fromStdString(file), QString::fromStdString(folder + "/gone.txt")});
    QCOMPARE(f.targets(), (std::vector<TargetEntry>{{folder + "/", true}, {file, true}}));
    QCOMPARE(f.w().listTabs->currentIndex(), int(norvik::ui::kTargetsTab));
    QCOMPARE(f.platform.messages(), QStringList{QStringLiteral("以下路径不是文件或文件夹，未加入目标列表:\n") +
                                                QString::fromStdString(folder + "/gone.txt")});

    f.w().targetList->rows().setChecked(1, false);
    f.form->dropPaths({QString::fromStdString(file)});
    QCOMPARE(f.targets().size(), std::size_t(2));
    QVERIFY(f.targets()[1].checked);
    QCOMPARE(f.form->targets().selectedRow(), 1);
}

void MainFormTest::commandLinePathsAreTheirBytesAndNeverOptionsAfterDoubleDash() {
    using norvik::ui::ProgramArguments;
    const auto split = [](std::vector<std::string> words) {
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        ProgramArguments arguments = norvik::ui::SplitProgramArguments(static_cast<int>(argv.size()), argv.data());
        std::vector<std::string> toolkit;
        for (const char* argument : arguments.toolkitArguments) {
            toolkit.emplace_back(argument != nullptr ? argument : "<end>");
        }
        return std::tuple(arguments.request, toolkit, arguments.pathsAfterOptions);
    };
    // Help and version are options only before "--"; the toolkit never sees what follows it.
    QVERIFY(std::get<0>(split({"norvik", "-style", "x", "--help"})) == ProgramArguments::Request::Help);
    QVERIFY(std::get<0>(split({"norvik", "-h", "--", "a"})) == ProgramArguments::Request::Help);
    QVERIFY(std::get<0>(split({"norvik", "--version"})) == ProgramArguments::Request::Version);
    const auto [request, toolkit, after] = split({"norvik", "-title", "t", "--", "-title", "--", "--help"});
    QVERIFY(request == ProgramArguments::Request::OpenWindow);
    QCOMPARE(toolkit, (std::vector<std::string>{"norvik", "-title", "t", "<end>"}));
    QCOMPARE(after, (std::vector<std::string>{"-title", "--", "--help"}));

    // What the toolkit leaves: a GBK-named folder (not UTF-8) and a relative path before "--", an
    // unknown option, and names after "--" that look like options.
    Fixture f;
    const std::string start = f.dir(QStringLiteral("start"));
    const std::string gbkName = "\xD6\xD0\xCE\xC4";
    QVERIFY(QDir().mkpath(QString::fromStdString(start + "/sub")));
    QCOMPARE(::mkdir((start + "/" + gbkName).c_str(), 0700), 0);
    const std::string dashed = f.file(QStringLiteral("start/-title"));
    const std::string doubleDash = f.file(QStringLiteral("start/--"));
    std::string exe = "norvik", gbk = start + "/" + gbkName, relative = "sub", unknown = "-x";
    char* left[] = {exe.data(), gbk.data(), unknown.data(), relative.data(), nullptr};
    const norvik::ui::TargetArguments targets =
        norvik::ui::CollectTargetArguments(4, left, {"-title", "--", "gone", ""}, start);
    QCOMPARE(targets.unknownOption, std::string("-x"));
    f.form->addPaths(targets.paths);
    QCOMPARE(::rmdir(gbk.c_str()), 0); // the temporary folder's removal cannot name it
    QCOMPARE(f.targets(), (std::vector<TargetEntry>{
                              {gbk + "/", true}, {start + "/sub/", true}, {dashed, true}, {doubleDash, true}}));
    QCOMPARE(f.platform.messages(), QStringList{QStringLiteral("以下路径不是文件或文件夹，未加入目标列表:\n") +
                                                QString::fromStdString(start + "/gone")});
}

void MainFormTest::dropsReachTheWindowFromEveryPart() {
    Fixture f;
    // A child that took drops itself would swallow files dropped on it (a text box would paste the
    // path as text); every drop must reach the window.
    QVERIFY(f.form->acceptDrops());
    for (QWidget* child : f.form->findChildren<QWidget*>()) {
        QVERIFY2(!child->acceptDrops(), qPrintable(child->objectName() + QLatin1Char(' ') +
                                                   QString::fromLatin1(child->metaObject()->className())));
    }
    const std::string file = f.file(QStringLiteral("b.txt"));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file)), QUrl(QStringLiteral("https://example.org/x"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.form.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.form.get(), &drop);
    QCOMPARE(f.targets(), (std::vector<TargetEntry>{{file, true}}));
}

void MainFormTest::refreshTakesCheckBoxesAndWritesTexts() {
    Fixture f;
    const auto& w = f.w();
    auto& options = f.form->options();
    w.caseSensitiveCheck->setChecked(true);
    w.subfoldersCheck->setChecked(false);
    w.forceReadOnlyCheck->setChecked(true);
    f.form->refreshOptions();
    QVERIFY(options.backup && !options.ignoreCase && !options.subfolders && options.forceReadOnly);
    QCOMPARE(f.form->openDialogFilter(),
             QStringLiteral("支持文件类型(*.txt;*.htm;*.c;*.cpp)|*.txt;*.htm;*.c;*.cpp|所有文件(*.*)|*.*"));
    QCOMPARE(w.fileTypeLine->text(), QStringLiteral("当前操作的文件类型:*.txt;*.htm;*.c;*.cpp"));
    QCOMPARE(w.outputLine->text(), QStringLiteral("输出目录:文件原始目录     覆盖方式,可做备份"));
    // Qt's dialogs read blank-separated masks from the last parentheses of each entry.
    QCOMPARE(norvik::platform::ToQtFilter(f.form->openDialogFilter()),
             QStringLiteral("支持文件类型(*.txt;*.htm;*.c;*.cpp) (*.txt *.htm *.c *.cpp);;所有文件(*.*) (*)"));

    // Ticked but disabled (output-folder mode): no backup.
    f.form->setBackupEnabled(false);
    w.caseSensitiveCheck->setChecked(false);
    options.selectedTypes.clear();
    f.form->refreshOptions();
    QVERIFY(!options.backup && options.ignoreCase);
    QCOMPARE(f.form->openDialogFilter(), QStringLiteral("所有文件(*.*)|*.*"));
    QCOMPARE(w.fileTypeLine->text(), QStringLiteral("当前操作的文件类型:"));

    // The output mode comes from the configuration dialog's radio button.
    const std::string out = f.dir(QStringLiteral("out")) + "/";
    options.outputFolder = out;
    f.configure->showOutputFolder(out);
    f.form->refreshOptions();
    QVERIFY(options.outputToFolder);
    QCOMPARE(w.outputLine->text(),
             QStringLiteral("输出目录:") + QString::fromStdString(out) + QStringLiteral("     另存方式,无需备份"));
}

void MainFormTest::everyNamedPartIsFoundOnceFromTheWindow() {
    Fixture f;
    QStringList names{QStringLiteral("MainMenu1"),    QStringLiteral("ToolBar1"),      QStringLiteral("PopupMenu1"),
                      QStringLiteral("PopupMenu3"),   QStringLiteral("StatusBar1"),    QStringLiteral("PageControl1"),
                      QStringLiteral("PageControl2"), QStringLiteral("CheckListBox1"), QStringLiteral("CheckListBox2"),
                      QStringLiteral("ListBox1"),     QStringLiteral("ListBox2"),      QStringLiteral("ComboBox1")};
    const auto add = [&names](const char* prefix, std::initializer_list<int> numbers) {
        for (int n : numbers) {
            names << QString::fromLatin1(prefix) + QString::number(n);
        }
    };
    add("N", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18, 19, 20, 22, 26, 27, 28, 30, 31, 32});
    add("PopupMenu", {4});
    add("ToolButton", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16, 17, 18});
    add("TabSheet", {1, 2, 3, 4, 5, 6, 7});
    add("Memo", {1, 2, 3, 4, 5, 6, 7, 8});
    add("CheckBox", {1, 2, 3, 4, 5});
    add("SpeedButton", {1, 2, 3, 4, 5});
    add("Label", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    for (const QString& name : names) {
        QCOMPARE(f.form->findChildren<QObject*>(name).size(), 1);
    }
    const auto caption = [&f](const char* name) {
        return f.form->findChild<QAction*>(QLatin1String(name))->text();
    };
    QCOMPARE(caption("ToolButton17"), QStringLiteral("+文件夹"));
    QCOMPARE(caption("N26"), QStringLiteral("手动添加目标路径"));
    QCOMPARE(f.form->findChild<QAction*>(QStringLiteral("N16"))->shortcut(), QKeySequence(Qt::ALT | Qt::Key_M));
    QCOMPARE(f.form->findChild<QAction*>(QStringLiteral("N13"))->shortcut(), QKeySequence(Qt::ALT | Qt::Key_B));
    QCOMPARE(f.form->findChild<QCheckBox*>(QStringLiteral("CheckBox4"))->text(), QStringLiteral("只读文件强制替换"));
}

void MainFormTest::namedMembersCarryTheirComponentNames() {
    Fixture f;
    const auto& w = f.w();
    // Settings keys and language packs name parts by component; a member given the wrong part
    // would store or caption another box.
    const std::vector<std::pair<QObject*, const char*>> parts{{w.backupCheck, "CheckBox2"},
                                                              {w.caseSensitiveCheck, "CheckBox5"},
                                                              {w.subfoldersCheck, "CheckBox3"},
                                                              {w.forceReadOnlyCheck, "CheckBox4"},
                                                              {w.multipleCheck, "CheckBox1"},
                                                              {w.findText, "Memo1"},
                                                              {w.replacementText, "Memo2"},
                                                              {w.featureStartText, "Memo3"},
                                                              {w.featureEndText, "Memo4"},
                                                              {w.featureReplacementText, "Memo5"},
                                                              {w.searchText, "Memo6"},
                                                              {w.extractStartText, "Memo7"},
                                                              {w.extractEndText, "Memo8"},
                                                              {w.startButton, "SpeedButton2"},
                                                              {w.searchButton, "SpeedButton3"},
                                                              {w.pauseButton, "SpeedButton4"},
                                                              {w.stopButton, "SpeedButton5"},
                                                              {w.previewButton, "SpeedButton6"},
                                                              {w.runPreviewButton, "SpeedButton7"},
                                                              {w.ruleSetButton, "SpeedButton1"},
                                                              {w.currentFileLine, "Label3"},
                                                              {w.outputLine, "Label10"},
                                                              {w.fileTypeLine, "Label7"},
                                                              {w.targetsPage, "TabSheet4"},
                                                              {w.previewPage, "TabSheet8"},
                                                              {w.restoreItem, "N13"},
                                                              {w.extractModeButton, "ToolButton11"},
                                                              {w.languageMenu, "N18"},
                                                              {w.targetList, "CheckListBox1"},
                                                              {w.hitList, "CheckListBox2"}};
    for (const auto& [part, component] : parts) {
        QCOMPARE(part->objectName(), QLatin1String(component));
    }
    QCOMPARE(static_cast<QWidget*>(w.previewPane), w.previewPage);

    // Every part a language pack names in the main window is among the captioned parts, once.
    QStringList captioned;
    for (const QObject* part : w.captionedParts()) {
        QVERIFY(part != nullptr);
        captioned << part->objectName();
    }
    QCOMPARE(captioned.removeDuplicates(), 0);
    const auto check = [&captioned](const auto& keys) {
        for (const norvik::settings::CaptionKey& key : keys) {
            if (key.window == norvik::settings::CaptionWindow::Main) {
                const QString name =
                    QString::fromLatin1(key.component.data(), static_cast<qsizetype>(key.component.size()));
                QVERIFY2(captioned.contains(name), qPrintable(name));
            }
        }
    };
    check(norvik::settings::kCaptionKeys);
    check(norvik::settings::kAddedCaptionKeys);
}

void MainFormTest::textBoxLayoutRules() {
    using norvik::ui::LayoutMemoPage;
    using norvik::ui::MemoPageKind;
    const auto two = LayoutMemoPage(MemoPageKind::TwoBoxes, QSize(600, 301));
    QCOMPARE(two.boxes[0], QRect(6, 17, 588, 130)); // (301 - 40) / 2 rounds toward zero
    QCOMPARE(two.labels[1].top(), 17 + 130 + 2);
    QCOMPARE(two.boxes[1], QRect(6, 149 + 15, 588, 130));

    const auto feature = LayoutMemoPage(MemoPageKind::Feature, QSize(601, 300));
    QCOMPARE(feature.boxes[0], QRect(6, 17, (2 * 601 - 36) / 3, 130));
    QCOMPARE(feature.boxes[1].top(), feature.labels[1].top() + 15);
    QCOMPARE(feature.boxes[1].size(), feature.boxes[0].size());
    QCOMPARE(feature.boxes[2], QRect(2 * ((601 - 18) / 3) + 12, 17, (601 - 18) / 3, 300 - 19));
    QCOMPARE(feature.labels[2].left(), feature.boxes[2].left());

    const auto tiny = LayoutMemoPage(MemoPageKind::Feature, QSize(10, 10));
    for (const QRect& box : tiny.boxes) {
        QVERIFY(box.width() >= 0 && box.height() >= 0);
    }
}

void MainFormTest::textBoxesFollowResize() {
    using norvik::ui::LayoutMemoPage;
    using norvik::ui::MemoPageKind;
    Fixture f;
    f.form->show();
    const auto& w = f.w();
    for (QSize size : {QSize(900, 700), QSize(640, 480)}) {
        f.form->resize(size);
        QCoreApplication::processEvents();
        const QSize page = w.normalPage->size();
        const auto normal = LayoutMemoPage(MemoPageKind::TwoBoxes, page);
        QCOMPARE(w.findText->geometry(), normal.boxes[0]);
        QCOMPARE(w.replacementText->geometry(), normal.boxes[1]);
        QCOMPARE(w.replacementLabel->geometry(), normal.labels[1]);
        // The page of another mode gets the same size when it is shown.
        f.form->switchToFeatureMode();
        QCoreApplication::processEvents();
        QCOMPARE(w.featurePage->size(), page);
        const auto feature = LayoutMemoPage(MemoPageKind::Feature, page);
        QCOMPARE(w.featureStartText->geometry(), feature.boxes[0]);
        QCOMPARE(w.featureEndText->geometry(), feature.boxes[1]);
        QCOMPARE(w.featureReplacementText->geometry(), feature.boxes[2]);
        f.form->switchToExtractMode();
        QCoreApplication::processEvents();
        QCOMPARE(w.extractEndText->geometry(), normal.boxes[1]);
        f.form->switchToNormalMode();
    }
    // At the window's smallest the find and replacement boxes keep two lines each and every option
    // shows its whole caption, also after a pack has made the captions longer (the minimum the
    // window gives the window manager follows its layout).
    for (const QString& suffix : {QString(), QStringLiteral(" with a much longer caption")}) {
        for (QCheckBox* box : w.optionChecks()) {
            box->setText(box->text() + suffix);
        }
        QCoreApplication::processEvents(); // the layout takes the new captions
        f.form->resize(1, 1);
        QCoreApplication::processEvents();
        const int twoLines = w.findText->fontMetrics().lineSpacing() * 2;
        QVERIFY(w.findText->height() >= twoLines);
        QVERIFY(w.replacementText->height() >= twoLines);
        for (QCheckBox* box : w.optionChecks()) {
            QVERIFY2(box->width() >= box->sizeHint().width(), qPrintable(box->text()));
        }
    }
}

void MainFormTest::statusPanels() {
    Fixture f;
    const auto& w = f.w();
    QCOMPARE(w.elapsedPanel->width(), 130);
    QCOMPARE(w.progressPanel->width(), 40);
    QVERIFY(w.summaryPanel->minimumWidth() >= 70);

    // The bar's height is reserved: the first texts do not make it grow.
    Fixture g;
    g.form->show();
    QCoreApplication::processEvents();
    const int empty = g.w().statusBar->height();
    g.w().elapsedPanel->setText(QStringLiteral("耗时0分1秒5毫秒"));
    g.w().summaryPanel->setText(QStringLiteral("替换规则1条"));
    QCoreApplication::processEvents();
    QCOMPARE(g.w().statusBar->height(), empty);
}

void MainFormTest::memoTextsUseCrLfAndKeepEveryCharacter() {
    Fixture f;
    // The job matches typed texts against files whose lines end with CR LF; a lost non-breaking
    // space would find the wrong bytes.
    const std::string text = "第一行\r\na\u00A0b\r\n\r\n";
    SetMemoTextUtf8(*f.w().findText, text);
    QCOMPARE(MemoTextUtf8(*f.w().findText), text);
    SetMemoTextUtf8(*f.w().replacementText, "x\ny\rz");
    QCOMPARE(MemoTextUtf8(*f.w().replacementText), std::string("x\r\ny\r\nz"));

    f.w().multipleCheck->setChecked(true);
    f.form->pickRuleSet(QStringLiteral("c"));
    QCOMPARE(f.form->pickedRuleSet(), QStringLiteral("c"));
    f.form->pickRuleSet(QStringLiteral("C"));
    QVERIFY(f.form->pickedRuleSet().isEmpty());
}

void MainFormTest::tabMovesTheFocusFromEveryTextBox() {
    Fixture f;
    f.form->show();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    for (QPlainTextEdit* box : f.form->findChildren<QPlainTextEdit*>()) {
        QVERIFY2(box->tabChangesFocus(), qPrintable(box->objectName()));
    }
    // A keyboard user gets from 查找内容 to 替换内容, and the find text gains no invisible tab.
    f.w().findText->setFocus();
    QTest::keyClick(f.w().findText, Qt::Key_Tab);
    QVERIFY(f.w().findText->toPlainText().isEmpty());
    QVERIFY(!f.w().findText->hasFocus());
}

void MainFormTest::captionsByComponentName() {
    using norvik::ui::ComponentCaption;
    using norvik::ui::SetComponentCaption;
    Fixture f;
    QWidget& form = *f.form;
    for (const char* name : {"N8", "N10", "ToolButton3", "TabSheet6", "CheckBox2", "Label4", "SpeedButton2"}) {
        QVERIFY2(SetComponentCaption(form, QLatin1String(name), QLatin1String(name) + QStringLiteral("!")), name);
        QCOMPARE(ComponentCaption(form, QLatin1String(name)), QLatin1String(name) + QStringLiteral("!"));
    }
    QCOMPARE(f.w().textTabs->tabText(norvik::ui::kFeatureTab), QStringLiteral("TabSheet6!"));
    QCOMPARE(f.w().modeMenu->title(), QStringLiteral("N8!"));
    QVERIFY(!SetComponentCaption(form, QStringLiteral("NoSuchPart"), QStringLiteral("x")));
    QVERIFY(ComponentCaption(form, QStringLiteral("NoSuchPart")).isEmpty());
}

void MainFormTest::aboutBoxStaysOneAndOkHidesIt() {
    Fixture f;
    norvik::ui::Tabout_form about;
    f.form->setAboutBox(&about);
    f.form->show();
    f.w().aboutButton->trigger();
    f.w().aboutItem->trigger();
    QVERIFY(about.isVisible());
    QVERIFY(!about.isModal());
    QCOMPARE(about.windowTitle(), QStringLiteral("About Norvik"));
    about.okButton()->click();
    QVERIFY(!about.isVisible());
    QVERIFY(f.form->isVisible());
}

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
