#include "IntegerHandlers.h"

#include <cstring>

namespace integer_handlers {

uint32_t runs = 0;
bool alignedStack = true;

namespace {
uint8_t buffer[8192];
volatile uint32_t half = sizeof buffer / 2;  // a size the compiler cannot see: the library copies
}  // namespace

void CopyAndCount(morvane::RegisterRecord& r) {
    std::memset(buffer, static_cast<int>(r.eax), half);
    std::memcpy(buffer + half, buffer, half);
    ++runs;
    alignedStack = alignedStack && (reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) + 8) % 16 == 0;
}

void Nothing(morvane::RegisterRecord&) {}

void Faulting(morvane::RegisterRecord& r) { r.eax = *reinterpret_cast<volatile uint32_t*>(static_cast<uintptr_t>(0x10)); }

}  // namespace integer_handlers
