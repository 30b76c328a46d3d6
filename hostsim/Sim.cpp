#include "Sim.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "Watchdog.h"
#include "HostLayout.h"

extern "C" {
// Shared with RunSite.S.
uint32_t sim_cpu_in[10];
uint32_t sim_cpu_out[10];
float sim_x87_in[8];
uint32_t sim_x87_count;
uint32_t sim_xmm_in[32];
uint16_t sim_x87_control_in;
uint32_t sim_x87_pending_in;
uint32_t sim_mxcsr_in;
uint32_t sim_clobbering = 1;
alignas(16) uint8_t sim_fx_out[512];
uint32_t sim_exit_kind;
uint32_t sim_caller_esp;
void sim_run_site();
void sim_capture_resume();
void sim_capture_return();
void sim_call_site(uint32_t site, uint32_t* registers, const uint32_t* slots);
}

namespace sim {

using namespace layout;

namespace {

std::vector<uint8_t> snapshot;
std::vector<std::string> carTypeNames;
std::vector<std::unique_ptr<Part>> parts;
std::vector<std::unique_ptr<Ride>> rides;
std::vector<std::string> hashedTexts;
std::vector<FittedByName> fits;
std::vector<MessageBoxCall> messageBoxes;
std::vector<std::unique_ptr<uint8_t[]>> blocks;
std::vector<uint8_t> carTypeTable(4096 * 0xD0);  // never reallocated: the game holds its address
int32_t currentCarType;
uint8_t* frontEndObject;
int failingAllocations;
size_t allocationCount;

std::vector<Model>& ModelList() {
    static std::vector<Model> models;
    return models;
}

uint8_t* At(uint32_t address) { return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address)); }
uint32_t AddressOf(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "simulated host: %s (error %lu)\n", what, GetLastError());
    std::abort();
}

void SetProtection(uint32_t begin, uint32_t end, DWORD protection) {
    DWORD old;
    if (!VirtualProtect(At(begin), end - begin, protection, &old)) Fail("cannot protect the host range");
}

// Code execute-read, as the game's pages are; data read-write.
void ProtectHostRange() {
    SetProtection(kHostBegin, kDataBegin, PAGE_EXECUTE_READ);
    SetProtection(kDataBegin, kHostEnd, PAGE_READWRITE);
}

void WriteJumpTo(uint32_t site, const void* destination) {
    At(site)[0] = 0xE9;
    const uint32_t displacement = AddressOf(destination) - (site + 5);
    std::memcpy(At(site + 1), &displacement, 4);
}

// Writes into host code behind the protection, then protects again.
void WriteBehindProtection(uint32_t address, const void* bytes, size_t count) {
    DWORD old;
    if (!VirtualProtect(At(address), count, PAGE_EXECUTE_READWRITE, &old)) Fail("cannot unprotect host code");
    std::memcpy(At(address), bytes, count);
    VirtualProtect(At(address), count, old, &old);
}

uint32_t SeededHash(const char* text, uint32_t seed) {
    uint32_t hash = seed;
    for (; *text; ++text) hash = hash * 33 + static_cast<uint8_t>(*text);
    return hash;
}

// ---- Host routines, with the game's calling conventions ----

bool throwFromHostRoutines;
size_t thrownFromHostRoutines;

[[noreturn]] void Throw() {
    ++thrownFromHostRoutines;
    throw std::bad_alloc();
}

uint32_t __cdecl HostStringHash(const char* text) {
    const HostCall call;
    if (throwFromHostRoutines) Throw();
    hashedTexts.emplace_back(text);
    return SeededHash(text, 0xFFFFFFFFu);
}

uint32_t __cdecl HostStringHashSeeded(const char* text, uint32_t seed) { return SeededHash(text, seed); }

const char* __cdecl HostCarTypeName(int32_t carType) {
    if (throwFromHostRoutines) Throw();
    if (carType < 0 || static_cast<size_t>(carType) >= carTypeNames.size()) return nullptr;
    return carTypeNames[static_cast<size_t>(carType)].c_str();
}

