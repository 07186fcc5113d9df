#pragma once
// Captions of named parts, whatever kind of part carries the name: a menu (its title), a menu item or
// toolbar button (an action's text), a tab page (its tab's text), a button, a check box, a label or
// a group box. Language packs address parts this way; this is the one place a caption is set.
#include <QString>

class QObject;

namespace norvik::ui {

/// Sets a part's caption; false when the part is of a kind that has none.
bool SetCaption(QObject& part, const QString& caption);
/// A part's caption; empty when it has none.
[[nodiscard]] QString CaptionOf(const QObject& part);

/// Sets the caption of the part named `name` under `window` (the window's own children first, then
/// deeper); false when no captioned part has that name.
bool SetComponentCaption(QObject& window, const QString& name, const QString& caption);
/// The caption of the named part; empty when there is none.
[[nodiscard]] QString ComponentCaption(const QObject& window, const QString& name);

} // namespace norvik::ui
