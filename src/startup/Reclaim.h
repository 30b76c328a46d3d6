#pragma once
// Configurations replaced by a reading of live profiles are freed once no hook can still
// hold one. Hooks take the configuration only while their mark is on their stack
// (patch/Ledger.h), so a thread seen with no mark on its stack, and not in Morvane's code,
// after the replacement can only take the new one from then on. Each thread of the game
// is looked at alone, stopped for the moment it takes to read its stack; nothing is
// allocated and no lock is taken while one is stopped. The hooks pay nothing for this.
#include <functional>
#include <vector>

namespace morvane {

class RetiredConfigurations {
public:
    // `free` lets a replaced configuration go; called once it is safe.
    void Retire(std::function<void()> free);
    // Looks at the game's threads that may still hold a retired configuration and frees
    // those that none can hold. Answers whether some are still waiting.
    bool TryToFree();
    size_t waiting() const { return waiting_.size(); }

private:
    struct Waiting {
        std::function<void()> free;
        std::vector<unsigned long> threadsToSee;  // threads not yet seen outside every hook
    };
    std::vector<Waiting> waiting_;
};

// True when the thread, stopped, is outside every hook of Morvane's.
bool ThreadOutsideHooks(unsigned long threadId);

}  // namespace morvane
