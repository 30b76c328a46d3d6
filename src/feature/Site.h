#pragma once
// A feature's patches as a table: one row per game site, saying what is written there,
// what runs when the game reaches it, where the game resumes, the game bytes the row
// re-runs or writes, and the switch that calls for it. An installer walks its table with
// InstallSites; site and resume addresses are translated there, and nowhere else.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "config/Rules.h"
#include "config/Settings.h"
#include "patch/Ledger.h"
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

// Whether a row is written, decided when the sites are written, and what the log says of
// it. A row without a gate is written whenever the plug-in is active. A global switch or a
// rule between switches decides at start-up: `open` answers, `setting` names the switch,
// `whyNot` (where a rule decides) tells why the site was left alone.
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
    return {.open = &SwitchOn<Switch>, .setting = GlobalSwitchKeyOf(Switch)};
}
// A rule: `open` decides, `whyNot` explains a site left alone.
constexpr Gate Rule(bool (*open)(const PluginSettings&), const char* setting,
                    const char* (*whyNot)(const PluginSettings&)) {
    return {.open = open, .setting = setting, .whyNot = whyNot};
}

// Per-car switches decide in the code the row leads to, car by car (each looked up with
// SwitchOnForCar): the row is always written, and names them for the log. Only a row that
// runs Morvane's code can be decided so: a byte patch is written once for every car.
struct PerCar {
    std::span<const ProfileSwitchKey* const> switches;
};
template <bool CarProfile::*... Switches>
inline constexpr const ProfileSwitchKey* kPerCarSwitches[] = {&ProfileSwitchOf(Switches)...};
template <bool CarProfile::*... Switches>
constexpr PerCar DecidedPerCar() {
    return {kPerCarSwitches<Switches...>};
}
// What decides a row that runs Morvane's code: a gate, or per-car switches.
struct Decision {
    constexpr Decision() = default;
    constexpr Decision(Gate decidedAtStart) : gate(decidedAtStart) {}
    constexpr Decision(PerCar decidedPerCar) : perCar(decidedPerCar.switches) {}
    Gate gate;
    std::span<const ProfileSwitchKey* const> perCar;
};

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
    std::span<const ProfileSwitchKey* const> perCar = {};  // the switches its code looks up, car by car
    uint32_t otherResume = 0;  // a hook: where its handler may send the game instead
    HandlerClass handlerClass = HandlerClass::FloatingPoint;  // a hook: what its handler computes with
};

// A hook whose handler computes with floats: the game's x87/MMX/SSE state is kept around it.
constexpr Site FloatHook(const char* name, uint32_t address, RegisterHandler handler, uint32_t resume,
                         std::span<const uint8_t> displaced = {}, Decision decision = {}) {
    return {.name = name, .address = address, .kind = PatchKind::RegisterHook, .handler = handler,
            .resume = resume, .bytes = displaced, .gate = decision.gate, .perCar = decision.perCar};
}
#ifdef MORVANE_INTEGER_CODE
// A hook whose handler does integer work and calls the game (or Windows): a called routine
// may change what the calling convention lets it (XMM0-7, the exception flags, every x87
// register), so the game's x87/MMX/SSE state is kept around the handler as around a
// floating-point one.
constexpr Site Hook(const char* name, uint32_t address, RegisterHandler handler, uint32_t resume,
                    std::span<const uint8_t> displaced = {}, Decision decision = {}) {
    return {.name = name, .address = address, .kind = PatchKind::RegisterHook, .handler = handler,
            .resume = resume, .bytes = displaced, .gate = decision.gate, .perCar = decision.perCar};
}
// A hook as above whose handler may also send the game to `otherResume` (see ResumeAtOther).
constexpr Site HookOr(const char* name, uint32_t address, RegisterHandler handler, uint32_t resume,
                      uint32_t otherResume, std::span<const uint8_t> displaced = {}, Decision decision = {}) {
    return {.name = name, .address = address, .kind = PatchKind::RegisterHook, .handler = handler,
            .resume = resume, .bytes = displaced, .gate = decision.gate, .perCar = decision.perCar,
            .otherResume = otherResume};
}
// A hook whose handler does integer work only and calls nothing but Morvane's own integer
// code (no game routine, no Windows): the game's floating-point state is never touched
// around it, the cheapest hook there is. Only integer code (built without x87, MMX and SSE
// registers, and checked so after each build) can make one.
constexpr Site IntegerHook(const char* name, uint32_t address, RegisterHandler handler, uint32_t resume,
                           std::span<const uint8_t> displaced = {}, Decision decision = {}) {
    return {.name = name, .address = address, .kind = PatchKind::RegisterHook, .handler = handler,
            .resume = resume, .bytes = displaced, .gate = decision.gate, .perCar = decision.perCar,
            .handlerClass = HandlerClass::Integer};
}
#endif
constexpr Site CallTo(const char* name, uint32_t address, CodeAddressFn target, Decision decision = {}) {
    return {.name = name, .address = address, .kind = PatchKind::Call, .target = target, .gate = decision.gate,
            .perCar = decision.perCar};
}
constexpr Site JumpTo(const char* name, uint32_t address, CodeAddressFn target, Decision decision = {}) {
    return {.name = name, .address = address, .kind = PatchKind::Jump, .target = target, .gate = decision.gate,
            .perCar = decision.perCar};
}
constexpr Site PointerTo(const char* name, uint32_t address, CodeAddressFn target, Decision decision = {}) {
    return {.name = name, .address = address, .kind = PatchKind::Pointer, .target = target, .gate = decision.gate,
            .perCar = decision.perCar};
}
constexpr Site PointerToData(const char* name, uint32_t address, const void* data, Gate gate = {}) {
    return {.name = name, .address = address, .kind = PatchKind::Pointer, .data = data, .gate = gate};
}
constexpr Site Value32(const char* name, uint32_t address, uint32_t value, Gate gate = {}) {
    return {.name = name, .address = address, .kind = PatchKind::Value, .value = value, .gate = gate};
}
constexpr Site Bytes(const char* name, uint32_t address, std::span<const uint8_t> bytes, Gate gate = {}) {
    return {.name = name, .address = address, .kind = PatchKind::Bytes, .bytes = bytes, .gate = gate};
}

// A run of no-operation bytes for a Bytes row: kNops<n> is n bytes of 0x90.
template <size_t Count>
inline constexpr std::array<uint8_t, Count> kNops = [] {
    std::array<uint8_t, Count> run{};
    run.fill(0x90);
    return run;
}();

// Sends the game to the other resume address of the row the hook was written by (HookOr).
inline void ResumeAtOther(RegisterRecord& r) {
    const HookPlace* place = HookPlaceOf(r);
    if (place != nullptr && place->otherResume != 0) r.resume = place->otherResume;
}

// Writes one site at its address in the running game, resuming where the row says.
void InstallSite(const Site& site);
// Writes every row whose gate is open for `settings` (none while `settings` is null: the
// plug-in is inactive).
void InstallSites(std::span<const Site> sites, const PluginSettings* settings);

}  // namespace morvane
