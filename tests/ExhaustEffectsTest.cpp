// Exhaust effects: the sites written at start-up for each setting, and every hook run from
// its patched site in the simulated game.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "Sim.h"
#include "SimExhaust.h"
#include "TestFolders.h"
#include "config/Settings.h"
#include "effects/ExhaustEffects.h"
#include "startup/Installers.h"

using namespace sim::exhaust;
using morvane::PlacedEffectRecords;

namespace {

constexpr uint32_t kArithmeticFlags = 0x8D5;
constexpr uint32_t kAllSites[] = {kEffectListSite, kEffectCountSite, kPartSelectSite, kMarkerSiteB, kMarkerSiteA};

const sim::ByteRun* RunAt(const std::vector<sim::ByteRun>& runs, uint32_t address) {
    for (const auto& run : runs) {
        if (run.address == address) return &run;
    }
    return nullptr;
}

// A placement value no other test uses, so that each test's cache records are its own.
float Unique() {
    static float next = 1000.0f;
    return next += 1.0f;
}

class ExhaustEffectsTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        testfolders::GameFolder folder("exhaust");
        folder.Write("Morvane.ini", "[GENERAL]\nExhaustFX = 1\n");
        morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
        morvane::InstallExhaustEffects();
    }
};

// The installer of the loaded plug-in writes its five sites, two only with ExhaustFX on.
TEST_F(ExhaustEffectsTest, StartUpWritesTheSitesTheSettingCallsFor) {
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on ? "ExhaustFX on" : "ExhaustFX off");
        sim::Reset();
        testfolders::GameFolder folder(on ? "exhaust-on" : "exhaust-off");
        folder.Write("Morvane.ini", on ? "[GENERAL]\nExhaustFX = 1\n" : "[GENERAL]\nExhaustFX = 0\n");
        ASSERT_NE(sim::LoadPlugin(folder.CopyPlugin()), nullptr);
        const auto runs = sim::ChangedRuns();
        for (const uint32_t site : kAllSites) {
            const sim::ByteRun* run = RunAt(runs, site);
            const bool gated = site == kEffectListSite || site == kEffectCountSite;
            if (gated && !on) {
                EXPECT_EQ(run, nullptr) << std::hex << site;
                continue;
            }
            ASSERT_NE(run, nullptr) << std::hex << site;
            std::vector<uint8_t> bytes(5);
            std::memcpy(bytes.data(), &sim::Global<uint8_t>(site), 5);
            if (site == kEffectCountSite) {
                EXPECT_EQ(bytes, (std::vector<uint8_t>{0xB8, 0x01, 0x00, 0x00, 0x00}));
            } else {
                EXPECT_EQ(bytes[0], 0xE9) << std::hex << site;
            }
            EXPECT_LE(run->after.size(), 5u) << "nothing past the five bytes";
        }
    }
    // Through the loaded plug-in's own hook: an exhaust at both side markers.
    sim::Reset();
    testfolders::GameFolder folder("exhaust-run");
    folder.Write("Morvane.ini", "[GENERAL]\nExhaustFX = 1\n");
    ASSERT_NE(sim::LoadPlugin(folder.CopyPlugin()), nullptr);
    uint8_t* marker = NewMarker(10, 20, 30);
    uint8_t* head = NewEffectList();
    const sim::Capture after =
        RunEffectListSite(NewOwner("EXHAUST"), NewEffect("EXHAUST_FX", 1, 2, 3), head, NewMarkerHolder(nullptr, marker, marker), 0);
    EXPECT_EQ(after.stack[4], 2u);
    EXPECT_EQ(ListNodes(head).nodes.size(), 2u);
}

