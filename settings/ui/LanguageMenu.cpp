#include "settings/ui/LanguageMenu.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTranslator>
#include <QVariant>
#include <QWidget>
#include <filesystem>
#include <map>
#include <string_view>
#include <vector>

#include "filedeal/FileOps.h"
#include "platform/IPlatform.h"
#include "settings/SettingsDocument.h"
#include "settings/ui/ToolkitGaps.h"
#include "ui/ComponentCaption.h"
#include "ui/MainWindowView.h"
#include "ui/PathText.h"

namespace norvik::ui {

namespace {

QString NameOf(std::string_view component) {
    return QString::fromLatin1(component.data(), static_cast<qsizetype>(component.size()));
}

// The top-level item that holds the language entries reads like this (a menu system with automatic
// accelerators would show the marker).
bool IsLanguageCaption(const QString& caption) {
    return caption == QLatin1String("Language") || caption == QLatin1String("&Language");
}

// The main window's named parts by component name. Looking them up here rather than with findChild
// keeps the rule editor (a child of the main window with a few names of its own) out of the way.
std::map<QString, QObject*> MainWindowParts(const MainFormWidgets& w) {
    std::map<QString, QObject*> parts;
    for (QObject* part : w.captionedParts()) {
        parts.emplace(part->objectName(), part);
    }
    return parts;
}

// An entry shows its pack name; "&" would otherwise turn into an accelerator marker.
QString EntryCaption(const std::string& name) {
    QString caption = PathText(name);
    caption.replace(QLatin1Char('&'), QLatin1String("&&"));
    return caption;
}

} // namespace

LanguageMenu::LanguageMenu(MainWindowView& mainForm) : m_mainForm(mainForm) {}

LanguageMenu::~LanguageMenu() {
    if (m_toolkitTranslator) {
        QCoreApplication::removeTranslator(m_toolkitTranslator.get());
    }
    if (m_toolkitGaps) {
        QCoreApplication::removeTranslator(m_toolkitGaps.get());
    }
}

void LanguageMenu::applyToolkitTranslation(const std::string& name) {
    const QString locale = FromUtf8(settings::ToolkitLocaleOf(name));
    // Sizes and numbers the toolkit formats with the program's locale (the file dialog's sizes, see
    // QtPlatform) follow the pack, not the system: no "字节" under the English pack.
    QLocale::setDefault(locale.isEmpty() ? QLocale(QLocale::English, QLocale::UnitedStates) : QLocale(locale));
    if (locale == m_toolkitLocale) {
        return;
    }
    if (m_toolkitTranslator) {
        QCoreApplication::removeTranslator(m_toolkitTranslator.get());
        m_toolkitTranslator.reset();
    }
    if (m_toolkitGaps) {
        QCoreApplication::removeTranslator(m_toolkitGaps.get());
        m_toolkitGaps.reset();
    }
    m_toolkitLocale.clear();
    if (locale.isEmpty()) {
        return;
    }
    m_toolkitGaps = std::make_unique<ToolkitGaps>(locale);
    if (!m_toolkitGaps->isEmpty()) {
        QCoreApplication::installTranslator(m_toolkitGaps.get());
    } else {
        m_toolkitGaps.reset();
    }
    auto translator = std::make_unique<QTranslator>();
    // Without the translation installed the toolkit keeps its English; the captions still change.
    if (translator->load(QStringLiteral("qtbase_") + locale, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator.get());
        m_toolkitTranslator = std::move(translator);
        m_toolkitLocale = locale;
    }
}

std::string LanguageMenu::entryLanguage(const QAction& entry) {
    return entry.data().toByteArray().toStdString();
}

void LanguageMenu::hideMenu() {
    m_mainForm.widgets().languageMenu->menuAction()->setVisible(false);
}

void LanguageMenu::applyLanguage(const std::string& name) {
    const std::string packPath = settings::FindLanguagePack(m_mainForm.folders().languageFolders, name);
    if (!filedeal::FileExists(packPath)) {
        hideMenu();
        return;
    }
    if (!m_pack.loadFile(packPath).ok()) {
        return;
    }
    applyToolkitTranslation(name);
    try {
        applyCaptions();
    } catch (const settings::SettingsError& error) {
        m_mainForm.platform().showMessage(&m_mainForm.windowWidget(), FromUtf8(error.what()),
                                          platform::MessageKind::Error);
    }
}

QObject* LanguageMenu::component(const settings::CaptionKey& key, const std::map<QString, QObject*>& mainParts) const {
    const QString name = NameOf(key.component);
    if (key.window == settings::CaptionWindow::Main) {
        const auto found = mainParts.find(name);
        return found != mainParts.end() ? found->second : nullptr;
    }
    QWidget* editor = m_ruleEditor;
    if (editor == nullptr) {
        return nullptr;
    }
    // A toolbar button exists as its action and as the button drawing it; the action leads.
    if (auto* action = editor->findChild<QAction*>(name)) {
        return action;
    }
    return editor->findChild<QWidget*>(name);
}

void LanguageMenu::applyCaptions() {
    // Group 1: each top-level item, then the items under it unless it is the Language menu, whose
    // entries are pack names and never looked up.
    const std::map<QString, QObject*> mainParts = MainWindowParts(m_mainForm.widgets());
    bool underLanguageMenu = false;
    for (const settings::CaptionKey& key : settings::kCaptionKeys) {
        if (key.group != 1) {
            continue;
        }
        if (key.menuParent.empty()) {
            const QString caption = FromUtf8(m_pack.lookupCaption(key.component));
            if (QObject* part = component(key, mainParts)) {
                SetCaption(*part, caption);
            }
            underLanguageMenu = IsLanguageCaption(caption);
            continue;
        }
        if (underLanguageMenu) {
            continue;
        }
        const QString caption = FromUtf8(m_pack.lookupCaption(key.component));
        if (QObject* part = component(key, mainParts)) {
            SetCaption(*part, caption);
        }
    }

    if (m_entries.isEmpty()) {
        buildEntries();
    }

    // Groups 2 to 8. A copied caption is the one its source has just been given.
    std::map<std::string_view, QString> applied;
    for (const settings::CaptionKey& key : settings::kCaptionKeys) {
        if (key.group < 2) {
            continue;
        }
        QString caption;
        if (!key.copyFrom.empty()) {
            const auto source = applied.find(key.copyFrom);
            caption = source != applied.end() ? source->second : QString();
        } else {
            // Separators are looked up too: a malformed entry stops the pack there as well.
            caption = FromUtf8(m_pack.lookupCaption(key.component));
        }
        applied[key.component] = caption;
        if (QObject* part = component(key, mainParts)) {
            SetCaption(*part, caption);
        }
    }
    for (const settings::CaptionKey& key : settings::kAddedCaptionKeys) {
        const QString caption = FromUtf8(m_pack.lookupCaption(key.component));
        QObject* part = component(key, mainParts);
        if (part != nullptr && !caption.isEmpty()) {
            SetCaption(*part, caption);
        }
    }
}

void LanguageMenu::buildEntries() {
    QMenu* menu = m_mainForm.widgets().languageMenu;
    const std::vector<std::string>& folders = m_mainForm.folders().languageFolders;
    const settings::LanguageList list =
        settings::ListLanguages(std::vector<std::filesystem::path>(folders.begin(), folders.end()));
    menu->menuAction()->setVisible(list.showsMenu());
    const std::string& current = m_mainForm.options().language;
    for (const std::string& name : list.menuEntries()) {
        auto* entry = new QAction(EntryCaption(name), menu);
        entry->setData(QByteArray::fromStdString(name));
        entry->setCheckable(true);
        entry->setChecked(name == current);
        QObject::connect(entry, &QAction::triggered, menu, [this, entry] { chooseLanguage(entry); });
        menu->addAction(entry);
        m_entries.append(entry);
    }
}

void LanguageMenu::chooseLanguage(QAction* entry) {
    for (QAction* other : m_entries) {
        other->setChecked(other == entry);
    }
    const std::string name = entryLanguage(*entry);
    m_mainForm.options().language = name;
    applyLanguage(name);
}

} // namespace norvik::ui
