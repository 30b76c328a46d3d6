// The folder as the game's: kavra.exe, and Morvane.asi wherever a loader loads it from (the
// game folder, scripts, plugins) of the same version as this checker, read from the file's
// version resource; the settings judged are those beside the copy loaded first.
#include <algorithm>
#include <string_view>
#include <vector>

#include "CheckHost.h"
#include "Scan.h"
#include "Version.h"
#include "config/Files.h"
#include "config/Profiles.h"
#include "config/Settings.h"

namespace morvane::check {

namespace {

constexpr char kGameExecutable[] = "kavra.exe";
constexpr char kPluginFile[] = "Morvane.asi";

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint32_t kVersionResource = 16;  // RT_VERSION
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr uint32_t kSubdirectory = 0x80000000u;

// Little-endian fields of a file's bytes; a field beyond the end reads as 0 and marks the
// reading as failed.
class Fields {
public:
    explicit Fields(const std::string& bytes) : bytes_(bytes) {}
    uint32_t U32(size_t at) { return Read(at, 4); }
    uint16_t U16(size_t at) { return static_cast<uint16_t>(Read(at, 2)); }
    bool ok() const { return ok_; }

private:
    uint32_t Read(size_t at, size_t size) {
        if (at > bytes_.size() || bytes_.size() - at < size) {
            ok_ = false;
            return 0;
        }
        uint32_t value = 0;
        for (size_t i = size; i-- > 0;) value = value << 8 | static_cast<uint8_t>(bytes_[at + i]);
        return value;
    }

    const std::string& bytes_;
    bool ok_ = true;
};

// The file offset of a relative virtual address, by the section table; 0 when no section
// holds it in the file.
size_t FileOffset(Fields& pe, size_t sectionTable, uint16_t sections, uint32_t rva) {
    for (uint16_t i = 0; i < sections; ++i) {
        const size_t header = sectionTable + i * 40u;
        const uint32_t start = pe.U32(header + 12), rawSize = pe.U32(header + 16), raw = pe.U32(header + 20);
        if (rva >= start && rva - start < rawSize) return raw + (rva - start);
    }
    return 0;
}

// The offset, from the resource tree's root, of the entry `id` of the directory at
// `directory` (any entry when `id` is 0); 0 when there is none.
uint32_t ResourceEntry(Fields& pe, size_t root, uint32_t directory, uint32_t id) {
    const size_t at = root + directory;
    const uint32_t entries = pe.U16(at + 12) + pe.U16(at + 14);
    for (uint32_t i = 0; i < entries && pe.ok(); ++i) {
        const uint32_t name = pe.U32(at + 16 + i * 8u), target = pe.U32(at + 20 + i * 8u);
        if (id == 0 || name == id) return target;
    }
    return 0;
}

}  // namespace

std::string FileVersionOf(const std::string& bytes) {
    Fields pe(bytes);
    if (bytes.compare(0, 2, "MZ") != 0) return {};
    const uint32_t header = pe.U32(0x3C);
    if (pe.U32(header) != 0x00004550 || pe.U16(header + 24) != kPe32Magic) return {};  // "PE\0\0", PE32
    const uint16_t sections = pe.U16(header + 6);
    const size_t optional = header + 24, sectionTable = optional + pe.U16(header + 20);
    if (pe.U32(optional + 92) <= 2) return {};  // no resource directory
    const size_t root = FileOffset(pe, sectionTable, sections, pe.U32(optional + 96 + 2 * 8));
    if (root == 0) return {};
    // The type's directory, then the first name's and the first language's: the last entry
    // is the resource's data entry.
    uint32_t entry = ResourceEntry(pe, root, 0, kVersionResource);
    for (int level = 0; level < 2; ++level) {
        if (!(entry & kSubdirectory)) return {};
        entry = ResourceEntry(pe, root, entry & ~kSubdirectory, 0);
    }
    if (entry == 0 || (entry & kSubdirectory)) return {};
    const size_t info = FileOffset(pe, sectionTable, sections, pe.U32(root + entry));
    // VS_VERSIONINFO: three 16-bit words, the key L"VS_VERSION_INFO", then the fixed part
    // at the next 32-bit boundary.
    static const char16_t key[] = u"VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof key / sizeof key[0]; ++i) {
        if (info == 0 || pe.U16(info + 6 + 2 * i) != key[i]) return {};
    }
    if (pe.U32(info + 40) != kFixedFileInfoSignature) return {};
    const uint32_t high = pe.U32(info + 48), low = pe.U32(info + 52);
    if (!pe.ok()) return {};
    return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." + std::to_string(low >> 16);
}

