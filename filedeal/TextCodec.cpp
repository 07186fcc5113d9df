#include "filedeal/TextCodec.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"

namespace norvik::filedeal {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Mark = "\xFF\xFE";

bool StartsWith(std::string_view bytes, std::string_view prefix) noexcept {
    return bytes.size() >= prefix.size() && bytes.substr(0, prefix.size()) == prefix;
}

// Every line followed by CR LF; CR LF, lone CR and lone LF each end a line; a break at the very end
// starts no further line. Zero bytes are ordinary content.
std::string NormaliseLines(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 32 + 2);
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) {
        const char* q = p;
        while (q < end && *q != '\r' && *q != '\n') {
            ++q;
        }
        out.append(p, q);
        out.append("\r\n", 2);
        if (q == end) {
            break;
        }
        if (*q == '\r' && q + 1 < end && q[1] == '\n') {
            ++q;
        }
        p = q + 1;
    }
    return out;
}

void AppendUtf8Unit(std::string& out, char16_t u) {
    if (u < 0x80) {
        out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (u >> 6)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (u >> 12)));
        out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
}

} // namespace

bool IsUtf8Text(const unsigned char* bytes, std::size_t count) noexcept {
    std::size_t i = 0;
    bool allAscii = true;
    while (i < count) {
        // Skip ASCII eight bytes at a time.
        while (i + 8 <= count) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            if ((word & 0x8080808080808080ULL) != 0) {
                break;
            }
            i += 8;
        }
        if (i >= count) {
            break;
        }
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        allAscii = false;
        int pending;
        if (b < 0xC0) {
            return false;
        } else if (b < 0xE0) {
            pending = 1;
        } else if (b < 0xF0) {
            pending = 2;
        } else if (b < 0xF8) {
            pending = 3;
        } else if (b < 0xFC) {
            pending = 4;
        } else if (b < 0xFE) {
            pending = 5;
        } else if (b == 0xFE) {
            pending = 6;
        } else {
            pending = 7;
        }
        ++i;
        for (; pending > 0; --pending, ++i) {
            if (i >= count || (bytes[i] & 0xC0) != 0x80) {
                return false;
            }
        }
    }
    return !allAscii;
}

EncodingKind DetectEncodingOfBytes(std::string_view bytes) noexcept {
    if (StartsWith(bytes, kUtf8Mark)) {
        return EncodingKind::Utf8Bom;
    }
    if (StartsWith(bytes, kUtf16Mark)) {
        return EncodingKind::Utf16Le;
    }
    return IsUtf8Text(bytes) ? EncodingKind::Utf8 : EncodingKind::Ansi;
}

EncodingKind DetectEncoding(const std::filesystem::path& path) {
    // A file that cannot be opened (or is a folder) is its own kind; a read that fails after the
    // file opened is an error for the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return EncodingKind::Unopenable;
    }
    struct stat st {};
    const bool isFolder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    ::close(fd);
    if (isFolder) {
        return EncodingKind::Unopenable;
    }
    return DetectEncodingOfBytes(ReadFileBytes(path));
}

std::string DecodeAnsi(std::string_view bytes) {
    return NormaliseLines(bytes);
}

std::string DecodeUtf16(std::string_view bytes) {
    if (bytes.size() < 2) {
        return {};
    }
    const std::size_t count = (bytes.size() - 2) / 2;
    std::u16string units(count, u'\0');
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 2;
    for (std::size_t k = 0; k < count; ++k) {
        units[k] = static_cast<char16_t>(p[2 * k] | (p[2 * k + 1] << 8));
    }
    return Utf16ToCodePage(units);
}

