#pragma once
// Faults in Morvane's code and in game code a hook called. A hardware fault in Morvane's
// own compiled code while a hook runs (the hook's mark is on the stack) is contained: it
// becomes an exception at the faulting instruction, the hook's catcher gives the game the
// hook's default, and the hook is switched off. Every other fault (in game code, in an
// entry's or the trampoline's bytes, a stack overflow, outside every hook) is only
// observed: the log gets the hook and site, the exception code, the faulting address as
// module + offset, and the registers, written without the heap; then the fault goes on
// exactly as before. When nothing faults this costs nothing.
#include <cstdint>

namespace morvane {

// Starts observing; `module` is Morvane's own image (its handle).
void ObserveFaults(const void* module);

}  // namespace morvane
