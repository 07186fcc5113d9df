// The configuration dialog: file types, output mode, OK and Cancel, and what the main window sees.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "main/TMainForm.h"
#include "settings/ui/TConfigure.h"
#include "support/WindowFixture.h"

using norvik::test::Bytes;
using norvik::ui::TConfigure;
using norvik::ui::TMainForm;

namespace {

constexpr const char* kDefaults =
    "*.txt;*.htm;*.c;*.cpp;*.h;*.hpp;*.pas;*.dpr;*.bpr;*.asp;*.php;*.cgi;*.ini;*.bat;*.inc;*.java;*.py";

// The window with its dialog, which shows the window's options as on opening.
struct Fixture : norvik::test::WindowFixture {
    Fixture() : WindowFixture(Dialog::Attached) { configure->loadConfiguration(); }

    template <typename T> T* part(const char* name) const {
        T* found = configure->findChild<T*>(QLatin1String(name));
        if (found == nullptr) {
            qFatal("no part %s", name);
        }
        return found;
    }
    QListWidget& types() const { return *part<QListWidget>("CheckListBox1"); }
    /// Types the text into the add box and confirms it.
    void add(const QString& typed) {
        platform.inputAnswers = {typed};
        configure->addFileType();
    }
    QCheckBox& backupBox() const { return *w().backupCheck; }
};

} // namespace

class ConfigureDialogTest : public QObject {
    Q_OBJECT

private slots:
    void loadsTheOptions();
    void addingAListedTypeTicksIt();
    void addingHtml();
    void addingRefusesInvalidMasks();
    void listCommands();
    void defaultsThenOk();
    void okWithNothingTickedFallsBackToAllFiles();
    void outputFolderModeAndTheBackupBox();
    void okWithoutAFolderFallsBackToInPlace();
    void folderThatCannotBeCreatedSwitchesModeOff();
    void cancelRestoresEveryOption();
    void browseKeepsASingleSlash();
    void exclusionsLoadApplyAndCancel();
};

void ConfigureDialogTest::loadsTheOptions() {
    Fixture f;
    QCOMPARE(f.configure->listedTypes(), std::string(kDefaults));
    QCOMPARE(f.configure->tickedTypes(), std::string("*.txt;*.htm;*.c;*.cpp"));
    QVERIFY(f.part<QRadioButton>("RadioButton1")->isChecked());
    QVERIFY(!f.part<QLineEdit>("Edit1")->isEnabled());
    QVERIFY(f.part<QLineEdit>("Edit1")->isReadOnly());
    QVERIFY(!f.part<QToolButton>("SpeedButton1")->isEnabled());
    QCOMPARE(f.configure->windowTitle(), QStringLiteral("配置"));

    // A selected type missing from the list ticks nothing and is not added.
    f.form->options().fileTypes = "*.a;*.b";
    f.form->options().selectedTypes = "*.b;*.zz";
    f.form->options().extractBlankLine = true;
    f.configure->loadConfiguration();
    QCOMPARE(f.configure->listedTypes(), std::string("*.a;*.b"));
    QCOMPARE(f.configure->tickedTypes(), std::string("*.b"));
    QVERIFY(f.part<QCheckBox>("CheckBox2")->isChecked());
    QVERIFY(!f.part<QCheckBox>("CheckBox1")->isChecked());
}

void ConfigureDialogTest::addingAListedTypeTicksIt() {
    Fixture f;
    f.add(QStringLiteral("*.h"));
    QCOMPARE(f.configure->listedTypes(), std::string(kDefaults));
    QCOMPARE(f.configure->tickedTypes(), std::string("*.txt;*.htm;*.c;*.cpp;*.h"));
    const auto asked = f.platform.callsOf(QStringLiteral("input"));
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].text, QStringLiteral("填写需要增加的文件类型"));
    QCOMPARE(asked[0].detail, QStringLiteral("*."));

    // Case matters: the upper-case form is a new entry, ticked, at the end.
    f.add(QStringLiteral("*.TXT"));
    QCOMPARE(f.configure->listedTypes(), std::string(kDefaults) + ";*.TXT");
    QCOMPARE(f.types().item(17)->checkState(), Qt::Checked);

    // A ";" list only ticks the listed members and adds nothing.
    f.add(QStringLiteral("*.ini;*.new"));
    QCOMPARE(f.types().count(), 18);
    QCOMPARE(f.types().item(12)->checkState(), Qt::Checked);

    // Cancel and an empty text do nothing.
    f.platform.inputAnswers = {std::nullopt, QString()};
    f.configure->addFileType();
    f.configure->addFileType();
    QCOMPARE(f.types().count(), 18);
    QVERIFY(f.platform.messages().isEmpty());
}

