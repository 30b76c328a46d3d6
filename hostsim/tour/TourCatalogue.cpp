// What the plug-in's catalogue hooks do for a sample car, driven through the patched
// sites: part lists, kit companions, the pop-up headlight answer, the forced level of
// detail and the part-slot fixes.
#include <cstdio>
#include <string>
#include <vector>

#include "GameSites.h"
#include "SimCatalogue.h"
#include "Tour.h"

namespace tour {

namespace {

using namespace sim;
using namespace sim::catalogue;

const uint32_t kApplyKitPartsSite = sim::AddressOf("call that fits the dependent parts");
const uint32_t kRecordChosenPartSite = sim::AddressOf("routine that records the chosen part");
const uint32_t kPopUpSite = sim::AddressOf("pop-up headlight query");
const uint32_t kPartListSite = sim::AddressOf("call that lists a slot's parts");
const uint32_t kLodSite = sim::AddressOf("hash of a model name (level of detail)");
const uint32_t kDecalSite = sim::AddressOf("upgrade groups of the decal slots");
const uint32_t kRimSite = sim::AddressOf("stock rim paint answer");

bool Branches(uint32_t site, uint8_t opcode) { return GameByte(site) == opcode; }

std::string NameOf(const Part* part) { return part ? part->name : "-"; }

void PrintEvents(const char* indent) {
    for (const std::string& event : Events()) std::printf("%s%s\n", indent, event.c_str());
}

std::string SiteNote(const Capture& after, uint32_t expectedEspRise) {
    char text[96];
    std::snprintf(text, sizeof text, "ESP %+d (host expects +%u)", static_cast<int>(after.esp - after.espAtSite),
                  expectedEspRise);
    return text;
}

void ChooseThroughMenu(const uint8_t* entry) {
    ClearEvents();
    // No record: the host's global one.
    const Capture after = RunAt(kRecordChosenPartSite, 0, Address(entry), {kReturnToSimulator, 0, 0});
    std::printf("    0x%08X RecordChosenPart(%s, slot %d): EAX %u, %s, %s\n", kRecordChosenPartSite,
                Field<Part*>(const_cast<uint8_t*>(entry), 0x10)->name.c_str(),
                Field<int32_t>(const_cast<uint8_t*>(entry), 0x18), after.registers.eax,
                after.exit == Exit::Returned ? "back at the caller" : "did not return", SiteNote(after, 12).c_str());
    PrintEvents("      ");
}

void FitCompanions(Ride& ride) {
    ClearEvents();
    const Capture after =
        RunAt(kApplyKitPartsSite, kApplyKitPartsSite + 5, Address(NewBlock(16)), {Address(&ride), kGlobalCustomization});
    std::printf("    0x%08X ApplyKitParts: %s\n", kApplyKitPartsSite, SiteNote(after, 8).c_str());
    PrintEvents("      ");
}

// Builds the part list of `slot` for the car through the patched site and prints it.
std::vector<ListedEntry> ShowPartList(int32_t car, int32_t slot) {
    SetCurrentCarType(car);
    void* head = NewPartList();
    const Capture after = RunAt(kPartListSite, kPartListSite + 5, 0, {static_cast<uint32_t>(slot), Address(head), 0, 0, 0});
    std::string problem;
    const auto entries = ListEntries(head, &problem);
    std::printf("    0x%08X BuildSlotPartList(slot %d): EAX %u, %s, %zu entries%s%s\n", kPartListSite, slot,
                after.registers.eax, SiteNote(after, 0).c_str(), entries.size(), problem.empty() ? "" : ": ",
                problem.c_str());
    for (const ListedEntry& e : entries) std::printf("      %s\n", NameOf(e.part).c_str());
    return entries;
}

const uint8_t* EntryFor(const std::vector<ListedEntry>& entries, const Part& part) {
    for (const ListedEntry& e : entries) {
        if (e.part == &part) return e.entry;
    }
    return nullptr;
}

// The sample car's catalogue: stock and kit bodies, front bumpers the list keeps or
// leaves out, the other stock parts and kit headlights.
std::vector<Part*> AddSampleParts(int32_t car, const std::string& base) {
    const std::string b = " " + base;
    const auto parts = AddParts(
        car, "23" + b + "_BODY_KIT00 stock STOCK=1, 23" + b + "_BODY_KIT03 model kit=3, 72" + b +
                 "_KIT00_FRONT_BUMPER stock STOCK=1, 72" + b + "_KIT05_FRONT_BUMPER model kit=5, 72" + b +
                 "_KIT06_FRONT_BUMPER, 72" + b + "_KIT07_FRONT_BUMPER model CARBONFIBRE=1, 72" + b +
                 "_KIT08_FRONT_BUMPER model MORPHTARGET_NUM=2, 74" + b + "_KIT00_REAR_BUMPER stock, 79" + b +
                 "_KIT00_SKIRT stock, 32" + b + "_KIT05_LEFT_HEADLIGHT_OFF, 42" + b + "_KIT05_RIGHT_HEADLIGHT_OFF");
    AddModel(base + "_KIT05_LEFT_HEADLIGHT_OFF_A");
    GlobalCustomization(car);
    return parts;
}

void ReportListsAndCompanions(int32_t car, const std::string& base) {
    if (!Branches(kPartListSite, 0xE8) || !Branches(kApplyKitPartsSite, 0xE8) ||
        !Branches(kRecordChosenPartSite, 0xE9)) {
        std::printf("  sites not written\n");
        return;
    }
    const auto parts = AddSampleParts(car, base);
    Part& stockBody = *parts[0];
    Part& kitBody = *parts[1];
    Part& stockFront = *parts[2];
    Part& kitFront = *parts[3];

    std::printf("  Part lists (carbon not asked; left out: %s_KIT06 model not loaded, _KIT07 carbon fibre,\n"
                "  _KIT08 morph targets):\n", base.c_str());
    const auto bumpers = ShowPartList(car, 72);
    const auto bodies = ShowPartList(car, 23);

    std::printf("  Kit companions (fits by name, record puts and clears, in order):\n");
    Ride& ride = NewRide(car);
    ride.parts[23] = &stockBody;
    ride.parts[72] = &stockFront;
    std::printf("    %s chosen from the list on the stock body:\n", kitFront.name.c_str());
    if (const uint8_t* entry = EntryFor(bumpers, kitFront)) ChooseThroughMenu(entry);
    ride.parts[72] = &kitFront;
    FitCompanions(ride);

    std::printf("    %s chosen from the list:\n", kitBody.name.c_str());
    if (const uint8_t* entry = EntryFor(bodies, kitBody)) ChooseThroughMenu(entry);
    // The host fits the ride as the record now holds it.
    ride.parts[23] = &kitBody;
    for (const int32_t slot : {72, 74, 79}) ride.parts[slot] = nullptr;
    FitCompanions(ride);
}

void ReportPopUpHeadlights() {
    if (!Branches(kPopUpSite, 0xE8)) return;
    std::printf("  Pop-up headlight answer at 0x%08X:", kPopUpSite);
    for (const char* name : {"SUPRA", "FAIRLADY", "RX7", "BRERA"}) {
        const Capture after = RunAt(kPopUpSite, kPopUpSite + 5, Address(NewCarObject(AddCarType(name))), {});
        std::printf(" %s %u", name, after.registers.eax);
    }
    std::printf("\n");
}

void ReportLevelOfDetail() {
    if (!Branches(kLodSite, 0xE9)) return;
    std::printf("  Model names hashed at 0x%08X (seed: the car's base name):\n", kLodSite);
    for (const char* name : {"SUPRA", "FAIRLADY"}) {
        char* text = reinterpret_cast<char*>(NewBlock(64));
        std::snprintf(text, 64, "%s_KIT05_FRONT_BUMPER_B", name);
        const std::string before = text;
        const uint32_t seed = Hash(name);
        const Capture after = RunAt(kLodSite, kLodSite + 8, 0, {Address(text), seed});
        uint32_t expected = seed;
        for (const char* c = text; *c; ++c) expected = expected * 33 + static_cast<uint8_t>(*c);
        std::printf("    %s -> hashed as %s (EAX %s, %s)\n", before.c_str(), text,
                    after.registers.eax == expected ? "matches" : "DIFFERS", SiteNote(after, 8).c_str());
    }
}

// The bytes at the rim routine, which switch wrote them and what a call of it answers.
void ReportRimRoutine() {
    const std::string ini = GameFolder() + "Morvane.ini";
    const bool rims = IniSetting(ini, "GENERAL", "AllowStockRimsPaint") == 1;
    const bool vinyls = IniSetting(ini, "GENERAL", "AllVinylsMirrorable") == 1;
    std::printf("  Part-slot fixes:\n    0x%08X:", kRimSite);
    for (uint32_t i = 0; i < 6; ++i) std::printf(" %02X", GameByte(kRimSite + i));
    if (rims && vinyls) {
        std::printf("  AllowStockRimsPaint and AllVinylsMirrorable both on: the stock-rim answer stays and\n"
                    "                the vinyl bytes are not written (the two would answer the same routine)\n");
    } else if (rims) {
        std::printf("  AllowStockRimsPaint on\n");
    } else if (vinyls) {
        std::printf("  AllVinylsMirrorable on, AllowStockRimsPaint off\n");
    } else {
        std::printf("  both switches off: untouched\n");
    }
    if (rims || vinyls) {
        const Capture after = RunAt(kRimSite, 0, 0, {kReturnToSimulator});
        std::printf("    a call of 0x%08X (EAX was 0x%08X) %s with EAX 0x%08X\n", kRimSite, kSiteRegisters.eax,
                    after.exit == Exit::Returned ? "returns at once" : "does not return", after.registers.eax);
    }
}

void ReportDecalGroups() {
    if (!Branches(kDecalSite, 0xE9)) return;
    // Decals are the catalogue of car type 0.
    const auto decals =
        AddParts(0, "100 DECAL_FRONT PARTID_UPGRADE_GROUP=24608, 100 DECAL_REAR PARTID_UPGRADE_GROUP=24609");
    const Part& front = *decals[0];
    const Part& rear = *decals[1];
    const Capture after = RunAt(kDecalSite, 0, 0, {kReturnToSimulator});
    std::printf("    0x%08X decal groups: front record 0x%04X, rear record 0x%04X, table[100] %d, table[101] %d"
                " (%s, %s)\n",
                kDecalSite, front.attributes[0].value & 0xFFFF, rear.attributes[0].value & 0xFFFF,
                Global<int32_t>(kUpgradeGroupTable + 0x190), Global<int32_t>(kUpgradeGroupTable + 0x194),
                after.exit == Exit::Returned ? "returned to the caller" : "did not return",
                SiteNote(after, 4).c_str());
}

}  // namespace

void ReportCatalogue() {
    std::printf("\nPart catalogue (sample car SUPRA, driven through the patched sites):\n");
    const int32_t car = AddCarType("SUPRA");
    ReportListsAndCompanions(car, "SUPRA");
    ReportPopUpHeadlights();
    ReportLevelOfDetail();
    ReportRimRoutine();
    ReportDecalGroups();
}

}  // namespace tour
