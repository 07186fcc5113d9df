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
    return qobject_cast<QTabWidget*>(stack->parentWidget());
}

template <typename Visit> bool WithPart(const QObject& window, const QString& name, Visit visit) {
    // Direct children first: menu items and toolbar buttons are owned by the window itself.
    for (QObject* part : window.findChildren<QObject*>(name, Qt::FindDirectChildrenOnly)) {
        if (visit(part)) {
            return true;
        }
    }
    for (QObject* part : window.findChildren<QObject*>(name)) {
        if (visit(part)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool SetComponentCaption(QObject& window, const QString& name, const QString& caption) {
    return WithPart(window, name, [&caption](QObject* part) {
        if (auto* menu = qobject_cast<QMenu*>(part)) {
            menu->setTitle(caption);
        } else if (auto* action = qobject_cast<QAction*>(part)) {
            action->setText(caption);
        } else if (auto* button = qobject_cast<QAbstractButton*>(part)) {
            button->setText(caption);
        } else if (auto* label = qobject_cast<QLabel*>(part)) {
            label->setText(caption);
        } else if (auto* group = qobject_cast<QGroupBox*>(part)) {
            group->setTitle(caption);
        } else if (auto* page = qobject_cast<QWidget*>(part); page != nullptr && TabsOf(*page) != nullptr) {
            QTabWidget* tabs = TabsOf(*page);
            tabs->setTabText(tabs->indexOf(page), caption);
        } else {
            return false;
        }
        return true;
    });
}

QString ComponentCaption(const QObject& window, const QString& name) {
    QString caption;
    WithPart(window, name, [&caption](QObject* part) {
        if (auto* menu = qobject_cast<QMenu*>(part)) {
            caption = menu->title();
        } else if (auto* action = qobject_cast<QAction*>(part)) {
            caption = action->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(part)) {
            caption = button->text();
        } else if (auto* label = qobject_cast<QLabel*>(part)) {
            caption = label->text();
        } else if (auto* group = qobject_cast<QGroupBox*>(part)) {
            caption = group->title();
        } else if (auto* page = qobject_cast<QWidget*>(part); page != nullptr && TabsOf(*page) != nullptr) {
            QTabWidget* tabs = TabsOf(*page);
            caption = tabs->tabText(tabs->indexOf(page));
        } else {
            return false;
        }
        return true;
    });
    return caption;
}

} // namespace norvik::ui