Part* __thiscall HostRideGetPart(Ride* ride, int32_t slot) {
    if (throwFromHostRoutines) Throw();
    return (slot >= 0 && slot < 128) ? ride->parts[slot] : nullptr;
}

void __thiscall HostRideSetPart(Ride* ride, int32_t slot, Part* part, int32_t) {
    if (slot >= 0 && slot < 128) ride->parts[slot] = part;
}

void __cdecl HostSetPartByFormat(void*, Ride* ride, void*, int32_t slot, int32_t, const char* format, ...) {
    const HostCall call;
    char name[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(name, sizeof name, format, arguments);
    va_end(arguments);
    fits.push_back({slot, name});
    if (ride == nullptr || slot < 0 || slot >= 128) return;
    for (auto& part : parts) {
        if (part->name == name && part->carType == ride->carType && part->slot == slot) ride->parts[slot] = part.get();
    }
}

int32_t __thiscall HostPartGetAttribute(Part* part, uint32_t hash, int32_t fallback) {
    if (throwFromHostRoutines) Throw();
    for (const auto& attribute : part->attributes) {
        if (attribute.nameHash == hash) return attribute.value;
    }
    return fallback;
}

Part::Attribute* __thiscall HostPartFindAttribute(Part* part, uint32_t hash, int32_t index) {
    for (auto& attribute : part->attributes) {
        if (attribute.nameHash == hash && index-- == 0) return &attribute;
    }
    return nullptr;
}

// A boolean: only AL carries the answer; the rest of EAX is noise.
uint32_t __thiscall HostPartIsStock(Part* part) {
    if (throwFromHostRoutines) Throw();
    return part->stock ? 0x5A5A5A01u : 0x5A5A5A00u;
}

Part* __thiscall HostFindNextCarPart(void* database, int32_t, int32_t carType, int32_t slot, int32_t, Part* previous,
                                     int32_t) {
    if (AddressOf(database) != kCarPartDatabase) return nullptr;
    bool afterPrevious = previous == nullptr;
    for (auto& part : parts) {
        if (afterPrevious && part->carType == carType && part->slot == slot) return part.get();
        if (part.get() == previous) afterPrevious = true;
    }
    return nullptr;
}

void* __cdecl HostAlloc(uint32_t size) {
    ++allocationCount;
    if (failingAllocations > 0) {
        --failingAllocations;
        return nullptr;
    }
    uint8_t* memory = NewBlock(size);
    std::memset(memory, 0xCD, size);
    return memory;
}

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    messageBoxes.push_back({owner, text ? text : "", caption ? caption : "", style});
    return IDOK;
}

int WINAPI RecordMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    messageBoxes.push_back({owner, Utf8(text ? text : L""), Utf8(caption ? caption : L""), style});
    return IDOK;
}

void PlaceHostRoutines() {
    PlaceRoutine(kStringHash, reinterpret_cast<const void*>(&HostStringHash));
    PlaceRoutine(kStringHashSeeded, reinterpret_cast<const void*>(&HostStringHashSeeded));
    PlaceRoutine(kCarTypeName, reinterpret_cast<const void*>(&HostCarTypeName));
    PlaceRoutine(kRideGetPart, reinterpret_cast<const void*>(&HostRideGetPart));
    PlaceRoutine(kRideSetPart, reinterpret_cast<const void*>(&HostRideSetPart));
    PlaceRoutine(kSetPartByFormat, reinterpret_cast<const void*>(&HostSetPartByFormat));
    PlaceRoutine(kPartGetAttribute, reinterpret_cast<const void*>(&HostPartGetAttribute));
    PlaceRoutine(kPartFindAttribute, reinterpret_cast<const void*>(&HostPartFindAttribute));
    PlaceRoutine(kPartIsStock, reinterpret_cast<const void*>(&HostPartIsStock));
    PlaceRoutine(kFindNextCarPart, reinterpret_cast<const void*>(&HostFindNextCarPart));
    PlaceRoutine(kAlloc, reinterpret_cast<const void*>(&HostAlloc));
    for (const Model& model : Models()) {
        if (model.place) model.place();
    }
}

