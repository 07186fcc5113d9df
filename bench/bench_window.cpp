// Whole jobs and searches in the real main window, drawn offscreen, against norvik-cli on an
// identical copy of the same tree. For each size it prints both times, their ratio, and at the end
// the peak memory of this process (the window) beside that of the largest command-line run.
//
//   bench_window [--sizes 1000,4000,20000] [--runs 3] [--dir /dev/shm/norvik-window-bench]
//
// Each changed file holds the find text once, so a job writes every file (with its backup) and lists
// it, and the search that follows lists every file as a hit. Times are medians of --runs runs; the
// tree is made anew before each run, outside the timing.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

#include "job/ui/JobController.h"
#include "job/ui/PreviewPane.h"
#include "main/TMainForm.h"
#include "platform/QtPlatform.h"
#include "settings/AppFolders.h"
#include "settings/ui/TConfigure.h"
#include "ui/PathListView.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kFind = "NvkToken42";
constexpr const char* kReplacement = "NvkDone42";

struct Options {
    std::vector<int> sizes{1000, 4000, 20000};
    int runs = 3;
    std::string dir = "/dev/shm/norvik-window-bench";
};

/// `count` small GBK files, 500 to a folder, each with the find text once among Chinese text.
void MakeTree(const fs::path& root, int count) {
    fs::remove_all(root);
    const std::string chinese = "\xd6\xd0\xce\xc4\xce\xc4\xb1\xbe\xa3\xac\xd2\xbb\xb6\xfe\xc8\xfd"; // 中文文本，一二三
    for (int i = 0; i < count; ++i) {
        const fs::path folder = root / ("d" + std::to_string(i / 500));
        if (i % 500 == 0) {
            fs::create_directories(folder);
        }
        std::ofstream out(folder / ("f" + std::to_string(i) + ".txt"), std::ios::binary);
        for (int line = 0; line < 8; ++line) {
            out << "line " << line << ' ' << chinese << " file " << i << "\r\n";
            if (line == 4) {
                out << "  " << kFind << "  " << chinese << "\r\n";
            }
        }
    }
}

struct ChildRun {
    double seconds = 0;
    long maxRssKiB = 0;
};

