#include "app/document/SnapshotReadingDialog.h"

#include "app/QtConversions.h"
#include "base/Paths.h"
#include "model/Formatting.h"
#include "model/Localization.h"
#include "model/Utf8.h"
#include "platform/FileSystem.h"

#include <QTimer>
#include <algorithm>

namespace tessera {

namespace {
constexpr int kSteps = 1000;
}

SnapshotReadingDialog::SnapshotReadingDialog(const std::string& path,
                                             std::shared_ptr<ReadProgress> progress)
    : progress_(std::move(progress)), name_(toDisplayString(lastComponent(path))) {
    const auto status = platform::statusOfPath(path);
    total_ = status ? static_cast<std::uint64_t>(std::max<std::int64_t>(status->size, 1)) : 1;
    setObjectName(QStringLiteral("snapshotReading"));
    setWindowTitle(localizedQString("open.reading.title"));
    setCancelButtonText(localizedQString("open.reading.cancel"));
    setRange(0, kSteps);
    setMinimumDuration(400);
    setAutoClose(false);
    setAutoReset(false);
    connect(this, &QProgressDialog::canceled, this, [this] { progress_->cancelled = true; });
    auto* poll = new QTimer(this);
    poll->setInterval(100);
    connect(poll, &QTimer::timeout, this, [this] { update(); });
    poll->start();
    update();
}

void SnapshotReadingDialog::update() {
    const std::uint64_t read = std::min(progress_->bytes.load(), total_);
    const std::uint64_t entries = progress_->entries.load();
    const std::string readText = formatByteCount(static_cast<std::int64_t>(read));
    const std::string totalText = formatByteCount(static_cast<std::int64_t>(total_));
    setLabelText(toQString(
        entries == 0 ? localizedFormat("open.reading", {name_, readText, totalText})
                     : localizedFormat("open.reading.entries",
                                       {name_, readText, totalText,
                                        formatCount(static_cast<std::int64_t>(entries))})));
    setValue(static_cast<int>(read * kSteps / total_));
}

} // namespace tessera
