#pragma once
// What the game keeps on the stack at the sites where hooks read it: offsets from ESP at
// the site (RegisterRecord::Stack), one namespace per site.
#include <cstdint>

namespace morvane::host::stack {

// 0x7CDC85: the two arguments pushed for the game's seeded hash of a model name.
namespace model_hash {
constexpr uint32_t kName = 0x00;
constexpr uint32_t kSeed = 0x04;
constexpr uint32_t kArgumentBytes = 8;
}  // namespace model_hash

// 0x8683C9: the category the game's category test looks at.
namespace category_test {
constexpr uint32_t kCategory = 0x60;
}

// 0x85F74C: the slot test's routine saved EDI, ESI and EBX, under its return address and
// its 0x14 bytes of arguments.
namespace slot_test {
constexpr uint32_t kSavedEdi = 0x00;
constexpr uint32_t kSavedEsi = 0x04;
constexpr uint32_t kSavedEbx = 0x08;
constexpr uint32_t kReturn = 0x0C;
constexpr uint32_t kArgumentBytes = 0x14;
}  // namespace slot_test

// 0x6B7887: the return address of the routine whose end the site is.
namespace decal_groups {
constexpr uint32_t kReturn = 0x00;
}

// 0x7BEBFB: the count of nodes added, and the marker holder.
namespace effect_list {
constexpr uint32_t kNodeCount = 0x10;
constexpr uint32_t kMarkerHolder = 0x18;
}  // namespace effect_list

// 0x7BEA68: the render record of the car whose shadow colour is asked.
namespace shadow_colour {
constexpr uint32_t kRenderRecord = 0x04;
}

// 0x7CF764: the texture-list routine's second argument, the car's ride record.
namespace texture_list_end {
constexpr uint32_t kRideRecord = 0x74;
}

// 0x7CB85F: the render record and the game's own offset in thousandths.
namespace track_width {
constexpr uint32_t kRenderRecord = 0x08;
constexpr uint32_t kThousandths = 0x18;
}  // namespace track_width

// 0x7CB8C8: the wheel whose tire width is asked.
namespace tire_width {
constexpr uint32_t kWheel = 0x14;
}

}  // namespace morvane::host::stack