/// Runs a program with its standard output thrown away; its time and peak memory. The peak is
/// measured by /usr/bin/time: a child's own peak, as the kernel reports it to its parent, starts at
/// the parent's size, which here is the window's.
ChildRun Run(const std::vector<std::string>& args, const std::string& peakFile) {
    std::vector<std::string> command{"/usr/bin/time", "-f", "%M", "-o", peakFile};
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (const std::string& arg : command) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ChildRun result{static_cast<double>(timer.nsecsElapsed()) / 1e9, 0};
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream peak(peakFile);
    peak >> result.maxRssKiB;
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--sizes") {
            options.sizes.clear();
            for (const QString& size : QString::fromStdString(value).split(QLatin1Char(','))) {
                options.sizes.push_back(size.toInt());
            }
        } else if (name == "--runs") {
            options.runs = std::max(1, std::stoi(value));
        } else if (name == "--dir") {
            options.dir = value;
        } else {
            std::fprintf(stderr, "usage: bench_window [--sizes N,N] [--runs N] [--dir DIR]\n");
            std::exit(2);
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const Options options = ParseOptions(argc, argv);
    const std::string binFolder = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString() + "/";
    const std::string cli = binFolder + "norvik-cli";

    // A private executable folder, so the window's saved state beside the programs stays as it is.
    QTemporaryDir exe;
    QDir(exe.path()).mkpath(QStringLiteral("MultiReplace"));
    QFile::copy(QString::fromStdString(binFolder + "NVK.xml"), exe.filePath(QStringLiteral("NVK.xml")));
    norvik::platform::QtPlatform platform;
    norvik::ui::TMainForm form(
        platform, norvik::settings::AppFolders::portableIn(QFile::encodeName(exe.path()).toStdString() + "/"));
    norvik::ui::TConfigure configure(platform, form);
    if (!form.openSettings()) {
        return 1;
    }
    form.setConfigure(&configure);
    form.show();
    QApplication::processEvents();
    const auto& w = form.widgets();
    w.findText->setPlainText(QString::fromLatin1(kFind));
    w.replacementText->setPlainText(QString::fromLatin1(kReplacement));
    w.searchText->setPlainText(QString::fromLatin1(kReplacement));

    std::printf("%-7s %-6s %10s %10s %8s\n", "files", "what", "window s", "cli s", "ratio");
    long cliPeakKiB = 0;
    for (const int size : options.sizes) {
        const fs::path root = fs::path(options.dir) / std::to_string(size);
        const std::string windowTree = (root / "window").string();
        const std::string cliTree = (root / "cli").string();
        std::vector<double> windowJob, cliJob, windowSearch, cliSearch, windowPreview, cliPreview;
        for (int run = 0; run < options.runs; ++run) {
            MakeTree(windowTree, size);
            MakeTree(cliTree, size);
            form.targets().clear();
            form.addTarget(windowTree + "/");

            // The preview first, while every file still holds the find text.
            QElapsedTimer timer;
            timer.start();
            form.previewRun();
            QApplication::processEvents();
            windowPreview.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
            if (w.previewPane->model().size() != size) {
                std::fprintf(stderr, "the preview listed %d files of %d: %s\n", w.previewPane->model().size(), size,
                             qPrintable(form.widgets().summaryPanel->text()));
                return 1;
            }
            const ChildRun dry = Run({cli, "replace", "--dry-run", "--find", kFind, "--replace", kReplacement, cliTree},
                                     (root / "peak").string());
            cliPreview.push_back(dry.seconds);
            w.listTabs->setCurrentIndex(norvik::ui::kTargetsTab);

            timer.start();
            form.startRun();
            QApplication::processEvents(); // the last rows drawn
            windowJob.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
            if (w.resultList->count() != size) {
                std::fprintf(stderr, "the window wrote %d files of %d\n", w.resultList->count(), size);
                return 1;
            }
            const ChildRun job =
                Run({cli, "replace", "--find", kFind, "--replace", kReplacement, cliTree}, (root / "peak").string());
            cliJob.push_back(job.seconds);
            cliPeakKiB = std::max(cliPeakKiB, job.maxRssKiB);

            timer.start();
            form.searchTargets();
            QApplication::processEvents();
            windowSearch.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
            if (w.hitList->count() != size) {
                std::fprintf(stderr, "the window found %d files of %d\n", w.hitList->count(), size);
                return 1;
            }
            const ChildRun search = Run({cli, "search", "--find", kReplacement, cliTree}, (root / "peak").string());
            cliSearch.push_back(search.seconds);
            cliPeakKiB = std::max(cliPeakKiB, search.maxRssKiB);
        }
        const auto row = [size](const char* what, const std::vector<double>& window, const std::vector<double>& line) {
            const double a = Median(window);
            const double b = Median(line);
            std::printf("%-7d %-6s %10.3f %10.3f %7.2fx\n", size, what, a, b, a / b);
        };
        row("job", windowJob, cliJob);
        row("search", windowSearch, cliSearch);
        row("preview", windowPreview, cliPreview);
        std::fflush(stdout);
        fs::remove_all(root);
    }
    // One file's change: a 1 MB GBK file with the find text on every tenth line, shown in the preview.
    {
        const fs::path big = fs::path(options.dir) / "big";
        fs::create_directories(big);
        std::string text;
        for (int line = 0; text.size() < (1U << 20); ++line) {
            text += "line " + std::to_string(line) + " \xd6\xd0\xce\xc4" + (line % 10 == 0 ? kFind : "") + "\r\n";
        }
        std::ofstream(big / "big.txt", std::ios::binary) << text;
        form.targets().clear();
        form.addTarget(big.string() + "/");
        form.previewRun();
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        w.previewPane->showRow(0);
        QApplication::processEvents();
        std::printf("one 1 MB file's change shown in %.0f ms\n", static_cast<double>(timer.nsecsElapsed()) / 1e6);
        fs::remove_all(big);
    }
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    std::printf("peak memory: window %.1f MiB, norvik-cli %.1f MiB, difference %.1f MiB\n",
                static_cast<double>(self.ru_maxrss) / 1024.0, static_cast<double>(cliPeakKiB) / 1024.0,
                static_cast<double>(self.ru_maxrss - cliPeakKiB) / 1024.0);
    return 0;
}
