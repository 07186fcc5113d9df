#pragma once
// Helpers shared by the core tests: a fresh temporary folder per test and byte-exact file access.
#include <filesystem>
#include <string>
#include <string_view>

namespace norvik::test {

/// A fresh folder under the system's temporary folder, removed (with everything in it) on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const noexcept { return m_path; }
    /// The folder's path as text, ending with '/'.
    [[nodiscard]] std::string folder() const { return m_path.string() + "/"; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

void WriteBytes(const std::filesystem::path& path, std::string_view bytes);
[[nodiscard]] std::string ReadBytes(const std::filesystem::path& path);

/// Bytes from a hex string with optional blanks: "EF BB BF 61".
[[nodiscard]] std::string Bytes(std::string_view hex);

} // namespace norvik::test
