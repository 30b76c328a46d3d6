#pragma once
// Configurations replaced by a reading of live profiles are freed once no hook can still
// hold one. Hooks take the configuration only while their mark stands (patch/HookMarks.h),
// so once every mark that stood when a configuration was replaced has gone, no hook holds
// it: the marks of every thread, and of every fiber switched out inside a hook, are read
// from the threads' records of marks, without stopping any thread or touching its stack.
// A mark left standing for good (a thread ended inside a hook) cannot make memory pile up:
// a few replaced configurations wait at most, each for a minute at most; past that they
// are kept until the game ends, and the log says so once. The hooks pay nothing for this.
#include <cstdint>
#include <functional>
#include <vector>

#include "patch/HookMarks.h"

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
        std::vector<StandingMark> marks;  // those that stood when it was replaced, and may still
        uint64_t since;
    };
    // Tells once that replaced settings are kept: `full`, the waiting ones are at their most.
    void KeepUntilExit(bool full);
    uint64_t (*clock_)();
    std::vector<Waiting> waiting_;
    bool keptTold_ = false;
};

}  // namespace morvane
