// Language packs on the real windows: every caption of the main window and the rule editor, the
// Language menu, and the ways a pack can fail.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <vector>

#include "main/TMainForm.h"
#include "rules/ui/TMutilReplaceConfig.h"
#include "settings/LanguagePack.h"
#include "settings/ui/LanguageMenu.h"
#include "settings/ui/TConfigure.h"
#include "support/WindowFixture.h"
#include "ui/ComponentCaption.h"

using norvik::settings::CaptionKey;
using norvik::settings::CaptionWindow;
using norvik::settings::kCaptionKeys;
using norvik::test::ProgramWindows;
using norvik::test::ReadFileBytes;
using norvik::test::WindowFixture;
using norvik::test::WriteFileBytes;

namespace {

QString Name(std::string_view component) {
    return QString::fromLatin1(component.data(), static_cast<qsizetype>(component.size()));
}

QString Caption(const ProgramWindows& p, const CaptionKey& key) {
    if (key.window == CaptionWindow::Main) {
        return norvik::ui::ComponentCaption(*p.form, Name(key.component));
    }
    return norvik::ui::ComponentCaption(*p.ruleEditor, Name(key.component));
}

// What a pack says for each key: its own entry, or for a copied key its source's entry.
QString PackCaption(const norvik::settings::LanguagePack& pack, const CaptionKey& key) {
    const std::string_view source = key.copyFrom.empty() ? key.component : key.copyFrom;
    return QString::fromStdString(pack.lookupCaption(source));
}

QStringList EntryNames(const ProgramWindows& p) {
    QStringList names;
    for (const QAction* entry : p.form->languageMenu().entries()) {
        names << QString::fromStdString(norvik::ui::LanguageMenu::entryLanguage(*entry));
    }
    return names;
}

QAction* Entry(const ProgramWindows& p, const QString& name) {
    for (QAction* entry : p.form->languageMenu().entries()) {
        if (QString::fromStdString(norvik::ui::LanguageMenu::entryLanguage(*entry)) == name) {
            return entry;
        }
    }
    qFatal("no Language entry %s", qPrintable(name));
}

bool LanguageMenuVisible(const ProgramWindows& p) {
    return p.form->widgets().languageMenu->menuAction()->isVisible();
}

QString BuiltIn(const CaptionKey& key) {
    return QString::fromUtf8(key.caption.data(), static_cast<qsizetype>(key.caption.size()));
}

// Checks every caption a pack sets, separators aside.
void CheckEveryCaption(const ProgramWindows& p, const std::function<QString(const CaptionKey&)>& expected) {
    for (const CaptionKey& key : kCaptionKeys) {
        if (!key.separator) {
            QVERIFY2(Caption(p, key) == expected(key), key.component.data());
        }
    }
}

} // namespace

class LanguageMenuTest : public QObject {
    Q_OBJECT

private slots:
    void switchingBetweenPacksSetsEveryCaption();
    void englishTranslatesEveryCaption();
    void languageMenuListsPacksOnceAndMovesTheCheckMark();
    void emptyStoredLanguageMeansChineseSimplified();
    void missingPackHidesTheMenuAndKeepsTheName();
    void unparsablePackChangesNothing();
    void elementWithMarkupStopsThePackThere();
    void componentMissingFromAPackGetsAnEmptyCaption();
};

