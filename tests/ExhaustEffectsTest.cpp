// Exhaust effects: every hook run from its patched site in the simulated game.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <thread>

#include <windows.h>

#include "Sim.h"
#include "SimExhaust.h"
#include "TestFolders.h"
#include "config/Settings.h"
#include "effects/ExhaustEffects.h"
#include "log/LogFile.h"
#include "patch/FaultObserver.h"

using namespace sim::exhaust;
using Definition = morvane::host::EffectDefinition;
using morvane::PlacedEffectRecords;

namespace {

constexpr uint32_t kArithmeticFlags = 0x8D5;

const Definition* Def(const Effect* e) { return reinterpret_cast<const Definition*>(e); }

// A placement value no other test uses, so that each test's cache records are its own.
float Unique() {
    static float next = 1000.0f;
    return next += 1.0f;
}

// Registers as on entry but those named in `changed` ("a" EAX, "b" EBX, ...) and ESP.
void ExpectKept(const sim::Capture& after, const sim::Registers& entry, const std::string& changed = "") {
    ASSERT_EQ(after.exit, sim::Exit::Resumed);
    EXPECT_EQ(after.esp, after.espAtSite);
    const std::pair<char, uint32_t sim::Registers::*> all[] = {
        {'a', &sim::Registers::eax}, {'c', &sim::Registers::ecx}, {'d', &sim::Registers::edx},
        {'b', &sim::Registers::ebx}, {'p', &sim::Registers::ebp}, {'s', &sim::Registers::esi},
        {'i', &sim::Registers::edi}};
    for (const auto& [name, field] : all) {
        if (changed.find(name) == std::string::npos) {
            EXPECT_EQ(after.registers.*field, entry.*field) << name;
        }
    }
}

sim::Run SiteRun(uint32_t site, uint32_t resume) {
    sim::Run run;
    run.site = site;
    run.resume = resume;
    run.registers = ListSiteRegisters();
    run.stack = {1, 2, 3};
    return run;
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

// Every case of the list site: the nodes added after one already in the list (placed
// copies mirrored or not, w from the marker), the count, and every register, flag and
// other stack slot as on entry. A pool that answers null adds neither node nor count.
TEST_F(ExhaustEffectsTest, EffectListSiteCases) {
    enum Source { Host, Placed, Mirrored };
    struct Expected {
        float x, y, z, w;
        Source source;
    };
    const float same[][4] = {{10, 20, 30, 1}, {10, 20, 30, 1}, {10, 20, 30, 1}};  // centre, +0x438, +0x43C
    const float apart[][4] = {{10, 20, 30, 1}, {-5, -40, 7, 2}, {-5, 40, 7, 3}};
    struct Case {
        const char *owner, *effect;
        const float (*at)[4];
        const char* markers;  // which of centre, +0x438, +0x43C are set; null: no holder at all
        std::vector<Expected> nodes;
        int failingNodes = 0;  // the pool answers null this often first: no node, no count
    };
    std::vector<Case> cases = {
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
        {"EXHAUST_CENTER", "SMOKE_FX", same, "CMU", {}, 1},
        {"EXHAUST_TIPS", "EXHAUST_FX", apart, "CMU", {{-4, -42, 10, 2, Mirrored}}, 1},
    };
    // Every marker layout with every kind of owner name, for the exhaust effect and another.
    const Expected host{1, 2, 3, 0, Host}, centre{11, 22, 33, 1, Placed}, unmirrored{-4, 42, 10, 3, Placed},
        mirrored{-4, -42, 10, 2, Mirrored};
    const auto has = [](const std::string& text, const char* part) { return text.find(part) != std::string::npos; };
    for (const char* markers : {"", "C", "M", "U", "CM", "CU", "MU", "CMU"}) {
        for (const char* owner : {"REAR_BUMPER", "BUMPER_CENTER", "EXHAUST_TIPS", "KIT01_EXHAUST_CENTER"}) {
            for (const char* effect : {"EXHAUST_FX", "SMOKE_FX"}) {
                std::vector<Expected> nodes;
                if (effect[0] == 'S' || !*markers) nodes = {host};
                else if (has(owner, "CENTER") && has(owner, "EXHAUST")) nodes = {has(markers, "C") ? centre : host};
                else if (has(owner, "EXHAUST")) {
                    if (has(markers, "U")) nodes.push_back(unmirrored);
                    if (has(markers, "M")) nodes.push_back(mirrored);
                }
                cases.push_back({owner, effect, apart, markers, nodes});
            }
        }
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.owner) + " " + c.effect + " " + (c.markers ? c.markers : "(no holder)"));
        const std::string set = c.markers ? c.markers : "";
        auto marker = [&](char which, int i) {
            return set.find(which) == std::string::npos ? nullptr : NewMarker(c.at[i][0], c.at[i][1], c.at[i][2], c.at[i][3]);
        };
        uint8_t* holder = c.markers ? NewMarkerHolder(marker('C', 0), marker('M', 1), marker('U', 2)) : nullptr;
        uint8_t* head = NewEffectList();
        uint8_t* earlier = sim::NewBlock(0x20);  // a node the host linked before
        sim::Field<uint8_t*>(earlier, 0) = head;
        sim::Field<uint8_t*>(head, 0) = sim::Field<uint8_t*>(head, 4) = earlier;
        Effect* effect = NewEffect(c.effect, 1, 2, 3);
        for (int i = 0; i < 12; ++i) effect->m[i / 4][i % 4] = i + 1.0f;  // rows 0 to 2, +0x2C included
        const uint8_t* owner = NewOwner(c.owner);

        FailNextNodeAllocations(c.failingNodes);
        const sim::Capture after = RunEffectListSite(owner, effect, head, holder, 1);
        sim::Registers entry = ListSiteRegisters();
        entry.ebx = sim::Address(head);
        entry.esi = sim::Address(effect);
        entry.ebp = sim::Address(owner);
        ExpectKept(after, entry);
        EXPECT_EQ(after.registers.eflags & kArithmeticFlags, kArithmeticFlags);
        std::vector<uint32_t> stack = ListSiteStack();
        stack[4] = static_cast<uint32_t>(1 + c.nodes.size());  // the host's node count
        stack[6] = sim::Address(holder);
        EXPECT_EQ(after.stack, stack);

        const ListWalk walk = ListNodes(head);
        EXPECT_TRUE(walk.wellFormed);
        ASSERT_EQ(walk.nodes.size(), 1 + c.nodes.size());
        EXPECT_EQ(walk.nodes[0].address, sim::Address(earlier));
        const auto cache = PlacedEffectRecords();
        for (size_t i = 0; i < c.nodes.size(); ++i) {
            const Expected& e = c.nodes[i];
            const Node& n = walk.nodes[i + 1];
            EXPECT_EQ(std::vector<float>({n.x, n.y, n.z}), std::vector<float>({e.x, e.y, e.z}));
            EXPECT_EQ(n.definition == effect, e.source == Host);
            if (e.source == Host) continue;
            EXPECT_NE(std::find(cache.begin(), cache.end(), Def(n.definition)), cache.end());
            EXPECT_EQ(n.definition->m[3][3], e.w) << "w from the marker";
            // A mirrored copy has the signs at +0x14, +0x20, +0x28 and +0x34 flipped; the rest is copied.
            for (int i = 0; i < 12; ++i) {
                const bool flipped = e.source == Mirrored && (i == 1 || i == 4 || i == 6 || i == 9);
                EXPECT_EQ(n.definition->m[i / 4][i % 4], flipped ? -(i + 1.0f) : i + 1.0f) << i;
            }
            EXPECT_EQ(n.definition->nameHash, effect->nameHash);
            EXPECT_EQ(std::memcmp(n.definition->opaque, effect->opaque, 12), 0);
        }
    }
}

