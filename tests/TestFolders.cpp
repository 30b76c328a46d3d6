#include "TestFolders.h"

#include <windows.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>

#include "Sim.h"

namespace testfolders {

namespace {
// A full path as Windows takes it however long.
std::wstring Long(const std::string& path) { return L"\\\\?\\" + sim::Wide(path); }
}  // namespace

std::string ExeDirectory() {
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, length);
    return path.substr(0, path.rfind('\\') + 1);
}

GameFolder::GameFolder(const std::string& label) {
    static int counter = 0;
    const std::string root = ExeDirectory() + "scratch\\";
    for (size_t at = 0; at != std::string::npos; at = label.find('\\', at + 1)) {
        CreateDirectoryW(Long(root + label.substr(0, at)).c_str(), nullptr);
    }
    // Earlier runs may have left folders behind: take the next name that is free.
    for (int attempt = 0;; ++attempt) {
        path_ = root + label + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + "\\";
        if (CreateDirectoryW(Long(path_).c_str(), nullptr)) return;
        if (GetLastError() != ERROR_ALREADY_EXISTS || attempt > 100000) throw std::runtime_error("cannot create " + path_);
    }
}

void GameFolder::MakeDirectory(const std::string& relative) const {
    CreateDirectoryW(Long(path_ + relative).c_str(), nullptr);
}

void GameFolder::Write(const std::string& relative, const std::string& content, bool append) const {
    const size_t slash = relative.rfind('\\');
    if (slash != std::string::npos) MakeDirectory(relative.substr(0, slash));
    HANDLE file = CreateFileW(Long(path_ + relative).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + relative);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

void GameFolder::WriteMany(const std::string& relative, int count, const std::string& prefix,
                           const std::string& content) const {
    MakeDirectory(relative);
    // Wine looks each new name up among all the names of its folder: 100,000 files would
    // take hours. The machine's own tools make them, in its root, Wine's drive Z:, and as
    // further names of a few files: the file system takes seconds to make 100,000 files,
    // up to a minute when busy, and a moment to give one file as many names (at most
    // 65,000 each; 50,000 here). The content comes in a file beside the folder. Wine does
    // not wait for them: a file beside the folder tells their end.
    Write(relative + ".content", content);
    std::string unix = path_.substr(2) + relative;
    std::replace(unix.begin(), unix.end(), '\\', '/');
    const std::string make =
        "perl -e 'my ($names, $count, $from) = @ARGV; open(my $in, q(<), $from) or die; local $/; my $text = <$in> // q();"
        " my $file; for my $n (0 .. $count - 1) { my $name = sprintf(q(%s%05d), $names, $n);"
        " if ($n % 50000) { link($file, $name) or die } else { open(my $out, q(>), $name) or die;"
        " print $out $text; close($out) or die; $file = $name } }' '" +
        unix + "/" + prefix + "' " + std::to_string(count) + " '" + unix + ".content'";
    std::string command = "/bin/sh -c \"" + make + "; touch '" + unix + ".done'\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    const std::wstring done = Long(path_ + relative + ".done");
    char last[8];
    std::snprintf(last, sizeof last, "%05d", count - 1);
    if (!WaitFor([&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 120000) ||
        GetFileAttributesW(Long(path_ + relative + "\\" + prefix + last).c_str()) == INVALID_FILE_ATTRIBUTES)
        throw std::runtime_error("cannot make " + std::to_string(count) + " files in " + relative);
    DeleteFileW(done.c_str());
    DeleteFileW(Long(path_ + relative + ".content").c_str());
}

std::string GameFolder::Read(const std::string& relative) const {
    std::ifstream file(std::filesystem::path(Long(path_ + relative)), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void GameFolder::WriteExact(const std::wstring& relative, const std::string& content) const {
    HANDLE file = CreateFileW((Long(path_) + relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write an exact name");
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

std::string GameFolder::CopyPlugin(const std::string& relative) const {
    const size_t slash = relative.rfind('\\');
    if (slash != std::string::npos) MakeDirectory(relative.substr(0, slash));
    const std::string target = path_ + relative;
    if (!CopyFileW(Long(ExeDirectory() + "Morvane.asi").c_str(), Long(target).c_str(), FALSE))
        throw std::runtime_error("Morvane.asi is not beside the test executable");
    return target;
}

unsigned long RunProgram(const std::string& command, const std::string& output, std::string& printed,
                         unsigned long waitMs) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileW(Long(output).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = file;
    PROCESS_INFORMATION process{};
    std::wstring line = sim::Wide(command);
    DWORD status = WAIT_TIMEOUT;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, waitMs) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &status);
        else TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(file);
    std::ifstream text(std::filesystem::path(Long(output)), std::ios::binary);
    printed.assign(std::istreambuf_iterator<char>(text), {});
    return status;
}

unsigned long RunGameProbe(const GameFolder& folder, const char* mode, std::string& firstLine, unsigned long waitMs,
                           const std::string& pluginFolder) {
    // A copy there already may be loaded by a game that runs on: it is the same file.
    if (GetFileAttributesW(Long(folder.path() + pluginFolder + "Morvane.asi").c_str()) == INVALID_FILE_ATTRIBUTES)
        folder.CopyPlugin(pluginFolder + "Morvane.asi");
    const std::string game = folder.path() + "kavra.exe";
    CopyFileW(Long(ExeDirectory() + "game_probe.exe").c_str(), Long(game).c_str(), FALSE);
    // The plug-in's folder without its last backslash, which would escape the closing quote.
    const std::string plugin = folder.path() + pluginFolder;
    const unsigned long status = RunProgram("\"" + game + "\" \"" + plugin.substr(0, plugin.size() - 1) + "\" " + mode,
                                            folder.path() + "probe-output.txt", firstLine, waitMs);
    firstLine = firstLine.substr(0, firstLine.find_first_of("\r\n"));
    return status;
}

bool WaitFor(const std::function<bool()>& holds, unsigned long deadlineMs) {
    for (const ULONGLONG end = GetTickCount64() + deadlineMs; !holds(); Sleep(10)) {
        if (GetTickCount64() > end) return false;
    }
    return true;
}

namespace {
std::atomic<long long> heapBytes{0};
std::atomic<size_t> faultingAllocation{0};
std::atomic<size_t> refusedAllocation{0};
}  // namespace

long long HeapBytesInUse() { return heapBytes.load(); }
size_t FaultAtAllocationOf(size_t size) { return faultingAllocation.exchange(size); }
void RefuseAllocationOf(size_t size) { refusedAllocation = size; }

}  // namespace testfolders

// Every operator new of the test programs: counted, and faulting once where a test asks.
void* operator new(std::size_t size) {
    if (size != 0 && testfolders::faultingAllocation.load(std::memory_order_relaxed) == size &&
        testfolders::faultingAllocation.exchange(0) == size)
        *static_cast<volatile int*>(nullptr) = 0;
    if (size != 0 && testfolders::refusedAllocation.load(std::memory_order_relaxed) == size &&
        testfolders::refusedAllocation.exchange(0) == size)
        throw std::bad_alloc();
    void* block = std::malloc(size ? size : 1);
    if (block == nullptr) throw std::bad_alloc();
    testfolders::heapBytes += static_cast<long long>(_msize(block));
    return block;
}
void operator delete(void* block) noexcept {
    if (block == nullptr) return;
    testfolders::heapBytes -= static_cast<long long>(_msize(block));
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