namespace {

// The entry of `folder` named `name` as Windows matches names, letter case aside; "" when none.
std::string EntryNamed(const std::string& folder, const std::string& name) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (const std::string& entry : ListDirectory(folder)) {
        if (std::equal(entry.begin(), entry.end(), name.begin(), name.end(),
                       [&](char a, char b) { return lower(a) == lower(b); })) {
            return entry;
        }
    }
    return {};
}

// A loader's folder of plug-ins ("scripts\\") by its name ("scripts").
std::string NameOf(std::string_view loaderFolder) { return std::string(loaderFolder.substr(0, loaderFolder.size() - 1)); }

// A loader's folder of plug-ins (scripts or plugins) in a game folder: the game one level up.
bool LoaderFolderOfAGame(const std::string& folder) {
    const size_t separator = folder.find_last_of(std::string("\\") + kSeparator);
    if (separator == std::string::npos) return false;
    const std::string parent = folder.substr(0, separator), name = folder.substr(separator + 1);
    if (EntryNamed(parent, kGameExecutable).empty()) return false;
    return std::any_of(std::begin(kLoaderFolders), std::end(kLoaderFolders), [&](std::string_view loaderFolder) {
        return !loaderFolder.empty() && EntryNamed(parent, NameOf(loaderFolder)) == name;
    });
}

// The folders of a game a loader loads plug-ins from, as named on disk ("", "scripts\\"),
// and the copies of Morvane.asi in them, in the loader's order.
struct Copy {
    std::string under, file;
    std::string shown() const { return SystemPath(under + file); }
};
struct LoaderFolders {
    std::string game;
    std::vector<std::string> unders;
    std::vector<Copy> copies;

    std::string Path(const std::string& under) const {
        return under.empty() ? game : game + "\\" + under.substr(0, under.size() - 1);
    }
    bool HoldsACopy(const std::string& under) const {
        return std::any_of(copies.begin(), copies.end(), [&](const Copy& copy) { return copy.under == under; });
    }
};

LoaderFolders FindCopies(const std::string& game) {
    LoaderFolders found{game, {}, {}};
    for (const std::string_view loaderFolder : kLoaderFolders) {
        std::string under;
        if (!loaderFolder.empty()) {
            under = EntryNamed(game, NameOf(loaderFolder));
            if (under.empty()) continue;
            under += '\\';
        }
        found.unders.push_back(under);
        const std::string plugin = EntryNamed(found.Path(under), kPluginFile);
        if (!plugin.empty()) found.copies.push_back({under, plugin});
    }
    return found;
}

constexpr char kSameVersion[] = "copy Morvane.asi and MorvaneCheck.exe from the same package beside kavra.exe";

