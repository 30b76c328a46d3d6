// File reading and directory listing for builds outside Windows (the settings checker's
// native build). Paths are written as the plug-in writes them, with '\' between folders:
// here each '\' is taken as the system's separator. Names are the file system's bytes.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "config/Files.h"

namespace morvane {

namespace {

std::filesystem::path NativePath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return std::filesystem::path(path);
}

// Orders names as a Windows listing of an NTFS folder does for plain names: letters
// compared without case first.
bool ListedBefore(const std::string& a, const std::string& b) {
    auto upper = [](std::string text) {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        return text;
    };
    const std::string ua = upper(a), ub = upper(b);
    return ua != ub ? ua < ub : a < b;
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::path file = NativePath(path);
    if (!std::filesystem::is_regular_file(file, error)) return {};
    std::ifstream stream(file, std::ios::binary);
    if (!stream) return {};
    std::string content;
    // One byte past the limit tells that there is more.
    constexpr size_t kMost = kMaxSettingsFileSize + 1;
    try {
        char chunk[4096];
        while (content.size() < kMost &&
               (stream.read(chunk, static_cast<std::streamsize>(std::min(sizeof chunk, kMost - content.size()))) ||
                stream.gcount() > 0)) {
            content.append(chunk, static_cast<size_t>(stream.gcount()));
        }
    } catch (...) {  // out of memory: unreadable, like any file we cannot take in
        return {};
    }
    return stream.bad() ? std::string() : content;
}

bool PathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(NativePath(path), error);
}

namespace {

std::vector<std::string> ListEntries(const std::string& directory, size_t limit, bool folders) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entry(NativePath(directory), error), end;
    // The first `limit` in listing order, kept as the listing goes: never more than twice
    // as many names are held.
    auto keepFirst = [&] {
        std::nth_element(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(limit), names.end(), ListedBefore);
        names.resize(limit);
    };
    for (; !error && entry != end; entry.increment(error)) {
        std::error_code kind;
        if (!folders && entry->is_directory(kind)) continue;
        names.push_back(entry->path().filename().string());
        if (names.size() > limit && names.size() - limit >= limit) keepFirst();
    }
    if (names.size() > limit) keepFirst();
    std::sort(names.begin(), names.end(), ListedBefore);
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
    std::error_code error;
    const std::filesystem::path native = NativePath(path);
    const std::filesystem::file_status status = std::filesystem::status(native, error);
    if (error || !std::filesystem::exists(status)) return facts;
    facts.exists = true;
    facts.directory = std::filesystem::is_directory(status);
    if (facts.directory) {
        const std::filesystem::directory_iterator listing(native, error);
        facts.listable = !error;
    } else {
        const uintmax_t size = std::filesystem::file_size(native, error);
        facts.size = error ? 0 : size;
    }
    return facts;
}

std::string PluginModulePath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

}  // namespace morvane
