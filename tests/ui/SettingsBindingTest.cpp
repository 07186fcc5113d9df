// The settings file through the real windows: start-up opening, loading at first show, saving at close.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "filedeal/HexText.h"
#include "main/TMainForm.h"
#include "settings/SettingsDocument.h"
#include "settings/SettingsKeys.h"
#include "settings/ui/LanguageMenu.h"
#include "settings/ui/TConfigure.h"
#include "support/WindowFixture.h"
#include "ui/PathListView.h"
#include "ui/PathText.h"

using norvik::settings::ReplaceMode;
using norvik::test::ProgramWindows;
using norvik::test::ReadFileBytes;
using norvik::test::StoredValue;
using norvik::test::StoreValue;
using norvik::test::TestFolders;
using norvik::test::WindowFixture;
using norvik::test::WriteFileBytes;
using norvik::ui::TargetEntry;

namespace {

template <typename T> T* DialogPart(const ProgramWindows& p, const char* name) {
    T* part = p.configure->findChild<T*>(QLatin1String(name));
    if (part == nullptr) {
        qFatal("no part %s", name);
    }
    return part;
}

using Widgets = norvik::ui::MainFormWidgets;

QString Memo(const ProgramWindows& p, QPlainTextEdit* Widgets::*box) {
    return (p.form->widgets().*box)->toPlainText();
}

bool Box(const ProgramWindows& p, QCheckBox* Widgets::*box) {
    return (p.form->widgets().*box)->isChecked();
}

std::string Hex(const std::string& text) {
    return norvik::filedeal::TextToHex(text);
}

// Every key's stored value, or the reason it cannot be read.
QStringList StoredValues(const TestFolders& folders) {
    QStringList values;
    for (const auto& key : norvik::settings::keys::kAllKeys) {
        try {
            values << QString::fromStdString(folders.stored(key.key));
        } catch (const norvik::settings::SettingsError& error) {
            values << QString::fromUtf8(error.what());
        }
    }
    return values;
}

} // namespace

class SettingsBindingTest : public QObject {
    Q_OBJECT

private slots:
    void closeAndRestartGivesBackTheWorkingState();
    void shippedSettingsGiveTheBuiltInState();
    void badFlagStopsLoadingAndLaterKeysKeepTheWindowState();
    void eachBadKeyStopsAtItselfWithItsMessage();
    void missingAndUnparsableSettingsFileEndTheProgram();
    void ruleSetIsPickedByFileNameAndKeptWhenMultipleIsOff();
    void outputFolderModeNeedsAFolderThatCanBeHad();
    void nothingIsWrittenWhenTheFileWasDeleted();
    void aFileOfAnEarlierVersionLoadsTheDefaultsAndGetsTheNewKeys();
    void secondWindowOnOneSettingsFileSaysSoAndNeverSavesOverTheFirst();
};

