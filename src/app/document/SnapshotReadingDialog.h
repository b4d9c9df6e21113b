// The progress of a snapshot file being read, for files large enough to take a while: the bytes
// read of the file's size and the entries made of them so far, and Cancel, which stops the
// reading and frees what it read. It shows only when the reading lasts (a small file opens
// without it).
#pragma once

#include "snapshot/Snapshot.h"

#include <QProgressDialog>
#include <memory>
#include <string>

namespace tessera {

class SnapshotReadingDialog final : public QProgressDialog {
    Q_OBJECT

public:
    /// Follows `progress`, the reading of the snapshot at `path` on another thread.
    SnapshotReadingDialog(const std::string& path, std::shared_ptr<ReadProgress> progress);

private:
    void update();

    std::shared_ptr<ReadProgress> progress_;
    std::string name_;
    std::uint64_t total_;
};

} // namespace tessera
