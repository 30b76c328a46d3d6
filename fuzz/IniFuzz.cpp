// The settings reader under a fuzzer: arbitrary bytes as a file's content, cleaned up as
// the file reader does, parsed, then read as the plug-in reads settings and profiles.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/IniReader.h"

using namespace morvane;

volatile int64_t sinkHole;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const IniReader ini{ParseIni(TextModeContent(DecodeSettingsText(bytes)))};

    static const char* const kSections[] = {"GENERAL", "MODS", "MISC", "PART_BODY", "PART_ATTACHMENT07", ""};
    static const char* const kKeys[] = {"ExhaustFX", "FrontSteerAngle", "Enabled", "Header", "Camera", "k"};
    int64_t sink = 0;  // uses every result, so nothing is optimised away
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            sink += ini.ReadInt(section, key, -7);
            sink += ini.ReadBool(section, key);
            sink += ini.ReadTriState(section, key);
            sink += static_cast<int64_t>(ini.ReadText(section, key, "dflt").size());
        }
    }
    // Whatever the file holds, every stored name and value reads back, no text longer
    // than the game's buffers take (a name with a NUL reads another's).
    for (const auto& [section, keys] : ini.sections) {
        for (const auto& [key, value] : keys) {
            sink += ini.ReadInt(section.c_str(), key.c_str(), 0);
            const size_t length = ini.ReadText(section.c_str(), key.c_str(), "").size();
            if (length > kMaxTextLength) __builtin_trap();
            sink += static_cast<int64_t>(length);
        }
    }
    // The same content cut short, as a file past the size limit is read: whole lines only.
    const std::string decoded = TextModeContent(DecodeSettingsText(bytes.substr(0, size / 2)));
    const std::string_view lines = WholeLines(decoded);
    if (!lines.empty() && lines.back() != '\n') __builtin_trap();
    sink += static_cast<int64_t>(ParseIni(lines).size());

    std::string text(bytes);
    TrimText(text, true, true);
    int32_t value;
    sink += ParseIniInt(bytes, value);
    sink += static_cast<int64_t>(Unquoted(bytes).size());
    sink += static_cast<int64_t>(ResolveIniPath(bytes.substr(0, size / 2), bytes.substr(size / 2)).size());
    sinkHole = sink;
    return 0;
}
