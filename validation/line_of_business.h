#pragma once

#include <cstdint>

namespace tarvelo {

/// The line of business whose rows of the catalogue a run uses.
inline constexpr const char* kLineOfBusiness = "RURAL";

/// The number the catalogue gives the first table of the line of business:
/// the risks file is checked against it, the claims file against the
/// later ones.
inline constexpr int32_t kRisksTable = 1;

}  // namespace tarvelo
