#include "SimExhaust.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace sim::exhaust {

namespace {

constexpr uint32_t kOwnerRecordName = 0x18;
constexpr uint32_t kMarkerPosition = 0x40;
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

// ---- The report: a sample car's effects built through the patched list site ----

struct Marker {
    const char* field;
    const uint8_t* record;
};

bool SiteChanged(uint32_t site) {
    for (const ByteRun& run : ChangedRuns()) {
        if (site >= run.address && site < run.address + run.after.size()) return true;
    }
    return false;
}

float MarkerAt(const uint8_t* marker, int i) { return Field<float>(const_cast<uint8_t*>(marker), kMarkerPosition + 4 * i); }

// A 32-bit float sum, as the plug-in computes it (this file may be built for the x87).
float Sum(float a, float b) {
    volatile float sum = a + b;
    return sum;
}

uint32_t Bits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

// Where a node's definition came from: the host's own record, or a copy placed at one of
// the holder's markers (mirrored when the copy's element (0,1) has the other sign).
std::string Describe(const Node& node, const Effect* effect, const Marker (&markers)[3]) {
    char text[200];
    if (node.definition == effect) {
        std::snprintf(text, sizeof text, "(%.3f, %.3f, %.3f)  host's own record, not placed", node.x, node.y, node.z);
        return text;
    }
    const Effect& copy = *node.definition;
    const bool mirrored = Bits(copy.m[0][1]) != Bits(effect->m[0][1]);
    const float y = mirrored ? -effect->m[3][1] : effect->m[3][1];
    const char* at = "no marker of the holder";
    for (const Marker& marker : markers) {
        if (marker.record && copy.m[3][0] == Sum(MarkerAt(marker.record, 0), effect->m[3][0]) &&
            copy.m[3][1] == Sum(MarkerAt(marker.record, 1), y) &&
            copy.m[3][2] == Sum(MarkerAt(marker.record, 2), effect->m[3][2]) &&
            Bits(copy.m[3][3]) == Bits(MarkerAt(marker.record, 3)))
            at = marker.field;
    }
    std::snprintf(text, sizeof text, "(%.3f, %.3f, %.3f)  at %s, %s", node.x, node.y, node.z, at,
                  mirrored ? "mirrored" : "not mirrored");
    return text;
}

struct SampleEffect {
    const char* owner;
    const char* effect;
    float x, y, z;
};

void Report() {
    std::printf("\nExhaust effects\n");
    if (!SiteChanged(kEffectListSite)) {
        std::printf("  ExhaustFX off: effect list site 0x%06X keeps the game's code; effects stay where their "
                    "definitions put them\n", kEffectListSite);
    } else {
        uint8_t* centre = NewMarker(-2.10f, 0.00f, 0.32f);
        uint8_t* left = NewMarker(-2.05f, -0.55f, 0.30f);
        uint8_t* right = NewMarker(-2.05f, 0.55f, 0.30f);
        uint8_t* holder = NewMarkerHolder(centre, left, right);
        Field<uint8_t*>(FrontEndObject(), kFrontEndMarkerHolder) = holder;
        const Marker markers[3] = {
            {"+0x434 (centre)", centre}, {"+0x438 (mirrored side)", left}, {"+0x43C (unmirrored side)", right}};
        std::printf("  sample car RX8, marker holder at front-end object +0x%X:\n", kFrontEndMarkerHolder);
        for (const Marker& m : markers) {
            std::printf("    %-24s (%.3f, %.3f, %.3f, %.3f)\n", m.field, MarkerAt(m.record, 0), MarkerAt(m.record, 1),
                        MarkerAt(m.record, 2), MarkerAt(m.record, 3));
        }
        const SampleEffect sample[] = {
            {"BODY_KIT02", "BRAKELIGHT_FX", -2.00f, 0.70f, 0.60f},
            {"RX8_KIT02_EXHAUST", "EXHAUST_FX", 0.05f, 0.08f, 0.00f},
            {"RX8_KIT05_EXHAUST_CENTER", "EXHAUST_FX", 0.02f, 0.00f, 0.01f},
            {"REAR_BUMPER_KIT02", "EXHAUST_FX", -1.90f, 0.40f, 0.25f},
        };
        std::printf("  through site 0x%06X (owner, effect: nodes added, where)\n", kEffectListSite);
        std::vector<const Effect*> placed[2];  // the placed records each build's nodes point at
        for (int build = 0; build < 2; ++build) {
            uint8_t* head = NewEffectList();
            uint32_t count = 0;
            for (const SampleEffect& s : sample) {
                Effect* effect = NewEffect(s.effect, s.x, s.y, s.z);
                effect->m[0][1] = 0.05f;  // a slight yaw, to show the mirror
                effect->m[1][0] = -0.05f;
                const size_t before = ListNodes(head).nodes.size();
                count = RunEffectListSite(NewOwner(s.owner), effect, head, holder, count).stack[4];
                const std::vector<Node> nodes = ListNodes(head).nodes;
                if (build == 0) {
                    std::printf("    %-26s %-14s +%zu%s\n", s.owner, s.effect, nodes.size() - before,
                                nodes.size() == before ? "  (no node: dropped)" : "");
                }
                for (size_t i = before; i < nodes.size(); ++i) {
                    if (build == 0) std::printf("      %s\n", Describe(nodes[i], effect, markers).c_str());
                    if (nodes[i].definition != effect) placed[build].push_back(nodes[i].definition);
                }
            }
            const ListWalk walk = ListNodes(head);
            std::printf("  build %d: %zu nodes in the list (%s), the host's node count %u\n", build + 1,
                        walk.nodes.size(), walk.wellFormed ? "linked head to tail and back" : "BROKEN LIST", count);
        }
        std::printf("  built again: %s\n", placed[1] == placed[0]
                                                 ? "every exhaust node points at the record placed the first time"
                                                 : "NEW RECORDS PLACED");

        // A car without exhaust markers keeps its exhaust effect where the definition puts it.
        uint8_t* bare = NewEffectList();
        Effect* effect = NewEffect("EXHAUST_FX", -2.0f, 0.5f, 0.3f);
        const uint32_t bareCount =
            RunEffectListSite(NewOwner("RX8_KIT00_EXHAUST"), effect, bare, NewMarkerHolder(nullptr, nullptr, nullptr), 0)
                .stack[4];
        const std::vector<Node> nodes = ListNodes(bare).nodes;
        std::printf("  car without markers, RX8_KIT00_EXHAUST EXHAUST_FX: %zu node, count %u, %s\n", nodes.size(),
                    bareCount, nodes.empty() ? "none" : Describe(nodes[0], effect, {}).c_str());
    }

    // Whether a part counts as carrying an exhaust marker: the zero flag at 0x7DF2EE.
    if (SiteChanged(kMarkerSiteA)) {
        const int32_t car = AddCarType("RX8");
        const struct {
            const char* label;
            Part* part;
        } parts[] = {
            {"RX8_KIT02_EXHAUST (not stock)", &AddPart("RX8_KIT02_EXHAUST", car, 47, false)},
            {"RX8_KIT00_EXHAUST (stock, EXHAUST_MARKER 1)", &AddPart("RX8_KIT00_EXHAUST", car, 47, true).Set("EXHAUST_MARKER", 1)},
            {"RX8_KIT00_BODY (stock, no EXHAUST_MARKER)", &AddPart("RX8_KIT00_BODY", car, 23, true)},
        };
        std::printf("  exhaust marker test at 0x%06X (zero flag clear = carries a marker):\n", kMarkerSiteA);
        for (const auto& p : parts) {
            Run run;
            run.site = kMarkerSiteA;
            run.resume = kMarkerResumeA;
            run.registers.ecx = Address(p.part);
            run.registers.eflags = 0x202 | 0x40;
            const Capture after = RunHostCode(run);
            std::printf("    %-46s %s\n", p.label, (after.registers.eflags & 0x40) ? "ZF set: no marker" : "ZF clear: marker");
        }
    }
}

ModelRegistration registration({"exhaust effects", 30, &Place, &Forget, &Report});

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
