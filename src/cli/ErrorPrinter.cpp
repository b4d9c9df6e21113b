#include "cli/ErrorPrinter.h"

#include "cli/TerminalText.h"
#include "platform/Process.h"

#include <cerrno>
#include <cstdio>

namespace tessera::cli {

void ErrorPrinter::logsDidInsert(std::size_t row) {
    const LogLine& line = LogController::shared().filteredLogs()[row];
    const auto& error = std::get<LogLine::ScanError>(line.logType());
    // On a terminal the line replaces the progress line; elsewhere (a log file, a pipe) no
    // terminal controls are written.
    static const bool terminal = platform::standardErrorIsTerminal();
    // A folder that is not followed live was read all the same: it is no unreadable entry.
    const char* what = !line.isWatchError()             ? "cannot read "
                       : error.error->code == EOVERFLOW ? "changes lost below "
                                                        : "not followed live: ";
    std::fprintf(stderr, "%stessera: %s%s: %s\n", terminal ? "\r\x1b[K" : "", what,
                 escapeForTerminal(error.path).c_str(),
                 error.error ? error.error->localizedDescription.c_str() : "unknown error");
    if (!line.isWatchError()) ++count;
}

} // namespace tessera::cli
