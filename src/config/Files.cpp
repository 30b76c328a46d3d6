#include "config/Files.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

namespace morvane {

std::wstring ExactPath(const std::string& path) {
    const std::wstring wide = WideName(path, CP_UTF8);
    // The long form takes every name as written: a "." or ".." would be a name too, and a
    // '/' part of one. A folder named ".games" is a name like any other.
    bool drivePath = wide.size() > 3 && wide[1] == L':' && wide[2] == L'\\' && wide.find(L'/') == std::wstring::npos;
    for (size_t start = 3; drivePath && start < wide.size();) {
        const size_t end = std::min(wide.find(L'\\', start), wide.size());
        const std::wstring_view name(wide.data() + start, end - start);
        drivePath = name != L"." && name != L"..";
        start = end + 1;
    }
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

std::string Utf8(std::wstring_view wide) {
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, text.data(), size, nullptr, nullptr);
    return text;
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileW(ExactPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string content;
    LARGE_INTEGER size{};
    bool readable = GetFileSizeEx(file, &size) != 0;
    // One byte past the limit tells that there is more; the file may grow while we read.
    constexpr size_t kMost = kMaxSettingsFileSize + 1;
    try {
        if (readable) content.reserve(static_cast<size_t>(std::min<LONGLONG>(size.QuadPart, kMost)));
        char chunk[4096];
        DWORD got = 0;
        while (readable && content.size() < kMost &&
               ReadFile(file, chunk, static_cast<DWORD>(std::min(sizeof chunk, kMost - content.size())), &got,
                        nullptr) &&
               got > 0) {
            content.append(chunk, got);
        }
    } catch (...) {  // out of memory: unreadable, like any file we cannot take in
        readable = false;
    }
    CloseHandle(file);
    return readable ? content : std::string();
}

namespace {

std::vector<std::string> ListEntries(const std::string& directory, size_t limit, bool folders) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW((ExactPath(directory) + L"\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring_view entry = found.cFileName;
        if (entry == L"." || entry == L"..") continue;
        if (!folders && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        std::string name;
        if (NarrowName(found.cFileName, CP_UTF8, name)) names.push_back(std::move(name));
    } while (names.size() < limit && FindNextFileW(listing, &found));
    FindClose(listing);
    return names;
}

}  // namespace

std::vector<std::string> ListDirectory(const std::string& directory, size_t limit) {
    return ListEntries(directory, limit, true);
}

std::vector<std::string> ListFiles(const std::string& directory, size_t limit) {
    return ListEntries(directory, limit, false);
}

PathFacts LookUpPath(const std::string& path) {
    PathFacts facts;
    const std::wstring exact = ExactPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(exact.c_str(), GetFileExInfoStandard, &data)) return facts;
    facts.exists = true;
    facts.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    if (facts.directory) {
        WIN32_FIND_DATAW found;
        HANDLE listing = FindFirstFileW((exact + L"\\*").c_str(), &found);
        facts.listable = listing != INVALID_HANDLE_VALUE;
        if (facts.listable) FindClose(listing);
    }
    return facts;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesW(ExactPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

std::string ModuleFileName(HMODULE module) {
    // Past MAX_PATH the name comes cut to the buffer: the buffer grows until it holds it.
    constexpr DWORD kLongestPath = 32768;
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()))) >= path.size() &&
           path.size() < kLongestPath) {
        path.resize(path.size() * 2);
    }
    path.resize(length < path.size() ? length : 0);
    return Utf8(path);
}

}  // namespace

std::string PluginModulePath() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&PluginModulePath), &self);
    return ModuleFileName(self);
}

std::string ExecutablePath() { return ModuleFileName(nullptr); }

}  // namespace morvane
