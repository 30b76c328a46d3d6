#pragma once
// The rules that decide whether a setting takes effect, beyond reading its value. The
// plug-in acts on them and the settings checker explains them: both call these, so the
// two cannot drift apart.
#include <string_view>

#include "config/Settings.h"

namespace morvane {

// A per-car switch as it takes effect for a car, given the profile the car gets (its own,
// else the global record: see ProfileInForce): that profile's value, or on in
// Morvane.ini where Morvane.ini's value forces every car.
inline bool SwitchTakesEffect(const ProfileSwitchKey& entry, const CarProfile* profile, const PluginSettings* global) {
    if (profile != nullptr && profile->*entry.field) return true;
    return entry.inMorvaneIni == InMorvaneIni::ForcesEveryCar && global != nullptr && global->perCar.*entry.field;
}
// The same for one switch known where it is asked: `SwitchOnForCar<&CarProfile::forceLodA>`.
template <bool CarProfile::*Switch>
inline bool SwitchOnForCar(const CarProfile* profile, const PluginSettings* global) {
    static constexpr const ProfileSwitchKey& kEntry = ProfileSwitchOf(Switch);
    return SwitchTakesEffect(kEntry, profile, global);
}

// A car's own part-slot entry decides whether the slot is on when it sets Enabled (-1 is
// "not set"); otherwise the global table's entry decides.
inline bool SlotEnabledSetIn(const SlotOverride* entry) { return entry != nullptr && entry->enabled != -1; }

// AllowStockRimsPaint and AllVinylsMirrorable give the same routine of the game opposite
// answers: stock rim paint wins, and the vinyl bytes are written only without it.
inline bool VinylBytesWritten(const PluginSettings& settings) {
    return settings.allVinylsMirrorable && !settings.allowStockRimsPaint;
}
// Why they are not.
inline const char* VinylBytesLeftOut(const PluginSettings& settings) {
    return settings.allVinylsMirrorable ? "AllowStockRimsPaint = 1 takes the same routine, and wins"
                                        : "AllVinylsMirrorable is off";
}

// The built-in profile of that name, or null. A file of the same name replaces it whole:
// the built-in one is then not added, and its flag is lost.
inline const BuiltInProfile* BuiltInProfileNamed(std::string_view name) {
    for (const BuiltInProfile& builtIn : kBuiltInProfiles) {
        if (name == builtIn.name) return &builtIn;
    }
    return nullptr;
}

}  // namespace morvane