void SettingsBindingTest::closeAndRestartGivesBackTheWorkingState() {
    WindowFixture folders{WindowFixture::ShippedFolders{}};
    const std::string folderWithMarks = folders.dir(QStringLiteral("a;b c")) + "/";
    const std::string chineseFolder = folders.dir(QStringLiteral("目录 二")) + "/";
    const std::string file = folders.file(QStringLiteral("f;1 .txt"));
    const std::string output = folders.dir(QStringLiteral("out")) + "/";
    const QString threeLines = QStringLiteral("第一行\nline two\n第三行\n");
    QString chosenRuleSet;
    {
        ProgramWindows p(folders.exe.path());
        QVERIFY(p.start());
        QVERIFY(p.platform.messages().isEmpty());
        const auto& w = p.form->widgets();

        p.form->addTarget(folderWithMarks);
        p.form->addTarget(file);
        p.form->addTarget(chineseFolder);
        w.targetList->rows().setChecked(1, false);

        w.backupCheck->setChecked(false);
        w.caseSensitiveCheck->setChecked(true);
        w.subfoldersCheck->setChecked(false);
        w.forceReadOnlyCheck->setChecked(true);
        w.multipleCheck->setChecked(true);
        p.form->switchToFeatureMode();

        w.findText->setPlainText(QStringLiteral("find"));
        w.replacementText->setPlainText(QStringLiteral("替换为"));
        w.featureStartText->setPlainText(threeLines);
        w.featureEndText->setPlainText(QStringLiteral("end"));
        w.featureReplacementText->setPlainText(QStringLiteral("new\ntext"));

        // The configuration dialog: file types, an output folder and the extraction flags, then OK.
        p.configure->fillFileTypes("*.txt;*.md;*.log");
        QVERIFY(p.configure->tickFileTypes("*.md;*.log"));
        DialogPart<QRadioButton>(p, "RadioButton2")->setChecked(true);
        p.platform.folderAnswers = {folders.data.filePath(QStringLiteral("out"))};
        p.configure->browseOutputFolder();
        DialogPart<QCheckBox>(p, "CheckBox1")->setChecked(false);
        DialogPart<QCheckBox>(p, "CheckBox2")->setChecked(true);
        DialogPart<QCheckBox>(p, "CheckBox3")->setChecked(false);
        DialogPart<QCheckBox>(p, "CheckBox4")->setChecked(true);
        DialogPart<QCheckBox>(p, "CheckBox5")->setChecked(false);
        DialogPart<QLineEdit>(p, "Edit2")->setText(QStringLiteral("vendor;*.min.js;资料"));
        p.configure->acceptConfiguration();

        QCOMPARE(p.form->languageMenu().entries().size(), 2);
        p.form->languageMenu().entries()[1]->trigger();
        QCOMPARE(p.form->options().language, std::string("English"));

        QVERIFY(w.ruleSetChooser->count() >= 2);
        w.ruleSetChooser->setCurrentIndex(1);
        // Chosen after the last options refresh: still stored.
        chosenRuleSet = w.ruleSetChooser->currentText();

        QVERIFY(p.close());
        QVERIFY(p.platform.messages().isEmpty());
    }

    // The stored values themselves: hex of the path bytes, CR LF line breaks, the rule set's name.
    QCOMPARE(folders.stored("Target"), Hex(folderWithMarks) + ";1;" + Hex(file) + ";0;" + Hex(chineseFolder) + ";1");
    QCOMPARE(folders.stored("CharacterReplaceMemo1"), Hex("\xB5\xDA\xD2\xBB\xD0\xD0\r\nline two\r\n"
                                                          "\xB5\xDA\xC8\xFD\xD0\xD0\r\n"));
    QCOMPARE(folders.stored("ReplaceType"), std::string("2"));
    QCOMPARE(folders.stored("RepacleRulesFile"),
             folders.exeBytes() + "MultiRules/" + norvik::test::Bytes(chosenRuleSet) + ".crr");
    QVERIFY(ReadFileBytes(folders.settingsFile()).contains("<!-- Norvik settings."));

    ProgramWindows p(folders.exe.path());
    QVERIFY(p.start());
    QVERIFY(p.platform.messages().isEmpty());
    const auto& w = p.form->widgets();
    const std::vector<TargetEntry> expected{{folderWithMarks, true}, {file, false}, {chineseFolder, true}};
    QVERIFY(p.form->targets().entries() == expected);
    QVERIFY(!Box(p, &Widgets::backupCheck) && Box(p, &Widgets::caseSensitiveCheck) &&
            !Box(p, &Widgets::subfoldersCheck) && Box(p, &Widgets::forceReadOnlyCheck) &&
            Box(p, &Widgets::multipleCheck));
    QCOMPARE(p.form->mode(), ReplaceMode::Feature);
    QVERIFY(w.featureModeItem->isChecked() && w.featureModeButton->isChecked());
    QCOMPARE(Memo(p, &Widgets::findText), QStringLiteral("find"));
    QCOMPARE(Memo(p, &Widgets::replacementText), QStringLiteral("替换为"));
    QCOMPARE(Memo(p, &Widgets::featureStartText), threeLines);
    QCOMPARE(Memo(p, &Widgets::featureEndText), QStringLiteral("end"));
    QCOMPARE(Memo(p, &Widgets::featureReplacementText), QStringLiteral("new\ntext"));

    const norvik::settings::ReplaceOptions& options = p.form->options();
    QCOMPARE(options.fileTypes, std::string("*.txt;*.md;*.log"));
    QCOMPARE(options.selectedTypes, std::string("*.md;*.log"));
    QCOMPARE(p.configure->listedTypes(), std::string("*.txt;*.md;*.log"));
    QCOMPARE(p.configure->tickedTypes(), std::string("*.md;*.log"));
    QCOMPARE(options.outputFolder, output);
    QVERIFY(options.outputToFolder);
    QVERIFY(DialogPart<QRadioButton>(p, "RadioButton2")->isChecked());
    QCOMPARE(DialogPart<QLineEdit>(p, "Edit1")->text(), norvik::ui::PathText(output));
    QVERIFY(!w.backupCheck->isEnabled()); // nothing to back up in output-folder mode
    QVERIFY(!options.extractAddSource && options.extractBlankLine && !options.extractIncludeStart &&
            options.extractIncludeEnd);
    QVERIFY(!DialogPart<QCheckBox>(p, "CheckBox1")->isChecked());
    QVERIFY(DialogPart<QCheckBox>(p, "CheckBox2")->isChecked());
    QVERIFY(!options.defaultExcludes && !DialogPart<QCheckBox>(p, "CheckBox5")->isChecked());
    QCOMPARE(options.excludeMasks, std::string("vendor;*.min.js;\xE8\xB5\x84\xE6\x96\x99"));
    QCOMPARE(DialogPart<QLineEdit>(p, "Edit2")->text(), QStringLiteral("vendor;*.min.js;资料"));

    QCOMPARE(options.language, std::string("English"));
    QCOMPARE(w.backupCheck->text(), QStringLiteral("Back up first"));
    QVERIFY(p.form->languageMenu().entries()[1]->isChecked());
    QVERIFY(!p.form->languageMenu().entries()[0]->isChecked());

    QVERIFY(w.ruleSetChooser->isVisibleTo(p.form.get()));
    QCOMPARE(w.ruleSetChooser->currentText(), chosenRuleSet);
    QVERIFY(options.multiple);
}