// A crash anywhere in the process ends it with a line that says so and a nonzero status
// (left alone, Wine may end a crashed process with status 0).
LONG WINAPI ReportUnhandled(EXCEPTION_POINTERS* exception) {
    std::fprintf(stderr, "simulated game: unhandled exception 0x%08lX at 0x%08X", exception->ExceptionRecord->ExceptionCode,
                 AddressOf(exception->ExceptionRecord->ExceptionAddress));
    if (const uint32_t site = SiteRunningOnThisThread()) std::fprintf(stderr, " in game code run from 0x%08X", site);
    std::fprintf(stderr, "\n");
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Every MessageBoxA and MessageBoxW call of the process lands in a recorder instead.
void RecordMessageBoxes() {
    HMODULE user32 = LoadLibraryA("user32.dll");
    const std::pair<const char*, const void*> recorders[] = {
        {"MessageBoxA", reinterpret_cast<const void*>(&RecordMessageBox)},
        {"MessageBoxW", reinterpret_cast<const void*>(&RecordMessageBoxW)}};
    for (const auto& [name, recorder] : recorders) {
        auto* target = reinterpret_cast<uint8_t*>(GetProcAddress(user32, name));
        if (target == nullptr) Fail(name);
        uint8_t jump[5] = {0xE9};
        const uint32_t displacement = AddressOf(recorder) - (AddressOf(target) + 5);
        std::memcpy(jump + 1, &displacement, 4);
        WriteBehindProtection(AddressOf(target), jump, sizeof jump);
    }
}

}  // namespace

void Setup() {
    // Wherever the image was loaded, it covers the game's addresses.
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(At(kHostBegin), &info, sizeof info);
    if (info.State != MEM_COMMIT || info.AllocationBase != GetModuleHandleA(nullptr)) Fail("the host range is not mapped");
    SetProtection(kHostBegin, kHostEnd, PAGE_EXECUTE_READWRITE);
    PlaceHostRoutines();
    ProtectHostRange();
    snapshot.assign(At(kHostBegin), At(kHostEnd));
    RecordMessageBoxes();
    SetUnhandledExceptionFilter(&ReportUnhandled);
}

ModelRegistration::ModelRegistration(const Model& model) {
    auto& models = ModelList();
    auto at = models.begin();
    while (at != models.end() && at->order <= model.order) ++at;
    models.insert(at, model);
}

const std::vector<Model>& Models() { return ModelList(); }

// A game routine may change what the calling convention lets it (XMM0-7, the exception
// flags of MXCSR and of the x87, every x87 register, the x87 stack being empty at a call):
// each routine placed goes through a thunk that does so first, unless ClobberAtHostCalls(false).
extern "C" void sim_clobber_float_state();

void PlaceRoutine(uint32_t site, const void* routine) {
    static uint8_t* thunks = nullptr;
    static uint32_t used = 4096;
    if (used + 10 > 4096) {
        thunks = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
        if (thunks == nullptr) Fail("no memory for the routines' thunks");
        used = 0;
    }
    uint8_t* thunk = thunks + used;
    used += 10;
    thunk[0] = 0xE8;  // call sim_clobber_float_state
    const uint32_t call = AddressOf(reinterpret_cast<const void*>(&sim_clobber_float_state)) - (AddressOf(thunk) + 5);
    std::memcpy(thunk + 1, &call, 4);
    WriteJumpTo(AddressOf(thunk + 5), routine);  // jmp routine
    WriteJumpTo(site, thunk);
}


void ClobberAtHostCalls(bool on) { sim_clobbering = on; }

}  // namespace sim

