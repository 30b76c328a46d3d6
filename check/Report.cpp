// The report: the values in force for every car and the file and line each came from,
// then the warnings.
#include <algorithm>
#include <sstream>

#include "CheckHost.h"
#include "Scan.h"
#include "config/ConfigHost.h"
#include "config/Lookups.h"
#include "config/Profiles.h"
#include "config/Rules.h"
#include "config/Settings.h"
#include "config/SlotTable.h"

namespace morvane::check {

namespace {

const char* OnOff(bool on) { return on ? "on" : "off"; }

void PrintRow(std::ostream& out, const char* indent, const std::string& name, const std::string& value,
              const std::string& origin) {
    std::string padded = name;
    padded.resize(std::max<size_t>(padded.size(), 24), ' ');
    std::string shown = value;
    shown.resize(std::max<size_t>(shown.size(), 6), ' ');
    out << indent << padded << shown << Printable(origin) << "\n";
}

class Report {
public:
    Report(const FolderRead& read, std::ostream& out) : read_(read), out_(out) {}

    void ReportGlobal();
    void ReportProfile(size_t index);

private:
    void ReportSlots(int32_t carType, const ScannedFile* own, const char* indent);

    const FolderRead& read_;
    std::ostream& out_;
};

void Report::ReportGlobal() {
    const PluginSettings& s = *GlobalSettings();
    const ScannedFile& g = *read_.global;
    auto origin = [&](const char* section, const char* key) {
        const std::string where = g.Origin(section, key);
        return where.empty() ? std::string("default") : where;
    };
    out_ << "\nGlobal settings (" << kGlobalSettingsFile << "):\n";
    for (const GlobalSwitchKey& entry : kGlobalSwitches) {
        PrintRow(out_, "  ", entry.key, OnOff(s.*entry.field), origin(entry.section, entry.key));
    }
    for (const GlobalOnlyKey& entry : GlobalOnlyKeys()) {
        PrintRow(out_, "  ", entry.key, entry.shown(s), origin(kGeneralSection, entry.key));
    }
    out_ << "  These take effect at the game's start only. "
         << (s.liveProfiles ? "What follows (the per-car settings and every car profile) follows its files while the "
                              "game runs.\n"
                            : "So does what follows, unless LiveProfiles = 1.\n");

    out_ << "\nCars without a profile:\n";
    for (const ProfileSwitchKey& entry : kProfileSwitches) {
        PrintRow(out_, "  ", entry.key, OnOff(s.perCar.*entry.field), origin(kGeneralSection, entry.key));
    }
    ReportSlots(-1, nullptr, "  ");
}

void Report::ReportSlots(int32_t carType, const ScannedFile* own, const char* indent) {
    const ScannedFile& g = *read_.global;
    const CarProfile* profile = OwnProfileOfCarType(carType);
    std::string on, offHere;
    std::ostringstream titles;
    for (const PartSlotRow& row : PartSlotTable()) {
        const SlotOverride* ownEntry = profile ? FindSlotOverride(profile->slotOverrides, row.slot) : nullptr;
        if (SlotEnabled(carType, row.slot) != 1) {
            const SlotOverride* globalEntry = FindSlotOverride(GlobalSettings()->perCar.slotOverrides, row.slot);
            if (ownEntry && ownEntry->enabled == 0 && globalEntry && globalEntry->enabled == 1) {
                offHere += (offHere.empty() ? "" : ", ") + row.section + " (" +
                           own->Origin(row.section, kSlotEnabledKey) + ")";
            }
            continue;
        }
        const bool fromOwn = SlotEnabledSetIn(ownEntry);
        const std::string where =
            fromOwn ? own->Origin(row.section, kSlotEnabledKey) : g.Origin(row.section, kSlotEnabledKey);
        on += (on.empty() ? "" : ", ") + row.section + " (" + where + ")";
        // The texts behind the hashes the lookups answer, and the file each came from.
        auto text = [&](const char* label, uint32_t hash,
                        std::vector<std::pair<const ScannedFile*, const char*>> from) {
            if (hash == kNoName) return;
            for (const auto& [file, key] : from) {
                if (!file) continue;
                const std::string value = file->reader.ReadText(row.section.c_str(), key, "");
                if (GameStringHash(value.c_str()) == hash) {
                    titles << indent << "  [" << row.section << "] " << label << " " << Printable(value) << " ("
                           << Printable(file->Origin(row.section, key)) << ")\n";
                    return;
                }
            }
        };
        text("Header", SlotHeader(carType, row.slot, false), {{own, kSlotHeaderKey}, {&g, kSlotHeaderKey}});
        text("HeaderAS", SlotHeader(carType, row.slot, true),
             {{own, kSlotHeaderASKey}, {own, kSlotHeaderKey}, {&g, kSlotHeaderASKey}, {&g, kSlotHeaderKey}});
        if (const char* camera = SlotCamera(carType, row.slot)) {
            const bool ownCamera = ownEntry && camera == ownEntry->camera.c_str();
            titles << indent << "  [" << row.section << "] Camera " << Printable(camera) << " ("
                   << Printable((ownCamera ? own : &g)->Origin(row.section, kSlotCameraKey)) << ")\n";
        }
    }
    out_ << indent << "Part slots switched on: " << (on.empty() ? "none" : Printable(on)) << "\n" << titles.str();
    if (!offHere.empty())
        out_ << indent << "Switched off here though Morvane.ini switches them on: " << Printable(offHere) << "\n";
}

void Report::ReportProfile(size_t index) {
    const CarProfile& p = CarProfiles()[index];
    const PluginSettings& global = *GlobalSettings();
    const ScannedFile* own = index < read_.profileFiles.size() ? read_.profileFiles[index] : nullptr;
    out_ << "\n  " << Printable(p.name) << "  (" << (own ? "file " + Printable(own->label) : std::string("built in"))
         << ")\n";
    for (const ProfileSwitchKey& entry : kProfileSwitches) {
        const bool on = SwitchTakesEffect(entry, &p, &global);
        std::string origin = own ? own->Origin(kGeneralSection, entry.key) : std::string("built in");
        if (origin.empty()) origin = "not set in the file: off";
        const std::string globalOrigin = read_.global->Origin(kGeneralSection, entry.key);
        if (!own && global.perCar.*entry.field != on && !globalOrigin.empty()) {
            origin += " (" + globalOrigin + " does not apply to this car)";
        }
        // On though the profile says off: Morvane.ini forces it for every car.
        if (on && !(p.*entry.field)) origin += "; forced for every car by " + globalOrigin;
        PrintRow(out_, "    ", entry.key, OnOff(on), origin);
    }
    PrintRow(out_, "    ", "SunRoof", OnOff(p.sunRoof), own ? "only the built-in BRERA profile has it" : "built in");
    ReportSlots(static_cast<int32_t>(index), own, "    ");
}

}  // namespace

std::string Printable(std::string_view text) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<uint8_t>(text[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F) {
            shown += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F in UTF-8
            shown += {'\\', 'u', '0', '0', kHex[next >> 4], kHex[next & 15]};
            ++i;
        } else {
            shown += text[i];
        }
    }
    return shown;
}

