#pragma once
// The help document NVK.html beside the executable, opened in the desktop's browser.
#include <QString>
#include <string>

namespace norvik::platform {
class IPlatform;
}

namespace norvik::ui {

/// The document's file name in the executable's folder.
inline constexpr const char* kHelpDocumentName = "NVK.html";
/// The section of the document that tells how to report a problem.
inline constexpr const char* kFeedbackAnchor = "feedback";
/// The section on the rule editor.
inline constexpr const char* kEditorAnchor = "editor";

/// The file URL of the document in `exeFolder` (ending with '/'), with `anchor` as its fragment
/// unless empty; empty when the document is not there.
[[nodiscard]] QString HelpDocumentUrl(const std::string& exeFolder, const QString& anchor = {});

/// Hands the document's URL to the desktop; a missing document shows nothing.
void OpenHelpDocument(platform::IPlatform& platform, const std::string& exeFolder, const QString& anchor = {});

} // namespace norvik::ui
