// Extra customization categories, slot lists, titles, cameras and blocked slots.
//
// The main menu gets the attachments (value 5) and specialties (value 6) categories when
// the car's profile switches on one of their slots. The game only knows categories below
// 5, so the category test hands it 0 for ours and we keep the real value to fill the slot
// list ourselves. Slot titles and cameras come from the profile; the bumper, badging and
// skirt slots are blocked unless a stock body is chosen, the exhaust slot unless the car
// has exhaust markers.
#include "parts/CustomizationMenus.h"

#include <array>
#include <cstring>
#include <span>

#include "config/Lookups.h"
#include "config/Settings.h"
#include "feature/SteerAnimation.h"
#include "host/Host.h"
#include "patch/Guard.h"
#include "feature/Site.h"

namespace morvane {

using namespace host;
using namespace host::slot;

namespace {

// The slots each menu lists, in the order shown.
constexpr int32_t kNormalParts[] = {kBody,      kHood, kRoofScoop,          kSpoiler,           kFrontWheel,    kRoof,
                                    kInterior,  kFrontBumperBadging,        kRearBumperBadging, kLeftHeadlight,
                                    kLeftBrakeLight, kLeftSideMirror};
constexpr int32_t kAutosculptParts[] = {kFrontWheel, kHood,    kFrontBumper, kRearBumper, kSkirt,
                                        kRoofScoop,  kSpoiler, kExhaust,     kRoof};
// The attachment slots before the camber slot; the last four are among the specialties.
constexpr auto kAttachments = [] {
    std::array<int32_t, kCamber - kFirstAttachment> slots{};
    for (size_t i = 0; i < slots.size(); ++i) slots[i] = kFirstAttachment + static_cast<int32_t>(i);
    return slots;
}();
static_assert(kAttachments.size() == 12 && kFirstAttachment + kAttachmentCount == kNeon + 1);
constexpr int32_t kSpecialties[] = {kLicensePlate, kFrontBrake, kFrontRotor, kCamber,  kTrackSpacer,   kTires,
                                    kNeon,         kFrontDecal, kRearDecal,  kDriver, kSteeringWheel, kGenericVinyls};
// The left door, then the specialties from the front brake on.
constexpr int32_t kDoorsCategoryList[] = {kLeftDoor,   kFrontBrake, kFrontRotor, kCamber, kTrackSpacer,   kTires,
                                          kNeon,       kFrontDecal, kRearDecal,  kDriver, kSteeringWheel, kGenericVinyls};
// The slots that may be blocked, in the order the item test asks about them.
constexpr int32_t kBlockableSlots[] = {kExhaust,      kFrontBumperBadging, kRearBumperBadging,
                                       kFrontBumper,  kRearBumper,         kSkirt};


// The last category value the game's category test saw.
int32_t CurrentMenuCategory = 0;

// The car shown in the customization screens, or false when the game has none.
bool CurrentCarType(int32_t& carType) {
    const int32_t* record = *HostCurrentCarTypePtr;
    if (record == nullptr) return false;
    carType = *record;
    return true;
}

// The body chosen in the screens is one of the two stock bodies.
bool IsStockBodyChosen() {
    const uint32_t body = HostCustomizationGetPartName(HostCustomizationObject.get(), kBody, 1);
    return body == HostStringHash("PART_BODY_00") || body == HostStringHash("PART_BODYKIT_00");
}

// The shown car has at least one exhaust marker.
bool ExhaustMenuAllowed() {
    const uint8_t* frontEnd = *HostFrontEndObjectPtr;
    if (frontEnd == nullptr) return false;
    const auto* holder = Read<const uint8_t*>(frontEnd, front_end::kMarkerHolder);
    if (holder == nullptr) return false;
    return Read<uint32_t>(holder, marker_holder::kCentre) != 0 || Read<uint32_t>(holder, marker_holder::kMirrored) != 0 ||
           Read<uint32_t>(holder, marker_holder::kUnmirrored) != 0;
}

// The bumper, badging and skirt slots while the chosen body is not stock; the exhaust
// slot while the car has no exhaust marker.
bool SlotBlocked(int32_t slot) {
    switch (slot) {
    case kFrontBumper: case kFrontBumperBadging: case kRearBumper: case kRearBumperBadging: case kSkirt:
        return !IsStockBodyChosen();
    case kExhaust:
        return !ExhaustMenuAllowed();
    default:
        return false;
    }
}

void AddMenuItem(Menu* menu, const char* name, int32_t value) {
    auto* item = static_cast<MenuItem*>(HostAlloc(menu_item::kSize));
    if (item == nullptr) return;
    // The game may keep the two flags' addresses with the item.
    static uint8_t one, zero;
    one = 1;
    zero = 0;
    HostMenuItemInit(item, HostStringHash(name), value, &one, &zero);
    HostMenuAddItem(menu, item);
}

bool AnySlotOn(const Configuration& config, int32_t carType, std::span<const int32_t> slots) {
    for (int32_t slot : slots) {
        if (config.SlotOn(carType, slot)) return true;
    }
    return false;
}

void AddSlot(const Configuration& config, void* screen, int32_t carType, int32_t slot, bool autosculpt) {
    int32_t extra = 0;
    if (slot == kFrontWheel) extra = autosculpt ? kAutosculptFrontWheelExtra : Read<int8_t>(screen, screen::kFrontWheelExtra);
    bool enabled = config.SlotOn(carType, slot);
    if (!enabled && autosculpt && slot == kRoof) {
        const CareerRecord* career = HostGetCareerRecord(HostCareerObject.get(), kCareerKey, 0);
        enabled = career != nullptr && career->state == kAutosculptRoofCareerState;
    }
    if (!enabled) return;
    HostSetMenuSlotState(screen, config.SlotHeader(carType, slot, autosculpt), slot, autosculpt ? 1 : 0, extra);
}

// One menu is filled from one configuration, however many slots it lists.
void AddSlots(void* screen, int32_t carType, std::span<const int32_t> slots, bool autosculpt) {
    const Configuration& config = CurrentConfiguration();
    for (int32_t slot : slots) AddSlot(config, screen, carType, slot, autosculpt);
}

// The steering target of the slot shown: the tire slot turns the wheels out, the camber
// and spacer slots straight, each while its switch is on.
void AimSteering(const PluginSettings& settings, int32_t slot) {
    SetSteerTarget(settings.frontSteerAngle);
    if (settings.tires && slot == kTires) SetSteerTarget(-20.0f);
    if (settings.camber && slot == kCamber) SetSteerTarget(0.0f);
    if (settings.trackWidth && slot == kTrackSpacer) SetSteerTarget(0.0f);
}

// ---- Entry stubs --------------------------------------------------------------------

// ESI = the main menu being built. The entry then pushes 0x98 as the replaced game
// instruction did.
void AddMenuCategoriesHook(RegisterRecord& r) { AddMenuCategories(At<Menu>(r.esi)); }

// The selected category lies on the stack. The entry tests the result handed over in
// EAX, then loads EAX with the category itself (a load leaves the flags as the test set
// them).
void RememberMenuCategoryHook(RegisterRecord& r) {
    r.eax = static_cast<uint32_t>(RememberMenuCategory(static_cast<int32_t>(r.Stack(stack::category_test::kCategory))));
}

// ESI = the customization screen; the game's own filling is skipped.
void FillSlotMenuHook(RegisterRecord& r) { FillSlotMenu(At(r.esi)); }

// EAX = slot, EBX = the game's value for the hint. A blocked slot returns from the game
// routine: its saved EDI, ESI, EBX are popped, then its return address and arguments.
void CheckSlotBlockedHook(RegisterRecord& r) {
    if (CheckSlotBlocked(static_cast<int32_t>(r.eax), r.ebx) == 0) return;
    namespace at = stack::slot_test;
    r.edi = r.Stack(at::kSavedEdi);
    r.esi = r.Stack(at::kSavedEsi);
    r.ebx = r.Stack(at::kSavedEbx);
    r.resume = r.Stack(at::kReturn);
    r.esp += at::kReturn + 4 + at::kArgumentBytes;
}

// ECX = menu item. A blocked item goes on at the row's other resume address.
void CheckMenuItemBlockedHook(RegisterRecord& r) {
    if (CheckMenuItemBlocked(Read<uint32_t>(At(r.ecx), menu_item::kHeaderHash)) != 0) ResumeAtOther(r);
}

constexpr uint8_t kPush98[] = {0x68, 0x98, 0x00, 0x00, 0x00};  // push 0x98
static_assert(menu_item::kSize == 0x98);
constexpr uint8_t kTestAndLoadCategory[] = {
    0x85, 0xC0,              // test eax, eax
    0x8B, 0x44, 0x24, 0x60,  // mov eax, [esp+0x60]
};
static_assert(stack::category_test::kCategory == 0x60);
constexpr uint8_t kPushSlotArgument[] = {
    0xFF, 0x74, 0x24, 0x18,  // push dword ptr [esp+0x18]
    0x90,                    // nop
};

constexpr Site kSites[] = {
    Hook("building the main menu", 0x83FBF1, &AddMenuCategoriesHook, 0x83FBF6, kPush98),
    IntegerHook("the selected category", 0x8683C9, &RememberMenuCategoryHook, 0x8683CF, kTestAndLoadCategory),
    // Replaces the game's own filling of the slot menu (the code up to 0x866235).
    Hook("filling a category's slot menu", 0x866074, &FillSlotMenuHook, 0x866235),
    // Replace the game's own tests of a slot and of a menu item.
    Hook("whether a slot may be chosen", 0x85F74C, &CheckSlotBlockedHook, 0x85F7BD),
    // Resumes where the item may be chosen, or where it is refused.
    HookOr("whether a menu item may be chosen", 0x8665DA, &CheckMenuItemBlockedHook, 0x866638, 0x8665FC),
    Bytes("an argument of the slot menu", 0x85F90E, kPushSlotArgument),
    PointerTo("virtual table entry of a slot's title", 0x9F9D14, &CodeOf<&SlotHeaderHash>),
    CallTo("call for a slot's camera", 0x84EB1F, &CodeOf<&SlotCameraName>),
};

}  // namespace

void AddMenuCategories(Menu* menu) {
    const Configuration& config = CurrentConfiguration();
    if (const PluginSettings* settings = config.global) SetSteerTarget(settings->frontSteerAngle);
    int32_t carType;
    if (!CurrentCarType(carType)) return;
    if (AnySlotOn(config, carType, kAttachments)) AddMenuItem(menu, "CUST_MAINMENU_ATTACHMENTS", menu_category::kAttachments);
    if (AnySlotOn(config, carType, kSpecialties)) AddMenuItem(menu, "CUST_MAINMENU_SPECIALTIES", menu_category::kSpecialties);
}

int32_t RememberMenuCategory(int32_t value) {
    CurrentMenuCategory = value;
    return value < menu_category::kAttachments ? value : 0;
}

void FillSlotMenu(void* screen) {
    int32_t carType;
    const bool autosculpt = Read<uint8_t>(screen, screen::kAutosculpt) != 0;
    HostPrepareSlotMenu(Read<uint32_t>(screen, screen::kMenuValue), autosculpt ? kAutosculptMenuKey : kPartsMenuKey);
    if (!CurrentCarType(carType)) return;
    if (autosculpt) {
        AddSlots(screen, carType, kAutosculptParts, true);
        return;
    }
    switch (CurrentMenuCategory) {
        case 0: AddSlots(screen, carType, kNormalParts, false); break;
        case menu_category::kAttachments: AddSlots(screen, carType, kAttachments, false); break;
        case menu_category::kSpecialties: AddSlots(screen, carType, kSpecialties, false); break;
        case menu_category::kDoors: AddSlots(screen, carType, kDoorsCategoryList, false); break;
        default: break;
    }
}

uint32_t CheckSlotBlocked(int32_t slot, uint32_t hostValue) {
    if (!SlotBlocked(slot)) return 0;
    return HostShowMenuHint(At(1), kBlockedSlotHintKey, hostValue);
}

uint32_t CheckMenuItemBlocked(uint32_t headerHash) {
    int32_t carType;
    if (!CurrentCarType(carType)) return 0;
    const Configuration& config = CurrentConfiguration();
    for (const int32_t slot : kBlockableSlots) {
        if (headerHash == config.SlotHeader(carType, slot, false) && SlotBlocked(slot)) return 1;
    }
    return 0;
}

uint32_t __thiscall SlotHeaderHash(MenuEntry* entry) {
    const uint32_t header = Guarded(GuardPlace(&SlotHeaderHash), kNoName, [&] {
        int32_t carType;
        return CurrentCarType(carType) ? SlotHeader(carType, Read<int32_t>(entry, part_list::kEntrySlot), false)
                                       : kNoName;
    });
    return header != kNoName ? header : HostMenuDefaultSlotHandler(entry);
}

void __thiscall SlotCameraName(void* screen, char* buffer, int32_t size) {
    // A buffer that cannot even hold the terminating zero is left alone.
    if (size <= 0 || buffer == nullptr) return;
    buffer[0] = '\0';
    Guarded(GuardPlace(&SlotCameraName), [&] {
        const auto* shown = Read<const uint8_t*>(screen, screen::kShownEntry);
        if (Read<uint32_t>(screen, screen::kCameraEnabled) == 0 ||
            Read<int32_t>(screen, screen::kCameraTest) >= screen::kCameraTestBound || shown == nullptr)
            return;
        const Configuration& config = CurrentConfiguration();
        const PluginSettings* settings = config.global;
        if (settings == nullptr) return;
        const int32_t slot = Read<int32_t>(shown, screen::kShownEntrySlot);
        AimSteering(*settings, slot);
        int32_t carType;
        if (!CurrentCarType(carType)) return;
        const char* camera = config.SlotCamera(carType, slot);
        if (camera == nullptr) return;
        const size_t length = std::strlen(camera);
        if (length < static_cast<size_t>(size)) std::memcpy(buffer, camera, length + 1);
    });
}

void InstallCustomizationMenus() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
