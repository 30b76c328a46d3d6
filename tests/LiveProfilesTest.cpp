// Live car profiles: a modder edits a car's file while the game runs, and the hooks follow
// within moments, each answer from one whole configuration, never a mix.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "Sim.h"
#include "SimDrawing.h"
#include "SimMenus.h"
#include "TestFolders.h"

namespace {

using testfolders::GameFolder;

constexpr uint32_t kMainMenuSite = 0x83FBF1;
constexpr uint32_t kMainMenuResume = 0x83FBF6;
// The car's file with one attachment and one specialty slot on, or both off: the main
// menu then gets both extra categories, or neither.
const std::string kBothOn = "[PART_ATTACHMENT00]\nEnabled = 1\n[PART_LICENSE_PLATE]\nEnabled = 1\n";
const std::string kBothOff = "[PART_ATTACHMENT00]\nEnabled = 0\n[PART_LICENSE_PLATE]\nEnabled = 0\n";

// The game builds its main menu, from any thread: how many categories the hook added.
size_t CategoriesAdded() {
    uint8_t* menu;
    {
        const sim::HostCall call;
        menu = sim::menus::NewMainMenu();
    }
    sim::Registers r;
    r.esi = sim::Address(menu);
    sim::CallHostCode(kMainMenuSite, r);
    const sim::HostCall call;
    return sim::menus::MenuItems(menu).size();
}

// Saves a file as an editor does: again a moment later while another program reads it.
void Save(const GameFolder& folder, const std::string& name, const std::string& content) {
    for (int attempt = 0;; ++attempt) {
        try {
            folder.Write(name, content);
            return;
        } catch (const std::runtime_error&) {
            if (attempt == 50) throw;
            Sleep(20);
        }
    }
}

bool Within(std::chrono::milliseconds limit, const std::function<bool()>& holds) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!holds()) {
        if (std::chrono::steady_clock::now() > end) return false;
        Sleep(20);
    }
    return true;
}

std::string ReadLog(const GameFolder& folder) {
    std::ifstream file(folder.path() + "Morvane.log");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class LiveProfilesTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        // Where the game goes on after its main menu is built: it drops the value the
        // hook's entry pushed for it, and returns to the caller.
        sim::PlantHostBytes(kMainMenuResume, {0x83, 0xC4, 0x04, 0xC3});  // add esp, 4; ret
        sim::SetCurrentCarType(sim::AddCarType("CAR"));
        folder_.Write("Morvane.ini", "[GENERAL]\nLiveProfiles = 1\n[MODS]\nNeon = 1\n");
        Save(folder_, "MorvaneCars\\CAR", kBothOn);
        ASSERT_NE(sim::LoadPlugin(folder_.CopyPlugin()), nullptr);
        ASSERT_EQ(CategoriesAdded(), 2u);
    }

    GameFolder folder_{"live"};
};

TEST_F(LiveProfilesTest, HooksOnFourThreadsAnswerFromTheOldOrTheNewSet) {
    std::atomic<bool> done{false};
    std::atomic<size_t> answers[3] = {};  // by the number of categories added
    std::atomic<size_t> framesChanged{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            while (!done) ++answers[std::min<size_t>(CategoriesAdded(), 2)];
        });
    }
    // The drawing hooks (textures, lights, neon) on the fourth: what they answer follows the
    // settings a reload leaves as they are, so every frame is the first one.
    const sim::drawing::Car car = sim::drawing::MakeCar(0);
    const sim::drawing::Frame first = sim::drawing::DrawCar(car);
    threads.emplace_back([&] {
        while (!done) framesChanged += !(sim::drawing::DrawCar(car) == first);
    });
    // A hundred rewrites, in bursts an editor might make, each burst followed by a pause
    // long enough for the files to be read again.
    for (int write = 1; write <= 100; ++write) {
        const bool burstEnds = write % 10 == 0;
        Save(folder_, "MorvaneCars\\CAR", (burstEnds ? write / 10 : write) % 2 ? kBothOff : kBothOn);
        if (burstEnds) Sleep(450);
    }
    done = true;
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(answers[1].load(), 0u) << "one menu mixed an old and a new set";
    EXPECT_EQ(framesChanged.load(), 0u);
    EXPECT_GT(answers[0].load(), 0u);
    EXPECT_GT(answers[2].load(), 0u);
    // The last burst ended with both slots on.
    EXPECT_TRUE(Within(std::chrono::milliseconds(2000), [] { return CategoriesAdded() == 2; }));
}

TEST_F(LiveProfilesTest, EditsGoodAndBad) {
    const std::string profile = folder_.path() + "MorvaneCars\\CAR";
    struct Case {
        const char* what;
        std::function<void()> edit;
        size_t categories;    // the main menu within 2 s
        const char* logLine;  // then told in the log
    };
    HANDLE locked = INVALID_HANDLE_VALUE;
    const Case cases[] = {
        {"a file half written, then completed", [&] {
             Save(folder_, "MorvaneCars\\CAR", "[PART_ATTACHMENT00]\nEna");
             Save(folder_, "MorvaneCars\\CAR", kBothOff);
         }, 0, "live profiles: read again: 8 car profiles in force"},
        {"the file written back", [&] { Save(folder_, "MorvaneCars\\CAR", kBothOn); }, 2, nullptr},
        {"the file deleted: the car falls back to Morvane.ini", [&] { DeleteFileA(profile.c_str()); }, 0,
         "live profiles: read again: 7 car profiles in force"},
        {"a switch only a restart applies", [&] {
             Save(folder_, "Morvane.ini", "[GENERAL]\nLiveProfiles = 1\nFrontSteerAngle = 10\n[MODS]\nNeon = 1\nTires = 1\n");
         }, 0, "live profiles: restart the game for: Tires, FrontSteerAngle"},
        {"the file back, locked by an editor: the last good set stays", [&] {
             Save(folder_, "MorvaneCars\\CAR", kBothOn);
             Sleep(700);
             locked = CreateFileA(profile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
             Save(folder_, "Morvane.ini", "[GENERAL]\nLiveProfiles = 1\n; saved again\n");
         }, 2, "CAR: unreadable: the last good settings stay"},
        {"the folder deleted: the last good set stays", [&] {
             CloseHandle(locked);
             Sleep(1000);  // the file is read again, now that the editor let it go
             DeleteFileA(profile.c_str());
             RemoveDirectoryA((folder_.path() + "MorvaneCars").c_str());
         }, 2, "MorvaneCars is missing: the last good settings stay"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.edit();
        Sleep(700);  // past the quiet period and a reading
        EXPECT_TRUE(Within(std::chrono::milliseconds(2000), [&] { return CategoriesAdded() == c.categories; }));
        if (c.logLine) EXPECT_NE(ReadLog(folder_).find(c.logLine), std::string::npos) << ReadLog(folder_);
    }
}

// The game may end while the files are being read again: it ends as it asked.
TEST(LiveProfiles, TheGameExitsWhileTheFilesAreReadAgain) {
    GameFolder folder("live-exit");
    folder.Write("Morvane.ini", "[GENERAL]\nLiveProfiles = 1\n");
    for (int i = 0; i < 3000; ++i) folder.Write("MorvaneCars\\CAR" + std::to_string(i), kBothOn);
    std::string line;
    EXPECT_EQ(testfolders::RunGameProbe(folder, "exit", line, 30000), 7u) << line;
}

}  // namespace
