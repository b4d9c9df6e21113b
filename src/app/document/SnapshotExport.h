// File > Export Snapshot: a save dialog with the snapshot's form (TSV, JSON or ncdu's) and the
// properties to write under it, remembered as the user defaults "exportFormat" and "exportedKeys"
// (in the order they were ticked), in the folder of the last export ("exportFolder"). Key sets that
// could not be read back are refused with the encoder's reason; a failed write is shown as an
// error. Nothing is written on cancel.
#pragma once

#include "snapshot/SnapshotEncoder.h"

class QString;
class QWidget;

namespace tessera {

class File;

/// The format and keys the user chose last (TSV with every key at first).
SnapshotEncoder::Options exportOptions();
void setExportOptions(const SnapshotEncoder::Options& options);

/// Asks where to write a snapshot of `root` (named `name` by default) and writes it; `rootPath`
/// is where the tree lies (or came from), which ncdu's form names.
void exportSnapshot(const File& root, const std::string& rootPath, const QString& name,
                    QWidget* parent);

} // namespace tessera
