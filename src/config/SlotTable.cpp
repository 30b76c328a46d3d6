#include "config/SlotTable.h"

#include "config/ConfigHost.h"
#include "config/NameText.h"

namespace morvane {

namespace slot = host::slot;

const std::array<PartSlotRow, kPartSlotCount>& PartSlotTable() {
    static const std::array<PartSlotRow, kPartSlotCount> table = [] {
        std::array<PartSlotRow, kPartSlotCount> rows{{
            {"PART_BODY", slot::kBody},
            {"PART_HOOD", slot::kHood},
            {"PART_FRONT_WHEEL", slot::kFrontWheel},
            {"PART_FRONT_BUMPER", slot::kFrontBumper},
            {"PART_REAR_BUMPER", slot::kRearBumper},
            {"PART_SKIRT", slot::kSkirt},
            {"PART_ROOF_SCOOP", slot::kRoofScoop},
            {"PART_SPOILER", slot::kSpoiler},
            {"PART_EXHAUST", slot::kExhaust},
            {"PART_ROOF", slot::kRoof},
            {"PART_LICENSE_PLATE", slot::kLicensePlate},
            {"PART_DECAL_FRONT", slot::kFrontDecal},
            {"PART_DECAL_REAR", slot::kRearDecal},
            {"PART_FRONT_BUMPER_BADGING", slot::kFrontBumperBadging},
            {"PART_REAR_BUMPER_BADGING", slot::kRearBumperBadging},
            {"PART_LEFT_SIDE_MIRROR", slot::kLeftSideMirror},
            {"PART_FRONT_BRAKE", slot::kFrontBrake},
            {"PART_FRONT_ROTOR", slot::kFrontRotor},
            {"PART_INTERIOR", slot::kInterior},
            {"PART_GENERIC_VINYLS", slot::kGenericVinyls},
            {"PART_LEFT_HEADLIGHT", slot::kLeftHeadlight},
            {"PART_LEFT_BRAKELIGHT", slot::kLeftBrakeLight},
            {"PART_DRIVER", slot::kDriver},
            {"PART_STEERING_WHEEL", slot::kSteeringWheel},
            {"PART_DOOR_LEFT", slot::kLeftDoor},
        }};
        for (int n = 0; n < slot::kAttachmentCount; ++n) {
            char name[32];
            NameText(name) << "PART_ATTACHMENT" << TwoDigits{n};
            rows[25 + n] = {name, slot::kFirstAttachment + n};
        }
        return rows;
    }();
    return table;
}

namespace {

// The game's hash of a header text. The empty text (no header) is "no name" by definition:
// the game need not be asked twice for each of the 41 sections of every file.
uint32_t HeaderHash(const std::string& text) { return text.empty() ? kNoName : configHost.stringHash(text.c_str()); }

}  // namespace

void ReadSlotOverride(const IniReader& file, std::vector<SlotOverride>& list, const std::string& section,
                      int32_t slot) {
    SlotOverride entry{};
    entry.enabled = file.ReadTriState(section.c_str(), kSlotEnabledKey);
    entry.header = HeaderHash(file.ReadText(section.c_str(), kSlotHeaderKey, ""));
    entry.headerAS = HeaderHash(file.ReadText(section.c_str(), kSlotHeaderASKey, ""));
    if (entry.headerAS == kNoName) entry.headerAS = entry.header;
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
