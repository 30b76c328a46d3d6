// Live car profiles: a modder edits a car's file while the game runs, and the hooks follow
// within moments, each answer from one whole configuration, never a mix.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <csetjmp>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "GameSites.h"
#include "Sim.h"
#include "SimDrawing.h"
#include "SimCatalogue.h"
#include "SimMenus.h"
#include "TestFolders.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "log/LogFile.h"
#include "patch/Ledger.h"
#include "live/LiveProfiles.h"

namespace {

using testfolders::GameFolder;
using testfolders::WaitFor;

const uint32_t kMainMenuSite = sim::AddressOf("building the main menu");
const uint32_t kMainMenuResume = kMainMenuSite + 5;
// The car's file with one attachment and one specialty slot on, or both off: the main
// menu then gets both extra categories, or neither.
const std::string kBothOn = "[PART_ATTACHMENT00]\nEnabled = 1\n[PART_LICENSE_PLATE]\nEnabled = 1\n";
const std::string kBothOff = "[PART_ATTACHMENT00]\nEnabled = 0\n[PART_LICENSE_PLATE]\nEnabled = 0\n";
const std::string kAttachmentOnly = "[PART_ATTACHMENT00]\nEnabled = 1\n";  // one category
// What is waited for happens within a second or two on a quiet machine: ten times the
// longest pause between readings of a file that cannot be read.
constexpr unsigned long kDeadlineMs = 10 * morvane::ReloadSchedule::kLongestPauseMs;
// Each reading that puts the files in force says so.
const std::string kReadAgain = "live profiles: read again after a change to ";

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

double MsSince(std::chrono::steady_clock::time_point then) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - then).count();
}

// The title the game shows for the second attachment slot of the current car.
uint32_t SecondAttachmentTitle() {
    uint8_t* entry;
    {
        const sim::HostCall call;
        entry = sim::menus::NewSlotEntry(57);
    }
    return sim::catalogue::RunAt(sim::Global<uint32_t>(sim::menus::kSlotTitleEntry), 0, sim::Address(entry),
                                 {sim::kReturnToSimulator})
        .registers.eax;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
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
    // A hundred rewrites, in bursts an editor might make, each burst followed by its reading,
    // waited for by its line in the log (this thread calls no hook while the four do).
    for (int write = 1; write <= 100; ++write) {
        const bool burstEnds = write % 10 == 0;
        Save(folder_, "MorvaneCars\\CAR", (burstEnds ? write / 10 : write) % 2 ? kBothOff : kBothOn);
        if (!burstEnds) continue;
        const size_t readings = write / 10;
        EXPECT_TRUE(WaitFor([&] { return Count(ReadLog(folder_), kReadAgain) >= readings; }, kDeadlineMs)) << write;
    }
    done = true;
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(answers[1].load(), 0u) << "one menu mixed an old and a new set";
    EXPECT_EQ(framesChanged.load(), 0u);
    EXPECT_GT(answers[0].load(), 0u);
    EXPECT_GT(answers[2].load(), 0u);
    // The last burst ended with both slots on.
    EXPECT_TRUE(WaitFor([] { return CategoriesAdded() == 2; }, kDeadlineMs));
    // Nine replaced sets, each freed soon after the threads were seen outside their hooks:
    // never eight waiting at once.
    EXPECT_EQ(Count(ReadLog(folder_), "replaced settings are kept"), 0u) << ReadLog(folder_);
}