void ConfigureDialogTest::addingHtml() {
    Fixture f;
    f.types().item(1)->setCheckState(Qt::Unchecked); // *.htm
    f.add(QStringLiteral("*.html"));
    QCOMPARE(f.platform.messages(), QStringList{QStringLiteral("html格式已经包括在htm格式中，不需添加")});
    QCOMPARE(f.types().count(), 17);
    QCOMPARE(f.types().item(1)->checkState(), Qt::Checked);

    f.form->options().fileTypes = "*.txt";
    f.configure->loadConfiguration();
    f.platform.clearRecord();
    f.add(QStringLiteral("*.html"));
    QVERIFY(f.platform.messages().isEmpty());
    QCOMPARE(f.configure->listedTypes(), std::string("*.txt;*.htm"));
    QCOMPARE(f.configure->tickedTypes(), std::string("*.txt;*.htm"));
}

void ConfigureDialogTest::addingRefusesInvalidMasks() {
    Fixture f;
    for (const QString& typed : {QStringLiteral("*.c++"), QStringLiteral("*.a b"), QStringLiteral("*.my_ext"),
                                 QStringLiteral("txt"), QStringLiteral("*.文本")}) {
        f.platform.clearRecord();
        f.add(typed);
        QCOMPARE(f.platform.messages(), QStringList{QStringLiteral("请检查输入格式")});
    }
    QCOMPARE(f.configure->listedTypes(), std::string(kDefaults));
    f.add(QStringLiteral("readme.1st"));
    QCOMPARE(f.types().count(), 18); // a plain file name with a dot passes
}

void ConfigureDialogTest::listCommands() {
    Fixture f;
    f.configure->invertTypeTicks();
    QCOMPARE(f.configure->tickedTypes(),
             std::string("*.h;*.hpp;*.pas;*.dpr;*.bpr;*.asp;*.php;*.cgi;*.ini;*.bat;*.inc;*.java;*.py"));
    f.configure->deleteFileType(); // nothing selected: nothing removed
    QCOMPARE(f.types().count(), 17);
    f.types().setCurrentRow(0);
    f.configure->deleteFileType();
    QCOMPARE(f.types().count(), 16);
    QCOMPARE(f.types().item(0)->text(), QStringLiteral("*.htm"));
    f.configure->deleteFileType();
    QCOMPARE(f.types().count(), 16);
    f.configure->tickAllTypes();
    QCOMPARE(f.configure->tickedTypes(), f.configure->listedTypes());
}

void ConfigureDialogTest::defaultsThenOk() {
    Fixture f;
    f.form->options().fileTypes = "*.x;*.y";
    f.form->options().selectedTypes = "*.x";
    f.configure->loadConfiguration();
    f.configure->restoreDefaultTypes();
    QCOMPARE(f.configure->listedTypes(), std::string(kDefaults));
    QCOMPARE(f.configure->tickedTypes(), std::string(kDefaults));
    f.configure->acceptConfiguration();
    QCOMPARE(f.form->options().fileTypes, std::string(kDefaults));
    QCOMPARE(f.form->options().selectedTypes, std::string(kDefaults));
    QCOMPARE(f.form->widgets().fileTypeLine->text(),
             QStringLiteral("当前操作的文件类型:") + QString::fromLatin1(kDefaults));
}

void ConfigureDialogTest::okWithNothingTickedFallsBackToAllFiles() {
    Fixture f;
    for (int row = 0; row < f.types().count(); ++row) {
        f.types().item(row)->setCheckState(Qt::Unchecked);
    }
    f.configure->acceptConfiguration();
    QCOMPARE(f.form->options().selectedTypes, std::string());
    QCOMPARE(f.form->options().fileTypes, std::string(kDefaults));
    QCOMPARE(f.form->openDialogFilter(), QStringLiteral("所有文件(*.*)|*.*"));
    // Reopening shows the same list with nothing ticked.
    f.configure->loadConfiguration();
    QCOMPARE(f.configure->tickedTypes(), std::string());
}

