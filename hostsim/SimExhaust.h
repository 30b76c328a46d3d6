#pragma once
// The game's car effects: effect definitions, their owners, the exhaust marker records
// and holders, the effect lists and the pool their nodes come from.
#include <cstdint>
#include <string>
#include <vector>

#include "Sim.h"

namespace sim::exhaust {

constexpr uint32_t kAllocEffectNode = 0x477BE0;  // cdecl (pool handle) -> node
constexpr uint32_t kEffectNodePool = 0xB74C34;   // the pool handle
constexpr uint32_t kPoolHandle = 0x0E0F0001;     // the handle the game keeps there

// Host sites of the exhaust effects and where the host goes on after each.
constexpr uint32_t kEffectCountSite = 0x7CC6BD;
constexpr uint32_t kEffectListSite = 0x7BEBFB;
constexpr uint32_t kEffectListResume = 0x7BEC35;
constexpr uint32_t kPartSelectSite = 0x7DA131;
constexpr uint32_t kPartSelectResume = 0x7DA137;
constexpr uint32_t kMarkerSiteA = 0x7DF2EE;
constexpr uint32_t kMarkerResumeA = 0x7DF2F5;
constexpr uint32_t kMarkerSiteB = 0x7DEFC8;
constexpr uint32_t kMarkerResumeB = 0x7DEFCF;

// A marker holder's three marker records (the front-end object holds the current car's
// holder at +0xBF8).
constexpr uint32_t kCentreMarker = 0x434;
constexpr uint32_t kMirroredMarker = 0x438;
constexpr uint32_t kUnmirroredMarker = 0x43C;
constexpr uint32_t kFrontEndMarkerHolder = 0xBF8;

// The game's 80-byte effect definition.
struct Effect {
    uint32_t nameHash;
    uint8_t opaque[12];
    float m[4][4];  // row 3: position x, y, z, w
};
static_assert(sizeof(Effect) == 80);

// A definition named `name` at (x, y, z, w) with identity rows 0 to 2 and the 12 bytes at
// +0x04 filled with a recognisable pattern.
Effect* NewEffect(const std::string& name, float x, float y, float z, float w = 1.0f);
// An effect owner: its +0x04 points to a record with `name` at +0x18.
uint8_t* NewOwner(const std::string& name);
const char* OwnerName(const uint8_t* owner);
// A marker record with its position (x, y, z, w) at +0x40.
constexpr uint32_t kMarkerPosition = 0x40;
uint8_t* NewMarker(float x, float y, float z, float w = 1.0f);
// A marker holder; any marker may be null.
uint8_t* NewMarkerHolder(uint8_t* centre, uint8_t* mirrored, uint8_t* unmirrored);
// An empty effect list: its head (first node, last node) points at itself.
uint8_t* NewEffectList();

struct Node {
    uint32_t address;
    float x, y, z;
    const Effect* definition;
};
struct ListWalk {
    std::vector<Node> nodes;  // from the first
    bool wellFormed;          // the last node leads back to the head, which names it as last
};
ListWalk ListNodes(const uint8_t* head);

// Node pool: the next `count` allocations answer null; the handle each call was given;
// how many nodes were handed out. Safe from several threads.
void FailNextNodeAllocations(int count);
std::vector<uint32_t> NodePoolHandles();
size_t NodesAllocated();

// Runs the effect-list site: EBP the owner, ESI the definition, EBX the list head,
// [ESP+0x10] the node count, [ESP+0x18] the marker holder; the other slots and
// registers hold distinct values. Answers the capture; its stack[4] is the count after.
Capture RunEffectListSite(const uint8_t* owner, const Effect* effect, uint8_t* head, const uint8_t* holder,
                          uint32_t count);
// The registers and stack slots RunEffectListSite starts with (but EBP, ESI, EBX and the
// two slots it sets).
Registers ListSiteRegisters();
std::vector<uint32_t> ListSiteStack();

}  // namespace sim::exhaust
