#pragma once
// The game's records as far as the plug-in reads or writes them: their layouts where the
// plug-in builds or copies them, otherwise the offsets of the fields it touches, each
// named once, beside its record.
#include <cstddef>
#include <cstdint>

#include "host/Memory.h"

namespace morvane::host {

// Game part and part-database objects are opaque to the plug-in.
struct Part;
struct PartDatabase;

// ---- Cars -------------------------------------------------------------------------------

// A ride record: the game's record of a car's fitted parts; the car type comes first.
struct RideRecord {
    int32_t carType;
};

// A car as drawn (CarRenderRecord): opaque but for these fields.
namespace render {
constexpr uint32_t kRideRecord = 0x3F0;         // the car's ride record
constexpr uint32_t kPulseIntensity = 0x37C;     // neon pulse, 32-bit float
constexpr uint32_t kPulseRate = 0x38C;          // neon pulse, 32-bit float
constexpr uint32_t kTireStyle01 = 0x5C4;        // texture replacements (TextureReplacement)
constexpr uint32_t kLicensePlate = 0x5DC;
constexpr uint32_t kTireStyle01Normal = 0x600;
constexpr uint32_t kTireStyle02 = 0x60C;
constexpr uint32_t kTireStyle02Normal = 0x618;
constexpr uint32_t kTireWidthWord = 0x324C;     // loaded into EBX after the tire width
constexpr uint32_t kLightTextureKey = 0x3080;
constexpr uint32_t kLightTable = 0x3098;        // three 32-bit entries
constexpr uint32_t kLightAltTable = 0x30A4;     // three 32-bit entries
constexpr uint32_t kLightBrakeValue = 0x30B0;
}  // namespace render

// The ride record of a render record given by its address; null for none.
inline RideRecord* RideOfRenderRecord(uint32_t renderRecord) {
    return renderRecord == 0 ? nullptr : Read<RideRecord*>(At(renderRecord), render::kRideRecord);
}
inline RideRecord* RideOfRenderRecord(const void* renderRecord) { return RideOfRenderRecord(AddressOf(renderRecord)); }

// A car-type record: the game's table of them is indexed by car type.
namespace car_type {
constexpr uint32_t kRecordSize = 0xD0;
// A 32-bit class of the car type: 2 selects the plain body name, 1 the police plate.
constexpr uint32_t kClass = 0x94;
constexpr int32_t kClassCopPlate = 1;
constexpr int32_t kClassPlainBody = 2;
}  // namespace car_type

// ---- Parts ------------------------------------------------------------------------------

// The record HostPartFindAttribute answers: the attribute's value lies 4 bytes in, as an
// integer, a float or four bytes, depending on the attribute.
struct AttributeRecord {
    uint32_t nameHash;
    uint8_t value[4];