// Every case of the list site: nodes added after a node already in the list, the count,
// and every register, flag and stack slot but the count as on entry.
TEST_F(ExhaustEffectsTest, EffectListSiteCases) {
    enum Source { Host, Placed, Mirrored };
    struct Expected {
        float x, y, z, w;
        Source source;
    };
    const float apart[][4] = {{10, 20, 30, 1}, {-5, -40, 7, 2}, {-5, 40, 7, 3}};  // centre, +0x438, +0x43C
    const float same[][4] = {{10, 20, 30, 1}, {10, 20, 30, 1}, {10, 20, 30, 1}};
    const struct Case {
        const char* owner;
        const char* effect;
        const float (*at)[4];
        const char* markers;  // which of centre, +0x438, +0x43C are set; null: no holder
        std::vector<Expected> nodes;
    } cases[] = {
        {"EXHAUST_CENTER", "BRAKELIGHT_FX", same, "CMU", {{1, 2, 3, 0, Host}}},
        {"EXHAUST_LEFT", "EXHAUST_FX", same, "", {{1, 2, 3, 0, Host}}},
        {"EXHAUST_LEFT", "EXHAUST_FX", same, nullptr, {{1, 2, 3, 0, Host}}},
        {"RX8_EXHAUST_CENTER_KIT01", "EXHAUST_FX", same, "C", {{11, 22, 33, 1, Placed}}},
        {"EXHAUST_CENTER", "EXHAUST_FX", same, "MU", {{1, 2, 3, 0, Host}}},
        {"EXHAUST_TIPS", "EXHAUST_FX", same, "CMU", {{11, 22, 33, 1, Placed}, {11, 18, 33, 1, Mirrored}}},
        {"EXHAUST_TIPS", "EXHAUST_FX", apart, "CMU", {{-4, 42, 10, 3, Placed}, {-4, -42, 10, 2, Mirrored}}},
        {"EXHAUST_TIPS", "EXHAUST_FX", apart, "M", {{-4, -42, 10, 2, Mirrored}}},
        {"EXHAUST_TIPS", "EXHAUST_FX", apart, "C", {}},
        {"REAR_BUMPER", "EXHAUST_FX", same, "CMU", {}},
        {"exhaust_center", "EXHAUST_FX", same, "CMU", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.owner) + " " + c.effect + " markers " + (c.markers ? c.markers : "(no holder)"));
        const std::string set = c.markers ? c.markers : "";
        auto marker = [&](char which, int i) { return set.find(which) != std::string::npos ? NewMarker(c.at[i][0], c.at[i][1], c.at[i][2], c.at[i][3]) : nullptr; };
        uint8_t* holder = NewMarkerHolder(marker('C', 0), marker('M', 1), marker('U', 2));
        uint8_t* head = NewEffectList();
        uint8_t* earlier = sim::NewBlock(0x20);  // a node the host linked before
        sim::Field<uint8_t*>(earlier, 0) = head;
        sim::Field<uint8_t*>(head, 0) = sim::Field<uint8_t*>(head, 4) = earlier;
        Effect* effect = NewEffect(c.effect, 1, 2, 3);
        const size_t allocated = NodesAllocated();

        const sim::Capture after = RunEffectListSite(NewOwner(c.owner), effect, head, c.markers ? holder : nullptr, 1);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.esp, after.espAtSite);
        const sim::Registers entry = ListSiteRegisters();
        EXPECT_EQ(after.registers.eax, entry.eax);
        EXPECT_EQ(after.registers.ecx, entry.ecx);
        EXPECT_EQ(after.registers.edx, entry.edx);
        EXPECT_EQ(after.registers.edi, entry.edi);
        EXPECT_EQ(after.registers.ebx, sim::Address(head));
        EXPECT_EQ(after.registers.esi, sim::Address(effect));
        EXPECT_EQ(after.registers.eflags & kArithmeticFlags, kArithmeticFlags);
        EXPECT_EQ(after.stack[4], 1 + c.nodes.size()) << "the host's node count";
        for (size_t i = 0; i < 8; ++i) {
            if (i != 4 && i != 6) {
                EXPECT_EQ(after.stack[i], ListSiteStack()[i]);
            }
        }
        EXPECT_EQ(NodesAllocated() - allocated, c.nodes.size());

        const ListWalk walk = ListNodes(head);
        EXPECT_TRUE(walk.wellFormed);
        ASSERT_EQ(walk.nodes.size(), 1 + c.nodes.size());
        EXPECT_EQ(walk.nodes[0].address, sim::Address(earlier));
        const auto cache = PlacedEffectRecords();
        for (size_t i = 0; i < c.nodes.size(); ++i) {
            const Expected& e = c.nodes[i];
            const Node& n = walk.nodes[i + 1];
            EXPECT_EQ(n.x, e.x);
            EXPECT_EQ(n.y, e.y);
            EXPECT_EQ(n.z, e.z);
            if (e.source == Host) {
                EXPECT_EQ(n.definition, effect);
                continue;
            }
            ASSERT_NE(n.definition, effect);
            EXPECT_NE(std::find(cache.begin(), cache.end(), reinterpret_cast<const morvane::host::EffectDefinition*>(n.definition)), cache.end());
            EXPECT_EQ(n.definition->m[3][3], e.w) << "w from the marker";
            EXPECT_EQ(n.definition->m[1][0], 0.0f);
            EXPECT_EQ(std::signbit(n.definition->m[1][0]), e.source == Mirrored);
        }
    }
}