void ConfigureDialogTest::outputFolderModeAndTheBackupBox() {
    Fixture f;
    const QString out = f.data.filePath(QStringLiteral("out"));
    f.part<QRadioButton>("RadioButton2")->setChecked(true);
    QVERIFY(f.part<QLineEdit>("Edit1")->isEnabled());
    QVERIFY(f.part<QToolButton>("SpeedButton1")->isEnabled());
    f.platform.folderAnswers = {out};
    f.configure->browseOutputFolder();
    QCOMPARE(f.part<QLineEdit>("Edit1")->text(), out + QLatin1Char('/'));

    f.configure->acceptConfiguration();
    const auto& options = f.form->options();
    QVERIFY(options.outputToFolder);
    QCOMPARE(options.outputFolder, Bytes(out) + "/");
    QVERIFY(QDir(out).exists()); // created when the dialog loaded it back
    QVERIFY(!f.backupBox().isEnabled());
    QVERIFY(f.backupBox().isChecked());
    QVERIFY(!options.backup);
    QCOMPARE(f.form->widgets().outputLine->text(),
             QStringLiteral("输出目录:") + out + QStringLiteral("/     另存方式,无需备份"));

    f.configure->loadConfiguration();
    QVERIFY(f.part<QRadioButton>("RadioButton2")->isChecked());
    f.part<QRadioButton>("RadioButton1")->setChecked(true);
    QVERIFY(!f.part<QLineEdit>("Edit1")->isEnabled());
    f.configure->acceptConfiguration();
    QVERIFY(!options.outputToFolder);
    QCOMPARE(options.outputFolder, std::string());
    QVERIFY(f.backupBox().isEnabled());
    QVERIFY(options.backup);
    QCOMPARE(f.form->widgets().outputLine->text(), QStringLiteral("输出目录:文件原始目录     覆盖方式,可做备份"));
}

void ConfigureDialogTest::okWithoutAFolderFallsBackToInPlace() {
    Fixture f;
    f.part<QRadioButton>("RadioButton2")->setChecked(true);
    f.configure->acceptConfiguration();
    QVERIFY(f.part<QRadioButton>("RadioButton1")->isChecked());
    QVERIFY(!f.form->options().outputToFolder);
    QVERIFY(f.backupBox().isEnabled());
    QVERIFY(f.platform.messages().isEmpty());
}

void ConfigureDialogTest::folderThatCannotBeCreatedSwitchesModeOff() {
    Fixture f;
    const std::string deep = Bytes(f.data.filePath(QStringLiteral("missing/deeper"))) + "/";
    f.form->options().outputFolder = deep;
    f.form->options().outputToFolder = true;
    f.configure->loadConfiguration();
    QVERIFY(!f.form->options().outputToFolder);
    QCOMPARE(f.form->options().outputFolder, std::string());
    QVERIFY(f.part<QRadioButton>("RadioButton1")->isChecked());
    QVERIFY(f.part<QLineEdit>("Edit1")->text().isEmpty());
    QVERIFY(!QDir(QString::fromStdString(deep)).exists()); // parents are not created

    // Chosen in the dialog, then gone before OK: the main window must not keep announcing it.
    const QString gone = f.data.filePath(QStringLiteral("gone/sub"));
    f.part<QRadioButton>("RadioButton2")->setChecked(true);
    f.platform.folderAnswers = {gone};
    f.configure->browseOutputFolder();
    f.configure->acceptConfiguration();
    QVERIFY(!f.form->options().outputToFolder);
    QVERIFY(f.backupBox().isEnabled());
    QCOMPARE(f.form->widgets().outputLine->text(), QStringLiteral("输出目录:文件原始目录     覆盖方式,可做备份"));

    // One missing level is created.
    const std::string one = Bytes(f.data.filePath(QStringLiteral("new"))) + "/";
    f.configure->showOutputFolder(one);
    QVERIFY(QDir(QString::fromStdString(one)).exists());
    QVERIFY(f.configure->outputToFolderChosen());
}