void ReportSettings(const FolderRead& read, std::ostream& out) {
    Report report(read, out);
    report.ReportGlobal();
    out << "\nProfiles (" << CarProfiles().size() << ": " << read.profileFiles.size() << " from " << kProfileDirectory
        << ", the others built in):";
    out << "\n";
    for (size_t i = 0; i < CarProfiles().size(); ++i) report.ReportProfile(i);
}

CheckResult ReportWarnings(const WarningList& warnings, bool leftOut, std::ostream& out) {
    // The dearest come last, where the last screen of a console window shows them.
    std::vector<Warning> shown = warnings.shown();
    std::stable_sort(shown.begin(), shown.end(),
                     [](const Warning& a, const Warning& b) { return CostOf(a.trap) < CostOf(b.trap); });
    out << "\n";
    for (const Warning& w : shown) {
        out << Printable(w.file);
        if (w.line) out << ":" << w.line;
        out << ": warning: " << Printable(w.text) << "\n"
            << "    fix: " << Printable(w.fix) << "\n";
    }
    const size_t count = warnings.shown().size() + warnings.notShown();
    if (count == 0) {
        out << "No warnings: everything takes effect as written. Exit status " << kAllTakesEffect << ".\n";
        return {kAllTakesEffect, {}};
    }
    if (warnings.notShown() > 0) {
        out << warnings.notShown() << " more warnings are not shown: fix the first ones, then check again.\n";
    }
    const int status = leftOut ? kFolderUnreadable : kWarnings;
    out << count << " warning" << (count == 1 ? "" : "s") << " above: not everything takes effect as written"
        << (leftOut ? ", and some settings are left out, by Morvane as here" : "") << ". Exit status " << status
        << ".\n";
    return {status, shown};
}

}  // namespace morvane::check
