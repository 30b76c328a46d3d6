#pragma once
// Every run of game code in the simulated game is watched: code that does not come back
// within its time limit (say, after a jump written one byte off) ends the process at once
// with a line naming the site it was run from, where it was when stopped, and its
// registers, instead of spinning until the test command's timeout.
#include <cstdint>

namespace sim {

// How long one run of game code may take, in milliseconds (5000 unless a test says more).
void SetRunTimeLimit(uint32_t milliseconds);

// The site the calling thread runs game code from, or 0.
uint32_t SiteRunningOnThisThread();

// Watches the calling thread from construction to destruction, as it runs game code
// from `site`.
class Watched {
public:
    explicit Watched(uint32_t site);
    ~Watched();
    Watched(const Watched&) = delete;
    Watched& operator=(const Watched&) = delete;

private:
    int slot_;
};

}  // namespace sim
