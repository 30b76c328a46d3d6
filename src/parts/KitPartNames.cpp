// Kit-numbered companion parts and the pop-up headlight answer.
//
// When the player changes a body, bumper, light, mirror, brake or door, the host fits the
// parts that depend on it. ApplyKitParts replaces that step: every companion is the part
// whose name carries the car's base name and the chosen part's "KITNUMBER". The host's
// record of a chosen part goes through RecordChosenPart, which keeps bodies, bumpers,
// brakes and rotors consistent.
#include "parts/KitPartNames.h"

#include <string>

#include "config/Lookups.h"
#include "config/NameText.h"
#include "config/Settings.h"
#include "host/Host.h"
#include "patch/Guard.h"
#include "feature/Site.h"

namespace morvane {

using namespace host;

namespace {

constexpr size_t kNameBufferSize = 100;

using namespace slot;

int32_t KitNumber(Part* part) {
    return part ? HostPartGetAttribute(part, HostStringHash("KITNUMBER"), 0) : 0;
}

bool IsStock(Part* part) { return part != nullptr && HostPartIsStock(part); }

bool ModelExists(const char* name) { return HostFindModel(HostModelTable.get(), HostStringHash(name)) != 0; }

// The part of the car's catalogue for `slot` whose model name hashes to `nameHash`.
Part* FindPartByModelHash(int32_t carType, int32_t slot, uint32_t nameHash) {
    Part* part = nullptr;
    while ((part = HostFindNextCarPart(HostCarPartDatabase.get(), 0, carType, slot, 0, part, -1)) != nullptr) {
        if (HostPartGetNameHash(part, 0, 0, 0) == nameHash) return part;
    }
    return nullptr;
}

// One call of ApplyKitParts: the car, its records and the three slot operations.
class KitFitter {
public:
    KitFitter(void* hostObject, RideRecord* ride, CustomizationRecord* record)
        : hostObject_(hostObject), ride_(ride), record_(record), carType_(ride->carType) {
        const char* name = HostCarTypeName(carType_);
        base_ = name ? name : "";
        const CarProfile* profile = config_.ProfileInForce(carType_);
        sunRoof_ = profile && profile->sunRoof;
        popUpHeadLights_ = SwitchOnForCar<&CarProfile::popUpHeadLights>(profile, config_.global);
    }

    void Apply() {
        BodyAndDoorLine();
        Roof();
        Headlights();
        RightSideMirror();
        BrakeLights();
        Badging("FRONT", kFrontBumperBadging, kFrontBumper);
        Badging("REAR", kRearBumperBadging, kRearBumper);
        Brakes();
        Exhaust();
        CappedSkirt();
        Doors();
        GenericVinyl();
    }

private:
    Part* In(int32_t slot) const { return HostRideGetPart(ride_, slot); }
    bool Enabled(int32_t slot) const { return config_.SlotOn(carType_, slot); }

    // The host formats the name, finds that part for the car and fits it.
    template <typename... Arguments>
    void Fit(int32_t slot, const char* format, Arguments... arguments) const {
        HostSetPartByFormat(hostObject_, ride_, record_, slot, 1, format, arguments...);
    }

    void Put(int32_t slot, Part* part) const {
        if (record_) HostCustomizationSetSlotPart(record_, slot, part, carType_, 0);
        HostRideSetPart(ride_, slot, part, 1);
    }

    void Empty(int32_t slot) const {
        if (record_) HostCustomizationClearSlot(record_, carType_, slot);
        HostRideSetPart(ride_, slot, nullptr, 1);
    }

    bool PlainBodyName() const {
        int32_t carClass;
        return CarTypeClass(carType_, carClass) && carClass == car_type::kClassPlainBody;
    }

    void BodyAndDoorLine() const {
        Part* body = In(kBody);
        if (body == nullptr) {
            Fit(kBody, PlainBodyName() ? "%s_BODY" : "%s_BODY_KIT00", base_);
        } else if (!IsStock(body)) {
            Empty(kDoorLine);
            return;
        } else {
            if (!In(kFrontBumper)) Fit(kFrontBumper, "%s_KIT00_FRONT_BUMPER", base_);
            if (!In(kRearBumper)) Fit(kRearBumper, "%s_KIT00_REAR_BUMPER", base_);
            if (!In(kSkirt)) Fit(kSkirt, "%s_KIT00_SKIRT", base_);
        }
        Fit(kDoorLine, "%s_KIT00_DOORLINE", base_);
    }

