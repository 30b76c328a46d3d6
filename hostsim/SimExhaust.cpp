#include "SimExhaust.h"

#include <cstring>
#include <mutex>

namespace sim::exhaust {

namespace {

constexpr uint32_t kOwnerRecordName = 0x18;
constexpr uint32_t kNodeSize = 0x20;

std::mutex poolGuard;  // the game builds cars on several threads
std::vector<uint32_t> poolHandles;
int failingNodes;
size_t nodesAllocated;

// The game's node allocator: a fresh node holds whatever the heap held.
void* __cdecl HostAllocEffectNode(uint32_t pool) {
    {
        const std::lock_guard<std::mutex> lock(poolGuard);
        poolHandles.push_back(pool);
        if (failingNodes > 0) {
            --failingNodes;
            return nullptr;
        }
        ++nodesAllocated;
    }
    uint8_t* node = NewBlock(kNodeSize);
    std::memset(node, 0xCD, kNodeSize);
    return node;
}

void Place() {
    PlaceRoutine(kAllocEffectNode, reinterpret_cast<const void*>(&HostAllocEffectNode));
    Global<uint32_t>(kEffectNodePool) = kPoolHandle;
    // The game's own code at the sites is not modelled: int3 from each site up to its
    // resume address, so a host byte that runs where it should not traps.
    const uint32_t sites[][2] = {{kEffectCountSite, kEffectCountSite + 5}, {kEffectListSite, kEffectListResume},
                                 {kPartSelectSite, kPartSelectResume}, {kMarkerSiteA, kMarkerResumeA},
                                 {kMarkerSiteB, kMarkerResumeB}};
    for (const auto& site : sites) std::memset(&Global<uint8_t>(site[0]), 0xCC, site[1] - site[0]);
}

void Forget() {
    const std::lock_guard<std::mutex> lock(poolGuard);
    poolHandles.clear();
    failingNodes = 0;
    nodesAllocated = 0;
}

ModelRegistration registration({"exhaust effects", 30, &Place, &Forget});

}  // namespace

Effect* NewEffect(const std::string& name, float x, float y, float z, float w) {
    auto* effect = reinterpret_cast<Effect*>(NewBlock(sizeof(Effect)));
    effect->nameHash = Hash(name);
    for (int i = 0; i < 12; ++i) effect->opaque[i] = static_cast<uint8_t>(0xA0 + i);
    for (int i = 0; i < 3; ++i) effect->m[i][i] = 1.0f;
    effect->m[3][0] = x;
    effect->m[3][1] = y;
    effect->m[3][2] = z;
    effect->m[3][3] = w;
    return effect;
}

uint8_t* NewOwner(const std::string& name) {
    uint8_t* record = NewBlock(kOwnerRecordName + name.size() + 1);
    std::memcpy(record + kOwnerRecordName, name.c_str(), name.size() + 1);
    uint8_t* owner = NewBlock(0x40);
    Field<uint8_t*>(owner, 0x04) = record;
    return owner;
}

const char* OwnerName(const uint8_t* owner) {
    return reinterpret_cast<const char*>(Field<uint8_t*>(const_cast<uint8_t*>(owner), 0x04) + kOwnerRecordName);
}

uint8_t* NewMarker(float x, float y, float z, float w) {
    uint8_t* marker = NewBlock(0x60);
    const float position[4] = {x, y, z, w};
    std::memcpy(marker + kMarkerPosition, position, sizeof position);
    return marker;
}

uint8_t* NewMarkerHolder(uint8_t* centre, uint8_t* mirrored, uint8_t* unmirrored) {
    uint8_t* holder = NewBlock(0x440);
    Field<uint8_t*>(holder, kCentreMarker) = centre;
    Field<uint8_t*>(holder, kMirroredMarker) = mirrored;
    Field<uint8_t*>(holder, kUnmirroredMarker) = unmirrored;
    return holder;
}

uint8_t* NewEffectList() {
    uint8_t* head = NewBlock(8);
    Field<uint8_t*>(head, 0) = head;
    Field<uint8_t*>(head, 4) = head;
    return head;
}

ListWalk ListNodes(const uint8_t* head) {
    ListWalk walk{{}, false};
    auto* list = const_cast<uint8_t*>(head);
    uint8_t* previous = list;
    for (uint8_t* at = Field<uint8_t*>(list, 0); at != list; at = Field<uint8_t*>(at, 0)) {
        if (at == nullptr || walk.nodes.size() > 100000) return walk;
        walk.nodes.push_back({Address(at), Field<float>(at, 4), Field<float>(at, 8), Field<float>(at, 12),
                              Field<const Effect*>(at, 0x10)});
        previous = at;
    }
    walk.wellFormed = Field<uint8_t*>(list, 4) == previous;
    return walk;
}

void FailNextNodeAllocations(int count) {
    const std::lock_guard<std::mutex> lock(poolGuard);
    failingNodes = count;
}

std::vector<uint32_t> NodePoolHandles() {
    const std::lock_guard<std::mutex> lock(poolGuard);
    return poolHandles;
}

size_t NodesAllocated() {
    const std::lock_guard<std::mutex> lock(poolGuard);
    return nodesAllocated;
}

Registers ListSiteRegisters() {
    Registers r;
    r.eax = 0xA0A0A0A0;
    r.ecx = 0xC1C1C1C1;
    r.edx = 0xD2D2D2D2;
    r.edi = 0xD1D1D1D1;
    r.eflags = 0x202 | 0x8D5;
    return r;
}

std::vector<uint32_t> ListSiteStack() {
    std::vector<uint32_t> stack;
    for (uint32_t i = 0; i < 8; ++i) stack.push_back(0x57AC0000 + i);
    return stack;
}

Capture RunEffectListSite(const uint8_t* owner, const Effect* effect, uint8_t* head, const uint8_t* holder,
                          uint32_t count) {
    Run run;
    run.site = kEffectListSite;
    run.resume = kEffectListResume;
    run.registers = ListSiteRegisters();
    run.registers.ebp = Address(owner);
    run.registers.esi = Address(effect);
    run.registers.ebx = Address(head);
    run.stack = ListSiteStack();
    run.stack[4] = count;
    run.stack[6] = Address(holder);
    return RunHostCode(run);
}

}  // namespace sim::exhaust