// A placement returns an earlier record exactly when the name hash and all sixteen floats
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
        const size_t before = PlacedEffectRecords().size();
        const Definition* a = morvane::PlaceEffectAtMarker(marker, Def(first), false);
        const Definition* b = morvane::PlaceEffectAtMarker(marker, Def(second), false);
        EXPECT_EQ(a == b, c.same);
        EXPECT_EQ(PlacedEffectRecords().size() - before, c.same ? 1u : 2u);
        EXPECT_EQ(PlacedEffectRecords().back(), b);
    }
}

// The same car built twice: as many nodes, every exhaust node on the record placed the
// first time; the effect name hashed on every call, the pool handle read for every node.
TEST_F(ExhaustEffectsTest, TheSameCarBuiltTwiceReusesItsPlacedRecords) {
    uint8_t* holder = NewMarkerHolder(NewMarker(Unique(), 0, 0), NewMarker(-1, -0.5f, 0), NewMarker(-1, 0.5f, 0));
    const std::pair<const uint8_t*, Effect*> car[] = {
        {NewOwner("EXHAUST_CENTER"), NewEffect("EXHAUST_FX", 0, 0, 0)},
        {NewOwner("KIT02_EXHAUST"), NewEffect("EXHAUST_FX", 0.1f, 0.2f, 0.3f, Unique())},
        {NewOwner("BODY"), NewEffect("HEADLIGHT_FX", 2, 0, 0.5f)},
    };
    std::vector<const Effect*> builds[2];
    const size_t cacheBefore = PlacedEffectRecords().size();
    for (uint32_t build = 0; build < 2; ++build) {
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
    std::vector<uint32_t> handles(4, kPoolHandle);
    handles.insert(handles.end(), 4, kPoolHandle + 1);
    EXPECT_EQ(NodePoolHandles(), handles);
}

// Cars built on several threads at once: every thread walks the same new placements in
// the same order, each fifth followed by one of its own. Each placement ends up as one
// cache record, shared by every node placed there; every list is whole.
TEST_F(ExhaustEffectsTest, PlacementsFromSeveralThreadsAtOnce) {
    constexpr int kThreads = 8, kShared = 600, kOwn = kShared / 5, kRounds = 2;
    // A race shows only sometimes: four attempts, each with placements of its own.
    for (int attempt = 0; attempt < 4 && !HasFailure(); ++attempt) {
        std::vector<uint8_t*> markers;
        std::vector<Effect*> effects;
        const float base = Unique();
        for (int i = 0; i < kShared + kThreads * kOwn; ++i) {
            markers.push_back(NewMarker(base, static_cast<float>(i), 0));
            effects.push_back(NewEffect("EXHAUST_FX", 0, 0, static_cast<float>(i % 3)));
        }
        auto placement = [&](int t, size_t n) {  // the placement of a thread's n-th node
            const int i = static_cast<int>(n % (kShared + kOwn));
            return i % 6 == 5 ? kShared + t * kOwn + i / 6 : i - i / 6;
        };
        std::vector<uint8_t*> heads(kThreads);
        std::vector<uint32_t> counts(kThreads);
        for (auto& head : heads) head = NewEffectList();
        const size_t before = PlacedEffectRecords().size();
        std::atomic<int> waiting{kThreads};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (--waiting; waiting > 0;) std::this_thread::yield();
                for (size_t n = 0; n < kRounds * (kShared + kOwn); ++n) {
                    const int k = placement(t, n);
                    morvane::AppendEffectNode(Def(effects[k]), reinterpret_cast<morvane::host::EffectListHead*>(heads[t]),
                                              &counts[t], markers[k], k % 2 != 0);
                }
            });
        }
        for (auto& thread : threads) thread.join();

        std::vector<const Effect*> record(markers.size(), nullptr);
        for (int t = 0; t < kThreads; ++t) {
            const ListWalk walk = ListNodes(heads[t]);
            EXPECT_TRUE(walk.wellFormed);
            ASSERT_EQ(walk.nodes.size(), kRounds * (kShared + kOwn));
            EXPECT_EQ(counts[t], walk.nodes.size());
            for (size_t n = 0; n < walk.nodes.size(); ++n) {
                const int k = placement(t, n);
                if (record[k] == nullptr) record[k] = walk.nodes[n].definition;
                ASSERT_EQ(walk.nodes[n].definition, record[k]) << "thread " << t << " node " << n;
                ASSERT_EQ(record[k]->m[3][1], static_cast<float>(k));
            }
        }
        // The cache gained exactly one record per placement: none lost, none twice.
        auto added = PlacedEffectRecords();
        added.erase(added.begin(), added.begin() + before);
        std::vector<const Definition*> placed;
        for (const Effect* r : record) placed.push_back(Def(r));
        std::sort(added.begin(), added.end());
        std::sort(placed.begin(), placed.end());
        EXPECT_EQ(added, placed);
    }
}

