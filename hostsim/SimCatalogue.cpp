// The game's part catalogue as the customization screens see it (see SimCatalogue.h).
#include "SimCatalogue.h"

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

const ModelRegistration registration({"part catalogue", 20, &Place, &Forget});

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

}  // namespace sim::catalogue
