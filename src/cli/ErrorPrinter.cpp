#include "cli/ErrorPrinter.h"

#include "cli/TerminalText.h"
#include "platform/Process.h"

#include <cstdio>

namespace tessera::cli {

void ErrorPrinter::logsDidInsert(std::size_t row) {
    const LogLine& line = LogController::shared().filteredLogs()[row];
    const auto& error = std::get<LogLine::ScanError>(line.logType());
    // On a terminal the line replaces the progress line; elsewhere (a log file, a pipe) no
    // terminal controls are written.
    static const bool terminal = platform::standardErrorIsTerminal();
    std::fprintf(stderr, "%stessera: cannot read %s: %s\n", terminal ? "\r\x1b[K" : "",
                 escapeForTerminal(error.path).c_str(),
                 error.error ? error.error->localizedDescription.c_str() : "unknown error");
    ++count;
}

} // namespace tessera::cli
