// The help document installed beside the executables and how the window opens it: the help command,
// F1 and "提意见" open it, so a missing file, a broken encoding, a lost feedback anchor, a command the
// guide no longer mentions or a URL that names another file would all reach users unnoticed.
#include <gtest/gtest.h>

#include <QString>
#include <QUrl>

#include <cstddef>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.h"
#include "norvik/Version.h"
#include "ui/HelpDocument.h"

namespace {

std::filesystem::path HelpDocumentPath() {
    return std::filesystem::path(NORVIK_HELP_DOCUMENT_DIR) / norvik::ui::kHelpDocumentName;
}

std::string HelpDocument() {
    return norvik::test::ReadBytes(HelpDocumentPath());
}

/// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

void ExpectMentions(const std::string& document, const std::vector<std::string>& captions) {
    for (const std::string& caption : captions) {
        EXPECT_NE(document.find(caption), std::string::npos) << "the guide does not mention " << caption;
    }
}

std::set<std::string> Captures(const std::string& document, const std::regex& pattern) {
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(document.begin(), document.end(), pattern); it != std::sregex_iterator();
         ++it) {
        found.insert((*it)[1].str());
    }
    return found;
}

} // namespace

TEST(HelpDocument, ExistsAsUtf8AndSaysSo) {
    // The checker itself must refuse what a browser would show as garbage.
    ASSERT_FALSE(IsValidUtf8("\xC3\x28"));
    ASSERT_FALSE(IsValidUtf8("\xC0\xAF"));
    ASSERT_FALSE(IsValidUtf8("\xED\xA0\x80"));
    ASSERT_FALSE(IsValidUtf8("\xE4\xB8"));
    ASSERT_TRUE(IsValidUtf8("\xE4\xB8\xAD"));

    ASSERT_TRUE(std::filesystem::is_regular_file(HelpDocumentPath())) << HelpDocumentPath();
    const std::string document = HelpDocument();
    ASSERT_FALSE(document.empty());
    EXPECT_TRUE(IsValidUtf8(document));
    // Without the declaration a browser may guess another encoding for a local file.
    EXPECT_NE(document.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_EQ(document.rfind("<!DOCTYPE html>", 0), 0U);
    // Made from its template with the program's version, which is written in one place only.
    EXPECT_NE(document.find("<title>Norvik " + std::string(norvik::kVersion) + " "), std::string::npos);
    EXPECT_EQ(document.find("@PROJECT_VERSION@"), std::string::npos);
}

TEST(HelpDocument, FeedbackCommandHasItsSection) {
    const std::string document = HelpDocument();
    EXPECT_NE(document.find("id=\"" + std::string(norvik::ui::kFeedbackAnchor) + "\""), std::string::npos);
}

TEST(HelpDocument, NamesEveryCommand) {
    const std::string document = HelpDocument();
    // Toolbar of the main window.
    ExpectMentions(document,
                   {"+文件夹", "+文件", "配置", "批量设置", "一般替换", "特征替换", "恢复", "帮助", "关于", "提意见"});
    // Menu items and their shortcuts, the hidden extraction mode included.
    ExpectMentions(document, {"退出", "从备份恢复原文件", "参数配置", "多重替换设置", "一般批量替换",
                              "特征字符串之间替换", "特征提取", "关于本软件", "Language", "<kbd>F1</kbd>",
                              "<kbd>F9</kbd>", "<kbd>F10</kbd>", "<kbd>F11</kbd>"});
    // Job controls, the target list's pop-up menu and the search tab.
    ExpectMentions(document, {"开始", "暂停", "停止", "添加目标文件夹", "添加目标文件", "手动添加目标路径", "全选",
                              "反选", "删除", "清空", "查找"});
    // Rule editor and configuration dialog.
    ExpectMentions(document,
                   {"新建规则", "加载规则", "保存规则", "关闭规则", "增加", "修改", "删除所选", "默认设置",
                    "直接在原文件上操作", "输出到自定义文件夹", "跳过版本管理文件夹", "跳过这些名称的文件和文件夹"});
    // Options of the command line that the window has too.
    ExpectMentions(document, {"--types", "--no-subdirs", "--exclude", "--no-default-excludes"});
}

TEST(HelpDocument, EveryInternalLinkHasItsAnchor) {
    const std::string document = HelpDocument();
    const std::set<std::string> anchors = Captures(document, std::regex(R"re(id="([^"]+)")re"));
    const std::set<std::string> links = Captures(document, std::regex(R"re(href="#([^"]+)")re"));
    EXPECT_FALSE(links.empty());
    for (const std::string& link : links) {
        EXPECT_TRUE(anchors.count(link) == 1) << "no anchor for #" << link;
    }
}

TEST(HelpDocument, NeedsNothingFromOutside) {
    const std::string document = HelpDocument();
    // Opened from disk, possibly offline: no scripts, no linked style sheets, no fetched pictures.
    EXPECT_EQ(document.find("<script"), std::string::npos);
    EXPECT_EQ(document.find("<link"), std::string::npos);
    EXPECT_EQ(document.find("src="), std::string::npos);
    EXPECT_EQ(document.find("url("), std::string::npos);
    EXPECT_EQ(document.find("@import"), std::string::npos);
}

TEST(HelpDocument, UrlNamesTheDocumentWhateverItsFolderIsCalled) {
    // A '#' or '%' in a folder name must not become a fragment or an escape, so the browser is
    // given this very file.
    const norvik::test::TempDir temp;
    const std::filesystem::path folder = temp / "help #1 %41";
    std::filesystem::create_directories(folder);
    norvik::test::WriteBytes(folder / norvik::ui::kHelpDocumentName, "<!DOCTYPE html>");
    const std::string exeFolder = folder.string() + "/";

    const QUrl help(norvik::ui::HelpDocumentUrl(exeFolder));
    ASSERT_TRUE(help.isLocalFile());
    EXPECT_EQ(help.toLocalFile().toStdString(), (folder / norvik::ui::kHelpDocumentName).string());
    EXPECT_FALSE(help.hasFragment());

    const QUrl feedback(norvik::ui::HelpDocumentUrl(exeFolder, QString::fromLatin1(norvik::ui::kFeedbackAnchor)));
    EXPECT_EQ(feedback.toLocalFile(), help.toLocalFile());
    EXPECT_EQ(feedback.fragment().toStdString(), norvik::ui::kFeedbackAnchor);
}

TEST(HelpDocument, NoUrlWithoutTheDocument) {
    const norvik::test::TempDir temp;
    EXPECT_TRUE(norvik::ui::HelpDocumentUrl(temp.folder()).isEmpty());
    EXPECT_TRUE(norvik::ui::HelpDocumentUrl(temp.folder(), QStringLiteral("feedback")).isEmpty());
}
