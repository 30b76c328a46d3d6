#pragma once
// The part-slot sections a settings file may carry: one per host part slot, saying
// whether the plug-in handles the slot for the car, the menu title hashes and the camera.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "config/IniReader.h"

namespace morvane {

struct PartSlotRow {
    std::string section;
    int32_t slot;
};

constexpr size_t kPartSlotCount = 41;

// The 41 sections in reading order, with the host slot each stands for.
const std::array<PartSlotRow, kPartSlotCount>& PartSlotTable();

// The keys of a part-slot section.
inline constexpr const char kSlotEnabledKey[] = "Enabled";
inline constexpr const char kSlotHeaderKey[] = "Header";
inline constexpr const char kSlotHeaderASKey[] = "HeaderAS";
inline constexpr const char kSlotCameraKey[] = "Camera";
inline constexpr const char* kSlotKeys[] = {kSlotEnabledKey, kSlotHeaderKey, kSlotHeaderASKey, kSlotCameraKey};

struct SlotOverride {
    int32_t enabled;    // 1 on, 0 off, -1 not set
    uint32_t header;    // hash of "Header"; kNoName: none
    uint32_t headerAS;  // hash of "HeaderAS", else the same as header
    int32_t slot;
    std::string camera;  // empty: none

    bool operator==(const SlotOverride&) const = default;
};

// Reads one section into one entry and appends it (every row gives an entry).
void ReadSlotOverride(const IniReader& file, std::vector<SlotOverride>& list, const std::string& section,
                      int32_t slot);
// Reads all 41 rows in table order.
void ReadSlotTable(const IniReader& file, std::vector<SlotOverride>& list);
// The first entry for `slot`, or null.
const SlotOverride* FindSlotOverride(const std::vector<SlotOverride>& list, int32_t slot);

}  // namespace morvane
