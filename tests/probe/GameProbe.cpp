// Not a test: the simulated game with the plug-in of the folder it is given, ending as a
// test asks (the second argument):
//   fault      the neon colour hook meets a render record at a bad address, twice, and
//              faults inside Morvane.asi: contained, the game goes on to its end.
//   gamefault  the pop-up headlight query hands a bad object to a game routine, which
//              faults: the game ends as any game whose code faulted.
//   handled    game routines probe memory under handlers of their own, hundreds of times,
//              under a hook and outside every hook; then the neon colour hook faults.
//   twofaults  two hooks fault on two threads at once while a third thread's game routine,
//              under a hook, probes memory under its own handler all the while.
//   falsemark  a game routine keeps text spelling the hooks' mark on its stack and probes
//              memory under its own handler; the neon colour hook faults beneath it.
//   callback   a game routine the pop-up headlight query calls calls back into Morvane's
//              slot camera routine with a bad buffer, which faults.
//   exit       the game exits while live profiles are being read again.
//   loaders    live profiles are read again and again while game threads load and free
//              libraries and come and go.
//   start      the game starts and ends; it prints the message box shown, if any.
//   fiber      a job fiber runs the pop-up headlight query, whose game routine switches to
//              the thread's own fiber while the car's file is saved twice and memory is
//              taken and filled; the fiber then goes on inside the hook. Status 0 where
//              the hook answered as the file says and nothing faulted.
//   longjump   a game routine under the pop-up headlight query long-jumps out of it; then
//              game code faults with no hook running: the game ends as any game would.
#include <windows.h>

#include <atomic>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "GameSites.h"
#include "HostLayout.h"
#include "Sim.h"
#include "SimCatalogue.h"
#include "SimMenus.h"
#include "SimNeon.h"
#include "Watchdog.h"

// The game's call of its slot camera routine at 0x84EB1F (a return is planted after it):
// probe_slot_camera(screen, buffer, size).
extern "C" void __cdecl probe_slot_camera(uint32_t screen, uint32_t buffer, int32_t size);
asm(R"(
    .text
    .globl _probe_slot_camera
_probe_slot_camera:
    pushl %ebp
    movl %esp, %ebp
    call 1f
    popl %ebp
    ret
1:  pushl 16(%ebp)
    pushl 12(%ebp)
    movl 8(%ebp), %ecx
    movl $0x84EB1F, %eax
    jmp *%eax
)");

