#include "host/HostImage.h"

#include <windows.h>

#include <cstring>

namespace morvane {

uint32_t ImageHeaderField(const void* module, uint32_t offset) {
    // A module handle is the address of its DOS header, which gives the PE header's place.
    const auto* image = static_cast<const uint8_t*>(module);
    uint32_t peHeader, value;
    std::memcpy(&peHeader, image + 0x3C, 4);
    std::memcpy(&value, image + peHeader + offset, 4);
    return value;
}

uint32_t NormalisedHostEntryPoint() { return 0x400000 + ImageHeaderField(GetModuleHandleA(nullptr), kEntryPointField); }

}  // namespace morvane
