// The keys of [GENERAL] that only Morvane.ini sets. Floating-point code: the steering
// angle is read as a whole number and kept as a float; the rest of the settings code is
// integer code, which reaches this table only while settings are read.
#include <cstdio>

#include "config/Files.h"
#include "config/Settings.h"

namespace morvane {

namespace {

const char* OnOff(bool on) { return on ? "on" : "off"; }

constexpr GlobalOnlyKey kGlobalOnlyKeys[] = {
    {"FrontSteerAngle", KeyType::Angle,
     [](const IniReader& file, PluginSettings& record) {
         record.frontSteerAngle = static_cast<float>(file.ReadInt(kGeneralSection, "FrontSteerAngle", 0));
     },
     [](const PluginSettings& record) {
         char text[32];
         std::snprintf(text, sizeof text, "%g", static_cast<double>(record.frontSteerAngle));
         return std::string(text);
     }},
    {kLogKey, KeyType::OnUnlessZero,
     [](const IniReader& file, PluginSettings& record) {
         record.log = LogWanted(file.ReadInt(kGeneralSection, kLogKey, 1));
     },
     [](const PluginSettings& record) { return std::string(OnOff(record.log)); }},
    {"LiveProfiles", KeyType::Switch,
     [](const IniReader& file, PluginSettings& record) {
         record.liveProfiles = file.ReadBool(kGeneralSection, "LiveProfiles");
     },
     [](const PluginSettings& record) { return std::string(OnOff(record.liveProfiles)); }},
};

}  // namespace

std::span<const GlobalOnlyKey> GlobalOnlyKeys() { return kGlobalOnlyKeys; }

}  // namespace morvane
