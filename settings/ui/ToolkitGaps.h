#pragma once
// The toolkit's own texts that its installed translation leaves in English (the file dialog's "Folder"
// type column), for the packs whose toolkit locale has such gaps.
#include <QString>
#include <QTranslator>

namespace norvik::ui {

class ToolkitGaps final : public QTranslator {
public:
    /// `locale` as settings::ToolkitLocaleOf gives it ("zh_CN"); a locale without known gaps
    /// translates nothing (isEmpty()).
    explicit ToolkitGaps(QString locale) : m_locale(std::move(locale)) {}

    [[nodiscard]] QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                                    int n = -1) const override;
    [[nodiscard]] bool isEmpty() const override;

private:
    QString m_locale;
};

} // namespace norvik::ui
