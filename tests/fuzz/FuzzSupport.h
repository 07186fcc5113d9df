#pragma once
// Small helpers shared by the fuzz targets: a check that stops the fuzzer with a readable message,
// a cursor over the input bytes, and a scratch folder for targets that go through the file system.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

/// Stops the run (libFuzzer saves the input as a crash) when a property does not hold.
#define NORVIK_FUZZ_CHECK(condition)                                                                                   \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "property failed: %s\n  at %s:%d\n", #condition, __FILE__, __LINE__);                 \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace norvik::fuzz {

/// Reads the fuzzer's bytes front to back; running out gives zeros and empty texts.
class InputCursor {
public:
    InputCursor(const std::uint8_t* data, std::size_t size) : m_rest(reinterpret_cast<const char*>(data), size) {}

    [[nodiscard]] unsigned char takeByte() noexcept {
        if (m_rest.empty()) {
            return 0;
        }
        const auto b = static_cast<unsigned char>(m_rest.front());
        m_rest.remove_prefix(1);
        return b;
    }

    [[nodiscard]] std::string_view take(std::size_t count) noexcept {
        const std::string_view part = m_rest.substr(0, count);
        m_rest.remove_prefix(part.size());
        return part;
    }

    [[nodiscard]] std::string_view rest() const noexcept { return m_rest; }

private:
    std::string_view m_rest;
};

/// One scratch folder per fuzzing process, removed when the process ends normally. It lies in $TMPDIR
/// when that is set, else in memory (/dev/shm) where there is such a folder: the fuzzers write files
/// thousands of times a second.
inline const std::filesystem::path& ScratchFolder() {
    struct Folder {
        std::filesystem::path path;
        Folder() {
            std::error_code ec;
            const std::filesystem::path base =
                std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm", ec)
                    ? std::filesystem::path("/dev/shm")
                    : std::filesystem::temp_directory_path();
            std::string pattern = (base / "norvik-fuzz-XXXXXX").string();
            if (::mkdtemp(pattern.data()) == nullptr) {
                std::perror("mkdtemp");
                std::abort();
            }
            path = pattern;
        }
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder folder;
    return folder.path;
}

} // namespace norvik::fuzz
