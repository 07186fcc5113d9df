#include "ui/HelpDocument.h"

#include <QUrl>

#include "filedeal/FileOps.h"
#include "platform/IPlatform.h"
#include "ui/PathText.h"

namespace norvik::ui {

QString HelpDocumentUrl(const std::string& exeFolder, const QString& anchor) {
    const std::string path = exeFolder + kHelpDocumentName;
    if (!filedeal::FileExists(path)) {
        return {};
    }
    QUrl url = QUrl::fromLocalFile(PathText(path));
    if (!anchor.isEmpty()) {
        url.setFragment(anchor);
    }
    // Fully encoded, so a '#' or '%' in a folder name cannot be taken for a fragment or an escape.
    return url.toString(QUrl::FullyEncoded);
}

void OpenHelpDocument(platform::IPlatform& platform, const std::string& exeFolder, const QString& anchor) {
    const QString url = HelpDocumentUrl(exeFolder, anchor);
    if (!url.isEmpty()) {
        platform.openUrl(url);
    }
}

} // namespace norvik::ui
