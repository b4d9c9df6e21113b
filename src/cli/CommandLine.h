// The command-line half of the tessera executable: subcommands that need no display.
#pragma once

#include <cstdio>
#include <string_view>

namespace tessera::cli {

/// True for the words that name a subcommand (scan, info, convert, render).
bool isCommand(std::string_view word);
/// The usage of both halves: the app and the subcommands.
void printUsage(std::FILE* out);
/// Runs the subcommand named by argv[1].
int runCommandLine(int argc, char** argv);

} // namespace tessera::cli
