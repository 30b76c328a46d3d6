#pragma once
// The configuration read again from the files while the game runs, with the code start-up
// reads them with: every car profile, with its part slots, titles and cameras, and the
// per-car values that cars without a profile take from Morvane.ini. What decided at
// start-up which game bytes were written, the steering angle and the sibling check stay
// as start-up read them: a change to them is only reported.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "config/Profiles.h"
#include "config/Settings.h"

namespace morvane {

struct ReadAgain {
    std::unique_ptr<PluginSettings> global;
    std::unique_ptr<ProfileSet> profiles;
    // The settings whose new value in the files only a restart of the game applies.
    std::vector<std::string> restartFor;
};

// `folder` holds Morvane.ini and MorvaneCars (with a trailing separator); `startup` is the
// record start-up read; `startupShadowFix` the sibling's CarShadowFix then.
ReadAgain ReadConfigurationAgain(const std::string& folder, const PluginSettings& startup, int32_t startupShadowFix);

}  // namespace morvane
