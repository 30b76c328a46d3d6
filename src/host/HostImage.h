#pragma once
#include <cstdint>

namespace morvane {

// 0x400000 plus the main executable's AddressOfEntryPoint: the entry point as it would
// be at the game's preferred base, wherever the executable was actually loaded.
uint32_t NormalisedHostEntryPoint();

}  // namespace morvane