void SettingsBindingTest::shippedSettingsGiveTheBuiltInState() {
    WindowFixture folders{WindowFixture::ShippedFolders{}};
    ProgramWindows p(folders.exe.path());
    QVERIFY(p.start());
    QVERIFY(p.platform.messages().isEmpty());
    const auto& w = p.form->widgets();
    QVERIFY(p.form->targets().entries().empty());
    QVERIFY(Box(p, &Widgets::backupCheck) && !Box(p, &Widgets::caseSensitiveCheck) &&
            Box(p, &Widgets::subfoldersCheck) && !Box(p, &Widgets::forceReadOnlyCheck) &&
            !Box(p, &Widgets::multipleCheck));
    QCOMPARE(p.form->mode(), ReplaceMode::Normal);
    QVERIFY(!p.form->options().outputToFolder);
    QVERIFY(DialogPart<QRadioButton>(p, "RadioButton1")->isChecked());
    QCOMPARE(p.form->options().selectedTypes, std::string("*.txt;*.htm;*.c;*.cpp"));
    QCOMPARE(p.form->options().language, std::string("Chinese_Simplified"));
    QCOMPARE(w.backupCheck->text(), QStringLiteral("替换前备份"));
    QVERIFY(p.form->options().extractAddSource && !p.form->options().extractBlankLine);
    QVERIFY(!w.ruleSetChooser->isVisibleTo(p.form.get()));

    // Closing unchanged rewrites the same values: the shipped file loads the same afterwards.
    QVERIFY(p.close());
    for (const auto& key : norvik::settings::keys::kAllKeys) {
        QCOMPARE(folders.stored(key.key), std::string(key.value));
    }
}

