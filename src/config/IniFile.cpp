#include "config/IniFile.h"

#include <windows.h>

namespace morvane {

namespace {

// The whole file, or nothing when it cannot be opened or read. Other processes may read
// and write it meanwhile.
std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string content;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) content.append(chunk, got);
    CloseHandle(file);
    return content;
}

}  // namespace

std::string PluginModulePath() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&PluginModulePath), &self);
    char buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(self, buffer, MAX_PATH);
    return std::string(buffer, length < MAX_PATH ? length : MAX_PATH - 1);
}

IniFile::IniFile(const std::string& name) : path(ResolveIniPath(PluginModulePath(), name)) {
    const std::string content = ReadWholeFile(path);
    if (!content.empty()) sections = ParseIni(TextModeContent(content));
}

}  // namespace morvane