    int32_t IntValue() const { return Read<int32_t>(value, 0); }
    float FloatValue() const { return Read<float>(value, 0); }
};

// An upgrade-group attribute record of a part: a low byte at +4 and a group byte at +5
// (AttributeRecord::value[0] and [1]). The decal slots' records as the game ships them,
// and the groups they belong in.
namespace upgrade_group {
constexpr uint8_t kDecals = 0x60;           // the group byte of both decal slots' records
constexpr uint8_t kFrontDecalLow = 0x20;    // the low byte of the front decal's record
constexpr uint8_t kRearDecalLow = 0x21;     // the low byte of the rear decal's record
constexpr uint8_t kFrontDecals = 0x68;      // the front decal's own group
constexpr uint8_t kRearDecals = 0x69;       // the rear decal's own group
}  // namespace upgrade_group

// A customization record: the parts chosen in the customization screens. Opaque but for
// the car type.
struct CustomizationRecord;
namespace customization {
constexpr uint32_t kCarType = 0xBC;
}

// An entry of a slot's part list, as the game lays it out; its link block (next,
// previous) sits at +4. The game's menu entries share the part and slot fields.
struct PartListEntry {
    uint32_t virtualTable;
    void* next;
    void* previous;
    uint32_t value0C;
    Part* part;
    uint32_t value14;
    int32_t slot;
};
static_assert(sizeof(PartListEntry) == 28);
namespace part_list {
constexpr uint32_t kEntryPart = 0x10;
constexpr uint32_t kEntrySlot = 0x18;
static_assert(offsetof(PartListEntry, part) == kEntryPart && offsetof(PartListEntry, slot) == kEntrySlot);
// The values the game writes into a new entry: its virtual table and two words.
constexpr uint32_t kEntryVirtualTable = 0x9F9CF0;
constexpr uint32_t kEntryValue0C = 0x881F8EFA;
constexpr uint32_t kEntryValue14 = 0x9F9CD8;
// The most entries a list takes; the fill routine answers one more when it stops there.
constexpr uint32_t kLimit = 70;
}  // namespace part_list

// ---- Customization screens ---------------------------------------------------------------

// The game's menus, menu items, slot entries and screens are opaque; the plug-in reads
// single fields of them.
struct Menu;
struct MenuItem;
struct MenuEntry;
struct HostObject;

namespace menu_item {
constexpr uint32_t kSize = 0x98;
constexpr uint32_t kHeaderHash = 0x2C;
}  // namespace menu_item

// The customization screen that lists a category's slots.
namespace screen {
constexpr uint32_t kShownEntry = 0x34;      // pointer to the entry shown; its slot at +0x30
constexpr uint32_t kShownEntrySlot = 0x30;
constexpr uint32_t kCameraTest = 0x2C4;     // compared, signed, with kCameraTestBound
constexpr int32_t kCameraTestBound = 0xA99C60;
constexpr uint32_t kMenuValue = 0x2C8;      // handed to HostPrepareSlotMenu
constexpr uint32_t kAutosculpt = 0x2D4;     // byte: nonzero in autosculpt mode
constexpr uint32_t kFrontWheelExtra = 0x2D5;  // signed byte: the front wheel slot's extra value
constexpr uint32_t kCameraEnabled = 0x2E0;
}  // namespace screen

// A career record: its first 32-bit field is the value the autosculpt roof rule tests.
struct CareerRecord {
    int32_t state;
};

// The front-end object: it holds the marker holder of the car shown in the screens.
namespace front_end {
constexpr uint32_t kMarkerHolder = 0xBF8;
}

// ---- Effects -----------------------------------------------------------------------------

// A marker holder: three marker records, any of them null.
namespace marker_holder {
constexpr uint32_t kCentre = 0x434;
constexpr uint32_t kMirrored = 0x438;    // the marker whose effect is mirrored
constexpr uint32_t kUnmirrored = 0x43C;  // the marker whose effect is used as it is
}  // namespace marker_holder

// A marker record: its position x, y, z, w as 32-bit floats.
namespace marker {
constexpr uint32_t kPosition = 0x40;
}

// An effect's owner: at +0x04 a record holding the owner's name at +0x18.
namespace effect_owner {
constexpr uint32_t kRecord = 0x04;
constexpr uint32_t kRecordName = 0x18;
}  // namespace effect_owner

// The record the exhaust part choice reads: the preferred pointer, and the one used when
// it is null.
namespace part_select {
constexpr uint32_t kPreferred = 0x17C;
constexpr uint32_t kFallback = 0xB0;
}  // namespace part_select

// An effect definition: the effect's name hash, 12 bytes the plug-in only copies, and a
// 4x4 matrix of floats whose last row is the position x, y, z and a fourth value w.
struct EffectDefinition {
    uint32_t nameHash;
    uint8_t opaque[12];
    float matrix[4][4];
};
static_assert(sizeof(EffectDefinition) == 80);

// A node of a car's effect list, from the game's node pool. The plug-in writes only these
// fields; the last node of a list points back at the list head.
struct EffectNode {
    void* next;
    float position[3];
    const EffectDefinition* definition;
};

// A car's effect list: first and last node (both the head itself while the list is empty).
struct EffectListHead {
    void* first;
    void* last;
};

// ---- Textures ----------------------------------------------------------------------------

// One texture replacement of a render record: the game's texture, the one drawn instead.
struct TextureReplacement {
    uint32_t replacedHash;
    uint32_t replacementHash;
    uint32_t unused;  // 0xFFFFFFFF
};
static_assert(sizeof(TextureReplacement) == 12);

// The texture keys the game loads for a car (the car texture list): 100 32-bit keys at
// +0 (0: a free entry), their count, and the key of the lit brake-light texture.
namespace texture_list {
constexpr int32_t kCapacity = 100;
constexpr uint32_t kCount = 0x340;
constexpr uint32_t kBrakeLightOn = 0x3F8;
}  // namespace texture_list

}  // namespace morvane::host