    void Roof() const {
        if (!sunRoof_) return;
        const char* format = "%s_ROOF_SUN";
        Part* scoop = In(kRoofScoop);
        if (scoop && HostPartGetStyleHash(scoop) != HostStringHash("ROOF_STYLE00")) format = "%s_ROOF";
        Fit(kRoof, format, base_);
    }

    void PlainHeadlights() const {
        Fit(kLeftHeadlight, "%s_LEFT_HEADLIGHT", base_);
        Fit(kRightHeadlight, "%s_RIGHT_HEADLIGHT", base_);
        Fit(kRightHeadlightGlass, "%s_RIGHT_HEADLIGHT_GLASS", base_);
        Fit(kLeftHeadlightGlass, "%s_LEFT_HEADLIGHT_GLASS", base_);
    }

    void Headlights() const {
        if (popUpHeadLights_) {
            Fit(kLeftHeadlight, "%s_LEFT_HEADLIGHT_OFF", base_);
            Fit(kRightHeadlight, "%s_RIGHT_HEADLIGHT_OFF", base_);
            Fit(kRightHeadlightGlass, "%s_RIGHT_HEADLIGHT_GLASS_OFF", base_);
            Fit(kLeftHeadlightGlass, "%s_LEFT_HEADLIGHT_GLASS_OFF", base_);
            return;
        }
        if (Enabled(kLeftHeadlight)) {
            Part* left = In(kLeftHeadlight);
            if (left == nullptr) return;
            const int32_t kit = KitNumber(left);
            if (kit == 0) {
                PlainHeadlights();
                return;
            }
            Fit(kRightHeadlight, "%s_KIT%02d_RIGHT_HEADLIGHT", base_, kit);
            Fit(kRightHeadlightGlass, "%s_KIT%02d_RIGHT_HEADLIGHT_GLASS", base_, kit);
            Fit(kLeftHeadlightGlass, "%s_KIT%02d_LEFT_HEADLIGHT_GLASS", base_, kit);
            return;
        }
        Part* bumper = In(kFrontBumper);
        const int32_t kit = KitNumber(bumper);
        if (bumper && kit != 0) {
            // Both names must fit their buffers whole: a name cut short would pick a
            // different part, so a name that does not fit ends the rule.
            char left[kNameBufferSize];
            char right[kNameBufferSize];
            NameText leftName(left), rightName(right);
            leftName << base_ << "_KIT" << TwoDigits{kit} << "_LEFT_HEADLIGHT_OFF_A";
            rightName << base_ << "_KIT" << TwoDigits{kit} << "_RIGHT_HEADLIGHT_OFF_A";
            if (!leftName.whole() || !rightName.whole()) return;
            if (ModelExists(left)) {
                Put(kLeftHeadlight, FindPartByModelHash(carType_, kLeftHeadlight, HostStringHash(left)));
                Put(kRightHeadlight, FindPartByModelHash(carType_, kRightHeadlight, HostStringHash(right)));
                return;
            }
        }
        PlainHeadlights();
    }

    void RightSideMirror() const {
        Part* mirror = In(kLeftSideMirror);
        if (mirror == nullptr) return;
        const int32_t kit = KitNumber(mirror);
        if (kit != 0) {
            Fit(kRightSideMirror, "%s_KIT%02d_RIGHT_SIDE_MIRROR", base_, kit);
        } else {
            Fit(kRightSideMirror, "%s_RIGHT_SIDE_MIRROR", base_);
        }
    }

