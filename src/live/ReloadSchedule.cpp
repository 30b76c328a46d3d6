#include "live/ReloadSchedule.h"

#include <algorithm>

namespace morvane {

void ReloadSchedule::Changed(uint64_t now) {
    pending_ = true;
    lastChange_ = now;
    readAt_ = now + kQuietMs;
    pause_ = 0;
}

std::optional<uint64_t> ReloadSchedule::ReadAt() const {
    if (!pending_) return std::nullopt;
    return readAt_;
}

ReloadSchedule::After ReloadSchedule::Read(uint64_t now, bool complete) {
    if (complete) {
        pending_ = false;
        return After::Done;
    }
    pause_ = pause_ == 0 ? kFirstPauseMs : std::min<uint32_t>(pause_ * 2, kLongestPauseMs);
    if (now + pause_ > lastChange_ + kGiveUpMs) {
        pending_ = false;
        return After::GiveUp;
    }
    readAt_ = now + pause_;
    return After::TryAgain;
}

}  // namespace morvane
