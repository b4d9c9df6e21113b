// Cleanups: commands the user keeps for tidying what the chart shows (compress a folder, "make
// clean", delete junk files), run on the selected entry through the shell with placeholders for
// its path (%p), name (%n) and folder (%d), each quoted for the shell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessera {

struct Cleanup {
    std::string title;   // as the menu shows it
    std::string command; // a shell command line with placeholders
    /// Asks before running: what it does cannot be undone.
    bool dangerous = false;

    friend bool operator==(const Cleanup&, const Cleanup&) = default;
};

/// What a new user finds: compress to an archive, make clean, git clean (dangerous) and delete
/// junk files (dangerous).
std::vector<Cleanup> defaultCleanups();

/// `text` as one word of the shell, whatever bytes it holds.
std::string shellQuoted(std::string_view text);

/// The command line of `cleanup` for the entry at the absolute `path`: %p its path, %n its name,
/// %d the folder that holds it, each quoted; %% a percent sign; any other % stays.
std::string expandedCommand(const Cleanup& cleanup, std::string_view path);

} // namespace tessera