void LanguageMenuTest::switchingBetweenPacksSetsEveryCaption() {
    WindowFixture folder{WindowFixture::ShippedFolders{}};
    ProgramWindows p(folder.exe.path());
    QVERIFY(p.start());
    QCOMPARE(EntryNames(p), (QStringList{QStringLiteral("Chinese_Simplified"), QStringLiteral("English")}));

    norvik::settings::LanguagePack english;
    QVERIFY(english.loadFile(norvik::test::Bytes(folder.pack(QStringLiteral("English")))).ok());
    Entry(p, QStringLiteral("English"))->trigger();
    CheckEveryCaption(p, [&](const CaptionKey& key) { return PackCaption(english, key); });
    // The rule editor's tabs take the main window's tab captions.
    QCOMPARE(norvik::ui::ComponentCaption(*p.ruleEditor, QStringLiteral("MTabSheet1")),
             QStringLiteral("Normal Replace"));
    QCOMPARE(p.ruleEditor->findChild<QPushButton*>(QStringLiteral("MButton5"))->text(), QStringLiteral("Add"));
    // Entries keep their pack names; titles, messages and the configuration dialog are not translated.
    QCOMPARE(EntryNames(p), (QStringList{QStringLiteral("Chinese_Simplified"), QStringLiteral("English")}));
    QCOMPARE(p.form->windowTitle(), QStringLiteral("Norvik"));
    QCOMPARE(p.ruleEditor->windowTitle(), QStringLiteral("多重替换设置"));
    QCOMPARE(p.configure->findChild<QRadioButton*>(QStringLiteral("RadioButton1"))->text(),
             QStringLiteral("直接在原文件上操作"));
    QVERIFY(p.platform.messages().isEmpty());

    // The toolkit's own texts (standard buttons, file dialogs) follow the pack.
    const auto cancel = [] {
        return QCoreApplication::translate("QPlatformTheme", "Cancel");
    };
    const auto folderType = [] {
        return QCoreApplication::translate("QAbstractFileIconProvider", "Folder");
    };
    QCOMPARE(p.form->languageMenu().toolkitLocale(), QString());
    QCOMPARE(cancel(), QStringLiteral("Cancel"));
    // Sizes in the file dialog follow the pack, not the system's locale.
    QCOMPARE(QLocale().formattedDataSize(10), QStringLiteral("10 bytes"));
    QCOMPARE(folderType(), QStringLiteral("Folder"));

    Entry(p, QStringLiteral("Chinese_Simplified"))->trigger();
    CheckEveryCaption(p, BuiltIn);
    if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_zh_CN.qm"))) {
        QCOMPARE(p.form->languageMenu().toolkitLocale(), QStringLiteral("zh_CN"));
        QCOMPARE(cancel(), QStringLiteral("取消"));
        QCOMPARE(folderType(), QStringLiteral("文件夹"));
    }
    QCOMPARE(QLocale().formattedDataSize(10), QStringLiteral("10 字节"));
    Entry(p, QStringLiteral("English"))->trigger();
    CheckEveryCaption(p, [&](const CaptionKey& key) { return PackCaption(english, key); });
    QCOMPARE(cancel(), QStringLiteral("Cancel"));
    QCOMPARE(folderType(), QStringLiteral("Folder"));
    QVERIFY(p.platform.messages().isEmpty());
}

void LanguageMenuTest::englishTranslatesEveryCaption() {
    WindowFixture folder{WindowFixture::ShippedFolders{}};
    norvik::settings::LanguagePack english;
    QVERIFY(english.loadFile(norvik::test::Bytes(folder.pack(QStringLiteral("English")))).ok());
    std::vector<CaptionKey> keys(kCaptionKeys.begin(), kCaptionKeys.end());
    keys.insert(keys.end(), norvik::settings::kAddedCaptionKeys.begin(), norvik::settings::kAddedCaptionKeys.end());
    for (const CaptionKey& key : keys) {
        const QString caption = PackCaption(english, key);
        if (key.separator) {
            QVERIFY2(caption.isEmpty(), key.component.data());
        } else if (key.component == norvik::settings::kLanguageMenu) {
            QCOMPARE(caption, QStringLiteral("Language"));
        } else {
            // Present, and in English: no character outside ASCII.
            QVERIFY2(!caption.isEmpty(), key.component.data());
            for (const QChar c : caption) {
                QVERIFY2(c.unicode() < 0x80, key.component.data());
            }
        }
    }
}

void LanguageMenuTest::languageMenuListsPacksOnceAndMovesTheCheckMark() {
    WindowFixture folder{WindowFixture::ShippedFolders{}};
    WriteFileBytes(folder.pack(QStringLiteral("aaa")), ReadFileBytes(folder.pack(QStringLiteral("English"))));
    ProgramWindows p(folder.exe.path());
    QVERIFY(p.start());
    QVERIFY(LanguageMenuVisible(p));
    // Sorted with letter case ignored; the current language carries the check mark.
    QCOMPARE(EntryNames(p),
             (QStringList{QStringLiteral("aaa"), QStringLiteral("Chinese_Simplified"), QStringLiteral("English")}));
    QVERIFY(Entry(p, QStringLiteral("Chinese_Simplified"))->isChecked());
    QVERIFY(!Entry(p, QStringLiteral("aaa"))->isChecked());
    QCOMPARE(p.form->widgets().languageMenu->actions().size(), 3);

    // A pack added while running appears only at the next start.
    WriteFileBytes(folder.pack(QStringLiteral("Zulu")), ReadFileBytes(folder.pack(QStringLiteral("English"))));
    Entry(p, QStringLiteral("English"))->trigger();
    QCOMPARE(p.form->options().language, std::string("English"));
    QVERIFY(Entry(p, QStringLiteral("English"))->isChecked());
    QVERIFY(!Entry(p, QStringLiteral("Chinese_Simplified"))->isChecked());
    QCOMPARE(p.form->widgets().languageMenu->actions().size(), 3);
    QCOMPARE(p.form->widgets().backupCheck->text(), QStringLiteral("Back up first"));

    // The chosen language is what the next start uses.
    QVERIFY(p.close());
    ProgramWindows again(folder.exe.path());
    QVERIFY(again.start());
    QCOMPARE(again.form->widgets().backupCheck->text(), QStringLiteral("Back up first"));
    QCOMPARE(EntryNames(again).size(), 4);
    QVERIFY(Entry(again, QStringLiteral("English"))->isChecked());
}