// The mirrored copy: exactly five sign bits flipped, the marker's position added, its w
// taken; the rest copied.
TEST_F(ExhaustEffectsTest, MirroredCopyFlipsFiveSignsAndAddsTheMarker) {
    Effect* effect = NewEffect("EXHAUST_FX", 1.5f, 2.25f, -3.0f, 9.0f);
    for (int i = 0; i < 12; ++i) effect->m[i / 4][i % 4] = static_cast<float>(i + 1);  // +0x2C too
    uint8_t* head = NewEffectList();
    RunEffectListSite(NewOwner("EXHAUST_L"), effect, head, NewMarkerHolder(nullptr, NewMarker(0.1f, 0.7f, 100, 4), nullptr), 0);
    const auto nodes = ListNodes(head).nodes;
    ASSERT_EQ(nodes.size(), 1u);
    const Effect& copy = *nodes[0].definition;
    EXPECT_EQ(copy.nameHash, effect->nameHash);
    EXPECT_EQ(std::memcmp(copy.opaque, effect->opaque, 12), 0);
    for (int i = 0; i < 12; ++i) {
        const bool flipped = i == 1 || i == 4 || i == 6 || i == 9;  // +0x14 +0x20 +0x28 +0x34
        EXPECT_EQ(copy.m[i / 4][i % 4], flipped ? -effect->m[i / 4][i % 4] : effect->m[i / 4][i % 4]) << i;
    }
    EXPECT_EQ(copy.m[3][0], 0.1f + 1.5f);
    EXPECT_EQ(copy.m[3][1], 0.7f - 2.25f);
    EXPECT_EQ(copy.m[3][2], 97.0f);
    EXPECT_EQ(copy.m[3][3], 4.0f);
    EXPECT_EQ(nodes[0].y, copy.m[3][1]);
}

// A placement returns an earlier record exactly when name hash and all sixteen floats
// are equal by value; the bytes at +0x04 do not count.
TEST_F(ExhaustEffectsTest, CacheMatchesByValue) {
    const struct {
        const char* what;
        void (*change)(Effect&);
        bool both;  // the change made to the first definition too
        bool same;
    } cases[] = {
        {"identical", [](Effect&) {}, false, true},
        {"-0.0 for +0.0", [](Effect& e) { e.m[0][2] = -0.0f; }, false, true},
        {"other bytes at +0x04", [](Effect& e) { e.opaque[5] ^= 0xFF; }, false, true},
        {"other name hash", [](Effect& e) { e.nameHash ^= 1; }, false, false},
        {"one element", [](Effect& e) { e.m[2][1] = 1e-30f; }, false, false},
        {"NaN in both", [](Effect& e) { e.m[1][1] = NAN; }, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        uint8_t* marker = NewMarker(Unique(), 0, 0);
        Effect* first = NewEffect("EXHAUST_FX", 1, 2, 3);
        Effect* second = NewEffect("EXHAUST_FX", 1, 2, 3);
        if (c.both) c.change(*first);
        c.change(*second);
        using Definition = morvane::host::EffectDefinition;
        const size_t before = PlacedEffectRecords().size();
        const Definition* a = morvane::PlaceEffectAtMarker(marker, reinterpret_cast<Definition*>(first), false);
        const Definition* b = morvane::PlaceEffectAtMarker(marker, reinterpret_cast<Definition*>(second), false);
        EXPECT_EQ(a == b, c.same);
        EXPECT_EQ(PlacedEffectRecords().size() - before, c.same ? 1u : 2u);
        EXPECT_EQ(PlacedEffectRecords().back(), b);
    }
}

// The same car built twice: the second build links as many nodes and every exhaust node
// points at the record placed the first time; the effect name is hashed on every call
// and the pool handle read afresh for every node.
TEST_F(ExhaustEffectsTest, TheSameCarBuiltTwiceReusesItsPlacedRecords) {
    uint8_t* holder = NewMarkerHolder(NewMarker(Unique(), 0, 0), NewMarker(-1, -0.5f, 0), NewMarker(-1, 0.5f, 0));
    const std::pair<const uint8_t*, Effect*> car[] = {
        {NewOwner("EXHAUST_CENTER"), NewEffect("EXHAUST_FX", 0, 0, 0)},
        {NewOwner("KIT02_EXHAUST"), NewEffect("EXHAUST_FX", 0.1f, 0.2f, 0.3f, Unique())},
        {NewOwner("BODY"), NewEffect("HEADLIGHT_FX", 2, 0, 0.5f)},
    };
    std::vector<const Effect*> builds[2];
    const size_t cacheBefore = PlacedEffectRecords().size();
    for (int build = 0; build < 2; ++build) {
        sim::Global<uint32_t>(kEffectNodePool) = kPoolHandle + build;
        uint8_t* head = NewEffectList();
        uint32_t count = 0;
        for (const auto& [owner, effect] : car) count = RunEffectListSite(owner, effect, head, holder, count).stack[4];
        EXPECT_EQ(count, 4u);
        for (const Node& n : ListNodes(head).nodes) builds[build].push_back(n.definition);
        EXPECT_EQ(PlacedEffectRecords().size() - cacheBefore, 3u) << "after build " << build + 1;
    }
    EXPECT_EQ(builds[0], builds[1]);
    EXPECT_EQ(std::count(sim::HashedTexts().begin(), sim::HashedTexts().end(), "EXHAUST_FX"), 6);
    EXPECT_EQ(NodePoolHandles(), (std::vector<uint32_t>{kPoolHandle, kPoolHandle, kPoolHandle, kPoolHandle,
                                                        kPoolHandle + 1, kPoolHandle + 1, kPoolHandle + 1, kPoolHandle + 1}));
}

// A node the pool cannot give is neither linked nor counted.
TEST_F(ExhaustEffectsTest, NoNodeFromThePoolAddsNothing) {
    uint8_t* marker = NewMarker(Unique(), 1, 1);
    const struct {
        const char* owner;
        const char* effect;
        uint32_t count;
        size_t nodes;
    } cases[] = {{"BODY", "SMOKE_FX", 5, 0}, {"EXHAUST_PIPES", "EXHAUST_FX", 6, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.owner);
        uint8_t* head = NewEffectList();
        FailNextNodeAllocations(1);
        const sim::Capture after = RunEffectListSite(NewOwner(c.owner), NewEffect(c.effect, 1, 2, 3), head,
                                                     NewMarkerHolder(nullptr, marker, marker), 5);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.stack[4], c.count);
        const ListWalk walk = ListNodes(head);
        EXPECT_TRUE(walk.wellFormed);
        ASSERT_EQ(walk.nodes.size(), c.nodes);
        if (c.nodes) {
            EXPECT_TRUE(std::signbit(walk.nodes[0].definition->m[1][0])) << "the mirrored side remains";
        }
    }
}

