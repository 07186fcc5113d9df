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

std::string RuleFileErrorText(std::string_view path) {
    return "无法读取规则文件\"" + std::string(path) + "\",替换已取消";
}

std::string UnrepresentableTextText(std::string_view what) {
    return std::string(what) + "含有当前代码页(GBK)无法表示的字符,请修改后再试";
}

} // namespace norvik::job
