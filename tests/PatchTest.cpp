// The patch primitives against the simulated game's protected code.
#include <gtest/gtest.h>

#include <vector>

#include "HostLayout.h"
#include "Sim.h"
#include "feature/Site.h"
#include "patch/Patch.h"

using namespace morvane;

namespace {

constexpr uint32_t kSite = sim::layout::kScratchCode;

std::vector<uint8_t> BytesAt(uint32_t address, size_t count) {
    const auto* p = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(address));
    return {p, p + count};
}

class PatchTest : public testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
};

// A row that runs Morvane's code may be decided car by car; a byte patch, written once for
// every car, may not: the compiler refuses it.
template <class Decision>
concept BytesDecidedBy = requires(Decision decision) {
    morvane::Bytes("", 0, std::span<const uint8_t>{}, decision);
};
template <class Decision>
concept CallDecidedBy = requires(Decision decision) { morvane::CallTo("", 0, nullptr, decision); };
using PerCarForceLodA = decltype(morvane::DecidedPerCar<&morvane::CarProfile::forceLodA>());
static_assert(BytesDecidedBy<morvane::Gate> && !BytesDecidedBy<PerCarForceLodA>);
static_assert(CallDecidedBy<morvane::Gate> && CallDecidedBy<PerCarForceLodA>);

TEST_F(PatchTest, RelativeJumpsCountFromTheEndOfTheInstruction) {
    WriteJump(0x7DA131, 0x7DA137);
    EXPECT_EQ(BytesAt(0x7DA131, 5), (std::vector<uint8_t>{0xE9, 0x01, 0x00, 0x00, 0x00}));
    WriteJump(0x7DA137, 0x7DA131);
    EXPECT_EQ(BytesAt(0x7DA137, 5), (std::vector<uint8_t>{0xE9, 0xF5, 0xFF, 0xFF, 0xFF}));
    WriteCall(kSite, kSite + 0x100);
    EXPECT_EQ(BytesAt(kSite, 5), (std::vector<uint8_t>{0xE8, 0xFB, 0x00, 0x00, 0x00}));
}

TEST_F(PatchTest, JumpsAndCallsAnswerThePreviousTarget) {
    // A call to kSite + 0x40 at the site.
    sim::PlantHostBytes(kSite, {0xE8, 0x3B, 0x00, 0x00, 0x00});
    EXPECT_EQ(WriteJump(kSite, 0x12345678), kSite + 0x40);
    // The jump just written is itself a previous target.
    EXPECT_EQ(WriteCall(kSite, 0x600000), 0x12345678u);

    // FF 15 / FF 25 go through a pointer slot.
    const uint32_t slot = 0xA10000;
    sim::Global<uint32_t>(slot) = 0x00ABCDEF;
    sim::PlantHostBytes(kSite + 0x10, {0xFF, 0x25, 0x00, 0x00, 0xA1, 0x00});
    EXPECT_EQ(WriteJump(kSite + 0x10, 0x600000), 0x00ABCDEFu);
    sim::PlantHostBytes(kSite + 0x20, {0xFF, 0x15, 0x00, 0x00, 0xA1, 0x00});
    EXPECT_EQ(WriteCall(kSite + 0x20, 0x600000), 0x00ABCDEFu);

    // Anything else is no branch.
    sim::PlantHostBytes(kSite + 0x30, {0xFF, 0x35, 0x00, 0x00, 0xA1, 0x00});
    EXPECT_EQ(WriteJump(kSite + 0x30, 0x600000), 0u);
    sim::PlantHostBytes(kSite + 0x40, {0x55, 0x8B, 0xEC, 0x90, 0x90});
    EXPECT_EQ(WriteJump(kSite + 0x40, 0x600000), 0u);
    EXPECT_EQ(BranchTarget(kSite + 0x40), 0x600000u);
    // push target; ret leads there too; a pointer slot that cannot be read leads nowhere.
    sim::PlantHostBytes(kSite + 0x50, {0x68, 0xEF, 0xCD, 0xAB, 0x00, 0xC3});
    EXPECT_EQ(BranchTarget(kSite + 0x50), 0x00ABCDEFu);
    sim::PlantHostBytes(kSite + 0x60, {0xFF, 0x25, 0x10, 0x00, 0x00, 0x00});
    EXPECT_EQ(BranchTarget(kSite + 0x60), 0u);
}

TEST_F(PatchTest, WritesLandExactlyAndLeaveProtectionAsItWas) {
    const DWORD codeProtection = sim::ProtectionAt(kSite);
    ASSERT_EQ(codeProtection, static_cast<DWORD>(PAGE_EXECUTE_READ));

    WriteHost8(kSite, 0xEB);
    WriteHost32(kSite + 1, 0x11223344);
    const uint8_t run[] = {0x32, 0xC0, 0xC3};
    WriteHostBytes(kSite + 5, run, 3);
    WriteNops(kSite + 8, 6);
    EXPECT_EQ(BytesAt(kSite, 14),
              (std::vector<uint8_t>{0xEB, 0x44, 0x33, 0x22, 0x11, 0x32, 0xC0, 0xC3, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90}));
    EXPECT_EQ(ReadHost8(kSite), 0xEB);
    EXPECT_EQ(ReadHost32(kSite + 1), 0x11223344u);
    EXPECT_EQ(sim::ProtectionAt(kSite), codeProtection);

    // Data pages keep their own protection too.
    const DWORD dataProtection = sim::ProtectionAt(0xA99BBC);
    WriteHost32(0xA99BBC, 3);
    EXPECT_EQ(sim::Global<int32_t>(0xA99BBC), 3);
    EXPECT_EQ(sim::ProtectionAt(0xA99BBC), dataProtection);

    // Only the bytes written changed.
    const auto runs = sim::ChangedRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].address, kSite);
    EXPECT_EQ(runs[0].after.size(), 14u);
    EXPECT_EQ(runs[1].address, 0xA99BBCu);
}

TEST_F(PatchTest, AnEmptyNopRunTouchesNothing) {
    WriteNops(kSite, 0);
    EXPECT_TRUE(sim::ChangedRuns().empty());
    ScopedUnprotect none(kSite, 0);
    EXPECT_FALSE(none.writable());
    EXPECT_EQ(sim::ProtectionAt(kSite), static_cast<DWORD>(PAGE_EXECUTE_READ));
}

TEST_F(PatchTest, NothingIsWrittenWhereProtectionCannotChange) {
    // Reserved, never committed: VirtualProtect fails there, and a write would fault.
    void* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(reserved, nullptr);
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(reserved));
    WriteHost32(address, 0xDEADBEEF);
    WriteNops(address, 16);
    const uint8_t bytes[] = {1, 2, 3};
    WriteHostBytes(address, bytes, 3);
    ScopedUnprotect scope(address, 4);
    EXPECT_FALSE(scope.writable());
    VirtualFree(reserved, 0, MEM_RELEASE);
}

TEST_F(PatchTest, SitesOfTheSupportedGameAreUsedAsNamed) {
    EXPECT_EQ(TranslateHostAddress(0x7CC6BD), 0x7CC6BDu);
    EXPECT_EQ(TranslateHostAddress(0x401000), 0x401000u);
    const AddressTranslator& translator = GetAddressTranslator();
    EXPECT_STREQ(translator.name, "Unknown Plugin Name");
    EXPECT_EQ(translator.descriptor.build, 0u);
    EXPECT_EQ(translator.descriptor.entryPoint, 0u);
    EXPECT_EQ(&translator, &GetAddressTranslator());
}

}  // namespace