void SettingsBindingTest::badFlagStopsLoadingAndLaterKeysKeepTheWindowState() {
    WindowFixture folders{WindowFixture::ShippedFolders{}};
    const std::string target = folders.dir(QStringLiteral("t")) + "/";
    folders.store("Target", Hex(target) + ";1");
    folders.store("BackUp", "0");
    folders.store("Case_Sensitive", "2");
    folders.store("Subdir", "yes");
    folders.store("MutilReplace", "1");
    folders.store("ReplaceType", "2");
    folders.store("NormalReplaceMemo1", Hex("ab"));
    folders.store("Language", "English");

    ProgramWindows p(folders.exe.path());
    QVERIFY(p.start());
    QCOMPARE(p.platform.messages(), QStringList{QStringLiteral("'yes' is not a valid integer value")});
    const std::vector<TargetEntry> expected{{target, true}};
    QVERIFY(p.form->targets().entries() == expected);
    QVERIFY(!Box(p, &Widgets::backupCheck));
    QVERIFY(Box(p, &Widgets::caseSensitiveCheck)); // 2 is on
    // From the bad key on, the window keeps its state before loading.
    QVERIFY(Box(p, &Widgets::subfoldersCheck));
    QVERIFY(!Box(p, &Widgets::multipleCheck));
    QCOMPARE(p.form->mode(), ReplaceMode::Normal);
    QCOMPARE(Memo(p, &Widgets::findText), QString());
    // No language: the built-in captions stay and the Language menu is not filled.
    QCOMPARE(p.form->widgets().backupCheck->text(), QStringLiteral("替换前备份"));
    QVERIFY(p.form->languageMenu().entries().isEmpty());

    // Closing writes the keys that were loaded; the bad key and the keys after it keep their stored
    // text, unless the user changed that setting (the replacement text here).
    p.form->widgets().replacementText->setPlainText(QStringLiteral("新"));
    QVERIFY(p.close());
    QCOMPARE(p.platform.messages().size(), 1);
    QCOMPARE(folders.stored("Case_Sensitive"), std::string("1"));
    QCOMPARE(folders.stored("Subdir"), std::string("yes"));
    QCOMPARE(folders.stored("MutilReplace"), std::string("1"));
    QCOMPARE(folders.stored("ReplaceType"), std::string("2"));
    QCOMPARE(folders.stored("NormalReplaceMemo1"), Hex("ab"));
    QCOMPARE(folders.stored("NormalReplaceMemo2"), Hex("\xD0\xC2"));
    QCOMPARE(folders.stored("Language"), std::string("English"));

    // The next start meets the same bad value; fixed, every kept key loads again.
    folders.store("Subdir", "0");
    ProgramWindows again(folders.exe.path());
    QVERIFY(again.start());
    QVERIFY2(again.platform.messages().isEmpty(), qPrintable(again.platform.messages().join(QLatin1Char('|'))));
    QCOMPARE(again.form->mode(), ReplaceMode::Feature);
    QCOMPARE(Memo(again, &Widgets::findText), QStringLiteral("ab"));
    QCOMPARE(again.form->options().language, std::string("English"));
}

