#include "ui/ComponentCaption.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>

namespace norvik::ui {

namespace {

// A page of a QTabWidget sits in the tab widget's inner stack; its caption is its tab's text.
QTabWidget* TabsOf(const QWidget& page) {
    QWidget* stack = page.parentWidget();
    if (qobject_cast<QStackedWidget*>(stack) == nullptr) {
        return nullptr;
    }
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    return tabs != nullptr && tabs->indexOf(&page) >= 0 ? tabs : nullptr;
}

// A part of one of the kinds that carry a caption.
bool HasCaption(const QObject& part) {
    if (qobject_cast<const QMenu*>(&part) != nullptr || qobject_cast<const QAction*>(&part) != nullptr ||
        qobject_cast<const QAbstractButton*>(&part) != nullptr || qobject_cast<const QLabel*>(&part) != nullptr ||
        qobject_cast<const QGroupBox*>(&part) != nullptr) {
        return true;
    }
    const auto* page = qobject_cast<const QWidget*>(&part);
    return page != nullptr && TabsOf(*page) != nullptr;
}

template <typename Visit> bool WithPart(const QObject& window, const QString& name, Visit visit) {
    // Direct children first: menu items and toolbar buttons are owned by the window itself.
    for (QObject* part : window.findChildren<QObject*>(name, Qt::FindDirectChildrenOnly)) {
        if (visit(*part)) {
            return true;
        }
    }
    for (QObject* part : window.findChildren<QObject*>(name)) {
        if (visit(*part)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool SetCaption(QObject& part, const QString& caption) {
    if (auto* menu = qobject_cast<QMenu*>(&part)) {
        menu->setTitle(caption);
    } else if (auto* action = qobject_cast<QAction*>(&part)) {
        // Named separators are all toolbar separators, which never draw their text.
        action->setText(caption);
    } else if (auto* button = qobject_cast<QAbstractButton*>(&part)) {
        button->setText(caption);
    } else if (auto* label = qobject_cast<QLabel*>(&part)) {
        label->setText(caption);
    } else if (auto* group = qobject_cast<QGroupBox*>(&part)) {
        group->setTitle(caption);
    } else if (auto* page = qobject_cast<QWidget*>(&part); page != nullptr && TabsOf(*page) != nullptr) {
        QTabWidget* tabs = TabsOf(*page);
        tabs->setTabText(tabs->indexOf(page), caption);
    } else {
        return false;
    }
    return true;
}

QString CaptionOf(const QObject& part) {
    if (const auto* menu = qobject_cast<const QMenu*>(&part)) {
        return menu->title();
    }
    if (const auto* action = qobject_cast<const QAction*>(&part)) {
        return action->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&part)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(&part)) {
        return label->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(&part)) {
        return group->title();
    }
    if (const auto* page = qobject_cast<const QWidget*>(&part); page != nullptr && TabsOf(*page) != nullptr) {
        const QTabWidget* tabs = TabsOf(*page);
        return tabs->tabText(tabs->indexOf(page));
    }
    return {};
}

bool SetComponentCaption(QObject& window, const QString& name, const QString& caption) {
    return WithPart(window, name, [&caption](QObject& part) { return SetCaption(part, caption); });
}

QString ComponentCaption(const QObject& window, const QString& name) {
    QString caption;
    WithPart(window, name, [&caption](QObject& part) {
        if (!HasCaption(part)) {
            return false;
        }
        caption = CaptionOf(part);
        return true;
    });
    return caption;
}

} // namespace norvik::ui
