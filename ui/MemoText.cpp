#include "ui/MemoText.h"

#include <QPlainTextEdit>
#include <QTextDocument>

namespace norvik::ui {

std::string MemoTextUtf8(const QPlainTextEdit& box) {
    // The raw text keeps non-breaking spaces, which the plain-text export would turn into blanks;
    // blocks and soft line breaks come as U+2029 and U+2028.
    QString text = box.document()->toRawText();
    const QString crlf = QStringLiteral("\r\n");
    text.replace(QChar::ParagraphSeparator, crlf);
    text.replace(QChar::LineSeparator, crlf);
    return text.toStdString();
}

void SetMemoTextUtf8(QPlainTextEdit& box, std::string_view utf8) {
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setPlainText(text);
}

} // namespace norvik::ui