std::string DecodeUtf8(std::string_view bytes, bool withMark) {
    if (withMark) {
        bytes.remove_prefix(std::min(bytes.size(), kUtf8Mark.size()));
    }
    // Decode to units first: any malformed, truncated or four-byte sequence empties the whole text.
    std::u16string units;
    units.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            units.push_back(b);
            ++i;
        } else if (b >= 0xC0 && b < 0xE0) {
            if (i + 1 >= n || (p[i + 1] & 0xC0) != 0x80) {
                return {};
            }
            units.push_back(static_cast<char16_t>((b & 0x1F) << 6 | (p[i + 1] & 0x3F)));
            i += 2;
        } else if (b >= 0xE0 && b < 0xF0) {
            if (i + 2 >= n || (p[i + 1] & 0xC0) != 0x80 || (p[i + 2] & 0xC0) != 0x80) {
                return {};
            }
            units.push_back(static_cast<char16_t>((b & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F)));
            i += 3;
        } else {
            return {}; // a stray continuation byte, or a four-byte or longer form
        }
    }
    return Utf16ToCodePage(units);
}

std::string DecodeText(std::string_view bytes, EncodingKind kind) {
    switch (kind) {
    case EncodingKind::Ansi:
        return DecodeAnsi(bytes);
    case EncodingKind::Utf16Le:
        return DecodeUtf16(bytes);
    case EncodingKind::Utf8Bom:
        return DecodeUtf8(bytes, true);
    case EncodingKind::Utf8:
        return DecodeUtf8(bytes, false);
    case EncodingKind::Unopenable:
        break;
    }
    return {};
}

std::string EncodeText(std::string_view text, EncodingKind kind, bool* exact) {
    if (exact != nullptr) {
        *exact = true;
    }
    switch (kind) {
    case EncodingKind::Ansi:
        return NormaliseLines(text);
    case EncodingKind::Utf16Le: {
        const std::u16string units = CodePageToUtf16(text, exact);
        std::string out(kUtf16Mark);
        out.reserve(2 + units.size() * 2);
        for (char16_t u : units) {
            out.push_back(static_cast<char>(u & 0xFF));
            out.push_back(static_cast<char>(u >> 8));
        }
        return out;
    }
    case EncodingKind::Utf8Bom:
    case EncodingKind::Utf8: {
        const std::u16string units = CodePageToUtf16(text, exact);
        std::string out(kind == EncodingKind::Utf8Bom ? kUtf8Mark : std::string_view{});
        out.reserve(out.size() + text.size() + text.size() / 2);
        for (char16_t u : units) {
            AppendUtf8Unit(out, u);
        }
        return out;
    }
    case EncodingKind::Unopenable:
        break;
    }
    return {};
}

bool SurvivesRoundTrip(std::string_view original, std::string_view text, EncodingKind kind) {
    if (kind == EncodingKind::Ansi) {
        return true;
    }
    bool exact = true;
    return EncodeText(text, kind, &exact) == original && exact;
}

std::string ReadAnsiText(const std::filesystem::path& path) {
    return DecodeAnsi(ReadFileBytes(path));
}

std::string ReadUtf16Text(const std::filesystem::path& path) {
    return DecodeUtf16(ReadFileBytes(path));
}

std::string ReadUtf8Text(const std::filesystem::path& path, bool withMark) {
    return DecodeUtf8(ReadFileBytes(path), withMark);
}

bool WriteAnsiText(std::string_view text, const std::filesystem::path& path) noexcept {
    try {
        return WriteFileAtomic(path, EncodeText(text, EncodingKind::Ansi));
    } catch (...) {
        return false;
    }
}

bool WriteUtf16Text(std::string_view text, const std::filesystem::path& path) noexcept {
    try {
        return WriteFileAtomic(path, EncodeText(text, EncodingKind::Utf16Le));
    } catch (...) {
        return false;
    }
}

bool WriteUtf8Text(std::string_view text, const std::filesystem::path& path, bool withMark) noexcept {
    try {
        return WriteFileAtomic(path, EncodeText(text, withMark ? EncodingKind::Utf8Bom : EncodingKind::Utf8));
    } catch (...) {
        return false;
    }
}

} // namespace norvik::filedeal
