#include "settings/SettingsDocument.h"

#include <vector>

#include "filedeal/FileOps.h"
#include "filedeal/TextTrim.h"

namespace norvik::settings {

namespace fs = std::filesystem;

namespace {

// Comments, the declaration, processing instructions and the whitespace between elements are parsed
// into nodes so that a rewrite gives them back. Line ends are not normalised, for the same reason.
// The fragment mode keeps whitespace at the document level too; well-formedness is checked by a
// separate ordinary parse first.
constexpr unsigned kKeepEverything = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_wconv_attribute |
                                     pugi::parse_comments | pugi::parse_declaration | pugi::parse_pi |
                                     pugi::parse_doctype | pugi::parse_ws_pcdata | pugi::parse_fragment;
constexpr unsigned kCheckFlags = pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype;

bool HasByteOrderMark(std::string_view bytes) noexcept {
    using namespace std::string_view_literals;
    return bytes.starts_with("\xEF\xBB\xBF"sv) || bytes.starts_with("\xFF\xFE"sv) || bytes.starts_with("\xFE\xFF"sv) ||
           bytes.starts_with("\x00\x00\xFE\xFF"sv);
}

bool IsKey(const pugi::xml_node& node, std::string_view key) noexcept {
    return node.type() == pugi::node_element && std::string_view(node.name()) == key;
}

// Calls `visit` for every key element named `key`, in document order, until it returns false.
template <typename Visit> void ForEachKey(const pugi::xml_document& doc, std::string_view key, Visit visit) {
    for (const pugi::xml_node group : doc.document_element().children()) {
        if (group.type() != pugi::node_element) {
            continue;
        }
        for (const pugi::xml_node element : group.children()) {
            if (IsKey(element, key) && !visit(element)) {
                return;
            }
        }
    }
}

// A key element may hold nothing or exactly one plain text node.
bool HoldsPlainText(const pugi::xml_node& element) noexcept {
    const pugi::xml_node first = element.first_child();
    return !first || (first.type() == pugi::node_pcdata && !first.next_sibling());
}

const char* DocumentLevelFault(const pugi::xml_document& doc) noexcept {
    int elements = 0;
    for (const pugi::xml_node node : doc.children()) {
        if (node.type() == pugi::node_element) {
            ++elements;
        } else if ((node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) &&
                   !filedeal::TrimBlanks(node.value()).empty()) {
            return "Text found outside the document element";
        }
    }
    if (elements > 1) {
        return "More than one document element found";
    }
    return elements == 0 ? "No document element found" : nullptr;
}

class StringWriter : public pugi::xml_writer {
public:
    explicit StringWriter(std::string& out) : m_out(out) {}
    void write(const void* data, std::size_t size) override { m_out.append(static_cast<const char*>(data), size); }

private:
    std::string& m_out;
};

// True when UTF-8 text holds a character above U+00FF (or bytes that are no UTF-8), which a
// Latin-1 document cannot store.
bool NeedsMoreThanLatin1(std::string_view utf8) noexcept {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            continue;
        }
        if ((b == 0xC2 || b == 0xC3) && i + 1 < utf8.size() &&
            (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

} // namespace

LoadResult SettingsDocument::loadFile(const fs::path& path) {
    m_doc.reset();
    m_loaded = false;
    m_changed = false;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        return {};
    }
    std::string bytes;
    try {
        // A regular file of a sane size only: one that is swapped for a pipe or grows without end is
        // an unreadable file, not a hang or a memory exhaustion.
        bytes = filedeal::ReadSmallFileBytes(path);
    } catch (const filedeal::FileOpenError&) {
        pugi::xml_parse_result failed;
        failed.status = pugi::status_io_error;
        return {LoadStatus::ParseError, failed.description(), -1};
    }
    return loadBytes(bytes);
}

LoadResult SettingsDocument::loadBytes(std::string_view bytes) {
    m_doc.reset();
    m_loaded = false;
    m_changed = false;
    {
        pugi::xml_document check;
        const pugi::xml_parse_result checked = check.load_buffer(bytes.data(), bytes.size(), kCheckFlags);
        if (!checked) {
            return {LoadStatus::ParseError, checked.description(), checked.offset};
        }
    }
    const pugi::xml_parse_result result = m_doc.load_buffer(bytes.data(), bytes.size(), kKeepEverything);
    if (!result) {
        m_doc.reset();
        return {LoadStatus::ParseError, result.description(), result.offset};
    }
    // The parser is lenient at the document level; a settings file has exactly one root element and
    // nothing but markup and whitespace around it.
    if (const char* fault = DocumentLevelFault(m_doc)) {
        m_doc.reset();
        return {LoadStatus::ParseError, fault, -1};
    }
    m_encoding = result.encoding;
    m_hasBom = HasByteOrderMark(bytes);
    m_loaded = true;
    return {LoadStatus::Loaded, {}, -1};
}

std::string SettingsDocument::readSetting(std::string_view key) const {
    std::string value;
    ForEachKey(m_doc, key, [&value](const pugi::xml_node& element) {
        if (!HoldsPlainText(element)) {
            throw SettingsError(kNotSingleTextNodeMessage);
        }
        value = filedeal::TrimBlanks(element.first_child().value());
        return false;
    });
    return value;
}

bool SettingsDocument::hasSetting(std::string_view key) const {
    bool found = false;
    ForEachKey(m_doc, key, [&found](const pugi::xml_node&) {
        found = true;
        return false;
    });
    return found;
}

void SettingsDocument::writeSetting(std::string_view key, std::string_view value) {
    std::vector<pugi::xml_node> targets;
    ForEachKey(m_doc, key, [&targets](const pugi::xml_node& element) {
        if (!HoldsPlainText(element)) {
            throw SettingsError(kNotSingleTextNodeMessage);
        }
        targets.push_back(element);
        return true;
    });
    if (!targets.empty() && m_encoding == pugi::encoding_latin1 && NeedsMoreThanLatin1(value)) {
        // Saved as Latin-1 the value would come back as '?'; the document is saved as UTF-8 from now
        // on, and its declaration says so. A declaration too garbled to hold an encoding attribute
        // still named Latin-1 to the parser, so the byte-order mark has to say it then.
        m_encoding = pugi::encoding_utf8;
        bool declared = false;
        for (pugi::xml_node node : m_doc.children()) {
            if (pugi::xml_attribute encoding = node.attribute("encoding");
                node.type() == pugi::node_declaration && encoding) {
                declared = encoding.set_value("UTF-8");
            }
        }
        m_hasBom = m_hasBom || !declared;
    }
    for (pugi::xml_node element : targets) {
        pugi::xml_node text = element.first_child();
        if (!text) {
            text = element.append_child(pugi::node_pcdata);
        }
        text.set_value(value.data(), value.size());
        m_changed = true;
    }
}

std::string SettingsDocument::saveBytes() const {
    std::string bytes;
    if (!m_loaded) {
        return bytes;
    }
    // The loaded declaration node (if any) is written as a node; pugixml must not add its own.
    unsigned flags = pugi::format_raw | pugi::format_no_declaration;
    if (m_hasBom) {
        flags |= pugi::format_write_bom;
    }
    StringWriter writer(bytes);
    m_doc.save(writer, "", flags, m_encoding);
    return bytes;
}

bool SettingsDocument::saveFile(const fs::path& path) noexcept {
    try {
        if (!m_loaded || !filedeal::WriteFileAtomic(path, saveBytes())) {
            return false;
        }
        m_changed = false;
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace norvik::settings
