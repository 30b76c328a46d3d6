#pragma once
// Register hook handlers built as the plug-in's integer code is, for the tests that run
// integer hooks.
#include <cstdint>

#include "patch/RegisterHook.h"

namespace integer_handlers {

// How many times CopyAndCount ran, and whether on a 16-byte aligned stack each time.
extern uint32_t runs;
extern bool alignedStack;
// Fills and copies a few KB of a buffer through the C library's routines, as integer code
// that copies names and records does, and counts.
void CopyAndCount(morvane::RegisterRecord& r);
// Does nothing: an integer hook's round trip alone.
void Nothing(morvane::RegisterRecord& r);
// Loads from a bad address: a fault in an integer hook's own code.
void Faulting(morvane::RegisterRecord& r);

}  // namespace integer_handlers