namespace {

uint8_t* const kBad = reinterpret_cast<uint8_t*>(0x10);

int32_t __thiscall ProbingCarType(void*) { return sim::ProbeRead(0x10) ? 0 : -1; }
int32_t __thiscall CallingBackCarType(void*) {
    probe_slot_camera(0x1000, 0x10, 8);
    return -1;
}

// The pop-up headlight query's routine, called as the game calls it.
const uint32_t kPopUpQuery = sim::AddressOf("pop-up headlight query");
uint32_t PopUpQuery() { return sim::CallHostCode(sim::CallTarget(kPopUpQuery), {.ecx = 0x1000}).eax; }

void NeonFaultsTwice() {
    for (int i = 0; i < 2; ++i) sim::RunHostCode(sim::neon::NeonColorRun(kBad, 0));
}

// Holds the mark's bytes, then a bad place and routine, as text on the stack would.
__attribute__((noinline)) void UnderFalseMark() {
    volatile uint32_t text[8] = {0x4B4F4F48, 0x10, 0x10, 0x10, 0x4B4F4F48, 0x4B4F4F48, 0x10, 0};
    sim::ProbeRead(0x10);
    NeonFaultsTwice();
    if (text[7] != 0) std::puts("the stack was overwritten");
}

// Two hooks fault at once on two threads while another thread's game routine under a hook
// probes memory under its own handler.
void TwoFaults() {
    std::atomic<bool> done{false};
    std::thread probing([&] {
        while (!done) PopUpQuery();
    });
    sim::Global<uint32_t>(sim::layout::kCurrentCarTypePtr) = 0x10;
    void* list = sim::catalogue::NewPartList();
    std::atomic<int> ready{0};
    const auto together = [&] {
        ++ready;
        while (ready < 2) {
        }
    };
    char buffer[8];
    std::thread camera([&] {
        together();
        probe_slot_camera(0x10, sim::Address(buffer), 8);
    });
    std::thread parts([&] {
        together();
        sim::CallHostCode(sim::CallTarget(sim::AddressOf("call that lists a slot's parts")), {},
                          {72, sim::Address(list), 0, 0, 0});
    });
    camera.join();
    parts.join();
    done = true;
    probing.join();
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// Ends the game, whatever its threads hold, when it has not ended in time.
void EndIfHung(DWORD ms) {
    std::thread([ms] {
        Sleep(ms);
        const char line[] = "simulated game: hung\n";
        DWORD written;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, sizeof line - 1, &written, nullptr);
        TerminateProcess(GetCurrentProcess(), 4);
    }).detach();
}

DWORD WINAPI ShortLived(void*) { return 0; }

// The car's file saved six times, each reading waited for, while the main thread and another
// load and free libraries (holding the loader's lock much of the time) and a third starts
// threads.
// The game builds its main menu: the first hook entered starts the watch of live profiles.
void BuildMainMenu() {
    sim::PlantHostBytes(sim::menus::kAddCategoriesResume, {0x83, 0xC4, 0x04, 0xC3});  // add esp, 4; ret
    sim::CallHostCode(sim::menus::kAddCategoriesSite, {.esi = sim::Address(sim::menus::NewMainMenu())});
}

int ReadWhileThreadsLoadLibraries(const std::string& folder) {
    BuildMainMenu();
    std::atomic<bool> done{false};
    std::vector<std::thread> churn;
    churn.emplace_back([&done] {
        while (!done) FreeLibrary(LoadLibraryW(L"version.dll"));
    });
    churn.emplace_back([&done] {
        while (!done) {
            HANDLE thread = CreateThread(nullptr, 0, &ShortLived, nullptr, 0, nullptr);
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
    });
    int readings = 0;
    for (int save = 1; save <= 6; ++save) {
        std::ofstream(folder + "MorvaneCars\\CAR", std::ios::app) << "; saved " << save << "\n";
        for (const ULONGLONG saved = GetTickCount64(); readings < save && GetTickCount64() - saved < 10000;) {
            for (const ULONGLONG now = GetTickCount64(); GetTickCount64() - now < 50;) FreeLibrary(LoadLibraryW(L"msimg32.dll"));
            std::stringstream log;
            log << std::ifstream(folder + "Morvane.log").rdbuf();
            readings = static_cast<int>(Count(log.str(), "live profiles: read again"));
        }
    }
    done = true;
    for (std::thread& thread : churn) thread.join();
    std::printf("the files were read again %d times while threads loaded libraries\n", readings);
    return readings == 6 ? 0 : 5;
}

// The car's file saved (pop-up headlights on), and its reading waited for: the readings
// the log tells by then.
int SaveCarAndWait(const std::string& folder, int readings) {
    std::ofstream(folder + "MorvaneCars\\CAR", std::ios::app) << "[GENERAL]\nPopUpHeadLights = 1\n";
    for (const ULONGLONG saved = GetTickCount64(); GetTickCount64() - saved < 10000; Sleep(20)) {
        std::stringstream log;
        log << std::ifstream(folder + "Morvane.log").rdbuf();
        if (static_cast<int>(Count(log.str(), "live profiles: read again")) > readings) return readings + 1;
    }
    return readings;
}

void* gameFiber = nullptr;
int32_t carType = 0;
uint32_t fiberAnswer = 0;

// The game's car type routine, as a job system's wait inside it: the thread's own fiber runs
// meanwhile.
int32_t __thiscall CarTypeAfterAWait(void*) {
    SwitchToFiber(gameFiber);
    return carType;
}

void WINAPI Job(void*) {
    fiberAnswer = PopUpQuery();
    SwitchToFiber(gameFiber);
}

int HookOnASwitchedOutFiber(const std::string& folder) {
    sim::SetRunTimeLimit(30000);  // the query waits on its fiber while the files are read
    carType = sim::AddCarType("CAR");
    BuildMainMenu();
    int readings = SaveCarAndWait(folder, 0);
    sim::PlantJump(sim::catalogue::kGetCarType, reinterpret_cast<const void*>(&CarTypeAfterAWait));
    gameFiber = ConvertThreadToFiber(nullptr);
    void* job = CreateFiber(0, &Job, nullptr);
    SwitchToFiber(job);  // back once the hook waits in the game's routine
    readings = SaveCarAndWait(folder, readings);
    readings = SaveCarAndWait(folder, readings);
    Sleep(300);  // replaced settings are freed within a tenth of a second where none holds them
    std::vector<std::unique_ptr<uint8_t[]>> taken;
    for (size_t size = 8; taken.size() < 20000; size = size % 4096 + 24) {
        taken.emplace_back(new uint8_t[size]);
        std::memset(taken.back().get(), 0xFE, size);
    }
    SwitchToFiber(job);
    std::stringstream log;
    log << std::ifstream(folder + "Morvane.log").rdbuf();
    std::printf("the hook on the fiber answered %u after %d readings\n", fiberAnswer, readings);
    return fiberAnswer == 5 /* pop-up headlights */ && readings == 3 && Count(log.str(), "fault") == 0 ? 0 : 5;
}

jmp_buf outOfTheHook;
int32_t __thiscall CarTypeThatJumpsOut(void*) { longjmp(outOfTheHook, 1); }

// Game code that faults deeper down the stack than the hook ran.
__attribute__((noinline)) void FaultBelow() {
    volatile char frame[16384];
    frame[0] = 0;
    *reinterpret_cast<volatile int*>(0x10) = frame[0];
}

}  // namespace

int main(int argc, char** argv) {
    sim::Setup();
    if (argc < 3) return 1;
    const std::string folder = std::string(argv[1]) + "\\";
    const std::string mode = argv[2];
    if (sim::LoadPlugin(folder + "Morvane.asi") == nullptr) return 1;
    EndIfHung(20000);
    sim::PlantHostBytes(0x84EB24, {0xC3});  // the slot camera's call returns to its caller
    if (mode == "fault") {
        NeonFaultsTwice();
        std::puts("the hook came back from a bad record twice");
        return 0;
    }
    if (mode == "start") {
        const auto& boxes = sim::MessageBoxes();
        std::puts(boxes.empty() ? "no message box" : boxes[0].text.c_str());
        return 0;
    }
    if (mode == "gamefault") {
        sim::Run query;  // the game's call of its pop-up headlight query, on an object at a bad address
        query.site = kPopUpQuery;
        query.resume = kPopUpQuery + 5;
        query.registers.ecx = 0x10;
        sim::RunHostCode(query);
        std::puts("the game routine came back from a bad object");
        return 0;
    }
    if (mode == "handled" || mode == "twofaults") {
        sim::PlantJump(sim::catalogue::kGetCarType, reinterpret_cast<const void*>(&ProbingCarType));
        for (int i = 0; i < 300 && mode == "handled"; ++i) PopUpQuery(), sim::ProbeRead(0x10);
        mode == "handled" ? NeonFaultsTwice() : TwoFaults();
        std::puts("the game handled its own faults and the hooks came back");
        return 0;
    }
    if (mode == "falsemark") {
        UnderFalseMark();
        std::puts("the hook came back from a bad record twice");
        return 0;
    }
    if (mode == "callback") {
        sim::PlantJump(sim::catalogue::kGetCarType, reinterpret_cast<const void*>(&CallingBackCarType));
        PopUpQuery();
        std::puts("the slot camera came back from a bad buffer");
        return 0;
    }
    if (mode == "loaders") {
        // Ended at once: an exit that runs the libraries' detach code while the watch's thread
        // is stopped anywhere is another matter than this mode's.
        const int status = ReadWhileThreadsLoadLibraries(folder);
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), status);
    }
    if (mode == "fiber") {
        const int status = HookOnASwitchedOutFiber(folder);
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), status);
    }
    if (mode == "longjump") {
        sim::PlantJump(sim::catalogue::kGetCarType, reinterpret_cast<const void*>(&CarTypeThatJumpsOut));
        if (setjmp(outOfTheHook) == 0) PopUpQuery();
        FaultBelow();
    }
    // Other plug-ins: a library faults under a hook, bytes over a written call fault, 63 threads in one hook.
    if (mode == "libraryfault") {
        static const FARPROC length = GetProcAddress(LoadLibraryW(L"msvcrt.dll"), "strlen");
        sim::PlantJump(sim::catalogue::kGetCarType, reinterpret_cast<const void*>(+[] {
                           return reinterpret_cast<size_t(__cdecl*)(const char*)>(reinterpret_cast<void*>(length))(nullptr);
                       }));
        PopUpQuery();
    }
    if (mode == "replaced") sim::PlantHostBytes(kPopUpQuery, {0xA1, 0x10, 0, 0, 0}), sim::CallHostCode(kPopUpQuery, {});
    if (mode == "manythreads") {
        sim::Global<uint32_t>(sim::layout::kCurrentCarTypePtr) = 0x10;
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::vector<std::thread> threads(63);
        for (std::thread& thread : threads) {
            thread = std::thread([go, list = sim::Address(sim::catalogue::NewPartList())] {
                WaitForSingleObject(go, INFINITE);
                sim::CallHostCode(sim::CallTarget(sim::AddressOf("call that lists a slot's parts")), {}, {72, list, 0, 0, 0});
            });
        }
        SetEvent(go);
        for (std::thread& thread : threads) thread.join();
    }
    if (mode == "libraryfault" || mode == "replaced" || mode == "manythreads") return std::puts("the game came back"), 0;
    BuildMainMenu();
    std::ofstream(folder + "Morvane.ini", std::ios::app) << "; touched\n";
    Sleep(500);  // past the quiet period: the files are being read again
    ExitProcess(7);
}
