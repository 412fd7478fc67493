#pragma once

#include <cstdint>

namespace habitat {

// 1 while the fireflies are neither moved nor drawn: every pass of the main
// loop sets it from the profile key "NAME", and the litter tick sets it while
// litter lies in the scene. The litter tick does nothing while it is 1.
inline std::int16_t HabitatHalted = 0;

} // namespace habitat
