#include "TestFolders.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
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

void GameFolder::Write(const std::string& relative, const std::string& content) const {
    const size_t slash = relative.rfind('\\');
    if (slash != std::string::npos) MakeDirectory(relative.substr(0, slash));
    HANDLE file = CreateFileW(Long(path_ + relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + relative);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
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

std::string GameFolder::CopyPlugin() const {
    const std::string target = path_ + "Morvane.asi";
    if (!CopyFileW(Long(ExeDirectory() + "Morvane.asi").c_str(), Long(target).c_str(), FALSE))
        throw std::runtime_error("Morvane.asi is not beside the test executable");
    return target;
}

unsigned long RunProgram(const std::string& program, const std::string& arguments, const std::string& output,
                         std::string& printed, unsigned long waitMs) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileW(Long(output).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = file;
    PROCESS_INFORMATION process{};
    std::wstring command = sim::Wide("\"" + ExeDirectory() + program + "\" " + arguments);
    DWORD status = WAIT_TIMEOUT;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
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

unsigned long RunGameProbe(const GameFolder& folder, const char* mode, std::string& firstLine, unsigned long waitMs) {
    folder.CopyPlugin();
    // The folder without its last backslash, which would escape the closing quote.
    const std::string where = folder.path().substr(0, folder.path().size() - 1);
    const unsigned long status =
        RunProgram("game_probe.exe", "\"" + where + "\" " + mode, folder.path() + "probe-output.txt", firstLine, waitMs);
    firstLine = firstLine.substr(0, firstLine.find_first_of("\r\n"));
    return status;
}

}  // namespace testfolders