    void BrakeLights() const {
        Part* left = In(kLeftBrakeLight);
        if (left == nullptr) return;
        const int32_t kit = KitNumber(left);
        if (kit != 0) {
            Fit(kRightBrakeLight, "%s_KIT%02d_RIGHT_BRAKELIGHT", base_, kit);
            Fit(kLeftBrakeLightGlass, "%s_KIT%02d_LEFT_BRAKELIGHT_GLASS", base_, kit);
            Fit(kRightBrakeLightGlass, "%s_KIT%02d_RIGHT_BRAKELIGHT_GLASS", base_, kit);
        } else {
            Fit(kRightBrakeLight, "%s_RIGHT_BRAKELIGHT", base_);
            Fit(kLeftBrakeLightGlass, "%s_LEFT_BRAKELIGHT_GLASS", base_);
            Fit(kRightBrakeLightGlass, "%s_RIGHT_BRAKELIGHT_GLASS", base_);
        }
    }

    void Badging(const char* side, int32_t badgingSlot, int32_t bumperSlot) const {
        Part* body = In(kBody);
        if (body && !IsStock(body)) {
            Empty(kFrontBumperBadging);
            Empty(kRearBumperBadging);
            return;
        }
        if (Enabled(badgingSlot)) {
            if (!In(badgingSlot)) Fit(badgingSlot, "%s_KIT00_%s_BUMPER_BADGING_SET", base_, side);
            return;
        }
        Part* bumper = In(bumperSlot);
        if (bumper) Fit(badgingSlot, "%s_KIT%02d_%s_BUMPER_BADGING_SET", base_, KitNumber(bumper), side);
    }

    void Brakes() const {
        Part* brake = In(kFrontBrake);
        Part* rotor = In(kFrontRotor);
        if (brake && !rotor) {
            if (KitNumber(brake) != 0) {
                Fit(kFrontRotor, "BRAKES_KIT01_FRONT_ROTOR");
            } else {
                Fit(kFrontRotor, "%s_FRONT_ROTOR", base_);
            }
        } else if (rotor && !brake) {
            if (KitNumber(rotor) != 0) {
                Fit(kFrontBrake, "BRAKES_KIT01_FRONT_BRAKE");
            } else {
                Fit(kFrontBrake, "%s_FRONT_BRAKE", base_);
            }
        }
        if (Part* front = In(kFrontBrake)) {
            const int32_t kit = KitNumber(front);
            if (kit != 0) {
                Fit(kRearBrake, "BRAKES_KIT%02d_REAR_BRAKE", kit);
            } else {
                Fit(kRearBrake, "%s_REAR_BRAKE", base_);
            }
        }
        if (Part* front = In(kFrontRotor)) {
            const int32_t kit = KitNumber(front);
            if (kit != 0) {
                Fit(kRearRotor, "BRAKES_KIT%02d_REAR_ROTOR", kit);
            } else {
                Fit(kRearRotor, "%s_REAR_ROTOR", base_);
            }
        }
    }

    void Exhaust() const {
        Part* rear = In(kRearBumper);
        if (rear && IsStock(rear)) {
            if (HostPartGetAttribute(rear, HostStringHash("USE_EXHAUST_MARKER"), 0) == 0) {
                Fit(kExhaust, "%s_KIT00_EXHAUST", base_);
            }
            return;
        }
        Part* exhaust = In(kExhaust);
        if (IsStock(exhaust) && HostPartGetAttribute(exhaust, HostStringHash("EXHAUST_MARKER"), 0) == 0) {
            Fit(kExhaust, "EXHAUST_STYLE17_LEVEL1");
        }
    }

    void CappedSkirt() const {
        if (!ModelExists((std::string(base_) + "_KIT00_SKIRT_CAPPED_A").c_str())) return;
        Part* rear = In(kRearBumper);
        Part* skirt = In(kSkirt);
        if (!rear || !skirt) return;
        const bool rearStock = IsStock(rear);
        const bool skirtStock = IsStock(skirt);
        if (skirtStock && !rearStock) {
            Fit(kSkirt, "%s_KIT00_SKIRT_CAPPED", base_);
        } else if (skirtStock && rearStock) {
            Fit(kSkirt, "%s_KIT00_SKIRT", base_);
            Fit(kExhaust, "%s_KIT00_EXHAUST", base_);
        }
        if (!skirtStock && rearStock) Empty(kExhaust);
        if (!rearStock && !In(kExhaust)) Fit(kExhaust, "EXHAUST_STYLE17_LEVEL1");
    }

