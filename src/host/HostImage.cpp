#include "host/HostImage.h"

#include <windows.h>

#include <cstring>

namespace morvane {

uint32_t NormalisedHostEntryPoint() {
    // The module handle is the address of the executable's DOS header.
    const auto* image = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
    uint32_t ntHeaders;
    std::memcpy(&ntHeaders, image + 0x3C, 4);
    uint32_t entryRva;
    std::memcpy(&entryRva, image + ntHeaders + 0x28, 4);
    return 0x400000 + entryRva;
}

}  // namespace morvane
