// The level-of-detail letter "A" forced per car: the game hashes a model name, seeded
// with the car's name hash, before it looks the model up; the hook changes the name's
// last letter first.
#include "parts/LevelOfDetail.h"

#include <cstring>

#include "config/Lookups.h"
#include "config/Rules.h"
#include "config/Settings.h"
#include "host/Host.h"
#include "patch/Guard.h"
#include "feature/Site.h"

namespace morvane {

using namespace host;

namespace {

// [ESP]: the model name, [ESP+4]: the seed, as pushed for the game's hash routine, which
// the site calls; the hook answers in EAX and removes the two arguments as after the call.
void ForceLodHandler(RegisterRecord& r) {
    char* text = At<char>(r.Stack(stack::model_hash::kName));
    const uint32_t seed = r.Stack(stack::model_hash::kSeed);
    // The game expects the hash whatever happens: without the forced letter at worst.
    bool hashed = false;
    Guarded(GuardPlace(r), [&] {
        r.eax = ForceLodHash(text, seed);
        hashed = true;
    });
    if (!hashed) r.eax = HostStringHashSeeded(text, seed);
    r.esp += stack::model_hash::kArgumentBytes;
}

constexpr Site kSites[] = {
    // Replaces the game's call of its seeded hash: the hook calls it with the name ending
    // in "A" where the car asks for it.
    Hook("hash of a model name (level of detail)", 0x7CDC85, &ForceLodHandler, 0x7CDC8D, {},
         DecidedPerCar<&CarProfile::forceLodA>()),
};

}  // namespace

uint32_t ForceLodHash(char* text, uint32_t seed) {
    const Configuration& config = CurrentConfiguration();
    if (text && SwitchOnForCar<&CarProfile::forceLodA>(config.ProfileInForceForNameHash(seed), config.global)) {
        const size_t length = std::strlen(text);
        if (length > 0) text[length - 1] = 'A';
    }
    return HostStringHashSeeded(text, seed);
}

void InstallLevelOfDetail() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
