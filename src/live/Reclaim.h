#pragma once
// Configurations replaced by a reading of live profiles are freed once no hook can still
// hold one. Hooks take the configuration only while their mark is on their stack
// (patch/Ledger.h), so a thread seen with no mark on its stack, and not in Morvane's code,
// after the replacement can only take the new one from then on. Each thread of the game
// is looked at alone, stopped for the moment it takes to read its stack: everything that
// may take a lock or allocate (opening it, finding its stack) is done before it is
// stopped, and nothing but plain reads of its registers and stack while it is. A game
// thread that stays inside a hook cannot make memory pile up: a few replaced
// configurations wait at most, each for a minute at most; past that they are kept until the
// game ends, and the log says so once. The hooks pay nothing for this.
#include <cstdint>
#include <functional>
#include <vector>

namespace morvane {

class RetiredConfigurations {
public:
    static constexpr size_t kMostWaiting = 8;
    static constexpr uint64_t kLongestWaitMs = 60000;

    // `clock` answers milliseconds (GetTickCount64 unless a test sets its own).
    explicit RetiredConfigurations(uint64_t (*clock)() = nullptr);
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
        uint64_t since;
    };
    // Tells once that replaced settings are kept: `full`, the waiting ones are at their most.
    void KeepUntilExit(bool full);
    uint64_t (*clock_)();
    std::vector<Waiting> waiting_;
    bool keptTold_ = false;
};

// True when the thread, stopped, is outside every hook of Morvane's.
bool ThreadOutsideHooks(unsigned long threadId);

}  // namespace morvane
