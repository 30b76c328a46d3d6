// A sample car's effects built through the patched effect-list site, and the exhaust
// marker test.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "SimExhaust.h"
#include "Tour.h"

namespace tour {

namespace {

using namespace sim;
using namespace sim::exhaust;

struct Marker {
    const char* field;
    const uint8_t* record;
};
using Markers = Marker[3];

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
std::string Describe(const Node& node, const Effect* effect, const Markers& markers) {
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

const SampleEffect kSampleEffects[] = {
    {"BODY_KIT02", "BRAKELIGHT_FX", -2.00f, 0.70f, 0.60f},
    {"RX8_KIT02_EXHAUST", "EXHAUST_FX", 0.05f, 0.08f, 0.00f},
    {"RX8_KIT05_EXHAUST_CENTER", "EXHAUST_FX", 0.02f, 0.00f, 0.01f},
    {"REAR_BUMPER_KIT02", "EXHAUST_FX", -1.90f, 0.40f, 0.25f},
};

// The sample car's effects built once through the list site (the first build told node by
// node); answers the placed records the nodes point at.
std::vector<const Effect*> BuildSampleCar(int build, const uint8_t* holder, const Markers& markers) {
    std::vector<const Effect*> placed;
    uint8_t* head = NewEffectList();
    uint32_t count = 0;
    for (const SampleEffect& s : kSampleEffects) {
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
            if (nodes[i].definition != effect) placed.push_back(nodes[i].definition);
        }
    }
    const ListWalk walk = ListNodes(head);
    std::printf("  build %d: %zu nodes in the list (%s), the host's node count %u\n", build + 1, walk.nodes.size(),
                walk.wellFormed ? "linked head to tail and back" : "BROKEN LIST", count);
    return placed;
}

// The sample car RX8 with its three markers, built twice.
void ReportSampleCar() {
    uint8_t* centre = NewMarker(-2.10f, 0.00f, 0.32f);
    uint8_t* left = NewMarker(-2.05f, -0.55f, 0.30f);
    uint8_t* right = NewMarker(-2.05f, 0.55f, 0.30f);
    uint8_t* holder = NewMarkerHolder(centre, left, right);
    Field<uint8_t*>(FrontEndObject(), kFrontEndMarkerHolder) = holder;
    const Markers markers = {
        {"+0x434 (centre)", centre}, {"+0x438 (mirrored side)", left}, {"+0x43C (unmirrored side)", right}};
    std::printf("  sample car RX8, marker holder at front-end object +0x%X:\n", kFrontEndMarkerHolder);
    for (const Marker& m : markers) {
        std::printf("    %-24s (%.3f, %.3f, %.3f, %.3f)\n", m.field, MarkerAt(m.record, 0), MarkerAt(m.record, 1),
                    MarkerAt(m.record, 2), MarkerAt(m.record, 3));
    }
    std::printf("  through site 0x%06X (owner, effect: nodes added, where)\n", kEffectListSite);
    const std::vector<const Effect*> first = BuildSampleCar(0, holder, markers);
    const std::vector<const Effect*> second = BuildSampleCar(1, holder, markers);
    std::printf("  built again: %s\n", second == first ? "every exhaust node points at the record placed the first time"
                                                       : "NEW RECORDS PLACED");
}

// A car without exhaust markers keeps its exhaust effect where the definition puts it.
void ReportCarWithoutMarkers() {
    uint8_t* bare = NewEffectList();
    Effect* effect = NewEffect("EXHAUST_FX", -2.0f, 0.5f, 0.3f);
    const uint32_t count =
        RunEffectListSite(NewOwner("RX8_KIT00_EXHAUST"), effect, bare, NewMarkerHolder(nullptr, nullptr, nullptr), 0)
            .stack[4];
    const std::vector<Node> nodes = ListNodes(bare).nodes;
    std::printf("  car without markers, RX8_KIT00_EXHAUST EXHAUST_FX: %zu node, count %u, %s\n", nodes.size(), count,
                nodes.empty() ? "none" : Describe(nodes[0], effect, {}).c_str());
}

// Whether a part counts as carrying an exhaust marker: the zero flag at 0x7DF2EE.
void ReportMarkerTest() {
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

}  // namespace

void ReportExhaust() {
    std::printf("\nExhaust effects\n");
    if (!Changed(kEffectListSite)) {
        std::printf("  ExhaustFX off: effect list site 0x%06X keeps the game's code; effects stay where their "
                    "definitions put them\n", kEffectListSite);
    } else {
        ReportSampleCar();
        ReportCarWithoutMarkers();
    }
    if (Changed(kMarkerSiteA)) ReportMarkerTest();
}

}  // namespace tour
