// The command-line half of the tessera executable: subcommands that need no display.
#pragma once

#include <cstdio>
#include <string_view>

namespace tessera::cli {

/// True for the words that name a subcommand (scan, info, convert, render, diff).
bool isCommand(std::string_view word);
/// The usage lines of both halves: the app and the commands.
extern const char* const kUsage;
/// What each command does, for the end of `tessera --help`.
extern const char* const kCommandsSummary;
/// Runs the subcommand named by argv[1].
int runCommandLine(int argc, char** argv);

} // namespace tessera::cli
