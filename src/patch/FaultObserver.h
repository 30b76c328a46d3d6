#pragma once
// Faults in Morvane's code and in game code a hook called. A hardware fault in Morvane's
// own compiled code while a hook runs is contained when unwinding can reach the hook's
// catcher through Morvane's frames alone (the hook's mark on the stack, and the unwinder,
// asked on the faulting thread, steps past it): it becomes an exception there, the catcher
// gives the game the hook's default, and the hook is switched off. Any other fault in
// Morvane's code (in an entry's or the trampoline's bytes, outside every hook, a routine
// of Morvane's the game called back while a hook ran) is told as it happens and goes on as
// the game would have it. A fault in game code is the game's business: handled, it leaves
// no line and costs nothing more; about to end the game (the process's last-chance
// filter), it is told with the hook that called that code, if one did. Lines give the
// hook and site, the exception code, the faulting address as module + offset (the game's
// image, another module, or memory allocated at run time), and the registers, written
// without the heap. A fault like one told already (the same hook, code and address) is
// counted instead, and the count told at exit.
#include <cstdint>

namespace morvane {

// Starts observing (once; later calls change nothing); `module` is Morvane's own image.
void ObserveFaults(const void* module);
// After the catcher of a fault contained in a hook whose door keeps no x87/SSE state: puts
// back the state the fault found (what told it and unwound to the catcher may have changed
// it), if the calling thread's last fault left one to put back.
void PutBackFloatStateAtFault() noexcept;
// One line per fault told more than once over, with its count (at exit).
void LogRepeatedFaults() noexcept;

}  // namespace morvane
