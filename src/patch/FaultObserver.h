#pragma once
// Faults Morvane cannot contain (an access violation inside a handler, in a hook entry or
// at a site it wrote) are only observed: the log gets the hook and site, the exception
// code, the faulting address as module + offset, and the registers, written without the
// heap; then the fault goes on exactly as before. Exceptions elsewhere are not looked at
// beyond their address. When nothing faults this costs nothing.
#include <cstdint>

namespace morvane {

// Starts observing; `module` is Morvane's own image (its handle).
void ObserveFaults(const void* module);

}  // namespace morvane
