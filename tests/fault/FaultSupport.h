#pragma once
// Helpers of the fault, kill and hostile-tree tests: starting the real norvik-cli (with or without the
// fault shim), reading what it printed, and corpora whose old and new bytes are known beforehand.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <vector>

namespace norvik::faulttest {

namespace fs = std::filesystem;

/// The sanitizer build runs every program several times slower: its sweeps and kills are thinner
/// (it is there to catch memory errors, the plain build keeps the full counts).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

using Env = std::map<std::string, std::string>;

/// How one run of norvik-cli ended and what it printed.
struct CliRun {
    bool exited = false; ///< ended through exit (not a signal)
    int exitCode = -1;
    int signal = 0;
    std::string out;
    std::string err;
    long maxRssKiB = 0;    ///< peak resident memory
    bool timedOut = false; ///< killed for taking longer than allowed
};

/// The path of norvik-cli and of the fault shim.
[[nodiscard]] std::string CliPath();
[[nodiscard]] std::string ShimPath();

/// Settings of StartCli given through `env` (and passed on, harmlessly): the address-space limit of
/// the program in MiB (so that one large file exhausts its memory), and, when not empty, permission
/// bits enforced even for the administrator (who otherwise enters any folder).
inline constexpr const char* kEnvAddressLimitMiB = "NVK_TEST_ADDRESS_LIMIT_MIB";
inline constexpr const char* kEnvEnforcePermissions = "NVK_TEST_ENFORCE_PERMISSIONS";

/// Starts norvik-cli (or `program`) with `args` and the current environment plus `env`; standard output
/// and error go to files in `ioFolder`. Returns the child's id.
[[nodiscard]] pid_t StartCli(const std::vector<std::string>& args, const Env& env, const fs::path& ioFolder,
                             const std::string& program = {});
/// Waits for a child started by StartCli and collects what it printed. A child that is still running
/// after `timeoutSeconds` is killed (a hang must fail the test, not stall it).
[[nodiscard]] CliRun FinishCli(pid_t pid, const fs::path& ioFolder, int timeoutSeconds = 300);
/// StartCli and FinishCli in one.
[[nodiscard]] CliRun RunCli(const std::vector<std::string>& args, const Env& env, const fs::path& ioFolder,
                            int timeoutSeconds = 300, const std::string& program = {});

/// The memory the system could still give, in KiB (MemAvailable).
[[nodiscard]] unsigned long long AvailableMemoryKiB();

/// The environment that loads the fault shim watching `root`, with its report going to `report`.
[[nodiscard]] Env ShimEnv(const fs::path& root, const fs::path& report);

/// The summary line "替换规则%u条,共涉及文件%u个,符合替换条件的%u个,成功替换%u个,失败%u个,文件不存在%u个".
struct Summary {
    unsigned rules = 0, collected = 0, changed = 0, successes = 0, failures = 0, missing = 0;
};

/// What a replace run printed, taken apart.
struct JobOutput {
    std::vector<std::string> written; ///< the lines before the summary
    std::optional<Summary> summary;
    std::vector<std::string> errors;  ///< the paths of the "<path> is Error!!! (<reason>)" lines
    std::vector<std::string> reasons; ///< their reasons, in the same order
    std::vector<std::string> otherErrLines;
};
[[nodiscard]] JobOutput ParseJobOutput(const CliRun& run);

/// The shim's report: calls per kind, and the fired fault if one was given.
struct ShimReport {
    std::map<std::string, unsigned long> calls;
    bool fired = false;
    std::string firedPath;
};
[[nodiscard]] ShimReport ReadShimReport(const fs::path& report);

/// The kinds of call the shim can fail.
[[nodiscard]] const std::vector<std::string>& ShimOps();

/// The four ways a text file is stored.
enum class Encoding { Gbk, Utf8, Utf8Bom, Utf16Le };

/// A working-text-free reference: UTF-8 text made of ASCII and the few Chinese characters the corpus
/// uses, turned into the bytes of each encoding.
[[nodiscard]] std::string EncodeReference(const std::string& utf8, Encoding encoding);

/// One file of a corpus: its bytes before and after the job replaces "hello" with "你好".
struct CorpusFile {
    std::string path; ///< absolute
    std::string oldBytes;
    std::string newBytes;
    [[nodiscard]] bool changes() const { return oldBytes != newBytes; }
};

/// A text of about `size` bytes of lines ending with CR LF, holding "hello" `tokens` times, always with
/// at least one Chinese character. Gives the old and new text (UTF-8).
[[nodiscard]] std::pair<std::string, std::string> MakeText(std::mt19937& rng, std::size_t size, unsigned tokens);

/// Makes a corpus file at `path` (creating its folders) and returns its record.
CorpusFile AddFile(const fs::path& path, Encoding encoding, std::mt19937& rng, std::size_t size, unsigned tokens);

/// Puts every file back to its old bytes and deletes backups, temporaries and output left by a run.
void ResetCorpus(const std::vector<CorpusFile>& files);

/// Files under `folder` whose name is a temporary name of the writer.
[[nodiscard]] std::vector<std::string> TemporariesUnder(const fs::path& folder);

/// True when `path` is one of `paths`.
[[nodiscard]] bool Contains(const std::vector<std::string>& paths, const std::string& path);

/// Reads a whole file; nullopt when it does not exist.
[[nodiscard]] std::optional<std::string> ReadIfExists(const fs::path& path);

/// The arguments of a replace of "hello" by "你好" (GBK C4E3 BAC3) on `target`, `extra` options first.
[[nodiscard]] std::vector<std::string> ReplaceHelloArgs(const std::string& target, std::vector<std::string> extra = {});

/// Removes a tree of any depth (deeper than PATH_MAX too).
void RemoveTree(const fs::path& path);

/// A fresh folder in memory where there is one (files there are quick to make and to check).
class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix = "norvik-kill") {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a scratch folder");
        }
        m_path = pattern;
    }
    ~ScratchDir() { RemoveTree(m_path); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    [[nodiscard]] const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

} // namespace norvik::faulttest