void SettingsBindingTest::eachBadKeyStopsAtItselfWithItsMessage() {
    struct Case {
        const char* name;
        std::function<void(const TestFolders&, const std::string&)> spoil;
        QString message;
        std::function<void(const ProgramWindows&, const std::string&)> check;
    };
    const std::vector<Case> cases{
        {"odd target count",
         [](const TestFolders& f, const std::string& t) { f.store("Target", Hex(t) + ";1;" + Hex(t + "x")); },
         QStringLiteral("List index out of bounds (3)"),
         [](const ProgramWindows& p, const std::string& t) {
             // The entry whose flag is missing is added, unticked; the next key is not read.
             const std::vector<TargetEntry> expected{{t, true}, {t + "x", false}};
             QVERIFY(p.form->targets().entries() == expected);
             QVERIFY(Box(p, &Widgets::backupCheck));
         }},
        {"target flag not a number",
         [](const TestFolders& f, const std::string& t) { f.store("Target", Hex(t) + ";on"); },
         QStringLiteral("'on' is not a valid integer value"),
         [](const ProgramWindows& p, const std::string& t) {
             const std::vector<TargetEntry> expected{{t, false}};
             QVERIFY(p.form->targets().entries() == expected);
         }},
        {"empty mode number", [](const TestFolders& f, const std::string&) { f.store("ReplaceType", ""); },
         QStringLiteral("'' is not a valid integer value"),
         [](const ProgramWindows& p, const std::string&) {
             QVERIFY(!Box(p, &Widgets::backupCheck)); // read before the mode
             QCOMPARE(Memo(p, &Widgets::findText), QString());
         }},
        {"memo with an element inside",
         [](const TestFolders& f, const std::string&) {
             f.store("CharacterReplaceMemo1", "6162");
             QByteArray bytes = ReadFileBytes(f.settingsFile());
             bytes.replace(">6162</CharacterReplaceMemo1>", "><b>6162</b></CharacterReplaceMemo1>");
             WriteFileBytes(f.settingsFile(), bytes);
         },
         QStringLiteral("Element does not contain a single text node"),
         [](const ProgramWindows& p, const std::string&) {
             QCOMPARE(Memo(p, &Widgets::findText), QStringLiteral("ab"));
             QCOMPARE(Memo(p, &Widgets::featureStartText), QString());
             QVERIFY(p.form->options().language.empty());
         }},
    };
    for (const Case& c : cases) {
        WindowFixture folders{WindowFixture::ShippedFolders{}};
        const std::string target = folders.dir(QStringLiteral("t")) + "/";
        folders.store("BackUp", "0");
        folders.store("NormalReplaceMemo1", Hex("ab"));
        c.spoil(folders, target);
        const QStringList spoiled = StoredValues(folders);
        ProgramWindows p(folders.exe.path());
        QVERIFY2(p.start(), c.name);
        QVERIFY2(p.platform.messages() == QStringList{c.message}, c.name);
        c.check(p, target);
        QVERIFY2(p.form->languageMenu().entries().isEmpty(), c.name);
        // Nothing changed by the user: a plain close gives back every key as it was stored.
        QVERIFY2(p.close(), c.name);
        QVERIFY2(p.platform.messages() == QStringList{c.message}, c.name);
        QCOMPARE(StoredValues(folders), spoiled);
    }
}

void SettingsBindingTest::missingAndUnparsableSettingsFileEndTheProgram() {
    {
        QTemporaryDir exe;
        ProgramWindows p(exe.path());
        QVERIFY(!p.open());
        QCOMPARE(p.platform.messages(), QStringList{QStringLiteral("NVK.xml is not exist!!!")});
        // Nothing is created at close either.
        p.form->saveOnClose();
        QVERIFY(!QFile::exists(exe.filePath(QStringLiteral("NVK.xml"))));
    }
    {
        WindowFixture folders{WindowFixture::ShippedFolders{}};
        const QByteArray broken("<?xml version=\"1.0\"?>\n<Norvik><Options><BackUp>1</Options></Norvik>\n");
        WriteFileBytes(folders.settingsFile(), broken);
        ProgramWindows p(folders.exe.path());
        QVERIFY(!p.open());
        const QStringList messages = p.platform.messages();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages[0], QStringLiteral("Load NVK.xml Error!!!"));
        QVERIFY(!messages[1].isEmpty());
        QVERIFY(messages[1] != messages[0]);
        p.form->saveOnClose();
        QCOMPARE(ReadFileBytes(folders.settingsFile()), broken);
    }
}