// Cars built on several threads at once: every thread gets the shared placements' one
// record each, its own placements' records, and a whole list; the cache loses nothing
// and holds nothing twice.
TEST_F(ExhaustEffectsTest, PlacementsFromSeveralThreadsAtOnce) {
    // Every thread walks the same new placements in the same order, each fifth followed
    // by one of its own, all starting together.
    constexpr int kThreads = 8, kShared = 300, kOwn = kShared / 5, kRounds = 2;
    using Definition = morvane::host::EffectDefinition;
    const float base = Unique();
    std::vector<uint8_t*> markers;
    std::vector<Effect*> effects;
    for (int i = 0; i < kShared + kThreads * kOwn; ++i) {
        markers.push_back(NewMarker(base, static_cast<float>(i), 0));
        effects.push_back(NewEffect("EXHAUST_FX", 0, 0, static_cast<float>(i % 3)));
    }
    std::vector<int> order;  // placement per node, the thread's own ones as -1 - n
    for (int i = 0; i < kShared; ++i) {
        order.push_back(i);
        if (i % 5 == 4) order.push_back(-1 - i / 5);
    }
    std::vector<uint8_t*> heads(kThreads);
    std::vector<uint32_t> counts(kThreads);
    for (auto& head : heads) head = NewEffectList();
    const size_t before = PlacedEffectRecords().size();
    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (--waiting; waiting > 0;) std::this_thread::yield();
            for (int round = 0; round < kRounds; ++round) {
                for (const int i : order) {
                    const int k = i >= 0 ? i : kShared + t * kOwn + (-1 - i);
                    morvane::AppendEffectNode(reinterpret_cast<Definition*>(effects[k]),
                                              reinterpret_cast<morvane::host::EffectListHead*>(heads[t]), &counts[t],
                                              markers[k], (k % 2) != 0);
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();

    const auto cache = PlacedEffectRecords();
    ASSERT_EQ(cache.size() - before, static_cast<size_t>(kShared + kThreads * kOwn));
    std::vector<const Definition*> added(cache.begin() + before, cache.end());
    std::sort(added.begin(), added.end());
    EXPECT_EQ(std::adjacent_find(added.begin(), added.end()), added.end());
    const ListWalk first = ListNodes(heads[0]);
    for (int t = 0; t < kThreads; ++t) {
        const ListWalk walk = ListNodes(heads[t]);
        EXPECT_TRUE(walk.wellFormed);
        ASSERT_EQ(walk.nodes.size(), kRounds * order.size());
        EXPECT_EQ(counts[t], walk.nodes.size());
        for (size_t n = 0; n < walk.nodes.size(); ++n) {
            const int i = order[n % order.size()];
            const int k = i >= 0 ? i : kShared + t * kOwn + (-1 - i);
            ASSERT_EQ(walk.nodes[n].definition->m[3][1], static_cast<float>(k)) << "thread " << t << " node " << n;
            if (i >= 0) {
                ASSERT_EQ(walk.nodes[n].definition, first.nodes[n % order.size()].definition) << "placement " << k;
            } else if (n >= order.size()) {
                ASSERT_EQ(walk.nodes[n].definition, walk.nodes[n - order.size()].definition) << "placement " << k;
            }
        }
    }
}

// EAX from +0x17C, or from +0xB0 when that is null; the flags of testing the +0x17C value;
// nothing else changes.
TEST_F(ExhaustEffectsTest, PartSelectSite) {
    const struct {
        uint32_t preferred, fallback, eax, flags;  // flags: CF PF AF ZF SF OF
    } cases[] = {
        {0x1234, 0x5678, 0x1234, 0x00}, {0, 0x5678, 0x5678, 0x44}, {0x80000000, 5, 0x80000000, 0x84}, {0, 0, 0, 0x44}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preferred);
        uint8_t* record = sim::NewBlock(0x200);
        sim::Field<uint32_t>(record, 0x17C) = c.preferred;
        sim::Field<uint32_t>(record, 0xB0) = c.fallback;
        sim::Run run;
        run.site = kPartSelectSite;
        run.resume = kPartSelectResume;
        run.registers = ListSiteRegisters();
        run.registers.ebx = sim::Address(record);
        run.stack = {1, 2, 3};
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.registers.eax, c.eax);
        EXPECT_EQ(after.registers.eflags & (kArithmeticFlags & ~0x10u), c.flags);
        EXPECT_EQ(after.registers.ecx, run.registers.ecx);
        EXPECT_EQ(after.registers.edx, run.registers.edx);
        EXPECT_EQ(after.registers.ebx, run.registers.ebx);
        EXPECT_EQ(after.registers.esi, run.registers.esi);
        EXPECT_EQ(after.registers.edi, run.registers.edi);
        EXPECT_EQ(after.registers.ebp, run.registers.ebp);
        EXPECT_EQ(after.esp, after.espAtSite);
    }
}

