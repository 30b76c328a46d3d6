#pragma once
// The configuration in force: the global settings record and the car profiles, read
// together. It is published whole, with one atomic store, and never changed once published.
// One that live profiles replaced is freed once every hook's mark that stood when it was
// replaced has gone (live/Reclaim.h, patch/HookMarks.h). So it is read only under a hook's
// mark (a register hook's handler, or a routine hook's guarded work), on the live-profiles
// thread that builds and retires configurations, or while the plug-in starts, before any
// hook can run; a debug build fails loudly where a game thread reads it otherwise. A hook
// takes it once, when it is entered, and asks it everything: no answer mixes an old and a
// new one.
#include <atomic>
#include <cstdint>

namespace morvane {

struct CarProfile;
struct PluginSettings;
class ProfileSet;
struct SlotOverride;

struct Configuration {
    const PluginSettings* global = nullptr;  // null before Morvane.ini is read
    const ProfileSet* profiles = nullptr;

    // The car's own profile, else the global record (null before it is read).
    const CarProfile* ProfileInForce(int32_t carType) const;
    const CarProfile* ProfileInForceForNameHash(uint32_t hash) const;

    // Part-slot values for a car, each from its own entry where that sets it, else from
    // the global table.
    int32_t SlotEnabled(int32_t carType, int32_t slot) const;
    // The slot is switched on for the car: its Enabled value is 1.
    bool SlotOn(int32_t carType, int32_t slot) const { return SlotEnabled(carType, slot) == 1; }
    uint32_t SlotHeader(int32_t carType, int32_t slot, bool alternate) const;
    const char* SlotCamera(int32_t carType, int32_t slot) const;  // null: none

private:
    const SlotOverride* CarSlotEntry(int32_t carType, int32_t slot) const;
    const SlotOverride* GlobalSlotEntry(int32_t slot) const;
};

namespace detail {
extern std::atomic<const Configuration*> configurationInForce;
// In a debug build, each reading of the configuration calls this, once the plug-in has
// started (null before, and in the settings checker and the tests).
extern void (*checkConfigurationRead)();
}  // namespace detail

// The configuration in force: one atomic load.
inline const Configuration& CurrentConfiguration() {
#ifndef NDEBUG
    if (detail::checkConfigurationRead != nullptr) detail::checkConfigurationRead();
#endif
    return *detail::configurationInForce.load(std::memory_order_acquire);
}

// Puts a configuration built whole in force. It must live until it is replaced and then
// retired (live/Reclaim.h), or, built at start-up, until the process ends.
void PublishConfiguration(const Configuration* configuration);

// The configuration start-up builds step by step (settings, profiles, built-ins), put in
// force by each step. Only start-up, the settings checker and tests build it.
Configuration& StartupConfiguration();

}  // namespace morvane
