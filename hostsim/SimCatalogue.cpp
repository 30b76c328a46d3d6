// The game's part catalogue as the customization screens see it (see SimCatalogue.h),
// and the report of what the plug-in's catalogue hooks do for a sample car.
#include "SimCatalogue.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>


namespace sim::catalogue {

namespace {

struct Logged {
    size_t fitsBefore;  // how many fits by name the core game had recorded by then
    std::string text;
};

std::vector<Logged> log;
size_t fitsBase;
std::set<uint32_t> models;
std::map<const Part*, std::string> styles;

void Note(const std::string& text) { log.push_back({FitsByName().size(), text}); }

std::string NameOf(const Part* part) { return part ? part->name : "-"; }

std::string CarSuffix(const Customization* record, int32_t carType) {
    return carType == record->carType ? "" : " car " + std::to_string(carType);
}

bool Usable(const Customization* record, int32_t carType, int32_t slot) {
    return record->carType == carType && slot >= 0 && slot < 128;
}

// ---- Host routines, with the game's calling conventions ----

Part* __thiscall CustomizationGetSlotPart(Customization* record, int32_t carType, int32_t slot) {
    return Usable(record, carType, slot) ? record->parts[slot] : nullptr;
}

// Answers 1 when the record changed.
uint32_t __thiscall CustomizationSetSlotPart(Customization* record, int32_t slot, Part* part, int32_t carType,
                                             uint8_t flag) {
    Note("put " + std::to_string(slot) + " " + NameOf(part) + (flag ? " flag " + std::to_string(flag) : "") +
         CarSuffix(record, carType));
    if (!Usable(record, carType, slot) || record->parts[slot] == part) return 0;
    record->parts[slot] = part;
    return 1;
}

void __thiscall CustomizationClearSlot(Customization* record, int32_t carType, int32_t slot) {
    Note("clear " + std::to_string(slot) + CarSuffix(record, carType));
    if (Usable(record, carType, slot)) record->parts[slot] = nullptr;
}

uint32_t __cdecl PartGetNameHash(Part* part, int32_t, int32_t, int32_t) { return ModelHashOf(*part); }

uint32_t __thiscall PartGetStyleHash(Part* part) {
    const auto found = styles.find(part);
    return Hash(found == styles.end() ? "" : found->second);
}

int32_t __thiscall GetCarType(uint8_t* object) { return Field<int32_t>(object, 0x10); }

uint32_t __thiscall FindModel(void* table, uint32_t nameHash) {
    return Address(table) == kModelTable && models.count(nameHash) ? 1 : 0;
}

void Place() {
    PlaceRoutine(kCustomizationGetSlotPart, reinterpret_cast<const void*>(&CustomizationGetSlotPart));
    PlaceRoutine(kCustomizationSetSlotPart, reinterpret_cast<const void*>(&CustomizationSetSlotPart));
    PlaceRoutine(kCustomizationClearSlot, reinterpret_cast<const void*>(&CustomizationClearSlot));
    PlaceRoutine(kPartGetNameHash, reinterpret_cast<const void*>(&PartGetNameHash));
    PlaceRoutine(kPartGetStyleHash, reinterpret_cast<const void*>(&PartGetStyleHash));
    PlaceRoutine(kGetCarType, reinterpret_cast<const void*>(&GetCarType));
    PlaceRoutine(kFindModel, reinterpret_cast<const void*>(&FindModel));
}

void Forget() {
    log.clear();
    fitsBase = 0;
    models.clear();
    styles.clear();
}

void Report();

const ModelRegistration registration({"part catalogue", 20, &Place, &Forget, &Report});

}  // namespace

Customization& NewCustomization(int32_t carType) {
    auto& record = *reinterpret_cast<Customization*>(NewBlock(sizeof(Customization)));
    record.carType = carType;
    return record;
}

Customization& GlobalCustomization(int32_t carType) {
    auto& record = Global<Customization>(kGlobalCustomization);
    std::memset(&record, 0, sizeof record);
    record.carType = carType;
    return record;
}

uint8_t* NewMenuEntry(Part* part, int32_t slot) {
    uint8_t* entry = NewBlock(0x1C);
    Field<Part*>(entry, 0x10) = part;
    Field<int32_t>(entry, 0x18) = slot;
    return entry;
}

void* NewCarObject(int32_t carType) {
    uint8_t* object = NewBlock(0x20);
    Field<int32_t>(object, 0x10) = carType;
    return object;
}

void AddModel(const std::string& name) { models.insert(Hash(name)); }
uint32_t ModelHashOf(const Part& part) { return Hash(part.name + "_A"); }
void SetStyle(const Part& part, const std::string& style) { styles[&part] = style; }

std::vector<std::string> Events() {
    std::vector<std::string> events;
    const auto& fits = FitsByName();
    size_t next = fitsBase;
    auto fitsUpTo = [&](size_t end) {
        for (; next < end && next < fits.size(); ++next) {
            events.push_back("fit " + std::to_string(fits[next].slot) + " " + fits[next].name);
        }
    };
    for (const Logged& entry : log) {
        fitsUpTo(entry.fitsBefore);
        events.push_back(entry.text);
    }
    fitsUpTo(fits.size());
    return events;
}

void ClearEvents() {
    log.clear();
    fitsBase = FitsByName().size();
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> items;
    std::istringstream list(text);
    for (std::string item; std::getline(list, item, separator);) {
        const size_t start = item.find_first_not_of(' ');
        if (start != std::string::npos) items.push_back(item.substr(start));
    }
    return items;
}

std::vector<Part*> AddParts(int32_t carType, const std::string& descriptions) {
    std::vector<Part*> added;
    for (const std::string& description : Split(descriptions, ',')) {
        std::istringstream words(description);
        int32_t slot = 0;
        std::string name;
        words >> slot >> name;
        Part& part = AddPart(name, carType, slot);
        for (std::string word; words >> word;) {
            const size_t equals = word.find('=');
            const std::string key = word.substr(0, equals);
            if (word == "stock") {
                part.stock = true;
            } else if (word == "model") {
                AddModel(name + "_A");
            } else if (key == "style") {
                SetStyle(part, word.substr(equals + 1));
            } else if (equals != std::string::npos) {
                part.Set(key == "kit" ? "KITNUMBER" : key, std::stoi(word.substr(equals + 1)));
            }
        }
        added.push_back(&part);
    }
    return added;
}

Capture RunAt(uint32_t site, uint32_t resume, uint32_t ecx, std::vector<uint32_t> stack) {
    Run run;
    run.site = site;
    run.resume = resume;
    run.registers = kSiteRegisters;
    run.registers.ecx = ecx;
    run.stack = std::move(stack);
    return RunHostCode(run);
}

bool KeptRegisters(const Capture& after) {
    const Registers& r = after.registers;
    return r.ebx == kSiteRegisters.ebx && r.ebp == kSiteRegisters.ebp && r.esi == kSiteRegisters.esi &&
           r.edi == kSiteRegisters.edi;
}

void* NewPartList() {
    auto** head = reinterpret_cast<void**>(NewBlock(8));
    head[0] = head;
    head[1] = head;
    return head;
}

std::vector<ListedEntry> ListEntries(void* head, std::string* problem) {
    std::vector<ListedEntry> entries;
    problem->clear();
    auto** links = static_cast<void**>(head);
    void* previous = head;
    for (auto** link = static_cast<void**>(links[0]); link != head; link = static_cast<void**>(link[0])) {
        const std::string where = "entry " + std::to_string(entries.size()) + ": ";
        if (link == nullptr || entries.size() > 1000) {
            *problem += where + "the list does not come back to its head";
            return entries;
        }
        auto* entry = reinterpret_cast<uint8_t*>(link) - 4;
        if (link[1] != previous) *problem += where + "previous link wrong; ";
        if (Field<uint32_t>(entry, 0) != 0x9F9CF0 || Field<uint32_t>(entry, 0x0C) != 0x881F8EFA ||
            Field<uint32_t>(entry, 0x14) != 0x9F9CD8) {
            *problem += where + "constant fields wrong; ";
        }
        entries.push_back({entry, Field<Part*>(entry, 0x10), Field<int32_t>(entry, 0x18)});
        previous = link;
    }
    if (links[1] != previous) *problem += "the head's last link is not the last entry; ";
    return entries;
}

namespace {

// ---- The report: a sample car driven through the patched sites ----

constexpr uint32_t kApplyKitPartsSite = 0x85EAEC;
constexpr uint32_t kRecordChosenPartSite = 0x8420F0;
constexpr uint32_t kPopUpSite = 0x865278;
constexpr uint32_t kPartListSite = 0x85FA37;
constexpr uint32_t kLodSite = 0x7CDC85;
constexpr uint32_t kDecalSite = 0x6B7887;
constexpr uint32_t kRimSite = 0x83F749;

uint8_t HostByte(uint32_t address) { return Global<uint8_t>(address); }
bool Branches(uint32_t site, uint8_t opcode) { return HostByte(site) == opcode; }

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

void ReportCatalogue(int32_t car, const std::string& base) {
    if (!Branches(kPartListSite, 0xE8) || !Branches(kApplyKitPartsSite, 0xE8) ||
        !Branches(kRecordChosenPartSite, 0xE9)) {
        std::printf("  sites not written\n");
        return;
    }
    const std::string b = " " + base;
    const auto parts = AddParts(
        car, "23" + b + "_BODY_KIT00 stock STOCK=1, 23" + b + "_BODY_KIT03 model kit=3, 72" + b +
                 "_KIT00_FRONT_BUMPER stock STOCK=1, 72" + b + "_KIT05_FRONT_BUMPER model kit=5, 72" + b +
                 "_KIT06_FRONT_BUMPER, 72" + b + "_KIT07_FRONT_BUMPER model CARBONFIBRE=1, 72" + b +
                 "_KIT08_FRONT_BUMPER model MORPHTARGET_NUM=2, 74" + b + "_KIT00_REAR_BUMPER stock, 79" + b +
                 "_KIT00_SKIRT stock, 32" + b + "_KIT05_LEFT_HEADLIGHT_OFF, 42" + b + "_KIT05_RIGHT_HEADLIGHT_OFF");
    Part& stockBody = *parts[0];
    Part& kitBody = *parts[1];
    Part& stockFront = *parts[2];
    Part& kitFront = *parts[3];
    AddModel(base + "_KIT05_LEFT_HEADLIGHT_OFF_A");
    GlobalCustomization(car);

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

void ReportHeadlightsAndLod() {
    if (Branches(kPopUpSite, 0xE8)) {
        std::printf("  Pop-up headlight answer at 0x%08X:", kPopUpSite);
        for (const char* name : {"SUPRA", "FAIRLADY", "RX7", "BRERA"}) {
            const Capture after = RunAt(kPopUpSite, kPopUpSite + 5, Address(NewCarObject(AddCarType(name))), {});
            std::printf(" %s %u", name, after.registers.eax);
        }
        std::printf("\n");
    }
    if (Branches(kLodSite, 0xE9)) {
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
}

void ReportSlotFixes() {
    char folder[MAX_PATH];
    const std::string exe(folder, GetModuleFileNameA(nullptr, folder, MAX_PATH));
    const std::string ini = exe.substr(0, exe.rfind('\\') + 1) + "Morvane.ini";
    const bool rims = GetPrivateProfileIntA("GENERAL", "AllowStockRimsPaint", 0, ini.c_str()) == 1;
    const bool vinyls = GetPrivateProfileIntA("GENERAL", "AllVinylsMirrorable", 0, ini.c_str()) == 1;
    std::printf("  Part-slot fixes:\n    0x%08X:", kRimSite);
    for (uint32_t i = 0; i < 6; ++i) std::printf(" %02X", HostByte(kRimSite + i));
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
    if (Branches(kDecalSite, 0xE9)) {
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
}

void Report() {
    std::printf("\nPart catalogue (sample car SUPRA, driven through the patched sites):\n");
    const int32_t car = AddCarType("SUPRA");
    ReportCatalogue(car, "SUPRA");
    ReportHeadlightsAndLod();
    ReportSlotFixes();
}

}  // namespace

}  // namespace sim::catalogue
