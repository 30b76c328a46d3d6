#include "live/Reclaim.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "log/LogFile.h"

namespace morvane {

namespace {
uint64_t TickCount() { return GetTickCount64(); }
}  // namespace

RetiredConfigurations::RetiredConfigurations(uint64_t (*clock)()) : clock_(clock != nullptr ? clock : &TickCount) {}

void RetiredConfigurations::KeepUntilExit(bool full) {
    if (std::exchange(keptTold_, true)) return;
    LogLine line;
    line.TimeAndProcess() << " live profiles: ";
    if (full) {
        line.Decimal(kMostWaiting) << " replaced settings wait to be freed, a game thread inside a hook each time";
    } else {
        line << "replaced settings waited a minute to be freed, a game thread inside a hook all along";
    }
    line << ": replaced settings are kept until the game ends";
    line.Append();
}

void RetiredConfigurations::Retire(std::function<void()> free) {
    if (waiting_.size() == kMostWaiting) return KeepUntilExit(true);
    waiting_.push_back({std::move(free), StandingMarks(), clock_()});
}

bool RetiredConfigurations::TryToFree() {
    const uint64_t now = clock_();
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        std::vector<StandingMark>& marks = it->marks;
        std::erase_if(marks, [](const StandingMark& mark) { return !StillStanding(mark); });
        if (marks.empty()) {
            it->free();
        } else if (now - it->since >= kLongestWaitMs) {
            KeepUntilExit(false);
        } else {
            ++it;
            continue;
        }
        it = waiting_.erase(it);
    }
    return !waiting_.empty();
}

}  // namespace morvane
