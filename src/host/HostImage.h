#pragma once
#include <cstdint>

namespace morvane {

// A field of a loaded module's PE optional header (offsets from the "PE\0\0" signature):
// AddressOfEntryPoint, SizeOfImage.
constexpr uint32_t kEntryPointField = 0x28;
constexpr uint32_t kImageSizeField = 0x50;
uint32_t ImageHeaderField(const void* module, uint32_t offset);

// 0x400000 plus the main executable's AddressOfEntryPoint: the entry point as it would
// be at the game's preferred base, wherever the executable was actually loaded.
uint32_t NormalisedHostEntryPoint();

}  // namespace morvane
