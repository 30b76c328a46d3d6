#pragma once
// Game folders for tests: a fresh directory per use, holding the plug-in and whatever
// settings a test writes beside it. Paths are UTF-8, may name folders in any language and
// be longer than 260 characters.
#include <cstddef>
#include <functional>
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
    // Writes `content` to `relative` (created with its parent folder if need be), or adds
    // it at its end (a large file written piece by piece, never held whole).
    void Write(const std::string& relative, const std::string& content, bool append = false) const;
    std::string Read(const std::string& relative) const;
    // Makes `count` (at most 100,000) files in the folder `relative`, named `prefix` and a
    // five-digit number from 00000, each holding `content`: each 50,000 of them are names
    // of one file (a write to one is a write to all). Under Wine only, on its drive Z:.
    void WriteMany(const std::string& relative, int count, const std::string& prefix,
                   const std::string& content = "") const;
    void MakeDirectory(const std::string& relative) const;
    // Writes a file by its exact name, any character kept (a final dot or space, a name
    // with no narrow form); its folder must exist.
    void WriteExact(const std::wstring& relative, const std::string& content) const;
    // Copies the built Morvane.asi in (under another name or in a sub-folder if given) and
    // answers its full path.
    std::string CopyPlugin(const std::string& relative = "Morvane.asi") const;

private:
    std::string path_;
};

// Runs `command` (UTF-8); answers its exit status (WAIT_TIMEOUT if it did not end within
// `waitMs`) and what it printed (via the file `output`).
unsigned long RunProgram(const std::string& command, const std::string& output, std::string& printed,
                         unsigned long waitMs);
// Runs the probe game (game_probe.exe, copied into `folder` as the game's executable) with
// the plug-in copied into `folder` or its sub-folder `pluginFolder` ("scripts\\"), ending
// as `mode` says; answers its exit status (WAIT_TIMEOUT if it did not end within `waitMs`)
// and the first line it printed.
unsigned long RunGameProbe(const GameFolder& folder, const char* mode, std::string& firstLine, unsigned long waitMs,
                           const std::string& pluginFolder = "");

// Looks at `holds` until it does, or `deadlineMs` have passed: whether it held. What a test
// expects of another thread or program is waited for so, with a deadline far past its time
// on a quiet machine, never for a fixed while.
bool WaitFor(const std::function<bool()>& holds, unsigned long deadlineMs);

// The bytes the test program holds from operator new now.
long long HeapBytesInUse();
// The next allocation of exactly `size` bytes faults (a fault inside a routine a hook runs);
// 0: none. Answers the size armed before.
size_t FaultAtAllocationOf(size_t size);
// The next allocation of exactly `size` bytes throws std::bad_alloc, as without memory.
void RefuseAllocationOf(size_t size);

}  // namespace testfolders
