#pragma once
// The simulated game: to the plug-in it looks like Kavra 1.4 English at the level the
// plug-in uses (image base, entry point, host routines and globals at their addresses
// with their calling conventions, records laid out as the game lays them out).
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

// ---- Set-up and observation -------------------------------------------------------

// Once per process, before anything else: fills the host range with the host routines,
// protects the code (execute-read) and takes the reference snapshot. Also starts
// recording message boxes (MessageBoxA and MessageBoxW) instead of showing them, and
// turns any unhandled exception into a line on stderr and exit status 3.
void Setup();

// Puts the host range back as the snapshot has it and forgets the model, the recorded
// calls and message boxes: a fresh game for the next plug-in.
void Reset();

// A feature's share of the simulated game, in its own file: `place` puts its host
// routines at their addresses during Setup (before the snapshot), `reset` forgets its
// model on Reset. Either may be null. Declare one as a static `ModelRegistration` in the
// model's file; models are placed and reset in `order`.
struct Model {
    const char* name;
    int order;
    void (*place)();
    void (*reset)();
};
struct ModelRegistration {
    explicit ModelRegistration(const Model& model);
};
const std::vector<Model>& Models();  // sorted by order

// Places a host routine: a jump at `site` into `routine`, which must have the game's
// calling convention. Only during a model's `place`. Each routine placed first changes
// what its calling convention lets a routine change (XMM0-7, MXCSR's and the x87's
// exception flags, all eight x87 registers), as game code may, unless switched off.
void PlaceRoutine(uint32_t site, const void* routine);
void ClobberAtHostCalls(bool on);

// Hooks may run on several game threads at once: a host routine that changes the model or
// records its calls holds this for its duration (one lock for the whole game, re-entrant).
class HostCall {
public:
    HostCall();
    ~HostCall();
    HostCall(const HostCall&) = delete;
    HostCall& operator=(const HostCall&) = delete;
};

// While set, the game's string hash, car base names, part look-up in a ride record, part
// attributes and stock test throw std::bad_alloc, as a host routine that fails inside a hook might:
// the hooks must keep it from reaching the game.
void ThrowFromHostRoutines(bool on);
// How many times they threw since the last Reset.
size_t ThrownFromHostRoutines();

// Writes bytes as the game's own code or data (the snapshot takes them too, so they
// never show as changes).
void PlantHostBytes(uint32_t address, const std::vector<uint8_t>& bytes);

struct ByteRun {
    uint32_t address;
    std::vector<uint8_t> before;
    std::vector<uint8_t> after;
};
// Every run of host bytes that differs from the snapshot (changed bytes less than four
// apart form one run).
std::vector<ByteRun> ChangedRuns();

struct MessageBoxCall {
    HWND owner;
    std::string text;  // as given to MessageBoxA, or in UTF-8 from MessageBoxW
    std::string caption;
    UINT style;
};
const std::vector<MessageBoxCall>& MessageBoxes();

// The texts handed to the host's string hash, in call order.
const std::vector<std::string>& HashedTexts();

// Game code at `site` jumps to `routine` from now on, as the game's own code (after Setup,
// where PlaceRoutine is not to be used).
void PlantJump(uint32_t site, const void* routine);
// The routine a call written at `site` (E8 rel32) leads to.
uint32_t CallTarget(uint32_t site);

// A game routine that reads the word at `address` under a handler of its own (a frame on
// the thread's exception chain), as games probe memory: false where the read faulted.
bool ProbeRead(uint32_t address);

// Protection of the page holding `address`.
DWORD ProtectionAt(uint32_t address);

// Loads a plug-in (its path in UTF-8) as the game's loader does. Answers the module, or
// null when its attach entry refused.
HMODULE LoadPlugin(const std::string& path);

// Paths are UTF-8 text on the game's side too; Windows takes them as UTF-16.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// ---- The game's model ----------------------------------------------------------------

uint32_t Hash(const std::string& text);  // the game's string hash, not recorded

struct Part {
    std::string name;
    int32_t carType;
    int32_t slot;
    bool stock;
    struct Attribute {
        uint32_t nameHash;
        int32_t value;
    };
    std::vector<Attribute> attributes;

