#include "Scan.h"

#include "CheckHost.h"
#include "config/Files.h"

namespace morvane::check {

ScannedFile::ScannedFile(const std::string& resolved) : label(RelativeToSettingsFolder(resolved)), path(resolved) {
    const PathFacts facts = LookUpPath(path);
    exists = facts.exists;
    directory = facts.directory;
}

bool ScannedFile::Unreadable() const {
    return exists && !directory && LookUpPath(path).size > 0 && ReadWholeFile(path).empty();
}

void ScannedFile::Line(const IniLine& line) {
    lines.push_back({line.number, line.header, std::string(line.section), std::string(line.key),
                     std::string(line.value), line.kept});
    IniKeys& keys = reader.sections[lines.back().section];
    if (!line.kept || line.header) return;
    const auto [stored, added] = keys.emplace(line.key, line.value);
    if (added) lineOfValue.emplace(&stored->second, line.number);
}

size_t ScannedFile::LineOf(const std::string& section, const std::string& key) const {
    const std::string* stored = Stored(section, key);
    const auto found = stored ? lineOfValue.find(stored) : lineOfValue.end();
    return found == lineOfValue.end() ? 0 : found->second;
}

const std::string* ScannedFile::Stored(const std::string& section, const std::string& key) const {
    const auto s = reader.sections.find(section);
    if (s == reader.sections.end()) return nullptr;
    const auto k = s->second.find(key);
    return k == s->second.end() ? nullptr : &k->second;
}

std::string ScannedFile::Where(size_t line) const { return line ? label + ":" + std::to_string(line) : label; }

std::string ScannedFile::Origin(const std::string& section, const std::string& key) const {
    const size_t line = LineOf(section, key);
    return line ? Where(line) : std::string();
}

void WarningList::Add(Trap trap, const ScannedFile& file, size_t line, std::string text, std::string fix) {
    Add(trap, file.label, line, std::move(text), std::move(fix));
}

void WarningList::Add(Trap trap, std::string file, size_t line, std::string text, std::string fix) {
    if (warnings_.size() == kShownWarnings) {
        ++notShown_;
        return;
    }
    warnings_.push_back({trap, std::move(file), line, std::move(text), std::move(fix)});
}

}  // namespace morvane::check
