#include "FaultSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/capability.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "filedeal/FileOps.h"

namespace norvik::faulttest {

namespace {

std::string ReadWhole(const fs::path& path) {
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return bytes;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
    }
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            bytes.resize(bytes.size() + 65536);
        }
        const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n <= 0) {
            break;
        }
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(have);
    return bytes;
}

void WriteWhole(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::optional<Summary> ParseSummary(const std::string& line) {
    if (line.rfind("替换规则", 0) != 0) {
        return std::nullopt;
    }
    unsigned values[6] = {};
    int found = 0;
    std::size_t i = 0;
    while (i < line.size() && found < 6) {
        if (line[i] >= '0' && line[i] <= '9') {
            unsigned v = 0;
            while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
                v = v * 10 + static_cast<unsigned>(line[i] - '0');
                ++i;
            }
            values[found++] = v;
        } else {
            ++i;
        }
    }
    if (found != 6) {
        return std::nullopt;
    }
    return Summary{values[0], values[1], values[2], values[3], values[4], values[5]};
}

// Code points of the few characters the corpora use, with their GBK bytes.
struct Han {
    char32_t code;
    unsigned char gbk[2];
};
constexpr Han kHan[] = {{U'啊', {0xB0, 0xA1}}, {U'你', {0xC4, 0xE3}}, {U'好', {0xBA, 0xC3}},
                        {U'中', {0xD6, 0xD0}}, {U'文', {0xCE, 0xC4}}, {U'测', {0xB2, 0xE2}},
                        {U'试', {0xCA, 0xD4}}, {U'数', {0xCA, 0xFD}}, {U'据', {0xBE, 0xDD}}};

std::vector<char32_t> CodePoints(const std::string& utf8) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
        } else if ((b & 0xE0) == 0xC0) {
            out.push_back(static_cast<char32_t>(((b & 0x1F) << 6) | (utf8[i + 1] & 0x3F)));
            i += 2;
        } else {
            out.push_back(
                static_cast<char32_t>(((b & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F)));
            i += 3;
        }
    }
    return out;
}

} // namespace

std::string CliPath() {
    return NORVIK_BIN_DIR "/norvik-cli";
}

std::string ShimPath() {
    return NORVIK_FAULT_SHIM;
}

pid_t StartCli(const std::vector<std::string>& args, const Env& env, const fs::path& ioFolder,
               const std::string& program) {
    const std::string cli = program.empty() ? CliPath() : program;
    const std::string outPath = (ioFolder / "stdout").string();
    const std::string errPath = (ioFolder / "stderr").string();
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        const bool replaced = name == "LD_PRELOAD" || name == "ASAN_OPTIONS" || name.rfind("NVK_FAULT_", 0) == 0;
        if (env.count(name) == 0 && !replaced) {
            envStrings.push_back(entry);
        }
    }
    for (const auto& [name, value] : env) {
        envStrings.push_back(name + "=" + value);
    }
    // A sanitizer build wants its runtime first in the list of libraries, and the shim comes first.
    const char* asan = std::getenv("ASAN_OPTIONS");
    if (env.count("LD_PRELOAD") != 0) {
        envStrings.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? std::string(asan) + ":" : "") +
                             "verify_asan_link_order=0");
    } else if (asan != nullptr) {
        envStrings.push_back(std::string("ASAN_OPTIONS=") + asan);
    }
    // A run that names no history records into the io folder, not beside the built program (where
    // the window run from the build folder would list it).
    std::vector<std::string> given = args;
    const bool records = !given.empty() && (given[0] == "replace" || given[0] == "feature" || given[0] == "extract");
    if (records && std::find_if(given.begin(), given.end(), [](const std::string& a) {
                       return a.starts_with("--history-folder") || a == "--no-history";
                   }) == given.end()) {
        given.insert(given.begin() + 1, {"--history-folder", (ioFolder / "history").string()});
    }
    std::vector<char*> argv{const_cast<char*>(cli.c_str())};
    for (const auto& a : given) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envStrings) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    const auto setting = [&env](const std::string& name) {
        const auto it = env.find(name);
        return it == env.end() ? std::string() : it->second;
    };
    const std::string addressLimit = setting(kEnvAddressLimitMiB);
    const bool enforcePermissions = !setting(kEnvEnforcePermissions).empty();

    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        if (!addressLimit.empty()) {
            const rlim_t bytes = static_cast<rlim_t>(std::stoull(addressLimit)) << 20;
            const rlimit limit{bytes, bytes};
            if (::setrlimit(RLIMIT_AS, &limit) != 0) {
                ::_exit(126);
            }
        }
        if (enforcePermissions) {
            // The administrator's override of permission bits is dropped for the program and all it
            // starts, so a folder without search permission is closed to it as to any user.
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
        }
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
            ::_exit(127);
        }
        ::execve(cli.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

CliRun FinishCli(pid_t pid, const fs::path& ioFolder, int timeoutSeconds) {
    CliRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            run.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("wait4 failed");
        }
    }
    run.exited = WIFEXITED(status);
    run.exitCode = run.exited ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.maxRssKiB = usage.ru_maxrss;
    run.out = ReadWhole(ioFolder / "stdout");
    run.err = ReadWhole(ioFolder / "stderr");
    return run;
}

