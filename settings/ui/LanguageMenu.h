#pragma once
// Language packs on the windows: the captions of the main window and the rule editor, and the
// Language menu (N18) that lists the packs of the language folders and switches between them.
// Messages, status texts, the configuration dialog, the about box and window titles are never
// translated.
#include <QList>
#include <QString>
#include <map>
#include <memory>
#include <string>

#include "settings/LanguagePack.h"

class QAction;
class QObject;
class QTranslator;
class QWidget;

namespace norvik::ui {

class MainWindowView;

class LanguageMenu {
public:
    explicit LanguageMenu(MainWindowView& mainForm);
    ~LanguageMenu();
    LanguageMenu(const LanguageMenu&) = delete;
    LanguageMenu& operator=(const LanguageMenu&) = delete;

    /// The rule editor window, whose captions the packs also carry; none until the program creates it.
    /// Its parts are found by component name, so the editor's own class stays out of this folder.
    void setRuleEditor(QWidget* editor) { m_ruleEditor = editor; }

    /// Loads the pack of that name (the user's before the shipped) and sets every caption it has, in the
    /// fixed key order. A missing pack hides the Language menu and changes nothing; a pack that cannot
    /// be parsed changes nothing, silently. The first successful call also fills the Language menu.
    /// An element holding more than text stops at that component with a message box; captions set
    /// before it stay.
    void applyLanguage(const std::string& name);

    /// The shared click handler of the Language menu's entries: the check mark moves to the entry,
    /// the options' language becomes its pack name and that pack is applied.
    void chooseLanguage(QAction* entry);

    /// The locale of the toolkit translation in force ("zh_CN"), empty while the toolkit speaks its
    /// own English.
    [[nodiscard]] const QString& toolkitLocale() const { return m_toolkitLocale; }

    /// The Language menu's entries, in menu order (empty until a pack was applied).
    [[nodiscard]] const QList<QAction*>& entries() const { return m_entries; }
    /// The pack name an entry stands for.
    [[nodiscard]] static std::string entryLanguage(const QAction& entry);

private:
    void applyCaptions();
    void buildEntries();
    void hideMenu();
    /// Puts the toolkit's own texts in the language of the pack, when its translation is installed.
    void applyToolkitTranslation(const std::string& name);
    /// The part of the main window or the rule editor a key names, or null.
    [[nodiscard]] QObject* component(const settings::CaptionKey& key,
                                     const std::map<QString, QObject*>& mainParts) const;

    MainWindowView& m_mainForm;
    QWidget* m_ruleEditor = nullptr;
    settings::LanguagePack m_pack; // the language document, reloaded on every application
    QList<QAction*> m_entries;
    std::unique_ptr<QTranslator> m_toolkitTranslator;
    std::unique_ptr<QTranslator> m_toolkitGaps; ///< asked for what the toolkit translation lacks
    QString m_toolkitLocale;
};

} // namespace norvik::ui