    Part& Set(const std::string& attribute, int32_t value);
    Part& SetFloat(const std::string& attribute, float value);
};

// A ride record: the car type first, then the fitted part of each slot.
struct Ride {
    int32_t carType;
    Part* parts[128];
};

// A new car type; its 0xD0-byte record in the car-type table (host global 0xB74CCC)
// starts zeroed.
int32_t AddCarType(const std::string& baseName);
uint8_t* CarTypeRecord(int32_t carType);
// The car shown in the customization screens (through host global 0xB74320).
void SetCurrentCarType(int32_t carType);

// Zeroed memory that lives until the next Reset, for host records a test lays out.
uint8_t* NewBlock(size_t size);
// A car as drawn: a zeroed 0x4000-byte record with the ride record at +0x3F0.
uint8_t* NewRenderRecord(Ride* ride);
// The front-end object (host global 0xB77970), 0x1000 zeroed bytes, made on first use.
uint8_t* FrontEndObject();

// The host allocator (0x6A1560, cdecl size -> memory). Its memory is filled with 0xCD,
// as a fresh heap block would hold anything. The next `count` calls answer null.
void FailNextAllocations(int count);
size_t AllocationCount();
Part& AddPart(const std::string& name, int32_t carType, int32_t slot, bool stock = false);
Ride& NewRide(int32_t carType);

struct FittedByName {
    int32_t slot;
    std::string name;
};
// Every fit the host made by formatted name, in call order.
const std::vector<FittedByName>& FitsByName();

template <typename T>
T& Global(uint32_t address) { return *reinterpret_cast<T*>(static_cast<uintptr_t>(address)); }
template <typename T>
T& Field(void* record, uint32_t offset) { return *reinterpret_cast<T*>(static_cast<uint8_t*>(record) + offset); }
inline uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// ---- Running host code ---------------------------------------------------------------

struct Registers {
    uint32_t eax = 0, ecx = 0, edx = 0, ebx = 0, ebp = 0, esi = 0, edi = 0;
    uint32_t eflags = 0x202;
};
// Every general register with a value of its own (A0A0A0A0, C1C1C1C1, ...), so that a
// register a hook should keep but changes, or mixes up with another, shows.
Registers DistinctRegisters();

// A stack slot holding this value is replaced by the address of a return into the
// simulator, so that code returning through it is captured.
constexpr uint32_t kReturnToSimulator = 0xC0DE0001;

struct Run {
    uint32_t site = 0;
    uint32_t resume = 0;  // the simulator captures when execution reaches it (0: none)
    Registers registers;
    std::vector<uint32_t> stack;        // slots upward from ESP at the site
    std::vector<float> x87;             // pushed in order before the run: the last is ST(0)
    std::vector<uint32_t> xmm;          // up to 32 dwords loaded into XMM0..XMM7
    uint16_t x87Control = 0;            // the x87 control word (0: FNINIT's)
    bool x87Pending = false;            // a zero divide left pending, unmasked, after the values
    uint32_t mxcsr = 0;                 // MXCSR (0: the default)
};

enum class Exit { Resumed, Returned };

struct Capture {
    Exit exit;
    Registers registers;
    uint32_t espAtSite;     // the ESP the run started with
    uint32_t esp;           // the ESP when captured
    std::vector<long double> x87;  // ST(0) first
    uint32_t xmm[32];
    uint16_t x87Control, x87Status;
    uint32_t mxcsr;
    std::vector<uint32_t> stack;   // the run's stack slots as they are afterwards
};

// Runs host code from `site` with the given registers and stack, until execution
// reaches `resume` or returns through a kReturnToSimulator slot.
Capture RunHostCode(const Run& run);

// Calls host code at `site` as a host caller would: registers as given, `slots` (at most
// 32) above the return address, so [ESP+4] at the site is slots[0]. The code must come
// back by a return (plant one at a hook's resume address). Answers the registers and
// EFLAGS it came back with. Safe to run from many threads at once.
Registers CallHostCode(uint32_t site, const Registers& registers, const std::vector<uint32_t>& slots = {});

}  // namespace sim
