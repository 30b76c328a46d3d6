// The checker's run: the folder made the settings folder, the settings read by the
// plug-in's own start-up steps with every line heard, then the checks and the report.
#include "Checker.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "CheckHost.h"
#include "Scan.h"
#include "Version.h"
#include "config/Files.h"
#include "config/Profiles.h"
#include "config/Settings.h"

namespace morvane::check {

namespace {

namespace fs = std::filesystem;

class Checker {
public:
    explicit Checker(std::ostream& out) : out_(out) {}

    CheckResult Run(const std::string& folder);

private:
    bool UseFolder(const std::string& folder);
    bool ReadSettings();

    std::ostream& out_;
    std::string folder_;  // in the plug-in's form, without a closing separator
    WarningList warnings_;
    std::vector<std::unique_ptr<ScannedFile>> opened_;  // every file read, in reading order
    FolderRead read_;
    bool leftOut_ = false;
};

CheckResult Checker::Run(const std::string& folder) {
    out_ << "MorvaneCheck " << kMorvaneVersion << ": " << Printable(folder) << "\n";
    auto unreadable = [&]() -> CheckResult {
        out_ << "Exit status " << kFolderUnreadable << ": the folder cannot be read.\n";
        return {kFolderUnreadable, {}};
    };
    if (!UseFolder(folder)) return unreadable();
    const PluginPlace place = CheckGameFiles(folder_, out_, warnings_);
    SetSettingsFolder(place.game, place.folder);
    // The sibling plug-in's files first, as start-up reads them, wherever a loader looks.
    const size_t firstSibling = opened_.size();
    const std::vector<SiblingFile> siblings = FindSiblingFiles();
    if (siblings.empty()) out_ << "Sibling plug-in settings: no " << kSiblingFile << ", no conflict\n";
    for (size_t i = 0; i < siblings.size() && firstSibling + i < opened_.size(); ++i) {
        CheckSibling(*opened_[firstSibling + i], siblings[i].shadowSetting, out_, warnings_);
    }
    if (!ReadSettings()) return unreadable();
    CheckSettings(read_, warnings_);
    ReportSettings(read_, out_);
    CheckLastRun(place.game, place.found, out_, warnings_);
    return ReportWarnings(warnings_, leftOut_, out_);
}

// Makes `folder` the one the configuration code reads from, as if the plug-in lay there,
// and hears every file it reads from now on; false when the folder cannot be read.
bool Checker::UseFolder(const std::string& folder) {
    // The folder's name is UTF-8 text on every system.
    std::error_code error;
    fs::path root = fs::absolute(fs::path(std::u8string(folder.begin(), folder.end())), error).lexically_normal();
    root.make_preferred();
    const std::u8string rootName = root.u8string();
    std::string rootText(rootName.begin(), rootName.end());
    while (rootText.size() > 1 && (rootText.back() == '\\' || rootText.back() == kSeparator)) rootText.pop_back();
    const PathFacts facts = LookUpPath(rootText);
    if (error || !facts.listable) {
        const char* why = !facts.exists ? "not found" : !facts.directory ? "not a folder" : "it cannot be listed";
        out_ << "The folder cannot be read: " << (error ? error.message() : why) << "\n";
        return false;
    }
    folder_ = rootText;
    SetCarTypeNames({});
    // Every file the configuration code reads is heard line by line, in reading order.
    SetLineObserver([this](const std::string& path) {
        opened_.push_back(std::make_unique<ScannedFile>(path));
        return opened_.back().get();
    });
    SetLeftOutObserver([this](const std::string& where, const std::string& what) {
        leftOut_ = true;
        warnings_.Add(Trap::LeftOut, RelativeToSettingsFolder(where), 0, what,
                      "keep in the folder only Morvane's settings: a settings file takes a few KB, a car's profile is "
                      "one such file in " + std::string(kProfileDirectory) + ", named as the car");
    });
    return true;
}

// The plug-in's own start-up steps, in its order: one file for the global settings, then
// one per entry of the profile folder. Car type n is then the n-th profile's car.
bool Checker::ReadSettings() {
    ResetCarProfiles();
    const size_t globalFile = opened_.size();
    LoadGlobalSettings();
    const size_t firstProfileFile = opened_.size();
    LoadCarProfiles();
    const size_t fromFolder = CarProfiles().size();
    AddBuiltInProfiles();
    SetLineObserver(nullptr);
    SetLeftOutObserver(nullptr);
    if (opened_.size() != firstProfileFile + fromFolder || firstProfileFile != globalFile + 1) {
        out_ << "The settings were read in an unexpected way: " << opened_.size() << " files\n";
        return false;
    }
    std::vector<std::string> names;
    for (const CarProfile& p : CarProfiles()) names.push_back(p.name);
    SetCarTypeNames(names);
    read_.global = opened_[globalFile].get();
    for (size_t i = 0; i < fromFolder; ++i) read_.profileFiles.push_back(opened_[firstProfileFile + i].get());
    return true;
}

}  // namespace

CheckResult CheckFolder(const std::string& folder, std::ostream& out) {
    Checker checker(out);
    return checker.Run(folder);
}

std::string OwnFolder() {
    const std::string module = PluginModulePath();
    const size_t separator = module.find_last_of(std::string("\\") + kSeparator);
    return separator == std::string::npos ? std::string(".") : module.substr(0, separator);
}

}  // namespace morvane::check