CliRun RunCli(const std::vector<std::string>& args, const Env& env, const fs::path& ioFolder, int timeoutSeconds,
              const std::string& program) {
    return FinishCli(StartCli(args, env, ioFolder, program), ioFolder, timeoutSeconds);
}

unsigned long long AvailableMemoryKiB() {
    std::ifstream in("/proc/meminfo");
    std::string name;
    unsigned long long value = 0;
    std::string unit;
    while (in >> name >> value >> unit) {
        if (name == "MemAvailable:") {
            return value;
        }
    }
    return 0;
}

Env ShimEnv(const fs::path& root, const fs::path& report) {
    return {{"LD_PRELOAD", ShimPath()}, {"NVK_FAULT_ROOT", root.string()}, {"NVK_FAULT_REPORT", report.string()}};
}

JobOutput ParseJobOutput(const CliRun& run) {
    JobOutput output;
    for (const auto& line : Lines(run.out)) {
        if (output.summary) {
            continue; // the elapsed time
        }
        if (auto summary = ParseSummary(line)) {
            output.summary = summary;
        } else {
            output.written.push_back(line);
        }
    }
    // "<path> is Error!!! (<reason>)"
    constexpr std::string_view kTail = " is Error!!! (";
    for (const auto& line : Lines(run.err)) {
        const std::size_t tail = line.rfind(kTail);
        if (tail != std::string::npos && tail > 0 && line.ends_with(")")) {
            output.errors.push_back(line.substr(0, tail));
            const std::size_t reason = tail + kTail.size();
            output.reasons.push_back(line.substr(reason, line.size() - 1 - reason));
        } else {
            output.otherErrLines.push_back(line);
        }
    }
    return output;
}

ShimReport ReadShimReport(const fs::path& report) {
    ShimReport result;
    for (const auto& line : Lines(ReadWhole(report))) {
        if (line.rfind("fired ", 0) == 0) {
            result.fired = true;
            // "fired <op> <index> <path>"
            const std::size_t third = line.find(' ', line.find(' ', 6) + 1);
            result.firedPath = third == std::string::npos ? std::string() : line.substr(third + 1);
            continue;
        }
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos) {
            result.calls[line.substr(0, blank)] = std::stoul(line.substr(blank + 1));
        }
    }
    return result;
}

const std::vector<std::string>& ShimOps() {
    static const std::vector<std::string> ops = {"open_r", "open_w", "read",     "write",   "close",  "mkstemp",
                                                 "fchmod", "fchown", "futimens", "rename",  "link",   "unlink",
                                                 "chmod",  "mkdir",  "opendir",  "readdir", "syncfs", "fsync"};
    return ops;
}

