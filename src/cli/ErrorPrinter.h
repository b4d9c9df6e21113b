// Unreadable entries, printed on standard error as the log receives them.
#pragma once

#include "logs/LogController.h"

#include <cstddef>

namespace tessera::cli {

class ErrorPrinter : public LogsControllerDelegate {
public:
    void logsDidInsert(std::size_t row) override;
    void logsDidRemove(std::size_t, std::size_t) override {}
    void logsDidReload() override {}
    std::size_t count = 0;
};

} // namespace tessera::cli
