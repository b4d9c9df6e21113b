#include "cli/ErrorPrinter.h"

#include "cli/TerminalText.h"

#include <cstdio>

namespace tessera::cli {

void ErrorPrinter::logsDidInsert(std::size_t row) {
    const LogLine& line = LogController::shared().filteredLogs()[row];
    const auto& error = std::get<LogLine::ScanError>(line.logType());
    std::fprintf(stderr, "\r\x1b[Ktessera: cannot read %s: %s\n",
                 escapeForTerminal(error.path).c_str(),
                 error.error ? error.error->localizedDescription.c_str() : "unknown error");
    ++count;
}

} // namespace tessera::cli
