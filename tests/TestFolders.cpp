#include "TestFolders.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

namespace testfolders {

std::string ExeDirectory() {
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, length);
    return path.substr(0, path.rfind('\\') + 1);
}

GameFolder::GameFolder(const std::string& label) {
    static int counter = 0;
    const std::string root = ExeDirectory() + "scratch\\";
    CreateDirectoryA(root.c_str(), nullptr);
    // Earlier runs may have left folders behind: take the next name that is free.
    for (int attempt = 0;; ++attempt) {
        path_ = root + label + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + "\\";
        if (CreateDirectoryA(path_.c_str(), nullptr)) return;
        if (GetLastError() != ERROR_ALREADY_EXISTS || attempt > 100000) throw std::runtime_error("cannot create " + path_);
    }
}

void GameFolder::MakeDirectory(const std::string& relative) const {
    CreateDirectoryA((path_ + relative).c_str(), nullptr);
}

namespace {

void WriteTo(const std::string& path, const std::string& content, DWORD access, DWORD disposition) {
    HANDLE file = CreateFileA(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + path);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

void GameFolder::Write(const std::string& relative, const std::string& content) const {
    const size_t slash = relative.rfind('\\');
    if (slash != std::string::npos) MakeDirectory(relative.substr(0, slash));
    WriteTo(path_ + relative, content, GENERIC_WRITE, CREATE_ALWAYS);
}

void GameFolder::Append(const std::string& relative, const std::string& content) const {
    WriteTo(path_ + relative, content, FILE_APPEND_DATA, OPEN_ALWAYS);
}

void GameFolder::WriteMany(const std::string& relative, int count, const std::string& prefix) const {
    MakeDirectory(relative);
    // Wine looks each new name up among all the names of its folder: 100,000 files would
    // take hours. The machine's own tools make them, in its root, Wine's drive Z:. Wine
    // does not wait for them: the last file tells their end.
    std::string folder = (path_ + relative).substr(2);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    std::string command = "/bin/sh -c \"cd '" + folder + "' && seq -f '" + prefix + "%05g' 0 " +
                          std::to_string(count - 1) + " | xargs touch\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    char last[16];
    std::snprintf(last, sizeof last, "%05d", count - 1);
    for (int waited = 0; GetFileAttributesA((path_ + relative + "\\" + prefix + last).c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += 20) {
        if (waited > 120000) throw std::runtime_error("cannot make " + std::to_string(count) + " files in " + relative);
        Sleep(20);
    }
}

void GameFolder::WriteExact(const std::wstring& relative, const std::string& content) const {
    const std::wstring folder(path_.begin(), path_.end());  // test folders have ASCII paths
    HANDLE file = CreateFileW((L"\\\\?\\" + folder + relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write an exact name");
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

std::string GameFolder::CopyPlugin() const {
    const std::string target = path_ + "Morvane.asi";
    if (!CopyFileA((ExeDirectory() + "Morvane.asi").c_str(), target.c_str(), FALSE))
        throw std::runtime_error("Morvane.asi is not beside the test executable");
    return target;
}

unsigned long RunGameProbe(const GameFolder& folder, const char* mode, std::string& firstLine, unsigned long waitMs) {
    folder.CopyPlugin();
    const std::string output = folder.path() + "probe-output.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = file;
    PROCESS_INFORMATION process{};
    // The folder without its last backslash, which would escape the closing quote.
    const std::string where = folder.path().substr(0, folder.path().size() - 1);
    std::string command = "\"" + ExeDirectory() + "game_probe.exe\" \"" + where + "\" " + mode;
    DWORD status = WAIT_TIMEOUT;
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, waitMs) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &status);
        else TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(file);
    std::ifstream text(output);
    std::getline(text, firstLine);
    return status;
}

}  // namespace testfolders
