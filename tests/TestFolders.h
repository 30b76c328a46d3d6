#pragma once
// Game folders for tests: a fresh directory per use, holding the plug-in and whatever
// settings a test writes beside it. Paths are UTF-8, may name folders in any language and
// be longer than 260 characters.
#include <string>

namespace testfolders {

// The directory of the running test executable, ending in a backslash.
std::string ExeDirectory();

class GameFolder {
public:
    // A '\\' in `label` makes folders within folders.
    explicit GameFolder(const std::string& label);
    // Full path ending in a backslash.
    const std::string& path() const { return path_; }
    // Writes `content` to `relative` (created with its parent folder if need be).
    void Write(const std::string& relative, const std::string& content) const;
    std::string Read(const std::string& relative) const;
    void MakeDirectory(const std::string& relative) const;
    // Writes a file by its exact name, any character kept (a final dot or space, a name
    // with no narrow form); its folder must exist.
    void WriteExact(const std::wstring& relative, const std::string& content) const;
    // Copies the built Morvane.asi in and answers its full path.
    std::string CopyPlugin() const;

private:
    std::string path_;
};

// Runs a program beside the test executable with `arguments` (UTF-8); answers its exit
// status (WAIT_TIMEOUT if it did not end within `waitMs`) and what it printed (via `output`).
unsigned long RunProgram(const std::string& program, const std::string& arguments, const std::string& output,
                         std::string& printed, unsigned long waitMs);
// Runs the probe game (game_probe.exe) with the plug-in copied into `folder`, ending as
// `mode` says; answers its exit status (WAIT_TIMEOUT if it did not end within `waitMs`)
// and the first line it printed.
unsigned long RunGameProbe(const GameFolder& folder, const char* mode, std::string& firstLine, unsigned long waitMs);

}  // namespace testfolders
