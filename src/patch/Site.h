#pragma once
// A feature's patches as a table: one row per game site, saying what is written there,
// what runs when the game reaches it, where the game resumes, the game bytes the row
// re-runs or writes, and the switch that calls for it. An installer walks its table with
// InstallSites; site and resume addresses are translated there, and nowhere else.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "config/Settings.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"

namespace morvane {

enum class PatchKind : uint8_t {
    RegisterHook,  // a jump to a per-site entry: `handler` runs, the displaced `bytes` re-run,
                   // the game resumes at `resume`
    Call,          // a relative call to the plug-in routine `target`
    Jump,          // a relative jump to the plug-in routine `target`
    Pointer,       // the 32-bit address of `target`, or of `data` (a virtual-table entry, an operand)
    Value,         // the 32-bit `value`
    Bytes,         // exactly `bytes`
};

// A plug-in routine's address, asked for when the site is written.
using CodeAddressFn = uint32_t (*)();
template <auto Routine>
uint32_t CodeOf() {
    return CodeAddress(Routine);
}

// The switch or rule that calls for a site; a row without one is written whenever the
// plug-in is active. `setting` names it; where a rule decides, `whyNot` tells why the
// site was left alone.
struct Gate {
    bool (*open)(const PluginSettings& settings) = nullptr;
    const char* setting = nullptr;
    const char* (*whyNot)(const PluginSettings& settings) = nullptr;
};
template <bool PluginSettings::*Switch>
bool SwitchOn(const PluginSettings& settings) {
    return settings.*Switch;
}
// The gate of a global switch, named by its key in Morvane.ini.
template <bool PluginSettings::*Switch>
constexpr Gate On() {
    return {&SwitchOn<Switch>, GlobalSwitchKeyOf(Switch)};
}

struct Site {
    const char* name;
    uint32_t address;
    PatchKind kind;
    RegisterHandler handler = nullptr;
    CodeAddressFn target = nullptr;
    const void* data = nullptr;
    uint32_t resume = 0;
    std::span<const uint8_t> bytes = {};
    uint32_t value = 0;
    Gate gate = {};
};

constexpr Site Hook(const char* name, uint32_t address, RegisterHandler handler, uint32_t resume,
                    std::span<const uint8_t> displaced = {}, Gate gate = {}) {
    return {name, address, PatchKind::RegisterHook, handler, nullptr, nullptr, resume, displaced, 0, gate};
}
constexpr Site CallTo(const char* name, uint32_t address, CodeAddressFn target, Gate gate = {}) {
    return {name, address, PatchKind::Call, nullptr, target, nullptr, 0, {}, 0, gate};
}
constexpr Site JumpTo(const char* name, uint32_t address, CodeAddressFn target, Gate gate = {}) {
    return {name, address, PatchKind::Jump, nullptr, target, nullptr, 0, {}, 0, gate};
}
constexpr Site PointerTo(const char* name, uint32_t address, CodeAddressFn target, Gate gate = {}) {
    return {name, address, PatchKind::Pointer, nullptr, target, nullptr, 0, {}, 0, gate};
}
constexpr Site PointerToData(const char* name, uint32_t address, const void* data, Gate gate = {}) {
    return {name, address, PatchKind::Pointer, nullptr, nullptr, data, 0, {}, 0, gate};
}
constexpr Site Value32(const char* name, uint32_t address, uint32_t value, Gate gate = {}) {
    return {name, address, PatchKind::Value, nullptr, nullptr, nullptr, 0, {}, value, gate};
}
constexpr Site Bytes(const char* name, uint32_t address, std::span<const uint8_t> bytes, Gate gate = {}) {
    return {name, address, PatchKind::Bytes, nullptr, nullptr, nullptr, 0, bytes, 0, gate};
}

// A run of no-operation bytes for a Bytes row: kNops<n> is n bytes of 0x90.
template <size_t Count>
inline constexpr std::array<uint8_t, Count> kNops = [] {
    std::array<uint8_t, Count> run{};
    run.fill(0x90);
    return run;
}();

// Writes one site at its address in the running game, resuming where the row says.
void InstallSite(const Site& site);
// Writes every row whose gate is open for `settings` (none while `settings` is null: the
// plug-in is inactive).
void InstallSites(std::span<const Site> sites, const PluginSettings* settings);

}  // namespace morvane
