#pragma once
// Whole-file readers and writers of each encoding, for the codec tests and the codec fuzz target: the
// byte-level codec with a file read or an atomic write around it. Header-only, so that the fuzz target
// (which links no test support) can use it too.
#include <filesystem>
#include <string>
#include <string_view>

#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "filedeal/TextCodec.h"

namespace norvik::test {

/// Readers: the working text of the file's bytes. Each throws FileOpenError when the file cannot be
/// opened or read.
[[nodiscard]] inline std::string ReadAnsiText(const std::filesystem::path& path) {
    return filedeal::DecodeAnsi(filedeal::ReadFileBytes(path));
}
[[nodiscard]] inline std::string ReadUtf16Text(const std::filesystem::path& path) {
    return filedeal::DecodeUtf16(filedeal::ReadFileBytes(path));
}
[[nodiscard]] inline std::string ReadUtf8Text(const std::filesystem::path& path, bool withMark) {
    return filedeal::DecodeUtf8(filedeal::ReadFileBytes(path), withMark);
}

/// Writers: replace the whole file atomically (see WriteFileAtomic); false on any failure, including
/// an existing read-only target. Never throw. Unicode ones write in the Unicode set, so what the
/// readers give is written back whole.
[[nodiscard]] inline bool WriteAnsiText(std::string_view text, const std::filesystem::path& path) noexcept {
    try {
        return filedeal::WriteFileAtomic(path, filedeal::EncodeText(text, filedeal::EncodingKind::Ansi).bytes);
    } catch (...) {
        return false;
    }
}
[[nodiscard]] inline bool WriteUtf16Text(std::string_view text, const std::filesystem::path& path) noexcept {
    try {
        return filedeal::WriteFileAtomic(
            path, filedeal::EncodeText(text, filedeal::EncodingKind::Utf16Le, filedeal::CharacterSet::Unicode).bytes);
    } catch (...) {
        return false;
    }
}
[[nodiscard]] inline bool WriteUtf8Text(std::string_view text, const std::filesystem::path& path,
                                        bool withMark) noexcept {
    try {
        const auto kind = withMark ? filedeal::EncodingKind::Utf8Bom : filedeal::EncodingKind::Utf8;
        return filedeal::WriteFileAtomic(path, filedeal::EncodeText(text, kind, filedeal::CharacterSet::Unicode).bytes);
    } catch (...) {
        return false;
    }
}

} // namespace norvik::test
