// Start-up in executables other than the plain supported one: a different entry point
// must be refused; the supported entry point at another load address must be accepted.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "Sim.h"
#include "TestFolders.h"

namespace {

constexpr char kUnsupportedText[] =
    "This .exe is not supported.\nPlease use v1.4 English kavra.exe (6,88 MB (7.217.152 bytes)).";

TEST(StartupVariant, HostCheckNormalisesTheEntryPoint) {
    sim::Reset();
    testfolders::GameFolder folder(EXPECT_SUPPORTED ? "rebased" : "other-entry");
    folder.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = 30\n");
    sim::Global<float>(0xA7B668) = 0.0f;
    HMODULE plugin = sim::LoadPlugin(folder.CopyPlugin());
#if EXPECT_SUPPORTED
    EXPECT_EQ(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)), 0x300000u);
    ASSERT_NE(plugin, nullptr);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(sim::Global<float>(0xA7B668), 30.0f);
#else
    EXPECT_EQ(plugin, nullptr);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    const sim::MessageBoxCall& box = sim::MessageBoxes()[0];
    EXPECT_EQ(box.text, kUnsupportedText);
    EXPECT_NE(box.text.find('\n'), std::string::npos);
    EXPECT_EQ(box.caption, "Kavra - Morvane");
    EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(sim::ChangedRuns().empty());
    EXPECT_TRUE(sim::HashedTexts().empty()) << "nothing was read or set up";
    std::ifstream log(folder.path() + "Morvane.log");
    std::string line, text;
    while (std::getline(log, line)) text += line + "\n";
    EXPECT_NE(text.find("\ngame check: entry point 0x0087E000, not the supported 0x0087E926"), std::string::npos)
        << text;
#endif
}

}  // namespace
