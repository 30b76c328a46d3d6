#pragma once
// The window MorvaneCheck prints into. Started from Explorer it gets a console of its
// own, which closes the moment the program ends: then it waits for a key, so that the
// player can read the report. From a command prompt, a script, or with its input or
// output redirected, it never waits.

namespace morvane::check {

struct ConsoleFacts {
    unsigned processes;  // processes attached to the console (0: none)
    bool input;          // standard input is that console
    bool output;         // standard output is that console
};

// Waits only where this process alone has the console and both streams are it.
constexpr bool WaitsForKey(const ConsoleFacts& facts) {
    return facts.processes == 1 && facts.input && facts.output;
}

// This process's console (none outside Windows).
ConsoleFacts CurrentConsole();
// Tells where the report is and waits for a key.
void WaitForKey();

}  // namespace morvane::check