void SettingsBindingTest::ruleSetIsPickedByFileNameAndKeptWhenMultipleIsOff() {
    WindowFixture folders{WindowFixture::ShippedFolders{}};
    const std::string storedElsewhere = "/no/such/folder/MultiRules/删除C块注释.crr";
    folders.store("MutilReplace", "1");
    folders.store("ReplaceType", "2");
    folders.store("RepacleRulesFile", storedElsewhere);
    {
        ProgramWindows p(folders.exe.path());
        QVERIFY(p.start());
        const auto& w = p.form->widgets();
        QCOMPARE(w.ruleSetChooser->currentText(), QStringLiteral("删除C块注释"));
        // Multiple replacement switched off before closing (no job run since): the stored choice stays.
        w.multipleCheck->setChecked(false);
        QVERIFY(p.close());
        QCOMPARE(folders.stored("RepacleRulesFile"), storedElsewhere);
        QCOMPARE(folders.stored("MutilReplace"), std::string("0"));
    }
    {
        // A name that matches no entry leaves nothing chosen; with a choice made it is written.
        folders.store("MutilReplace", "1");
        folders.store("RepacleRulesFile", "/x/MultiRules/none.crr");
        ProgramWindows p(folders.exe.path());
        QVERIFY(p.start());
        const auto& w = p.form->widgets();
        QCOMPARE(w.ruleSetChooser->currentIndex(), -1);
        w.ruleSetChooser->setCurrentIndex(w.ruleSetChooser->findText(QStringLiteral("删除HTML注释")));
        QVERIFY(p.close());
        QCOMPARE(folders.stored("RepacleRulesFile"), folders.exeBytes() + "MultiRules/删除HTML注释.crr");
    }
    {
        // Switched on and chosen after the start, with no job run since: the choice is stored.
        folders.store("MutilReplace", "0");
        folders.store("ReplaceType", "1");
        ProgramWindows p(folders.exe.path());
        QVERIFY(p.start());
        const auto& w = p.form->widgets();
        w.multipleCheck->setChecked(true);
        w.ruleSetChooser->setCurrentIndex(w.ruleSetChooser->findText(QStringLiteral("全角标点转半角")));
        QVERIFY(!p.form->options().multiple);
        QVERIFY(p.close());
        QCOMPARE(folders.stored("RepacleRulesFile"), folders.exeBytes() + "MultiRules/全角标点转半角.nrr");
        QCOMPARE(folders.stored("MutilReplace"), std::string("1"));
    }
}

void SettingsBindingTest::outputFolderModeNeedsAFolderThatCanBeHad() {
    struct Case {
        const char* name;
        QString folder; // relative to the targets folder; empty stays empty
        bool outputMode;
    };
    const std::vector<Case> cases{
        {"existing folder", QStringLiteral("out"), true},
        {"folder created one level deep", QStringLiteral("new"), true},
        {"parent missing", QStringLiteral("missing/new"), false},
        {"empty", QString(), false},
    };
    for (const Case& c : cases) {
        WindowFixture folders{WindowFixture::ShippedFolders{}};
        (void)folders.dir(QStringLiteral("out"));
        const std::string stored =
            c.folder.isEmpty() ? std::string() : norvik::test::Bytes(folders.data.filePath(c.folder)) + "/";
        folders.store("itsSelf", "1");
        folders.store("OutPutDir", stored);
        ProgramWindows p(folders.exe.path());
        QVERIFY2(p.start(), c.name);
        QVERIFY2(p.platform.messages().isEmpty(), c.name);
        QVERIFY2(p.form->options().outputToFolder == c.outputMode, c.name);
        QCOMPARE(p.form->options().outputFolder, c.outputMode ? stored : std::string());
        QVERIFY2(DialogPart<QRadioButton>(p, "RadioButton2")->isChecked() == c.outputMode, c.name);
        QVERIFY2(stored.empty() || QDir(norvik::ui::PathText(stored)).exists() == c.outputMode, c.name);
        QVERIFY(p.close());
        QCOMPARE(folders.stored("itsSelf"), std::string(c.outputMode ? "1" : "0"));
    }
}

void SettingsBindingTest::nothingIsWrittenWhenTheFileWasDeleted() {
    WindowFixture folders{WindowFixture::ShippedFolders{}};
    ProgramWindows p(folders.exe.path());
    QVERIFY(p.start());
    p.form->widgets().findText->setPlainText(QStringLiteral("lost"));
    QVERIFY(QFile::remove(folders.settingsFile()));
    QVERIFY(p.close());
    QVERIFY(!QFile::exists(folders.settingsFile()));
    QVERIFY(p.platform.messages().isEmpty());
}