// EAX from +0x17C, or from +0xB0 when that is null; the flags of testing the +0x17C
// value; nothing else changes.
TEST_F(ExhaustEffectsTest, PartSelectSite) {
    const struct {
        uint32_t preferred, fallback, eax, flags;  // flags: CF PF ZF SF OF
    } cases[] = {{0x1234, 0x5678, 0x1234, 0x00}, {0, 0x5678, 0x5678, 0x44}, {0x80000000, 5, 0x80000000, 0x84}, {0, 0, 0, 0x44}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preferred);
        uint8_t* record = sim::NewBlock(0x200);
        sim::Field<uint32_t>(record, 0x17C) = c.preferred;
        sim::Field<uint32_t>(record, 0xB0) = c.fallback;
        sim::Run run = SiteRun(kPartSelectSite, kPartSelectResume);
        run.registers.ebx = sim::Address(record);
        const sim::Capture after = sim::RunHostCode(run);
        ExpectKept(after, run.registers, "a");
        EXPECT_EQ(after.registers.eax, c.eax);
        EXPECT_EQ(after.registers.eflags & 0x8C5, c.flags);
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
            sim::Run run = SiteRun(site, resume);
            run.registers.ecx = sim::Address(c.part);
            run.registers.eflags = 0x202 | (c.marker ? 0x8D5 : 0x895);  // ZF the opposite of the answer
            const sim::Capture after = sim::RunHostCode(run);
            ExpectKept(after, run.registers);
            EXPECT_EQ(after.registers.eflags & kArithmeticFlags, c.marker ? 0x895u : 0x8D5u);
        }
    }
}