// Each copy with its version, warned of where it is not this checker's; two copies warned of.
void CheckCopies(const LoaderFolders& found, std::ostream& out, WarningList& warnings) {
    for (const Copy& copy : found.copies) {
        const std::string shown = copy.shown();
        const std::string version = FileVersionOf(ReadWholeFile(found.Path(copy.under) + "\\" + copy.file));
        out << "Plug-in: " << Printable(shown) << " " << (version.empty() ? std::string("of no version") : version) << "\n";
        if (version == kMorvaneVersion) continue;
        warnings.Add(Trap::PluginFile, shown, 0,
                     version.empty() ? shown + " has no version that MorvaneCheck can read: it is not the plug-in of "
                                               "this package, and may read the settings otherwise than told here"
                                     : shown + " is version " + version + ", this MorvaneCheck " + kMorvaneVersion +
                                           ": what it reads may differ from what is told here",
                     kSameVersion);
    }
    if (found.copies.size() < 2) return;
    std::string names;
    for (const Copy& copy : found.copies) names += (names.empty() ? "" : ", ") + copy.shown();
    warnings.Add(Trap::PluginFile, found.copies[1].shown(), 0,
                 std::to_string(found.copies.size()) + " copies of Morvane.asi (" + names +
                     "): the game loads each, the one loaded first does the work with the settings beside it and "
                     "the others change nothing; MorvaneCheck judges the settings beside " + found.copies[0].shown(),
                 "keep one Morvane.asi, beside the Morvane.ini and MorvaneCars you edit");
}

// Settings where no copy lies do nothing: the plug-in reads only those beside itself.
void CheckStraySettings(const LoaderFolders& found, WarningList& warnings) {
    const Copy& judged = found.copies[0];
    for (const std::string& under : found.unders) {
        if (found.HoldsACopy(under)) continue;
        for (const std::string name : {std::string(kGlobalSettingsFile), std::string(kProfileDirectory)}) {
            const std::string stray = EntryNamed(found.Path(under), name);
            if (stray.empty()) continue;
            const std::string shown = SystemPath(under + stray), read = SystemPath(judged.under + name);
            const bool there = !EntryNamed(found.Path(judged.under), name).empty();
            const std::string none = name == kProfileDirectory ? "no car profile is read" : "every switch is off";
            warnings.Add(Trap::BesideNoPlugin, shown, 0,
                         shown + " lies beside no Morvane.asi, so nothing reads it: Morvane reads " + read +
                             ", beside " + judged.shown() + (there ? "" : " (there is none there: " + none + ")"),
                         there ? "keep one: edit " + read + " and remove " + shown
                               : "move " + shown + " beside " + judged.shown());
        }
    }
}

}  // namespace

PluginPlace CheckGameFiles(const std::string& folder, std::ostream& out, WarningList& warnings) {
    PluginPlace place{folder, folder, false};
    std::string game = EntryNamed(folder, kGameExecutable);
    if (game.empty() && LoaderFolderOfAGame(folder)) {
        place.game = folder.substr(0, folder.find_last_of(std::string("\\") + kSeparator));
        game = std::string(kGameExecutable) + " one level up (this is a loader's folder of plug-ins)";
    }
    out << "Game: " << (game.empty() ? std::string("no kavra.exe in this folder") : game) << "\n";
    if (game.empty()) {
        warnings.Add(Trap::NotGameFolder, kGameExecutable, 0,
                     "no kavra.exe in this folder: it is not the game folder, so the game never reads these settings",
                     "unpack the package into the game folder, beside kavra.exe, and run MorvaneCheck.exe there");
    }
    const LoaderFolders found = FindCopies(place.game);
    if (found.copies.empty()) {
        out << "Plug-in: no Morvane.asi in this folder, scripts or plugins\n";
        warnings.Add(Trap::PluginFile, kPluginFile, 0,
                     "no Morvane.asi in this folder, scripts or plugins: the game runs without Morvane, and these "
                     "settings do nothing",
                     kSameVersion);
        return place;
    }
    CheckCopies(found, out, warnings);
    // The settings judged are those the first copy reads, beside itself.
    const Copy& judged = found.copies[0];
    place.folder = found.Path(judged.under);
    place.found = true;
    if (!judged.under.empty()) out << "Settings: those beside " << Printable(judged.shown()) << ", where it reads them\n";
    CheckStraySettings(found, warnings);
    return place;
}

}  // namespace morvane::check
