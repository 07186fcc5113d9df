#include "rules/ui/RuleTexts.h"

#include "filedeal/CodePage.h"

namespace norvik::ui {

std::string WorkingTextOf(const QString& boxText, bool* exact) {
    const std::string bytes = filedeal::Utf8ToCodePage(boxText.toStdString(), exact);
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16);
    // No GBK trail byte is 0x0A or 0x0D, so line breaks can be found byte by byte.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            text += '\r';
        }
        text += bytes[i];
    }
    return text;
}

QString BoxTextOf(std::string_view workingText) {
    QString text = QString::fromStdString(filedeal::CodePageToUtf8(workingText));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QString RowTextOf(std::string_view workingText) {
    QString text = QString::fromStdString(filedeal::CodePageToUtf8(workingText));
    const QChar mark(0x21B5);
    text.replace(QStringLiteral("\r\n"), mark);
    text.replace(QLatin1Char('\r'), mark);
    text.replace(QLatin1Char('\n'), mark);
    return text;
}

} // namespace norvik::ui
