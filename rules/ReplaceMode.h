#pragma once
// The kind of work a job does, shared by the rule sets, the settings and the job.
#include <cstdint>

namespace norvik::rules {

/// 1 normal replacement, 2 feature replacement, 3 feature extraction (the numbers are stored in
/// the settings file).
enum class ReplaceMode : std::uint8_t { Normal = 1, Feature = 2, Extract = 3 };

} // namespace norvik::rules
