#pragma once
// Live car profiles ("LiveProfiles = 1"): a thread of its own keeps a watch on the
// plug-in's folder and everything below it armed at all times, waits for a quiet moment
// after a change that concerns the settings (an editor may save in several writes), reads
// the files again with start-up's code and puts the new configuration in force with one
// atomic store. A file it cannot read is tried again for a while (ReloadSchedule.h), and
// so is one found empty that had content, as an editor leaves a file it saves in place. A
// reading a change came into is not put in force (a file may have been read half
// written): the files are read again a quiet period after the change. A replaced
// configuration is freed once no hook can hold it (Reclaim.h). The game never waits on the
// thread and no hook shares a lock with it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "live/Reclaim.h"
#include "live/ReloadSchedule.h"

namespace morvane {

// How long the files must stay unchanged before they are read again.
constexpr uint32_t kQuietPeriodMs = ReloadSchedule::kQuietMs;

// One reading of the files, as the watcher makes them.
class LiveReader {
public:
    // `folder` is the plug-in's, with a trailing separator; `startup` the record start-up
    // read; `startupShadowFix` the sibling's CarShadowFix then.
    LiveReader(std::string folder, const PluginSettings& startup, int32_t startupShadowFix);

    enum class Outcome { InForce, Unreadable, ChangedMeanwhile };
    // Reads the files and puts them in force, the configuration they replace retired. Not
    // when one could not be read or was found emptied (Unreadable: `trouble` names it, and
    // why), nor when `changedMeanwhile`, asked once the files are read, tells of a change
    // since they began to be (ChangedMeanwhile): the last good set stays.
    Outcome ReadAndPublish(std::string& trouble, const std::function<bool()>& changedMeanwhile = [] { return false; });
    // The files the last reading found emptied are taken as empty from now on: the
    // schedule gave up waiting for them.
    void AcceptEmptied();
    // The settings only a restart applies whose change was not told yet ("" when none).
    std::string RestartNews();
    // How many car profiles are in force.
    size_t profiles() const { return profiles_; }
    RetiredConfigurations& retired() { return retired_; }

private:
    std::string folder_;
    const PluginSettings& startup_;
    int32_t startupShadowFix_;
    bool settingsFileFound_ = true, profileFolderFound_ = true;
    std::string restartFor_, restartTold_;
    size_t profiles_ = 0;
    std::vector<std::string> filled_;   // the files that had content in the configuration in force, sorted
    std::vector<std::string> emptied_;  // those of them the last reading found empty
    const struct Configuration* published_ = nullptr;  // the last one this reader put in force
    RetiredConfigurations retired_;
};

// Starts watching `folder` (the plug-in's, with a trailing separator). `startupShadowFix`
// is the sibling's CarShadowFix as start-up read it. False when the folder cannot be
// watched.
bool StartLiveProfiles(const std::string& folder, int32_t startupShadowFix);

}  // namespace morvane
