#pragma once
// Ctrl+C (SIGINT) and SIGTERM while the command line renames: the first one
// only sets a flag, which the rename batch reads between files and answers by
// putting back the files already moved; a second one ends the process at
// once, as it would without these handlers (a later --recover puts the files
// back then).

namespace tav {

class StopSignals {
public:
    StopSignals();  // installs the handlers and clears the flag
    ~StopSignals(); // puts the previous handlers back
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // The signal received since the handlers were installed, 0 when none.
    static int received();
    static bool requested() { return received() != 0; }
    // The exit status of a process ended by that signal: 128 + its number.
    static int exitStatus() { return 128 + received(); }
};

} // namespace tav
