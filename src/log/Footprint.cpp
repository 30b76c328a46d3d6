#include "log/Footprint.h"

#include <atomic>
#include <cstring>

namespace morvane {

namespace {

constexpr uint32_t kMaxSites = 128;
constexpr uint32_t kMaxEntries = 128;

WrittenSite sites[kMaxSites];
std::atomic<uint32_t> siteCount{0};
MadeEntry entries[kMaxEntries];
std::atomic<uint32_t> entryCount{0};
const char* currentInstaller = "start-up";

}  // namespace

void SetCurrentInstaller(const char* name) { currentInstaller = name; }
const char* CurrentInstaller() { return currentInstaller; }

void NoteWrittenSite(const char* name, uint32_t address, uint32_t size, bool call) {
    const uint32_t count = siteCount.load(std::memory_order_relaxed);
    if (count == kMaxSites) return;
    WrittenSite& site = sites[count];
    site = {name, currentInstaller, address, size < sizeof site.bytes ? size : uint32_t{sizeof site.bytes}, {}, 0};
    std::memcpy(site.bytes, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), site.size);
    site.returnAddress = call ? address + 5 : 0;
    siteCount.store(count + 1, std::memory_order_release);
}

void NoteEntry(uint32_t begin, uint32_t size, uint32_t tail, const char* name, uint32_t site) {
    const uint32_t count = entryCount.load(std::memory_order_relaxed);
    if (count == kMaxEntries) return;
    entries[count] = {begin, begin + size, tail, name, site};
    entryCount.store(count + 1, std::memory_order_release);
}

std::span<const WrittenSite> WrittenSites() { return {sites, siteCount.load(std::memory_order_acquire)}; }
std::span<const MadeEntry> MadeEntries() { return {entries, entryCount.load(std::memory_order_acquire)}; }

}  // namespace morvane
