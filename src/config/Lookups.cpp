#include "config/Lookups.h"

#include "config/ConfigHost.h"
#include "config/Rules.h"
#include "config/Settings.h"

namespace morvane {

namespace {

const SlotOverride* CarSlotEntry(int32_t carType, int32_t slot) {
    const CarProfile* profile = FindProfileByCarType(carType);
    return profile ? FindSlotOverride(profile->slotOverrides, slot) : nullptr;
}

const SlotOverride* GlobalSlotEntry(int32_t slot) {
    const PluginSettings* settings = GlobalSettings();
    return settings ? FindSlotOverride(settings->slotOverrides, slot) : nullptr;
}

}  // namespace

const CarProfile* ProfileForCarType(int32_t carType) {
    const CarProfile* profile = FindProfileByCarType(carType);
    return profile ? profile : GlobalSettings();
}

const CarProfile* ProfileForNameHash(uint32_t hash) {
    const CarProfile* profile = FindProfileByNameHash(hash);
    return profile ? profile : GlobalSettings();
}

int32_t SlotEnabled(int32_t carType, int32_t slot) {
    const SlotOverride* own = CarSlotEntry(carType, slot);
    if (SlotEnabledSetIn(own)) return own->enabled;
    const SlotOverride* global = GlobalSlotEntry(slot);
    return global ? global->enabled : 0;
}

uint32_t SlotHeader(int32_t carType, int32_t slot, bool alternate) {
    const SlotOverride* own = CarSlotEntry(carType, slot);
    if (own) {
        const uint32_t value = alternate ? own->headerAS : own->header;
        if (value != kNoName) return value;
    }
    const SlotOverride* global = GlobalSlotEntry(slot);
    if (!global) return kNoName;
    return alternate ? global->headerAS : global->header;
}

const char* SlotCamera(int32_t carType, int32_t slot) {
    const SlotOverride* own = CarSlotEntry(carType, slot);
    if (own && !own->camera.empty()) return own->camera.c_str();
    const SlotOverride* global = GlobalSlotEntry(slot);
    return (global && !global->camera.empty()) ? global->camera.c_str() : nullptr;
}

}  // namespace morvane