// The zero flag alone answers whether the part in ECX carries an exhaust marker, at both
// sites; every register and the other flags come back as they were.
TEST_F(ExhaustEffectsTest, MarkerSitesAnswerInTheZeroFlag) {
    const int32_t car = sim::AddCarType("RX8");
    const struct {
        const char* what;
        sim::Part* part;
        bool marker;
    } cases[] = {
        {"not stock", &sim::AddPart("A", car, 47, false), true},
        {"not stock, EXHAUST_MARKER 0", &sim::AddPart("B", car, 47, false).Set("EXHAUST_MARKER", 0), true},
        {"stock, EXHAUST_MARKER 1", &sim::AddPart("C", car, 47, true).Set("EXHAUST_MARKER", 1), true},
        {"stock, EXHAUST_MARKER 0", &sim::AddPart("D", car, 47, true).Set("EXHAUST_MARKER", 0), false},
        {"stock, no attribute", &sim::AddPart("E", car, 47, true).Set("KITNUMBER", 3), false},
        {"no part", nullptr, false},
    };
    for (const auto& [site, resume] : {std::pair{kMarkerSiteA, kMarkerResumeA}, std::pair{kMarkerSiteB, kMarkerResumeB}}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(site) + " " + c.what);
            sim::Run run;
            run.site = site;
            run.resume = resume;
            run.registers = ListSiteRegisters();
            run.registers.ecx = sim::Address(c.part);
            run.registers.eflags = 0x202 | (c.marker ? 0x8D5 : 0x895);  // ZF the opposite of the answer
            const sim::Capture after = sim::RunHostCode(run);
            ASSERT_EQ(after.exit, sim::Exit::Resumed);
            EXPECT_EQ(after.registers.eflags & kArithmeticFlags, c.marker ? 0x895u : 0x8D5u);
            EXPECT_EQ(after.registers.eax, run.registers.eax);
            EXPECT_EQ(after.registers.ecx, run.registers.ecx);
            EXPECT_EQ(after.registers.edx, run.registers.edx);
            EXPECT_EQ(after.registers.edi, run.registers.edi);
            EXPECT_EQ(after.esp, after.espAtSite);
        }
    }
}

}  // namespace