void LanguageMenuTest::emptyStoredLanguageMeansChineseSimplified() {
    WindowFixture folder{WindowFixture::ShippedFolders{}};
    folder.store("Language", "");
    ProgramWindows p(folder.exe.path());
    QVERIFY(p.start());
    QCOMPARE(p.form->options().language, std::string("Chinese_Simplified"));
    QVERIFY(LanguageMenuVisible(p));
    QVERIFY(Entry(p, QStringLiteral("Chinese_Simplified"))->isChecked());
}

void LanguageMenuTest::missingPackHidesTheMenuAndKeepsTheName() {
    WindowFixture folder{WindowFixture::ShippedFolders{}};
    folder.store("Language", "Klingon");
    ProgramWindows p(folder.exe.path());
    QVERIFY(p.start());
    QVERIFY(!LanguageMenuVisible(p));
    QVERIFY(p.form->languageMenu().entries().isEmpty());
    QVERIFY(p.platform.messages().isEmpty());
    CheckEveryCaption(p, BuiltIn);
    QVERIFY(p.close());
    QCOMPARE(norvik::test::StoredValue(folder.exe.filePath(QStringLiteral("NVK.xml")), "Language"),
             std::string("Klingon"));
}

void LanguageMenuTest::unparsablePackChangesNothing() {
    WindowFixture folder{WindowFixture::ShippedFolders{}};
    WriteFileBytes(folder.pack(QStringLiteral("English")), "<LanguagePack><MainMenu><N1>File</MainMenu>");
    ProgramWindows p(folder.exe.path());
    QVERIFY(p.start());
    Entry(p, QStringLiteral("English"))->trigger();
    QVERIFY(p.platform.messages().isEmpty());
    QVERIFY(LanguageMenuVisible(p));
    CheckEveryCaption(p, BuiltIn);
}

void LanguageMenuTest::elementWithMarkupStopsThePackThere() {
    WindowFixture folder{WindowFixture::ShippedFolders{}};
    QByteArray pack = ReadFileBytes(folder.pack(QStringLiteral("English")));
    QVERIFY(pack.contains("<CheckBox5>Match case</CheckBox5>"));
    pack.replace("<CheckBox5>Match case</CheckBox5>", "<CheckBox5>Match <b>case</b></CheckBox5>");
    WriteFileBytes(folder.pack(QStringLiteral("Broken")), pack);
    folder.store("Language", "Broken");
    ProgramWindows p(folder.exe.path());
    QVERIFY(p.start());
    QCOMPARE(p.platform.messages(), QStringList{QStringLiteral("Element does not contain a single text node")});
    const auto& w = p.form->widgets();
    // Before the element: set. From it on: the captions they had.
    QCOMPARE(w.fileMenu->title(), QStringLiteral("File"));
    QCOMPARE(w.feedbackButton->text(), QStringLiteral("Feedback"));
    QCOMPARE(w.backupCheck->text(), QStringLiteral("Back up first"));
    QCOMPARE(w.caseSensitiveCheck->text(), QStringLiteral("区分大小写"));
    QCOMPARE(w.subfoldersCheck->text(), QStringLiteral("包含子文件夹"));
    QCOMPARE(p.ruleEditor->findChild<QPushButton*>(QStringLiteral("MButton2"))->text(), QStringLiteral("增加"));
    // The Language menu was filled before the groups that stopped.
    QCOMPARE(EntryNames(p).size(), 3);
}

void LanguageMenuTest::componentMissingFromAPackGetsAnEmptyCaption() {
    WindowFixture folder{WindowFixture::ShippedFolders{}};
    WriteFileBytes(folder.pack(QStringLiteral("Sparse")),
                   "<?xml version=\"1.0\"?>\n<P><G><N1>Only</N1><Label1> Padded\n</Label1></G></P>\n");
    ProgramWindows p(folder.exe.path());
    QVERIFY(p.start());
    Entry(p, QStringLiteral("Sparse"))->trigger();
    QVERIFY(p.platform.messages().isEmpty());
    const auto& w = p.form->widgets();
    QCOMPARE(w.fileMenu->title(), QStringLiteral("Only"));
    QCOMPARE(w.findLabel->text(), QStringLiteral("Padded"));
    QCOMPARE(w.exitItem->text(), QString());
    QCOMPARE(w.backupCheck->text(), QString());
    QCOMPARE(p.ruleEditor->findChild<QPushButton*>(QStringLiteral("MButton6"))->text(), QString());
    // The Language menu lost its caption, but its entries keep their pack names and still switch.
    QCOMPARE(w.languageMenu->title(), QString());
    QCOMPARE(EntryNames(p),
             (QStringList{QStringLiteral("Chinese_Simplified"), QStringLiteral("English"), QStringLiteral("Sparse")}));
    Entry(p, QStringLiteral("Chinese_Simplified"))->trigger();
    CheckEveryCaption(p, BuiltIn);
}

QTEST_MAIN(LanguageMenuTest)
#include "LanguageMenuTest.moc"