TEST_F(LiveProfilesTest, EditsGoodAndBad) {
    const std::string profile = folder_.path() + "MorvaneCars\\CAR";
    const std::string restartTold = "live profiles: restart the game for: ";
    std::thread writer;
    std::atomic<bool> stop{false};
    struct Case {
        const char* what;
        std::function<void()> edit;
        size_t categories;    // the main menu once the edit is followed
        const char* logLine;  // told in the log since the edit (null: a reading put in force)
        size_t restarts;      // "restart the game for" lines in the log so far
    };
    const Case cases[] = {
        {"a file half written, then completed", [&] {
             Save(folder_, "MorvaneCars\\CAR", "[PART_ATTACHMENT00]\nEna");
             Save(folder_, "MorvaneCars\\CAR", kBothOff);
         }, 0, "live profiles: read again after a change to MorvaneCars\\CAR: 8 car profiles in force", 0},
        {"the file written back, not read before a quiet moment", [&] {
             const auto saving = std::chrono::steady_clock::now();
             Save(folder_, "MorvaneCars\\CAR", kBothOn);
             ASSERT_TRUE(WaitFor([] { return CategoriesAdded() == 2; }, kDeadlineMs));
             // Less a step of the watcher's clock (GetTickCount64 moves by up to 16 ms).
             EXPECT_GE(MsSince(saving), morvane::kQuietPeriodMs - 20.0) << "read before the quiet period";
         }, 2, nullptr, 0},
        {"the file emptied, as an editor saving in place does: the last good set stays", [&] {
             Save(folder_, "MorvaneCars\\CAR", "");
         }, 2, "MorvaneCars\\CAR: emptied, as while an editor saves it: the last good settings stay; tried again", 0},
        {"a folder in MorvaneCars is no profile", [&] {
             folder_.Write("MorvaneCars\\backup\\CAR", kBothOn);
             Save(folder_, "MorvaneCars\\CAR", kAttachmentOnly);
         }, 1, nullptr, 0},
        {"another program writes beside Morvane all the while: saves are still followed", [&] {
             writer = std::thread([&] {
                 for (int i = 0; !stop; ++i, Sleep(5)) folder_.Write("other.log", std::to_string(i) + "\n", true);
             });
             Save(folder_, "MorvaneCars\\CAR", kBothOn);
         }, 2, nullptr, 0},
        {"the file deleted, and the folder beside it: the car falls back to Morvane.ini", [&] {
             for (const std::string& file : {profile, folder_.path() + "MorvaneCars\\backup\\CAR"}) DeleteFileA(file.c_str());
             RemoveDirectoryA((folder_.path() + "MorvaneCars\\backup").c_str());
         }, 0, ": 7 car profiles in force", 0},
        {"Morvane.ini's per-car part follows", [&] {
             Save(folder_, "Morvane.ini", "[GENERAL]\nLiveProfiles = 1\n[MODS]\nNeon = 1\n[PART_ATTACHMENT00]\nEnabled = 1\n");
         }, 1, "live profiles: read again after a change to Morvane.ini: ", 0},  // that file alone
        {"a switch only a restart applies", [&] {
             Save(folder_, "Morvane.ini", "[GENERAL]\nLiveProfiles = 1\nFrontSteerAngle = 10\n[MODS]\nNeon = 1\nTires = 1\n");
         }, 0, "live profiles: restart the game for: Tires, FrontSteerAngle", 1},
        {"saved again as it was: not told again", [&] {
             Save(folder_, "Morvane.ini", "[GENERAL]\nLiveProfiles = 1\nFrontSteerAngle = 10\n[MODS]\nNeon = 1\nTires = 1\n; again\n");
         }, 0, nullptr, 1},
        {"the sibling's file saved, unchanged", [&] { Save(folder_, "Kavra.WidescreenFix.ini", "[MISC]\nCarShadowFix = 0\n"); },
         0, nullptr, 1},
        {"the sibling's CarShadowFix changed", [&] { Save(folder_, "Kavra.WidescreenFix.ini", "[MISC]\nCarShadowFix = 1\n"); },
         0, "CarShadowFix in ", 2},
        {"the folder deleted: the last good set stays", [&] {
             Save(folder_, "MorvaneCars\\CAR", kBothOff);
             DeleteFileA(profile.c_str());
             RemoveDirectoryA((folder_.path() + "MorvaneCars").c_str());
         }, 0, "MorvaneCars is missing: the last good settings stay; tried again for up to a minute", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t before = ReadLog(folder_).size();
        c.edit();
        // A "restart" line told wrongly just after a reading's line is counted by the next
        // case at the latest.
        const std::string told = c.logLine ? c.logLine : kReadAgain;
        EXPECT_TRUE(WaitFor([&] {
            return CategoriesAdded() == c.categories && ReadLog(folder_).find(told, before) != std::string::npos;
        }, kDeadlineMs));
        const std::string log = ReadLog(folder_);
        EXPECT_NE(log.find(told, before), std::string::npos) << log;
        EXPECT_EQ(Count(log, restartTold), c.restarts) << log;
    }
    stop = true;
    writer.join();
}

// An editor rewrites a car's file and keeps it locked for 3 s: the save reaches the hooks
// once it lets go, at the next try (within the longest pause), told once meanwhile.
TEST_F(LiveProfilesTest, ALockedSaveIsFollowedOnceTheEditorLetsGo) {
    const std::string profile = folder_.path() + "MorvaneCars\\CAR";
    HANDLE editor = CreateFileA(profile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(editor, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(editor, kBothOff.data(), static_cast<DWORD>(kBothOff.size()), &written, nullptr);
    Sleep(3000);
    EXPECT_EQ(CategoriesAdded(), 2u) << "the last good set stays";
    CloseHandle(editor);
    const auto letGo = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitFor([] { return CategoriesAdded() == 0; }, kDeadlineMs));
    std::printf("  followed %.0f ms after the editor let go\n", MsSince(letGo));
    EXPECT_EQ(Count(ReadLog(folder_), "CAR: unreadable: the last good settings stay; tried again"), 1u) << ReadLog(folder_);
}

// A dozen saves, each made just after the one before began to be read, with both cores
// busy: none is lost, and the last is followed within three times what a save made alone
// takes (twice at most: a reading a save came into is not put in force, and the files are
// read again a quiet period later).
TEST_F(LiveProfilesTest, SavesDuringReadingsAreAllFollowed) {
    for (int i = 0; i < 300; ++i) Save(folder_, "MorvaneCars\\OTHER" + std::to_string(i), kBothOn);  // readings take a while
    ASSERT_TRUE(WaitFor([&] { return ReadLog(folder_).find(kReadAgain) != std::string::npos; }, kDeadlineMs));
    std::atomic<bool> done{false};
    std::vector<std::thread> busy;
    for (int i = 0; i < 2; ++i) busy.emplace_back([&] { while (!done) {} });
    // Saves 1 to kSaves in a row; save 0 before them and kSaves + 1 after them made alone.
    constexpr int kSaves = 12;
    std::vector<std::chrono::steady_clock::time_point> saved(kSaves + 2), followed(kSaves + 2);
    std::vector<uint32_t> titles(kSaves + 2);
    for (int i = 0; i <= kSaves + 1; ++i) titles[i] = sim::Hash("CUST_" + std::to_string(i));
    int seen = -1;  // the latest save seen in force
    const auto look = [&] {
        const uint32_t title = SecondAttachmentTitle();
        for (int i = kSaves + 1; i > seen; --i) {
            if (title != titles[i]) continue;
            for (int j = seen + 1; j <= i; ++j) followed[j] = std::chrono::steady_clock::now();
            seen = i;
        }
    };
    const auto save = [&](int i) {
        saved[i] = std::chrono::steady_clock::now();
        Save(folder_, "MorvaneCars\\CAR", kBothOn + "[PART_ATTACHMENT01]\nHeader = CUST_" + std::to_string(i) + "\n");
    };
    // How long save `i` took to be followed, in ms.
    const auto followedAfter = [&](int i) {
        WaitFor([&] { look(); return seen >= i; }, kDeadlineMs);
        return seen >= i ? std::chrono::duration<double, std::milli>(followed[i] - saved[i]).count() : 1e9;
    };
    save(0);
    const double alone = followedAfter(0);
    for (int i = 1; i <= kSaves; ++i) {
        save(i);
        while (MsSince(saved[i]) < morvane::kQuietPeriodMs + 20) look();
    }
    const double last = followedAfter(kSaves);
    save(kSaves + 1);
    const double aloneAgain = followedAfter(kSaves + 1);
    done = true;
    for (std::thread& thread : busy) thread.join();
    ASSERT_EQ(seen, kSaves + 1) << "a save never followed";
    std::printf("  %d saves, the last followed after %.0f ms; alone, %.0f and %.0f ms\n", kSaves, last, alone, aloneAgain);
    EXPECT_LT(last, 3 * std::max(alone, aloneAgain));
}

// An editor saves a car's file in place as a reading begins: it empties the file, pauses,
// then writes it in pieces. Hooks on other threads meanwhile answer from the old file or the
// new one (two categories or one), never from a half-written one or no profile (none).
TEST_F(LiveProfilesTest, ASaveInPlaceIsPutInForceWhole) {
    for (int i = 0; i < 200; ++i) Save(folder_, "MorvaneCars\\OTHER" + std::to_string(i), kBothOn);  // readings take a while
    std::atomic<bool> done{false};
    std::atomic<size_t> none{0};
    std::vector<std::thread> hooks;
    for (int t = 0; t < 2; ++t) hooks.emplace_back([&] { while (!done) none += CategoriesAdded() == 0; });
    for (int save = 1; save <= 2; ++save) {  // to one category, and back to two
        const std::string& content = save % 2 ? kAttachmentOnly : kBothOn;
        Save(folder_, "MorvaneCars\\OTHER0", kBothOn);
        Sleep(morvane::kQuietPeriodMs);
        HANDLE editor = CreateFileA((folder_.path() + "MorvaneCars\\CAR").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, TRUNCATE_EXISTING, 0, nullptr);
        ASSERT_NE(editor, INVALID_HANDLE_VALUE);
        Sleep(500);
        for (size_t at = 0; at < content.size(); at += 20, Sleep(30)) {
            DWORD written = 0;
            WriteFile(editor, &content[at], static_cast<DWORD>(std::min<size_t>(20, content.size() - at)), &written, nullptr);
        }
        CloseHandle(editor);
        EXPECT_TRUE(WaitFor([&] { return CategoriesAdded() == 2u - save % 2; }, kDeadlineMs)) << save;
    }
    done = true;
    for (std::thread& thread : hooks) thread.join();
    EXPECT_EQ(none.load(), 0u) << "a half-written file, or no profile, answered";
}

// The reading's schedule, by a clock of its own: a quiet period after the last change,
// pauses growing to a longest one after a failed reading, started afresh by each change,
// given up a minute after the last change.
TEST(LiveProfiles, TheScheduleOfReadings) {
    using morvane::ReloadSchedule;
    ReloadSchedule schedule;
    EXPECT_FALSE(schedule.ReadAt());
    schedule.Changed(1000);
    schedule.Changed(1200);
    EXPECT_EQ(schedule.ReadAt(), 1500u);
    for (const uint64_t next : {1750u, 2250u, 3250u, 5250u, 7250u}) {
        EXPECT_EQ(schedule.Read(*schedule.ReadAt(), false), ReloadSchedule::After::TryAgain);
        EXPECT_EQ(schedule.ReadAt(), next);
    }
    schedule.Changed(8000);
    EXPECT_EQ(schedule.ReadAt(), 8300u);
    EXPECT_EQ(schedule.Read(8300, false), ReloadSchedule::After::TryAgain);
    EXPECT_EQ(schedule.ReadAt(), 8550u);
    EXPECT_EQ(schedule.Read(8550, true), ReloadSchedule::After::Done);
    EXPECT_FALSE(schedule.ReadAt());
    schedule.Changed(10000);
    int readings = 0;
    uint64_t last = 0;
    ReloadSchedule::After after = ReloadSchedule::After::TryAgain;
    while (after == ReloadSchedule::After::TryAgain && readings < 100) {
        last = *schedule.ReadAt();
        after = schedule.Read(last, false);
        ++readings;
    }
    EXPECT_EQ(after, ReloadSchedule::After::GiveUp);
    EXPECT_EQ(readings, 32);
    EXPECT_EQ(last, 68050u);
    EXPECT_FALSE(schedule.ReadAt());
}

// The game may end while the files are being read again: it ends as it asked. Replaced
// settings are freed while game threads load and free libraries (holding the loader's
// lock) and come and go: the game never hangs. Those a hook on a fiber switched out holds
// are not.
TEST(LiveProfiles, TheGameExitsWhileTheFilesAreReadAgain) {
    const struct {
        const char* mode;
        int profiles;
        DWORD status;
    } rows[] = {{"exit", 3000, 7}, {"loaders", 1, 0}, {"fiber", 1, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode);
        GameFolder folder("live-exit");
        folder.Write("Morvane.ini", "[GENERAL]\nLiveProfiles = 1\n");
        folder.WriteMany("MorvaneCars", row.profiles, "CAR", kBothOn);
        std::string line;
        EXPECT_EQ(testfolders::RunGameProbe(folder, row.mode, line, 60000), row.status) << line;
    }
}

// A configuration a reading replaced is freed once no hook can hold it: a hundred readings
// of one profile take less than one reading kept.
TEST(LiveProfiles, ReplacedConfigurationsAreFreed) {
    GameFolder folder("live-memory");
    folder.Write("Morvane.ini", "[GENERAL]\nLiveProfiles = 1\n");
    std::string profile;
    for (int slot = 0; slot < 12; ++slot) {
        const std::string n = (slot < 10 ? "0" : "") + std::to_string(slot);
        profile += "[PART_ATTACHMENT" + n + "]\nEnabled = 1\nHeader = CUST_" + n + "\nCamera = CAMERA_" + n + "\n";
    }
    folder.Write("MorvaneCars\\CAR", profile);
    morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
    morvane::LiveReader reader(folder.path(), *morvane::GlobalSettings(), 0);
    const auto heapBytes = [] { return static_cast<double>(testfolders::HeapBytesInUse()); };
    const auto read = [&](int readings, bool free) {
        std::string trouble;
        for (int i = 0; i < readings; ++i) {
            ASSERT_EQ(reader.ReadAndPublish(trouble), morvane::LiveReader::Outcome::InForce) << trouble;
            if (free) reader.retired().TryToFree();
            if (i % 10 == 9) sim::Reset();  // the simulated game's record of the names it hashed
        }
    };
    read(20, true);
    const double start = heapBytes();
    read(20, false);  // kept, as they were before they could be freed
    const double kept = (heapBytes() - start) / 20;
    reader.retired().TryToFree();
    EXPECT_EQ(reader.retired().waiting(), 0u);
    const double freedStart = heapBytes();
    read(100, true);
    const double freed = (heapBytes() - freedStart) / 100;
    std::printf("  memory per reading: %.0f bytes kept, %.1f bytes once freed\n", kept, freed);
    EXPECT_GT(kept, 4000.0) << "each reading's configuration weighs something";
    EXPECT_LT(freed, kept / 100) << "a hundred readings take less than one kept";
}

// A car's file an editor left empty is waited for; once the watcher gives up waiting, it
// is taken as it is. Readings add nothing to start-up's journal (its counts and cuts).
TEST(LiveProfiles, AFileLeftEmptiedIsTakenEmptyOnceWaitedFor) {
    GameFolder folder("live-emptied");
    folder.Write("Morvane.ini", "[GENERAL]\nLiveProfiles = 1\n");
    folder.Write("MorvaneCars\\CAR", kBothOn);
    folder.Write("MorvaneCars\\LONG", "[PART_ATTACHMENT01]\nHeader = " + std::string(300, 'H') + "\n");
    morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
    morvane::LoadCarProfiles(folder.path() + "MorvaneCars");
    const std::string journal = morvane::JournalText();
    morvane::LiveReader reader(folder.path(), *morvane::GlobalSettings(), 0);
    folder.Write("MorvaneCars\\CAR", "");
    using Outcome = morvane::LiveReader::Outcome;
    std::string trouble;
    for (const Outcome expected : {Outcome::Unreadable, Outcome::Unreadable}) {
        EXPECT_EQ(reader.ReadAndPublish(trouble), expected);
        EXPECT_EQ(trouble, folder.path() + "MorvaneCars\\CAR: emptied, as while an editor saves it");
    }
    reader.AcceptEmptied();
    EXPECT_EQ(reader.ReadAndPublish(trouble), Outcome::InForce) << trouble;
    EXPECT_EQ(morvane::JournalText(), journal);
}

// A game thread parked with its stack as given, until the test lets it go.
class ParkedThread {
public:
    // Parked in a wait with nothing, a running hook's mark, text spelling the mark, a copy of
    // a mark's words, a mark on a fiber switched out inside its hook, a mark a long jump left
    // behind, hooks within hooks past the slots of its record (all gone, or standing); or
    // running on in its code.
    enum class Stack { Plain, Mark, FalseMark, CopiedMark, FiberMark, LongJumpedMark, DeepMarksGone, DeepMarks, Running };
    explicit ParkedThread(Stack stack) : thread_([this, stack] { Park(stack); }) {
        while (!parked_) Sleep(1);
    }
    ~ParkedThread() {
        released_ = true;
        thread_.join();
    }
    unsigned long id() const { return id_; }

private:
    static void WINAPI InHookOnFiber(void* parked) {
        const morvane::HookMark mark(nullptr, 0x1234);
        SwitchToFiber(static_cast<ParkedThread*>(parked)->threadFiber_);
    }
    __attribute__((noinline)) static void LongJumpOutOfHook(jmp_buf& back) {
        const morvane::HookMark mark(nullptr, 0x1234);
        longjmp(back, 1);
    }
    void Park(Stack stack) {
        volatile uint32_t words[4] = {};
        std::optional<morvane::HookMark> mark;
        if (stack == Stack::Mark) mark.emplace(nullptr, 0x1234);
        if (stack == Stack::FalseMark) words[0] = morvane::HookMark::kMagic, words[1] = 0x10, words[2] = 0x10;
        if (stack == Stack::CopiedMark) {
            const morvane::HookMark real(nullptr, 0x1234);
            for (int i = 0; i < 4; ++i) words[i] = reinterpret_cast<const volatile uint32_t*>(&real)[i + 2];
        }
        std::optional<morvane::HookMark> deep[morvane::kMarkSlots + 2];
        if (stack == Stack::DeepMarksGone || stack == Stack::DeepMarks) {
            for (auto& mark : deep) mark.emplace(nullptr, 0x1234);
        }
        if (stack == Stack::DeepMarksGone) {
            for (size_t i = std::size(deep); i-- > 0;) deep[i].reset();
        }
        void* fiber = nullptr;
        if (stack == Stack::FiberMark) {
            threadFiber_ = ConvertThreadToFiber(nullptr);
            fiber = CreateFiber(0, &InHookOnFiber, this);
            SwitchToFiber(fiber);
        }
        jmp_buf back;
        if (stack == Stack::LongJumpedMark && setjmp(back) == 0) LongJumpOutOfHook(back);
        id_ = GetCurrentThreadId();
        parked_ = true;
        while (!released_) {
            if (stack != Stack::Running) Sleep(1);
        }
        if (fiber != nullptr) SwitchToFiber(fiber), DeleteFiber(fiber), ConvertFiberToThread();
    }
    std::atomic<bool> parked_{false}, released_{false};
    unsigned long id_ = 0;
    void* threadFiber_ = nullptr;
    std::thread thread_;
};

// Replaced settings are held only while a mark that stood when they were replaced still
// stands, wherever it is: bytes that spell the mark, a mark's words copied elsewhere, a
// mark a long jump abandoned never hold them; a mark on a fiber switched out does.
TEST(LiveProfiles, OnlyARunningHooksMarkKeepsReplacedSettings) {
    using Stack = ParkedThread::Stack;
    const struct {
        Stack stack;
        bool freed;
    } rows[] = {{Stack::Plain, true},     {Stack::Mark, false},          {Stack::FalseMark, true}, {Stack::CopiedMark, true},
                {Stack::FiberMark, false}, {Stack::LongJumpedMark, true}, {Stack::DeepMarksGone, true},
                {Stack::DeepMarks, false},  {Stack::Running, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.stack));
        ParkedThread parked(row.stack);
        morvane::RetiredConfigurations retired;
        bool freed = false;
        retired.Retire([&] { freed = true; });
        retired.TryToFree();
        EXPECT_EQ(freed, row.freed);
    }
}

// A game thread may read the configuration only under a hook's mark on its running stack;
// the live-profiles thread may read it freely.
TEST(LiveProfiles, TheConfigurationIsReadUnderAMark) {
    const struct {
        const char* what;
        bool (*read)();
        bool allowed;
    } rows[] = {
        {"no hook", [] { return morvane::ConfigurationReadAllowed(); }, false},
        {"in a hook", [] { const morvane::HookMark mark(nullptr, 1); return morvane::ConfigurationReadAllowed(); }, true},
        {"after a hook", [] { { const morvane::HookMark mark(nullptr, 1); } return morvane::ConfigurationReadAllowed(); }, false},
        {"the live-profiles thread", [] { morvane::ReadConfigurationFreely(); return morvane::ConfigurationReadAllowed(); }, true},
    };
    for (const auto& row : rows) {
        bool allowed = !row.allowed;
        std::thread([&] { allowed = row.read(); }).join();
        EXPECT_EQ(allowed, row.allowed) << row.what;
    }
}

uint64_t testNow = 0;

// Settings replaced while a thread stays inside a hook wait to be freed, eight at most and
// a minute at most; then they are kept until the game ends, told once.
TEST(LiveProfiles, ReplacedSettingsWaitEightAtMostAndAMinute) {
    GameFolder folder("live-kept");
    morvane::SetLogPath(std::wstring(folder.path().begin(), folder.path().end()) + L"Morvane.log", "");
    morvane::RetiredConfigurations retired([] { return testNow; });
    int freed = 0;
    {
        ParkedThread inHook(ParkedThread::Stack::Mark);
        for (int i = 0; i < 9; ++i) retired.Retire([&] { ++freed; });
        EXPECT_TRUE(retired.TryToFree());
        EXPECT_EQ(retired.waiting(), morvane::RetiredConfigurations::kMostWaiting);
        testNow += morvane::RetiredConfigurations::kLongestWaitMs - 1;
        EXPECT_TRUE(retired.TryToFree());
        testNow += 1;
        EXPECT_FALSE(retired.TryToFree());
    }
    retired.Retire([&] { ++freed; });
    retired.TryToFree();
    EXPECT_EQ(freed, 1) << "only what was replaced once the thread left its hook";
    // A thread that ended holds nothing.
    auto ending = std::make_unique<ParkedThread>(ParkedThread::Stack::Mark);
    retired.Retire([&] { ++freed; });
    EXPECT_TRUE(retired.TryToFree());
    ending.reset();
    EXPECT_FALSE(retired.TryToFree());
    EXPECT_EQ(freed, 2);
    const std::string log = folder.Read("Morvane.log");
    EXPECT_EQ(log.substr(log.find(' ') + 1), "process " + std::to_string(GetCurrentProcessId()) +
                                                 ": live profiles: 8 replaced settings wait to be freed, a game thread "
                                                 "inside a hook each time: replaced settings are kept until the game ends\n");
}

}  // namespace
