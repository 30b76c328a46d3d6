// Hooks inside someone else's process: a failure inside a hook never reaches the game,
// and the hooks that run while cars are prepared and drawn run on several threads at once.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <cstring>
#include <functional>
#include <thread>

#include "GameSites.h"
#include "HostLayout.h"
#include "Sim.h"
#include "SimCatalogue.h"
#include "SimDrawing.h"
#include "SimMenus.h"
#include "SimNeon.h"
#include "SimTextures.h"
#include "SimWheels.h"
#include "TestFolders.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "effects/LightShaders.h"
#include "effects/Neon.h"
#include "effects/Textures.h"
#include "effects/WheelGeometry.h"
#include "log/LogFile.h"
#include "patch/FaultObserver.h"
#include "patch/RegisterHook.h"
#include "parts/CustomizationMenus.h"
#include "parts/KitPartNames.h"
#include "parts/PartLists.h"

namespace {

using namespace sim::textures;
using sim::drawing::Car;
using sim::drawing::DrawCar;
using sim::drawing::Frame;
using sim::drawing::MakeCar;

const sim::Registers kEntry = {0xA0, 0xC1, 0xD2, 0xB3, 0xE4, 0x5E, 0xD1, 0x202 | 0x8D5};

// A game with every drawing hook installed.
void InstallDrawingHooks() {
    sim::Reset();
    morvane::ResetCarProfiles();
    testfolders::GameFolder folder("safety");
    folder.Write("Morvane.ini",
                 "[GENERAL]\nReplaceHeadlightShader = 1\nReplaceBrakelightShader = 1\n"
                 "[MODS]\nNeon = 1\nTires = 1\nLicensePlate = 1\nCamber = 1\nTrackWidth = 1\nTireWidth = 1\n");
    morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
    morvane::InstallTextures();
    morvane::InstallLightShaders();
    morvane::InstallWheelGeometry();
    morvane::InstallNeon();
}

// Four threads draw their cars at once, as the game's threads may: each answer is the one
// the same car gets alone, and nothing crashes.
TEST(HookSafety, DrawingHooksRunOnFourThreadsAtOnce) {
    InstallDrawingHooks();
    std::vector<Car> cars;
    std::vector<Frame> alone;
    for (int i = 0; i < 4; ++i) cars.push_back(MakeCar(i));
    for (const Car& car : cars) alone.push_back(DrawCar(car));
    ASSERT_EQ(alone[1].entries[0], sim::Hash("TIRE_A"));
    ASSERT_EQ(alone[1].shadow, sim::Hash("NEON_GLOW"));
    ASSERT_EQ(alone[1].colour, 0x80C8000Bu);

    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (!(DrawCar(cars[t]) == alone[t])) ++wrong;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Whatever fails inside a hook (here the game's own routines throw), the game goes on
// as if the hook had done nothing, or with the value it would have had without the part.
TEST(HookSafety, AFailureInsideAHookNeverReachesTheGame) {
    InstallDrawingHooks();
    const Car car = MakeCar(0);
    const float width = 0.25f;
    struct Case {
        const char* what;
        sim::Run run;
        sim::Exit exit;
        uint32_t eax;         // expected EAX
        size_t x87Depth;      // the host's one value, and a result on top where one is owed
        float top;
    };
    sim::Registers r = kEntry;
    r.esi = r.ecx = sim::Address(car.render);
    const Case cases[] = {
        {"textures", {kPrepareReturn, 0, r, {sim::kReturnToSimulator}, {9.0f}, {}}, sim::Exit::Returned, r.eax, 1, 9.0f},
        {"shadow texture", sim::neon::ShadowTextureRun(car.render), sim::Exit::Resumed, 0, 0, 0},
        {"neon colour", sim::neon::NeonColorRun(car.render, 0x80000000u), sim::Exit::Resumed, 0x80000000u, 0, 0},
        {"camber", sim::wheels::CamberRun(car.ride), sim::Exit::Resumed, 0, 1, 0.0f},
        {"track width", sim::wheels::TrackWidthRun(car.render, 0, 780), sim::Exit::Resumed, 0, 1, 780 * 0.001f},
        {"tire width", sim::wheels::TireWidthRun(car.render, &width, 0), sim::Exit::Resumed, 0x3E800000u, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t before = sim::ThrownFromHostRoutines();
        sim::ThrowFromHostRoutines(true);
        const sim::Capture after = sim::RunHostCode(c.run);
        sim::ThrowFromHostRoutines(false);
        EXPECT_GT(sim::ThrownFromHostRoutines(), before) << "the failure happened inside the hook";
        EXPECT_EQ(after.exit, c.exit);
        if (c.eax != 0) {
            EXPECT_EQ(after.registers.eax, c.eax);
        } else {
            EXPECT_EQ(after.registers.eax, c.run.registers.eax) << "as on entry";
        }
        EXPECT_EQ(after.registers.edi, c.run.registers.edi);
        EXPECT_EQ(after.registers.ebp, c.run.registers.ebp);
        EXPECT_EQ(after.esp, after.espAtSite + (c.exit == sim::Exit::Returned ? 4 : 0));
        ASSERT_EQ(after.x87.size(), c.x87Depth + c.run.x87.size() - (c.x87Depth && !c.run.x87.empty() ? 1 : 0));
        if (c.x87Depth) {
            EXPECT_EQ(static_cast<float>(after.x87[0]), c.top);
        }
    }
    // Nothing was replaced by the failed texture pass.
    EXPECT_EQ(Replacement(car.render, kReplacementSlots[0].offset).replacement, 0u);
}

void CallAGameRoutine() { sim::CallHostCode(sim::layout::kStringHash, {}, {sim::Address("CHORE")}); }

// Every drawing hook, integer or floating-point, gives the game back its x87/SSE state as a
// Direct3D game keeps it (single precision, flush to zero, values in flight, XMM0-7 in use),
// though the game routines its handler (or the first hook's chores) calls change what the
// calling convention lets them;
// a float result goes on top, and an exception the game left pending stays pending.
TEST(HookSafety, EveryDrawingHookGivesTheGameItsFloatStateBack) {
    InstallDrawingHooks();
    const Car car = MakeCar(1);
    const float width = 0.25f;
    sim::Registers r = kEntry;
    r.esi = r.ecx = sim::Address(car.render);
    ShaderObject object{7};
    ShaderObject* holder = &object;
    r.edi = sim::Address(&holder);
    sim::Registers table = r;
    table.eax = 1, table.esi = 2, table.edi = 0;
    struct Case {
        const char* what;
        sim::Run run;
        bool floatResult;  // the hook pushes one
    };
    const Case cases[] = {
        {"textures (integer)", {kPrepareReturn, 0, r, {sim::kReturnToSimulator}, {9.0f}, {}}, false},
        {"light state (integer)", {kLightState, kLightStateResume, r, {}, {}, {}}, false},
        {"light shaders (integer)", {kLightShader, kLightShaderResume, r, {0, 0, 0, 0, 0, 0x2D}, {}, {}}, false},
        {"light tables (integer)", {kLightTextureSelect, kLightTextureSelectEnd, table, {}, {}, {}}, false},
        {"shadow texture", sim::neon::ShadowTextureRun(car.render), false},
        {"neon colour", sim::neon::NeonColorRun(car.render, 0x80000000u), false},
        {"camber", sim::wheels::CamberRun(car.ride), true},
        {"track width", sim::wheels::TrackWidthRun(car.render, 0, 780), true},
        {"tire width", sim::wheels::TireWidthRun(car.render, &width, 0), false},
    };
    const float deep[] = {1.25f, -3.5f};  // the game's own values, below what the site works on
    for (const Case& c : cases) {
        sim::ClobberAtHostCalls(false);
        const sim::Capture plain = sim::RunHostCode(c.run);
        sim::ClobberAtHostCalls(true);
        // The first hook's chores call Windows (starting a thread, say), as a game routine.
        if (&c == cases) morvane::RunOnFirstHook(&CallAGameRoutine);
        for (const bool pending : {false, true}) {
            if (pending && !c.floatResult) continue;
            SCOPED_TRACE(testing::Message() << c.what << (pending ? ", an exception pending" : ""));
            sim::Run run = c.run;
            run.x87.insert(run.x87.begin(), std::begin(deep), std::end(deep));
            run.x87Control = 0x007F;  // single precision, every exception masked
            run.mxcsr = 0x9FC0;       // flush to zero, denormals as zero
            run.x87Pending = pending;
            for (uint32_t i = 0; i < 32; ++i) run.xmm.push_back(0x3F800000u + i * 0x00010203u);
            const sim::Capture after = sim::RunHostCode(run);
            EXPECT_EQ(std::vector<uint32_t>(after.xmm, after.xmm + 32), run.xmm);
            EXPECT_EQ(after.mxcsr, run.mxcsr);
            EXPECT_EQ(after.x87Control, pending ? 0x007B : 0x007F);
            EXPECT_EQ(after.x87Status & 0x80FF, pending ? 0x8084 : 0) << "exception flags, ES";
            std::vector<long double> expected = plain.x87;
            expected.insert(expected.end(), {deep[1], deep[0]});
            EXPECT_EQ(after.x87, expected);
        }
    }
}

// A car drawn with no ride record (a render record whose ride is null, or no render
// record at all) gets each hook's documented default, as a car without the parts would.
TEST(HookSafety, AMissingRecordGivesTheDocumentedDefault) {
    InstallDrawingHooks();
    sim::Ride* none = nullptr;
    uint8_t* render = sim::NewRenderRecord(none);
    for (uint32_t i = 0; i < 5; ++i) Replacement(render, kReplacementSlots[i].offset) = {i, 0x100 + i, 0x200 + i};
    const float width = 0.25f;
    sim::Registers r = kEntry;
    r.esi = sim::Address(render);
    ShaderObject object{7};
    ShaderObject* holder = &object;
    r.edi = sim::Address(&holder);
    std::vector<uint32_t> list(0x78 / 4, 0);  // the texture list routine's frame: saved registers, locals, caller
    list[0x6C / 4] = sim::kReturnToSimulator;
    sim::Registers withList = kEntry;
    withList.esi = sim::Address(NewTextureList());
    struct Case {
        const char* what;
        sim::Run run;
        std::function<void(const sim::Capture&)> expect;
    };
    const Case cases[] = {
        {"textures: the game's entries stay", {kPrepareReturn, 0, r, {sim::kReturnToSimulator}, {}, {}},
         [&](const sim::Capture&) { EXPECT_EQ(Replacement(render, kReplacementSlots[0].offset).replacement, 0x100u); }},
        {"light shaders: none replaced", {kLightShader, kLightShaderResume, r, {0, 0, 0, 0, 0, 0x2D}, {}, {}},
         [](const sim::Capture& after) {
             EXPECT_TRUE(ShaderSlotCalls().empty());
             EXPECT_EQ(after.registers.eflags & 0x40, 0x40u) << "the game's own comparison";
         }},
        {"shadow texture: the plain shadow", sim::neon::ShadowTextureRun(render),
         [](const sim::Capture& after) { EXPECT_EQ(after.registers.eax, sim::Hash("CARSHADOW")); }},
        {"neon colour: none", sim::neon::NeonColorRun(render, 0x80000000u),
         [](const sim::Capture& after) { EXPECT_EQ(after.registers.eax, 0u); }},
        {"camber: none", sim::wheels::CamberRun(nullptr),
         [](const sim::Capture& after) { EXPECT_EQ(static_cast<float>(after.x87.at(0)), 0.0f); }},
        {"track width: the game's own", sim::wheels::TrackWidthRun(render, 0, 780),
         [](const sim::Capture& after) { EXPECT_EQ(static_cast<float>(after.x87.at(0)), 780 * 0.001f); }},
        {"tire width: the game's own", sim::wheels::TireWidthRun(render, &width, 3),
         [](const sim::Capture& after) { EXPECT_EQ(after.registers.eax, 0x3E800000u); }},
        {"brake light texture: nothing added", {kTextureListEpilogue, 0, withList, list, {}, {}},
         [&](const sim::Capture& after) {
             EXPECT_EQ(TextureListCount(reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(withList.esi))), 0u);
             EXPECT_EQ(after.esp, after.espAtSite + 0x70) << "the game's epilogue ran";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const sim::Capture after = sim::RunHostCode(c.run);
        EXPECT_EQ(after.exit, c.run.resume ? sim::Exit::Resumed : sim::Exit::Returned);
        EXPECT_EQ(after.registers.edi, c.run.registers.edi);
        c.expect(after);
    }
}

// The hooks the game calls as routines keep their calling convention when they fail: back
// at the caller, exactly their own arguments removed, the documented default in EAX.
TEST(HookSafety, RoutineHooksKeepTheirConventionWhenTheyFail) {
    InstallDrawingHooks();
    morvane::InstallKitPartNames();
    morvane::InstallCustomizationMenus();
    morvane::InstallPartLists();
    const int32_t type = sim::AddCarType("CAR");
    sim::SetCurrentCarType(type);
    sim::Ride& ride = sim::NewRide(type);
    sim::Part& bumper = sim::AddPart("CAR_KIT05_FRONT_BUMPER", type, 72).Set("KITNUMBER", 5);
    ride.parts[72] = &bumper;
    sim::Part& body = sim::AddPart("CAR_KIT05_BODY", type, 23).Set("KITNUMBER", 5);
    auto& customization = sim::catalogue::NewCustomization(type);
    char cameraName[64] = "unchanged";
    const uint32_t title = sim::Global<uint32_t>(sim::AddressOf("virtual table entry of a slot's title"));
    const uint32_t fit = sim::AddressOf("call that fits the dependent parts"),
                   chosen = sim::AddressOf("routine that records the chosen part"),
                   list = sim::AddressOf("call that lists a slot's parts"), camera = sim::menus::kCameraNameSite;
    struct Case {
        const char* what;
        uint32_t site, resume, ecx;
        std::vector<uint32_t> stack;
        uint32_t removed;  // bytes of arguments (and return address) the call leaves removed
    };
    const Case cases[] = {
        {"dependent parts (thiscall, 8 bytes)", fit, fit + 5, 0x1234,
         {sim::Address(&ride), sim::Address(&customization)}, 8},
        {"chosen part (thiscall, 8 bytes)", chosen, 0, sim::Address(sim::catalogue::NewMenuEntry(&body, 23)),
         {sim::kReturnToSimulator, sim::Address(&customization), 1}, 12},
        {"slot part list (cdecl)", list, list + 5, 0,
         {72, sim::Address(sim::catalogue::NewPartList()), 0, 0, 0}, 0},
        {"slot title (thiscall, virtual)", title, 0, sim::Address(sim::menus::NewSlotEntry(72)),
         {sim::kReturnToSimulator}, 4},
        {"slot camera (thiscall, 8 bytes)", camera, camera + 5, sim::Address(sim::menus::NewScreen(70)),
         {sim::Address(cameraName), sizeof cameraName}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t before = sim::ThrownFromHostRoutines();
        sim::ThrowFromHostRoutines(true);
        const sim::Capture after = sim::catalogue::RunAt(c.site, c.resume, c.ecx, c.stack);
        sim::ThrowFromHostRoutines(false);
        EXPECT_GT(sim::ThrownFromHostRoutines(), before) << "the failure happened inside the hook";
        EXPECT_EQ(after.exit, c.resume ? sim::Exit::Resumed : sim::Exit::Returned);
        EXPECT_EQ(after.esp, after.espAtSite + c.removed);
        EXPECT_TRUE(sim::catalogue::KeptRegisters(after));
    }
}

// A hardware fault in a hook's own code (here on records at a bad address) ends that call
// as a failure, on any thread: the game gets the hook's default and goes on, the hook is
// switched off (the next call gives the default at once), and the log tells it once.
TEST(HookSafety, AFaultInAHooksOwnCodeIsContainedAndSwitchesTheHookOff) {
    InstallDrawingHooks();
    morvane::InstallCustomizationMenus();
    morvane::InstallPartLists();
    testfolders::GameFolder folder("contained");
    morvane::SetLogPath(std::wstring(folder.path().begin(), folder.path().end()) + L"Morvane.log", "");
    morvane::ObserveFaults(GetModuleHandleA(nullptr));
    uint8_t* bad = reinterpret_cast<uint8_t*>(0x10);
    char camera[8] = "x";
    auto* list = sim::catalogue::NewPartList();
    struct Case {
        const char* what;
        std::function<sim::Capture()> run;
        std::function<void(const sim::Capture&)> expect;
        const char* told;  // the hook as the log names it
    };
    const Case cases[] = {
        {"neon colour: a register hook, registers as on entry",
         [&] { return sim::RunHostCode(sim::neon::NeonColorRun(bad, 0x80000000u)); },
         [](const sim::Capture& after) {
             EXPECT_EQ(after.exit, sim::Exit::Resumed);
             EXPECT_EQ(after.registers.eax, 0x80000000u);
             EXPECT_EQ(after.esp, after.espAtSite);
         },
         "'the shadow's colour' at 0x007BEA68"},
        {"track width: guarded work, the game's own offset",
         [&] { return sim::RunHostCode(sim::wheels::TrackWidthRun(bad, 0, 780)); },
         [](const sim::Capture& after) {
             ASSERT_EQ(after.x87.size(), 1u);
             EXPECT_EQ(static_cast<float>(after.x87[0]), 780 * 0.001f);
         },
         "'track width' at 0x007CB85F"},
        {"slot camera: a thiscall routine",
         [&] {
             const uint32_t site = sim::menus::kCameraNameSite;
             return sim::catalogue::RunAt(site, site + 5, 0x10, {sim::Address(camera), 8});
         },
         [&](const sim::Capture& after) {
             EXPECT_EQ(after.esp, after.espAtSite + 8);
             EXPECT_EQ(camera[0], '\0');
             EXPECT_TRUE(sim::catalogue::KeptRegisters(after));
         },
         "'call for a slot's camera' at 0x0084EB1F"},
        {"slot part list: a cdecl routine",
         [&] {
             sim::Global<uint32_t>(sim::layout::kCurrentCarTypePtr) = 0x10;
             const uint32_t site = sim::AddressOf("call that lists a slot's parts");
             return sim::catalogue::RunAt(site, site + 5, 0, {72, sim::Address(list), 0, 0, 0});
         },
         [](const sim::Capture& after) {
             EXPECT_EQ(after.registers.eax, 0u);
             EXPECT_EQ(after.esp, after.espAtSite);
         },
         "'call that lists a slot's parts' at 0x0085FA37"},
        {"shadow texture on a drawing thread",
         [&] {
             sim::Capture after;
             std::thread([&] { after = sim::RunHostCode(sim::neon::ShadowTextureRun(bad)); }).join();
             return after;
         },
         [&](const sim::Capture& after) { EXPECT_EQ(after.exit, sim::Exit::Resumed); }, "'the shadow's texture' at 0x007E5A6A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.expect(c.run());
        c.expect(c.run());  // switched off: the default at once
    }
    std::stringstream log;
    log << std::ifstream(folder.path() + "Morvane.log").rdbuf();
    for (const Case& c : cases) {
        const std::string told = std::string(" in the hook ") + c.told + ": contained, the game goes on and the hook is switched off;";
        const size_t first = log.str().find(told);
        EXPECT_NE(first, std::string::npos) << c.what << "\n" << log.str();
        EXPECT_EQ(log.str().find(told, first + 1), std::string::npos) << "told once: " << c.what;
    }
}

// A load at a bad address in code that is Morvane's here (the test's image), made outside
// every hook, in a routine the unwinder can step through: code a hook could throw from.
// `word` lies on the stack meanwhile, as a return address would.
extern "C" uint32_t __cdecl outside_load(uint32_t address, uint32_t word);
asm(R"(
    .text
    .globl _outside_load, _outside_load_at, _outside_load_resume
_outside_load:
    .cfi_startproc
    movl 4(%esp), %ecx
    pushl 8(%esp)
    .cfi_adjust_cfa_offset 4
_outside_load_at:
    movl (%ecx), %eax
_outside_load_resume:
    addl $4, %esp
    .cfi_adjust_cfa_offset -4
    ret
    .cfi_endproc
)");
extern "C" char outside_load_at[], outside_load_resume[];

// The game's own handler of that fault: the load answers 0xDEAD.
LONG CALLBACK GameHandlesTheLoad(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionAddress != outside_load_at) return EXCEPTION_CONTINUE_SEARCH;
    info->ContextRecord->Eip = sim::Address(outside_load_resume);
    info->ContextRecord->Eax = 0xDEAD;
    return EXCEPTION_CONTINUE_EXECUTION;
}

// A fault in Morvane's code outside every hook (start-up, the live profiles' thread) is no
// hook's to contain: it is told, and goes on as the game would have it. One below the
// return from a written call (a call is 5 bytes) names that hook. Met again, it is counted.
TEST(HookSafety, AFaultOutsideEveryHookIsLeftToTheGame) {
    InstallDrawingHooks();
    morvane::InstallPartLists();
    testfolders::GameFolder folder("outside");
    morvane::SetLogPath(std::wstring(folder.path().begin(), folder.path().end()) + L"Morvane.log", "");
    morvane::ObserveFaults(GetModuleHandleA(nullptr));
    void* handler = AddVectoredExceptionHandler(0, &GameHandlesTheLoad);
    const uint32_t listCall = sim::AddressOf("call that lists a slot's parts");
    uint32_t loaded = 0;
    try {
        loaded = outside_load(0x10, listCall + 5);
    } catch (...) {
        loaded = 1;  // contained, as if a hook had faulted
    }
    EXPECT_EQ(outside_load(0x10, listCall + 5) + outside_load(0x10, listCall + 5), 2 * 0xDEADu);
    RemoveVectoredExceptionHandler(handler);
    EXPECT_EQ(loaded, 0xDEADu);
    morvane::LogRepeatedFaults();
    const std::string log = folder.Read("Morvane.log"), told = " in the hook 'call that lists a slot's parts' at 0x0085FA37";
    EXPECT_NE(log.find(" in the hook 'call that lists a slot's parts' at 0x0085FA37; EAX="), std::string::npos) << log;
    EXPECT_EQ(log.find(told + "; EAX="), log.rfind(told + "; EAX=")) << log;
    EXPECT_NE(log.find(told + ": 3 faults, told once\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("contained"), std::string::npos) << log;
}

}  // namespace
