#include "feature/Site.h"

#include "log/LogFile.h"
#include "patch/ForeignHooks.h"

namespace morvane {

namespace {

// "    0x007E5A6A shadow texture", the start of a site's line in the start-up journal.
LogLine SiteLine(const Site& site, uint32_t address) {
    LogLine line;
    line << "    ";
    line.Hex(address) << " " << site.name;
    return line;
}

// How many game bytes the row writes.
uint32_t WrittenSize(const Site& site) {
    switch (site.kind) {
    case PatchKind::RegisterHook: case PatchKind::Call: case PatchKind::Jump: return 5;
    case PatchKind::Pointer: case PatchKind::Value: return 4;
    case PatchKind::Bytes: return static_cast<uint32_t>(site.bytes.size());
    }
    return 0;
}

// A row that writes an instruction at its address (not an operand inside one): another
// module's jump may stand there.
bool WritesInstruction(const Site& site) { return site.kind != PatchKind::Pointer && site.kind != PatchKind::Value; }

void TellForeignHook(const Site& site, uint32_t address) {
    const uint32_t target = ForeignHookTarget(address);
    if (target == 0) return;
    char holder[260];
    HolderName(target, holder);
    LogLine line = SiteLine(site, address);
    line << " was hooked by " << holder << " (a jump to ";
    line.Hex(target) << "); Morvane's " << CurrentInstaller() << " replaces it";
    Journal(line.text());
}

// ": decided per car by ForceLodA (...)": the switches a hook looks up, grouped by what
// Morvane.ini's value does for them.
void TellPerCarSwitches(LogLine& line, std::span<const ProfileSwitchKey* const> switches) {
    for (size_t i = 0; i < switches.size(); ++i) {
        const InMorvaneIni role = switches[i]->inMorvaneIni;
        line << (i == 0 ? ": decided per car by " : switches[i - 1]->inMorvaneIni == role ? " and " : "; ");
        line << switches[i]->key;
        if (i + 1 < switches.size() && switches[i + 1]->inMorvaneIni == role) continue;
        line << (role == InMorvaneIni::ForcesEveryCar ? " (from the car's file; on in Morvane.ini: on for every car)"
                                                      : " (from the car's file, else from Morvane.ini)");
    }
}

}  // namespace

void InstallSite(const Site& site) {
    const uint32_t address = TranslateHostAddress(site.address);
    if (WritesInstruction(site)) TellForeignHook(site, address);
    switch (site.kind) {
    case PatchKind::RegisterHook: {
        const uint32_t other = site.otherResume != 0 ? TranslateHostAddress(site.otherResume) : 0;
        HookPlace* place = NewHookPlace(site.name, site.address, other);
        const uint32_t entry =
            MakeRegisterEntry(site.handler, TranslateHostAddress(site.resume), site.bytes, place, site.handlerClass);
        if (entry == 0) {
            Journal((SiteLine(site, address) << ": left alone, no memory for its entry").text());
            return;
        }
        WriteJump(address, entry);
        break;
    }
    case PatchKind::Call:
        WriteCall(address, site.target());
        break;
    case PatchKind::Jump:
        WriteJump(address, site.target());
        break;
    case PatchKind::Pointer:
        WriteHost32(address, site.target ? site.target() : CodeAddress(site.data));
        break;
    case PatchKind::Value:
        WriteHost32(address, site.value);
        break;
    case PatchKind::Bytes:
        WriteHostBytes(address, site.bytes.data(), static_cast<uint32_t>(site.bytes.size()));
        break;
    }
    // A routine the game calls with its own convention counts its failures under this site.
    if (site.target != nullptr) SetRoutinePlace(site.target(), NewHookPlace(site.name, site.address));
    NoteWrittenSite(site.name, address, WrittenSize(site), site.kind == PatchKind::Call);
    LogLine line = SiteLine(site, address);
    TellPerCarSwitches(line, site.perCar);
    Journal(line.text());
}

void InstallSites(std::span<const Site> sites, const PluginSettings* settings) {
    if (settings == nullptr) return;
    for (const Site& site : sites) {
        const Gate& gate = site.gate;
        if (gate.open == nullptr || gate.open(*settings)) {
            InstallSite(site);
            continue;
        }
        LogLine line = SiteLine(site, TranslateHostAddress(site.address));
        line << ": left alone, ";
        if (gate.whyNot != nullptr) {
            line << gate.whyNot(*settings);
        } else {
            line << gate.setting << " is off";
        }
        Journal(line.text());
    }
}

}  // namespace morvane
