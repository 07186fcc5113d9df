#pragma once
// The fixed texts a job, a search and a restore show. Every text is UTF-8; paths are inserted as
// the file system's own bytes (UTF-8 on Linux).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "job/JobTypes.h"

namespace norvik::job {

/// "替换规则%u条,共涉及文件%u个,符合替换条件的%u个,成功替换%u个,失败%u个,文件不存在%u个".
[[nodiscard]] std::string SummaryText(std::size_t ruleCount, const RunCounters& counters);

/// What a preview (a dry run) foresees, with the counts SummaryText shows for a run:
/// "预览(未写入任何文件):替换规则%u条,共涉及文件%u个,符合替换条件的%u个,将替换%u个,预计失败%u个,文件不存在%u个".
/// Nothing was written, so it says what would be replaced, never that it was.
[[nodiscard]] std::string PreviewSummaryText(std::size_t ruleCount, const RunCounters& counters);

/// "耗时%u分%u秒%u毫秒"; minutes are not reduced modulo 60 (75 minutes show as 75).
[[nodiscard]] std::string ElapsedText(std::uint64_t milliseconds);

/// The clock that times runs and searches (never set back).
using Clock = std::chrono::steady_clock;
/// Whole milliseconds from `start` to now, for ElapsedText.
[[nodiscard]] std::uint64_t MillisecondsSince(Clock::time_point start);

/// (index * 100 + 100) / count in integer arithmetic: three files give 33, 66, 100. 0 for count 0.
[[nodiscard]] unsigned ProgressPercent(std::size_t index, std::size_t count) noexcept;
/// The decimal percent followed by "%" ("33%").
[[nodiscard]] std::string ProgressText(unsigned percent);

/// "找到文件%u个".
[[nodiscard]] std::string FoundFilesText(std::size_t count);

/// "成功恢复%u个".
[[nodiscard]] std::string RestoredText(std::size_t count);
/// "成功恢复%u个,失败%u个": what restoring a run of the history did.
[[nodiscard]] std::string RunRestoredText(std::size_t restored, std::size_t failed);

/// "没有可恢复的文件:结果列表是空的": a restore before any run has written a file.
[[nodiscard]] std::string NothingToRestoreText();

/// "文件输出到" "<folder>" "没有破坏原文件!,不需恢复": why a restore in output-folder mode does nothing.
[[nodiscard]] std::string OutputFolderRestoreText(std::string_view outputFolder);

/// "<path> is Error!!!": one line of the error list.
[[nodiscard]] std::string ErrorLineText(std::string_view path);

/// The reason of a failure as the user reads it beside its error line ("只读文件", ...).
[[nodiscard]] std::string FailureReasonText(FailureReason reason);

/// The error line with its reason after it, as the command line prints it:
/// "<path> is Error!!! (<reason>)".
[[nodiscard]] std::string ErrorLineWithReason(const FileFailure& failure);

/// "输出文件夹\"<folder>\"位于替换目标文件夹\"<target>\"之中,会覆盖原文件,替换没有开始": why a run
/// with that output folder does not start.
[[nodiscard]] std::string OutputInsideTargetText(std::string_view outputFolder, std::string_view targetFolder);

/// The message of a rule set whose file cannot be read; names the file.
[[nodiscard]] std::string RuleFileErrorText(std::string_view path);

/// The message of a typed text that holds characters the working code page cannot represent;
/// `what` names the text ("查找内容", "替换内容", ...).
[[nodiscard]] std::string UnrepresentableTextText(std::string_view what);

} // namespace norvik::job
