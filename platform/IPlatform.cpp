#include "platform/IPlatform.h"

#include <exception>
#include <new>

namespace norvik::platform {

void RunCommand(IPlatform& platform, QWidget* parent, const std::function<void()>& command) {
    try {
        command();
    } catch (const std::bad_alloc&) {
        platform.showMessage(parent, QStringLiteral("内存不足，命令未能完成。"), MessageKind::Error);
    } catch (const std::exception& error) {
        platform.showMessage(parent, QString::fromUtf8(error.what()), MessageKind::Error);
    }
}

QString ToQtFilter(const QString& filter) {
    if (filter.isEmpty()) {
        return {};
    }
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString& description = parts[i];
        // A description without its pattern field still needs something Qt can match against.
        const QString patterns = i + 1 < parts.size() ? parts[i + 1] : QStringLiteral("*");
        QStringList masks = patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& mask : masks) {
            mask = mask.trimmed();
            // "All files" means every name, also one without a dot (as in the folder scan).
            if (mask == QLatin1String("*.*")) {
                mask = QStringLiteral("*");
            }
        }
        masks.removeAll(QString());
        if (masks.isEmpty()) {
            masks << QStringLiteral("*");
        }
        // Qt reads the patterns from the last parenthesised group and splits them at blanks, so the
        // ";"-joined masks of the description are restated blank-separated.
        entries << description + QStringLiteral(" (") + masks.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

} // namespace norvik::platform