std::string EncodeReference(const std::string& utf8, Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf8:
        return utf8;
    case Encoding::Utf8Bom:
        return "\xEF\xBB\xBF" + utf8;
    case Encoding::Utf16Le: {
        std::string out = "\xFF\xFE";
        for (char32_t c : CodePoints(utf8)) {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>((c >> 8) & 0xFF));
        }
        return out;
    }
    case Encoding::Gbk: {
        std::string out;
        for (char32_t c : CodePoints(utf8)) {
            if (c < 0x80) {
                out.push_back(static_cast<char>(c));
                continue;
            }
            bool known = false;
            for (const Han& h : kHan) {
                if (h.code == c) {
                    out.push_back(static_cast<char>(h.gbk[0]));
                    out.push_back(static_cast<char>(h.gbk[1]));
                    known = true;
                }
            }
            if (!known) {
                throw std::logic_error("a character outside the corpus set");
            }
        }
        return out;
    }
    }
    return {};
}

std::pair<std::string, std::string> MakeText(std::mt19937& rng, std::size_t size, unsigned tokens) {
    // No word holds an 'h', so "hello" appears only where it is planted, in any letter case.
    static const char* const kWords[] = {"lorem", "ipsum", "dolor", "sit", "amet", "啊", "中文", "测试",
                                         "数据",  "0123",  "x=1;",  "{",   "}",    "/*", "*/",   "tab\t"};
    std::string oldText = "中文 ";
    std::string newText = oldText;
    std::uniform_int_distribution<std::size_t> word(0, std::size(kWords) - 1);
    std::uniform_int_distribution<int> lineLength(3, 14);
    // Token positions spread over the text.
    std::vector<std::size_t> at;
    std::uniform_int_distribution<std::size_t> where(0, size == 0 ? 0 : size - 1);
    for (unsigned t = 0; t < tokens; ++t) {
        at.push_back(where(rng));
    }
    std::sort(at.begin(), at.end());
    std::size_t next = 0;
    while (oldText.size() < size || next < at.size()) {
        const int words = lineLength(rng);
        for (int w = 0; w < words; ++w) {
            if (next < at.size() && oldText.size() >= at[next]) {
                oldText += "hello ";
                newText += "你好 ";
                ++next;
            }
            const char* piece = kWords[word(rng)];
            oldText += piece;
            oldText += ' ';
            newText += piece;
            newText += ' ';
        }
        oldText += "\r\n";
        newText += "\r\n";
    }
    return {oldText, newText};
}

CorpusFile AddFile(const fs::path& path, Encoding encoding, std::mt19937& rng, std::size_t size, unsigned tokens) {
    fs::create_directories(path.parent_path());
    const auto [oldText, newText] = MakeText(rng, size, tokens);
    CorpusFile file{path.string(), EncodeReference(oldText, encoding), EncodeReference(newText, encoding)};
    WriteWhole(path, file.oldBytes);
    return file;
}

void ResetCorpus(const std::vector<CorpusFile>& files) {
    for (const auto& file : files) {
        std::error_code ec;
        fs::remove(file.path + ".bak", ec);
        const auto now = ReadIfExists(file.path);
        if (!now || *now != file.oldBytes) {
            fs::remove_all(file.path, ec);
            WriteWhole(file.path, file.oldBytes);
        }
    }
}

std::vector<std::string> TemporariesUnder(const fs::path& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (filedeal::IsTemporaryName(it->path().filename().string())) {
            found.push_back(it->path().string());
        }
    }
    return found;
}

bool Contains(const std::vector<std::string>& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

std::optional<std::string> ReadIfExists(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        return std::nullopt;
    }
    return ReadWhole(path);
}

std::vector<std::string> ReplaceHelloArgs(const std::string& target, std::vector<std::string> extra) {
    std::vector<std::string> args = {"replace", "--no-progress", "--find", "hello", "--replace", "你好"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(target);
    return args;
}

void RemoveTree(const fs::path& path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("rm", "rm", "-rf", "--", path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (pid > 0) {
        ::waitpid(pid, &status, 0);
    }
}

} // namespace norvik::faulttest