    void Doors() const {
        if (Enabled(kLeftDoor)) {
            Part* left = In(kLeftDoor);
            if (left == nullptr) return;
            const int32_t kit = KitNumber(left);
            if (kit != 0) {
                Fit(kRightDoor, "%s_KIT%02d_DOOR_RIGHT", base_, kit);
            } else {
                Fit(kRightDoor, "%s_DOOR_RIGHT", base_);
            }
            return;
        }
        Part* body = In(kBody);
        if (body == nullptr) return;
        const int32_t kit = KitNumber(body);
        if (kit != 0) {
            Fit(kLeftDoor, "%s_KITW%02d_DOOR_LEFT", base_, kit);
            Fit(kRightDoor, "%s_KITW%02d_DOOR_RIGHT", base_, kit);
        } else {
            Fit(kLeftDoor, "%s_DOOR_LEFT", base_);
            Fit(kRightDoor, "%s_DOOR_RIGHT", base_);
        }
    }

    void GenericVinyl() const {
        if (IsStock(In(kGenericVinyls))) Empty(kGenericVinyls);
    }

    // One fitting reads one configuration, however many rules ask it.
    const Configuration& config_ = CurrentConfiguration();
    void* hostObject_;
    RideRecord* ride_;
    CustomizationRecord* record_;
    int32_t carType_;
    const char* base_;
    bool sunRoof_ = false;
    bool popUpHeadLights_ = false;
};

}  // namespace

void __thiscall ApplyKitParts(void* hostObject, RideRecord* ride, CustomizationRecord* record) {
    Guarded(GuardPlace(&ApplyKitParts), [&] {
        if (ride == nullptr) return;
        KitFitter(hostObject, ride, record).Apply();
    });
}

uint32_t __thiscall RecordChosenPart(const uint8_t* entry, CustomizationRecord* record, uint8_t flag) {
    return Guarded(GuardPlace(&RecordChosenPart), 0u, [&]() -> uint32_t {
        if (entry == nullptr) return 0;
        if (record == nullptr) record = HostGlobalCustomization.get();
        Part* part = Read<Part*>(entry, part_list::kEntryPart);
        const int32_t slot = Read<int32_t>(entry, part_list::kEntrySlot);
        const int32_t carType = Read<int32_t>(record, customization::kCarType);
        if (slot == kBody && part && !IsStock(part)) {
            for (const int32_t cleared : {kFrontBumper, kRearBumper, kSkirt}) {
                HostCustomizationClearSlot(record, carType, cleared);
            }
        }
        // A brake and a rotor are both kit parts or both not.
        if (slot == kFrontBrake || slot == kFrontRotor) {
            const int32_t partner = slot == kFrontBrake ? kFrontRotor : kFrontBrake;
            Part* other = HostCustomizationGetSlotPart(record, carType, partner);
            if (other && (KitNumber(other) == 0) != (KitNumber(part) == 0)) {
                HostCustomizationClearSlot(record, carType, partner);
            }
        }
        return HostCustomizationSetSlotPart(record, slot, part, carType, flag);
    });
}

uint32_t __thiscall PopUpHeadlightState(void* hostObject) {
    return Guarded(GuardPlace(&PopUpHeadlightState), 0u, [&]() -> uint32_t {
        const Configuration& config = CurrentConfiguration();
        const CarProfile* profile = config.ProfileInForce(HostGetCarType(hostObject));
        return SwitchOnForCar<&CarProfile::popUpHeadLights>(profile, config.global) ? kPopUpHeadlightsAnswer : 0;
    });
}

namespace {

constexpr PerCar kPopUps = DecidedPerCar<&CarProfile::popUpHeadLights>();

constexpr Site kSites[] = {
    CallTo("call that fits the dependent parts", 0x85EAEC, &CodeOf<&ApplyKitParts>, kPopUps),
    JumpTo("routine that records the chosen part", 0x8420F0, &CodeOf<&RecordChosenPart>),
    CallTo("pop-up headlight query", 0x865278, &CodeOf<&PopUpHeadlightState>, kPopUps),
    // Written for every car: the query's answer above stands for it.
    Bytes("the query's own answer", 0x865280, kNops<0x3C>),
};

}  // namespace

void InstallKitPartNames() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
