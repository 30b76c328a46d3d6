#pragma once
// A register hook written at any game address, as a feature's hook row writes one: for the
// tests and benchmarks that run hooks of their own.
#include <cstdint>
#include <initializer_list>

#include "feature/Site.h"

namespace morvane {

// Writes a jump at the game address `site` to a new entry for `handler`; the game resumes
// at `resume`, after the `displaced` instructions, unless the handler says otherwise.
inline void InstallRegisterHook(uint32_t site, RegisterHandler handler, uint32_t resume,
                                std::initializer_list<uint8_t> displaced = {},
                                HandlerClass handlerClass = HandlerClass::FloatingPoint) {
    Site row = FloatHook("register hook", site, handler, resume, displaced);
    row.handlerClass = handlerClass;
    InstallSite(row);
}

}  // namespace morvane
