// The tessera executable: a command-line tool when its first argument names a subcommand, the
// desktop app otherwise.
#include "app/AppMain.h"
#include "cli/CommandLine.h"
#include "cli/ProcessEnd.h"

#include <string_view>

int main(int argc, char** argv) {
    if (argc > 1 && tessera::cli::isCommand(argv[1]))
        tessera::cli::endProcess(tessera::cli::runCommandLine(argc, argv));
    return tessera::runApp(argc, argv);
}
