#include "patch/Site.h"

#include "patch/Patch.h"

namespace morvane {

void InstallSite(const Site& site) {
    const uint32_t address = TranslateHostAddress(site.address);
    switch (site.kind) {
    case PatchKind::RegisterHook:
        if (const uint32_t entry = MakeRegisterEntry(site.handler, TranslateHostAddress(site.resume), site.bytes)) {
            WriteJump(address, entry);
        }
        break;
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
}

void InstallSites(std::span<const Site> sites, const PluginSettings* settings) {
    if (settings == nullptr) return;
    for (const Site& site : sites) {
        if (site.gate == nullptr || site.gate(*settings)) InstallSite(site);
    }
}

}  // namespace morvane