// The probe's handler takes only its own read's fault, and resumes after it with EAX 0.
extern "C" char sim_probe_load[], sim_probe_resume[];
extern "C" EXCEPTION_DISPOSITION __cdecl sim_probe_handler(EXCEPTION_RECORD* record, void*, CONTEXT* context, void*) {
    if (record->ExceptionAddress != sim_probe_load || (record->ExceptionFlags & 6) != 0) return ExceptionContinueSearch;
    context->Eip = sim::AddressOf(sim_probe_resume);
    context->Eax = 0;
    return ExceptionContinueExecution;
}
extern "C" int __cdecl sim_probe_read(uint32_t address);
asm(R"(
    .text
    .globl _sim_probe_read, _sim_probe_load, _sim_probe_resume
_sim_probe_read:
    pushl $_sim_probe_handler       # the handler's frame on the thread's exception chain
    pushl %fs:0
    movl %esp, %fs:0
    movl 12(%esp), %ecx
    movl $1, %eax
_sim_probe_load:
    movl (%ecx), %edx
_sim_probe_resume:
    popl %fs:0
    addl $4, %esp
    ret
)");

namespace sim {

bool ProbeRead(uint32_t address) { return sim_probe_read(address) != 0; }

namespace {
// Re-entrant, and cheap when no other thread holds it, as the game's own routines are.
CRITICAL_SECTION& HostLock() {
    static CRITICAL_SECTION lock;
    static const bool initialised = (InitializeCriticalSection(&lock), true);
    (void)initialised;
    return lock;
}
}  // namespace

HostCall::HostCall() { EnterCriticalSection(&HostLock()); }
HostCall::~HostCall() { LeaveCriticalSection(&HostLock()); }

void ThrowFromHostRoutines(bool on) { throwFromHostRoutines = on; }
size_t ThrownFromHostRoutines() { return thrownFromHostRoutines; }

void Reset() {
    // A fresh game: no copy of a plug-in has claimed it yet.
    SetEnvironmentVariableA("MORVANE_ACTIVE_COPY", nullptr);
    SetProtection(kHostBegin, kHostEnd, PAGE_EXECUTE_READWRITE);
    std::memcpy(At(kHostBegin), snapshot.data(), snapshot.size());
    ProtectHostRange();
    carTypeNames.clear();
    parts.clear();
    rides.clear();
    hashedTexts.clear();
    fits.clear();
    messageBoxes.clear();
    blocks.clear();
    std::fill(carTypeTable.begin(), carTypeTable.end(), 0);
    currentCarType = 0;
    frontEndObject = nullptr;
    failingAllocations = 0;
    allocationCount = 0;
    throwFromHostRoutines = false;
    thrownFromHostRoutines = 0;
    for (const Model& model : Models()) {
        if (model.reset) model.reset();
    }
}

void PlantHostBytes(uint32_t address, const std::vector<uint8_t>& bytes) {
    WriteBehindProtection(address, bytes.data(), bytes.size());
    std::memcpy(snapshot.data() + (address - kHostBegin), bytes.data(), bytes.size());
}

void PlantJump(uint32_t site, const void* routine) {
    std::vector<uint8_t> jump{0xE9, 0, 0, 0, 0};
    const uint32_t displacement = AddressOf(routine) - (site + 5);
    std::memcpy(jump.data() + 1, &displacement, 4);
    PlantHostBytes(site, jump);
}

uint32_t CallTarget(uint32_t site) {
    int32_t displacement;
    std::memcpy(&displacement, At(site + 1), 4);
    return site + 5 + displacement;
}

std::vector<ByteRun> ChangedRuns() {
    std::vector<ByteRun> runs;
    const uint8_t* now = At(kHostBegin);
    const size_t size = snapshot.size();
    for (size_t i = 0; i < size;) {
        if (now[i] == snapshot[i]) {
            ++i;
            continue;
        }
        size_t end = i + 1;  // one past the last changed byte of this run
        for (size_t j = end; j < size && j < end + 4; ++j) {
            if (now[j] != snapshot[j]) end = j + 1;
        }
        runs.push_back({kHostBegin + static_cast<uint32_t>(i), {snapshot.begin() + i, snapshot.begin() + end},
                        {now + i, now + end}});
        i = end;
    }
    return runs;
}

const std::vector<MessageBoxCall>& MessageBoxes() { return messageBoxes; }
const std::vector<std::string>& HashedTexts() { return hashedTexts; }

DWORD ProtectionAt(uint32_t address) {
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(At(address), &info, sizeof info);
    return info.Protect;
}

HMODULE LoadPlugin(const std::string& path) { return LoadLibraryW(Wide(path).c_str()); }

std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');  // never more UTF-16 units than UTF-8 bytes
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    std::string utf8(wide.size() * 3, '\0');  // never more than three bytes a UTF-16 unit
    utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                        utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

uint32_t Hash(const std::string& text) { return SeededHash(text.c_str(), 0xFFFFFFFFu); }

Part& Part::Set(const std::string& attribute, int32_t value) {
    attributes.push_back({Hash(attribute), value});
    return *this;
}

Part& Part::SetFloat(const std::string& attribute, float value) {
    int32_t bits;
    std::memcpy(&bits, &value, 4);
    return Set(attribute, bits);
}

int32_t AddCarType(const std::string& baseName) {
    if (carTypeNames.size() * 0xD0 >= carTypeTable.size()) Fail("too many car types");
    carTypeNames.push_back(baseName);
    Global<uint8_t*>(kCarTypeTable) = carTypeTable.data();
    return static_cast<int32_t>(carTypeNames.size() - 1);
}

uint8_t* CarTypeRecord(int32_t carType) { return carTypeTable.data() + 0xD0 * carType; }

void SetCurrentCarType(int32_t carType) {
    currentCarType = carType;
    Global<int32_t*>(kCurrentCarTypePtr) = &currentCarType;
}

uint8_t* NewBlock(size_t size) {
    static std::mutex guard;  // host allocations may come from several threads
    const std::lock_guard<std::mutex> lock(guard);
    blocks.push_back(std::make_unique<uint8_t[]>(size));
    std::memset(blocks.back().get(), 0, size);
    return blocks.back().get();
}

uint8_t* NewRenderRecord(Ride* ride) {
    uint8_t* record = NewBlock(0x4000);
    Field<Ride*>(record, 0x3F0) = ride;
    return record;
}

uint8_t* FrontEndObject() {
    if (frontEndObject == nullptr) {
        frontEndObject = NewBlock(0x1000);
        Global<uint8_t*>(kFrontEndObjectPtr) = frontEndObject;
    }
    return frontEndObject;
}

void FailNextAllocations(int count) { failingAllocations = count; }
size_t AllocationCount() { return allocationCount; }

Part& AddPart(const std::string& name, int32_t carType, int32_t slot, bool stock) {
    parts.push_back(std::make_unique<Part>(Part{name, carType, slot, stock, {}}));
    return *parts.back();
}

Ride& NewRide(int32_t carType) {
    rides.push_back(std::make_unique<Ride>());
    Ride& ride = *rides.back();
    ride.carType = carType;
    std::memset(ride.parts, 0, sizeof ride.parts);
    return ride;
}

const std::vector<FittedByName>& FitsByName() { return fits; }

Capture RunHostCode(const Run& run) {
    // The host code's stack lives in this frame; it may grow 48 KiB below the site's ESP.
    uint32_t stackArea[16384];
    uint32_t* siteStack = stackArea + 12288;
    const size_t slots = run.stack.size();
    if (slots > 4000) Fail("too many stack slots");
    for (size_t i = 0; i < slots; ++i) {
        siteStack[i] = run.stack[i] == kReturnToSimulator ? AddressOf(reinterpret_cast<const void*>(&sim_capture_return))
                                                          : run.stack[i];
    }

    uint8_t displaced[5];
    if (run.resume != 0) {
        std::memcpy(displaced, At(run.resume), 5);
        uint8_t jump[5] = {0xE9};
        const uint32_t displacement =
            AddressOf(reinterpret_cast<const void*>(&sim_capture_resume)) - (run.resume + 5);
        std::memcpy(jump + 1, &displacement, 4);
        WriteBehindProtection(run.resume, jump, 5);
    }

    const Registers& r = run.registers;
    const uint32_t in[10] = {r.edi, r.esi, r.ebp, AddressOf(siteStack), r.ebx, r.edx, r.ecx, r.eax, r.eflags, run.site};
    std::memcpy(sim_cpu_in, in, sizeof in);
    sim_x87_count = static_cast<uint32_t>(run.x87.size() < 8 ? run.x87.size() : 8);
    for (uint32_t i = 0; i < sim_x87_count; ++i) sim_x87_in[i] = run.x87[i];
    std::memset(sim_xmm_in, 0, sizeof sim_xmm_in);
    for (size_t i = 0; i < run.xmm.size() && i < 32; ++i) sim_xmm_in[i] = run.xmm[i];
    sim_x87_control_in = run.x87Control;
    sim_x87_pending_in = run.x87Pending;
    sim_mxcsr_in = run.mxcsr;
    sim_exit_kind = 0;

    {
        const Watched watched(run.site);
        sim_run_site();
    }

    if (run.resume != 0) WriteBehindProtection(run.resume, displaced, 5);

    Capture capture{};
    capture.exit = sim_exit_kind == 2 ? Exit::Returned : Exit::Resumed;
    // PUSHAD's order, EDI first, then EFLAGS.
    capture.registers = {.eax = sim_cpu_out[7], .ecx = sim_cpu_out[6], .edx = sim_cpu_out[5], .ebx = sim_cpu_out[4],
                         .ebp = sim_cpu_out[2], .esi = sim_cpu_out[1], .edi = sim_cpu_out[0], .eflags = sim_cpu_out[8]};
    capture.espAtSite = AddressOf(siteStack);
    capture.esp = sim_cpu_out[3];
    uint16_t status;
    std::memcpy(&status, sim_fx_out + 2, 2);
    std::memcpy(&capture.x87Control, sim_fx_out, 2);
    capture.x87Status = status;
    std::memcpy(&capture.mxcsr, sim_fx_out + 24, 4);
    const unsigned top = (status >> 11) & 7;
    const uint8_t tags = sim_fx_out[4];
    for (unsigned i = 0; i < 8 && (tags >> ((top + i) & 7) & 1); ++i) {
        long double value = 0;
        std::memcpy(&value, sim_fx_out + 32 + 16 * i, 10);
        capture.x87.push_back(value);
    }
    std::memcpy(capture.xmm, sim_fx_out + 160, sizeof capture.xmm);
    capture.stack.assign(siteStack, siteStack + slots);
    return capture;
}

Registers DistinctRegisters() {
    return {.eax = 0xA0A0A0A0, .ecx = 0xC1C1C1C1, .edx = 0xD2D2D2D2, .ebx = 0xB3B3B3B3, .ebp = 0xE4E4E4E4,
            .esi = 0x5E5E5E5E, .edi = 0xD1D1D1D1};
}

Registers CallHostCode(uint32_t site, const Registers& registers, const std::vector<uint32_t>& slots) {
    if (slots.size() > 32) Fail("too many stack slots");
    uint32_t stack[32] = {};
    std::copy(slots.begin(), slots.end(), stack);
    const Registers& r = registers;
    uint32_t io[8] = {r.eax, r.ecx, r.edx, r.ebx, r.esi, r.edi, r.ebp, 0};  // the call stub's order, EFLAGS last
    {
        const Watched watched(site);
        sim_call_site(site, io, stack);
    }
    return {.eax = io[0], .ecx = io[1], .edx = io[2], .ebx = io[3], .ebp = io[6], .esi = io[4], .edi = io[5],
            .eflags = io[7]};
}

}  // namespace sim
