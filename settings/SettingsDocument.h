#pragma once
// The settings document: an XML file of three levels (root, groups, keys) whose key elements hold
// the values. Also the shape of the language packs.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace norvik::settings {

/// Raised when a key element holds anything but a single plain text node (or nothing). Its what()
/// is the text the window shows.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kNotSingleTextNodeMessage = "Element does not contain a single text node";

enum class LoadStatus : std::uint8_t {
    Loaded,     ///< the document holds the file
    Missing,    ///< no regular file at the path
    ParseError, ///< the file exists but could not be read or parsed; see message
};

struct LoadResult {
    LoadStatus status = LoadStatus::Missing;
    std::string message;        ///< for ParseError: the parser's own description of the fault
    std::ptrdiff_t offset = -1; ///< for ParseError: byte offset of the fault in the file, or -1

    [[nodiscard]] bool ok() const noexcept { return status == LoadStatus::Loaded; }
};

class SettingsDocument {
public:
    SettingsDocument() = default;
    SettingsDocument(const SettingsDocument&) = delete;
    SettingsDocument& operator=(const SettingsDocument&) = delete;
    SettingsDocument(SettingsDocument&&) = default;
    SettingsDocument& operator=(SettingsDocument&&) = default;
    ~SettingsDocument() = default;

    /// Loads a whole file. On any failure the document is left empty (not loaded), so reads give
    /// empty texts and writes do nothing. Missing: no regular file at `path` (a folder counts as
    /// missing). ParseError: unreadable, larger than filedeal::kMaxSmallFileBytes or not well-formed
    /// XML, with the parser's message.
    [[nodiscard]] LoadResult loadFile(const std::filesystem::path& path);

    /// Same as loadFile, from the file's bytes.
    [[nodiscard]] LoadResult loadBytes(std::string_view bytes);

    [[nodiscard]] bool isLoaded() const noexcept { return m_loaded; }

    /// The value of the first element named `key` (exact, case-sensitive) that is a child of a child
    /// of the root, in document order; root and group names are never looked at and elements at other
    /// depths are not keys. Leading and trailing characters up to U+0020 are removed. No such element
    /// gives the empty text. Throws SettingsError when the element holds anything but one text node
    /// (a child element, comment, CDATA section or several nodes); an empty element reads as "".
    [[nodiscard]] std::string readSetting(std::string_view key) const;
    /// True when the document holds the key: a key added in a later version is missing from files that
    /// earlier versions wrote, and then stands at its default (and is not saved).
    [[nodiscard]] bool hasSetting(std::string_view key) const;

    /// Sets `value` (UTF-8) as the whole text of every key element named `key`; none found: nothing
    /// happens and the value is lost. Any write that finds an element marks the document changed,
    /// even with the value it already had. Throws SettingsError, changing nothing, when one of the
    /// elements holds anything but one text node, since writing over it would destroy that content.
    void writeSetting(std::string_view key, std::string_view value);

    /// True after a write since the last load or successful save.
    [[nodiscard]] bool isChanged() const noexcept { return m_changed; }

    /// The document as it would be written: comments, the declaration, attributes, other elements and
    /// the whitespace between elements are kept; the encoding and byte-order mark of the loaded file
    /// are kept. Empty when nothing is loaded.
    [[nodiscard]] std::string saveBytes() const;

    /// Replaces the file atomically (temporary file in the same folder, then rename), keeping its
    /// permission bits and writing through a symbolic link. An existing read-only file (owner-write
    /// bit clear) is refused. Clears the changed mark on success. Returns false on any failure,
    /// including when nothing is loaded; never throws.
    [[nodiscard]] bool saveFile(const std::filesystem::path& path) noexcept;

private:
    pugi::xml_document m_doc;
    pugi::xml_encoding m_encoding = pugi::encoding_utf8;
    bool m_hasBom = false;
    bool m_loaded = false;
    bool m_changed = false;
};

} // namespace norvik::settings
