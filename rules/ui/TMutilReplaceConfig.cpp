#include "rules/ui/TMutilReplaceConfig.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <exception>
#include <filesystem>

#include "platform/IPlatform.h"
#include "rules/RuleFile.h"
#include "rules/RuleSets.h"
#include "rules/ui/RuleTexts.h"
#include "ui/HelpDocument.h"

namespace norvik::ui {
namespace {

const QString kNormalFilter = QStringLiteral("一般替换规则文件(*.nrr)|*.nrr");
const QString kFeatureFilter = QStringLiteral("特征替换规则文件(*.crr)|*.crr");

} // namespace

TMutilReplaceConfig::TMutilReplaceConfig(platform::IPlatform& platform, const settings::AppFolders& folders,
                                         QWidget* mainWindow)
    : QDialog(mainWindow), m_platform(platform), m_ruleFolder(folders.ruleFolder()), m_helpFolder(folders.helpFolder),
      m_w(BuildRuleEditorWidgets(*this)), m_tabs{TabState(EditedRuleSet::Kind::Normal, m_w.normalPage),
                                                 TabState(EditedRuleSet::Kind::Feature, m_w.featurePage)} {
    connectToolBar();
    connect(m_w.normalPage.addButton, &QPushButton::clicked, this, &TMutilReplaceConfig::addNormalRule);
    connect(m_w.normalPage.modifyButton, &QPushButton::clicked, this, &TMutilReplaceConfig::modifyNormalRule);
    connect(m_w.normalPage.deleteButton, &QPushButton::clicked, this, &TMutilReplaceConfig::deleteNormalRule);
    connect(m_w.featurePage.addButton, &QPushButton::clicked, this, &TMutilReplaceConfig::addFeatureRule);
    connect(m_w.featurePage.modifyButton, &QPushButton::clicked, this, &TMutilReplaceConfig::modifyFeatureRule);
    connect(m_w.featurePage.deleteButton, &QPushButton::clicked, this, &TMutilReplaceConfig::deleteFeatureRule);
    connectLists(NormalTab);
    connectLists(FeatureTab);
    showStrip(NormalTab);
    showStrip(FeatureTab);

    QSize size(800, 600);
    if (mainWindow != nullptr) {
        size = QSize(mainWindow->width() * 4 / 5, mainWindow->height() * 4 / 5);
    }
    resize(size);
    QScreen* screen = mainWindow != nullptr ? mainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        QRect frame(QPoint(0, 0), size);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

TMutilReplaceConfig::~TMutilReplaceConfig() = default;

void TMutilReplaceConfig::connectToolBar() {
    const auto connectCommand = [this](QAction* action, void (TMutilReplaceConfig::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { platform::RunCommand(m_platform, this, [this, handler] { (this->*handler)(); }); });
    };
    connectCommand(m_w.newRules, &TMutilReplaceConfig::newRules);
    connectCommand(m_w.loadRules, &TMutilReplaceConfig::loadRules);
    connectCommand(m_w.saveRules, &TMutilReplaceConfig::saveRules);
    connectCommand(m_w.closeEditor, &TMutilReplaceConfig::closeRules);
    connectCommand(m_w.configure, &TMutilReplaceConfig::openConfiguration);
    connectCommand(m_w.help, &TMutilReplaceConfig::showHelp);
}

void TMutilReplaceConfig::connectLists(Tab tab) {
    for (QListWidget* list : m_tabs[tab].widgets.fieldLists) {
        // The lists' own updates run with their signals blocked, so this hears only the user.
        const auto select = [this, tab](int row) {
            tab == NormalTab ? selectNormalRule(row) : selectFeatureRule(row);
        };
        connect(list, &QListWidget::currentRowChanged, this, select);
        // A click on the row that is already current must still bring its texts back.
        connect(list, &QListWidget::itemClicked, this,
                [list, select](QListWidgetItem* item) { select(list->row(item)); });
        // The columns of a tab scroll together so a row's parts stay side by side.
        for (QListWidget* other : m_tabs[tab].widgets.fieldLists) {
            if (other != list) {
                connect(list->verticalScrollBar(), &QScrollBar::valueChanged, other->verticalScrollBar(),
                        &QScrollBar::setValue);
            }
        }
    }
}

bool TMutilReplaceConfig::loadRuleFile(const QString& fileName) {
    if (fileName.trimmed().isEmpty()) {
        return true;
    }
    const std::string name = fileName.toStdString();
    const rules::RuleFileKind kind = rules::RuleFileKindOf(name);
    if (kind == rules::RuleFileKind::None) {
        return true;
    }
    const Tab tab = kind == rules::RuleFileKind::Normal ? NormalTab : FeatureTab;
    m_w.pages->setCurrentIndex(tab);
    try {
        const std::filesystem::path path(name);
        if (kind == rules::RuleFileKind::Normal) {
            m_tabs[tab].rules.setNormalRules(rules::ReadNormalRuleFile(path));
        } else {
            m_tabs[tab].rules.setFeatureRules(rules::ReadFeatureRuleFile(path));
        }
    } catch (const std::exception&) {
        m_platform.showMessage(this, QStringLiteral("无法读取规则文件：%1").arg(fileName),
                               platform::MessageKind::Error);
        return false;
    }
    showRows(tab);
    fillBoxes(tab);
    m_tabs[tab].fileName = fileName;
    return true;
}

void TMutilReplaceConfig::setConfigureDialog(QDialog* dialog) {
    m_configureDialog = dialog;
}

const EditedRuleSet& TMutilReplaceConfig::ruleSet(Tab tab) const {
    return m_tabs[tab].rules;
}

QString TMutilReplaceConfig::currentFileName(Tab tab) const {
    return m_tabs[tab].fileName;
}

TMutilReplaceConfig::Tab TMutilReplaceConfig::currentTab() const {
    return m_w.pages->currentIndex() == FeatureTab ? FeatureTab : NormalTab;
}

// The filter always names the kind of the tab in front, so a feature set is never offered the
// normal sets to overwrite (nor the reverse), even right after a load switched the tab.
QString TMutilReplaceConfig::fileFilter() const {
    return currentTab() == NormalTab ? kNormalFilter : kFeatureFilter;
}

QString TMutilReplaceConfig::ruleFolder() const {
    return QString::fromStdString(m_ruleFolder);
}

void TMutilReplaceConfig::newRules() {
    const Tab tab = currentTab();
    m_tabs[tab].fileName.clear();
    m_tabs[tab].rules.clear();
    for (QPlainTextEdit* box : m_tabs[tab].widgets.fieldBoxes) {
        box->clear();
    }
    showRows(tab);
}

void TMutilReplaceConfig::loadRules() {
    const QString fileName = m_platform.openFile(this, ruleFolder(), fileFilter());
    if (!fileName.isEmpty()) {
        loadRuleFile(fileName);
    }
}

void TMutilReplaceConfig::saveRules() {
    const Tab tab = currentTab();
    QString fileName = m_tabs[tab].fileName;
    if (fileName.isEmpty()) {
        fileName = m_platform.saveFile(this, ruleFolder(), fileFilter());
        if (fileName.isEmpty()) {
            return;
        }
        // The chooser lists a rule set by its extension: a name typed without one gets the tab's.
        if (QFileInfo(fileName).suffix().isEmpty()) {
            fileName += tab == NormalTab ? QStringLiteral(".nrr") : QStringLiteral(".crr");
        }
    }
    const std::filesystem::path path(fileName.toStdString());
    const EditedRuleSet& rules = m_tabs[tab].rules;
    const bool written = rules.kind() == EditedRuleSet::Kind::Normal
                             ? rules::WriteNormalRuleFile(path, rules.normalRules())
                             : rules::WriteFeatureRuleFile(path, rules.featureRules());
    if (!written) {
        m_platform.showMessage(this, QStringLiteral("无法写入规则文件：%1").arg(fileName),
                               platform::MessageKind::Error);
        return;
    }
    m_tabs[tab].fileName = fileName;
}

void TMutilReplaceConfig::closeRules() {
    close();
}

void TMutilReplaceConfig::openConfiguration() {
    if (m_configureDialog != nullptr) {
        m_configureDialog->exec();
    }
}

void TMutilReplaceConfig::showHelp() {
    // The help opens at its section on this window.
    OpenHelpDocument(m_platform, m_helpFolder, QString::fromLatin1(kEditorAnchor));
}

void TMutilReplaceConfig::addNormalRule() {
    addRule(NormalTab);
}
void TMutilReplaceConfig::modifyNormalRule() {
    modifyRule(NormalTab);
}
void TMutilReplaceConfig::deleteNormalRule() {
    deleteRule(NormalTab);
}
void TMutilReplaceConfig::selectNormalRule(int row) {
    selectRow(NormalTab, row);
}
void TMutilReplaceConfig::addFeatureRule() {
    addRule(FeatureTab);
}
void TMutilReplaceConfig::modifyFeatureRule() {
    modifyRule(FeatureTab);
}
void TMutilReplaceConfig::deleteFeatureRule() {
    deleteRule(FeatureTab);
}
void TMutilReplaceConfig::selectFeatureRule(int row) {
    selectRow(FeatureTab, row);
}

bool TMutilReplaceConfig::boxTexts(Tab tab, EditedRuleSet::Row& texts) {
    bool exact = true;
    for (const QPlainTextEdit* box : m_tabs[tab].widgets.fieldBoxes) {
        bool boxExact = true;
        texts.push_back(WorkingTextOf(*box, &boxExact));
        exact = exact && boxExact;
    }
    // A character turned into '?' would make the rule find and write question marks instead.
    if (!exact) {
        m_tabs[tab].rules.refuse(strip::kNotInCodePage);
        showStrip(tab);
    }
    return exact;
}

void TMutilReplaceConfig::addRule(Tab tab) {
    EditedRuleSet::Row texts;
    if (!boxTexts(tab, texts)) {
        return;
    }
    if (m_tabs[tab].rules.add(texts)) {
        showRows(tab);
        fillBoxes(tab);
    } else {
        showStrip(tab);
    }
}

void TMutilReplaceConfig::modifyRule(Tab tab) {
    EditedRuleSet::Row texts;
    if (!boxTexts(tab, texts)) {
        return;
    }
    if (m_tabs[tab].rules.modify(texts)) {
        showRows(tab);
        fillBoxes(tab);
    } else {
        showStrip(tab);
    }
}

void TMutilReplaceConfig::deleteRule(Tab tab) {
    if (m_tabs[tab].rules.remove()) {
        showRows(tab);
        fillBoxes(tab);
    }
}

void TMutilReplaceConfig::selectRow(Tab tab, int row) {
    if (m_tabs[tab].rules.select(row)) {
        fillBoxes(tab);
    }
    // Every column shows the selected row, whichever column was clicked.
    showSelection(tab);
}

void TMutilReplaceConfig::showRows(Tab tab) {
    const EditedRuleSet& rules = m_tabs[tab].rules;
    for (std::size_t column = 0; column < m_tabs[tab].widgets.fieldLists.size(); ++column) {
        QListWidget* list = m_tabs[tab].widgets.fieldLists[column];
        const QSignalBlocker quiet(list);
        const int scroll = list->verticalScrollBar()->value();
        list->clear();
        for (int row = 0; row < rules.rowCount(); ++row) {
            const std::string& text = rules.row(row)[column];
            auto* item = new QListWidgetItem(RowTextOf(text), list);
            if (text.find_first_of("\r\n") != std::string::npos) {
                item->setToolTip(BoxTextOf(text));
            }
        }
        list->verticalScrollBar()->setValue(scroll);
    }
    showSelection(tab);
    showStrip(tab);
}

void TMutilReplaceConfig::showSelection(Tab tab) {
    const int selected = m_tabs[tab].rules.selected();
    for (QListWidget* list : m_tabs[tab].widgets.fieldLists) {
        const QSignalBlocker quiet(list);
        if (selected < 0) {
            list->setCurrentRow(-1);
        } else {
            list->setCurrentRow(selected, QItemSelectionModel::ClearAndSelect);
            list->scrollToItem(list->item(selected));
        }
    }
}

void TMutilReplaceConfig::showStrip(Tab tab) {
    m_tabs[tab].widgets.messageStrip->setText(QString::fromUtf8(m_tabs[tab].rules.message()));
}

void TMutilReplaceConfig::fillBoxes(Tab tab) {
    const EditedRuleSet& rules = m_tabs[tab].rules;
    if (rules.selected() < 0) {
        return;
    }
    const EditedRuleSet::Row& row = rules.row(rules.selected());
    for (std::size_t i = 0; i < m_tabs[tab].widgets.fieldBoxes.size(); ++i) {
        QPlainTextEdit* box = m_tabs[tab].widgets.fieldBoxes[i];
        const QString text = BoxTextOf(row[i]);
        // Leave a box that already shows the text alone, so its cursor stays where the user left it.
        if (box->toPlainText() != text) {
            box->setPlainText(text);
        }
    }
}

} // namespace norvik::ui
