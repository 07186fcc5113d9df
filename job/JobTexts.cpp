#include "job/JobTexts.h"

namespace norvik::job {

namespace {

std::string Num(std::uint64_t value) {
    return std::to_string(value);
}

} // namespace

std::string SummaryText(std::size_t ruleCount, const RunCounters& counters) {
    return "替换规则" + Num(ruleCount) + "条,共涉及文件" + Num(counters.collected) + "个,符合替换条件的" +
           Num(counters.changed) + "个,成功替换" + Num(counters.successes) + "个,失败" + Num(counters.failures) +
           "个,文件不存在" + Num(counters.missing) + "个";
}

std::string PreviewSummaryText(std::size_t ruleCount, const RunCounters& counters) {
    return "预览(未写入任何文件):替换规则" + Num(ruleCount) + "条,共涉及文件" + Num(counters.collected) +
           "个,符合替换条件的" + Num(counters.changed) + "个,将替换" + Num(counters.successes) + "个,预计失败" +
           Num(counters.failures) + "个,文件不存在" + Num(counters.missing) + "个";
}

std::string NothingToRestoreText() {
    return "没有可恢复的文件:结果列表是空的";
}

std::uint64_t MillisecondsSince(Clock::time_point start) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string ElapsedText(std::uint64_t milliseconds) {
    const std::uint64_t ms = milliseconds % 1000;
    const std::uint64_t s = ((milliseconds - ms) / 1000) % 60;
    const std::uint64_t min = (milliseconds - ms - s * 1000) / 60000;
    return "耗时" + Num(min) + "分" + Num(s) + "秒" + Num(ms) + "毫秒";
}

unsigned ProgressPercent(std::size_t index, std::size_t count) noexcept {
    if (count == 0) {
        return 0;
    }
    // 64-bit so that a huge work list cannot overflow the product.
    return static_cast<unsigned>((static_cast<std::uint64_t>(index) * 100 + 100) / count);
}

std::string ProgressText(unsigned percent) {
    return Num(percent) + "%";
}

std::string FoundFilesText(std::size_t count) {
    return "找到文件" + Num(count) + "个";
}

std::string RestoredText(std::size_t count) {
    return "成功恢复" + Num(count) + "个";
}

std::string RunRestoredText(std::size_t restored, std::size_t failed) {
    return "成功恢复" + Num(restored) + "个,失败" + Num(failed) + "个";
}

std::string OutputFolderRestoreText(std::string_view outputFolder) {
    return "文件输出到\"" + std::string(outputFolder) + "\"没有破坏原文件!,不需恢复";
}

std::string OutputInsideTargetText(std::string_view outputFolder, std::string_view targetFolder) {
    return "输出文件夹\"" + std::string(outputFolder) + "\"位于替换目标文件夹\"" + std::string(targetFolder) +
           "\"之中,会覆盖原文件,替换没有开始";
}

std::string ErrorLineText(std::string_view path) {
    return std::string(path) + " is Error!!!";
}

std::string FailureReasonText(FailureReason reason) {
    switch (reason) {
    case FailureReason::Unreadable:
        return "无法读取";
    case FailureReason::Undecodable:
        return "UTF-8 文本无法解码";
    case FailureReason::RuleNotWholeCharacters:
        return "文件含有代码页以外的字符，而规则不是完整的字符";
    case FailureReason::FolderUnreadable:
        return "文件夹无法列出或进入";
    case FailureReason::OutOfMemory:
        return "文件太大，内存不足";
    case FailureReason::Binary:
        return "二进制文件，不会改写";
    case FailureReason::Unrepresentable:
        return "新文本含有该文件编码无法保存的字符";
    case FailureReason::ReadOnly:
        return "只读文件";
    case FailureReason::BackupFailed:
        return "无法创建备份";
    case FailureReason::BackupNameTaken:
        return "备份文件名已被占用";
    case FailureReason::OutputFolderMissing:
        return "无法创建输出目录";
    case FailureReason::DestinationIsSource:
        return "输出文件是本次替换的源文件";
    case FailureReason::DestinationIsOwnFile:
        return "输出文件是本次运行的结果列表";
    case FailureReason::NameHasLineBreak:
        return "文件名含有换行符，无法记入结果列表";
    case FailureReason::ChangedSinceRead:
        return "读取后文件已被改动，改动已保留";
    case FailureReason::NotAFile:
        return "目标位置是文件夹或特殊文件";
    case FailureReason::HistoryFailed:
        return "无法记入运行历史，文件未改动";
    case FailureReason::ChangedSinceRun:
        return "该次运行之后文件已被改动，保持现状";
    case FailureReason::MissingSinceRun:
        return "该次运行写入的文件已不存在";
    case FailureReason::HistoryDamaged:
        return "运行历史中的原文已损坏";
    case FailureReason::WriteFailed:
        break;
    }
    return "无法写入";
}

std::string ErrorLineWithReason(const FileFailure& failure) {
    return ErrorLineText(failure.path) + " (" + FailureReasonText(failure.reason) + ")";
}

std::string RuleFileErrorText(std::string_view path) {
    return "无法读取规则文件\"" + std::string(path) + "\",替换已取消";
}

std::string UnrepresentableTextText(std::string_view what) {
    return std::string(what) + "含有当前代码页(GBK)无法表示的字符,请修改后再试";
}

} // namespace norvik::job
