#include "rules/ui/RuleTexts.h"

#include "filedeal/CodePage.h"
#include "ui/MemoText.h"

namespace norvik::ui {

std::string WorkingTextOf(const QPlainTextEdit& box, bool* exact) {
    // The reader every text box shares, so a rule typed here gives the bytes it gives in the main
    // window; it already ends each line with CR LF.
    return filedeal::Utf8ToCodePage(MemoTextUtf8(box), exact);
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
