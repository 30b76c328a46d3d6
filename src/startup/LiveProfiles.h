#pragma once
// Live car profiles ("LiveProfiles = 1"): a thread of its own watches MorvaneCars and
// Morvane.ini, waits for a quiet moment after a change (an editor may save in several
// writes), reads the files again with start-up's code and puts the new configuration in
// force with one atomic store. The game never waits on it and no hook shares a lock with it.
#include <cstdint>
#include <string>

namespace morvane {

// How long the files must stay unchanged before they are read again.
constexpr uint32_t kQuietPeriodMs = 300;

// Starts watching `folder` (the plug-in's, with a trailing separator). `startupShadowFix`
// is the sibling's CarShadowFix as start-up read it. False when the folder cannot be
// watched.
bool StartLiveProfiles(const std::string& folder, int32_t startupShadowFix);

}  // namespace morvane