DWORD WINAPI TakeTheCacheLock(void*) { return static_cast<DWORD>(PlacedEffectRecords().size()); }

// A fault while the hook holds the cache's lock: the hook's call ends as a failure, the
// lock is let go (another thread takes it at once), the hook is switched off and told.
TEST_F(ExhaustEffectsTest, AFaultWhileTheCacheIsLockedLetsTheLockGo) {
    testfolders::GameFolder folder("exhaust-fault");
    morvane::SetLogPath(std::wstring(folder.path().begin(), folder.path().end()) + L"Morvane.log", "");
    morvane::ObserveFaults(GetModuleHandleA(nullptr));
    uint8_t* holder = NewMarkerHolder(NewMarker(Unique(), 0, 0), nullptr, nullptr);
    // New placements until the cache's store is full (a power of two): the next one grows it.
    size_t size = PlacedEffectRecords().size();
    for (; size < 16 || (size & (size - 1)) != 0; ++size) {
        RunEffectListSite(NewOwner("EXHAUST_CENTER"), NewEffect("EXHAUST_FX", Unique(), 0, 0), NewEffectList(), holder, 0);
    }
    testfolders::FaultAtAllocationOf(2 * size * sizeof(void*));
    uint8_t* head = NewEffectList();
    for (int call = 0; call < 2; ++call) {  // then switched off: nothing added at once
        const sim::Capture after =
            RunEffectListSite(NewOwner("EXHAUST_CENTER"), NewEffect("EXHAUST_FX", Unique(), 0, 0), head, holder, 7);
        EXPECT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_TRUE(ListNodes(head).nodes.empty());
    }
    EXPECT_EQ(testfolders::FaultAtAllocationOf(0), 0u) << "the fault happened";
    HANDLE other = CreateThread(nullptr, 0, &TakeTheCacheLock, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(other, 5000), WAIT_OBJECT_0) << "the cache's lock stayed held";
    CloseHandle(other);
    std::ifstream log(folder.path() + "Morvane.log");
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("in the hook 'adding an effect to a car's effect list' at 0x007BEBFB: contained"), std::string::npos)
        << text;
}

}  // namespace
