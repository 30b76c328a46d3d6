#include "config/IniFile.h"

#include <windows.h>

#include <string_view>

namespace morvane {

std::wstring ExactPath(const std::string& path) {
    const std::wstring wide = WideName(path, GetACP());
    const bool drivePath = wide.size() > 3 && wide[1] == L':' && wide[2] == L'\\' &&
                           wide.find(L'/') == std::wstring::npos && wide.find(L"\\.") == std::wstring::npos;
    return drivePath ? L"\\\\?\\" + wide : wide;
}

bool NarrowName(const wchar_t* wide, unsigned codePage, std::string& narrow) {
    // The UTF-8 code page takes neither best-fit flags nor a used-default answer; it loses
    // nothing but lone surrogates, which it refuses.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL* const usedDefault = utf8 ? nullptr : &lossy;
    const int size = WideCharToMultiByte(codePage, flags, wide, -1, nullptr, 0, nullptr, usedDefault);
    if (size <= 0 || lossy) return false;
    narrow.assign(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, flags, wide, -1, narrow.data(), size, nullptr, usedDefault);
    narrow.resize(static_cast<size_t>(size) - 1);
    return !lossy;
}

std::wstring WideName(const std::string& narrow, unsigned codePage) {
    const int size = MultiByteToWideChar(codePage, 0, narrow.c_str(), -1, nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, narrow.c_str(), -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size) - 1);
    return wide;
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileW(ExactPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string content;
    LARGE_INTEGER size{};
    bool readable = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxSettingsFileSize;
    try {
        if (readable) content.reserve(static_cast<size_t>(size.QuadPart));
        char chunk[4096];
        DWORD got = 0;
        while (readable && ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
            content.append(chunk, got);
            readable = content.size() <= kMaxSettingsFileSize;  // it may grow while we read
        }
    } catch (...) {  // out of memory: unreadable, like any file we cannot take in
        readable = false;
    }
    CloseHandle(file);
    return readable ? content : std::string();
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const unsigned codePage = GetACP();
    HANDLE listing = FindFirstFileW((WideName(directory, codePage) + L"\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring_view entry = found.cFileName;
        if (entry == L"." || entry == L"..") continue;
        std::string name;
        if (NarrowName(found.cFileName, codePage, name)) names.push_back(std::move(name));
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    return names;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesW(ExactPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string PluginModulePath() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&PluginModulePath), &self);
    char buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(self, buffer, MAX_PATH);
    return std::string(buffer, length < MAX_PATH ? length : MAX_PATH - 1);
}

}  // namespace morvane
