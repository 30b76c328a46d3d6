#include "config/Lookups.h"

#include "config/ConfigHost.h"
#include "config/Rules.h"
#include "config/Settings.h"

namespace morvane {

namespace {

constinit Configuration startupConfiguration{nullptr, &detail::startupProfiles};

}  // namespace

constinit std::atomic<const Configuration*> detail::configurationInForce{&startupConfiguration};
void (*detail::checkConfigurationRead)() = nullptr;

void PublishConfiguration(const Configuration* configuration) {
    detail::configurationInForce.store(configuration, std::memory_order_release);
}

Configuration& StartupConfiguration() { return startupConfiguration; }

const SlotOverride* Configuration::CarSlotEntry(int32_t carType, int32_t slot) const {
    const CarProfile* profile = profiles->FindByCarType(carType);
    return profile ? FindSlotOverride(profile->slotOverrides, slot) : nullptr;
}

const SlotOverride* Configuration::GlobalSlotEntry(int32_t slot) const {
    return global ? FindSlotOverride(global->perCar.slotOverrides, slot) : nullptr;
}

int32_t Configuration::SlotEnabled(int32_t carType, int32_t slot) const {
    const SlotOverride* own = CarSlotEntry(carType, slot);
    if (SlotEnabledSetIn(own)) return own->enabled;
    const SlotOverride* globalEntry = GlobalSlotEntry(slot);
    return globalEntry ? globalEntry->enabled : 0;
}

uint32_t Configuration::SlotHeader(int32_t carType, int32_t slot, bool alternate) const {
    const SlotOverride* own = CarSlotEntry(carType, slot);
    if (own) {
        const uint32_t value = alternate ? own->headerAS : own->header;
        if (value != kNoName) return value;
    }
    const SlotOverride* globalEntry = GlobalSlotEntry(slot);
    if (!globalEntry) return kNoName;
    return alternate ? globalEntry->headerAS : globalEntry->header;
}

const char* Configuration::SlotCamera(int32_t carType, int32_t slot) const {
    const SlotOverride* own = CarSlotEntry(carType, slot);
    if (own && !own->camera.empty()) return own->camera.c_str();
    const SlotOverride* globalEntry = GlobalSlotEntry(slot);
    return (globalEntry && !globalEntry->camera.empty()) ? globalEntry->camera.c_str() : nullptr;
}

}  // namespace morvane
