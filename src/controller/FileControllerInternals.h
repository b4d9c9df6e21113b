// What the file controller's sources share and nothing else sees: the batches of a folder's
// entries in a burst, the delegate of the live updates' measurements, and the log level of
// their lines.
#pragma once

#include "controller/FileController.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <unordered_set>

namespace tessera {

// Entries of a folder in a burst, measured together by one operation on the queue.
struct FileController::EntryBatch {
    std::mutex mutex;
    bool started = false;
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
};

// Hears of the live updates' measurements, which show no progress.
class FileController::MeasurementDelegate final : public ScanOperationDelegate {
public:
    MeasurementDelegate(std::weak_ptr<FileController> controller, Measurement kind)
        : controller_(std::move(controller)), kind_(kind) {}
    void scanOperationDidUpdateProgress(const ScanProgress&) override {}
    void scanOperationDidFinish(FilePtr root, const std::string& path,
                                ScanLeftOut leftOut) override {
        if (auto controller = controller_.lock())
            controller->measurementDidFinish(std::move(root), path, kind_, leftOut);
    }

private:
    std::weak_ptr<FileController> controller_;
    Measurement kind_;
};

namespace detail {

/// The level of the log's lines about live changes and their measurements.
constexpr std::uint8_t kLiveChangeLogLevel = 2;

inline std::size_t indexOf(const Directory& parent, const File& child) {
    const auto contents = parent.contents();
    return static_cast<std::size_t>(std::find(contents.begin(), contents.end(), &child) -
                                    contents.begin());
}

} // namespace detail

} // namespace tessera
