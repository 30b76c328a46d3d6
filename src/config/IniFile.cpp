#include "config/IniFile.h"

#include <windows.h>

#include <string_view>

namespace morvane {

namespace {

// The name in the narrow code page, or false when it has no exact form there.
bool ToNarrow(const wchar_t* wide, std::string& narrow) {
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) return false;
    narrow.assign(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, narrow.data(), size, nullptr, &lossy);
    narrow.resize(static_cast<size_t>(size) - 1);
    return !lossy;
}

std::wstring ToWide(const std::string& narrow) {
    const int size = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size) - 1);
    return wide;
}

}  // namespace

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

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW((ToWide(directory) + L"\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring_view entry = found.cFileName;
        if (entry == L"." || entry == L"..") continue;
        std::string name;
        if (ToNarrow(found.cFileName, name)) names.push_back(std::move(name));
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    return names;
}

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
