#include "ui/PathText.h"

#include <QByteArray>
#include <QFile>

namespace norvik::ui {

std::string TrimBlanks(std::string_view text) {
    const auto blank = [](char c) {
        return static_cast<unsigned char>(c) <= 32;
    };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace norvik::ui
