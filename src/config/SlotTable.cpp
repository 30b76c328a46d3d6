#include "config/SlotTable.h"

#include <cstdio>

#include "config/ConfigHost.h"

namespace morvane {

const std::array<PartSlotRow, kPartSlotCount>& PartSlotTable() {
    static const std::array<PartSlotRow, kPartSlotCount> table = [] {
        std::array<PartSlotRow, kPartSlotCount> rows{{
            {"PART_BODY", 23},
            {"PART_HOOD", 78},
            {"PART_FRONT_WHEEL", 84},
            {"PART_FRONT_BUMPER", 72},
            {"PART_REAR_BUMPER", 74},
            {"PART_SKIRT", 79},
            {"PART_ROOF_SCOOP", 77},
            {"PART_SPOILER", 48},
            {"PART_EXHAUST", 47},
            {"PART_ROOF", 76},
            {"PART_LICENSE_PLATE", 86},
            {"PART_DECAL_FRONT", 100},
            {"PART_DECAL_REAR", 101},
            {"PART_FRONT_BUMPER_BADGING", 73},
            {"PART_REAR_BUMPER_BADGING", 75},
            {"PART_LEFT_SIDE_MIRROR", 34},
            {"PART_FRONT_BRAKE", 24},
            {"PART_FRONT_ROTOR", 25},
            {"PART_INTERIOR", 29},
            {"PART_GENERIC_VINYLS", 94},
            {"PART_LEFT_HEADLIGHT", 32},
            {"PART_LEFT_BRAKELIGHT", 30},
            {"PART_DRIVER", 45},
            {"PART_STEERING_WHEEL", 46},
            {"PART_DOOR_LEFT", 82},
        }};
        for (int n = 0; n < 16; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "PART_ATTACHMENT%02d", n);
            rows[25 + n] = {name, 56 + n};
        }
        return rows;
    }();
    return table;
}

namespace {

// The game's hash of a header text. The empty text (no header) is "no name" by definition:
// the game need not be asked twice for each of the 41 sections of every file.
uint32_t HeaderHash(const std::string& text) { return text.empty() ? kNoNameHash : configHost.stringHash(text.c_str()); }

}  // namespace

void ReadSlotOverride(const IniReader& file, std::vector<SlotOverride>& list, const std::string& section,
                      int32_t slot) {
    SlotOverride entry{};
    entry.enabled = file.ReadTriState(section.c_str(), kSlotEnabledKey);
    entry.header = HeaderHash(file.ReadText(section.c_str(), kSlotHeaderKey, ""));
    entry.headerAS = HeaderHash(file.ReadText(section.c_str(), kSlotHeaderASKey, ""));
    if (entry.headerAS == kNoNameHash) entry.headerAS = entry.header;
    entry.slot = slot;
    entry.camera = file.ReadText(section.c_str(), kSlotCameraKey, "");
    list.push_back(std::move(entry));
}

void ReadSlotTable(const IniReader& file, std::vector<SlotOverride>& list) {
    for (const PartSlotRow& row : PartSlotTable()) ReadSlotOverride(file, list, row.section, row.slot);
}

const SlotOverride* FindSlotOverride(const std::vector<SlotOverride>& list, int32_t slot) {
    for (const SlotOverride& entry : list) {
        if (entry.slot == slot) return &entry;
    }
    return nullptr;
}

}  // namespace morvane
