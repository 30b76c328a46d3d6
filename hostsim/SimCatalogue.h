#pragma once
// The game's part catalogue as the customization screens see it: customization records,
// menu entries, loaded models, part styles, the part lists the screens fill and the
// decal upgrade groups.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Sim.h"

namespace sim::catalogue {

// Host addresses.
constexpr uint32_t kCustomizationGetSlotPart = 0x4AE350;
constexpr uint32_t kCustomizationSetSlotPart = 0x4BAC50;
constexpr uint32_t kCustomizationClearSlot = 0x4AE380;
constexpr uint32_t kPartGetNameHash = 0x7CDA40;
constexpr uint32_t kPartGetStyleHash = 0x7CD930;
constexpr uint32_t kGetCarType = 0x4AE150;
constexpr uint32_t kFindModel = 0x55B670;
constexpr uint32_t kModelTable = 0xA8FFF4;
constexpr uint32_t kGlobalCustomization = 0xBBABC0;
constexpr uint32_t kUpgradeGroupTable = 0xA73398;

// A customization record: the car type at +0xBC, then the chosen part of each slot.
struct Customization {
    uint8_t reserved[0xBC];
    int32_t carType;
    Part* parts[128];
};
static_assert(offsetof(Customization, carType) == 0xBC);

Customization& NewCustomization(int32_t carType);
// The host's own record at 0xBBABC0, for the given car.
Customization& GlobalCustomization(int32_t carType);

// A menu entry: the part at +0x10, the slot at +0x18.
uint8_t* NewMenuEntry(Part* part, int32_t slot);

// A host object HostGetCarType (0x4AE150) answers `carType` for.
void* NewCarObject(int32_t carType);

// Models are loaded by name; a part's model is its name followed by "_A".
void AddModel(const std::string& name);
uint32_t ModelHashOf(const Part& part);
// The style HostPartGetStyleHash answers for a part (none: the empty name).
void SetStyle(const Part& part, const std::string& style);

// What the customization routines were asked, merged in call order with the fits by
// name of the core game: "fit 72 BRERA_KIT00_FRONT_BUMPER", "put 32 NAME" (or "put 32
// -" for none; " flag N" when the flag is set), "clear 87", "get 25". A call for a car
// type other than the record's ends in " car N".
std::vector<std::string> Events();
// Forgets the events so far.
void ClearEvents();

// Parts of a car's catalogue from "SLOT NAME [stock] [model] [style=NAME] [kit=N]
// [ATTRIBUTE=N]...", several separated by commas: "stock" marks the car's stock part,
// "model" loads the part's model, kit=N sets "KITNUMBER".
std::vector<Part*> AddParts(int32_t carType, const std::string& descriptions);
// The items of `text` between separators, without leading blanks; empty items are dropped.
std::vector<std::string> Split(const std::string& text, char separator);

// The distinct register values RunAt enters a site with.
inline const Registers kSiteRegisters = {0xA0, 0xC1, 0xD2, 0xB3, 0xE4, 0x5E, 0xD1};
// Runs host code from `site` with kSiteRegisters (ECX as given) and the stack slots, until
// it reaches `resume` (0: until it returns through a kReturnToSimulator slot).
Capture RunAt(uint32_t site, uint32_t resume, uint32_t ecx, std::vector<uint32_t> stack);
// True when EBX, EBP, ESI and EDI came back as kSiteRegisters holds them.
bool KeptRegisters(const Capture& after);

// An empty part list: the head's next and last links are the head itself.
void* NewPartList();
struct ListedEntry {
    const uint8_t* entry;
    Part* part;
    int32_t slot;
};
// The entries from first to last. `problem` says which link or constant field is not as
// the host lays them out, and stays empty when all is well.
std::vector<ListedEntry> ListEntries(void* head, std::string* problem);

}  // namespace sim::catalogue