// Regression: in place chosen, then Cancel, left the choice in the radio buttons; the next run wrote
// in place without backups while the backup box stayed disabled and the status line promised them.
void ConfigureDialogTest::cancelRestoresEveryOption() {
    Fixture f;
    const std::string out = Bytes(f.data.filePath(QStringLiteral("out"))) + "/";
    f.form->options().outputFolder = out;
    f.configure->loadConfiguration();
    f.configure->acceptConfiguration();
    QVERIFY(f.form->options().outputToFolder);
    const norvik::settings::ReplaceOptions before = f.form->options();
    const QString line = f.form->widgets().outputLine->text();

    f.configure->loadConfiguration(); // as showing it does
    f.part<QRadioButton>("RadioButton1")->setChecked(true);
    f.configure->invertTypeTicks(); // the type ticks inverted
    f.part<QCheckBox>("CheckBox2")->setChecked(!before.extractBlankLine);
    f.configure->reject();
    QVERIFY(f.configure->outputToFolderChosen());
    QCOMPARE(f.part<QLineEdit>("Edit1")->text(), QString::fromStdString(out));
    QVERIFY(!f.backupBox().isEnabled());
    f.form->refreshOptions();
    const auto& now = f.form->options();
    QVERIFY(now.outputToFolder);
    QCOMPARE(now.outputFolder, before.outputFolder);
    QCOMPARE(now.backup, before.backup);
    QCOMPARE(now.selectedTypes, before.selectedTypes);
    QCOMPARE(now.fileTypes, before.fileTypes);
    QCOMPARE(now.extractBlankLine, before.extractBlankLine);
    QCOMPARE(f.configure->tickedTypes(), before.selectedTypes);
    QCOMPARE(f.form->widgets().outputLine->text(), line);

    // The other way round: in place with backups, output chosen, Cancel.
    f.configure->loadConfiguration();
    f.part<QRadioButton>("RadioButton1")->setChecked(true);
    f.configure->acceptConfiguration();
    QVERIFY(f.backupBox().isEnabled());
    f.configure->loadConfiguration();
    f.part<QRadioButton>("RadioButton2")->setChecked(true);
    f.platform.folderAnswers = {QString::fromStdString(out)};
    f.configure->browseOutputFolder();
    f.configure->reject();
    f.form->refreshOptions();
    QVERIFY(!f.form->options().outputToFolder);
    QVERIFY(f.form->options().backup);
    QVERIFY(f.backupBox().isEnabled());
}

void ConfigureDialogTest::exclusionsLoadApplyAndCancel() {
    Fixture f;
    QCheckBox& versionControl = *f.part<QCheckBox>("CheckBox5");
    QLineEdit& masks = *f.part<QLineEdit>("Edit2");
    QVERIFY(versionControl.isChecked());
    QVERIFY(masks.text().isEmpty());

    f.form->options().excludeMasks = "vendor;*.min.js";
    f.form->options().defaultExcludes = false;
    f.configure->loadConfiguration();
    QVERIFY(!versionControl.isChecked());
    QCOMPARE(masks.text(), QStringLiteral("vendor;*.min.js"));

    // OK takes them (the typed text without blanks around it), Cancel puts back what was shown.
    versionControl.setChecked(true);
    masks.setText(QStringLiteral("  node_modules;*.map "));
    f.configure->acceptConfiguration();
    QVERIFY(f.form->options().defaultExcludes);
    QCOMPARE(f.form->options().excludeMasks, std::string("node_modules;*.map"));
    f.configure->loadConfiguration();
    versionControl.setChecked(false);
    masks.setText(QStringLiteral("other"));
    f.configure->reject();
    QVERIFY(f.form->options().defaultExcludes && versionControl.isChecked());
    QCOMPARE(f.form->options().excludeMasks, std::string("node_modules;*.map"));
    QCOMPARE(masks.text(), QStringLiteral("node_modules;*.map"));
}

void ConfigureDialogTest::browseKeepsASingleSlash() {
    Fixture f;
    f.part<QRadioButton>("RadioButton2")->setChecked(true);
    f.platform.folderAnswers = {QStringLiteral("/"), QString()};
    f.configure->browseOutputFolder();
    QCOMPARE(f.part<QLineEdit>("Edit1")->text(), QStringLiteral("/"));
    f.configure->browseOutputFolder(); // cancelled: unchanged
    QCOMPARE(f.part<QLineEdit>("Edit1")->text(), QStringLiteral("/"));
}

QTEST_MAIN(ConfigureDialogTest)
#include "ConfigureDialogTest.moc"
