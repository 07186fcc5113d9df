#include "filedeal/TextKernels.h"

#include <algorithm>
#include <atomic>

namespace norvik::filedeal {

namespace {

KernelLevel FindWidest() noexcept {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (__builtin_cpu_supports("avx2")) {
        return KernelLevel::Avx2;
    }
#endif
#if defined(__SSE2__)
    return KernelLevel::Sse2;
#else
    return KernelLevel::Scalar;
#endif
}

std::atomic<KernelLevel>& Active() noexcept {
    static std::atomic<KernelLevel> level{WidestKernelLevel()};
    return level;
}

} // namespace

KernelLevel WidestKernelLevel() noexcept {
    static const KernelLevel widest = FindWidest();
    return widest;
}

KernelLevel ActiveKernelLevel() noexcept {
    return Active().load(std::memory_order_relaxed);
}

void UseKernelLevel(KernelLevel level) noexcept {
    Active().store(std::min(level, WidestKernelLevel()), std::memory_order_relaxed);
}

} // namespace norvik::filedeal
