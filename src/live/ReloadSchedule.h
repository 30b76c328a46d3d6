#pragma once
// When the live profiles' watcher reads the files again. A quiet period after the last
// change that concerns them (an editor may save in several writes); a reading that met a
// file it could not read (locked by an editor, half written) is tried again after pauses
// that grow to a longest one, for as long as a modder would wait after the last change;
// every further change starts that afresh. Times are milliseconds of one clock.
#include <cstdint>
#include <optional>

namespace morvane {

class ReloadSchedule {
public:
    static constexpr uint32_t kQuietMs = 300;
    static constexpr uint32_t kFirstPauseMs = 250;
    static constexpr uint32_t kLongestPauseMs = 2000;
    static constexpr uint32_t kGiveUpMs = 60000;

    enum class After { Done, TryAgain, GiveUp };

    // A change that concerns the settings, seen at `now`.
    void Changed(uint64_t now);
    // When the files are to be read; none while nothing waits.
    std::optional<uint64_t> ReadAt() const;
    // A reading that ended at `now`; `complete` false when a file could not be read.
    After Read(uint64_t now, bool complete);

private:
    bool pending_ = false;
    uint64_t lastChange_ = 0;
    uint64_t readAt_ = 0;
    uint32_t pause_ = 0;
};

}  // namespace morvane
