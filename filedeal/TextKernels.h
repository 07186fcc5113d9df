#pragma once
// How wide the text conversions work: AVX2, SSE2 or one byte at a time, chosen once at run time from
// what the processor runs. Every level gives the same results; tests compare them.
#include <cstdint>

namespace norvik::filedeal {

enum class KernelLevel : std::uint8_t {
    Scalar, ///< one byte or unit at a time: the reference
    Sse2,   ///< runs of ASCII sixteen bytes at a time
    Avx2,   ///< thirty-two bytes at a time
};

/// The widest level this processor runs.
[[nodiscard]] KernelLevel WidestKernelLevel() noexcept;

/// The level the conversions between the code page and Unicode and the line-break scan of ANSI text
/// use: the widest, unless UseKernelLevel chose a narrower one.
[[nodiscard]] KernelLevel ActiveKernelLevel() noexcept;

/// Makes those conversions use `level` (no wider than WidestKernelLevel), for every thread; for
/// tests that compare the levels.
void UseKernelLevel(KernelLevel level) noexcept;

} // namespace norvik::filedeal
