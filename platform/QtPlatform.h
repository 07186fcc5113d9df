#pragma once
// The desktop as the real program sees it: Qt's message, input and file dialogs and the desktop
// services. Every box carries the application title as its caption.
#include "platform/IPlatform.h"

namespace norvik::platform {

class QtPlatform final : public IPlatform {
public:
    /// The caption of every box the program shows.
    static constexpr const char* kCaption = "Norvik";

    void showMessage(QWidget* parent, const QString& text, MessageKind kind = MessageKind::Information) override;
    bool askYesNo(QWidget* parent, const QString& text) override;
    bool inputText(QWidget* parent, const QString& prompt, QString& text) override;
    QString browseFolder(QWidget* parent) override;
    QStringList openFiles(QWidget* parent, const QString& folder, const QString& filter) override;
    QString openFile(QWidget* parent, const QString& folder, const QString& filter) override;
    QString saveFile(QWidget* parent, const QString& folder, const QString& filter) override;
    void openPath(const QString& path) override;
    void openUrl(const QString& url) override;
    void processEvents() override;
};

} // namespace norvik::platform
