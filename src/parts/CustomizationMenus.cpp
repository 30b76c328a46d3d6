// Extra customization categories, slot lists, titles, cameras and blocked slots.
//
// The main menu gets the attachments (value 5) and specialties (value 6) categories when
// the car's profile switches on one of their slots. The host only knows categories below
// 5, so the category test hands it 0 for ours and we keep the real value to fill the slot
// list ourselves. Slot titles and cameras come from the profile; the bumper, badging and
// skirt slots are blocked unless a stock body is chosen, the exhaust slot unless the car
// has exhaust markers.
#include <cstdint>
#include <cstring>
#include <span>

#include "config/Profiles.h"
#include "config/Settings.h"
#include "effects/SteerAnimation.h"
#include "host/Host.h"
#include "parts/PartAttributes.h"
#include "patch/Guard.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"
#include "startup/Installers.h"

namespace morvane {

namespace {

using host::CareerRecord;
using host::Menu;
using host::MenuEntry;
using host::MenuItem;

constexpr int32_t kAttachmentsCategory = 5;
constexpr int32_t kSpecialtiesCategory = 6;
constexpr int32_t kDoorsCategory = 7;

constexpr uint32_t kMenuItemSize = 0x98;
constexpr uint32_t kBlockedHintKey = 0x22105094;
constexpr uint32_t kAutosculptMenuKey = 0x663D2A11;
constexpr uint32_t kPartsMenuKey = 0xAC258B54;
constexpr uint32_t kCareerKey = 0x247E0956;

constexpr int32_t kBodySlot = 23;
constexpr int32_t kExhaustSlot = 47;
constexpr int32_t kRoofSlot = 76;
constexpr int32_t kFrontWheelSlot = 84;
constexpr int32_t kCamberSlot = 68;
constexpr int32_t kSpacerSlot = 69;
constexpr int32_t kTireSlot = 70;

constexpr int32_t kNormalParts[] = {23, 78, 77, 48, 84, 76, 29, 73, 75, 32, 30, 34};
constexpr int32_t kAutosculptParts[] = {84, 78, 72, 74, 79, 77, 48, 47, 76};
constexpr int32_t kAttachments[] = {56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67};
constexpr int32_t kSpecialties[] = {86, 24, 25, 68, 69, 70, 71, 100, 101, 45, 46, 94};
// The left door, then the specialties from the front brake on.
constexpr int32_t kDoorsCategoryList[] = {82, 24, 25, 68, 69, 70, 71, 100, 101, 45, 46, 94};

// The last category value the host's category test saw.
int32_t CurrentMenuCategory = 0;

// Host addresses the hooks resume at, as translated at install time.
uint32_t itemBlockedResume = 0;     // CheckMenuItemBlocked: the item is blocked
uint32_t itemAllowedResume = 0;     // CheckMenuItemBlocked: the item may be chosen

template <typename T>
T FieldOf(const void* record, uint32_t offset) {
    T value;
    std::memcpy(&value, static_cast<const uint8_t*>(record) + offset, sizeof value);
    return value;
}

void* Pointer(uint32_t address) { return reinterpret_cast<void*>(static_cast<uintptr_t>(address)); }

// The car shown in the customization screens, or false when the host has none.
bool CurrentCarType(int32_t& carType) {
    const int32_t* record = *host::HostCurrentCarTypePtr;
    if (record == nullptr) return false;
    carType = *record;
    return true;
}

bool SlotOn(int32_t carType, int32_t slot) { return SlotEnabled(carType, slot) == 1; }

// The body chosen in the screens is one of the two stock bodies.
bool IsStockBodyChosen() {
    const uint32_t body = host::HostCustomizationGetPartName(host::HostCustomizationObject.get(), kBodySlot, 1);
    return body == host::HostStringHash("PART_BODY_00") || body == host::HostStringHash("PART_BODYKIT_00");
}

// The shown car has at least one exhaust marker.
bool ExhaustMenuAllowed() {
    const uint8_t* frontEnd = *host::HostFrontEndObjectPtr;
    if (frontEnd == nullptr) return false;
    const auto* holder = FieldOf<const uint8_t*>(frontEnd, 0xBF8);
    if (holder == nullptr) return false;
    return FieldOf<uint32_t>(holder, 0x434) != 0 || FieldOf<uint32_t>(holder, 0x438) != 0 ||
           FieldOf<uint32_t>(holder, 0x43C) != 0;
}

void AddMenuItem(Menu* menu, const char* name, int32_t value) {
    auto* item = static_cast<MenuItem*>(host::HostAlloc(kMenuItemSize));
    if (item == nullptr) return;
    // The host may keep the two flags' addresses with the item.
    static uint8_t one, zero;
    one = 1;
    zero = 0;
    host::HostMenuItemInit(item, host::HostStringHash(name), value, &one, &zero);
    host::HostMenuAddItem(menu, item);
}

bool AnySlotOn(int32_t carType, std::span<const int32_t> slots) {
    for (int32_t slot : slots) {
        if (SlotOn(carType, slot)) return true;
    }
    return false;
}

void AddSlot(void* screen, int32_t carType, int32_t slot, bool autosculpt) {
    int32_t extra = 0;
    if (slot == kFrontWheelSlot) extra = autosculpt ? 17 : FieldOf<int8_t>(screen, 0x2D5);
    bool enabled = SlotOn(carType, slot);
    if (!enabled && autosculpt && slot == kRoofSlot) {
        const CareerRecord* career = host::HostGetCareerRecord(host::HostCareerObject.get(), kCareerKey, 0);
        enabled = career != nullptr && career->state == 2;
    }
    if (!enabled) return;
    host::HostSetMenuSlotState(screen, SlotHeader(carType, slot, autosculpt), slot, autosculpt ? 1 : 0, extra);
}

void AddSlots(void* screen, int32_t carType, std::span<const int32_t> slots, bool autosculpt) {
    for (int32_t slot : slots) AddSlot(screen, carType, slot, autosculpt);
}

}  // namespace

void AddMenuCategories(Menu* menu) {
    if (const PluginSettings* settings = GlobalSettings()) SetSteerTarget(settings->frontSteerAngle);
    int32_t carType;
    if (!CurrentCarType(carType)) return;
    if (AnySlotOn(carType, kAttachments)) AddMenuItem(menu, "CUST_MAINMENU_ATTACHMENTS", kAttachmentsCategory);
    if (AnySlotOn(carType, kSpecialties)) AddMenuItem(menu, "CUST_MAINMENU_SPECIALTIES", kSpecialtiesCategory);
}

int32_t RememberMenuCategory(int32_t value) {
    CurrentMenuCategory = value;
    return value < kAttachmentsCategory ? value : 0;
}

void FillSlotMenu(void* screen) {
    int32_t carType;
    const bool autosculpt = FieldOf<uint8_t>(screen, 0x2D4) != 0;
    const uint32_t screenValue = FieldOf<uint32_t>(screen, 0x2C8);
    host::HostPrepareSlotMenu(screenValue, autosculpt ? kAutosculptMenuKey : kPartsMenuKey);
    if (!CurrentCarType(carType)) return;
    if (autosculpt) {
        AddSlots(screen, carType, kAutosculptParts, true);
        return;
    }
    switch (CurrentMenuCategory) {
        case 0: AddSlots(screen, carType, kNormalParts, false); break;
        case kAttachmentsCategory: AddSlots(screen, carType, kAttachments, false); break;
        case kSpecialtiesCategory: AddSlots(screen, carType, kSpecialties, false); break;
        case kDoorsCategory: AddSlots(screen, carType, kDoorsCategoryList, false); break;
        default: break;
    }
}

uint32_t CheckSlotBlocked(int32_t slot, uint32_t hostValue) {
    bool blocked = false;
    switch (slot) {
        case 72: case 73: case 74: case 75: case 79: blocked = !IsStockBodyChosen(); break;
        case kExhaustSlot: blocked = !ExhaustMenuAllowed(); break;
        default: break;
    }
    if (!blocked) return 0;
    return host::HostShowMenuHint(Pointer(1), kBlockedHintKey, hostValue);
}

uint32_t CheckMenuItemBlocked(uint32_t headerHash) {
    int32_t carType;
    if (!CurrentCarType(carType)) return 0;
    auto header = [carType](int32_t slot) { return SlotHeader(carType, slot, false); };
    if (headerHash == header(kExhaustSlot) && !ExhaustMenuAllowed()) return 1;
    if ((headerHash == header(73) || headerHash == header(75)) && !IsStockBodyChosen()) return 1;
    if ((headerHash == header(72) || headerHash == header(74) || headerHash == header(79)) && !IsStockBodyChosen())
        return 1;
    return 0;
}

// Virtual-table entry of the host's slot entries: the slot's title.
uint32_t __thiscall SlotHeaderHash(MenuEntry* entry) {
    const uint32_t header = Guarded(host::kNoName, [&] {
        int32_t carType;
        return CurrentCarType(carType) ? SlotHeader(carType, FieldOf<int32_t>(entry, 0x18), false) : host::kNoName;
    });
    return header != host::kNoName ? header : host::HostMenuDefaultSlotHandler(entry);
}

// Called in place of the host's camera-name routine: the camera the slot is shown with.
void __thiscall SlotCameraName(void* screen, char* buffer, int32_t size) {
    // A buffer that cannot even hold the terminating zero is left alone.
    if (size <= 0 || buffer == nullptr) return;
    buffer[0] = '\0';
    Guarded([&] {
        const auto* shown = FieldOf<const uint8_t*>(screen, 0x34);
        if (FieldOf<uint32_t>(screen, 0x2E0) == 0 || FieldOf<int32_t>(screen, 0x2C4) >= 0xA99C60 || shown == nullptr)
            return;
        const PluginSettings* global = GlobalSettings();
        if (global == nullptr) return;
        const PluginSettings& settings = *global;
        SetSteerTarget(settings.frontSteerAngle);
        const int32_t slot = FieldOf<int32_t>(shown, 0x30);
        if (settings.tires && slot == kTireSlot) SetSteerTarget(-20.0f);
        if (settings.camber && slot == kCamberSlot) SetSteerTarget(0.0f);
        if (settings.trackWidth && slot == kSpacerSlot) SetSteerTarget(0.0f);
        int32_t carType;
        if (!CurrentCarType(carType)) return;
        const char* camera = SlotCamera(carType, slot);
        if (camera == nullptr) return;
        const size_t length = std::strlen(camera);
        if (length < static_cast<size_t>(size)) std::memcpy(buffer, camera, length + 1);
    });
}

namespace {

// ESI = the main menu being built. The entry then pushes 0x98 as the replaced host
// instruction did.
void AddMenuCategoriesHook(RegisterRecord& r) { AddMenuCategories(static_cast<Menu*>(Pointer(r.esi))); }

// The selected category lies at ESP+0x60. The entry tests the result handed over in EAX,
// then loads EAX with the category itself (a load leaves the flags as the test set them).
void RememberMenuCategoryHook(RegisterRecord& r) {
    r.eax = static_cast<uint32_t>(RememberMenuCategory(static_cast<int32_t>(r.Stack(0x60))));
}

// ESI = the customization screen; the host's own filling is skipped.
void FillSlotMenuHook(RegisterRecord& r) { FillSlotMenu(Pointer(r.esi)); }

// EAX = slot, EBX = the host value for the hint. A blocked slot returns from the host
// routine: its saved EDI, ESI, EBX are popped, then its return address and 0x14 bytes of
// arguments.
void CheckSlotBlockedHook(RegisterRecord& r) {
    if (CheckSlotBlocked(static_cast<int32_t>(r.eax), r.ebx) == 0) return;
    r.edi = r.Stack(0);
    r.esi = r.Stack(4);
    r.ebx = r.Stack(8);
    r.resume = r.Stack(12);
    r.esp += 16 + 0x14;
}

// ECX = menu item, its header hash at +0x2C.
void CheckMenuItemBlockedHook(RegisterRecord& r) {
    const uint32_t headerHash = FieldOf<uint32_t>(Pointer(r.ecx), 0x2C);
    r.resume = CheckMenuItemBlocked(headerHash) != 0 ? itemBlockedResume : itemAllowedResume;
}

}  // namespace

void InstallCustomizationMenus() {
    if (GlobalSettings() != nullptr) {
        itemBlockedResume = TranslateHostAddress(0x8665FC);
        itemAllowedResume = TranslateHostAddress(0x866638);
        InstallRegisterHook(0x83FBF1, &AddMenuCategoriesHook, TranslateHostAddress(0x83FBF6),
                            {0x68, 0x98, 0x00, 0x00, 0x00});  // push 0x98
        InstallRegisterHook(0x8683C9, &RememberMenuCategoryHook, TranslateHostAddress(0x8683CF),
                            {0x85, 0xC0,                    // test eax, eax
                             0x8B, 0x44, 0x24, 0x60});      // mov eax, [esp+0x60]
        InstallRegisterHook(0x866074, &FillSlotMenuHook, TranslateHostAddress(0x866235));
        InstallRegisterHook(0x85F74C, &CheckSlotBlockedHook, TranslateHostAddress(0x85F7BD));
        InstallRegisterHook(0x8665DA, &CheckMenuItemBlockedHook, itemAllowedResume);
        const uint32_t pushArgument = TranslateHostAddress(0x85F90E);
        WriteNops(pushArgument, 5);
        WriteHost32(pushArgument, 0x182474FF);  // push dword [esp+0x18]; nop
        WriteHost32(TranslateHostAddress(0x9F9D14), CodeAddress(&SlotHeaderHash));
        WriteCall(TranslateHostAddress(0x84EB1F), CodeAddress(&SlotCameraName));
    }
    // The part-list site comes last.
    InstallSlotPartListHook();
}

}  // namespace morvane