void SettingsBindingTest::secondWindowOnOneSettingsFileSaysSoAndNeverSavesOverTheFirst() {
    WindowFixture folders{WindowFixture::ShippedFolders{}};
    {
        ProgramWindows first(folders.exe.path());
        QVERIFY(first.start());
        QVERIFY(first.platform.messages().isEmpty());
        ProgramWindows second(folders.exe.path());
        QVERIFY(second.start());
        QCOMPARE(second.platform.messages(),
                 QStringList{QStringLiteral("设置文件正被另一个 Norvik 窗口使用，本窗口关闭时不会保存设置:\n") +
                             folders.settingsFile()});

        // The first window closes first and saves; the second, closed last, leaves that alone.
        first.form->widgets().findText->setPlainText(QStringLiteral("first"));
        second.form->widgets().findText->setPlainText(QStringLiteral("second"));
        QVERIFY(first.close());
        QVERIFY(second.close());
        QCOMPARE(second.platform.messages().size(), 1);
        QCOMPARE(folders.stored("NormalReplaceMemo1"), Hex("first"));
    }
    // Once the holder is gone, the next window holds the file and saves it.
    ProgramWindows third(folders.exe.path());
    QVERIFY(third.start());
    QVERIFY(third.platform.messages().isEmpty());
    QCOMPARE(Memo(third, &Widgets::findText), QStringLiteral("first"));
    third.form->widgets().findText->setPlainText(QStringLiteral("third"));
    QVERIFY(third.close());
    QCOMPARE(folders.stored("NormalReplaceMemo1"), Hex("third"));
}

// A settings file written before the exclusions existed: no message, the defaults, and the keys are
// added when the window saves.
void SettingsBindingTest::aFileOfAnEarlierVersionLoadsTheDefaultsAndGetsTheNewKeys() {
    WindowFixture folders{WindowFixture::ShippedFolders{}};
    QByteArray earlier = ReadFileBytes(folders.settingsFile());
    const qsizetype from = earlier.indexOf("  <Exclusions>");
    const qsizetype to = earlier.indexOf("</Exclusions>\n");
    QVERIFY(from > 0 && to > from);
    earlier.remove(from, to + 14 - from);
    WriteFileBytes(folders.settingsFile(), earlier);
    QVERIFY(!ReadFileBytes(folders.settingsFile()).contains("Exclude"));
    {
        ProgramWindows p(folders.exe.path());
        QVERIFY(p.start());
        QVERIFY(p.platform.messages().isEmpty());
        QVERIFY(p.form->options().defaultExcludes);
        QCOMPARE(p.form->options().excludeMasks, std::string());
        QCOMPARE(p.form->options().selectedTypes, std::string("*.txt;*.htm;*.c;*.cpp"));
        p.form->options().excludeMasks = "*.min.js";
        QVERIFY(p.close());
    }
    QCOMPARE(folders.stored("DefaultExcludes"), std::string("1"));
    QCOMPARE(folders.stored("ExcludeMasks"), std::string("*.min.js"));
    const QByteArray saved = ReadFileBytes(folders.settingsFile());
    QVERIFY(saved.endsWith("  <Exclusions>\n    <DefaultExcludes>1</DefaultExcludes>\n    "
                           "<ExcludeMasks>*.min.js</ExcludeMasks>\n  </Exclusions>\n</Norvik>\n"));

    // A value that does not load keeps its stored text, like the other keys.
    folders.store("DefaultExcludes", "maybe");
    ProgramWindows p(folders.exe.path());
    QVERIFY(p.start());
    QCOMPARE(p.platform.messages(), QStringList{QStringLiteral("'maybe' is not a valid integer value")});
    QVERIFY(p.form->options().defaultExcludes);
    QVERIFY(p.close());
    QCOMPARE(folders.stored("DefaultExcludes"), std::string("maybe"));
}

QTEST_MAIN(SettingsBindingTest)
#include "SettingsBindingTest.moc"
